// WinSock 1.1's sizes, layouts and numbers on 64-bit Windows, asserted
// against whichever <tervane/win32.h> is in use: on Windows they check the
// system's headers against what the socket layer assumes, on Linux they
// check the stand-in against Windows.  Included by <tervane/win32.h> only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Both builds are 64-bit: the layouts below are those of x86_64 Windows.
static_assert(sizeof(void*) == 8, "the socket layer is built for 64-bit targets only");

static_assert(sizeof(SOCKET) == 8 && std::is_unsigned_v<SOCKET>, "SOCKET is a UINT_PTR");
static_assert(sizeof(u_char) == 1 && sizeof(u_short) == 2 && sizeof(u_int) == 4,
              "WinSock's small unsigned types");
static_assert(sizeof(u_long) == 4 && std::is_unsigned_v<u_long>,
              "u_long is 32 bits in WinSock, whatever the C library says");
static_assert(sizeof(LONG_PTR) == 8, "per-window data holds a pointer");

static_assert(sizeof(in_addr) == 4, "in_addr");
static_assert(sizeof(sockaddr) == 16 && sizeof(sockaddr_in) == 16, "sockaddr records");
static_assert(offsetof(sockaddr_in, sin_port) == 2 && offsetof(sockaddr_in, sin_addr) == 4,
              "sockaddr_in layout");
static_assert(sizeof(ip_mreq) == 8, "ip_mreq");
static_assert(sizeof(linger) == 4 && sizeof(linger::l_onoff) == 2, "linger holds two u_shorts");

static_assert(sizeof(hostent) == 32 && offsetof(hostent, h_addrtype) == 16 &&
                  offsetof(hostent, h_length) == 18 && offsetof(hostent, h_addr_list) == 24,
              "hostent");
static_assert(sizeof(hostent::h_length) == 2, "h_length is a short");
// 64-bit Windows puts s_proto before s_port.
static_assert(sizeof(servent) == 32 && offsetof(servent, s_proto) == 16 &&
                  offsetof(servent, s_port) == 24 && sizeof(servent::s_port) == 2,
              "servent");
static_assert(sizeof(protoent) == 24 && offsetof(protoent, p_proto) == 16 &&
                  sizeof(protoent::p_proto) == 2,
              "protoent");
static_assert(sizeof(WSADATA) == 408 && offsetof(WSADATA, iMaxUdpDg) == 6 &&
                  offsetof(WSADATA, lpVendorInfo) == 8 && offsetof(WSADATA, szDescription) == 16 &&
                  offsetof(WSADATA, szSystemStatus) == 16 + 257,
              "WSADATA in its 64-bit order");

static_assert(static_cast<long>(FIONREAD) == 0x4004667F, "FIONREAD");
static_assert(static_cast<long>(FIONBIO) == static_cast<long>(static_cast<int>(0x8004667EU)),
              "FIONBIO, negative as a 32-bit long");
static_assert(MAXGETHOSTSTRUCT == 1024, "buffer of an asynchronous host look-up");
// A notification's LPARAM: the event or buffer length in the low word, the
// error in the high word (WSAMAKESELECTREPLY, WSAMAKEASYNCREPLY).
static_assert(HIWORD(static_cast<std::uintptr_t>(MAKELONG(FD_CLOSE, WSAECONNRESET))) ==
                  WSAECONNRESET,
              "the error travels in the high word");

#define X(number, name, text) static_assert(name == number, #name " is not WinSock's number");
#include <tervane/wsa_errors.def>
#undef X

#if defined(_WIN32)
// The entry-point types the socket layer binds are the system's own.
#define TV_CHECK_ENTRY(name)                                  \
  static_assert(std::is_same_v<PFN_##name, decltype(&::name)>, \
                #name ": bound type differs from <winsock.h>");
TV_CHECK_ENTRY(WSAStartup)
TV_CHECK_ENTRY(WSACleanup)
TV_CHECK_ENTRY(WSASetLastError)
TV_CHECK_ENTRY(WSAGetLastError)
TV_CHECK_ENTRY(WSAAsyncSelect)
TV_CHECK_ENTRY(WSAAsyncGetHostByName)
TV_CHECK_ENTRY(WSAAsyncGetHostByAddr)
TV_CHECK_ENTRY(WSACancelAsyncRequest)
TV_CHECK_ENTRY(gethostbyname)
TV_CHECK_ENTRY(getservbyname)
TV_CHECK_ENTRY(getprotobyname)
TV_CHECK_ENTRY(socket)
TV_CHECK_ENTRY(connect)
TV_CHECK_ENTRY(bind)
TV_CHECK_ENTRY(listen)
TV_CHECK_ENTRY(accept)
TV_CHECK_ENTRY(send)
TV_CHECK_ENTRY(sendto)
TV_CHECK_ENTRY(recv)
TV_CHECK_ENTRY(recvfrom)
TV_CHECK_ENTRY(shutdown)
TV_CHECK_ENTRY(closesocket)
TV_CHECK_ENTRY(setsockopt)
TV_CHECK_ENTRY(ioctlsocket)
TV_CHECK_ENTRY(getsockname)
TV_CHECK_ENTRY(getpeername)
TV_CHECK_ENTRY(htons)
TV_CHECK_ENTRY(ntohs)
TV_CHECK_ENTRY(inet_addr)
TV_CHECK_ENTRY(inet_ntoa)
#undef TV_CHECK_ENTRY
#endif
