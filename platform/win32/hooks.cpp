// The toolkit hooks of <tervane/win32.h> on Windows: the application's
// "process pending messages" operation over the thread's real message queue.
#include <atomic>

#include <tervane/win32.h>

namespace {
std::atomic<tervane::ProcessMessagesHook> processHook{nullptr};
}  // namespace

namespace tervane {

bool ApplicationProcessMessages() {
  if (ProcessMessagesHook hook = processHook.load()) return hook();
  // Everything waiting now, never waiting for more.  A quit message is put
  // back so that the loop that owns the thread still sees it.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

ProcessMessagesHook SetProcessMessagesHook(ProcessMessagesHook hook) {
  return processHook.exchange(hook);
}

}  // namespace tervane
