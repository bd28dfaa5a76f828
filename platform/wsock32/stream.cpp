// The TCP client path: connect, send, recv.
#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstdio>
#include <cstring>

#include "wsock_internal.h"

using ws::FailWsa;
using ws::SOCKET;

namespace {

std::string Target(const sockaddr_in& sin) {
  char buf[32];
  const auto a = ntohl(sin.sin_addr.s_addr);
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                a & 0xFF, ntohs(sin.sin_port));
  return buf;
}

// recv that also learns, in the same system call, how many bytes the
// kernel still holds for the stream after it (TCP_INQ): recv must know
// whether to post FD_READ again, and asking separately would cost every
// recv a second system call.  `left` is -1 when the kernel did not say.
ssize_t RecvWithHint(ws::Sock& s, char* buf, int len, int flags, int* left) {
  *left = -1;
  if (!s.inqTried) {
    s.inqTried = true;
    const int on = 1;
    s.inqOn = ::setsockopt(s.fd, SOL_TCP, TCP_INQ, &on, sizeof on) == 0;
  }
  if (!s.inqOn) return ::recv(s.fd, buf, static_cast<size_t>(len), flags);
  iovec iov{buf, static_cast<size_t>(len)};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msghdr mh{};
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  mh.msg_control = control;
  mh.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(s.fd, &mh, flags);
  if (n < 0) return n;
  for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c != nullptr; c = CMSG_NXTHDR(&mh, c)) {
    if (c->cmsg_level == SOL_TCP && c->cmsg_type == TCP_CM_INQ &&
        c->cmsg_len >= CMSG_LEN(sizeof(int)))
      std::memcpy(left, CMSG_DATA(c), sizeof(int));
  }
  return n;
}

}  // namespace

namespace ws {

// After a failed send: a would-block arms FD_WRITE for when space returns.
int SendFailed(Sock& s, int err) {
  if (err == EAGAIN || err == EWOULDBLOCK) {
    s.writeArmed = true;
    return FailWsa(WSAEWOULDBLOCK);
  }
  if (err == EPIPE && s.sendShut) return FailWsa(WSAESHUTDOWN);
  if (err == EPIPE && !s.connected && !s.connecting) return FailWsa(WSAENOTCONN);
  if (err == EPIPE && s.closeError != 0) return FailWsa(s.closeError);
  return Fail(err);
}

}  // namespace ws

WS_EXPORT(int, connect)(SOCKET s, const wsabi::sockaddr* name, int nameLen) {
  auto sock = ws::EnterSocketCall("connect", s);
  if (!sock) return wsabi::kSocketError;
  sockaddr_in sin;
  if (int code = ws::ToPosix(name, nameLen, &sin)) return FailWsa(code);
  if (ws::FaultRecordConnect(Target(sin))) {
    // Test seam: the target is kept and nothing goes on the network.
    sock->connecting = sock->type == wsabi::kSockStream;
    sock->connectRecorded = true;
    return FailWsa(ws::WSAEWOULDBLOCK);
  }
  if (sock->type == wsabi::kSockDgram) {
    if (::connect(sock->fd, reinterpret_cast<const ::sockaddr*>(&sin), sizeof sin) != 0)
      return ws::Fail(errno);
    sock->connected = true;
    return 0;
  }
  if (sock->connected) return FailWsa(ws::WSAEISCONN);
  if (sock->connecting) return FailWsa(ws::WSAEALREADY);
  const int r = ::connect(sock->fd, reinterpret_cast<const ::sockaddr*>(&sin), sizeof sin);
  const int err = r == 0 ? 0 : errno;
  if (sock->nonBlocking && (err == EINPROGRESS || err == EAGAIN)) {
    sock->connecting = true;
    return FailWsa(ws::WSAEWOULDBLOCK);
  }
  if (!sock->nonBlocking || sock->mask == 0) {
    if (r != 0) return ws::Fail(err);
    sock->connected = true;
    return 0;
  }
  // Under WSAAsyncSelect a connect always completes through FD_CONNECT,
  // even when the host finished it (or refused it) at once.
  ws::FinishConnect(*sock, err);
  return FailWsa(ws::WSAEWOULDBLOCK);
}

WS_EXPORT(int, send)(SOCKET s, const char* buf, int len, int flags) {
  auto sock = ws::EnterSocketCall("send", s);
  if (!sock) return wsabi::kSocketError;
  if (len < 0 || (!buf && len > 0)) return FailWsa(ws::WSAEFAULT);
  if (ws::FaultsActive()) {
    if (ws::FaultResetOnSend()) return FailWsa(ws::WSAECONNRESET);
    if (ws::FaultBlockSends()) {
      sock->writeArmed = true;
      return FailWsa(ws::WSAEWOULDBLOCK);
    }
    if (int limit = ws::FaultSendLimit(); limit > 0 && len > limit) len = limit;
  }
  const ssize_t n = ::send(sock->fd, buf, static_cast<size_t>(len), ws::HostFlags(flags));
  if (n < 0) return ws::SendFailed(*sock, errno);
  return static_cast<int>(n);
}

WS_EXPORT(int, recv)(SOCKET s, char* buf, int len, int flags) {
  auto sock = ws::EnterSocketCall("recv", s);
  if (!sock) return wsabi::kSocketError;
  if (len < 0 || (!buf && len > 0)) return FailWsa(ws::WSAEFAULT);
  // A datagram socket's recv is its recvfrom without the sender.
  if (sock->type != wsabi::kSockStream)
    return ws::ReceiveFrom(*sock, buf, len, flags, nullptr, nullptr);
  int left = -1;
  const ssize_t n = RecvWithHint(*sock, buf, len, ws::HostFlags(flags) & ~MSG_NOSIGNAL, &left);
  const int err = errno;
  // Once the end of stream arrived the kernel counts it as one more byte,
  // whatever is left: 1 could be nothing at all, so only larger figures
  // are kept for FIONREAD (which also checks that no close was seen).
  sock->inqLeft = n > 0 && left >= 2 ? left : 0;
  ws::ReenableRead(*sock, n > 0 && n == len, left);
  if (n < 0) return ws::Fail(err);
  if (n == 0 && len > 0 && sock->closeError != 0) return FailWsa(sock->closeError);
  return static_cast<int>(n);
}
