// Loading, starting and releasing the socket module, and the standard
// error reports (exceptions versus OnError, sessions closed by errors).
#include "fault_module.h"
#include "socket_fixture.h"

using namespace sockettest;

namespace {

using Events = std::vector<std::string>;

TEST(Binding, LoadedByFirstUseAndReleasedWithLastSocket) {
  UnloadSocketLibrary();
  {
    TWSocket a(nullptr);
    TWSocket b(nullptr);
    EXPECT_EQ(SocketInstanceCount, 2);
    EXPECT_FALSE(SocketLibraryLoaded());  // creating sockets loads nothing
  }
  EXPECT_EQ(SocketInstanceCount, 0);
  EXPECT_FALSE(SocketLibraryLoaded());
  for (int round = 0; round < 2; ++round) {
    auto* a = new TWSocket(nullptr);
    auto* b = new TWSocket(nullptr);
    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_TRUE(SocketLibraryLoaded());
    delete a;
    EXPECT_TRUE(SocketLibraryLoaded());
    delete b;  // the last one releases the library; the next round loads it again
    EXPECT_FALSE(SocketLibraryLoaded());
    EXPECT_EQ(SocketInstanceCount, 0);
  }
}

TEST(Binding, LoadFailureIsRetriedOnTheNextCall) {
  UnloadSocketLibrary();
  tervane::SetModulePath("wsock32.dll", tervane::ExecutableDir() + "libno_such_module.so");
  EXPECT_EQ(MessageOf([] { WSocketResolveProto("tcp"); }), "Unable to load wsock32.dll Error #126");
  EXPECT_FALSE(SocketLibraryLoaded());
  // Through Connect the same text arrives with its prefix.
  {
    TWSocket s(nullptr);
    s.SetAddr("127.0.0.1");
    s.SetPort("23");
    EXPECT_EQ(MessageOf([&] { s.Connect(); }), "connect: Unable to load wsock32.dll Error #126");
  }
  tervane::SetModulePath("wsock32.dll", "");
  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  UnloadSocketLibrary();
}

TEST(Binding, MissingEntryPointNamesIt) {
  FaultModule plainWithoutProto("libwsock32_noproto.so");
  EXPECT_EQ(MessageOf([] { WSocketResolveProto("tcp"); }),
            "Procedure getprotobyname not found in wsock32.dll Error #127");
  EXPECT_TRUE(SocketLibraryLoaded());
  EXPECT_EQ(WSocketResolvePort("23", "tcp"), 23);  // other entry points still work
}

TEST(Binding, StartupFailureIsReportedOnceAndNotRetried) {
  FaultModule faults;
  faults.StartupError(10091);
  EXPECT_EQ(MessageOf([] { WSocketResolveProto("tcp"); }), "wsock32.dll: WSAStartup error #10091");
  EXPECT_TRUE(SocketLibraryLoaded());
  MessageOf([] { WSocketResolveProto("tcp"); });  // whatever the library says now
  EXPECT_EQ(faults.CallCount("WSAStartup"), 1);
}

TEST(SocketError, ResetOnConnectedSocketClosesBeforeReporting) {
  FaultModule faults;
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  ConnectTo(s, listener, &rec);
  s.OnError = [&](TObject*) {
    rec.events.push_back("Error " + std::to_string(s.LastError()));
  };
  faults.FailCall("getpeername", 1, 10054);
  EXPECT_EQ(s.PeerAddr(), "error");
  EXPECT_EQ(rec.events, (Events{"Closed(10054)", "State Connected>Closed", "Error 10054"}));
  // Without OnError the report is an exception with the standard text.
  s.OnError = nullptr;
  ConnectTo(s, listener);
  faults.FailCall("getpeername", 1, 10054);
  EXPECT_EQ(MessageOf([&] { s.PeerAddr(); }),
            "Error 10054 in function GetPeerName\r\nConnection reset by peer");
}

TEST(SocketError, NotConnectedAfterPeerResetClosesTheSessionOnce) {
  // The peer resets; inside OnSessionClosed (raised by FD_CLOSE) a query
  // fails with "not connected".  The session still ends exactly once.
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.OnSessionClosed = [&](TObject*, WORD e) {
    rec.events.push_back("Closed(" + std::to_string(e) + ")");
    s.PeerAddr();
  };
  peer::ResetOnClose(p);
  peer::Close(p);
  RunUntil([&] { return s.State() == wsClosed; });
  Settle();
  EXPECT_EQ(rec.Count("Closed(10054)") + rec.Count("Closed(0)"), 1) << ::testing::PrintToString(rec.events);
  EXPECT_EQ(rec.Count("State Connected>Closed"), 1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LastError(), 10057);
  // The next session announces its own end again.
  s.OnSessionClosed = [&](TObject*, WORD e) {
    rec.events.push_back("Closed(" + std::to_string(e) + ")");
  };
  rec.events.clear();
  int p2 = ConnectTo(s, listener, &rec);
  peer::Close(p2);
  RunUntil([&] { return s.State() == wsClosed; });
  EXPECT_EQ(rec.events, (Events{"Closed(0)", "State Connected>Closed"}));
}

TEST(Close, ReleaseFailuresAreRetriedOrReported) {
  FaultModule faults;
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  // Would block once (lingering): pumped with either pump and retried.
  for (bool privatePump : {false, true}) {
    s.MultiThreaded = privatePump;
    ConnectTo(s, listener, &rec);
    faults.Reset();
    faults.CloseError(10035, 1);
    s.Close();
    EXPECT_EQ(rec.events, (Events{"State Connected>Closed", "Closed(0)"}));
    EXPECT_EQ(faults.CallCount("closesocket"), 2);
  }
  s.MultiThreaded = false;
  // Any other failure: reported, the state kept, and the handle kept too,
  // since the library still holds it open; the next Close releases it.
  ConnectTo(s, listener, &rec);
  const SOCKET open = s.HSocket();
  faults.CloseError(10038, 1);
  EXPECT_EQ(MessageOf([&] { s.Close(); }),
            "Error 10038 in function Disconnect (closesocket)\r\nSocket operation on non-socket");
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(s.HSocket(), open);
  s.Close();
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
  EXPECT_EQ(rec.events, (Events{"State Connected>Closed", "Closed(0)"}));

  // Dup releasing the open connection meets the same refusal: the old
  // handle stays the socket's, the offered one the caller's.
  rec.events.clear();
  ConnectTo(s, listener, &rec);
  const SOCKET kept = s.HSocket();
  const SOCKET offered = WSocket::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(offered, INVALID_SOCKET);
  faults.CloseError(10038, 1);
  EXPECT_EQ(MessageOf([&] { s.Dup(offered); }),
            "Error 10038 in function Dup (closesocket)\r\nSocket operation on non-socket");
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(s.HSocket(), kept);
  const int closesBefore = faults.CallCount("closesocket");
  s.Close();
  EXPECT_EQ(faults.CallCount("closesocket"), closesBefore + 1);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
  EXPECT_EQ(WSocket::closesocket(offered), 0);
}

TEST(Connect, FailuresAfterOpeningKeepTheHandleUntilClosed) {
  FaultModule faults;
  Listener listener;
  TWSocket s(nullptr);
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  faults.FailCall("socket", 1, 10024);
  EXPECT_EQ(MessageOf([&] { s.Connect(); }),
            "Error 10024 in function Connect (socket)\r\nToo many open files");
  EXPECT_EQ(s.State(), wsClosed);
  faults.FailCall("WSAAsyncSelect", 1, 10022);
  EXPECT_EQ(MessageOf([&] { s.Connect(); }),
            "Error 10022 in function WSAAsyncSelect\r\nInvalid argument");
  EXPECT_EQ(s.State(), wsOpened);
  EXPECT_EQ(MessageOf([&] { s.Connect(); }), "Connect: Socket already in use");
  s.Abort();
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
}

}  // namespace
