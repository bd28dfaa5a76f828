// TCustomWSocket core: construction, the notification window and its
// dispatch, connecting, receiving, the closing sequence, the setters that
// need a closed socket, and exceptions raised inside event handlers.
//
// Handlers may close, abort or reconnect the socket from inside any event.
// After each handler call the code below checks that the socket still has
// the handle the step started with, and stops when it has not: what remains
// to do belonged to the session that the handler ended.
#include <algorithm>
#include <exception>
#include <vector>

#include <tervane/win32.h>

#include "custom_wsocket.h"
#include "wsocket_resolve.h"

namespace {

constexpr const char* kWindowClass = "XSocketWindowClass";
constexpr long kConnectEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
// OnDataAvailable calls per notification.  A peer that sends faster than
// the handlers read would otherwise keep one message running for as long as
// it sends, and nothing else of the thread (paint, input, other sockets)
// would run: after this many the loop posts itself the rest.
constexpr int kReceiveBudget = 8;

// A lingering release is tried again this often: the library tells nobody
// when the data has gone.
constexpr DWORD kLingerRetryMs = 10;

// Frames of the socket layer running on this thread (see TBusyFrame), and
// the windows of sockets whose release waits for the last of them.
thread_local int tlsBusyFrames = 0;
thread_local std::vector<HWND> tlsDeferredReleases;

}  // namespace

TCustomWSocket::TBusyFrame::TBusyFrame() { ++tlsBusyFrames; }

TCustomWSocket::TBusyFrame::~TBusyFrame() {
  if (--tlsBusyFrames > 0 || tlsDeferredReleases.empty()) return;
  std::vector<HWND> windows;
  windows.swap(tlsDeferredReleases);
  for (HWND w : windows) PostMessageA(w, WM_SOCKET_RELEASE, 0, 0);
}

// ---- Construction -----------------------------------------------------

TCustomWSocket::TCustomWSocket(TComponent* Owner) : TComponent(Owner) {
  CreateNotifyWindow();
  SendQueue.clear();
  QueuedBytes = 0;
  BlockSize = 1460;
  FDnsResultList.clear();
  MultiCastIpTTL = 1;
  ResetDefaults();
  ++SocketInstanceCount;
}

TCustomWSocket::~TCustomWSocket() {
  // Marks the component as dying so that closing raises no OnSessionClosed
  // and cancelling a look-up no OnDnsLookupDone.  Nothing may escape a
  // destructor: failures on the way out are dropped.  From here on the
  // window routes nothing to us (a lingering close below pumps, and a
  // pending release must not free us a second time).
  Destroying();
  if (WindowHandle != nullptr) SetWindowLongPtrA(WindowHandle, 0, 0);
  tlsDeferredReleases.erase(
      std::remove(tlsDeferredReleases.begin(), tlsDeferredReleases.end(), WindowHandle),
      tlsDeferredReleases.end());
  try {
    CancelDnsLookup();
  } catch (...) {
  }
  if (FState != wsClosed) {
    try {
      Close();
    } catch (...) {
    }
  }
  if (--SocketInstanceCount <= 0) {
    UnloadSocketLibrary();
    SocketInstanceCount = 0;
  }
  ClearSendBuffers();
  DestroyNotifyWindow();
}

void TCustomWSocket::ResetDefaults() {
  RemoteSin = sockaddr_in{};
  RemoteSin.sin_family = AF_INET;
  AddrFormat = PF_INET;
  PortAssigned = false;
  AddrAssigned = false;
  AddrResolved = false;
  PortResolved = false;
  ProtoResolved = false;
  LocalPortResolved = false;
  ProtoAssigned = true;
  ProtoNum = 6;
  // Assigned from std::string objects: GCC 12 at -O3 misreads a literal
  // assignment here as an overlapping copy (-Wrestrict).
  static const std::string kTcp = "tcp", kAnyPort = "0", kAnyAddr = "0.0.0.0";
  ProtoStr = kTcp;
  SocketType = SOCK_STREAM;
  LocalPortStr = kAnyPort;
  LocalAddrStr = kAnyAddr;
  LingerOnOff = wsLingerOn;
  LingerTimeout = 0;
  SocketHandle = INVALID_SOCKET;
  SelectEvent = 0;
  FState = wsClosed;
  AllSent = true;
  Paused = false;
  FReadCount = 0;
  CloseInvoked = false;
  FlushTimeout = 60;
  ResetOwed.reset();
}

