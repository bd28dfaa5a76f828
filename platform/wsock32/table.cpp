// The socket table: WinSock handles to descriptors.
//
// A handle is (generation << 32) | fd.  Descriptor numbers are reused at
// once by the kernel; the generation makes sure a closed socket's handle,
// and any notification still queued with it, never names its successor.
#include <unistd.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "wsock_internal.h"

namespace ws {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<SOCKET, SockPtr> sockets;
  std::uint32_t nextGen = 1;

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
    SetError(kEnotsock);
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
  const std::uint32_t gen = t.nextGen++;
  if (t.nextGen == 0) t.nextGen = 1;
  s->handle = (static_cast<SOCKET>(gen) << 32) | static_cast<std::uint32_t>(fd);
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
    t.sockets.erase(s->handle);
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

}  // namespace ws
