// Auxiliary operations of the socket component: deferred close and release,
// pausing notifications, adopting an accepted handle, the two pumping wait
// loops, receiving into a string, the address queries, the local address
// and port setters and the time-value helpers.
#include <string>

#include "addr_record.h"
#include "custom_wsocket.h"

namespace {

std::string DottedText(in_addr Addr) {
  const char* Text = WSocket::inet_ntoa(Addr);
  return Text != nullptr ? std::string(Text) : std::string("error");
}

}  // namespace

// Both are carried out by WndProc when the loop reaches the message, so the
// handler or operation that asked for them can finish first.
void TCustomWSocket::CloseDelayed() {
  PostMessageA(WindowHandle, WM_SOCKET_CLOSE_DELAYED, 0, 0);
}

void TCustomWSocket::Release() { PostMessageA(WindowHandle, WM_SOCKET_RELEASE, 0, 0); }

void TCustomWSocket::Pause() {
  Paused = true;
  WSocket::WSAAsyncSelect(SocketHandle, WindowHandle, 0, 0);
}

void TCustomWSocket::Resume() {
  Paused = false;
  WSocket::WSAAsyncSelect(SocketHandle, WindowHandle, WM_SOCKET_SELECT, SelectEvent);
}

void TCustomWSocket::Dup(SOCKET NewHandle) {
  if (NewHandle == 0 || NewHandle == INVALID_SOCKET) {
    WSocket::WSASetLastError(WSAEINVAL);
    SocketError("Dup");
    return;
  }
  if (FState != wsClosed) {
    // A refused release leaves the old handle open in the library: it stays
    // ours (as in ReleaseHandle), so that Close, Abort or the destructor can
    // still release it, and the caller keeps NewHandle.
    if (WSocket::closesocket(SocketHandle) != 0) {
      SocketError("Dup (closesocket)");
      return;
    }
    SocketHandle = INVALID_SOCKET;
    DropQueuedNotifications();
    ChangeState(wsClosed);
  }
  // Blocks still queued belong to an earlier connection: sending them to the
  // adopted peer would hand it somebody else's bytes.  The once-per-session
  // close flag starts afresh with the new session.
  ClearSendBuffers();
  AllSent = true;
  CloseInvoked = false;
  SocketHandle = NewHandle;
  ApplyLinger();
  SelectEvent = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
  if (WSocket::WSAAsyncSelect(SocketHandle, WindowHandle, WM_SOCKET_SELECT, SelectEvent) != 0) {
    SocketError("WSAAsyncSelect");
    return;
  }
  ChangeState(wsConnected);
}

// No time limit: a peer that never reads keeps the caller here, waiting on
// the loop (FD_WRITE says when to try again); a quit ends it.
void TCustomWSocket::Flush() {
  TBusyFrame frame;
  while (SocketHandle != INVALID_SOCKET && !AllSent && !Terminated) {
    TryToSend();
    PumpMessages();
    if (SocketHandle == INVALID_SOCKET || AllSent || Terminated) break;
    WaitForMessages(INFINITE);
  }
}

void TCustomWSocket::DrainUntilClosed() {
  TBusyFrame frame;
  char Dummy[1];
  while (SocketHandle != INVALID_SOCKET && FState != wsClosed) {
    PumpMessages();
    if (SocketHandle == INVALID_SOCKET) break;  // closed by a handler
    u_long Waiting = 0;
    if (WSocket::ioctlsocket(SocketHandle, FIONREAD, &Waiting) != 0) break;
    if (Waiting > 0) TriggerDataAvailable(0);
    if (SocketHandle == INVALID_SOCKET) break;
    if (RawReceive(Dummy, 0, 0) <= 0) {
      FLastError = WSocket::WSAGetLastError();
      if (FLastError != WSAEWOULDBLOCK) break;
    }
    PumpMessages();
  }
}

std::string TCustomWSocket::ReceiveStr() {
  int N = GetRcvdCount();
  if (N < 0) return std::string();
  if (N == 0) N = 255;
  std::string Str(static_cast<std::size_t>(N), '\0');
  const int R = Receive(Str.data(), N);
  if (R <= 0) return std::string();
  Str.resize(static_cast<std::size_t>(R));
  return Str;
}

bool TCustomWSocket::PeerName(sockaddr_in& Sin, const char* Context) {
  int Len = sizeof(Sin);
  if (WSocket::getpeername(SocketHandle, reinterpret_cast<sockaddr*>(&Sin), &Len) == 0)
    return true;
  SocketError(Context);
  return false;
}

std::string TCustomWSocket::GetPeerAddr() {
  sockaddr_in Sin{};
  if (FState == wsConnected && PeerName(Sin, "GetPeerName")) return DottedText(Sin.sin_addr);
  return "error";
}

std::string TCustomWSocket::GetPeerPort() {
  sockaddr_in Sin{};
  if (FState == wsConnected && PeerName(Sin, "GetPeerPort"))
    return std::to_string(WSocket::ntohs(Sin.sin_port));
  return "error";
}

int TCustomWSocket::GetPeerName(sockaddr_in& PeerSin, int& NameLen) {
  if (FState != wsConnected) return -1;
  NameLen = ClampAddrLen(NameLen);
  return WSocket::getpeername(SocketHandle, reinterpret_cast<sockaddr*>(&PeerSin), &NameLen);
}

int TCustomWSocket::GetSockName(sockaddr_in& OwnSin, int& NameLen) {
  NameLen = ClampAddrLen(NameLen);
  return WSocket::getsockname(SocketHandle, reinterpret_cast<sockaddr*>(&OwnSin), &NameLen);
}

bool TCustomWSocket::BoundName(sockaddr_in& Sin) {
  if (FState != wsBound && FState != wsConnected && FState != wsListening) return false;
  int Len = sizeof(Sin);
  return WSocket::getsockname(SocketHandle, reinterpret_cast<sockaddr*>(&Sin), &Len) == 0;
}

std::string TCustomWSocket::GetBoundAddr() {
  sockaddr_in Sin{};
  return BoundName(Sin) ? DottedText(Sin.sin_addr) : "error";
}

std::string TCustomWSocket::GetBoundPort() {
  sockaddr_in Sin{};
  return BoundName(Sin) ? std::to_string(WSocket::ntohs(Sin.sin_port)) : "error";
}

bool TCustomWSocket::TimevalIsSet(const timeval& tv) { return tv.tv_sec != 0 || tv.tv_usec != 0; }

void TCustomWSocket::TimevalClear(timeval& tv) {
  tv.tv_sec = 0;
  tv.tv_usec = 0;
}

bool TCustomWSocket::TimevalCompare(const timeval& tv, const timeval& uv, bool IsEqual) {
  const bool Equal = tv.tv_sec == uv.tv_sec && tv.tv_usec == uv.tv_usec;
  return IsEqual ? Equal : !Equal;
}

void TCustomWSocket::SetLocalPort(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Cannot change LocalPort if not closed");
    return;
  }
  LocalPortStr = Value;
  LocalPortResolved = false;
}

// The stored text is the library's own rendering of the converted value, so
// "127.1" or "010.0.0.1" read back in their normal dotted form.
void TCustomWSocket::SetLocalAddr(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Cannot change LocalAddr if not closed");
    return;
  }
  const std::string Text = Value.empty() ? std::string("0.0.0.0") : Value;
  in_addr Converted{};
  Converted.s_addr = WSocket::inet_addr(Text.c_str());
  if (Converted.s_addr == INADDR_NONE) ReportError("SetLocalAddr(): Invalid IP address");
  LocalAddrStr = DottedText(Converted);
}