void TCustomWSocket::StartFromDefaults() {
  const TClosedWith ClosedWith = *ResetOwed;
  ResetOwed.reset();
  AllSent = true;
  FReadCount = 0;
  Paused = false;
  SelectEvent = 0;
  // Settings equal to what the old session ended with are its leftovers
  // (Abort's linger among them); others the handler chose for the new one.
  if (LingerOnOff == ClosedWith.LingerOnOff) LingerOnOff = wsLingerOn;
  if (LingerTimeout == ClosedWith.LingerTimeout) LingerTimeout = 0;
  if (FlushTimeout == ClosedWith.FlushTimeout) FlushTimeout = 60;
}

// ---- Notification window ------------------------------------------------

void TCustomWSocket::CreateNotifyWindow() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA existing{};
  if (!GetClassInfoA(instance, kWindowClass, &existing)) {
    WNDCLASSA wc{};
    wc.style = 0;
    wc.lpfnWndProc = &TCustomWSocket::NotifyWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = sizeof(LONG_PTR);  // room for the component's pointer at index 0
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (RegisterClassA(&wc) == 0) {
      WindowHandle = nullptr;
      return;
    }
  }
  WindowHandle = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, instance, nullptr);
  if (WindowHandle != nullptr)
    SetWindowLongPtrA(WindowHandle, 0, reinterpret_cast<LONG_PTR>(static_cast<TObject*>(this)));
}

void TCustomWSocket::DestroyNotifyWindow() {
  if (WindowHandle == nullptr) return;
  SetWindowLongPtrA(WindowHandle, 0, 0);
  DestroyWindow(WindowHandle);
  WindowHandle = nullptr;
}

LRESULT CALLBACK TCustomWSocket::NotifyWndProc(HWND Window, UINT Message, WPARAM WParam,
                                               LPARAM LParam) {
  auto* object = reinterpret_cast<TObject*>(GetWindowLongPtrA(Window, 0));
  auto* socket = dynamic_cast<TCustomWSocket*>(object);
  if (socket == nullptr) return DefWindowProcA(Window, Message, WParam, LParam);
  TMessage record{Message, WParam, LParam, 0};
  TBusyFrame frame;  // outlives the socket when the message frees it
  socket->WndProc(record);
  return record.Result;
}

void TCustomWSocket::WndProc(TMessage& Msg) {
  // Anything an event handler throws stops here: the message counts as
  // handled, and the socket decides in HandleBgException what to do.
  try {
    switch (Msg.Msg) {
      case WM_SOCKET_SELECT:
        HandleSelectMsg(Msg);
        break;
      case WM_SOCKET_HOSTBYNAME:
        HandleHostByNameMsg(Msg);
        break;
      case WM_SOCKET_HOSTBYADDR:
        HandleHostByAddrMsg(Msg);
        break;
      case WM_SOCKET_CLOSE_DELAYED:
        Close();
        break;
      case WM_SOCKET_RELEASE:
        // Only this dispatch running: no frame can touch us afterwards.
        if (tlsBusyFrames > 1) {
          if (std::find(tlsDeferredReleases.begin(), tlsDeferredReleases.end(), WindowHandle) ==
              tlsDeferredReleases.end())
            tlsDeferredReleases.push_back(WindowHandle);
          return;
        }
        delete this;  // nothing of the component may be touched after this
        return;
      case WM_SOCKET_TEST_EXCEPTION:
        throw ESocketException("Test exception in WSocket");
      default:
        Msg.Result = DefWindowProcA(WindowHandle, Msg.Msg, Msg.WParam, Msg.LParam);
        break;
    }
  } catch (std::exception& e) {
    HandleBgException(e);
  } catch (...) {
    ESocketException unknown(kUnknownHandlerException);
    HandleBgException(unknown);
  }
}

