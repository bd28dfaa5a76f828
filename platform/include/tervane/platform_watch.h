// Descriptor watches on the calling thread's message loop, used by the
// WinSock module.  Kept apart from platform.h because it must not bring in
// <tervane/win32.h>: the module's sources use the POSIX socket headers,
// whose names the Win32 ones would clash with.
#pragma once

#include <cstdint>

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

}  // namespace tervane
