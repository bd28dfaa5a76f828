// The per-thread WinSock error value and the errno -> WSAE* mapping.
#include <cerrno>

#include "wsock_internal.h"

namespace ws {
namespace {

thread_local int tlsError = 0;

struct ErrnoMap {
  int err;
  int wsa;
};

// One table for every errno a socket call may report.  EINPROGRESS is
// "would block" for connect only; connect maps it itself.
constexpr ErrnoMap kMap[] = {
    {EINTR, WSAEINTR}, {EBADF, WSAEBADF}, {EACCES, WSAEACCES}, {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT}, {EINVAL, WSAEINVAL}, {EMFILE, WSAEMFILE}, {ENFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK}, {EINPROGRESS, WSAEINPROGRESS}, {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK}, {EDESTADDRREQ, WSAEDESTADDRREQ}, {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE}, {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT}, {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP}, {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT}, {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL}, {ENETDOWN, WSAENETDOWN}, {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET}, {ECONNABORTED, WSAECONNABORTED}, {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET}, {ENOBUFS, WSAENOBUFS}, {ENOMEM, WSAENOBUFS}, {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN}, {ESHUTDOWN, WSAESHUTDOWN}, {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT}, {ECONNREFUSED, WSAECONNREFUSED}, {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG}, {EHOSTDOWN, WSAEHOSTDOWN}, {EHOSTUNREACH, WSAEHOSTUNREACH},
    {ENOTEMPTY, WSAENOTEMPTY}, {EUSERS, WSAEUSERS}, {EDQUOT, WSAEDQUOT}, {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};

}  // namespace

void SetError(int code) { tlsError = code; }
int Error() { return tlsError; }

int MapErrno(int err) {
  if (err == EWOULDBLOCK) return WSAEWOULDBLOCK;
  for (const ErrnoMap& m : kMap)
    if (m.err == err) return m.wsa;
  return WSAEINVAL;
}

int Fail(int err) {
  tlsError = MapErrno(err);
  return wsabi::kSocketError;
}

int FailWsa(int code) {
  tlsError = code;
  return wsabi::kSocketError;
}

}  // namespace ws

WS_EXPORT(void, WSASetLastError)(int error) { ws::SetError(error); }
WS_EXPORT(int, WSAGetLastError)() { return ws::Error(); }