void TCustomWSocket::HandleBgException(std::exception& E) {
  bool CanClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, E, CanClose);
    } catch (...) {
    }
  }
  if (CanClose) {
    try {
      Abort();
    } catch (...) {
    }
  }
}

// ---- Notifications --------------------------------------------------------

void TCustomWSocket::HandleSelectMsg(TMessage& Msg) {
  const SOCKET handle = static_cast<SOCKET>(Msg.WParam);
  if (handle != SocketHandle || Paused) return;
  const WORD code = LOWORD(static_cast<std::uintptr_t>(Msg.LParam));
  const WORD err = HIWORD(static_cast<std::uintptr_t>(Msg.LParam));
  // Each step stops when a handler ended this session (closed it, or
  // closed it and opened a new one).
  auto sessionGone = [&] { return SocketHandle != handle; };

  if (code & FD_CONNECT) {
    if (FState != wsConnected) {
      ChangeState(wsConnected);
      if (sessionGone()) return;
      TriggerSessionConnected(err);
      if (sessionGone()) return;
      // A failed attempt passes through wsConnected and is closed here.
      if (err != 0 && FState != wsClosed) Close();
      if (sessionGone()) return;
    }
  }
  if (code & FD_READ) {
    if (FState != wsConnected) {
      ChangeState(wsConnected);
      if (sessionGone()) return;
      TriggerSessionConnected(err);
      if (sessionGone()) return;
    }
    if (ReceivePostedFor == handle) ReceivePostedFor = INVALID_SOCKET;
    const bool more = ReceiveLoop(err, ComponentOptions);
    if (sessionGone()) return;
    if (more) PostReceiveRetry(FD_READ);
  }
  // A handle being shut for a lingering close sends nothing more.
  if ((code & FD_WRITE) && ClosingHandle != handle) {
    if (WritePostedFor == handle) WritePostedFor = INVALID_SOCKET;
    TryToSend();
    if (sessionGone()) return;
    if (AllSent) TriggerDataSent(err);
    if (sessionGone()) return;
  }
  if (code & FD_ACCEPT) {
    TriggerSessionAvailable(err);
    if (sessionGone()) return;
  }
  if (code & FD_CLOSE) {
    // A close reported while the connect is still under way is dropped;
    // the outcome of the attempt comes with FD_CONNECT.
    if (FState != wsConnecting) {
      // Whatever the peer sent before closing is delivered first; when that
      // is more than one budget, the close waits behind a posted FD_CLOSE
      // that reads on.
      if (ReceivePostedFor == handle) ReceivePostedFor = INVALID_SOCKET;
      const bool more = ReceiveLoop(
          0, ComponentOptions & static_cast<TWSocketOptions>(~WSocketOptionBit(wsoNoReceiveLoop)));
      if (sessionGone()) return;
      if (more) {
        PostReceiveRetry(FD_CLOSE);
        return;
      }
      if (!CloseInvoked) {
        CloseInvoked = true;
        TriggerSessionClosed(err);
        if (sessionGone()) return;
      }
      if (FState != wsClosed) Close();
    }
  }
}

// The library posts no more once the handle is closed; what it posted
// before still waits in this window's queue and would otherwise be taken for
// news about whichever socket gets the value next.  The retries this socket
// posted itself go with them, so their guards are free again: the value they
// name may be handed out again at once.
void TCustomWSocket::DropQueuedNotifications() {
  WritePostedFor = INVALID_SOCKET;
  ReceivePostedFor = INVALID_SOCKET;
  if (WindowHandle == nullptr) return;
  MSG Stale{};
  while (PeekMessageA(&Stale, WindowHandle, WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_REMOVE)) {
  }
}

