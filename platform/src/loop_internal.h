// Internal interface between the message loop and the window table.
//
// A Loop is one thread's message queue plus its readiness backend.  Windows
// record the Loop of the thread that created them so that PostMessageA from
// any thread can find the right queue.  The window table's mutex is held
// while a post from another thread is handed to a Loop, and a Loop removes
// its windows under that mutex before it dies: a poster never reaches a
// Loop that is being destroyed.  The owner thread posts to its own windows
// and dispatches without that mutex: only it can destroy them or its Loop.
#pragma once

#include <tervane/win32.h>

namespace tervane::detail {

class Loop;

// The calling thread's loop, created on first use.
Loop& CurrentLoop();

// A queued message: what a window procedure is given.  MSG's time stamp
// is not kept: PeekMessageA and GetMessageA stamp a message when they hand
// it out (nothing here reads it, and reading the clock on every post would
// cost more than the whole post).
struct Posted {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// A toolkit has replaced the process-pending-messages operation: it runs
// its own loop, whose input this loop cannot see (system.cpp).
bool ForeignToolkit();

// The window table service the loop uses.
void DestroyWindowsOf(const Loop* loop);  // thread exit: its windows die

}  // namespace tervane::detail
