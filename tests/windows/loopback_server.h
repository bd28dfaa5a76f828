// A one-client TCP server on 127.0.0.1 for the Windows tests, written
// against winsock2 in the test process.  Declared without any system header
// so that test files can include it next to <winsock.h>.
#pragma once

#include <string>

namespace winpeer {

class LoopbackServer {
 public:
  LoopbackServer();  // listening, port of the system's choice
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  // Waits up to `limitMs` for the client; false when none came.
  bool Accept(int limitMs);
  bool Send(const std::string& bytes);
  // Reads until `want` bytes came, the client closed, or `limitMs` passed.
  std::string Read(std::size_t want, int limitMs);
  void CloseClient();

 private:
  unsigned long long listener_;
  unsigned long long client_;
  int port_ = 0;
};

}  // namespace winpeer
