// Shared fixture of the WinSock module tests: loads a module build by name
// through the platform loader, binds its entry points, starts it, and gives
// each test a hidden window that records the notifications it receives.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "platform/posix_peer.h"

#define TV_API_FUNCTIONS(X)                                                                 \
  X(WSAStartup) X(WSACleanup) X(WSASetLastError) X(WSAGetLastError) X(WSAAsyncSelect)       \
  X(WSAAsyncGetHostByName) X(WSAAsyncGetHostByAddr) X(WSACancelAsyncRequest)                \
  X(gethostbyname) X(getservbyname) X(socket) X(connect) X(bind) X(listen) X(accept) X(send) \
  X(sendto) X(recv) X(recvfrom) X(shutdown) X(closesocket) X(setsockopt) X(ioctlsocket)     \
  X(getsockname) X(getpeername) X(htons) X(ntohs) X(inet_addr) X(inet_ntoa)

struct WsApi {
#define TV_DECLARE(name) PFN_##name name = nullptr;
  TV_API_FUNCTIONS(TV_DECLARE)
#undef TV_DECLARE
  PFN_getprotobyname getprotobyname = nullptr;  // absent from one variant

  bool Bind(HMODULE m) {
    bool ok = true;
#define TV_BIND(fn)                                                   \
  fn = reinterpret_cast<PFN_##fn>(GetProcAddress(m, #fn));            \
  ok = ok && fn != nullptr;
    TV_API_FUNCTIONS(TV_BIND)
#undef TV_BIND
    getprotobyname = reinterpret_cast<PFN_getprotobyname>(GetProcAddress(m, "getprotobyname"));
    return ok;
  }
};

// One WinSock notification as the window received it.
struct Note {
  SOCKET socket;
  WORD event;
  WORD error;
};

class WsockTest : public ::testing::Test {
 protected:
  // Module file to load as "wsock32.dll"; the fault tests override it.
  virtual const char* ModuleFile() const { return "libwsock32.so"; }

  void SetUp() override {
    tervane::SetModulePath("wsock32.dll", tervane::ExecutableDir() + ModuleFile());
    module_ = LoadLibraryA("wsock32.dll");
    ASSERT_NE(module_, nullptr) << "cannot load " << ModuleFile();
    ASSERT_TRUE(ws.Bind(module_));
    WSADATA data{};
    ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);
    window_ = CreateRecorder();
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    if (listener_ >= 0) peer::Close(listener_);
    if (window_) DestroyWindow(window_);
    if (module_) {
      ws.WSACleanup();
      FreeLibrary(module_);
    }
    tervane::SetModulePath("wsock32.dll", "");
    tervane::DispatchPending();  // nothing may be left for the next test
  }

  static constexpr UINT kSelectMsg = WM_USER + 1;
  static constexpr UINT kLookupMsg = WM_USER + 2;

  // Dispatch until `done` holds, waiting on the loop's backend descriptor;
  // false after two seconds (the watchdog).
  static bool PumpUntil(const std::function<bool()>& done) {
    const long long deadline = peer::NowMs() + 2000;
    for (;;) {
      tervane::DispatchPending();
      if (done()) return true;
      if (peer::NowMs() > deadline) return false;
      peer::WaitReadable(tervane::LoopBackendFd(), 20);
    }
  }
  // Dispatch what is ready now and what arrives within a short grace time:
  // used to show that something does NOT happen.
  static void Settle() {
    const long long until = peer::NowMs() + 100;
    while (peer::NowMs() < until) {
      tervane::DispatchPending();
      peer::WaitReadable(tervane::LoopBackendFd(), 10);
    }
    tervane::DispatchPending();
  }

  std::vector<Note> NotesFor(SOCKET s) const {
    std::vector<Note> out;
    for (const Note& n : notes_)
      if (n.socket == s) out.push_back(n);
    return out;
  }
  int Count(SOCKET s, WORD event) const {
    int n = 0;
    for (const Note& note : notes_) n += note.socket == s && note.event == event;
    return n;
  }
  bool Has(SOCKET s, WORD event) const { return Count(s, event) > 0; }
  // A closed socket's value comes back with the next socket: its notes go.
  void Forget(SOCKET s) { std::erase_if(notes_, [&](const Note& n) { return n.socket == s; }); }
  WORD ErrorOf(SOCKET s, WORD event) const {
    for (const Note& n : notes_)
      if (n.socket == s && n.event == event) return n.error;
    return 0xFFFF;
  }

  // A non-blocking TCP socket under notification, connecting to the port.
  SOCKET ConnectTo(int port, long mask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) {
    SOCKET s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(ws.WSAAsyncSelect(s, window_, kSelectMsg, mask), 0);
    sockaddr_in sin = Loopback(port);
    const int r = ws.connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    EXPECT_EQ(r, SOCKET_ERROR);
    EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
    return s;
  }

  // A connected pair: our socket under notification, connected and told
  // so (FD_WRITE), and the peer's end.  The listener closes with the test.
  void Pair(SOCKET* s, int* server) {
    int port = 0;
    listener_ = peer::ListenLoopback(&port);
    *s = ConnectTo(port);
    *server = peer::Accept(listener_);
    ASSERT_GE(*server, 0);
    ASSERT_TRUE(PumpUntil([&] { return Has(*s, FD_WRITE); }));
  }

  sockaddr_in Loopback(int port) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = ws.htons(static_cast<u_short>(port));
    sin.sin_addr.s_addr = ws.inet_addr("127.0.0.1");
    return sin;
  }

  WsApi ws;
  int listener_ = -1;
  HMODULE module_ = nullptr;
  HWND window_ = nullptr;
  std::vector<Note> notes_;
  std::vector<MSG> lookups_;  // replies to asynchronous look-ups

 private:
  static LRESULT CALLBACK RecorderProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<WsockTest*>(GetWindowLongPtrA(w, 0));
    if (self && msg == kSelectMsg)
      self->notes_.push_back(Note{static_cast<SOCKET>(wp), LOWORD(lp), HIWORD(lp)});
    if (self && msg == kLookupMsg) {
      MSG m{};
      m.hwnd = w;
      m.message = msg;
      m.wParam = wp;
      m.lParam = lp;
      self->lookups_.push_back(m);
    }
    return DefWindowProcA(w, msg, wp, lp);
  }

  HWND CreateRecorder() {
    WNDCLASSA cls{};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), "TvWsockTestRecorder", &cls)) {
      cls.lpfnWndProc = RecorderProc;
      cls.cbWndExtra = sizeof(LONG_PTR);  // as the socket layer registers it
      cls.hInstance = GetModuleHandleA(nullptr);
      cls.lpszClassName = "TvWsockTestRecorder";
      if (!RegisterClassA(&cls)) return nullptr;
    }
    HWND w = CreateWindowExA(WS_EX_TOOLWINDOW, "TvWsockTestRecorder", "", WS_POPUP, 0, 0, 0, 0,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (w) SetWindowLongPtrA(w, 0, reinterpret_cast<LONG_PTR>(this));
    return w;
  }
};
