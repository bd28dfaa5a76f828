// winsock2 side of the Windows tests (see loopback_server.h).
#include "loopback_server.h"

#include <winsock2.h>

#include <chrono>
#include <stdexcept>

namespace winpeer {
namespace {

// The peer has its own start of ws2_32, apart from the one the component
// makes of wsock32: each library counts its own.
struct Started {
  Started() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  }
  ~Started() { WSACleanup(); }
};

void EnsureStarted() { static Started started; }

bool WaitReadable(SOCKET s, int limitMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{limitMs / 1000, (limitMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
}

}  // namespace

LoopbackServer::LoopbackServer() : listener_(INVALID_SOCKET), client_(INVALID_SOCKET) {
  EnsureStarted();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(s, 4) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  listener_ = s;
  port_ = ntohs(a.sin_port);
}

LoopbackServer::~LoopbackServer() {
  CloseClient();
  closesocket(static_cast<SOCKET>(listener_));
}

bool LoopbackServer::Accept(int limitMs) {
  if (!WaitReadable(static_cast<SOCKET>(listener_), limitMs)) return false;
  client_ = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
  return client_ != INVALID_SOCKET;
}

bool LoopbackServer::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int n = send(static_cast<SOCKET>(client_), bytes.data() + done,
                       static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string LoopbackServer::Read(std::size_t want, int limitMs) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    if (!WaitReadable(static_cast<SOCKET>(client_), 20)) continue;
    char buf[65536];
    const int n = recv(static_cast<SOCKET>(client_), buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

void LoopbackServer::CloseClient() {
  if (client_ != INVALID_SOCKET) closesocket(static_cast<SOCKET>(client_));
  client_ = INVALID_SOCKET;
}

}  // namespace winpeer
