// Run-time binding of the socket library and the socket's error reporting.
//
// The library is loaded by the first call that needs an entry point, so a
// program that creates sockets but never uses them never loads it.  Each
// entry point is looked up on its first call and kept until the library is
// unloaded (last socket component gone, or program end).
#include <cstdarg>
#include <cstdio>

#include "custom_wsocket.h"

int SocketInstanceCount = 0;

namespace {

// The 30 bound functions, in the order of the library's groups.
#define TV_WSOCK_ENTRY_POINTS(X)                                                          \
  X(WSAStartup) X(WSACleanup) X(WSASetLastError) X(WSAGetLastError) X(WSAAsyncSelect)     \
  X(WSAAsyncGetHostByName) X(WSAAsyncGetHostByAddr) X(WSACancelAsyncRequest)              \
  X(gethostbyname) X(getservbyname) X(getprotobyname) X(socket) X(connect) X(bind)        \
  X(listen) X(accept) X(send) X(sendto) X(recv) X(recvfrom) X(shutdown) X(closesocket)    \
  X(setsockopt) X(ioctlsocket) X(getsockname) X(getpeername) X(htons) X(ntohs)            \
  X(inet_addr) X(inet_ntoa)

enum EntryPoint : int {
#define X(name) ep_##name,
  TV_WSOCK_ENTRY_POINTS(X)
#undef X
  epCount
};

constexpr const char* kEntryNames[epCount] = {
#define X(name) #name,
    TV_WSOCK_ENTRY_POINTS(X)
#undef X
};

HMODULE gLibrary = nullptr;
WSADATA gStartup{};
FARPROC gCache[epCount] = {};

// An entry point as its own type.  FARPROC is a function of no arguments
// whose result differs between headers (int on one, INT_PTR on another);
// the detour through void (*)() is the cast every compiler accepts without
// a warning.
template <class Fn>
Fn ProcAs(FARPROC proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

template <class Fn>
Fn Bound(EntryPoint e) {
  if (gCache[e] == nullptr) gCache[e] = LoadSocketProc(kEntryNames[e]);
  return ProcAs<Fn>(gCache[e]);
}

// Releases the library when the program ends, whatever sockets are left.
struct UnloadAtExit {
  ~UnloadAtExit() { UnloadSocketLibrary(); }
} gUnloadAtExit;

}  // namespace

FARPROC LoadSocketProc(const std::string& Name) {
  if (gLibrary == nullptr) {
    HMODULE module = LoadLibraryA(winsocket);
    if (module == nullptr)
      throw ESocketException("Unable to load " + std::string(winsocket) + " Error #" +
                             std::to_string(GetLastError()));
    gLibrary = module;
    // A failed start leaves the library loaded and is not retried: the
    // library's own calls then report whatever it gives.
    int rc = WSocket::WSAStartup(0x0101, &gStartup);
    if (rc != 0)
      throw ESocketException(std::string(winsocket) + ": WSAStartup error #" + std::to_string(rc));
  }
  if (Name.empty()) return nullptr;
  FARPROC proc = GetProcAddress(gLibrary, Name.c_str());
  if (proc == nullptr)
    throw ESocketException("Procedure " + Name + " not found in " + winsocket + " Error #" +
                           std::to_string(GetLastError()));
  return proc;
}

void UnloadSocketLibrary() {
  if (gLibrary != nullptr) {
    // Looked up directly: unloading runs from destructors and must not
    // throw when the library lacks the entry point.
    auto cleanup = gCache[ep_WSACleanup] != nullptr
                       ? ProcAs<PFN_WSACleanup>(gCache[ep_WSACleanup])
                       : ProcAs<PFN_WSACleanup>(GetProcAddress(gLibrary, "WSACleanup"));
    if (cleanup != nullptr) cleanup();
    FreeLibrary(gLibrary);
    gLibrary = nullptr;
    for (FARPROC& p : gCache) p = nullptr;
  }
  SocketInstanceCount = 0;
}

bool SocketLibraryLoaded() { return gLibrary != nullptr; }

namespace WSocket {

int WSAStartup(WORD versionRequested, LPWSADATA data) {
  return Bound<PFN_WSAStartup>(ep_WSAStartup)(versionRequested, data);
}
int WSACleanup() { return Bound<PFN_WSACleanup>(ep_WSACleanup)(); }
void WSASetLastError(int error) { Bound<PFN_WSASetLastError>(ep_WSASetLastError)(error); }
int WSAGetLastError() { return Bound<PFN_WSAGetLastError>(ep_WSAGetLastError)(); }
int WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events) {
  return Bound<PFN_WSAAsyncSelect>(ep_WSAAsyncSelect)(s, window, message, events);
}
HANDLE WSAAsyncGetHostByName(HWND window, u_int message, const char* name, char* buf,
                             int bufLen) {
  return Bound<PFN_WSAAsyncGetHostByName>(ep_WSAAsyncGetHostByName)(window, message, name, buf,
                                                                    bufLen);
}
HANDLE WSAAsyncGetHostByAddr(HWND window, u_int message, const char* addr, int len, int type,
                             char* buf, int bufLen) {
  return Bound<PFN_WSAAsyncGetHostByAddr>(ep_WSAAsyncGetHostByAddr)(window, message, addr, len,
                                                                    type, buf, bufLen);
}
int WSACancelAsyncRequest(HANDLE asyncTaskHandle) {
  return Bound<PFN_WSACancelAsyncRequest>(ep_WSACancelAsyncRequest)(asyncTaskHandle);
}
hostent* gethostbyname(const char* name) {
  return Bound<PFN_gethostbyname>(ep_gethostbyname)(name);
}
servent* getservbyname(const char* name, const char* proto) {
  return Bound<PFN_getservbyname>(ep_getservbyname)(name, proto);
}
protoent* getprotobyname(const char* name) {
  return Bound<PFN_getprotobyname>(ep_getprotobyname)(name);
}
SOCKET socket(int af, int type, int protocol) {
  return Bound<PFN_socket>(ep_socket)(af, type, protocol);
}
int connect(SOCKET s, const sockaddr* name, int nameLen) {
  return Bound<PFN_connect>(ep_connect)(s, name, nameLen);
}
int bind(SOCKET s, const sockaddr* name, int nameLen) {
  return Bound<PFN_bind>(ep_bind)(s, name, nameLen);
}
int listen(SOCKET s, int backlog) { return Bound<PFN_listen>(ep_listen)(s, backlog); }
SOCKET accept(SOCKET s, sockaddr* addr, int* addrLen) {
  return Bound<PFN_accept>(ep_accept)(s, addr, addrLen);
}
int send(SOCKET s, const char* buf, int len, int flags) {
  return Bound<PFN_send>(ep_send)(s, buf, len, flags);
}
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int toLen) {
  return Bound<PFN_sendto>(ep_sendto)(s, buf, len, flags, to, toLen);
}
int recv(SOCKET s, char* buf, int len, int flags) {
  return Bound<PFN_recv>(ep_recv)(s, buf, len, flags);
}
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromLen) {
  return Bound<PFN_recvfrom>(ep_recvfrom)(s, buf, len, flags, from, fromLen);
}
int shutdown(SOCKET s, int how) { return Bound<PFN_shutdown>(ep_shutdown)(s, how); }
int closesocket(SOCKET s) { return Bound<PFN_closesocket>(ep_closesocket)(s); }
int setsockopt(SOCKET s, int level, int optName, const char* optVal, int optLen) {
  return Bound<PFN_setsockopt>(ep_setsockopt)(s, level, optName, optVal, optLen);
}
int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  return Bound<PFN_ioctlsocket>(ep_ioctlsocket)(s, cmd, argp);
}
int getsockname(SOCKET s, sockaddr* name, int* nameLen) {
  return Bound<PFN_getsockname>(ep_getsockname)(s, name, nameLen);
}
int getpeername(SOCKET s, sockaddr* name, int* nameLen) {
  return Bound<PFN_getpeername>(ep_getpeername)(s, name, nameLen);
}
u_short htons(u_short hostShort) { return Bound<PFN_htons>(ep_htons)(hostShort); }
u_short ntohs(u_short netShort) { return Bound<PFN_ntohs>(ep_ntohs)(netShort); }
u_long inet_addr(const char* cp) { return Bound<PFN_inet_addr>(ep_inet_addr)(cp); }
char* inet_ntoa(in_addr in) { return Bound<PFN_inet_ntoa>(ep_inet_ntoa)(in); }

}  // namespace WSocket