bool TCustomWSocket::ReceiveLoop(WORD Err, TWSocketOptions Options) {
  // Exceptions from the data handler end the loop and go no further: the
  // handler is told again on the next notification.
  const SOCKET handle = SocketHandle;
  try {
    for (int round = 1;; ++round) {
      FLastError = 0;
      if (!TriggerDataAvailable(Err)) {
        char discard[1024];
        if (RawReceive(discard, sizeof discard, 0) == -1) {
          FLastError = WSocket::WSAGetLastError();
          if (FLastError == WSAEWOULDBLOCK) {
            FLastError = 0;
            break;
          }
        }
      }
      if (Options & WSocketOptionBit(wsoNoReceiveLoop)) break;
      if (FLastError != 0) break;
      if (SocketHandle != handle) break;  // the handler ended the session
      u_long waiting = 0;
      if (WSocket::ioctlsocket(SocketHandle, FIONREAD, &waiting) == SOCKET_ERROR) {
        FLastError = WSocket::WSAGetLastError();
        break;
      }
      if (waiting == 0) break;
      if (round == kReceiveBudget) return true;
    }
  } catch (...) {
  }
  return false;
}

void TCustomWSocket::PostReceiveRetry(WORD Code) {
  if (SocketHandle == INVALID_SOCKET || ReceivePostedFor == SocketHandle) return;
  ReceivePostedFor = SocketHandle;
  PostMessageA(WindowHandle, WM_SOCKET_SELECT, static_cast<WPARAM>(SocketHandle),
               static_cast<LPARAM>(MAKELONG(Code, 0)));
}

// ---- Connecting -------------------------------------------------------------

bool TCustomWSocket::ResolveAssigned(const std::string& Context, bool WithLocalPort) {
  try {
    if (!ProtoResolved) {
      ProtoNum = WSocketResolveProto(ProtoStr);
      SocketType = ProtoNum == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
      ProtoResolved = true;
    }
    if (!PortResolved) {
      PortNum = WSocketResolvePort(PortStr, ProtoStr);
      RemoteSin.sin_port = WSocket::htons(static_cast<u_short>(PortNum));
      PortResolved = true;
    }
    if (WithLocalPort && !LocalPortResolved) {
      LocalPortNum = WSocketResolvePort(LocalPortStr, ProtoStr);
      LocalPortResolved = true;
    }
    if (!AddrResolved) {
      RemoteSin.sin_addr.s_addr = WSocketResolveHost(AddrStr);
      AddrResolved = true;
    }
  } catch (Exception& E) {
    ReportError(Context + ": " + E.Message);
    return false;
  }
  return true;
}

