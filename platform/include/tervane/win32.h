// The one door from the socket layer (and everything above it) to the
// platform: the Win32 and WinSock 1.1 names those layers use, and nothing else.
//
// On Windows this header takes <windows.h> and <winsock.h> and adds only what
// they do not declare: the signatures of the 30 entry points the socket layer
// looks up at run time, and the two toolkit hooks at the bottom.  Elsewhere a
// small platform layer of ours stands in: message windows and a per-thread
// message loop (epoll underneath), module loading, debug output, and a
// WinSock module that is a shared library loaded at run time by name.  Code
// above the platform must not include a POSIX header; it sees only what is
// declared here.
//
// Threading: windows, message queues and sockets belong to the thread that
// created them.  PostMessageA may be called from any thread.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winsock.h>

#else  // the stand-in

#include <cstddef>
#include <cstdint>
// glibc's <sys/types.h>, which nearly every C++ header pulls in, declares
// the BSD names `u_long` (unsigned long: 64 bits here) and, through
// <sys/select.h>, `struct timeval` and `fd_set` in the global namespace.
// WinSock's u_long is 32 bits, and a value read or written through its size
// (an address, an ioctlsocket argument) must be 4 bytes on both platforms.
// Two types cannot share the one global name, so glibc's declaration is
// made first, here, and `u_long` is then mapped to WinSock's: from this
// point on the name means wsabi::u_long in every translation unit that took
// this header.  glibc's header is include-guarded and declares nothing
// again; of the C library only the RPC headers use its u_long, and nothing
// that takes this header includes them.
//
// timeval (16 bytes here, 8 on Windows) and fd_set stay the C library's:
// no bound entry point takes one, and mapping those names would silently
// change records of the C library's own that hold a timeval (rusage, utmp).
#include <sys/types.h>

#include <cstdlib>

#include <tervane/winsock_abi.h>

#define u_long wsabi::u_long

// ---------------------------------------------------------------------------
// Basic Win32 types.

#define WINAPI
#define CALLBACK

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ATOM = WORD;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
using FARPROC = void (*)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

inline constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
inline constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
// A LONG, as Windows' macro gives: a high word from 0x8000 up makes it
// negative, and an LPARAM made from it sign-extends.
inline constexpr LONG MAKELONG(WORD lo, WORD hi) {
  return static_cast<LONG>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}

// ---------------------------------------------------------------------------
// Windows, messages and the message loop.

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_QUIT 0x0012
#define WM_USER 0x0400

#define WS_POPUP 0x80000000u
#define WS_EX_TOOLWINDOW 0x00000080u

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define GWLP_USERDATA (-21)

#define ERROR_SUCCESS 0
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_INVALID_INDEX 1413

HINSTANCE WINAPI GetModuleHandleA(LPCSTR moduleName);
BOOL WINAPI GetClassInfoA(HINSTANCE instance, LPCSTR className, WNDCLASSA* wndClass);
ATOM WINAPI RegisterClassA(const WNDCLASSA* wndClass);
BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI IsWindow(HWND window);
// Per-window extra data: index 0 .. cbWndExtra - sizeof(LONG_PTR), or
// GWLP_USERDATA; any other index fails with ERROR_INVALID_INDEX.
LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Only hwnd == nullptr (any window of the thread) and a 0..0 filter are
// supported, which is all the layers above use.
BOOL WINAPI PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL WINAPI GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL WINAPI TranslateMessage(const MSG* msg);
LRESULT WINAPI DispatchMessageA(const MSG* msg);
void WINAPI PostQuitMessage(int exitCode);

DWORD WINAPI GetTickCount();
void WINAPI Sleep(DWORD milliseconds);
void WINAPI OutputDebugStringA(LPCSTR text);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);

// Module loading.  A module name such as "wsock32.dll" is looked up as
// lib<name without .dll>.so in the executable's folder (see platform.h for
// the test seam that redirects a name).
HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);

// ---------------------------------------------------------------------------
// WinSock 1.1: the records, numbers and entry-point signatures.  The entry
// points themselves are not declared as functions: the socket layer binds
// them at run time by name (GetProcAddress) into pointers of these types.

using wsabi::hostent;
using wsabi::in_addr;
using wsabi::ip_mreq;
using wsabi::linger;
using wsabi::protoent;
using wsabi::servent;
using wsabi::sockaddr;
using wsabi::sockaddr_in;
using wsabi::SOCKET;
using wsabi::u_char;
using wsabi::u_int;
using wsabi::u_short;
using wsabi::WSADATA;
using LPWSADATA = WSADATA*;
using HANDLE = void*;

#define INVALID_SOCKET (wsabi::kInvalidSocket)
#define SOCKET_ERROR (-1)
#define AF_INET 2
#define PF_INET 2
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_IP 0
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17
#define INADDR_ANY 0x00000000u
#define INADDR_NONE 0xFFFFFFFFu
#define SOL_SOCKET 0xFFFF
#define SO_REUSEADDR 0x0004
#define SO_KEEPALIVE 0x0008
#define SO_BROADCAST 0x0020
#define SO_LINGER 0x0080
#define SO_OOBINLINE 0x0100
#define SO_SNDBUF 0x1001
#define SO_RCVBUF 0x1002
#define SO_ERROR 0x1007
#define TCP_NODELAY 0x0001
#define IP_MULTICAST_IF 2
#define IP_MULTICAST_TTL 3
#define IP_MULTICAST_LOOP 4
#define IP_ADD_MEMBERSHIP 5
#define IP_DROP_MEMBERSHIP 6
#define MSG_OOB 0x1
#define MSG_PEEK 0x2
#define FIONREAD (wsabi::kFionread)
#define FIONBIO (wsabi::kFionbio)
#define FD_READ 0x01
#define FD_WRITE 0x02
#define FD_OOB 0x04
#define FD_ACCEPT 0x08
#define FD_CONNECT 0x10
#define FD_CLOSE 0x20
#define MAXGETHOSTSTRUCT 1024

