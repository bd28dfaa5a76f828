// Connecting, receiving and closing over real TCP on loopback: the exact
// order of events a user of the component meets.
#include "socket_fixture.h"

using namespace sockettest;

namespace {

using Events = std::vector<std::string>;

TEST(Connect, SucceedsWithStatesThenConnectedThenOneDataSent) {
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  s.Connect();
  // The first two changes happen inside Connect; the rest come from the loop.
  EXPECT_EQ(rec.events, (Events{"State Closed>Opened", "State Opened>Connecting"}));
  ASSERT_GE(listener.Accept(), 0);
  RunUntil([&] { return rec.Has("DataSent(0)"); });
  Settle();
  EXPECT_EQ(rec.events, (Events{"State Closed>Opened", "State Opened>Connecting",
                                "State Connecting>Connected", "Connected(0)", "DataSent(0)"}));
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
}

TEST(Connect, RefusedCarriesCodeOnConnectedThenClosesWithZero) {
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(peer::RefusingPort()));
  s.Connect();
  RunUntil([&] { return rec.Has("Closed(0)"); });
  Settle();
  EXPECT_EQ(rec.events,
            (Events{"State Closed>Opened", "State Opened>Connecting", "State Connecting>Connected",
                    "Connected(10061)", "State Connected>Closed", "Closed(0)"}));
  EXPECT_EQ(s.State(), wsClosed);

  // The library hands a closed handle's value out again at once.  A read
  // notification still queued for the old socket then carries the new
  // socket's handle: it must go with the old socket, or the new attempt
  // would be reported connected and its refusal lost.
  const std::string refusing = std::to_string(peer::RefusingPort());
  auto target = [&] {
    s.SetAddr("127.0.0.1");
    s.SetPort(refusing);
  };
  target();
  s.Connect();
  const SOCKET first = s.HSocket();
  PostMessageA(s.Handle(), WM_SOCKET_SELECT, first, FD_READ);
  s.Abort();
  rec.events.clear();
  target();
  s.Connect();
  EXPECT_EQ(s.HSocket(), first);
  RunUntil([&] { return rec.Has("Closed(0)"); });
  Settle();
  EXPECT_EQ(rec.events,
            (Events{"State Closed>Opened", "State Opened>Connecting", "State Connecting>Connected",
                    "Connected(10061)", "State Connected>Closed", "Closed(0)"}));
}

TEST(Connect, RefusalsOfConnectAndSettersWhileInUse) {
  Listener listener;
  TWSocket s(nullptr);
  try {
    s.Connect();
    FAIL() << "no exception";
  } catch (ESocketException& e) {
    EXPECT_STREQ(e.what(), "Connect: No Port Specified");
  }
  s.SetPort(listener.PortText());
  s.SetAddr("   ");  // blanks only leave Addr unassigned
  EXPECT_THROW(s.Connect(), ESocketException);
  s.SetAddr("  127.0.0.1 ");
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  s.SetProto("");
  try {
    s.Connect();
    FAIL() << "no exception";
  } catch (ESocketException& e) {
    EXPECT_STREQ(e.what(), "Connect: No Protocol Specified");
  }
  s.SetProto("tcp");
  s.Connect();
  int p = listener.Accept();
  ASSERT_GE(p, 0);
  RunUntil([&] { return s.State() == wsConnected; });

  // Same text again is accepted silently; a change is refused.
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  auto expectRefused = [](auto fn, const char* text) {
    try {
      fn();
      ADD_FAILURE() << "no exception for " << text;
    } catch (ESocketException& e) {
      EXPECT_STREQ(e.what(), text);
    }
  };
  expectRefused([&] { s.SetAddr("127.0.0.2"); }, "Cannot change Addr if not closed");
  expectRefused([&] { s.SetPort("1"); }, "Cannot change Port if not closed");
  expectRefused([&] { s.SetProto("udp"); }, "Cannot change Proto if not closed");
  expectRefused([&] { s.Connect(); }, "Connect: Socket already in use");
  EXPECT_EQ(s.State(), wsConnected);  // the first connection is left alone

  // With OnError assigned the same refusal is a normal return.
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.SetAddr("127.0.0.3");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.Addr(), "127.0.0.1");

  // Every close forgets the assignments but keeps the texts.
  s.OnError = nullptr;
  s.Close();
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(s.Proto(), "tcp");
  expectRefused([&] { s.Connect(); }, "Connect: No Port Specified");
  s.SetPort(listener.PortText());
  expectRefused([&] { s.Connect(); }, "Connect: No IP Address Specified");
}