void TCustomWSocket::Connect() {
  if (SocketHandle != INVALID_SOCKET && FState != wsClosed) {
    ReportError("Connect: Socket already in use");
    return;
  }
  if (!PortAssigned) {
    ReportError("Connect: No Port Specified");
    return;
  }
  if (!AddrAssigned) {
    ReportError("Connect: No IP Address Specified");
    return;
  }
  if (!ProtoAssigned) {
    ReportError("Connect: No Protocol Specified");
    return;
  }
  if (!ResolveAssigned("connect", true)) return;

  if (ResetOwed) StartFromDefaults();
  ClearSendBuffers();
  SocketHandle = WSocket::socket(AddrFormat, SocketType, ProtoNum);
  if (SocketHandle == INVALID_SOCKET) {
    SocketError("Connect (socket)");
    return;
  }
  // A new session: whatever announced the end of the last one is spent.
  CloseInvoked = false;
  ChangeState(wsOpened);

  const int on = -1;
  if (SocketType == SOCK_DGRAM) {
    Bind();
    if (MultiCast && MultiCastIpTTL != 1) {
      const std::int32_t ttl = MultiCastIpTTL;
      if (WSocket::setsockopt(SocketHandle, IPPROTO_IP, IP_MULTICAST_TTL,
                              reinterpret_cast<const char*>(&ttl), sizeof ttl) == SOCKET_ERROR) {
        SocketError("setsockopt(IP_MULTICAST_TTL)");
        return;
      }
    }
    if (RemoteSin.sin_addr.s_addr == INADDR_NONE) {
      const std::int32_t one = 1;
      if (WSocket::setsockopt(SocketHandle, SOL_SOCKET, SO_BROADCAST,
                              reinterpret_cast<const char*>(&one), sizeof one) == SOCKET_ERROR) {
        SocketError("setsockopt(SO_BROADCAST)");
        return;
      }
    }
  } else {
    if (WSocket::setsockopt(SocketHandle, SOL_SOCKET, SO_REUSEADDR,
                            reinterpret_cast<const char*>(&on), sizeof on) == SOCKET_ERROR) {
      SocketError("setsockopt(SO_REUSEADDR)");
      return;
    }
    if (ComponentOptions & WSocketOptionBit(wsoTcpNoDelay)) {
      if (WSocket::setsockopt(SocketHandle, IPPROTO_TCP, TCP_NODELAY,
                              reinterpret_cast<const char*>(&on), sizeof on) == SOCKET_ERROR) {
        SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        return;
      }
    }
    ApplyLinger();
    if (WSocket::setsockopt(SocketHandle, SOL_SOCKET, SO_KEEPALIVE,
                            reinterpret_cast<const char*>(&on), sizeof on) == SOCKET_ERROR) {
      SocketError("setsockopt(SO_KEEPALIVE)");
      return;
    }
    if (LocalPortNum != 0 || LocalAddrStr != "0.0.0.0") Bind();
  }

  SelectEvent = kConnectEvents;
  if (WSocket::WSAAsyncSelect(SocketHandle, WindowHandle, WM_SOCKET_SELECT, kConnectEvents) ==
      SOCKET_ERROR) {
    SocketError("WSAAsyncSelect");
    return;
  }

  if (SocketType == SOCK_DGRAM) {
    ChangeState(wsConnected);
    TriggerSessionConnected(0);
    return;
  }
  if (WSocket::connect(SocketHandle, reinterpret_cast<const sockaddr*>(&RemoteSin),
                       sizeof RemoteSin) == SOCKET_ERROR) {
    int code = WSocket::WSAGetLastError();
    if (code != WSAEWOULDBLOCK) {
      FLastError = code;
      SocketError("Connect");
      return;
    }
  }
  ChangeState(wsConnecting);
}

void TCustomWSocket::Bind() {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = WSocket::htons(static_cast<u_short>(LocalPortNum));
  local.sin_addr.s_addr = WSocketResolveHost(LocalAddrStr);
  if (WSocket::bind(SocketHandle, reinterpret_cast<const sockaddr*>(&local), sizeof local) ==
      SOCKET_ERROR) {
    ReportErrorFmt("winsock.bind failed, error #%d", WSocket::WSAGetLastError());
    return;
  }
  sockaddr_in bound{};
  int len = sizeof bound;
  if (WSocket::getsockname(SocketHandle, reinterpret_cast<sockaddr*>(&bound), &len) ==
      SOCKET_ERROR) {
    ReportErrorFmt("winsock.getsockname failed, error #%d", WSocket::WSAGetLastError());
    return;
  }
  LocalPortNum = WSocket::ntohs(bound.sin_port);
  LocalPortStr = std::to_string(LocalPortNum);
}

void TCustomWSocket::ApplyLinger() {
  if (LingerOnOff == wsLingerNoSet) return;
  if (SocketHandle == INVALID_SOCKET) {
    ReportError("Cannot set linger option at this time");
    return;
  }
  linger value{};
  value.l_onoff = static_cast<u_short>(LingerOnOff);
  value.l_linger = static_cast<u_short>(LingerTimeout & 0xFFFF);
  if (WSocket::setsockopt(SocketHandle, SOL_SOCKET, SO_LINGER,
                          reinterpret_cast<const char*>(&value), sizeof value) == SOCKET_ERROR)
    SocketError("setsockopt(SO_LINGER)");
}

// ---- Closing --------------------------------------------------------------

void TCustomWSocket::Close() { DoClose(true, 0); }

