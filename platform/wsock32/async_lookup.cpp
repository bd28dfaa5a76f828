// WSAAsyncGetHostByName / WSAAsyncGetHostByAddr / WSACancelAsyncRequest.
//
// Requests wait in a queue served by a few worker threads (kMaxWorkers at
// most, however many requests replace each other).  A worker resolves, then
// writes the host record into the caller's buffer and posts the reply, both
// while holding the pool's lock.  Cancelling takes the same lock, so once
// WSACancelAsyncRequest has succeeded the buffer is never touched again.
//
// Nothing ever waits for a worker.  A worker inside the system resolver
// cannot be stopped (a name server that never answers keeps it there for
// the resolver's whole timeout), so cancelling, the last WSACleanup and
// unloading only make its answer go nowhere: the workers are detached, the
// pool they share lives as long as the last of them, and the module keeps
// its code mapped once it has started one (a thread may still be running
// it after FreeLibrary).
#include <dlfcn.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "db_entry.h"
#include "hosts.h"

namespace ws {

void StopLookups();

namespace {

// Enough for look-ups running side by side; a resolver that never answers
// holds at most this many threads.
constexpr int kMaxWorkers = 4;

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
using RequestPtr = std::shared_ptr<Request>;

struct Pool {
  std::mutex mutex;
  // Requests not answered nor cancelled; a worker answers only these.
  std::map<std::uint32_t, RequestPtr> pending;
  std::deque<RequestPtr> queue;  // waiting for a worker
  int workers = 0;               // threads alive
  int resolving = 0;             // of those, inside a look-up
  std::uint32_t nextHandle = 1;
  bool closed = false;  // the module is going away: no more answers
#if TERVANE_WSOCK_SEAMS
  // Fault build: look-ups wait here, as on a name server that never
  // answers, until the stall is lifted.
  bool stall = false;
  int stalled = 0;
  std::condition_variable stallLifted;
#endif
};
using PoolPtr = std::shared_ptr<Pool>;

// Set when the holder is destroyed: at the module's unload, or at exit for
// a module kept mapped.  An exit handler of the program that was registered
// before the pool was first used runs after that, and its WSACleanup (or a
// cancel from a destructor) must find no pool rather than a freed one.
bool gPoolGone = false;

// The module's reference to the pool; the workers hold their own.
struct PoolHolder {
  PoolPtr pool = std::make_shared<Pool>();
  ~PoolHolder() {
    gPoolGone = true;
    std::lock_guard<std::mutex> lock(pool->mutex);
    pool->closed = true;
    pool->pending.clear();
    pool->queue.clear();
#if TERVANE_WSOCK_SEAMS
    pool->stall = false;
    pool->stallLifted.notify_all();
#endif
  }
};

const PoolPtr& Shared() {
  static PoolHolder holder;
  return holder.pool;
}
// The pool, or nullptr once it is gone.
Pool* P() { return gPoolGone ? nullptr : Shared().get(); }

// Keeps this module mapped for the rest of the process.
void PinModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PinModule), &info) != 0 && info.dli_fname)
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  });
}

HostAnswer Resolve(Pool& pool, const Request& req) {
  {
    std::unique_lock<std::mutex> lock(pool.mutex);
#if TERVANE_WSOCK_SEAMS
    if (pool.stall) {
      ++pool.stalled;
      pool.stallLifted.wait(lock, [&] { return !pool.stall; });
      --pool.stalled;
    }
#endif
    // The module is going away: its tables may be gone already.
    if (pool.closed) return HostAnswer{WSATRY_AGAIN, {}, {}, {}};
  }
  return req.byAddr ? ResolveAddr(req.addr) : ResolveName(req.name);
}

// Answers `req` unless it was cancelled meanwhile (caller holds the lock).
void Answer(Pool& pool, const Request& req, const HostAnswer& answer) {
  auto it = pool.pending.find(req.handle);
  if (pool.closed || it == pool.pending.end() || it->second.get() != &req) return;
  pool.pending.erase(it);
  int error = answer.error;
  int needed = 0;
  if (error == 0) {
    needed = LayoutHost(answer, req.buf, req.len);
    if (needed > req.len) error = WSAENOBUFS;
  }
  const std::uint32_t low = static_cast<std::uint32_t>(needed > 0xFFFF ? 0xFFFF : needed);
  const auto lParam = static_cast<std::intptr_t>(low | (static_cast<std::uint32_t>(error) << 16));
  PostMessageA(req.window, req.message, req.handle, lParam);
}

