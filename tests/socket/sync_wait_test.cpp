// Synchronous waiting: a wait ends by the caller's flag (set by an event of
// a real loopback connection), by the time-out, or by a quit message, and
// a wait across a wrap of the 32-bit tick count ends after the same number
// of ticks as any other.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "socket/socket_fixture.h"

namespace {

// Counts message pumps and, when asked, runs on a clock that advances by
// one tick per reading from a chosen start.
class CountingSocket : public TWSocket {
 public:
  CountingSocket() : TWSocket(nullptr) {}
  int Pumps = 0;
  bool FakeClock = false;
  DWORD Clock = 0;

  void PumpMessages() override {
    ++Pumps;
    TWSocket::PumpMessages();
    // On the made-up clock no real time must pass between two readings:
    // a message keeps the wait from sleeping.
    if (FakeClock) PostMessageA(Handle(), WM_NULL, 0, 0);
  }

 protected:
  DWORD WaitTickCount() override {
    if (!FakeClock) return TWSocket::WaitTickCount();
    return Clock++;
  }
};

TEST(SyncWait, EndsWhenAnEventSetsTheFlag) {
  sockettest::Listener listener;
  CountingSocket sock;
  bool done = false;
  sock.OnSessionConnected = [&](TObject*, WORD e) {
    EXPECT_EQ(e, 0);
    done = true;
  };
  sock.SetAddr("127.0.0.1");
  sock.SetPort(listener.PortText());
  EXPECT_EQ(sock.RunAndWait([&] { sock.Connect(); }, done), 0);
  EXPECT_TRUE(done);
  EXPECT_EQ(sock.State(), wsConnected);
  EXPECT_GT(sock.Pumps, 0);
}

TEST(SyncWait, FlagSetByTheProcEndsTheWaitWithoutPumping) {
  CountingSocket sock;
  bool done = true;
  sock.WaitTimeout = 1;
  EXPECT_EQ(sock.RunAndWait([&] { done = true; }, done), 0);
  EXPECT_EQ(sock.Pumps, 0);
  // RunAndWait clears the flag before the proc runs; an empty proc then
  // waits until the time-out.
  EXPECT_EQ(sock.RunAndWait(nullptr, done), kWaitTimedOut);
  EXPECT_FALSE(done);
}

TEST(SyncWait, EndsByTimeOut) {
  CountingSocket sock;
  sock.WaitTimeout = 100;
  bool done = false;
  EXPECT_EQ(sock.WaitForFlag(done), kWaitTimedOut);
  EXPECT_GT(sock.Pumps, 0);
}

// The quit message a wait's pump takes is posted again, once, for the loop
// outside; `limit` is only the longest the caller is prepared to wait.
void ExpectQuitPostedAgain(int code) {
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit was swallowed";
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(code));
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    EXPECT_NE(msg.message, static_cast<UINT>(WM_QUIT)) << "posted again twice";
}

TEST(SyncWait, QuitEndsTheWaitForEverAfterAndReachesTheOuterLoop) {
  for (const bool ownPump : {true, false}) {
    SCOPED_TRACE(ownPump ? "the socket's own pump" : "the application's pump");
    CountingSocket sock;
    sock.MultiThreaded = ownPump;
    sock.WaitTimeout = ownPump ? 0 : 5000;
    bool done = false;
    PostQuitMessage(7);
    EXPECT_EQ(sock.WaitForFlag(done), kWaitTimedOut);
    const int pumps = sock.Pumps;
    EXPECT_GT(pumps, 0);
    EXPECT_EQ(sock.WaitForFlag(done), kWaitTimedOut);
    EXPECT_EQ(sock.Pumps, pumps) << "a later wait ends at once";
    done = true;
    EXPECT_EQ(sock.WaitForFlag(done), 0) << "unless the flag is already true";
    ExpectQuitPostedAgain(7);
  }
}

// Flush and a lingering close pump too: a quit ends them as well.  The
// peer never reads; a watchdog drains it should the quit be ignored.
TEST(SyncWait, QuitEndsFlushAndALingeringClose) {
  for (const bool flush : {true, false}) {
    SCOPED_TRACE(flush ? "Flush" : "Close");
    if (!flush && peer::RunningUnderWine())
      GTEST_SKIP() << "Wine blocks in closesocket for the whole linger time where Windows fails a non-blocking lingering close with WSAEWOULDBLOCK, so no pump runs while it waits";
    sockettest::Listener listener;
    TWSocket sock(nullptr);
    sock.LingerTimeout = 30;
    const int p = sockettest::ConnectTo(sock, listener);
    ASSERT_GE(p, 0);
    sock.SendStr(std::string(8 << 20, 'q'));
    ASSERT_FALSE(sock.AllSentFlag());
    std::atomic<bool> over{false}, fired{false};
    std::thread watchdog([&] {
      for (int i = 0; i < 1000 && !over; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (over) return;
      fired = true;
      peer::Read(p, std::size_t(-1), 30000);
    });
    PostQuitMessage(2);
    if (flush)
      sock.Flush();
    else
      EXPECT_NO_THROW(sock.Close());
    over = true;
    watchdog.join();
    EXPECT_FALSE(fired) << "the quit did not end the wait";
    ExpectQuitPostedAgain(2);
  }
}

// Ticks of a 40 ms wait on a clock that advances one tick per reading: the
// first reading sets the stop time, each later one is one pass of the loop.
int PumpsOfWaitFrom(DWORD start) {
  CountingSocket sock;
  sock.MultiThreaded = true;
  sock.FakeClock = true;
  sock.Clock = start;
  sock.WaitTimeout = 40;
  bool done = false;
  EXPECT_EQ(sock.WaitForFlag(done), kWaitTimedOut);
  return sock.Pumps;
}

TEST(SyncWait, WaitAcrossTickCountWrapEndsOnTime) {
  const int normal = PumpsOfWaitFrom(1000);
  EXPECT_EQ(normal, 40);
  // Across the wrap of the signed view (0x7FFFFFFF -> 0x80000000) and of
  // the counter itself (0xFFFFFFFF -> 0).
  EXPECT_EQ(PumpsOfWaitFrom(0x7FFFFFF0u), normal);
  EXPECT_EQ(PumpsOfWaitFrom(0xFFFFFFF0u), normal);
}

}  // namespace
