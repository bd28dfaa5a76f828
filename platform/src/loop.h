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
// it returns).  When the owner finds the queue empty it drains the eventfd,
// clears the flag, then looks at the inbox once more: a post from another
// thread that raced with it is either seen there or writes the eventfd
// again (see Settle for why the drain comes first).
//
// The owner's own posts and the dispatch of what it takes are the hot path
// (every socket notification is one of each): a ring buffer touched only by
// the owner, no lock, no system call.  Everything else lives in loop.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <tervane/platform.h>

#include "loop_internal.h"

namespace tervane::detail {

class Loop;

// The calling thread's loop, or nullptr before its first use.  Initial-exec:
// a plain thread-pointer load, no call, on every post and dispatch.
extern thread_local constinit Loop* tlsCurrent __attribute__((tls_model("initial-exec")));

class Loop {
 public:
  Loop();
  ~Loop();
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
      if (--loop_.inside_ == 0 && !loop_.Empty()) loop_.Signal();
    }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

   private:
    Loop& loop_;
  };

  int BackendFd() const { return epfd_; }
  std::uint64_t Id() const { return id_; }
  bool IsOwner() const { return tlsCurrent == this; }

  // A post from any thread to this loop.
  void Post(const Posted& msg) {
    if (IsOwner()) {
      PostOwn(msg.hwnd, msg.message, msg.wParam, msg.lParam);
      return;
    }
    PostForeign(msg);
  }

  // A post from the owner thread.  Returns the message's ticket: its place
  // in the sequence of messages ever queued here (see Waiting).
  std::uint64_t PostOwn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (tail_ - head_ > mask_) Grow();
    const bool wasEmpty = tail_ == head_;
    Append(window, message, wParam, lParam);
    if (wasEmpty && inside_ == 0) Signal();
    return tail_;
  }

  // The common case of PostOwn, without calls: false (nothing done) when
  // the ring is full or the post would have to wake the descriptor.
  bool TryPostOwn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (tail_ - head_ > mask_ || (tail_ == head_ && inside_ == 0)) return false;
    Append(window, message, wParam, lParam);
    return true;
  }

  // The message with this ticket has not been taken from the queue yet.
  bool Waiting(std::uint64_t ticket) const { return head_ < ticket; }

  // Next message, optionally removed.  With `wait`, blocks until there is
  // one.  Returns false when there is none (never when waiting).
  bool Next(MSG* out, bool remove, bool wait) {
    for (;;) {
      if (tail_ == head_ || head_ >= collectAt_) {
        Collect(0);
        Splice();
      }
      // Messages of windows destroyed since their post are dropped by
      // DispatchMessageA, as on Windows.
      if (tail_ != head_) {
        const Posted& m = ring_[head_ & mask_];
        if (m.message == kTaken && m.hwnd == nullptr) {  // see Take
          ++head_;
          continue;
        }
        *out = MSG{};
        out->hwnd = m.hwnd;
        out->message = m.message;
        out->wParam = m.wParam;
        out->lParam = m.lParam;
        if (remove) ++head_;
        looked_ = tail_;
        return true;
      }
      if (!Settle()) continue;  // something arrived while settling
      looked_ = tail_;
      if (!wait) return false;
      Collect(-1);
      Splice();
    }
  }

  // PeekMessageA with a filter: the first queued message of `window` (any
  // window when null) within [min, max] (any message when both are 0),
  // optionally removed; the messages before it stay where they are.
  bool Take(MSG* out, HWND window, UINT min, UINT max, bool remove);

  // `quitCode` receives the exit code of a quit message that ends it.
  bool DispatchPending(int* quitCode = nullptr);
  // MsgWaitForMultipleObjects on the queue alone: WAIT_OBJECT_0 once a
  // message arrives that was not there when the queue was last looked at,
  // WAIT_TIMEOUT after `ms` (INFINITE: never).
  DWORD WaitNewInput(DWORD ms);
  int Run();
  bool Watch(int fd, WatchCallback cb, void* context);
  void Unwatch(int fd);

 private:
  // Readiness is collected at least this often while messages keep coming,
  // so that a flood of posted messages cannot starve the sockets; seldom
  // enough that the poll costs nothing next to the messages themselves.
  static constexpr int kCollectEvery = 1024;
  static constexpr std::uint64_t kEventFdKey = ~std::uint64_t(0);
  // What a message taken out of the middle of the queue leaves in its slot
  // (to no window, so dispatching it does nothing): the slots behind keep
  // their places, and with them the tickets handed out for them.
  static constexpr UINT kTaken = 0xFFFFFFFFu;

  struct WatchEntry {
    std::uint64_t gen;
    WatchCallback cb;
    void* context;
  };

  bool Empty() const { return tail_ == head_; }
  void Append(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Posted& slot = ring_[tail_ & mask_];
    slot.hwnd = window;
    slot.message = message;
    slot.wParam = wParam;
    slot.lParam = lParam;
    ++tail_;
  }
  __attribute__((noinline)) void Grow();
  void PostForeign(const Posted& msg);
  void Signal();
  void Splice() {
    if (inboxFlag_.load(std::memory_order_acquire)) SpliceInbox();
  }
  void SpliceInbox();
  bool Settle();
  void Silence();
  void Collect(int timeout);

  // Owner-only FIFO: a ring of mask_ + 1 (a power of two) slots; head_
  // and tail_ count messages ever taken and ever queued.
  std::unique_ptr<Posted[]> ring_;
  std::uint64_t mask_ = 0;
  std::uint64_t head_ = 0;
  std::uint64_t tail_ = 0;
  int inside_ = 0;  // owner is inside the loop: its posts need no wake-up
  std::uint64_t collectAt_ = 0;  // head_ at which readiness is due again
  // tail_ when the owner last looked at the queue: later posts are the new
  // input that ends MsgWaitForMultipleObjects.
  std::uint64_t looked_ = 0;

  std::uint64_t id_;  // unique in the process, never 0
  int epfd_ = -1;
  int evfd_ = -1;
  std::mutex inboxMutex_;
  std::vector<Posted> inbox_;  // posts from other threads
  std::atomic<bool> inboxFlag_{false};
  // Set by whoever turns it on; that thread then writes the waker once.
  std::atomic<bool> signalled_{false};
  // Owner only: writes still due for flags the owner has already cleared.
  std::int64_t owed_ = 0;
  std::uint64_t watchGen_ = 0;
  std::unordered_map<int, WatchEntry> watches_;
};

}  // namespace tervane::detail
