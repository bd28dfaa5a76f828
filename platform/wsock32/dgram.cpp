// Datagrams: sendto and recvfrom.
#include <sys/socket.h>

#include "wsock_internal.h"

using ws::FailWsa;
using ws::SOCKET;

WS_EXPORT(int, sendto)(SOCKET s, const char* buf, int len, int flags, const wsabi::sockaddr* to,
                       int toLen) {
  auto sock = ws::EnterSocketCall("sendto", s);
  if (!sock) return wsabi::kSocketError;
  if (len < 0 || (!buf && len > 0)) return FailWsa(ws::WSAEFAULT);
  const int hostFlags = ws::HostFlags(flags) & ~MSG_PEEK;
  ssize_t n;
  if (to) {
    sockaddr_in sin;
    if (int code = ws::ToPosix(to, toLen, &sin)) return FailWsa(code);
    n = ::sendto(sock->fd, buf, static_cast<size_t>(len), hostFlags,
                 reinterpret_cast<const ::sockaddr*>(&sin), sizeof sin);
  } else {
    n = ::send(sock->fd, buf, static_cast<size_t>(len), hostFlags);
  }
  if (n < 0) return ws::SendFailed(*sock, errno);
  return static_cast<int>(n);
}

WS_EXPORT(int, recvfrom)(SOCKET s, char* buf, int len, int flags, wsabi::sockaddr* from,
                         int* fromLen) {
  auto sock = ws::EnterSocketCall("recvfrom", s);
  if (!sock) return wsabi::kSocketError;
  if (len < 0 || (!buf && len > 0)) return FailWsa(ws::WSAEFAULT);
  if (from && (!fromLen || *fromLen < static_cast<int>(sizeof(wsabi::sockaddr_in))))
    return FailWsa(ws::WSAEFAULT);
  return ws::ReceiveFrom(*sock, buf, len, flags, from, fromLen);
}

namespace ws {

int ReceiveFrom(Sock& s, char* buf, int len, int flags, wsabi::sockaddr* from, int* fromLen) {
  int hostFlags = HostFlags(flags) & ~MSG_NOSIGNAL;
  // MSG_TRUNC: learn a datagram's real size, to report a truncated one.
  if (s.type == wsabi::kSockDgram) hostFlags |= MSG_TRUNC;
  sockaddr_in sin{};
  socklen_t sinLen = sizeof sin;
  const ssize_t n = ::recvfrom(s.fd, buf, static_cast<size_t>(len), hostFlags,
                               reinterpret_cast<::sockaddr*>(&sin), &sinLen);
  const int err = errno;
  s.inqLeft = 0;
  ReenableRead(s, n > 0 && n >= len);
  if (n < 0) return Fail(err);
  if (from && sinLen >= sizeof sin) FromPosix(sin, from, fromLen);
  if (s.type == wsabi::kSockDgram && n > len) {
    // WinSock fills the buffer, drops the rest and says WSAEMSGSIZE.
    return FailWsa(ws::WSAEMSGSIZE);
  }
  return static_cast<int>(n);
}

}  // namespace ws
