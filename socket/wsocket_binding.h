// Run-time binding of the socket library ("wsock32.dll"): loaded by the
// first socket operation that needs an entry point, started with
// WSAStartup 1.1, each entry point looked up by name on its first call and
// kept; unloaded with the last socket component and at program end.
//
// The forwarding operations carry the library functions' own names and
// arguments.  They live in namespace WSocket so that they never collide with
// the host C library's functions of the same names.
#pragma once

#include <string>

#include <tervane/win32.h>

namespace WSocket {

int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();
int WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events);
HANDLE WSAAsyncGetHostByName(HWND window, u_int message, const char* name, char* buf, int bufLen);
HANDLE WSAAsyncGetHostByAddr(HWND window, u_int message, const char* addr, int len, int type,
                             char* buf, int bufLen);
int WSACancelAsyncRequest(HANDLE asyncTaskHandle);
hostent* gethostbyname(const char* name);
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
SOCKET socket(int af, int type, int protocol);
int connect(SOCKET s, const sockaddr* name, int nameLen);
int bind(SOCKET s, const sockaddr* name, int nameLen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrLen);
int send(SOCKET s, const char* buf, int len, int flags);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int toLen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromLen);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int optName, const char* optVal, int optLen);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
int getsockname(SOCKET s, sockaddr* name, int* nameLen);
int getpeername(SOCKET s, sockaddr* name, int* nameLen);
u_short htons(u_short hostShort);
u_short ntohs(u_short netShort);
u_long inet_addr(const char* cp);
char* inet_ntoa(in_addr in);

}  // namespace WSocket

// The library's file name, as it appears in the load-failure messages.
inline constexpr const char* winsocket = "wsock32.dll";

// Entry point of `Name`, loading and starting the library first if needed;
// nullptr for an empty name.  Raises ESocketException on failure.
FARPROC LoadSocketProc(const std::string& Name);
// WSACleanup, free the library, forget every entry point; count to 0.
void UnloadSocketLibrary();
// True while the library is loaded (tests).
bool SocketLibraryLoaded();
// English text of a socket error code.
std::string SocketErrorDescription(int Code);
