// Windows side of the socket tests' peers (see posix_peer.h): listeners
// and peers on loopback over winsock2 in the test process.
#include <winsock2.h>

#include <chrono>

#include "posix_peer.h"
#include "windows/host_windows.h"

namespace peer {

const int kConnReset = WSAECONNRESET;

namespace {

SOCKET S(int fd) { return static_cast<SOCKET>(fd); }

}  // namespace

Listener::Listener() { fd_ = ListenLoopback(&port_); }

Listener::~Listener() {
  for (int p : peers_) closesocket(S(p));
  closesocket(S(fd_));
}

int Listener::Accept(int limitMs) {
  const int c = AcceptWithin(fd_, limitMs);
  if (c >= 0) peers_.push_back(c);
  return c;
}

int UdpSocket(int& port) {
  winpeer::StartWinsock();
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return static_cast<int>(s);
}

std::string Read(int fd, std::size_t want, int limitMs) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    if (!WaitReadable(fd, 20)) continue;
    char buf[65536];
    const int n = recv(S(fd), buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

bool ReadAvailable(int fd, std::string& out) {
  char buf[65536];
  while (WaitReadable(fd, 0)) {
    const int n = recv(S(fd), buf, sizeof buf, 0);
    if (n <= 0) return false;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

int RecvOnce(int fd, std::string& out, int& err, int limitMs) {
  err = 0;
  if (!WaitReadable(fd, limitMs)) return -1;
  char buf[65536];
  const int n = recv(S(fd), buf, sizeof buf, 0);
  if (n < 0) {
    err = WSAGetLastError();
    return -1;
  }
  out.append(buf, static_cast<std::size_t>(n));
  return n;
}

void ResetOnClose(int fd) {
  linger l{1, 0};
  setsockopt(S(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

void Close(int fd) { closesocket(S(fd)); }

void SmallReceiveBuffer(int fd) {
  int size = 4096;
  setsockopt(S(fd), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
}

}  // namespace peer
