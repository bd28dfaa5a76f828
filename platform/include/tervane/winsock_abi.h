// The binary interface of the WinSock 1.1 module: the records and numbers
// that cross between a caller and the run-time loaded socket library.
//
// Everything lives in namespace wsabi so that the module's own sources can
// include this next to the POSIX headers without a name clash (both sides
// have a `sockaddr_in`, an `AF_INET` ...).  Callers above the platform layer
// never include this file directly: they use <tervane/win32.h>, which lifts
// these names into the global namespace the way the Windows headers do.
#pragma once

#include <cstdint>

namespace wsabi {

// Sizes are those of 64-bit Windows (LLP64: long is 32 bits there);
// <tervane/winsock_checks.h> asserts them on both platforms.
using SOCKET = std::uintptr_t;  // UINT_PTR: a pointer-sized handle, 8 bytes
using u_char = unsigned char;    // 1
using u_short = unsigned short;  // 2
using u_int = unsigned int;      // 4
// WinSock's u_long is a 32-bit unsigned long.  The C library's BSD u_long
// (64 bits here) is another type of the same name in the global namespace;
// <tervane/win32.h> says how the two are kept apart.
using u_long = std::uint32_t;  // 4

inline constexpr SOCKET kInvalidSocket = ~SOCKET(0);
inline constexpr int kSocketError = -1;

struct in_addr {  // 4 bytes (the S_un union of the real header, by its one member in use)
  std::uint32_t s_addr;  // network byte order
};

struct sockaddr {  // 16 bytes
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {  // 16 bytes
  short sin_family;
  u_short sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

struct hostent {  // 32 bytes: three pointers and two shorts
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;
};

struct servent {  // 32 bytes
  char* s_name;
  char** s_aliases;
  char* s_proto;  // 64-bit Windows order: s_proto before s_port
  short s_port;   // network byte order
};

struct protoent {  // 24 bytes
  char* p_name;
  char** p_aliases;
  short p_proto;
};

struct linger {  // 4 bytes
  u_short l_onoff;
  u_short l_linger;
};

// WinSock's timeval: two longs, 8 bytes.  No bound entry point takes one
// (select is not among them), and the stand-in's callers see the C
// library's own `struct timeval` (see <tervane/win32.h>).
struct timeval {
  std::int32_t tv_sec;
  std::int32_t tv_usec;
};

// fd_set (u_int fd_count, then 64 SOCKETs: 520 bytes) is not declared: no
// bound entry point takes one.

struct ip_mreq {  // 8 bytes
  in_addr imr_multiaddr;
  in_addr imr_interface;
};

inline constexpr int kWsaDescriptionLen = 256;
inline constexpr int kWsaSysStatusLen = 128;

// 408 bytes.  64-bit Windows orders the fields so (the two texts last);
// 32-bit Windows puts the texts before iMaxSockets.
struct WSADATA {
  std::uint16_t wVersion;
  std::uint16_t wHighVersion;
  std::uint16_t iMaxSockets;
  std::uint16_t iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[kWsaDescriptionLen + 1];
  char szSystemStatus[kWsaSysStatusLen + 1];
};

// Numbers as WinSock 1.1 defines them (not as the host's libc does).
inline constexpr int kAfInet = 2;
inline constexpr int kPfInet = 2;
inline constexpr int kSockStream = 1;
inline constexpr int kSockDgram = 2;
inline constexpr int kIpprotoIp = 0;
inline constexpr int kIpprotoTcp = 6;
inline constexpr int kIpprotoUdp = 17;
inline constexpr std::uint32_t kInaddrAny = 0;
inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;

inline constexpr int kSolSocket = 0xFFFF;
inline constexpr int kSoDebug = 0x0001;
inline constexpr int kSoAcceptConn = 0x0002;
inline constexpr int kSoReuseAddr = 0x0004;
inline constexpr int kSoKeepAlive = 0x0008;
inline constexpr int kSoDontRoute = 0x0010;
inline constexpr int kSoBroadcast = 0x0020;
inline constexpr int kSoLinger = 0x0080;
inline constexpr int kSoOobInline = 0x0100;
inline constexpr int kSoSndBuf = 0x1001;
inline constexpr int kSoRcvBuf = 0x1002;
inline constexpr int kSoError = 0x1007;
inline constexpr int kSoType = 0x1008;
inline constexpr int kTcpNoDelay = 0x0001;

// IPPROTO_IP options, WinSock 1.1 numbering (wsock32).
inline constexpr int kIpMulticastIf = 2;
inline constexpr int kIpMulticastTtl = 3;
inline constexpr int kIpMulticastLoop = 4;
inline constexpr int kIpAddMembership = 5;
inline constexpr int kIpDropMembership = 6;

inline constexpr int kMsgOob = 0x1;
inline constexpr int kMsgPeek = 0x2;

// _IOR('f', 127, u_long) and _IOW('f', 126, u_long): the 4 in bits 16..22
// is sizeof(u_long).  ioctlsocket takes them as a (32-bit) long, so FIONBIO
// arrives negative.
inline constexpr long kFionread = 0x4004667F;
inline constexpr long kFionbio = static_cast<std::int32_t>(0x8004667EU);

inline constexpr long kFdRead = 0x01;
inline constexpr long kFdWrite = 0x02;
inline constexpr long kFdOob = 0x04;
inline constexpr long kFdAccept = 0x08;
inline constexpr long kFdConnect = 0x10;
inline constexpr long kFdClose = 0x20;

// The buffer an asynchronous host look-up asks for.
inline constexpr int kMaxGetHostStruct = 1024;

// The error numbers, WinSock's names for them.
enum : int {
#define X(number, name, text) name = number,
#include <tervane/wsa_errors.def>
#undef X
};

}  // namespace wsabi
