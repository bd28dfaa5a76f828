// Creating, configuring and closing sockets: socket, closesocket, shutdown,
// setsockopt, ioctlsocket.  Options arrive in WinSock 1.1 numbering and
// record layout and are translated to the host's.
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "wsock_internal.h"

using ws::FailWsa;
using ws::SOCKET;

namespace {

bool SetNonBlocking(int fd, bool on) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// Translate a WinSock (level, option) to the host's; false if unknown.
bool TranslateOption(int level, int opt, int* hostLevel, int* hostOpt) {
  switch (level) {
    case wsabi::kSolSocket:
      *hostLevel = SOL_SOCKET;
      switch (opt) {
        case wsabi::kSoDebug: *hostOpt = SO_DEBUG; return true;
        case wsabi::kSoReuseAddr: *hostOpt = SO_REUSEADDR; return true;
        case wsabi::kSoKeepAlive: *hostOpt = SO_KEEPALIVE; return true;
        case wsabi::kSoDontRoute: *hostOpt = SO_DONTROUTE; return true;
        case wsabi::kSoBroadcast: *hostOpt = SO_BROADCAST; return true;
        case wsabi::kSoLinger: *hostOpt = SO_LINGER; return true;
        case wsabi::kSoOobInline: *hostOpt = SO_OOBINLINE; return true;
        case wsabi::kSoSndBuf: *hostOpt = SO_SNDBUF; return true;
        case wsabi::kSoRcvBuf: *hostOpt = SO_RCVBUF; return true;
        default: return false;
      }
    case wsabi::kIpprotoTcp:
      *hostLevel = IPPROTO_TCP;
      if (opt == wsabi::kTcpNoDelay) {
        *hostOpt = TCP_NODELAY;
        return true;
      }
      return false;
    case wsabi::kIpprotoIp:
      *hostLevel = IPPROTO_IP;
      switch (opt) {
        case wsabi::kIpMulticastIf: *hostOpt = IP_MULTICAST_IF; return true;
        case wsabi::kIpMulticastTtl: *hostOpt = IP_MULTICAST_TTL; return true;
        case wsabi::kIpMulticastLoop: *hostOpt = IP_MULTICAST_LOOP; return true;
        case wsabi::kIpAddMembership: *hostOpt = IP_ADD_MEMBERSHIP; return true;
        case wsabi::kIpDropMembership: *hostOpt = IP_DROP_MEMBERSHIP; return true;
        default: return false;
      }
    default:
      return false;
  }
}

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A graceful linger on a non-blocking socket: the host's close would block
// the thread until the data is out (or the time is up).  WinSock instead
// refuses with would-block until the data has gone, and the caller retries
// while it pumps messages.  When the linger time is over, the close is made
// hard (a reset), as WinSock does.
bool LingerWouldBlock(ws::Sock& s) {
  if (!s.nonBlocking || !s.lingerOn || s.lingerSeconds <= 0) return false;
  int unsent = 0;
  if (::ioctl(s.fd, TIOCOUTQ, &unsent) != 0 || unsent <= 0) return false;
  const long long now = NowMs();
  if (s.lingerDeadlineMs == 0) s.lingerDeadlineMs = now + s.lingerSeconds * 1000LL;
  if (now < s.lingerDeadlineMs) return true;
  ::linger hard{1, 0};
  ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  return false;
}

}  // namespace

WS_EXPORT(SOCKET, socket)(int af, int type, int protocol) {
  if (!ws::EnterCall("socket")) return wsabi::kInvalidSocket;
  if (af != wsabi::kAfInet) {
    ws::SetError(ws::WSAEAFNOSUPPORT);
    return wsabi::kInvalidSocket;
  }
  int hostType;
  if (type == wsabi::kSockStream) {
    hostType = SOCK_STREAM;
  } else if (type == wsabi::kSockDgram) {
    hostType = SOCK_DGRAM;
  } else {
    ws::SetError(ws::WSAESOCKTNOSUPPORT);
    return wsabi::kInvalidSocket;
  }
  const int fd = ::socket(AF_INET, hostType | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    ws::Fail(errno);
    return wsabi::kInvalidSocket;
  }
  return ws::Register(fd, type, false)->handle;
}

WS_EXPORT(int, closesocket)(SOCKET s) {
  auto sock = ws::EnterSocketCall("closesocket", s);
  if (!sock) return wsabi::kSocketError;
  // A refused release leaves the socket open, as WinSock does.
  if (int code = ws::FaultCloseError()) return FailWsa(code);
  if (LingerWouldBlock(*sock)) return FailWsa(ws::WSAEWOULDBLOCK);
  ws::Close(sock);
  return 0;
}

WS_EXPORT(int, shutdown)(SOCKET s, int how) {
  auto sock = ws::EnterSocketCall("shutdown", s);
  if (!sock) return wsabi::kSocketError;
  if (how < 0 || how > 2) return FailWsa(ws::WSAEINVAL);
  // SD_RECEIVE, SD_SEND, SD_BOTH have the host's SHUT_* values.
  if (::shutdown(sock->fd, how) != 0) return ws::Fail(errno);
  if (how != 0) sock->sendShut = true;
  if (how != 1) sock->inqLeft = 0;  // what waits is the kernel's to say now
  return 0;
}

