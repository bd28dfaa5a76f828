// The far end of a telnet session for tests and the benchmark: a scripted
// TCP server on 127.0.0.1, child processes, and waiting on a descriptor.
// Kept apart from the session's headers, which speak the WinSock dialect,
// so that no file mixes the two.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/host_peer.h"

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
  // Urgent: as TCP urgent data (MSG_OOB), its last byte the urgent one.
  void Send(const std::string& Bytes, bool Urgent = false);
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

// A relay on 127.0.0.1 between one client and a server on `TargetPort`,
// recording what each side sends (the test sees the client's answers to a
// real server).  Step moves what is ready, never waits.
class RecordingRelay {
 public:
  explicit RecordingRelay(int TargetPort);
  ~RecordingRelay();
  RecordingRelay(const RecordingRelay&) = delete;
  RecordingRelay& operator=(const RecordingRelay&) = delete;

  int Port() const { return FFront.Port(); }
  void Step();
  const std::string& FromClient() const { return FFromClient; }
  const std::string& FromServer() const { return FFromServer; }

 private:
  LoopbackServer FFront;
  int FTargetPort;
  int FBack = -1;
  bool FBackOpen = false;
  std::size_t FForwarded = 0;  // bytes of FFront's input passed on
  std::string FFromClient, FFromServer;
};

// Child processes.
int Spawn(const std::vector<std::string>& argv);  // pid, or -1
void Stop(int pid);                                // SIGTERM, then reap
// Runs a shell command; true when its output holds `line` as a whole line.
bool OutputHasLine(const std::string& command, const std::string& line);

// For the benchmark: a forked process that accepts one client on a fresh
// listener and sends it `total` bytes, cycling through `block`, reading and
// dropping whatever comes back.  Returns its pid and the port.
int ForkStreamSender(const std::string& block, std::size_t total, int& port);
void Reap(int pid);
// A plain 2048-byte epoll/recv loop reading from 127.0.0.1:port until the
// peer closes, copying each read; returns the bytes read.
std::size_t RawRecvLoop(int port);

}  // namespace peer
