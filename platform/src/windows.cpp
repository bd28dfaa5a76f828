// Window classes and hidden message windows.
//
// A window here is only what a notification sink needs: a class with a
// window procedure, per-window extra bytes, and an owner thread whose queue
// receives the window's posted messages.  Handles carry a generation, so a
// destroyed window's handle never names a later window that reuses its slot,
// and messages still queued for it are dropped instead of delivered.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "loop_internal.h"

namespace tervane::detail {
namespace {

struct ClassEntry {
  WNDCLASSA cls;
  std::string name;  // owns the text lpszClassName points to
};

struct WindowEntry {
  std::uint32_t gen = 0;
  bool alive = false;
  Loop* loop = nullptr;
  WNDPROC proc = nullptr;
  std::vector<unsigned char> extra;
  LONG_PTR userData = 0;
};

std::string Fold(const char* s) {
  std::string out(s ? s : "");
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Process-wide tables; never destroyed, so that thread-exit cleanup that
// runs late in process exit still finds them.
struct Tables {
  std::mutex mutex;
  std::map<std::string, ClassEntry> classes;  // folded name -> class
  std::vector<WindowEntry> windows;           // slot = handle's low half - 1
  std::vector<std::size_t> freeSlots;
  std::uint32_t nextGen = 1;
};

Tables& T() {
  static Tables* tables = new Tables;
  return *tables;
}

HWND MakeHandle(std::size_t slot, std::uint32_t gen) {
  const std::uintptr_t v = (static_cast<std::uintptr_t>(gen) << 32) | (slot + 1);
  return reinterpret_cast<HWND>(v);
}

// Caller holds the mutex.
WindowEntry* Find(HWND window) {
  const auto v = reinterpret_cast<std::uintptr_t>(window);
  const std::size_t low = v & 0xFFFFFFFFu;
  const auto gen = static_cast<std::uint32_t>(v >> 32);
  auto& t = T();
  if (low == 0 || low > t.windows.size()) return nullptr;
  WindowEntry& w = t.windows[low - 1];
  if (!w.alive || w.gen != gen) return nullptr;
  return &w;
}

// Caller holds the mutex; `w` is a live window of the calling thread.
LONG_PTR* Slot(WindowEntry& w, int index) {
  if (index == GWLP_USERDATA) return &w.userData;
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w.extra.size())
    return nullptr;
  return reinterpret_cast<LONG_PTR*>(w.extra.data() + index);
}

}  // namespace

bool WindowAlive(HWND window) {
  std::lock_guard<std::mutex> lock(T().mutex);
  return Find(window) != nullptr;
}

void DestroyWindowsOf(const Loop* loop) {
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (std::size_t i = 0; i < t.windows.size(); ++i) {
    WindowEntry& w = t.windows[i];
    if (w.alive && w.loop == loop) {
      w.alive = false;
      w.loop = nullptr;
      t.freeSlots.push_back(i);
    }
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
  Loop& loop = CurrentLoop();  // before the lock: creating a loop may lock
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
    slot = t.windows.size();
    t.windows.emplace_back();
  }
  WindowEntry& w = t.windows[slot];
  w.gen = t.nextGen++;
  if (t.nextGen == 0) t.nextGen = 1;
  w.alive = true;
  w.loop = &loop;
  w.proc = it->second.cls.lpfnWndProc;
  // Programs register 4 extra bytes and keep a pointer at index 0, as they
  // would on 32-bit Windows: always leave room for one pointer.
  w.extra.assign(std::max<std::size_t>(it->second.cls.cbWndExtra, sizeof(LONG_PTR)), 0);
  w.userData = 0;
  return MakeHandle(slot, w.gen);
}

BOOL WINAPI DestroyWindow(HWND window) {
  WNDPROC proc;
  {
    auto& t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    WindowEntry* w = Find(window);
    if (!w || w->loop != &CurrentLoop()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    proc = w->proc;
  }
  proc(window, WM_DESTROY, 0, 0);
  auto& t = T();
  std::lock_guard<std::mutex> lock(t.mutex);
  WindowEntry* w = Find(window);
  if (w) {  // the procedure may have destroyed it itself
    w->alive = false;
    w->loop = nullptr;
    w->extra.clear();
    t.freeSlots.push_back(static_cast<std::size_t>(w - t.windows.data()));
  }
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return WindowAlive(window) ? TRUE : FALSE; }

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> lock(T().mutex);
  WindowEntry* w = Find(window);
  LONG_PTR* slot = w ? Slot(*w, index) : nullptr;
  if (!slot) {
    SetLastError(w ? 1413u /* ERROR_INVALID_INDEX */ : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const LONG_PTR old = *slot;
  *slot = value;
  SetLastError(ERROR_SUCCESS);
  return old;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
  std::lock_guard<std::mutex> lock(T().mutex);
  WindowEntry* w = Find(window);
  LONG_PTR* slot = w ? Slot(*w, index) : nullptr;
  if (!slot) {
    SetLastError(w ? 1413u : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return *slot;
}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  if (window == nullptr) {  // the calling thread's own queue
    Enqueue(CurrentLoop(), msg);
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
  Enqueue(*w->loop, msg);
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    WindowEntry* w = Find(window);
    // Only same-thread sends are supported: that is all anything here does.
    if (!w || w->loop != &CurrentLoop()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    proc = w->proc;
  }
  return proc(window, message, wParam, lParam);
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lock(T().mutex);
    WindowEntry* w = Find(msg->hwnd);
    if (!w) return 0;  // destroyed since it was queued
    proc = w->proc;
  }
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

namespace tervane {

int LiveWindowCount() {
  auto& t = T();
  Loop* mine = &CurrentLoop();
  std::lock_guard<std::mutex> lock(t.mutex);
  return static_cast<int>(std::count_if(t.windows.begin(), t.windows.end(),
                                        [&](const WindowEntry& w) {
                                          return w.alive && w.loop == mine;
                                        }));
}

}  // namespace tervane
