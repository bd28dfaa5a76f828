// epoll/eventfd calls of the message loop (see backend.h).
#include "backend.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include <tervane/platform_watch.h>

namespace tervane::detail::backend {

int CreatePoller() { return epoll_create1(EPOLL_CLOEXEC); }

int CreateWaker(int poller, std::uint64_t key) {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;  // level-triggered: readable while undrained
  ev.data.u64 = key;
  epoll_ctl(poller, EPOLL_CTL_ADD, fd, &ev);
  return fd;
}

bool Watch(int poller, int fd, std::uint64_t key, bool modify) {
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  ev.data.u64 = key;
  if (epoll_ctl(poller, modify ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) == 0) return true;
  // A descriptor closed without Unwatch left the kernel's set on its own:
  // the number may now be a new descriptor that must be added.
  if (!modify || errno != ENOENT) return false;
  return epoll_ctl(poller, EPOLL_CTL_ADD, fd, &ev) == 0;
}

void Unwatch(int poller, int fd) { epoll_ctl(poller, EPOLL_CTL_DEL, fd, nullptr); }

int Wait(int poller, Event* out, int max, int timeout) {
  constexpr int kMax = 64;
  epoll_event events[kMax];
  if (max > kMax) max = kMax;
  int n;
  do {
    n = epoll_wait(poller, events, max, timeout);
  } while (n < 0 && errno == EINTR);
  for (int i = 0; i < n; ++i) {
    const std::uint32_t e = events[i].events;
    std::uint32_t bits = 0;
    if (e & EPOLLIN) bits |= kWatchReadable;
    if (e & EPOLLOUT) bits |= kWatchWritable;
    if (e & (EPOLLRDHUP | EPOLLHUP)) bits |= kWatchHangup;
    if (e & EPOLLERR) bits |= kWatchError;
    out[i] = Event{events[i].data.u64, bits};
  }
  return n < 0 ? 0 : n;
}

void Wake(int waker) {
  const std::uint64_t one = 1;
  ssize_t n;
  do {
    n = write(waker, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

std::uint64_t Drain(int waker) {
  std::uint64_t value = 0;  // one read resets an eventfd's counter to zero
  ssize_t n;
  do {
    n = read(waker, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  return n == sizeof value ? value : 0;
}

void Close(int fd) {
  if (fd >= 0) close(fd);
}

}  // namespace tervane::detail::backend
