// Descriptor watches on the calling thread's message loop, used by the
// WinSock module.  Kept apart from platform.h because it must not bring in
// <tervane/win32.h>: the module's sources use the POSIX socket headers,
// whose names the Win32 ones would clash with.
#pragma once

#include <cstdint>

struct HWND__;

namespace tervane {

// Readiness bits passed to a watch callback.
enum : std::uint32_t {
  kWatchReadable = 1u << 0,
  kWatchWritable = 1u << 1,
  kWatchHangup = 1u << 2,   // peer closed its sending side (or both)
  kWatchError = 1u << 3,
};

// Called from DispatchPending/PeekMessage/GetMessage on the loop's thread
// when `fd` reported readiness.  Edge-triggered: a callback is told about
// changes, not levels, and must remember what it still owes its users.
using WatchCallback = void (*)(void* context, int fd, std::uint32_t events);

// Watch `fd` on the calling thread's loop (edge-triggered read + write).
// Returns false (errno set) when the descriptor cannot be watched.
bool WatchFd(int fd, WatchCallback callback, void* context);
// Stop watching; events already collected for `fd` are not delivered.
void UnwatchFd(int fd);

// ---- Notifications that need not be posted twice ------------------------

// Where a message stands in the calling thread's queue.
struct PostTicket {
  std::uint64_t loop = 0;  // the queue's identity; 0: not the caller's own
  std::uint64_t seq = 0;   // the message's place in that queue's history
};
// PostMessageA that also tells, through `ticket`, where the message went
// when that is the calling thread's own queue.  Returns false when the
// window is not (or no longer) a window.
bool PostTracked(HWND__* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                 PostTicket* ticket);
// True while the message of `ticket` waits in the calling thread's queue,
// not taken yet; false for a ticket of another thread's queue or none.
bool StillQueued(const PostTicket& ticket);

}  // namespace tervane
