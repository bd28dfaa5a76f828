// Shared internals of the WinSock module: the export decoration, the
// per-thread error value, the socket table and the hooks of the
// fault-injecting build (present only in the module's test builds).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <memory>
#include <string>

#include <tervane/winsock_abi.h>

#include "bridge.h"

// Entry points are exported as "tvexport_" + name; GetProcAddress adds the
// prefix.  Nothing else leaves the module (-fvisibility=hidden).
#define WS_EXPORT(ret, name) extern "C" __attribute__((visibility("default"))) ret tvexport_##name

namespace ws {

using wsabi::SOCKET;

// ---- Error state --------------------------------------------------------
void SetError(int code);
int Error();
int MapErrno(int err);  // errno -> WSAE*
// Set the error from errno and return SOCKET_ERROR (-1).
int Fail(int err);
int FailWsa(int code);  // set `code`, return -1
// WinSock's MSG_* flags as the host's, with MSG_NOSIGNAL: a broken
// connection is an error, not a signal.
inline int HostFlags(int flags) {
  int out = MSG_NOSIGNAL;
  if (flags & wsabi::kMsgOob) out |= MSG_OOB;
  if (flags & wsabi::kMsgPeek) out |= MSG_PEEK;
  return out;
}

// WinSock's error numbers by their names (WSAEINVAL ...), from the one list.
#define X(number, name, text) using wsabi::name;
#include <tervane/wsa_errors.def>
#undef X

// ---- Start-up -----------------------------------------------------------
// False (and WSANOTINITIALISED set) before WSAStartup.
bool Started();

// ---- Sockets --------------------------------------------------------------
struct Sock {
  SOCKET handle = 0;
  int fd = -1;
  int type = 0;  // wsabi::kSockStream or kSockDgram
  // Notification registration (WSAAsyncSelect).
  HWND__* window = nullptr;
  unsigned message = 0;
  long mask = 0;
  bool watched = false;
  bool nonBlocking = false;
  // Connection state as the notifications see it.
  bool listening = false;
  bool connecting = false;
  bool connected = false;
  bool closeNotified = false;  // FD_CLOSE (or a failed FD_CONNECT) sent
  bool sendShut = false;       // shutdown for sending was called
  int closeError = 0;          // WSAE* code of a reset connection
  bool connectRecorded = false;  // fault build: connect only noted its target
  // SO_LINGER as set, for closesocket's non-blocking behaviour.
  bool lingerOn = false;
  int lingerSeconds = 0;
  long long lingerDeadlineMs = 0;  // set by the first refused close
  // Re-enabling state: an event is posted again only once re-enabled.
  bool readOutstanding = false;
  tervane::PostTicket readTicket;  // where the last FD_READ went
  // Streams: recv learns what is left from the kernel (TCP_INQ) when on.
  bool inqTried = false;
  bool inqOn = false;
  // What the last stream recv left in the kernel, as it said (0: unknown).
  // FIONREAD answers from it until the loop next looks at the socket's
  // readiness: right after a recv it is what the kernel would say.
  int inqLeft = 0;
  bool acceptOutstanding = false;
  bool writeArmed = false;  // a send would block: FD_WRITE when writable
};
using SockPtr = std::shared_ptr<Sock>;

// Look a handle up; nullptr and WSAENOTSOCK when unknown.
SockPtr Lookup(SOCKET s);
// The checks every call makes before its own work: an injected fault, then
// WSAStartup.  False when the call must fail; the error is already set.
bool EnterCall(const char* function);
// The same for a call on a socket, then the handle.  nullptr when the call
// must fail; the error is already set.
SockPtr EnterSocketCall(const char* function, SOCKET s);
// recvfrom's work once its arguments are checked (also recv on datagram
// sockets): a datagram too large for `buf` fills it and fails WSAEMSGSIZE.
int ReceiveFrom(Sock& s, char* buf, int len, int flags, wsabi::sockaddr* from, int* fromLen);

// A new socket in the table for descriptor `fd`.
SockPtr Register(int fd, int type, bool nonBlocking);
// Out of the table, notifications stopped, descriptor closed.
void Close(const SockPtr& s);
// Notifications stop (the loop no longer watches the descriptor).
void StopWatching(Sock& s);
// Close every socket (last WSACleanup).
void CloseAll();
#if TERVANE_WSOCK_SEAMS
// Post FD_WRITE to every socket whose send would have blocked (fault build).
void ReleaseArmedWrites();
#endif

// Notification logic (notify.cpp).
// The loop's watch callback; `context` is the socket handle.
void OnWatch(void* context, int fd, std::uint32_t events);
void Post(const Sock& s, long event, int error);
// A connect finished with `err` (errno, 0 on success): FD_CONNECT, then
// FD_WRITE on success; a failed connection reports nothing else.
void FinishConnect(Sock& s, int err);
// Re-evaluate the socket's readiness now (level), as at WSAAsyncSelect.
void PollNow(Sock& s, bool announceWritable);
// After recv/recvfrom consumed data: re-enable FD_READ and post it again
// when more is waiting.  `left`: what the kernel said remained after the
// call (an end of stream counted as one byte), or -1 when unknown.
void ReenableRead(Sock& s, bool bufferFilled, int left = -1);
void ReenableAccept(Sock& s);

// ---- Address records ------------------------------------------------------
// WinSock record -> POSIX; returns 0 or a WSAE* code.
int ToPosix(const wsabi::sockaddr* name, int nameLen, sockaddr_in* out);
// POSIX -> WinSock record (when `name` is given); returns 0 or a WSAE* code.
int FromPosix(const sockaddr_in& in, wsabi::sockaddr* name, int* nameLen);

// ---- Fault injection ------------------------------------------------------
// Only the test builds of the module (TERVANE_WSOCK_SEAMS) carry the fault
// state; in the shipped module every check below is a constant "no fault"
// and compiles away.  Inert in a test build until the fault build's
// controls are loaded.
struct FaultHit {
  bool fail = false;
  int code = 0;
};
#if TERVANE_WSOCK_SEAMS
// Counts the call and tells whether it must fail.
FaultHit CheckFault(const char* function);
bool FaultsActive();
void ActivateFaults();
int FaultStartupError();
int FaultSendLimit();  // 0: no limit
bool FaultBlockSends();
bool FaultResetOnSend();
// closesocket: 0, or the code to fail with (consumes one failure).
int FaultCloseError();
// connect: record "a.b.c.d:port" instead of connecting?
bool FaultRecordConnect(const std::string& target);
// Asynchronous look-ups wait, as on a name server that never answers, while
// on (async_lookup.cpp); how many are waiting so.
void StallLookups(bool on);
int StalledLookups();
#else
inline FaultHit CheckFault(const char*) { return {}; }
inline bool FaultsActive() { return false; }
inline int FaultStartupError() { return 0; }
inline int FaultSendLimit() { return 0; }
inline bool FaultBlockSends() { return false; }
inline bool FaultResetOnSend() { return false; }
inline int FaultCloseError() { return 0; }
inline bool FaultRecordConnect(const std::string&) { return false; }
#endif

}  // namespace ws

namespace ws {
// After a failed send or sendto (errno `err`): arms FD_WRITE on would-block.
int SendFailed(Sock& s, int err);
}  // namespace ws