// ---- Error reporting of the socket component ----------------------------

void TCustomWSocket::SocketError(const std::string& Context) {
  int code = WSocket::WSAGetLastError();
  std::string message = "Error " + std::to_string(code) + " in function " + Context + "\r\n" +
                        SocketErrorDescription(code);
  if (code == WSAECONNRESET || code == WSAENOTCONN) {
    if (SocketHandle != INVALID_SOCKET) {
      WSocket::closesocket(SocketHandle);
      SocketHandle = INVALID_SOCKET;
      DropQueuedNotifications();
    }
    // OnSessionClosed is once per session: FD_CLOSE may have raised it
    // already (a peer reset seen by a query inside its handler).
    if (FState != wsClosed && !CloseInvoked) {
      CloseInvoked = true;
      TriggerSessionClosed(static_cast<WORD>(code));
    }
    // A handler that opened a new session owns the state from here on.
    if (SocketHandle == INVALID_SOCKET) {
      ChangeState(wsClosed);
      // The session is over and no close sequence follows to clear it.
      CloseInvoked = false;
    }
  }
  FLastError = code;
  ReportError(message);
}

void TCustomWSocket::ReportError(const std::string& Msg) {
  if (OnError)
    TriggerError();
  else
    throw ESocketException(Msg);
}

void TCustomWSocket::ReportErrorFmt(const char* Fmt, ...) {
  va_list args;
  va_start(args, Fmt);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, Fmt, args);
  va_end(args);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), Fmt, again);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(again);
  ReportError(text);
}
