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
    {EINTR, 10004},         {EBADF, 10009},        {EACCES, 10013},
    {EPERM, 10013},         {EFAULT, 10014},       {EINVAL, 10022},
    {EMFILE, 10024},        {ENFILE, 10024},       {EAGAIN, 10035},
    {EINPROGRESS, 10036},   {EALREADY, 10037},     {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},  {EMSGSIZE, 10040},     {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},   {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},
    {ENETUNREACH, 10051},   {ENETRESET, 10052},    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},    {EPIPE, 10054},        {ENOBUFS, 10055},
    {ENOMEM, 10055},        {EISCONN, 10056},      {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},     {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},  {ELOOP, 10062},        {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},
    {EUSERS, 10068},        {EDQUOT, 10069},       {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

void SetError(int code) { tlsError = code; }
int Error() { return tlsError; }

int MapErrno(int err) {
  if (err == EWOULDBLOCK) return kEwouldblock;
  for (const ErrnoMap& m : kMap)
    if (m.err == err) return m.wsa;
  return kEinval;
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
