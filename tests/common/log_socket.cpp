// POSIX side of the log socket stand-in (see log_socket.h).
#include "log_socket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <stdexcept>

#include "common/host_peer.h"

namespace peer {

LogSocket::LogSocket(const std::string& path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.size() >= sizeof a.sun_path) throw std::runtime_error("log socket path too long");
  path.copy(a.sun_path, path.size());
  FFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (FFd < 0 || bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("cannot bind a log socket at " + path);
}

LogSocket::~LogSocket() { close(FFd); }

std::vector<std::string> LogSocket::Take() {
  std::vector<std::string> records;
  char buffer[4096];
  while (WaitReadable(FFd, 0)) {
    const ssize_t n = recv(FFd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    records.emplace_back(buffer, static_cast<std::size_t>(n));
  }
  return records;
}

}  // namespace peer
