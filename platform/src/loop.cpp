// The message loop's cold paths (see loop.h): creation, growth of the
// queue, posts from other threads, waking and settling the backend
// descriptor, readiness collection and the loop drivers.
#include "loop.h"

#include <chrono>

#include "backend.h"
#include "window_table.h"

namespace tervane::detail {

namespace {
constexpr int kMaxEvents = 64;
// Messages posted during one DispatchPending that it still dispatches, and
// the time after which it leaves what is still queued to the next call
// (once kChainFree messages ran): a queue of costly messages, such as
// sockets that read a flood a budget at a time, must not keep a foreign
// loop from painting for long.
constexpr std::uint64_t kChainBudget = 4096;
constexpr std::uint64_t kChainFree = 16;
constexpr std::chrono::milliseconds kChainTime{10};
constexpr std::uint64_t kFirstCapacity = 64;
std::atomic<std::uint64_t> gNextLoopId{1};
// Longest a MsgWaitForMultipleObjects sleeps while a foreign toolkit runs
// the loop: the toolkit's own input waits no longer than this.
constexpr DWORD kForeignInputSliceMs = 10;
}  // namespace

thread_local constinit Loop* tlsCurrent = nullptr;

Loop::Loop()
    : ring_(new Posted[kFirstCapacity]), mask_(kFirstCapacity - 1), id_(gNextLoopId++) {
  epfd_ = backend::CreatePoller();
  evfd_ = backend::CreateWaker(epfd_, kEventFdKey);
}

Loop::~Loop() {
  DestroyWindowsOf(this);
  if (tlsCurrent == this) tlsCurrent = nullptr;
  backend::Close(evfd_);
  backend::Close(epfd_);
}

void Loop::Grow() {
  const std::uint64_t bigger = (mask_ + 1) * 2;
  std::unique_ptr<Posted[]> ring(new Posted[bigger]);
  for (std::uint64_t i = head_; i != tail_; ++i) ring[i & (bigger - 1)] = ring_[i & mask_];
  ring_ = std::move(ring);
  mask_ = bigger - 1;
}

void Loop::PostForeign(const Posted& msg) {
  {
    std::lock_guard<std::mutex> lock(inboxMutex_);
    inbox_.push_back(msg);
    inboxFlag_.store(true, std::memory_order_release);
  }
  Signal();
}

void Loop::Signal() {
  if (signalled_.exchange(true, std::memory_order_acq_rel)) return;
  backend::Wake(evfd_);
}

void Loop::SpliceInbox() {
  std::lock_guard<std::mutex> lock(inboxMutex_);
  for (const Posted& m : inbox_) {
    if (tail_ - head_ > mask_) Grow();
    ring_[tail_ & mask_] = m;
    ++tail_;
  }
  inbox_.clear();
  inboxFlag_.store(false, std::memory_order_relaxed);
}

// The queue was found empty: let the descriptor fall silent.  Returns
// false when a late post from another thread refilled the queue.
//
// The waker is read back BEFORE the flag is cleared.  Read after, it could
// swallow the wake-up of a post made between the two steps, whose poster
// saw the flag clear and wrote: the flag would then stay set with nothing
// left to read, every later poster would skip its write, and the owner
// would sleep on a full inbox.  Read before, it can only miss a write that
// a poster is still about to make for a flag this call clears; `owed_`
// counts those, and later calls read them back once they land.  Only a
// wake-up that was, or is about to be, written needs reading: a burst of
// posts made inside the loop costs no system call at all.
bool Loop::Settle() {
  Silence();
  return Empty();
}

// The drain and flag steps of Settle, also used by a wait that must sleep
// while old messages stay queued.
void Loop::Silence() {
  if (owed_ > 0 || signalled_.load(std::memory_order_relaxed))
    owed_ -= static_cast<std::int64_t>(backend::Drain(evfd_));
  if (signalled_.exchange(false, std::memory_order_seq_cst)) ++owed_;
  Splice();
}

DWORD Loop::WaitNewInput(DWORD ms) {
  Inside guard(*this);
  const DWORD start = GetTickCount();
  for (;;) {
    Collect(0);  // readiness turns into posted notifications
    Splice();
    if (tail_ != looked_) return WAIT_OBJECT_0;
    // Sleep on the backend descriptor; the waker must be quiet first, or
    // the queued old messages it stands for would wake us at once.
    Silence();
    if (tail_ != looked_) return WAIT_OBJECT_0;
    int timeout = -1;
    if (ms != INFINITE) {
      const DWORD spent = GetTickCount() - start;
      if (spent >= ms) return WAIT_TIMEOUT;
      timeout = static_cast<int>(ms - spent);
    }
    Collect(timeout);
    Splice();
  }
}

// Deliver readiness to the watch callbacks.  timeout -1 blocks.
void Loop::Collect(int timeout) {
  collectAt_ = head_ + kCollectEvery;
  // With nothing watched there is no readiness to collect without waiting.
  if (timeout == 0 && watches_.empty()) return;
  backend::Event events[kMaxEvents];
  const int n = backend::Wait(epfd_, events, kMaxEvents, timeout);
  // Every caller is inside the loop: posts the callbacks make need no
  // wake-up.
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

// Dispatch everything that is ready without waiting.  Messages that
// handlers post meanwhile are dispatched too (chains of posts complete in
// one call), up to a bound: a handler that re-posts itself for ever must
// not keep a foreign loop from running.  Work left over keeps the backend
// descriptor readable.  No keyboard messages exist here, so there is
// nothing for TranslateMessage to do.
bool Loop::DispatchPending(int* quitCode) {
  Inside guard(*this);
  Splice();
  const std::uint64_t timeFree = head_ + kChainFree;
  const std::uint64_t stop = head_ + (tail_ - head_) + kChainBudget;
  const auto deadline = std::chrono::steady_clock::now() + kChainTime;
  while (head_ < stop) {
    if (head_ >= timeFree && std::chrono::steady_clock::now() >= deadline) break;
    if (tail_ == head_ || head_ >= collectAt_) {
      MSG msg;
      if (!Next(&msg, false, false)) break;  // collects, splices, settles
    }
    // Taken before the call: the procedure may post, and the ring move.
    const Posted& slot = ring_[head_ & mask_];
    const HWND window = slot.hwnd;
    const UINT message = slot.message;
    const WPARAM wParam = slot.wParam;
    const LPARAM lParam = slot.lParam;
    ++head_;
    if (message == WM_QUIT) {
      looked_ = tail_;
      if (quitCode) *quitCode = static_cast<int>(wParam);
      return false;
    }
    DispatchOwn(this, window, message, wParam, lParam);  // a null window is no window
  }
  looked_ = tail_;
  return true;
}

int Loop::Run() {
  Inside guard(*this);
  MSG msg;
  for (;;) {
    Next(&msg, true, true);
    if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
    if (msg.hwnd) DispatchOwn(this, msg.hwnd, msg.message, msg.wParam, msg.lParam);
  }
}

bool Loop::Watch(int fd, WatchCallback cb, void* context) {
  const std::uint64_t gen = ++watchGen_;
  const std::uint64_t key = (gen << 32) | static_cast<std::uint32_t>(fd);
  const bool known = watches_.count(fd) != 0;
  if (!backend::Watch(epfd_, fd, key, known)) return false;
  watches_[fd] = WatchEntry{gen, cb, context};
  return true;
}

void Loop::Unwatch(int fd) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  backend::Unwatch(epfd_, fd);  // fails harmlessly if fd was closed
  watches_.erase(it);
}

bool Loop::Take(MSG* out, HWND window, UINT min, UINT max, bool remove) {
  Collect(0);
  Splice();
  for (std::uint64_t i = head_; i != tail_; ++i) {
    Posted& m = ring_[i & mask_];
    if (m.message == kTaken && m.hwnd == nullptr) continue;
    if (window != nullptr && m.hwnd != window) continue;
    if ((min != 0 || max != 0) && (m.message < min || m.message > max)) continue;
    *out = MSG{};
    out->hwnd = m.hwnd;
    out->message = m.message;
    out->wParam = m.wParam;
    out->lParam = m.lParam;
    if (remove) {
      if (i == head_)
        ++head_;
      else
        m = Posted{nullptr, kTaken, 0, 0};
    }
    return true;
  }
  return false;
}

namespace {
thread_local std::unique_ptr<Loop> tlsLoop;
}

Loop& CurrentLoop() {
  if (Loop* loop = tlsCurrent) return *loop;
  tlsLoop = std::make_unique<Loop>();
  tlsCurrent = tlsLoop.get();
  return *tlsLoop;
}

}  // namespace tervane::detail

