// The message loop and windows: ordering, wake-ups through the backend
// descriptor, quitting, destroyed windows, classes and per-window data.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <tervane/platform.h>

#include "platform/posix_peer.h"

namespace {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
};
std::vector<Seen> gSeen;
int gRepostsLeft = 0;

constexpr UINT kRepost = WM_USER + 50;
constexpr UINT kThrow = WM_USER + 51;

LRESULT CALLBACK RecordProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  gSeen.push_back(Seen{w, msg, wp});
  if (msg == kThrow) throw 17;
  if (msg == kRepost && gRepostsLeft != 0) {
    if (gRepostsLeft > 0) --gRepostsLeft;
    PostMessageA(w, kRepost, wp + 1, 0);
  }
  return DefWindowProcA(w, msg, wp, lp);
}

// Ends the test program with `message` if not dismissed (destroyed) within
// `ms`: a lost wake-up would otherwise hang the test instead of failing it.
class Watchdog {
 public:
  Watchdog(long long ms, const char* message)
      : thread_([this, ms, message] {
          const long long until = peer::NowMs() + ms;
          while (!done_ && peer::NowMs() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          if (!done_) {
            std::fprintf(stderr, "%s\n", message);
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

const char* kClass = "TvLoopTestClass";
// One pointer and four bytes more: slots at 0 .. 4 fit, 5 does not.
constexpr int kExtraBytes = sizeof(LONG_PTR) + 4;

class LoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen.clear();
    gRepostsLeft = 0;
    WNDCLASSA cls{};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), kClass, &cls)) {
      cls.lpfnWndProc = RecordProc;
      cls.cbWndExtra = kExtraBytes;
      cls.hInstance = GetModuleHandleA(nullptr);
      cls.lpszClassName = kClass;
      ASSERT_NE(RegisterClassA(&cls), 0);
    }
    tervane::DispatchPending();
    windowsBefore_ = tervane::LiveWindowCount();
  }
  void TearDown() override {
    tervane::DispatchPending();
    EXPECT_EQ(tervane::LiveWindowCount(), windowsBefore_) << "a test leaked a window";
  }
  static HWND Make() {
    return CreateWindowExA(WS_EX_TOOLWINDOW, kClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  }
  static bool BackendReadable() { return peer::WaitReadable(tervane::LoopBackendFd(), 0); }

  int windowsBefore_ = 0;
};

TEST_F(LoopTest, PostsAreDispatchedInOrderAndPeekCanLookWithoutRemoving) {
  HWND a = Make();
  HWND b = Make();
  PostMessageA(a, WM_USER + 1, 1, 0);
  PostMessageA(b, WM_USER + 2, 2, 0);
  PostMessageA(a, WM_USER + 3, 3, 0);

  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // the same one, now taken
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_EQ(m.hwnd, a);
  DispatchMessageA(&m);

  EXPECT_TRUE(tervane::DispatchPending());
  ASSERT_EQ(gSeen.size(), 3u);
  EXPECT_EQ(gSeen[0].wParam, 1u);
  EXPECT_EQ(gSeen[1].window, b);
  EXPECT_EQ(gSeen[1].wParam, 2u);
  EXPECT_EQ(gSeen[2].wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

  // A filter by window and message range takes the first match from the
  // middle of the queue; what stays keeps its order.
  gSeen.clear();
  PostMessageA(a, WM_USER + 1, 1, 0);
  PostMessageA(b, WM_USER + 1, 2, 0);
  PostMessageA(a, WM_USER + 2, 3, 0);
  PostMessageA(b, WM_USER + 2, 4, 0);
  ASSERT_TRUE(PeekMessageA(&m, b, WM_USER + 2, WM_USER + 5, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 4u);
  ASSERT_TRUE(PeekMessageA(&m, a, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, a, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_TRUE(tervane::DispatchPending());
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].wParam, 1u);
  EXPECT_EQ(gSeen[1].wParam, 4u);
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(LoopTest, BackendDescriptorSaysWhenThereIsWork) {
  HWND w = Make();
  EXPECT_FALSE(BackendReadable());
  for (int i = 0; i < 100; ++i) PostMessageA(w, WM_USER, static_cast<WPARAM>(i), 0);
  EXPECT_TRUE(BackendReadable());
  EXPECT_TRUE(tervane::DispatchPending());
  EXPECT_EQ(gSeen.size(), 100u);
  EXPECT_FALSE(BackendReadable()) << "readable with nothing to do: a foreign loop would spin";

  // A post from another thread wakes it too, and is dispatched here.
  std::thread([w] { PostMessageA(w, WM_USER, 7, 0); }).join();
  EXPECT_TRUE(BackendReadable());
  tervane::DispatchPending();
  EXPECT_EQ(gSeen.back().wParam, 7u);
  EXPECT_FALSE(BackendReadable());

  // Draining with PeekMessage (as a nested pump does) also quiets it.
  PostMessageA(w, WM_USER, 8, 0);
  MSG m{};
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  EXPECT_FALSE(BackendReadable());
  DestroyWindow(w);
}

TEST_F(LoopTest, PostFromAnotherThreadWakesABlockedGetMessage) {
  HWND w = Make();
  std::thread poster([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it block
    PostMessageA(w, WM_USER + 5, 42, 0);
  });
  MSG m{};
  {
    Watchdog watchdog(5000, "GetMessageA was never woken");
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  }
  poster.join();
  EXPECT_EQ(m.message, WM_USER + 5u);
  EXPECT_EQ(m.wParam, 42u);
  DestroyWindow(w);
}

// A flood of posts from another thread races the owner's emptying of the
// queue at every message: no wake-up may be lost on the way, whether the
// owner sleeps in GetMessageA or, like a foreign loop, polls the backend
// descriptor and dispatches.  A lost one leaves the owner asleep on a
// full inbox, so a watchdog turns that into a failure instead of a hang.
TEST_F(LoopTest, AFloodFromAnotherThreadIsDeliveredWithoutALostWakeUp) {
  // One round loses a wake-up only now and then; several make a
  // regression show on most runs.
  constexpr int kRounds = 8;
  constexpr int kPosts = 50000;
  HWND w = Make();
  auto flood = [w] {
    for (int i = 0; i < kPosts; ++i) PostMessageA(w, WM_USER, static_cast<WPARAM>(i), 0);
  };
  Watchdog watchdog(120000, "the owner slept on posted messages: a wake-up was lost");
  for (int round = 0; round < kRounds; ++round) {
    std::thread poster(flood);
    int outOfOrder = 0;
    MSG m{};
    for (int got = 0; got < kPosts; ++got) {
      GetMessageA(&m, nullptr, 0, 0);
      if (m.wParam != static_cast<WPARAM>(got)) ++outOfOrder;
    }
    poster.join();
    ASSERT_EQ(outOfOrder, 0) << "posts from one thread keep their order";

    gSeen.clear();
    poster = std::thread(flood);
    while (gSeen.size() < static_cast<std::size_t>(kPosts)) {
      peer::WaitReadable(tervane::LoopBackendFd(), -1);
      tervane::DispatchPending();
    }
    poster.join();
    ASSERT_EQ(gSeen.back().wParam, static_cast<WPARAM>(kPosts - 1));
  }
  EXPECT_FALSE(BackendReadable()) << "readable with nothing to do: a foreign loop would spin";
  DestroyWindow(w);
}

TEST_F(LoopTest, QuitStopsDispatchAndEndsTheHeadlessLoop) {
  HWND w = Make();
  PostMessageA(w, WM_USER, 1, 0);
  PostQuitMessage(3);
  PostMessageA(w, WM_USER, 2, 0);
  EXPECT_FALSE(tervane::DispatchPending());
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_TRUE(BackendReadable()) << "the message after the quit is still waiting";
  EXPECT_TRUE(tervane::DispatchPending());
  EXPECT_EQ(gSeen.size(), 2u);

  PostMessageA(w, WM_USER, 3, 0);
  PostQuitMessage(9);
  EXPECT_EQ(tervane::RunMessageLoop(), 9);
  EXPECT_EQ(gSeen.back().wParam, 3u);

  // PeekMessage hands the quit to its caller (a nested pump stops on it).
  PostQuitMessage(4);
  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 4u);
  DestroyWindow(w);
}

TEST_F(LoopTest, SelfRepostingHandlerDoesNotHoldTheLoopForEver) {
  HWND w = Make();
  gRepostsLeft = -1;  // for ever
  PostMessageA(w, kRepost, 0, 0);
  tervane::DispatchPending();  // must return
  EXPECT_GT(gSeen.size(), 1u);
  EXPECT_TRUE(BackendReadable());
  gRepostsLeft = 0;
  tervane::DispatchPending();
  // A finite chain of posts completes within one call.
  gSeen.clear();
  gRepostsLeft = 10;
  PostMessageA(w, kRepost, 0, 0);
  tervane::DispatchPending();
  EXPECT_EQ(gSeen.size(), 11u);
  EXPECT_FALSE(BackendReadable());
  DestroyWindow(w);
}

TEST_F(LoopTest, AnExceptionThroughTheLoopDoesNotSilenceLaterWakeUps) {
  HWND w = Make();
  PostMessageA(w, kThrow, 0, 0);
  PostMessageA(w, WM_USER, 1, 0);
  EXPECT_THROW(tervane::DispatchPending(), int);
  EXPECT_TRUE(BackendReadable()) << "the message after the throw is waiting";
  tervane::DispatchPending();
  EXPECT_EQ(gSeen.back().wParam, 1u);
  EXPECT_FALSE(BackendReadable());
  PostMessageA(w, WM_USER, 2, 0);  // from outside the loop again
  EXPECT_TRUE(BackendReadable());
  tervane::DispatchPending();
  DestroyWindow(w);
}

TEST_F(LoopTest, DestroyedWindowsLoseTheirMessagesAndTheirHandles) {
  HWND w = Make();
  ASSERT_TRUE(IsWindow(w));
  PostMessageA(w, WM_USER, 1, 0);
  ASSERT_TRUE(DestroyWindow(w));
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].message, static_cast<UINT>(WM_DESTROY));
  tervane::DispatchPending();
  EXPECT_EQ(gSeen.size(), 1u) << "message queued for a destroyed window was delivered";
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(PostMessageA(w, WM_USER, 2, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(DestroyWindow(w));

  HWND next = Make();  // very likely reuses the slot: never the handle
  EXPECT_NE(next, w);
  EXPECT_FALSE(PostMessageA(w, WM_USER, 3, 0));
  tervane::DispatchPending();
  EXPECT_EQ(gSeen.size(), 1u);
  DestroyWindow(next);
}

TEST_F(LoopTest, WindowsOfAThreadDieWithIt) {
  HWND foreign = nullptr;
  std::thread([&] { foreign = Make(); }).join();
  ASSERT_NE(foreign, nullptr);
  EXPECT_FALSE(IsWindow(foreign));
  EXPECT_FALSE(PostMessageA(foreign, WM_USER, 0, 0));
}

TEST_F(LoopTest, ClassesAreRegisteredByName) {
  WNDCLASSA cls{};
  cls.lpfnWndProc = RecordProc;
  cls.cbWndExtra = 4;
  cls.lpszClassName = "XSocketWindowClass";
  ASSERT_NE(RegisterClassA(&cls), 0);
  EXPECT_EQ(RegisterClassA(&cls), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  WNDCLASSA found{};
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "xsocketwindowclass", &found));
  EXPECT_EQ(found.lpfnWndProc, &RecordProc);
  EXPECT_EQ(found.cbWndExtra, 4);
  EXPECT_STREQ(found.lpszClassName, "XSocketWindowClass");

  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  EXPECT_TRUE(UnregisterClassA("XSocketWindowClass", nullptr));
  EXPECT_FALSE(GetClassInfoA(nullptr, "XSocketWindowClass", &found));
}

TEST_F(LoopTest, ExtraBytesAreExactlyWhatTheClassRegistered) {
  HWND w = Make();
  int object = 0;
  const auto p = reinterpret_cast<LONG_PTR>(&object);
  EXPECT_EQ(SetWindowLongPtrA(w, 0, p), 0);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), p);
  for (int index : {5, kExtraBytes, -1}) {
    SetLastError(0);
    EXPECT_EQ(SetWindowLongPtrA(w, index, 7), 0) << index;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX)) << index;
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(w, index), 0) << index;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX)) << index;
  }
  EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 77), 0);
  EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 77);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), p);

  HWND other = Make();  // per window, not per class
  EXPECT_EQ(GetWindowLongPtrA(other, 0), 0);
  // The last slot that fits, unaligned.
  EXPECT_EQ(SetWindowLongPtrA(other, 4, 5), 0);
  EXPECT_EQ(GetWindowLongPtrA(other, 4), 5);
  DestroyWindow(w);
  DestroyWindow(other);
  EXPECT_EQ(GetWindowLongPtrA(w, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  // Four bytes hold no pointer of a 64-bit program: the store is refused,
  // not widened behind the program's back.
  WNDCLASSA narrow{};
  narrow.lpfnWndProc = RecordProc;
  narrow.cbWndExtra = 4;
  narrow.lpszClassName = "TvLoopTestNarrow";
  ASSERT_NE(RegisterClassA(&narrow), 0);
  HWND n = CreateWindowExA(0, "TvLoopTestNarrow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(SetWindowLongPtrA(n, 0, p), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(GetWindowLongPtrA(n, 0), 0);
  DestroyWindow(n);
  EXPECT_TRUE(UnregisterClassA("TvLoopTestNarrow", nullptr));
}

TEST_F(LoopTest, SystemServices) {
  std::vector<std::string> lines;
  OutputDebugStringA("unheard");  // no sink: silent
  tervane::SetDebugSink([&](const char* t) { lines.emplace_back(t); });
  OutputDebugStringA("one");
  OutputDebugStringA(nullptr);
  tervane::SetDebugSink(nullptr);
  OutputDebugStringA("unheard");
  EXPECT_EQ(lines, (std::vector<std::string>{"one", ""}));

  const DWORD t0 = GetTickCount();
  Sleep(0);
  Sleep(20);
  EXPECT_GE(static_cast<DWORD>(GetTickCount() - t0), 19u);  // whole milliseconds

  static int hookCalls = 0;
  auto previous = tervane::SetProcessMessagesHook([] {
    ++hookCalls;
    return true;
  });
  EXPECT_EQ(previous, nullptr);
  EXPECT_TRUE(tervane::ApplicationProcessMessages());
  EXPECT_EQ(hookCalls, 1);
  tervane::SetProcessMessagesHook(nullptr);
  HWND w = Make();
  PostMessageA(w, WM_USER, 1, 0);
  EXPECT_TRUE(tervane::ApplicationProcessMessages());  // the default dispatches
  EXPECT_EQ(gSeen.size(), 1u);
  // A quit it meets ends it and is posted again for the loop outside.
  PostQuitMessage(4);
  PostMessageA(w, WM_USER, 2, 0);
  EXPECT_FALSE(tervane::ApplicationProcessMessages());
  EXPECT_EQ(gSeen.size(), 1u);
  MSG msg{};
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));  // the message behind the quit
  DispatchMessageA(&msg);
  EXPECT_EQ(gSeen.size(), 2u);
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 4u);
  DestroyWindow(w);
}

