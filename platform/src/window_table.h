// The process-wide window table, shared by the window functions and the
// loop's dispatch.
//
// Handles are (generation << 32) | (slot + 1).  Slots live in chunks that
// are never moved nor freed, so a handle can be resolved without the table
// lock: PostMessageA from the owner thread and every dispatch do that.  An
// entry's `state` is its generation while the window lives and 0 otherwise;
// a reader checks it before and after reading the entry's fields (a
// sequence lock), so a slot recycled under its feet is never mistaken for
// the window it held.  Generations only grow, so a recycled slot always
// carries a new one.  Changes to entries are made under the table mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <tervane/win32.h>

namespace tervane::detail {

class Loop;

struct WindowEntry {
  std::atomic<std::uint32_t> state{0};  // generation while alive, else 0
  std::atomic<Loop*> loop{nullptr};
  std::atomic<WNDPROC> proc{nullptr};
  // Under the table mutex only.
  std::vector<unsigned char> extra;
  LONG_PTR userData = 0;
};

struct ClassEntry {
  WNDCLASSA cls;
  std::string name;  // owns the text lpszClassName points to
};

struct WindowTables {
  static constexpr std::size_t kChunkBits = 8;
  static constexpr std::size_t kChunkSize = std::size_t(1) << kChunkBits;
  static constexpr std::size_t kMaxChunks = 4096;  // a million windows

  std::mutex mutex;
  std::map<std::string, ClassEntry> classes;  // folded name -> class
  std::size_t slots = 0;  // slots handed out so far
  std::vector<std::size_t> freeSlots;
  std::uint32_t nextGen = 1;
};

// Never destroyed, so that thread-exit cleanup that runs late in process
// exit still finds the tables.
inline WindowTables& Tables() {
  static WindowTables* tables = new WindowTables;
  return *tables;
}

// The chunks of window entries, allocated under the table mutex as slots
// are handed out and never freed.  Constant-initialised and trivially
// destroyed: usable at any point of the process's life.
extern std::atomic<WindowEntry*> gWindowChunks[WindowTables::kMaxChunks]
    __attribute__((visibility("hidden")));

// Lock-free: the entry a handle's slot names, or nullptr when the handle
// is malformed or its slot was never handed out.  Says nothing about
// whether the window still lives: compare `state` with `gen`.
inline const WindowEntry* EntryOf(HWND window, std::uint32_t* gen) {
  const auto v = reinterpret_cast<std::uintptr_t>(window);
  *gen = static_cast<std::uint32_t>(v >> 32);
  // A null handle's slot wraps round to a huge number: out of range.
  const std::size_t slot = static_cast<std::uint32_t>(v) - std::size_t(1);
  if (*gen == 0 || (slot >> WindowTables::kChunkBits) >= WindowTables::kMaxChunks) return nullptr;
  const WindowEntry* chunk =
      gWindowChunks[slot >> WindowTables::kChunkBits].load(std::memory_order_acquire);
  return chunk ? &chunk[slot & (WindowTables::kChunkSize - 1)] : nullptr;
}

// Lock-free: calls `read(entry)` and returns true when `window` names a
// live window, and the window was still that one after the read.
template <class Read>
inline bool ReadLive(HWND window, Read read) {
  std::uint32_t gen;
  const WindowEntry* w = EntryOf(window, &gen);
  if (!w || w->state.load(std::memory_order_acquire) != gen) return false;
  read(*w);
  std::atomic_thread_fence(std::memory_order_acquire);
  return w->state.load(std::memory_order_relaxed) == gen;
}

// The loop that owns a live window, or nullptr.
inline Loop* OwnerOf(HWND window) {
  Loop* loop = nullptr;
  const bool live = ReadLive(window, [&](const WindowEntry& w) {
    loop = w.loop.load(std::memory_order_relaxed);
  });
  return live ? loop : nullptr;
}

// The procedure of a live window, or nullptr.
inline WNDPROC ProcOf(HWND window) {
  WNDPROC proc = nullptr;
  const bool live = ReadLive(window, [&](const WindowEntry& w) {
    proc = w.proc.load(std::memory_order_relaxed);
  });
  return live ? proc : nullptr;
}

// For the thread of `mine` only: whether `window` is one of its live
// windows, and if so its procedure.  One generation check is enough here.
// Only the owner destroys its windows, so a window found alive and owned
// by `mine` stays that way while the owner reads it; and a slot recycled
// by another thread can never show `mine` as its owner.
inline bool OwnWindow(HWND window, const Loop* mine, WNDPROC* proc) {
  std::uint32_t gen;
  const WindowEntry* w = EntryOf(window, &gen);
  if (!w || w->state.load(std::memory_order_acquire) != gen ||
      w->loop.load(std::memory_order_relaxed) != mine)
    return false;
  *proc = w->proc.load(std::memory_order_relaxed);
  return true;
}

}  // namespace tervane::detail

namespace tervane::detail {

// DispatchMessageA's work: the window procedure of a live window gets the
// message; one of a window destroyed since its post is dropped.
inline LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC proc = ProcOf(window);
  return proc ? proc(window, message, wParam, lParam) : 0;
}

// The same for a message taken from `mine`'s own queue by its thread: it
// was posted to one of that thread's windows.
inline LRESULT DispatchOwn(const Loop* mine, HWND window, UINT message, WPARAM wParam,
                           LPARAM lParam) {
  WNDPROC proc;
  return OwnWindow(window, mine, &proc) ? proc(window, message, wParam, lParam) : 0;
}

}  // namespace tervane::detail
