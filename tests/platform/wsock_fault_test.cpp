// The fault-injecting module: each control produces its fault, and the
// module behaves normally again once the control is cleared.
#include <string>

#include "platform/wsock_fixture.h"
#include "../../platform/wsock32/wsock_fault.h"

namespace {

class FaultTest : public WsockTest {
 protected:
  const char* ModuleFile() const override { return "libwsock32_fault.so"; }

  void SetUp() override {
    WsockTest::SetUp();
    ASSERT_NE(module_, nullptr);
#define TV_FAULT(fn) fn = reinterpret_cast<fn##Fn>(GetProcAddress(module_, #fn)); ASSERT_NE(fn, nullptr);
    TV_FAULT(WsFaultReset) TV_FAULT(WsFaultStartupError) TV_FAULT(WsFaultSendLimit)
    TV_FAULT(WsFaultBlockSends) TV_FAULT(WsFaultResetOnSend) TV_FAULT(WsFaultCloseError)
    TV_FAULT(WsFaultFailCall) TV_FAULT(WsFaultCallCount) TV_FAULT(WsFaultRecordConnect)
    TV_FAULT(WsFaultLastConnect)
#undef TV_FAULT
    WsFaultReset();
  }
  void TearDown() override {
    if (WsFaultReset) WsFaultReset();
    WsockTest::TearDown();
  }

  WsFaultResetFn WsFaultReset = nullptr;
  WsFaultStartupErrorFn WsFaultStartupError = nullptr;
  WsFaultSendLimitFn WsFaultSendLimit = nullptr;
  WsFaultBlockSendsFn WsFaultBlockSends = nullptr;
  WsFaultResetOnSendFn WsFaultResetOnSend = nullptr;
  WsFaultCloseErrorFn WsFaultCloseError = nullptr;
  WsFaultFailCallFn WsFaultFailCall = nullptr;
  WsFaultCallCountFn WsFaultCallCount = nullptr;
  WsFaultRecordConnectFn WsFaultRecordConnect = nullptr;
  WsFaultLastConnectFn WsFaultLastConnect = nullptr;
};

TEST_F(FaultTest, StartupCanFail) {
  WsFaultStartupError(WSASYSNOTREADY);
  WSADATA data{};
  EXPECT_EQ(ws.WSAStartup(0x0101, &data), WSASYSNOTREADY);
  WsFaultStartupError(0);
  EXPECT_EQ(ws.WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(ws.WSACleanup(), 0);
  // The nth-call fault too: WSAStartup gives the code as its result.
  WsFaultFailCall("WSAStartup", 1, WSAEPROCLIM);
  EXPECT_EQ(ws.WSAStartup(0x0101, &data), WSAEPROCLIM);
  EXPECT_EQ(ws.WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(ws.WSACleanup(), 0);
}

TEST_F(FaultTest, PartialSendsDeliverEverythingInPieces) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  WsFaultSendLimit(3);
  const std::string text = "0123456789";
  std::size_t done = 0;
  int calls = 0;
  while (done < text.size()) {
    const int n = ws.send(s, text.data() + done, static_cast<int>(text.size() - done), 0);
    ASSERT_GT(n, 0);
    EXPECT_LE(n, 3);
    done += static_cast<std::size_t>(n);
    ++calls;
  }
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(peer::ReadExactly(server, text.size()), text);
  ws.closesocket(s);
  peer::Close(server);
}

TEST_F(FaultTest, BlockedSendsGetTheirFdWriteWhenReleased) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  WsFaultBlockSends(1);
  EXPECT_EQ(ws.send(s, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
  Settle();
  EXPECT_EQ(Count(s, FD_WRITE), 1);
  WsFaultBlockSends(0);
  ASSERT_TRUE(PumpUntil([&] { return Count(s, FD_WRITE) == 2; }));
  EXPECT_EQ(ws.send(s, "x", 1, 0), 1);
  ws.closesocket(s);
  peer::Close(server);
}

TEST_F(FaultTest, ResetDuringSend) {
  SOCKET s;
  int server;
  Pair(&s, &server);
  WsFaultResetOnSend(1);
  EXPECT_EQ(ws.send(s, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAECONNRESET);
  ws.closesocket(s);
  peer::Close(server);
}

TEST_F(FaultTest, CloseCanBeRefusedAndLeavesTheSocketOpen) {
  SOCKET s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  WsFaultCloseError(WSAEWOULDBLOCK, 1);
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEWOULDBLOCK);
  u_long v = 1;
  EXPECT_EQ(ws.ioctlsocket(s, FIONBIO, &v), 0) << "the refused close closed it anyway";
  EXPECT_EQ(ws.closesocket(s), 0);

  s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  WsFaultCloseError(WSAENETDOWN, 2);
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENETDOWN);
  EXPECT_EQ(ws.closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(ws.closesocket(s), 0);
}

TEST_F(FaultTest, NthCallOfANamedFunctionFails) {
  WsFaultFailCall("socket", 2, WSAEMFILE);
  SOCKET a = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(a, INVALID_SOCKET);
  EXPECT_EQ(ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(ws.WSAGetLastError(), WSAEMFILE);
  SOCKET c = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_NE(c, INVALID_SOCKET) << "only the nth call fails";
  EXPECT_EQ(WsFaultCallCount("socket"), 3);

  WsFaultFailCall("setsockopt", 1, WSAENOBUFS);
  int on = 1;
  EXPECT_EQ(ws.setsockopt(a, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), 4),
            SOCKET_ERROR);
  EXPECT_EQ(ws.WSAGetLastError(), WSAENOBUFS);
  EXPECT_EQ(ws.setsockopt(a, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), 4), 0);

  WsFaultFailCall("gethostbyname", 1, WSATRY_AGAIN);
  EXPECT_EQ(ws.gethostbyname("localhost"), nullptr);
  EXPECT_EQ(ws.WSAGetLastError(), WSATRY_AGAIN);
  ws.closesocket(a);
  ws.closesocket(c);
}

TEST_F(FaultTest, RecordedConnectSendsNothing) {
  int port = 0;
  const int listener = peer::ListenLoopback(&port);
  WsFaultRecordConnect(1);
  SOCKET s = ConnectTo(port);
  char target[32];
  const int len = WsFaultLastConnect(target, sizeof target);
  EXPECT_EQ(std::string(target, static_cast<std::size_t>(len)),
            "127.0.0.1:" + std::to_string(port));
  Settle();
  EXPECT_TRUE(NotesFor(s).empty());
  EXPECT_FALSE(peer::WaitReadable(listener, 0)) << "a connection reached the listener";
  char small[5];
  EXPECT_EQ(WsFaultLastConnect(small, sizeof small), len);
  EXPECT_STREQ(small, "127.");
  ws.closesocket(s);
  peer::Close(listener);
}

}  // namespace
