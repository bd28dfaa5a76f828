// Windows side of the helpers the test peers share (see host_peer.h):
// winsock2 in the test process, apart from the wsock32 the component loads
// (see host_windows.h).  Descriptors are SOCKET handles,
// which Windows keeps within 32 bits so that they pass through an int.
#include "host_peer.h"

#include <winsock2.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "windows/host_windows.h"

namespace winpeer {

void StartWinsock() {
  struct Started {
    Started() {
      WSADATA data;
      if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
    ~Started() { WSACleanup(); }
  };
  static Started started;
}

}  // namespace winpeer

namespace peer {
namespace {

SOCKET NewSocket() {
  winpeer::StartWinsock();
  return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<u_short>(port));
  return a;
}

int BoundPort(SOCKET s) {
  sockaddr_in a{};
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// Bound to 127.0.0.1 with a port of the system's choice.
SOCKET BoundSocket(int* port) {
  const SOCKET s = NewSocket();
  sockaddr_in a = LoopbackAddress(0);
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("cannot bind a socket to 127.0.0.1");
  *port = BoundPort(s);
  return s;
}

}  // namespace

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool WaitReadable(int fd, int limitMs) {
  if (fd == winpeer::kMessageQueueFd) return winpeer::WaitMessages(limitMs);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(static_cast<SOCKET>(fd), &set);
  timeval tv{limitMs / 1000, (limitMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, limitMs < 0 ? nullptr : &tv) > 0;
}

int FreePort() {
  int port = 0;
  closesocket(BoundSocket(&port));
  return port;
}

int RefusingPort() {
  static int port = 0;
  static const SOCKET holder = BoundSocket(&port);
  (void)holder;
  return port;
}

int ListenLoopback(int* port, int backlog) {
  const SOCKET s = NewSocket();
  sockaddr_in a = LoopbackAddress(0);
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(s, backlog) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return -1;
  }
  *port = BoundPort(s);
  return static_cast<int>(s);
}

int ConnectLoopback(int port) {
  const SOCKET s = NewSocket();
  sockaddr_in a = LoopbackAddress(port);
  if (s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return -1;
  }
  return static_cast<int>(s);
}

bool WaitListening(int port, int limitMs) {
  const long long deadline = NowMs() + limitMs;
  for (;;) {
    const int fd = ConnectLoopback(port);
    if (fd >= 0) {
      closesocket(static_cast<SOCKET>(fd));
      return true;
    }
    if (NowMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool SendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const int n = send(static_cast<SOCKET>(fd), data.data() + done,
                       static_cast<int>(data.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int AcceptWithin(int listener, int limitMs) {
  if (!WaitReadable(listener, limitMs)) return -1;
  const SOCKET c = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return c == INVALID_SOCKET ? -1 : static_cast<int>(c);
}

void CloseFd(int fd) { closesocket(static_cast<SOCKET>(fd)); }

void ShutdownFd(int fd) { shutdown(static_cast<SOCKET>(fd), SD_BOTH); }

bool RunningUnderWine() {
  // Wine's ntdll exports its version; Windows' has no such entry point.
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string MakeTempDir() {
  char base[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof base, base);
  for (unsigned i = 0;; ++i) {
    const std::string dir = std::string(base, n) + "tervane-test." +
                            std::to_string(GetCurrentProcessId()) + "." + std::to_string(i);
    if (CreateDirectoryA(dir.c_str(), nullptr)) return dir;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot make " + dir);
  }
}

void WriteFile(const std::string& path, const std::string& text, bool) {
  std::ofstream(path, std::ios::binary) << text;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

bool FileIsExecutable(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace peer
