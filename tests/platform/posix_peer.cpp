// Host-socket helpers for the platform tests (see posix_peer.h).
#include "posix_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace peer {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(static_cast<uint16_t>(port));
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return sin;
}

int PortOf(int fd) {
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
  return ntohs(sin.sin_port);
}

}  // namespace

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeoutMs) == 1;
}

int Listen(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sin = Loopback(0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  *port = PortOf(fd);
  return fd;
}

int Accept(int listener) {
  if (!Readable(listener, 2000)) return -1;
  return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sin = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int RefusingPort() {
  // Bound but not listening: connections to it are refused, and the port
  // stays ours (no other test can start listening on it meanwhile).
  static int holder = -1;
  if (holder < 0) {
    holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin = Loopback(0);
    bind(holder, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  }
  return PortOf(holder);
}

bool SendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ReadExactly(int fd, std::size_t count) {
  std::string out;
  const long long deadline = NowMs() + 2000;
  char buf[65536];
  while (out.size() < count && NowMs() < deadline) {
    if (!Readable(fd, 50)) continue;
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
    if (!Readable(fd, 50)) continue;
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
  sockaddr_in sin = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
  *port = PortOf(fd);
  return fd;
}

bool SendTo(int fd, int port, const std::string& data) {
  sockaddr_in sin = Loopback(port);
  return sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&sin), sizeof sin) ==
         static_cast<ssize_t>(data.size());
}

std::string RecvFrom(int fd, int* fromPort) {
  if (!Readable(fd, 2000)) return "<timeout>";
  char buf[65536];
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  const ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&sin), &len);
  if (n < 0) return "<error>";
  if (fromPort) *fromPort = ntohs(sin.sin_port);
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace peer
