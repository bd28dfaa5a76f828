// Plain POSIX peers on loopback for the socket tests.  Declared without any
// system header so that test files can include it next to the socket
// layer's Win32 names.
#pragma once

#include <string>
#include <vector>

#include "common/host_peer.h"

namespace peer {

// A TCP listener on 127.0.0.1, port chosen by the kernel.
class Listener {
 public:
  Listener();
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // The next connection (the kernel completes the handshake by itself);
  // -1 when none came within the limit.  Closed with the listener.
  int Accept(int limitMs = 5000);

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> peers_;
};

// A UDP socket bound to 127.0.0.1; its port through `port`.
int UdpSocket(int& port);
// Reads until `want` bytes came, the peer closed, or the limit passed.
std::string Read(int fd, std::size_t want, int limitMs = 5000);
// Appends whatever is waiting, without waiting; false once the peer closed.
bool ReadAvailable(int fd, std::string& out);
// One recv: >0 bytes, 0 end of stream, -1 error (its errno in `err`).
int RecvOnce(int fd, std::string& out, int& err, int limitMs = 5000);
// Makes the next close of `fd` reset the connection.
void ResetOnClose(int fd);
void Close(int fd);
// Shrinks the receive buffer so that a sender fills it quickly.
void SmallReceiveBuffer(int fd);
extern const int kConnReset;  // errno of a reset connection

}  // namespace peer
