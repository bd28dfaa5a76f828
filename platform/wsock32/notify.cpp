// WSAAsyncSelect notifications on top of edge-triggered readiness.
//
// WinSock posts each event once and re-enables it only when the program
// calls the matching function: FD_READ again after recv, FD_ACCEPT after
// accept, FD_WRITE after a send that would block, FD_CONNECT and FD_CLOSE
// once.  Edges from the loop are therefore filtered through per-socket
// "outstanding" flags, and the calls that re-enable an event look at the
// level themselves, since the edge for data already waiting came earlier.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "wsock_internal.h"

namespace ws {
namespace {

int SocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

int Pending(int fd) {
  int count = 0;
  if (ioctl(fd, FIONREAD, &count) != 0) return 0;
  return count;
}

std::uint32_t LevelNow(int fd) {
  pollfd p{fd, POLLIN | POLLOUT | POLLRDHUP, 0};
  if (poll(&p, 1, 0) <= 0) return 0;
  std::uint32_t bits = 0;
  if (p.revents & POLLIN) bits |= tervane::kWatchReadable;
  if (p.revents & POLLOUT) bits |= tervane::kWatchWritable;
  if (p.revents & (POLLRDHUP | POLLHUP)) bits |= tervane::kWatchHangup;
  if (p.revents & POLLERR) bits |= tervane::kWatchError;
  return bits;
}

void PostRead(Sock& s) {
  if (s.readOutstanding) return;
  s.readOutstanding = true;
  if (!s.window || !(s.mask & wsabi::kFdRead)) return;
  // The ticket tells recv later whether this message still waits.
  tervane::PostTracked(s.window, s.message, s.handle, wsabi::kFdRead, &s.readTicket);
}

void Handle(Sock& s, std::uint32_t bits, bool announceWritable) {
  using tervane::kWatchError;
  using tervane::kWatchHangup;
  using tervane::kWatchReadable;
  using tervane::kWatchWritable;
  // A connect the fault build only recorded never completes.
  if (s.mask == 0 || s.connectRecorded) return;
  if (s.connecting) {
    if (!(bits & (kWatchWritable | kWatchError | kWatchHangup))) return;
    const int err = SocketError(s.fd);
    // A fresh socket reports "hung up" before the handshake ends: wait for
    // writability or a real error.
    if (err == 0 && !(bits & kWatchWritable)) return;
    FinishConnect(s, err);
    if (err != 0) return;
    announceWritable = false;  // FinishConnect posted it
  }
  if (s.listening) {
    if ((bits & kWatchReadable) && !s.acceptOutstanding) {
      s.acceptOutstanding = true;
      Post(s, wsabi::kFdAccept, 0);
    }
    return;
  }
  if (s.type == wsabi::kSockDgram) {
    if (bits & kWatchReadable) PostRead(s);
    if ((bits & kWatchWritable) && s.writeArmed) {
      s.writeArmed = false;
      Post(s, wsabi::kFdWrite, 0);
    }
    return;
  }
  if (!s.connected || s.closeNotified) return;
  if (bits & kWatchWritable) {
    if (s.writeArmed || announceWritable) {
      s.writeArmed = false;
      Post(s, wsabi::kFdWrite, 0);
    }
  }
  if (bits & (kWatchHangup | kWatchError)) {
    // Data that came before the close is announced first.
    if (Pending(s.fd) > 0) PostRead(s);
    const int err = (bits & kWatchError) ? SocketError(s.fd) : 0;
    s.closeNotified = true;
    // Reading SO_ERROR cleared it: keep it, so that recv reports the reset
    // rather than an orderly end.
    s.closeError = err == 0 ? 0 : MapErrno(err);
    Post(s, wsabi::kFdClose, s.closeError);
    return;
  }
  if (bits & kWatchReadable) PostRead(s);
}

}  // namespace

void FinishConnect(Sock& s, int err) {
  s.connecting = false;
  if (err != 0) {
    s.closeNotified = true;  // a failed connection reports nothing else
    Post(s, wsabi::kFdConnect, MapErrno(err));
    return;
  }
  s.connected = true;
  Post(s, wsabi::kFdConnect, 0);
  Post(s, wsabi::kFdWrite, 0);
}

void Post(const Sock& s, long event, int error) {
  if (!s.window || !(s.mask & event)) return;
  const auto lParam = static_cast<std::intptr_t>(
      static_cast<std::uint32_t>(event & 0xFFFF) | (static_cast<std::uint32_t>(error) << 16));
  PostMessageA(s.window, s.message, s.handle, lParam);
}

void OnWatch(void* context, int, std::uint32_t events) {
  auto s = Lookup(reinterpret_cast<SOCKET>(context));
  if (!s) return;  // closed after the edge was collected
  s->inqLeft = 0;  // something changed: FIONREAD asks the kernel again
  Handle(*s, events, false);
}

void PollNow(Sock& s, bool announceWritable) {
  Handle(s, LevelNow(s.fd), announceWritable);
}

void ReenableRead(Sock& s, bool bufferFilled, int left) {
  s.readOutstanding = false;
  // Still announced after FD_CLOSE: data the peer sent before closing
  // remains readable.
  if (s.mask == 0) return;
  if (s.type == wsabi::kSockDgram) {
    // One datagram per call: another may wait behind it.
    if (LevelNow(s.fd) & tervane::kWatchReadable) PostRead(s);
    return;
  }
  // A stream recv that did not fill the buffer took everything there was;
  // anything arriving later makes a new edge.
  if (!bufferFilled) return;
  // One that filled it may have left more: FD_READ again only if it did (a
  // spurious one would make a program read at the wrong moment).  The
  // kernel's figure counts a received end of stream as one byte, so only 1
  // is ambiguous and needs asking.
  if (left < 0 || left == 1) left = Pending(s.fd);
  if (left <= 0) return;
  // An FD_READ still waiting in the queue already says it: a program that
  // reads in a loop is not sent one message per recv.
  if (tervane::StillQueued(s.readTicket)) {
    s.readOutstanding = true;
    return;
  }
  PostRead(s);
}

void ReenableAccept(Sock& s) {
  s.acceptOutstanding = false;
  if (s.mask == 0) return;
  if (LevelNow(s.fd) & tervane::kWatchReadable) {
    s.acceptOutstanding = true;
    Post(s, wsabi::kFdAccept, 0);
  }
}

}  // namespace ws
