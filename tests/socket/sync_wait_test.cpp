// Synchronous waiting: a wait ends by the caller's flag (set by an event of
// a real loopback connection), by the time-out, or by a quit message, and
// a wait across a wrap of the 32-bit tick count ends after the same number
// of ticks as any other.
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

TEST(SyncWait, EndsByQuitMessageForEverAfter) {
  CountingSocket sock;
  sock.MultiThreaded = true;  // the socket's own pump sees the quit message
  bool done = false;
  PostQuitMessage(0);
  EXPECT_EQ(sock.WaitForFlag(done), kWaitTimedOut);
  const int pumps = sock.Pumps;
  EXPECT_GT(pumps, 0);
  EXPECT_EQ(sock.WaitForFlag(done), kWaitTimedOut);
  EXPECT_EQ(sock.Pumps, pumps) << "a later wait ends at once";
  done = true;
  EXPECT_EQ(sock.WaitForFlag(done), 0) << "unless the flag is already true";
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
