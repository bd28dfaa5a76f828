// The readiness backend of the message loop (epoll + eventfd), behind plain
// types: the loop itself includes <tervane/win32.h>, whose WinSock names
// cannot share a translation unit with the POSIX headers.
#pragma once

#include <cstdint>

namespace tervane::detail::backend {

struct Event {
  std::uint64_t key;
  std::uint32_t bits;  // tervane::kWatch* bits
};

int CreatePoller();                 // epoll descriptor
int CreateWaker(int poller, std::uint64_t key);  // eventfd in the poller
// Edge-triggered read+write+hang-up watch; `modify` replaces an existing
// one.  Returns false with errno set.
bool Watch(int poller, int fd, std::uint64_t key, bool modify);
void Unwatch(int poller, int fd);
// Wait for readiness (timeout -1 blocks); returns the number of events.
int Wait(int poller, Event* out, int max, int timeout);
void Wake(int waker);
// Reads the waker's counter back to zero; returns how many wake-ups it
// held (0 when there were none).
std::uint64_t Drain(int waker);
void Close(int fd);

}  // namespace tervane::detail::backend
