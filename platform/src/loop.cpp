// The per-thread message loop: a FIFO of posted messages and an epoll
// readiness backend, exposed to a foreign loop as one pollable descriptor.
//
// Shape: the epoll descriptor is the backend descriptor.  It holds an
// eventfd (level-triggered) that says "messages are queued", and the
// watched sockets (edge-triggered).  So the backend descriptor is readable
// exactly when there is work, and an idle loop never wakes up.
//
// Wake-up rule: the eventfd is written only when the queue turns non-empty
// (the `signalled_` flag makes that one write per burst), and not at all for
// posts the owner makes while it is inside the loop (it will see them before
// it returns).  When the owner finds the queue empty it clears the flag and
// drains the eventfd, then looks at the inbox once more: a post from another
// thread that raced with the drain is either seen there or has written the
// eventfd again.
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <tervane/platform.h>

#include "backend.h"
#include "loop_internal.h"

namespace tervane::detail {

namespace {
constexpr int kMaxEvents = 64;
// Readiness is collected at least this often while messages keep coming,
// so that a flood of posted messages cannot starve the sockets.
constexpr int kCollectEvery = 64;
// Messages posted during one DispatchPending that it still dispatches.
constexpr std::size_t kChainBudget = 4096;
}  // namespace

class Loop;
namespace {
thread_local Loop* tlsCurrent = nullptr;  // the calling thread's loop
}

class Loop {
 public:
  Loop() {
    epfd_ = backend::CreatePoller();
    evfd_ = backend::CreateWaker(epfd_, kEventFdKey);
  }
  ~Loop() {
    DestroyWindowsOf(this);
    backend::Close(evfd_);
    backend::Close(epfd_);
  }
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  // Marks the owner as inside the loop for a scope, also when a window
  // procedure throws through it: a count left raised would silence every
  // later wake-up.  Leaving the outermost scope with work still queued
  // (after a quit, or at the chain bound) keeps the descriptor readable.
  class Inside {
   public:
    explicit Inside(Loop& loop) : loop_(loop) { ++loop_.inside_; }
    ~Inside() {
      if (--loop_.inside_ == 0 && !loop_.local_.empty()) loop_.Signal();
    }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

   private:
    Loop& loop_;
  };

  int BackendFd() const { return epfd_; }

  void Post(const MSG& msg) {
    if (IsOwner()) {
      const bool wasEmpty = local_.empty();
      local_.push_back(msg);
      if (wasEmpty && inside_ == 0) Signal();
      return;
    }
    {
      std::lock_guard<std::mutex> lock(inboxMutex_);
      inbox_.push_back(msg);
      inboxFlag_.store(true, std::memory_order_release);
    }
    Signal();
  }

  // Next message, optionally removed.  With `wait`, blocks until there is
  // one.  Returns false when there is none (never when waiting).
  bool Next(MSG* out, bool remove, bool wait) {
    for (;;) {
      if (local_.empty() || sinceCollect_ >= kCollectEvery) {
        Collect(0);
        Splice();
      }
      // Messages of windows destroyed since their post are dropped by
      // DispatchMessageA, as on Windows.
      if (!local_.empty()) {
        *out = local_.front();
        if (remove) {
          local_.pop_front();
          ++sinceCollect_;
        }
        return true;
      }
      if (!Settle()) continue;  // something arrived while settling
      if (!wait) return false;
      Collect(-1);
      Splice();
    }
  }

