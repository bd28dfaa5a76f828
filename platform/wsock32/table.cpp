// The socket table: WinSock handles to descriptors.
//
// Handle values are handed out like descriptors: the lowest free one, so a
// closed socket's value comes back with the next socket at once, as it does
// with WinSock.  Whoever keeps a handle (or a notification carrying one)
// past closesocket must expect it to name a different socket.
#include <unistd.h>

#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "wsock_internal.h"

namespace ws {
namespace {

// Numbering starts at 1: a zeroed record never names a socket.
constexpr SOCKET kFirstHandle = 1;

struct Table {
  std::mutex mutex;
  std::unordered_map<SOCKET, SockPtr> sockets;
  // Values given back by Close below `next`; `next` was never handed out.
  std::set<SOCKET> freed;
  SOCKET next = kFirstHandle;

  // The module is being unloaded with sockets still open (the last
  // WSACleanup failed or never came): their watches would call into code
  // that is no longer mapped, so they go with it, and so do their
  // descriptors.
  ~Table() {
    for (auto& entry : sockets) {
      StopWatching(*entry.second);
      close(entry.second->fd);
    }
  }
};

Table& T() {
  // An object, not a leaked pointer: the module may be loaded and unloaded
  // many times in one process, and each unload must release it.
  static Table table;
  return table;
}

}  // namespace

SockPtr Lookup(SOCKET s) {
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.sockets.find(s);
  if (it == t.sockets.end()) {
    SetError(WSAENOTSOCK);
    return nullptr;
  }
  return it->second;
}

bool EnterCall(const char* function) {
  if (auto hit = CheckFault(function); hit.fail) {
    SetError(hit.code);
    return false;
  }
  return Started();
}

SockPtr EnterSocketCall(const char* function, SOCKET s) {
  return EnterCall(function) ? Lookup(s) : nullptr;
}

SockPtr Register(int fd, int type, bool nonBlocking) {
  auto s = std::make_shared<Sock>();
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.freed.empty()) {
    s->handle = t.next++;
  } else {
    s->handle = *t.freed.begin();
    t.freed.erase(t.freed.begin());
  }
  s->fd = fd;
  s->type = type;
  s->nonBlocking = nonBlocking;
  t.sockets[s->handle] = s;
  return s;
}

void StopWatching(Sock& s) {
  if (s.watched) tervane::UnwatchFd(s.fd);
  s.watched = false;
}

void Close(const SockPtr& s) {
  StopWatching(*s);
  {
    auto& t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.sockets.erase(s->handle) != 0) t.freed.insert(s->handle);
  }
  close(s->fd);
}

void CloseAll() {
  std::vector<SockPtr> all;
  {
    auto& t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (auto& entry : t.sockets) all.push_back(entry.second);
  }
  for (const SockPtr& s : all) Close(s);
}

#if TERVANE_WSOCK_SEAMS
void ReleaseArmedWrites() {
  std::vector<SockPtr> armed;
  {
    auto& t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (auto& entry : t.sockets)
      if (entry.second->writeArmed) armed.push_back(entry.second);
  }
  for (const SockPtr& s : armed) {
    s->writeArmed = false;
    Post(*s, wsabi::kFdWrite, 0);
  }
}
#endif

}  // namespace ws
