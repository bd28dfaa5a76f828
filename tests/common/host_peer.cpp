// POSIX side of the helpers the test peers share (see host_peer.h).
#include "host_peer.h"

#include "common/host_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace peer {
namespace {

// A TCP socket bound to 127.0.0.1 with a port of the system's choice.
int BoundSocket(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(0);
  socklen_t len = sizeof a;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("cannot bind a socket to 127.0.0.1");
  *port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool WaitReadable(int fd, int limitMs) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, limitMs) > 0;
}

int FreePort() {
  int port = 0;
  close(BoundSocket(&port));
  return port;
}

int RefusingPort() {
  static int port = 0;
  static const int holder = BoundSocket(&port);
  (void)holder;
  return port;
}

int ListenLoopback(int* port, int backlog) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(fd, backlog) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  *port = BoundPort(fd);
  return fd;
}

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(port);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

bool WaitListening(int port, int limitMs) {
  const long long deadline = NowMs() + limitMs;
  for (;;) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = LoopbackAddress(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (ok) return true;
    if (NowMs() >= deadline) return false;
    usleep(20000);
  }
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

int AcceptWithin(int listener, int limitMs) {
  if (!WaitReadable(listener, limitMs)) return -1;
  return ::accept(listener, nullptr, nullptr);
}

void CloseFd(int fd) { ::close(fd); }

void ShutdownFd(int fd) { ::shutdown(fd, SHUT_RDWR); }

bool RunningUnderWine() { return false; }

std::string MakeTempDir() {
  char dir[] = "/tmp/tervane-test.XXXXXX";
  if (mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
  return dir;
}

void WriteFile(const std::string& path, const std::string& text, bool executable) {
  std::ofstream(path, std::ios::binary) << text;
  if (executable) chmod(path.c_str(), 0755);
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

bool FileIsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

}  // namespace peer