TEST(Receive, RemoteCloseDeliversPendingDataThenClosesOnce) {
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  ASSERT_GE(p, 0);

  // Nothing waiting: -1 and "would block", ReadCount untouched.
  char buf[16];
  EXPECT_EQ(s.Receive(buf, sizeof buf), -1);
  EXPECT_EQ(s.LastError(), WSAEWOULDBLOCK);

  std::string got;
  int ends = 0;
  int readCountAtEnd = -1;
  s.OnDataAvailable = [&](TObject*, WORD) {
    int n = s.Receive(buf, sizeof buf);  // small reads: the loop must come back
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    if (n == 0) {
      ++ends;
      readCountAtEnd = s.ReadCount();
    }
  };
  // The component closes from inside OnSessionClosed, as the telnet layer does.
  s.OnSessionClosed = [&](TObject*, WORD e) {
    rec.events.push_back("Closed(" + std::to_string(e) + ")");
    s.Close();
  };
  const std::string payload(100, 'x');
  ASSERT_TRUE(peer::SendAll(p, payload + "END"));
  peer::Close(p);
  RunUntil([&] { return s.State() == wsClosed; });
  Settle();
  EXPECT_EQ(got, payload + "END");
  EXPECT_GE(ends, 1);
  EXPECT_EQ(readCountAtEnd, 103);  // end of stream adds nothing
  EXPECT_EQ(rec.events, (Events{"Closed(0)", "State Connected>Closed"}));
}

TEST(Receive, WithoutHandlerDataIsDiscardedAndCloseStillSeen) {
  Listener listener;
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  int p = ConnectTo(s, listener, &rec);
  ASSERT_TRUE(peer::SendAll(p, std::string(5000, 'y')));
  peer::Close(p);
  RunUntil([&] { return s.State() == wsClosed; });
  EXPECT_EQ(rec.events, (Events{"Closed(0)", "State Connected>Closed"}));
}

TEST(Close, LocalCloseAndAbortRaiseStateThenClosedOnce) {
  Listener listener;
  for (bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "Abort" : "Close");
    Recorder rec;
    TWSocket s(nullptr);
    rec.Attach(s);
    int p = ConnectTo(s, listener, &rec);
    ASSERT_GE(p, 0);
    if (abort)
      s.Abort();
    else
      s.Close();
    EXPECT_EQ(rec.events, (Events{"State Connected>Closed", "Closed(0)"}));
    // The handle is gone: no FD_CLOSE follows; a second close is silent.
    s.Close();
    Settle();
    EXPECT_EQ(rec.events.size(), 2u);
    // The peer sees the end of the connection either way.
    std::string rest;
    int err = 0;
    EXPECT_LE(peer::RecvOnce(p, rest, err), 0);
  }
}

TEST(Close, DestroyingAnOpenSocketRaisesNoSessionClosed) {
  Listener listener;
  Recorder rec;
  {
    TWSocket s(nullptr);
    rec.Attach(s);
    ConnectTo(s, listener, &rec);
  }
  EXPECT_EQ(rec.events, (Events{"State Connected>Closed"}));
}

TEST(Close, HandlerMayReconnectFromSessionClosed) {
  // A session that ends and a new one opened from its OnSessionClosed:
  // the close sequence must not reset the new session's handle or state.
  Listener listener;
  TWSocket s(nullptr);
  int closes = 0;
  s.OnSessionClosed = [&](TObject*, WORD) {
    if (++closes == 1) {
      s.SetAddr("127.0.0.1");
      s.SetPort(listener.PortText());
      s.Connect();
    }
  };
  ConnectTo(s, listener);
  s.Close();
  EXPECT_EQ(s.State(), wsConnecting);
  ASSERT_GE(listener.Accept(), 0);
  RunUntil([&] { return s.State() == wsConnected; });
  s.OnSessionClosed = nullptr;
}

TEST(Connect, UdpIsConnectedAtOnceAndSendsDatagramsByBlock) {
  int port = 0;
  int udp = peer::UdpSocket(port);
  // The recorder outlives the socket: destruction raises OnChangeState.
  Recorder rec;
  TWSocket s(nullptr);
  rec.Attach(s);
  s.SetProto("udp");
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
  s.Connect();
  EXPECT_EQ(rec.events,
            (Events{"State Closed>Opened", "State Opened>Connected", "Connected(0)"}));
  EXPECT_EQ(s.Send("ping", 4), 4);
  std::string got;
  int err = 0;
  EXPECT_EQ(peer::RecvOnce(udp, got, err), 4);
  EXPECT_EQ(got, "ping");
  s.Close();
  peer::Close(udp);
}

TEST(BackgroundException, TestMessageReachesHandlerAndAbortsUnlessKept) {
  Listener listener;
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept" : "aborted");
    Recorder rec;
    TWSocket s(nullptr);
    rec.Attach(s);
    ConnectTo(s, listener, &rec);
    std::string text;
    bool isSocketException = false;
    s.OnBgException = [&](TObject*, std::exception& e, bool& canClose) {
      text = e.what();
      isSocketException = dynamic_cast<ESocketException*>(&e) != nullptr;
      if (keep) canClose = false;
    };
    PostMessageA(s.Handle(), WM_SOCKET_TEST_EXCEPTION, 0, 0);
    RunUntil([&] { return !text.empty(); });
    EXPECT_EQ(text, "Test exception in WSocket");
    EXPECT_TRUE(isSocketException);
    if (keep) {
      EXPECT_EQ(s.State(), wsConnected);
      EXPECT_TRUE(rec.events.empty());
    } else {
      EXPECT_EQ(s.State(), wsClosed);
      EXPECT_EQ(rec.events, (Events{"State Connected>Closed", "Closed(0)"}));
    }
  }
}

}  // namespace
