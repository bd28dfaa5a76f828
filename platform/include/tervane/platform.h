// Platform services that have no Win32 name: driving the calling thread's
// message loop from a foreign loop, running it headless, watching
// descriptors (for the WinSock module), the debug-output sink and the
// module-path seam used by tests.  The socket layer does not include this
// file; programs, the WinSock module and tests do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <tervane/platform_watch.h>
#include <tervane/win32.h>

namespace tervane {

// ---- The calling thread's message loop --------------------------------

// The loop's one pollable descriptor.  It becomes readable whenever the
// thread's loop has work: a posted message, or a watched descriptor that is
// ready.  A foreign loop (Qt's QSocketNotifier) watches it and calls
// DispatchPending() when it fires.  Creating the descriptor creates the
// thread's loop; it stays valid for the life of the thread.
int LoopBackendFd();

// Dispatch what is ready now and never wait: collect descriptor readiness,
// then dispatch the messages that are queued, and those their handlers post
// meanwhile, up to a bound (a handler that re-posts itself for ever cannot
// hold a foreign loop; what is left keeps the descriptor readable).
// WM_QUIT is not dispatched: it is taken and makes the function return
// false.  Returns true unless a quit message was seen.  After it returns
// with an empty queue, the backend descriptor is no longer readable until
// new work arrives.  Messages for windows destroyed since their post are
// dropped.
bool DispatchPending();
// The same for a pump nested inside a handler (a toolkit's process-messages
// hook): a quit message it takes is posted again with its exit code, so
// that the loop outside still ends.  Returns false then.
bool DispatchPendingNested();

// A headless program's loop: GetMessage / TranslateMessage / DispatchMessage
// until WM_QUIT.  Returns the quit message's exit code.
int RunMessageLoop();

// ---- Descriptor watches: see <tervane/platform_watch.h> -------------

// ---- Debug output -------------------------------------------------------

// OutputDebugStringA goes to the sink; with none installed it is silent.
using DebugSink = std::function<void(const char* text)>;
void SetDebugSink(DebugSink sink);

// ---- Module loading seam (tests) ----------------------------------------

// Make LoadLibraryA(name) load `path` instead of the module beside the
// executable; an empty path removes the redirection.  Names compare without
// regard to case.
void SetModulePath(const std::string& name, const std::string& path);
// The folder of the running executable, with a trailing '/'.
std::string ExecutableDir();

// ---- Diagnostics --------------------------------------------------------

// Number of windows alive on the calling thread (tests check for leaks).
int LiveWindowCount();

}  // namespace tervane