#define WSABASEERR 10000
// The error numbers (WSAEINTR ...), from the one list.
#define X(number, name, text) using wsabi::name;
#include <tervane/wsa_errors.def>
#undef X

// htonl is imported directly (not bound at run time), as on Windows.
inline constexpr u_long htonl(u_long v) {
  return ((v & 0xFFu) << 24) | ((v & 0xFF00u) << 8) | ((v >> 8) & 0xFF00u) | (v >> 24);
}

// ---------------------------------------------------------------------------
// Waiting for the message queue.  As on Windows, only input that arrived
// since the thread last looked at its queue (PeekMessage, GetMessage) ends
// the wait: messages left queued then do not.  The stand-in has no waitable
// objects, so nCount must be 0.

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define INFINITE 0xFFFFFFFFu
#define QS_POSTMESSAGE 0x0008u
#define QS_ALLPOSTMESSAGE 0x0100u
#define QS_ALLINPUT 0x04FFu
#define ERROR_INVALID_PARAMETER 87

DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                       DWORD dwMilliseconds, DWORD dwWakeMask);

#endif  // _WIN32

// Entry-point signatures of the 30 bound functions, as the module exports them.
using PFN_WSAStartup = int(WINAPI*)(WORD versionRequested, LPWSADATA data);
using PFN_WSACleanup = int(WINAPI*)();
using PFN_WSASetLastError = void(WINAPI*)(int error);
using PFN_WSAGetLastError = int(WINAPI*)();
using PFN_WSAAsyncSelect = int(WINAPI*)(SOCKET s, HWND window, u_int message, long events);
using PFN_WSAAsyncGetHostByName = HANDLE(WINAPI*)(HWND window, u_int message, const char* name,
                                                  char* buf, int bufLen);
using PFN_WSAAsyncGetHostByAddr = HANDLE(WINAPI*)(HWND window, u_int message, const char* addr,
                                                  int len, int type, char* buf, int bufLen);
using PFN_WSACancelAsyncRequest = int(WINAPI*)(HANDLE asyncTaskHandle);
using PFN_gethostbyname = hostent*(WINAPI*)(const char* name);
using PFN_getservbyname = servent*(WINAPI*)(const char* name, const char* proto);
using PFN_getprotobyname = protoent*(WINAPI*)(const char* name);
using PFN_socket = SOCKET(WINAPI*)(int af, int type, int protocol);
using PFN_connect = int(WINAPI*)(SOCKET s, const sockaddr* name, int nameLen);
using PFN_bind = int(WINAPI*)(SOCKET s, const sockaddr* name, int nameLen);
using PFN_listen = int(WINAPI*)(SOCKET s, int backlog);
using PFN_accept = SOCKET(WINAPI*)(SOCKET s, sockaddr* addr, int* addrLen);
using PFN_send = int(WINAPI*)(SOCKET s, const char* buf, int len, int flags);
using PFN_sendto = int(WINAPI*)(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                                int toLen);
using PFN_recv = int(WINAPI*)(SOCKET s, char* buf, int len, int flags);
using PFN_recvfrom = int(WINAPI*)(SOCKET s, char* buf, int len, int flags, sockaddr* from,
                                  int* fromLen);
using PFN_shutdown = int(WINAPI*)(SOCKET s, int how);
using PFN_closesocket = int(WINAPI*)(SOCKET s);
using PFN_setsockopt = int(WINAPI*)(SOCKET s, int level, int optName, const char* optVal,
                                    int optLen);
using PFN_ioctlsocket = int(WINAPI*)(SOCKET s, long cmd, u_long* argp);
using PFN_getsockname = int(WINAPI*)(SOCKET s, sockaddr* name, int* nameLen);
using PFN_getpeername = int(WINAPI*)(SOCKET s, sockaddr* name, int* nameLen);
using PFN_htons = u_short(WINAPI*)(u_short hostShort);
using PFN_ntohs = u_short(WINAPI*)(u_short netShort);
using PFN_inet_addr = u_long(WINAPI*)(const char* cp);
using PFN_inet_ntoa = char*(WINAPI*)(in_addr in);

// WinSock's sizes and numbers, checked against this header on both platforms.
#include <tervane/winsock_checks.h>

// ---------------------------------------------------------------------------
// Toolkit hooks that are not Win32 but that the socket layer needs.

namespace tervane {

// The application's "process pending messages" operation.  The default
// dispatches every message waiting in the calling thread's queue (and the
// socket readiness behind it) without waiting.  A windowing toolkit that runs
// its own loop replaces it so that its events are processed too.  It returns
// false when it met a quit message: the application is terminating, and the
// quit has been posted again so that the loop outside ends as well.
bool ApplicationProcessMessages();
using ProcessMessagesHook = bool (*)();
// Returns the previous hook; nullptr restores the default.
ProcessMessagesHook SetProcessMessagesHook(ProcessMessagesHook hook);

}  // namespace tervane
