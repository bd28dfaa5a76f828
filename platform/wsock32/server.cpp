// The serving side: bind, listen, accept, and the two address queries.
#include <sys/socket.h>
#include <unistd.h>

#include "wsock_internal.h"

using ws::FailWsa;
using ws::SOCKET;

WS_EXPORT(int, bind)(SOCKET s, const wsabi::sockaddr* name, int nameLen) {
  auto sock = ws::EnterSocketCall("bind", s);
  if (!sock) return wsabi::kSocketError;
  sockaddr_in sin;
  if (int code = ws::ToPosix(name, nameLen, &sin)) return FailWsa(code);
  if (::bind(sock->fd, reinterpret_cast<const ::sockaddr*>(&sin), sizeof sin) != 0)
    return ws::Fail(errno);
  return 0;
}

WS_EXPORT(int, listen)(SOCKET s, int backlog) {
  auto sock = ws::EnterSocketCall("listen", s);
  if (!sock) return wsabi::kSocketError;
  if (sock->type != wsabi::kSockStream) return FailWsa(ws::WSAEOPNOTSUPP);
  if (sock->connected || sock->connecting) return FailWsa(ws::WSAEISCONN);
  if (::listen(sock->fd, backlog) != 0) return ws::Fail(errno);
  sock->listening = true;
  ws::PollNow(*sock, false);
  return 0;
}

WS_EXPORT(SOCKET, accept)(SOCKET s, wsabi::sockaddr* addr, int* addrLen) {
  auto sock = ws::EnterSocketCall("accept", s);
  if (!sock) return wsabi::kInvalidSocket;
  if (!sock->listening) {
    ws::SetError(ws::WSAEINVAL);
    return wsabi::kInvalidSocket;
  }
  if (addr && (!addrLen || *addrLen < static_cast<int>(sizeof(wsabi::sockaddr_in)))) {
    ws::SetError(ws::WSAEFAULT);
    return wsabi::kInvalidSocket;
  }
  sockaddr_in peer{};
  socklen_t peerLen = sizeof peer;
  const int flags = SOCK_CLOEXEC | (sock->nonBlocking ? SOCK_NONBLOCK : 0);
  const int fd = ::accept4(sock->fd, reinterpret_cast<::sockaddr*>(&peer), &peerLen, flags);
  const int err = errno;
  ws::ReenableAccept(*sock);
  if (fd < 0) {
    ws::Fail(err);
    return wsabi::kInvalidSocket;
  }
  ws::FromPosix(peer, addr, addrLen);
  // The new socket shares the listener's blocking mode; its notifications
  // start with its own WSAAsyncSelect.
  const ws::SockPtr accepted = ws::Register(fd, wsabi::kSockStream, sock->nonBlocking);
  accepted->connected = true;
  return accepted->handle;
}

namespace {

using NameFn = int (*)(int, ::sockaddr*, socklen_t*);

int QueryName(const char* function, NameFn fn, SOCKET s, wsabi::sockaddr* name, int* nameLen) {
  auto sock = ws::EnterSocketCall(function, s);
  if (!sock) return wsabi::kSocketError;
  if (!name || !nameLen) return FailWsa(ws::WSAEFAULT);
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  if (fn(sock->fd, reinterpret_cast<::sockaddr*>(&sin), &len) != 0) return ws::Fail(errno);
  if (int code = ws::FromPosix(sin, name, nameLen)) return FailWsa(code);
  return 0;
}

}  // namespace

WS_EXPORT(int, getsockname)(SOCKET s, wsabi::sockaddr* name, int* nameLen) {
  return QueryName("getsockname", ::getsockname, s, name, nameLen);
}

WS_EXPORT(int, getpeername)(SOCKET s, wsabi::sockaddr* name, int* nameLen) {
  return QueryName("getpeername", ::getpeername, s, name, nameLen);
}