// As on Windows, only input that came after the queue was last looked at
// ends the wait; a message left queued does not.
TEST_F(LoopTest, MsgWaitEndsOnNewInputOnly) {
  HWND w = Make();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT), WAIT_TIMEOUT);
  PostMessageA(w, WM_USER, 1, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), WAIT_TIMEOUT);
  std::thread poster([w] { PostMessageA(w, WM_USER, 2, 0); });
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0);
  poster.join();
  HANDLE none = nullptr;
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &none, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  tervane::DispatchPending();
  EXPECT_EQ(gSeen.size(), 2u);
  DestroyWindow(w);
}

TEST_F(LoopTest, LoaderMapsNamesAndReportsWindowsErrorCodes) {
  tervane::SetModulePath("wsock32.dll", "/nonexistent/libwsock32.so");
  EXPECT_EQ(LoadLibraryA("WSOCK32.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  tervane::SetModulePath("wsock32.dll", "");

  HMODULE m = LoadLibraryA("wsock32.dll");  // bin/libwsock32.so beside the test
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "WSAStartup"), nullptr);
  EXPECT_EQ(GetProcAddress(m, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(m));

  tervane::SetModulePath("wsock32.dll", tervane::ExecutableDir() + "libwsock32_noproto.so");
  m = LoadLibraryA("wsock32.dll");
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "getservbyname"), nullptr);
  EXPECT_EQ(GetProcAddress(m, "getprotobyname"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  FreeLibrary(m);
  tervane::SetModulePath("wsock32.dll", "");
}

}  // namespace