using tervane::detail::CurrentLoop;

BOOL WINAPI PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  auto& loop = CurrentLoop();
  tervane::detail::Loop::Inside guard(loop);
  const bool remove = (removeMsg & PM_REMOVE) != 0;
  const bool filtered = window != nullptr || filterMin != 0 || filterMax != 0;
  if (!(filtered ? loop.Take(msg, window, filterMin, filterMax, remove)
                 : loop.Next(msg, remove, false)))
    return FALSE;
  msg->time = GetTickCount();
  return TRUE;
}

BOOL WINAPI GetMessageA(MSG* msg, HWND, UINT, UINT) {
  auto& loop = CurrentLoop();
  {
    tervane::detail::Loop::Inside guard(loop);
    loop.Next(msg, true, true);
  }
  msg->time = GetTickCount();
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL, DWORD ms,
                                       DWORD wakeMask) {
  if (nCount != 0 || pHandles != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);  // no waitable objects here
    return WAIT_FAILED;
  }
  const bool posts = (wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0;
  // A toolkit that runs its own loop keeps its input where this loop cannot
  // see it: the wait then ends after a short slice, as if input had come,
  // so that the caller's pump lets the toolkit run.
  DWORD slice = ms;
  if (tervane::detail::ForeignToolkit() && (ms == INFINITE || ms > tervane::detail::kForeignInputSliceMs))
    slice = tervane::detail::kForeignInputSliceMs;
  DWORD r = WAIT_TIMEOUT;
  if (posts) {
    r = CurrentLoop().WaitNewInput(slice);
  } else {
    // Only posted messages exist here: nothing else can end the wait.
    do Sleep(slice == INFINITE ? 60000 : slice);
    while (slice == INFINITE);
  }
  return r == WAIT_TIMEOUT && slice != ms ? WAIT_OBJECT_0 : r;
}

void WINAPI PostQuitMessage(int exitCode) {
  CurrentLoop().Post(tervane::detail::Posted{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

namespace tervane {

int LoopBackendFd() { return CurrentLoop().BackendFd(); }
bool DispatchPending() { return CurrentLoop().DispatchPending(); }
bool DispatchPendingNested() {
  int code = 0;
  if (CurrentLoop().DispatchPending(&code)) return true;
  PostQuitMessage(code);
  return false;
}
int RunMessageLoop() { return CurrentLoop().Run(); }
bool WatchFd(int fd, WatchCallback callback, void* context) {
  return CurrentLoop().Watch(fd, callback, context);
}
void UnwatchFd(int fd) {
  // A thread that never had a loop watches nothing: no loop is made for it.
  if (tervane::detail::Loop* loop = tervane::detail::tlsCurrent) loop->Unwatch(fd);
}

}  // namespace tervane