  // Dispatch everything that is ready without waiting.  Messages that
  // handlers post meanwhile are dispatched too (chains of posts complete in
  // one call), up to a bound: a handler that re-posts itself for ever must
  // not keep a foreign loop from running.  Work left over keeps the backend
  // descriptor readable.
  bool DispatchPending() {
    Inside guard(*this);
    bool running = true;
    Splice();
    std::size_t budget = local_.size() + kChainBudget;
    MSG msg;
    while (budget-- > 0 && Next(&msg, true, false)) {
      if (msg.message == WM_QUIT) {
        running = false;
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return running;
  }

  int Run() {
    Inside guard(*this);
    MSG msg;
    int code = 0;
    for (;;) {
      Next(&msg, true, true);
      if (msg.message == WM_QUIT) {
        code = static_cast<int>(msg.wParam);
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return code;
  }


  bool Watch(int fd, WatchCallback cb, void* context) {
    const std::uint64_t gen = ++watchGen_;
    const std::uint64_t key = (gen << 32) | static_cast<std::uint32_t>(fd);
    const bool known = watches_.count(fd) != 0;
    if (!backend::Watch(epfd_, fd, key, known)) return false;
    watches_[fd] = WatchEntry{gen, cb, context};
    return true;
  }

  void Unwatch(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    backend::Unwatch(epfd_, fd);  // fails harmlessly if fd was closed
    watches_.erase(it);
  }

 private:
  static constexpr std::uint64_t kEventFdKey = ~std::uint64_t(0);

  struct WatchEntry {
    std::uint64_t gen;
    WatchCallback cb;
    void* context;
  };

  bool IsOwner() const { return tlsCurrent == this; }

  void Signal() {
    if (signalled_.exchange(true, std::memory_order_acq_rel)) return;
    backend::Wake(evfd_);
  }

  void Splice() {
    if (!inboxFlag_.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(inboxMutex_);
    for (const MSG& m : inbox_) local_.push_back(m);
    inbox_.clear();
    inboxFlag_.store(false, std::memory_order_relaxed);
  }

  // The queue was found empty: let the descriptor fall silent.  Returns
  // false when a late post from another thread refilled the queue.
  bool Settle() {
    // Only a wake-up that was written needs reading back: a burst of posts
    // made inside the loop costs no system call at all.
    if (signalled_.exchange(false, std::memory_order_seq_cst)) backend::Drain(evfd_);
    Splice();
    return local_.empty();
  }

  // Deliver readiness to the watch callbacks.  timeout -1 blocks.
  void Collect(int timeout) {
    sinceCollect_ = 0;
    // With nothing watched there is no readiness to collect without waiting.
    if (timeout == 0 && watches_.empty()) return;
    backend::Event events[kMaxEvents];
    const int n = backend::Wait(epfd_, events, kMaxEvents, timeout);
    Inside guard(*this);
    for (int i = 0; i < n; ++i) {
      const std::uint64_t key = events[i].key;
      if (key == kEventFdKey) continue;  // the queue is looked at anyway
      const int fd = static_cast<int>(key & 0xFFFFFFFFu);
      auto it = watches_.find(fd);
      // A watch removed or replaced by an earlier callback of this batch
      // must not hear about events collected for its predecessor.
      if (it == watches_.end() || it->second.gen != (key >> 32)) continue;
      const std::uint32_t bits = events[i].bits;
      const WatchEntry entry = it->second;
      entry.cb(entry.context, fd, bits);
    }
  }

  int epfd_ = -1;
  int evfd_ = -1;
  std::deque<MSG> local_;  // owner thread only
  std::mutex inboxMutex_;
  std::vector<MSG> inbox_;  // posts from other threads
  std::atomic<bool> inboxFlag_{false};
  std::atomic<bool> signalled_{false};
  int inside_ = 0;  // owner is inside the loop: its posts need no wake-up
  int sinceCollect_ = 0;
  std::uint64_t watchGen_ = 0;
  std::unordered_map<int, WatchEntry> watches_;
};

namespace {
thread_local std::unique_ptr<Loop> tlsLoop;
}

Loop& CurrentLoop() {
  if (!tlsLoop) {
    tlsLoop = std::make_unique<Loop>();
    tlsCurrent = tlsLoop.get();
  }
  return *tlsLoop;
}

void Enqueue(Loop& loop, const MSG& msg) { loop.Post(msg); }

}  // namespace tervane::detail

using tervane::detail::CurrentLoop;

BOOL WINAPI PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT removeMsg) {
  auto& loop = CurrentLoop();
  tervane::detail::Loop::Inside guard(loop);
  return loop.Next(msg, (removeMsg & PM_REMOVE) != 0, false) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageA(MSG* msg, HWND, UINT, UINT) {
  auto& loop = CurrentLoop();
  {
    tervane::detail::Loop::Inside guard(loop);
    loop.Next(msg, true, true);
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
  MSG msg{};
  msg.message = WM_QUIT;
  msg.wParam = static_cast<WPARAM>(exitCode);
  msg.time = GetTickCount();
  CurrentLoop().Post(msg);
}

namespace tervane {

int LoopBackendFd() { return CurrentLoop().BackendFd(); }
bool DispatchPending() { return CurrentLoop().DispatchPending(); }
int RunMessageLoop() { return CurrentLoop().Run(); }
bool WatchFd(int fd, WatchCallback callback, void* context) {
  return CurrentLoop().Watch(fd, callback, context);
}
void UnwatchFd(int fd) { CurrentLoop().Unwatch(fd); }

}  // namespace tervane
