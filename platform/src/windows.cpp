// Window classes and hidden message windows.
//
// A window here is only what a notification sink needs: a class with a
// window procedure, per-window extra bytes, and an owner thread whose queue
// receives the window's posted messages.  Handles carry a generation, so a
// destroyed window's handle never names a later window that reuses its slot,
// and messages still queued for it are dropped instead of delivered.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "fold.h"
#include "loop.h"
#include "window_table.h"

namespace tervane::detail {
namespace {

WindowTables& T() { return Tables(); }

HWND MakeHandle(std::size_t slot, std::uint32_t gen) {
  const std::uintptr_t v = (static_cast<std::uintptr_t>(gen) << 32) | (slot + 1);
  return reinterpret_cast<HWND>(v);
}

WindowEntry& At(std::size_t slot) {
  return gWindowChunks[slot >> WindowTables::kChunkBits].load(std::memory_order_relaxed)
      [slot & (WindowTables::kChunkSize - 1)];
}

// Caller holds the mutex.
WindowEntry* Find(HWND window) {
  const auto v = reinterpret_cast<std::uintptr_t>(window);
  const std::size_t low = v & 0xFFFFFFFFu;
  const auto gen = static_cast<std::uint32_t>(v >> 32);
  if (low == 0 || gen == 0 || low > T().slots) return nullptr;
  WindowEntry& w = At(low - 1);
  if (w.state.load(std::memory_order_relaxed) != gen) return nullptr;
  return &w;
}

// Caller holds the mutex.  Readers that resolve without the lock see the
// state fall to 0 before the entry changes.
void Kill(WindowEntry& w, std::size_t slot) {
  w.state.store(0, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  w.loop.store(nullptr, std::memory_order_relaxed);
  w.extra.clear();
  T().freeSlots.push_back(slot);
}

// Caller holds the mutex; `w` is a live window of the calling thread.
// The slot at `index`: the user data, or sizeof(LONG_PTR) bytes of the
// window's extra bytes that lie wholly inside what its class registered;
// nullptr for any other index, as Windows refuses it.
unsigned char* Slot(WindowEntry& w, int index) {
  if (index == GWLP_USERDATA) return reinterpret_cast<unsigned char*>(&w.userData);
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w.extra.size())
    return nullptr;
  return w.extra.data() + index;
}

}  // namespace

std::atomic<WindowEntry*> gWindowChunks[WindowTables::kMaxChunks];

void DestroyWindowsOf(const Loop* loop) {
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (std::size_t i = 0; i < t.slots; ++i) {
    WindowEntry& w = At(i);
    if (w.state.load(std::memory_order_relaxed) != 0 &&
        w.loop.load(std::memory_order_relaxed) == loop)
      Kill(w, i);
  }
}

}  // namespace tervane::detail

using namespace tervane::detail;

