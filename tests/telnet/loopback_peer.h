// The far end of a telnet session for tests and the benchmark: a scripted
// TCP server on 127.0.0.1, child processes, and waiting on a descriptor.
// Kept apart from the session's headers, which speak the WinSock dialect,
// so that no file mixes the two.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace peer {

// A one-client TCP server on 127.0.0.1 with a port of the system's choice.
// Everything is non-blocking except Send, which writes it all.
class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return FPort; }
  bool TryAccept();  // true once a client is connected
  bool Connected() const { return FClient >= 0; }
  void Send(const std::string& Bytes);
  // Read what has arrived; returns everything received so far.
  const std::string& Poll();
  // Poll's bytes from `from` on.
  std::string ReceivedFrom(std::size_t from) { return Poll().substr(from); }
  bool PeerClosed();  // the client closed its side (after Poll)
  void CloseClient();
  void CloseListener();

 private:
  int FListener = -1;
  int FClient = -1;
  int FPort = 0;
  bool FEof = false;
  std::string FReceived;
};

// A port on 127.0.0.1 that nothing listens on (bound, then released).
int UnusedPort();

// Wait until `fd` is readable or `ms` have passed; true when readable.
bool WaitReadable(int fd, int ms);

// Child processes.
int Spawn(const std::vector<std::string>& argv);  // pid, or -1
void Stop(int pid);                                // SIGTERM, then reap
bool FileIsExecutable(const std::string& path);
std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& text, bool executable);
void RemoveTree(const std::string& path);

// For the benchmark: a forked process that accepts one client on a fresh
// listener and sends it `total` bytes, cycling through `block`, reading and
// dropping whatever comes back.  Returns its pid and the port.
int ForkStreamSender(const std::string& block, std::size_t total, int& port);
void Reap(int pid);
// A plain 2048-byte epoll/recv loop reading from 127.0.0.1:port until the
// peer closes, copying each read; returns the bytes read.
std::size_t RawRecvLoop(int port);

}  // namespace peer