// An abort always ends with the socket closed.  A cancel the library
// refuses (the look-up has just completed, its reply already on the way) and
// an exception from a handler or the linger setting are reported only after
// the close, or the socket would stay connected behind the report.
void TCustomWSocket::Abort() {
  std::exception_ptr Raised;
  const bool Pending = LookupHandle != nullptr;
  const int Refused = CancelLookupRequest();
  if (Pending && Refused == 0 && (ComponentState() & csDestroying) == 0) {
    try {
      TriggerDnsLookupDone(WSAEINTR);
    } catch (...) {
      Raised = std::current_exception();
    }
  }
  ClearSendBuffers();
  if (FState == wsConnected && ProtoNum == IPPROTO_TCP) {
    LingerOnOff = wsLingerOff;
    try {
      ApplyLinger();
    } catch (...) {
      if (!Raised) Raised = std::current_exception();
    }
  }
  DoClose(false, 0);
  if (Raised) std::rethrow_exception(Raised);
  if (Refused != 0) {
    WSocket::WSASetLastError(Refused);
    SocketError("WSACancelAsyncRequest");
  }
}

void TCustomWSocket::DoClose(bool ShutdownFirst, int Error) {
  if (SocketHandle == INVALID_SOCKET) {
    if (FState != wsClosed) {
      ResetOwed = TClosedWith{LingerOnOff, LingerTimeout, FlushTimeout};
      ChangeState(wsClosed);
      if (SocketHandle == INVALID_SOCKET) ResetDefaults();
    }
    return;
  }
  if (FState == wsClosed) return;
  // FD_CLOSE or a delayed close reached while our lingering release waits:
  // that release is this close.  An Abort still cuts it short.
  if (ShutdownFirst && ClosingHandle == SocketHandle) return;
  TBusyFrame frame;
  if (ShutdownFirst) Shutdown(1);
  if (!ReleaseHandle()) return;

  // Once per session: a handler that connects again (from OnChangeState
  // here) starts a session of its own, whose flag is not this one's.
  const bool announced = CloseInvoked;
  ResetOwed = TClosedWith{LingerOnOff, LingerTimeout, FlushTimeout};
  ChangeState(wsClosed);
  if (!(ComponentState() & csDestroying) && !announced) {
    if (SocketHandle == INVALID_SOCKET) CloseInvoked = true;
    TriggerSessionClosed(static_cast<WORD>(Error));
  }
  // A handler that connected again owns the fields now; Connect has reset
  // what the old session left.
  if (SocketHandle != INVALID_SOCKET) return;
  try {
    ResetDefaults();
  } catch (...) {
  }
}

bool TCustomWSocket::ReleaseHandle() {
  const SOCKET handle = SocketHandle;
  for (;;) {
    if (WSocket::closesocket(handle) != SOCKET_ERROR) {
      SocketHandle = INVALID_SOCKET;
      DropQueuedNotifications();
      return true;
    }
    FLastError = WSocket::WSAGetLastError();
    if (FLastError == WSANOTINITIALISED) {
      SocketHandle = INVALID_SOCKET;
      return true;
    }
    if (FLastError != WSAEWOULDBLOCK) {
      // The library kept the handle open: it stays ours, so that a later
      // Close, Abort or the destructor can still release it.  Forgotten here,
      // it would stay open for the life of the process.
      SocketError("Disconnect (closesocket)");
      return false;
    }
    // Lingering: the library holds the handle until the data has gone.
    // The loop runs meanwhile; a quit ends the linger as a hard close.
    if (Terminated) {
      const linger hard{1, 0};
      WSocket::setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                          sizeof hard);
      continue;
    }
    const SOCKET outer = ClosingHandle;
    ClosingHandle = handle;
    struct Restore {
      TCustomWSocket* self;
      SOCKET outer;
      ~Restore() { self->ClosingHandle = outer; }
    } restore{this, outer};
    WaitForMessages(kLingerRetryMs);
    PumpMessages();
    // A handler aborted (or aborted and reconnected) meanwhile: that
    // close has done everything.
    if (SocketHandle != handle) return false;
  }
}

