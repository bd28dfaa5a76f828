// Serving: binding and listening (stream or datagram, optionally joining a
// multicast group), accepting stream connections, and datagram transfer
// with explicit addresses.
//
// Listen reports failures the way Connect does (SocketError/ReportError) and
// returns after each; a failure past the bind leaves the handle open in the
// state reached so far, which the caller closes with Close.
#include <cstring>
#include <string>

#include "addr_record.h"
#include "custom_wsocket.h"

namespace {

constexpr int kListenBacklog = 5;
// The conversion area for the group address holds 255 characters.
constexpr std::size_t kMaxMultiCastAddrLen = 255;

}  // namespace

void TCustomWSocket::Listen() {
  // A second Listen (or a Listen on a connected socket) would orphan the
  // open handle and its notifications; the caller closes first, as for
  // Connect.
  if (SocketHandle != INVALID_SOCKET) {
    ReportError("Listen: Socket already in use");
    return;
  }
  if (!PortAssigned) {
    WSocket::WSASetLastError(WSAEINVAL);
    SocketError("listen: port not assigned");
    return;
  }
  if (!ProtoAssigned) {
    WSocket::WSASetLastError(WSAEINVAL);
    SocketError("listen: protocol not assigned");
    return;
  }
  if (!AddrAssigned) {
    WSocket::WSASetLastError(WSAEINVAL);
    SocketError("listen: address not assigned");
    return;
  }

  // The local port is Connect's business: a listening socket binds PortStr.
  if (!ResolveAssigned("listen", false)) return;

  ClearSendBuffers();

  SocketHandle = WSocket::socket(AddrFormat, SocketType, ProtoNum);
  if (SocketHandle == INVALID_SOCKET) {
    SocketError("socket");
    return;
  }

  // Until the bind succeeds the state is still wsClosed, and Close, Abort
  // and the destructor all leave a closed socket's handle alone: a failure
  // here therefore releases the handle itself (keeping the library's error
  // code for the report), or nobody ever could.
  auto ReleaseUnboundHandle = [this]() {
    const int Code = WSocket::WSAGetLastError();
    WSocket::closesocket(SocketHandle);
    SocketHandle = INVALID_SOCKET;
    DropQueuedNotifications();
    WSocket::WSASetLastError(Code);
  };

  const bool Datagram = SocketType == SOCK_DGRAM;
  if (Datagram && ReuseAddr) {
    const int On = -1;
    if (WSocket::setsockopt(SocketHandle, SOL_SOCKET, SO_REUSEADDR,
                            reinterpret_cast<const char*>(&On), sizeof(On)) != 0) {
      ReleaseUnboundHandle();
      SocketError("setsockopt(SO_REUSEADDR)");
      return;
    }
  }

  if (WSocket::bind(SocketHandle, reinterpret_cast<const sockaddr*>(&RemoteSin),
                    kAddrRecordLen) != 0) {
    ReleaseUnboundHandle();
    SocketError("Bind");
    Close();
    return;
  }
  ChangeState(wsBound);

  if (Datagram && MultiCast) {
    ip_mreq Request{};
    // A text longer than the conversion area, or one carrying a zero byte,
    // cannot be a dotted address: refuse it as an unconvertible group
    // instead of converting a cut-off prefix.
    if (MultiCastAddrStr.size() > kMaxMultiCastAddrLen ||
        MultiCastAddrStr.find('\0') != std::string::npos) {
      WSocket::WSASetLastError(WSAEINVAL);
      SocketError("setsockopt(IP MULTICAST)");
      return;
    }
    Request.imr_multiaddr.s_addr = WSocket::inet_addr(MultiCastAddrStr.c_str());
    Request.imr_interface.s_addr = htonl(INADDR_ANY);
    if (WSocket::setsockopt(SocketHandle, IPPROTO_IP, IP_ADD_MEMBERSHIP,
                            reinterpret_cast<const char*>(&Request), sizeof(Request)) != 0) {
      SocketError("setsockopt(IP MULTICAST)");
      return;
    }
  }

  if (Datagram) {
    ChangeState(wsListening);
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
    // The handler may have closed the socket again.
    if (SocketHandle == INVALID_SOCKET) return;
  } else {
    if (WSocket::listen(SocketHandle, kListenBacklog) != 0) {
      SocketError("Listen");
      return;
    }
    ChangeState(wsListening);
  }

  SelectEvent = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
  if (WSocket::WSAAsyncSelect(SocketHandle, WindowHandle, WM_SOCKET_SELECT, SelectEvent) != 0)
    SocketError("WSAASyncSelect");
}

SOCKET TCustomWSocket::Accept() {
  if (FState != wsListening) {
    WSocket::WSASetLastError(WSAEINVAL);
    SocketError("not a listening socket");
    return INVALID_SOCKET;
  }
  int Len = kAddrRecordLen;
  AcceptedHandle = WSocket::accept(SocketHandle, reinterpret_cast<sockaddr*>(&RemoteSin), &Len);
  if (AcceptedHandle == INVALID_SOCKET) {
    SocketError("Accept");
    return INVALID_SOCKET;
  }
  return AcceptedHandle;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen) {
  // From is always a full IPv4 record: offer the library all of it.
  FromLen = kAddrRecordLen;
  const int R = RawReceiveFrom(SocketHandle, Buffer, BufferSize, 0, From, FromLen);
  if (R < 0)
    FLastError = WSocket::WSAGetLastError();
  else
    FReadCount += R;
  return R;
}

int TCustomWSocket::RawReceiveFrom(SOCKET Handle, void* Buffer, int BufferSize, int Flags,
                                   sockaddr_in& From, int& FromLen) {
  // The library writes up to FromLen bytes into From, which holds 16.
  FromLen = ClampAddrLen(FromLen);
  return WSocket::recvfrom(Handle, static_cast<char*>(Buffer), BufferSize, Flags,
                           reinterpret_cast<sockaddr*>(&From), &FromLen);
}

int TCustomWSocket::SendTo(sockaddr_in Dest, int DestLen, const void* Data, int Len) {
  // Dest is a 16-byte copy; a longer length would have the library read past it.
  DestLen = ClampAddrLen(DestLen);
  const int R = WSocket::sendto(SocketHandle, static_cast<const char*>(Data), Len, SendFlagsValue,
                                reinterpret_cast<const sockaddr*>(&Dest), DestLen);
  if (R > 0) TriggerSendData(R);
  return R;
}