HINSTANCE WINAPI GetModuleHandleA(LPCSTR) {
  // One module instance per process is all this platform distinguishes.
  static char anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* wndClass) {
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.classes.find(Fold(className));
  if (it == t.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (wndClass) *wndClass = it->second.cls;
  return TRUE;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* wndClass) {
  if (!wndClass || !wndClass->lpszClassName || !wndClass->lpfnWndProc ||
      wndClass->cbWndExtra < 0) {
    SetLastError(87);  // ERROR_INVALID_PARAMETER
    return 0;
  }
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  const std::string key = Fold(wndClass->lpszClassName);
  if (t.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  ClassEntry& e = t.classes[key];
  e.cls = *wndClass;
  e.name = wndClass->lpszClassName;
  e.cls.lpszClassName = e.name.c_str();
  e.cls.lpszMenuName = nullptr;
  return static_cast<ATOM>(0xC000 + t.classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.classes.erase(Fold(className)) == 0) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int, HWND,
                            HMENU, HINSTANCE, LPVOID) {
  Loop& loop = CurrentLoop();  // the thread's queue receives the window's posts
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.classes.find(Fold(className));
  if (it == t.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return nullptr;
  }
  std::size_t slot;
  if (!t.freeSlots.empty()) {
    slot = t.freeSlots.back();
    t.freeSlots.pop_back();
  } else {
    slot = t.slots;
    const std::size_t chunk = slot >> WindowTables::kChunkBits;
    if (chunk >= WindowTables::kMaxChunks) {
      SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
      return nullptr;
    }
    if (!gWindowChunks[chunk].load(std::memory_order_relaxed))
      gWindowChunks[chunk].store(new WindowEntry[WindowTables::kChunkSize],
                                 std::memory_order_release);
    ++t.slots;
  }
  WindowEntry& w = At(slot);
  // Readers that see the new fields must also see the slot's earlier death.
  std::atomic_thread_fence(std::memory_order_release);
  const std::uint32_t gen = t.nextGen++;
  if (t.nextGen == 0) t.nextGen = 1;
  w.loop.store(&loop, std::memory_order_relaxed);
  w.proc.store(it->second.cls.lpfnWndProc, std::memory_order_relaxed);
  // Exactly the extra bytes the class registered, as Windows gives them: a
  // class that registered too few for a pointer cannot keep one there.
  w.extra.assign(static_cast<std::size_t>(it->second.cls.cbWndExtra), 0);
  w.userData = 0;
  w.state.store(gen, std::memory_order_release);  // published: resolvable now
  return MakeHandle(slot, gen);
}

BOOL WINAPI DestroyWindow(HWND window) {
  WNDPROC proc;
  {
    auto& t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    WindowEntry* w = Find(window);
    if (!w || w->loop.load(std::memory_order_relaxed) != tlsCurrent) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    proc = w->proc.load(std::memory_order_relaxed);
  }
  proc(window, WM_DESTROY, 0, 0);
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  WindowEntry* w = Find(window);
  // The procedure may have destroyed it itself.
  if (w) Kill(*w, (reinterpret_cast<std::uintptr_t>(window) & 0xFFFFFFFFu) - 1);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return ProcOf(window) != nullptr ? TRUE : FALSE; }

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> lock(T().mutex);
  WindowEntry* w = Find(window);
  unsigned char* slot = w ? Slot(*w, index) : nullptr;
  if (!slot) {
    SetLastError(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old;
  std::memcpy(&old, slot, sizeof old);  // extra bytes need not be aligned
  std::memcpy(slot, &value, sizeof value);
  SetLastError(ERROR_SUCCESS);
  return old;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
  std::lock_guard<std::mutex> lock(T().mutex);
  WindowEntry* w = Find(window);
  unsigned char* slot = w ? Slot(*w, index) : nullptr;
  if (!slot) {
    SetLastError(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR value;
  std::memcpy(&value, slot, sizeof value);
  return value;
}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

namespace {

// Every post but the common one of PostMessageA: the first of a burst
// (it wakes the descriptor), one that grows the ring, posts to another
// thread's windows, to the thread's own queue (no window), to dead windows.
__attribute__((noinline)) BOOL PostSlow(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
  const Posted msg{window, message, wParam, lParam};
  if (window == nullptr) {  // the calling thread's own queue
    CurrentLoop().Post(msg);
    return TRUE;
  }
  Loop* loop = OwnerOf(window);
  if (loop && loop == tlsCurrent) {
    loop->PostOwn(window, message, wParam, lParam);
    return TRUE;
  }
  // The table lock is held across the hand-over so that the owner thread
  // cannot tear its loop down in between.
  std::lock_guard<std::mutex> lock(T().mutex);
  WindowEntry* w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->loop.load(std::memory_order_relaxed)->Post(msg);
  return TRUE;
}

}  // namespace

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A post to one of the calling thread's windows takes no lock: only this
  // thread could destroy the window or its loop meanwhile.
  Loop* loop = tlsCurrent;
  WNDPROC proc;
  if (loop && OwnWindow(window, loop, &proc) && loop->TryPostOwn(window, message, wParam, lParam))
    return TRUE;
  return PostSlow(window, message, wParam, lParam);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    WindowEntry* w = Find(window);
    // Only same-thread sends are supported: that is all anything here does.
    if (!w || w->loop.load(std::memory_order_relaxed) != tlsCurrent) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    proc = w->proc.load(std::memory_order_relaxed);
  }
  return proc(window, message, wParam, lParam);
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  return msg ? Dispatch(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

namespace tervane {

int LiveWindowCount() {
  auto& t = T();
  const Loop* mine = tlsCurrent;  // a thread without a loop has no windows
  if (mine == nullptr) return 0;
  std::lock_guard<std::mutex> lock(t.mutex);
  int count = 0;
  for (std::size_t i = 0; i < t.slots; ++i) {
    const WindowEntry& w = At(i);
    if (w.state.load(std::memory_order_relaxed) != 0 &&
        w.loop.load(std::memory_order_relaxed) == mine)
      ++count;
  }
  return count;
}

bool PostTracked(HWND__* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                 PostTicket* ticket) {
  *ticket = PostTicket{};
  Loop* loop = window ? OwnerOf(window) : nullptr;
  if (loop && loop == tlsCurrent) {
    const std::uint64_t seq = loop->PostOwn(window, message, wParam, lParam);
    *ticket = PostTicket{loop->Id(), seq};
    return true;
  }
  return PostMessageA(window, message, wParam, lParam) != FALSE;
}

bool StillQueued(const PostTicket& ticket) {
  Loop* loop = tlsCurrent;
  return loop != nullptr && ticket.loop == loop->Id() && loop->Waiting(ticket.seq);
}

}  // namespace tervane
