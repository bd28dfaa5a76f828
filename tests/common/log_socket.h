// A stand-in for the system's log socket (/dev/log): a datagram socket at
// a path of the test's choice that keeps every record sent to it.
// Declared without system headers, like host_peer.h.
#pragma once

#include <string>
#include <vector>

namespace peer {

class LogSocket {
 public:
  explicit LogSocket(const std::string& path);  // throws when it cannot bind
  ~LogSocket();
  LogSocket(const LogSocket&) = delete;
  LogSocket& operator=(const LogSocket&) = delete;
  // The records that have arrived since the last call, never waiting.
  std::vector<std::string> Take();

 private:
  int FFd = -1;
};

}  // namespace peer