void Work(PoolPtr pool) {
  std::unique_lock<std::mutex> lock(pool->mutex);
  while (!pool->closed && !pool->queue.empty()) {
    RequestPtr req = std::move(pool->queue.front());
    pool->queue.pop_front();
    if (pool->pending.count(req->handle) == 0) continue;  // cancelled while queued
    ++pool->resolving;
    lock.unlock();
    const HostAnswer answer = Resolve(*pool, *req);
    lock.lock();
    --pool->resolving;
    Answer(*pool, *req, answer);
  }
  --pool->workers;
}

// A request answering to `window` with `message`, its record going to `buf`.
RequestPtr NewRequest(HWND__* window, unsigned message, char* buf, int len) {
  auto req = std::make_shared<Request>();
  req->window = window;
  req->message = message;
  req->buf = buf;
  req->len = len;
  return req;
}

void* Start(RequestPtr req) {
  Pool* live = P();
  if (live == nullptr) {
    SetError(WSAENETDOWN);
    return nullptr;
  }
  Pool& pool = *live;
  std::lock_guard<std::mutex> lock(pool.mutex);
  req->handle = pool.nextHandle++;
  if (pool.nextHandle == 0) pool.nextHandle = 1;
  pool.pending[req->handle] = req;
  pool.queue.push_back(req);
  // A worker that is alive but not resolving is about to take from the
  // queue; start another only when the queue outnumbers those.
  const int free = pool.workers - pool.resolving;
  if (pool.workers < kMaxWorkers && static_cast<int>(pool.queue.size()) > free) {
    try {
      PinModule();
      std::thread(Work, Shared()).detach();
      ++pool.workers;
    } catch (...) {
      // Without a thread of its own the request still has the running
      // workers; with none at all it cannot be served.
      if (pool.workers == 0) {
        pool.queue.pop_back();
        pool.pending.erase(req->handle);
        SetError(WSAENOBUFS);
        return nullptr;
      }
    }
  }
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(req->handle));
}

}  // namespace

void StopLookups() {
  Pool* live = P();
  if (live == nullptr) return;  // nothing left to stop
  Pool& pool = *live;
  std::lock_guard<std::mutex> lock(pool.mutex);
  pool.pending.clear();  // outstanding requests are cancelled
  pool.queue.clear();
}

#if TERVANE_WSOCK_SEAMS
void StallLookups(bool on) {
  Pool* live = P();
  if (live == nullptr) return;
  Pool& pool = *live;
  std::lock_guard<std::mutex> lock(pool.mutex);
  pool.stall = on;
  if (!on) pool.stallLifted.notify_all();
}

int StalledLookups() {
  Pool* live = P();
  if (live == nullptr) return 0;
  Pool& pool = *live;
  std::lock_guard<std::mutex> lock(pool.mutex);
  return pool.stalled;
}
#endif

}  // namespace ws

WS_EXPORT(void*, WSAAsyncGetHostByName)(HWND__* window, unsigned int message, const char* name,
                                        char* buf, int bufLen) {
  if (!ws::EnterLookup("WSAAsyncGetHostByName", name && buf && bufLen >= 0 && window,
                       ws::WSAEINVAL))
    return nullptr;
  auto req = ws::NewRequest(window, message, buf, bufLen);
  req->name = name;
  return ws::Start(std::move(req));
}

WS_EXPORT(void*, WSAAsyncGetHostByAddr)(HWND__* window, unsigned int message, const char* addr,
                                        int len, int type, char* buf, int bufLen) {
  if (!ws::EnterLookup("WSAAsyncGetHostByAddr", addr && buf && bufLen >= 0 && window,
                       ws::WSAEINVAL))
    return nullptr;
  if (type != wsabi::kPfInet) {
    ws::SetError(ws::WSAEAFNOSUPPORT);
    return nullptr;
  }
  if (len != 4) {
    ws::SetError(ws::WSAEFAULT);
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
  ws::Pool* live = ws::P();
  if (live == nullptr) return ws::FailWsa(ws::WSAEINVAL);  // no request is pending any more
  auto& pool = *live;
  std::lock_guard<std::mutex> lock(pool.mutex);
  if (pool.pending.erase(handle) != 0) return 0;
  // A request this module handed out has either been answered already or
  // was cancelled before: WinSock says the routine has already completed.
  // A value it never handed out is invalid.
  const bool issued = handle != 0 && handle < pool.nextHandle;
  return ws::FailWsa(issued ? ws::WSAEALREADY : ws::WSAEINVAL);
}