WS_EXPORT(int, setsockopt)(SOCKET s, int level, int optName, const char* optVal, int optLen) {
  auto sock = ws::EnterSocketCall("setsockopt", s);
  if (!sock) return wsabi::kSocketError;
  int hostLevel = 0;
  int hostOpt = 0;
  if (!TranslateOption(level, optName, &hostLevel, &hostOpt)) return FailWsa(ws::WSAENOPROTOOPT);
  if (!optVal || optLen < 0) return FailWsa(ws::WSAEFAULT);
  int r;
  if (hostLevel == SOL_SOCKET && hostOpt == SO_LINGER) {
    // WinSock 1.1's linger record is two u_shorts.
    if (optLen < static_cast<int>(sizeof(wsabi::linger))) return FailWsa(ws::WSAEFAULT);
    wsabi::linger in;
    std::memcpy(&in, optVal, sizeof in);
    ::linger out{};
    out.l_onoff = in.l_onoff != 0;
    out.l_linger = in.l_linger;
    r = ::setsockopt(sock->fd, SOL_SOCKET, SO_LINGER, &out, sizeof out);
    if (r == 0) {
      sock->lingerOn = out.l_onoff != 0;
      sock->lingerSeconds = out.l_linger;
    }
  } else if (hostLevel == IPPROTO_IP &&
             (hostOpt == IP_ADD_MEMBERSHIP || hostOpt == IP_DROP_MEMBERSHIP)) {
    if (optLen < static_cast<int>(sizeof(wsabi::ip_mreq))) return FailWsa(ws::WSAEFAULT);
    wsabi::ip_mreq in;
    std::memcpy(&in, optVal, sizeof in);
    ::ip_mreq out{};
    out.imr_multiaddr.s_addr = in.imr_multiaddr.s_addr;
    out.imr_interface.s_addr = in.imr_interface.s_addr;
    r = ::setsockopt(sock->fd, IPPROTO_IP, hostOpt, &out, sizeof out);
  } else if (hostLevel == IPPROTO_IP && hostOpt == IP_MULTICAST_IF) {
    if (optLen < 4) return FailWsa(ws::WSAEFAULT);
    ::in_addr out{};
    std::memcpy(&out.s_addr, optVal, 4);
    r = ::setsockopt(sock->fd, IPPROTO_IP, hostOpt, &out, sizeof out);
  } else {
    // Integer (or Boolean) options: WinSock accepts 1 to 4 bytes.
    if (optLen < 1) return FailWsa(ws::WSAEFAULT);
    int value = 0;
    if (optLen >= 4) {
      std::memcpy(&value, optVal, 4);
    } else {
      value = static_cast<unsigned char>(optVal[0]);
    }
    r = ::setsockopt(sock->fd, hostLevel, hostOpt, &value, sizeof value);
  }
  return r == 0 ? 0 : ws::Fail(errno);
}

WS_EXPORT(int, ioctlsocket)(SOCKET s, long cmd, wsabi::u_long* argp) {
  auto sock = ws::EnterSocketCall("ioctlsocket", s);
  if (!sock) return wsabi::kSocketError;
  if (!argp) return FailWsa(ws::WSAEFAULT);
  if (cmd == wsabi::kFionread) {
    // A program reading in a loop asks after every recv: the figure that
    // recv brought back spares it a second system call per read.  Data
    // that arrived since only adds to it (WinSock's count is a lower bound
    // too: what one recv can take), and the loop's next look at the socket
    // drops it, so only a watched socket uses it.  An end of stream that
    // arrived before that recv and was not collected yet makes it one byte
    // too many, which a reader meets as a short recv.
    if (sock->inqLeft > 0 && sock->watched && !sock->closeNotified) {
      *argp = static_cast<wsabi::u_long>(sock->inqLeft);
      return 0;
    }
    int count = 0;
    if (::ioctl(sock->fd, FIONREAD, &count) != 0) return ws::Fail(errno);
    *argp = static_cast<wsabi::u_long>(count);
    return 0;
  }
  if (cmd == wsabi::kFionbio) {
    const bool on = *argp != 0;
    // A socket under WSAAsyncSelect cannot be made blocking again.
    if (!on && sock->mask != 0) return FailWsa(ws::WSAEINVAL);
    if (!SetNonBlocking(sock->fd, on)) return ws::Fail(errno);
    sock->nonBlocking = on;
    return 0;
  }
  return FailWsa(ws::WSAEINVAL);
}

WS_EXPORT(int, WSAAsyncSelect)(SOCKET s, HWND__* window, unsigned int message, long events) {
  auto sock = ws::EnterSocketCall("WSAAsyncSelect", s);
  if (!sock) return wsabi::kSocketError;
  if (events != 0 && window == nullptr) return FailWsa(ws::WSAEINVAL);
  if (!SetNonBlocking(sock->fd, true)) return ws::Fail(errno);
  sock->nonBlocking = true;
  sock->window = window;
  sock->message = message;
  sock->mask = events;
  if (events == 0) {
    // Notifications stop; the socket stays non-blocking, as in WinSock.
    ws::StopWatching(*sock);
    return 0;
  }
  // A new registration re-enables every event and reports what is already
  // true, since readiness that arrived unwatched produced no edge.
  sock->readOutstanding = false;
  sock->readTicket = tervane::PostTicket{};
  sock->acceptOutstanding = false;
  if (!sock->watched) {
    if (!tervane::WatchFd(sock->fd, ws::OnWatch, reinterpret_cast<void*>(sock->handle)))
      return ws::Fail(errno);
    sock->watched = true;
  }
  ws::PollNow(*sock, true);
  return 0;
}