void TCustomWSocket::Shutdown(int How) {
  if (SocketHandle != INVALID_SOCKET) WSocket::shutdown(SocketHandle, How);
}

// ---- Message pumping ------------------------------------------------------

void TCustomWSocket::PumpMessages() {
  TBusyFrame frame;
  if (!MultiThreaded) {
    // The application's pump posts a quit it meets again for the loop
    // outside; the wait that called us ends.
    if (!tervane::ApplicationProcessMessages()) Terminated = true;
    return;
  }
  MSG msg{};
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      Terminated = true;
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool TCustomWSocket::PumpOneMessage() {
  MSG msg{};
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    Terminated = true;
  } else {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void TCustomWSocket::WaitForMessages(DWORD Ms) {
  // A pump may leave messages queued (those posted beyond its bound); the
  // wait below would not count them as new.
  MSG waiting{};
  if (PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) return;
  MsgWaitForMultipleObjects(0, nullptr, FALSE, Ms, QS_ALLINPUT);
}

// ---- Receiving ------------------------------------------------------------

int TCustomWSocket::GetRcvdCount() {
  if (ComponentState() & csDesigning) return -1;
  u_long count = 0;
  if (WSocket::ioctlsocket(SocketHandle, FIONREAD, &count) == SOCKET_ERROR) {
    SocketError("ioctlSocket");
    return -1;
  }
  return static_cast<int>(count);
}

int TCustomWSocket::Receive(void* Buffer, int BufferSize) {
  int r = RawReceive(Buffer, BufferSize, 0);
  if (r < 0)
    FLastError = WSocket::WSAGetLastError();
  else
    FReadCount += r;
  return r;
}

int TCustomWSocket::RawReceive(void* Buffer, int BufferSize, int Flags) {
  return WSocket::recv(SocketHandle, static_cast<char*>(Buffer), BufferSize, Flags);
}

// ---- Setters ----------------------------------------------------------------

void TCustomWSocket::AssignText(const std::string& Value, const char* Property, std::string& Text,
                                bool& Assigned, bool& Resolved) {
  if (Assigned && Value == Text) return;
  if (FState != wsClosed) {
    ReportError(std::string("Cannot change ") + Property + " if not closed");
    return;
  }
  Text = TrimBlanks(Value);
  if (Text.empty()) {
    Assigned = false;
  } else {
    Resolved = false;
    Assigned = true;
  }
}

void TCustomWSocket::SetAddr(const std::string& Value) {
  AssignText(Value, "Addr", AddrStr, AddrAssigned, AddrResolved);
}

void TCustomWSocket::SetPort(const std::string& Value) {
  AssignText(Value, "Port", PortStr, PortAssigned, PortResolved);
}

void TCustomWSocket::SetProto(const std::string& Value) {
  AssignText(Value, "Proto", ProtoStr, ProtoAssigned, ProtoResolved);
}

// ---- State and events ---------------------------------------------------------

void TCustomWSocket::ChangeState(TSocketState NewState) {
  TSocketState old = FState;
  FState = NewState;
  TriggerChangeState(old, NewState);
}

bool TCustomWSocket::TriggerDataAvailable(WORD Error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, Error);
  return true;
}

void TCustomWSocket::TriggerSessionAvailable(WORD Error) {
  if (OnSessionAvailable) OnSessionAvailable(this, Error);
}

void TCustomWSocket::TriggerSessionConnected(WORD Error) {
  if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomWSocket::TriggerSessionClosed(WORD Error) {
  if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomWSocket::TriggerDataSent(WORD Error) {
  if (OnDataSent) OnDataSent(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState) {
  if (OnChangeState) OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(WORD Error) {
  if (OnDnsLookupDone) OnDnsLookupDone(this, Error);
}

void TCustomWSocket::TriggerError() {
  if (OnError) OnError(this);
}

void TCustomWSocket::TriggerSendData(int BytesSent) {
  if (OnSendData) OnSendData(this, BytesSent);
}
