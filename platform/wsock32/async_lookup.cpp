// WSAAsyncGetHostByName / WSAAsyncGetHostByAddr / WSACancelAsyncRequest.
//
// Each request resolves on a worker thread of its own, then writes the host
// record into the caller's buffer and posts the reply, both while holding
// the request table's lock.  Cancelling takes the same lock, so once
// WSACancelAsyncRequest has succeeded the buffer is never touched again.
// Workers are joined before the module can go away (last WSACleanup, or
// unloading).
#include <arpa/inet.h>

#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "db_entry.h"
#include "hosts.h"

namespace ws {

void StopLookups();

namespace {

struct Request {
  std::uint32_t handle = 0;
  HWND__* window = nullptr;
  unsigned message = 0;
  char* buf = nullptr;
  int len = 0;
  bool byAddr = false;
  std::string name;
  std::uint32_t addr = 0;
};

struct Worker {
  std::thread thread;
  bool finished = false;  // guarded by Lookups::mutex
};

struct Lookups {
  std::mutex mutex;
  std::map<std::uint32_t, std::shared_ptr<Request>> pending;
  std::list<Worker> workers;
  std::uint32_t nextHandle = 1;

  ~Lookups() { StopLookups(); }  // the module is being unloaded
};

Lookups& L() {
  static Lookups lookups;
  return lookups;
}

void Work(std::shared_ptr<Request> req, Worker* self) {
  const HostAnswer answer = req->byAddr ? ResolveAddr(req->addr) : ResolveName(req->name);
  auto& l = L();
  std::lock_guard<std::mutex> lock(l.mutex);
  self->finished = true;
  auto it = l.pending.find(req->handle);
  if (it == l.pending.end() || it->second != req) return;  // cancelled
  l.pending.erase(it);
  int error = answer.error;
  int needed = 0;
  if (error == 0) {
    needed = LayoutHost(answer, req->buf, req->len);
    if (needed > req->len) error = kEnobufs;
  }
  const std::uint32_t low = static_cast<std::uint32_t>(needed > 0xFFFF ? 0xFFFF : needed);
  const auto lParam = static_cast<std::intptr_t>(low | (static_cast<std::uint32_t>(error) << 16));
  PostMessageA(req->window, req->message, req->handle, lParam);
}

// Join the workers that are done (caller does not hold the lock).
void Reap() {
  std::list<Worker> done;
  {
    auto& l = L();
    std::lock_guard<std::mutex> lock(l.mutex);
    for (auto it = l.workers.begin(); it != l.workers.end();) {
      auto next = std::next(it);
      if (it->finished) done.splice(done.end(), l.workers, it);
      it = next;
    }
  }
  for (Worker& w : done) w.thread.join();
}

// A request answering to `window` with `message`, its record going to `buf`.
std::shared_ptr<Request> NewRequest(HWND__* window, unsigned message, char* buf, int len) {
  auto req = std::make_shared<Request>();
  req->window = window;
  req->message = message;
  req->buf = buf;
  req->len = len;
  return req;
}

void* Start(std::shared_ptr<Request> req) {
  Reap();
  auto& l = L();
  std::lock_guard<std::mutex> lock(l.mutex);
  req->handle = l.nextHandle++;
  if (l.nextHandle == 0) l.nextHandle = 1;
  l.pending[req->handle] = req;
  l.workers.emplace_back();
  Worker* self = &l.workers.back();
  try {
    self->thread = std::thread(Work, req, self);
  } catch (...) {
    l.workers.pop_back();
    l.pending.erase(req->handle);
    SetError(kEnobufs);
    return nullptr;
  }
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(req->handle));
}

}  // namespace

void StopLookups() {
  std::list<Worker> all;
  {
    auto& l = L();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.pending.clear();  // outstanding requests are cancelled
    all.splice(all.end(), l.workers);
  }
  for (Worker& w : all)
    if (w.thread.joinable()) w.thread.join();
}

}  // namespace ws

WS_EXPORT(void*, WSAAsyncGetHostByName)(HWND__* window, unsigned int message, const char* name,
                                        char* buf, int bufLen) {
  if (!ws::EnterLookup("WSAAsyncGetHostByName", name && buf && bufLen >= 0 && window,
                       ws::kEinval))
    return nullptr;
  auto req = ws::NewRequest(window, message, buf, bufLen);
  req->name = name;
  return ws::Start(std::move(req));
}

WS_EXPORT(void*, WSAAsyncGetHostByAddr)(HWND__* window, unsigned int message, const char* addr,
                                        int len, int type, char* buf, int bufLen) {
  if (!ws::EnterLookup("WSAAsyncGetHostByAddr", addr && buf && bufLen >= 0 && window,
                       ws::kEinval))
    return nullptr;
  if (type != wsabi::kPfInet) {
    ws::SetError(ws::kEafnosupport);
    return nullptr;
  }
  if (len != 4) {
    ws::SetError(ws::kEfault);
    return nullptr;
  }
  auto req = ws::NewRequest(window, message, buf, bufLen);
  req->byAddr = true;
  std::memcpy(&req->addr, addr, 4);
  return ws::Start(std::move(req));
}

WS_EXPORT(int, WSACancelAsyncRequest)(void* asyncTaskHandle) {
  if (!ws::EnterCall("WSACancelAsyncRequest")) return wsabi::kSocketError;
  const auto handle = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(asyncTaskHandle));
  auto& l = ws::L();
  std::lock_guard<std::mutex> lock(l.mutex);
  // Unknown, finished or already cancelled: WinSock says WSAEINVAL.
  if (l.pending.erase(handle) == 0) return ws::FailWsa(ws::kEinval);
  return 0;
}
