// Host-socket helpers for the platform tests (see posix_peer.h).
#include "posix_peer.h"

#include "common/host_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace peer {

int Accept(int listener) {
  if (!WaitReadable(listener, 2000)) return -1;
  return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

std::string ReadExactly(int fd, std::size_t count) {
  std::string out;
  const long long deadline = NowMs() + 2000;
  char buf[65536];
  while (out.size() < count && NowMs() < deadline) {
    if (!WaitReadable(fd, 50)) continue;
    const ssize_t n = recv(fd, buf, sizeof buf < count - out.size() ? sizeof buf : count - out.size(), 0);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

std::string ReadToEnd(int fd, bool* reset) {
  std::string out;
  *reset = false;
  const long long deadline = NowMs() + 2000;
  char buf[65536];
  while (NowMs() < deadline) {
    if (!WaitReadable(fd, 50)) continue;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n == 0) break;
    if (n < 0) {
      *reset = errno == ECONNRESET;
      break;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

void Reset(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close(fd);
}

void ShutdownWrite(int fd) { shutdown(fd, SHUT_WR); }
void Close(int fd) { close(fd); }

int Udp(int* port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in sin = LoopbackAddress(0);
  bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  *port = BoundPort(fd);
  return fd;
}

bool SendTo(int fd, int port, const std::string& data) {
  sockaddr_in sin = LoopbackAddress(port);
  return sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&sin), sizeof sin) ==
         static_cast<ssize_t>(data.size());
}

std::string RecvFrom(int fd, int* fromPort) {
  if (!WaitReadable(fd, 2000)) return "<timeout>";
  char buf[65536];
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  const ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&sin), &len);
  if (n < 0) return "<error>";
  if (fromPort) *fromPort = ntohs(sin.sin_port);
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace peer
