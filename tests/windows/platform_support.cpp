// What the tests need of the platform beyond Win32's own names (pumping,
// counting live windows, capturing the debug output), over the real user32
// and kernel32.  Linked into the Windows test programs only: on Windows the
// program's loop is the system's, and nothing here ships.
#include <mutex>
#include <string>

#include <tervane/platform.h>

#include "windows/host_windows.h"

namespace winpeer {

bool WaitMessages(int limitMs) {
  const DWORD wait = limitMs < 0 ? INFINITE : static_cast<DWORD>(limitMs);
  // MWMO_INPUTAVAILABLE: input already seen by an earlier peek counts too,
  // as the Linux loop's descriptor stays readable while work is queued.
  return MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0;
}

}  // namespace winpeer

namespace tervane {
namespace {

// As many messages as one call dispatches: a handler that posts itself
// again for ever cannot hold the test's pump.
constexpr int kDispatchBound = 10000;

bool Dispatch(bool nested) {
  MSG msg;
  for (int i = 0; i < kDispatchBound && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      if (nested) PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length
// and address; a vectored handler sees it before any debugger or the
// system's shared debug buffer, on the calling thread, in order.
std::mutex sinkMutex;
DebugSink sink;
PVOID handler = nullptr;

LONG CALLBACK TakeDebugOutput(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  if (r->ExceptionCode != DBG_PRINTEXCEPTION_C || r->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  DebugSink to;
  {
    std::lock_guard<std::mutex> lock(sinkMutex);
    to = sink;
  }
  if (!to) return EXCEPTION_CONTINUE_SEARCH;
  to(reinterpret_cast<const char*>(r->ExceptionInformation[1]));
  return EXCEPTION_CONTINUE_EXECUTION;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

}  // namespace

int LoopBackendFd() { return winpeer::kMessageQueueFd; }

bool DispatchPending() { return Dispatch(false); }

bool DispatchPendingNested() { return Dispatch(true); }

void SetDebugSink(DebugSink s) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  sink = std::move(s);
  if (sink && handler == nullptr) handler = AddVectoredExceptionHandler(1, TakeDebugOutput);
  if (!sink && handler != nullptr) {
    RemoveVectoredExceptionHandler(handler);
    handler = nullptr;
  }
}

std::string ExecutableDir() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

int LiveWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace tervane
