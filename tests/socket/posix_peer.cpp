// POSIX side of the socket tests: listeners and peers on loopback.
#include "posix_peer.h"

#include "common/host_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace peer {

const int kConnReset = ECONNRESET;

Listener::Listener() { fd_ = ListenLoopback(&port_); }

Listener::~Listener() {
  for (int p : peers_) ::close(p);
  ::close(fd_);
}

int Listener::Accept(int limitMs) {
  if (!WaitReadable(fd_, limitMs)) return -1;
  int c = ::accept(fd_, nullptr, nullptr);
  if (c >= 0) peers_.push_back(c);
  return c;
}

int UdpSocket(int& port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = LoopbackAddress(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  port = BoundPort(fd);
  return fd;
}

std::string Read(int fd, std::size_t want, int limitMs) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    if (!WaitReadable(fd, 20)) continue;
    char buf[65536];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

bool ReadAvailable(int fd, std::string& out) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

int RecvOnce(int fd, std::string& out, int& err, int limitMs) {
  err = 0;
  if (!WaitReadable(fd, limitMs)) return -1;
  char buf[65536];
  ssize_t n = ::recv(fd, buf, sizeof buf, 0);
  if (n < 0) {
    err = errno;
    return -1;
  }
  out.append(buf, static_cast<std::size_t>(n));
  return static_cast<int>(n);
}

void ResetOnClose(int fd) {
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void Close(int fd) { ::close(fd); }

void SmallReceiveBuffer(int fd) {
  int size = 4096;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

}  // namespace peer
