// Auxiliary operations over real TCP on loopback: pausing notifications,
// the two pumping waits, deferred close and release, receiving into a
// string, the address queries and setters, and adopting a handle.
#include <thread>

#include "services_helpers.h"

using namespace sockettest;
using namespace servicestest;

namespace {

TEST(Aux, PauseHoldsNotificationsUntilResume) {
  Listener listener;
  std::string got;
  int available = 0;
  TWSocket s(nullptr);
  s.OnDataAvailable = [&](TObject*, WORD) {
    ++available;
    got += s.ReceiveStr();
  };
  const int p = ConnectTo(s, listener);
  ASSERT_GE(p, 0);
  s.Pause();
  ASSERT_TRUE(peer::SendAll(p, "while paused"));
  Settle();
  EXPECT_EQ(available, 0);
  s.Resume();
  RunUntil([&] { return got == "while paused"; });

  // ReceiveStr: "" when nothing waits and at end of stream.
  EXPECT_EQ(s.ReceiveStr(), "");
  peer::Close(p);
  RunUntil([&] { return s.State() == wsClosed; });
}

TEST(Aux, FlushReturnsOnceEverythingLeft) {
  Listener listener;
  TWSocket s(nullptr);
  const int p = ConnectTo(s, listener);
  ASSERT_GE(p, 0);
  const std::string data(8 << 20, 'f');
  s.SendStr(data);
  EXPECT_FALSE(s.AllSentFlag());  // more than the kernel takes at once
  std::string received;
  std::thread reader([&] { received = peer::Read(p, data.size(), 20000); });
  s.Flush();
  EXPECT_TRUE(s.AllSentFlag());
  reader.join();
  EXPECT_EQ(received.size(), data.size());
}

TEST(Aux, DrainUntilClosedEndsWhenThePeerCloses) {
  Listener listener;
  std::string got;
  TWSocket s(nullptr);
  s.OnDataAvailable = [&](TObject*, WORD) { got += s.ReceiveStr(); };
  const int p = ConnectTo(s, listener);
  ASSERT_GE(p, 0);
  ASSERT_TRUE(peer::SendAll(p, "last words"));
  peer::Close(p);
  s.DrainUntilClosed();
  RunUntil([&] { return s.State() == wsClosed; });
  EXPECT_EQ(got, "last words");
}

TEST(Aux, CloseDelayedAndReleaseActFromTheLoop) {
  struct Tracked : TWSocket {
    explicit Tracked(bool& gone) : TWSocket(nullptr), Gone(gone) {}
    ~Tracked() override { Gone = true; }
    bool& Gone;
  };
  Listener listener;
  bool gone = false;
  int closed = 0;
  auto* s = new Tracked(gone);
  s->OnSessionClosed = [&](TObject*, WORD) { ++closed; };
  ASSERT_GE(ConnectTo(*s, listener), 0);
  s->CloseDelayed();
  EXPECT_EQ(s->State(), wsConnected);
  RunUntil([&] { return closed == 1; });
  EXPECT_EQ(s->State(), wsClosed);
  s->Release();
  EXPECT_FALSE(gone);
  RunUntil([&] { return gone; });
}

TEST(Aux, AddressQueriesAndSetters) {
  Listener listener;
  int errors = 0;
  TWSocket s(nullptr);
  EXPECT_EQ(s.PeerAddr(), "error");
  EXPECT_EQ(s.PeerPort(), "error");
  EXPECT_EQ(s.GetBoundPort(), "error");
  sockaddr_in sin{};
  int len = 16;
  EXPECT_EQ(s.GetPeerName(sin, len), -1);

  // The stored local address is the library's normal dotted form.
  s.SetLocalAddr("127.1");
  EXPECT_EQ(s.LocalAddr(), "127.0.0.1");
  s.SetLocalAddr("");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(ReportOf([&] { s.SetLocalAddr("no.such.thing"); }),
            "SetLocalAddr(): Invalid IP address");
  s.OnError = [&](TObject*) { ++errors; };
  s.SetLocalAddr("300.1.1.1");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LocalAddr(), "255.255.255.255");
  s.OnError = nullptr;
  s.SetLocalAddr("127.0.0.1");
  s.SetLocalPort(" 0");  // stored as given
  EXPECT_EQ(s.LocalPort(), " 0");
  s.SetLocalPort("0");

  ASSERT_GE(ConnectTo(s, listener), 0);
  EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
  EXPECT_EQ(s.PeerPort(), listener.PortText());
  EXPECT_EQ(s.GetBoundAddr(), "127.0.0.1");
  EXPECT_NE(s.GetBoundPort(), "error");
  // A caller's length larger than the record is cut to the record.
  len = 1000;
  EXPECT_EQ(s.GetPeerName(sin, len), 0);
  EXPECT_EQ(len, 16);
  EXPECT_EQ(std::to_string(WSocket::ntohs(sin.sin_port)), listener.PortText());
  len = 1000;
  EXPECT_EQ(s.GetSockName(sin, len), 0);
  EXPECT_EQ(len, 16);

  EXPECT_EQ(ReportOf([&] { s.SetLocalPort("1"); }), "Cannot change LocalPort if not closed");
  EXPECT_EQ(ReportOf([&] { s.SetLocalAddr("1.2.3.4"); }), "Cannot change LocalAddr if not closed");
}

TEST(Aux, DupRefusesBadHandlesAndReplacesAnOpenConnection) {
  Listener listener;
  Recorder rec;
  SOCKET accepted = INVALID_SOCKET;
  std::string clientGot;
  TWSocket s(nullptr);
  rec.Attach(s);
  EXPECT_EQ(ReportOf([&] { s.Dup(0); }), SocketReport(10022, "Dup", "Invalid argument"));
  EXPECT_EQ(ReportOf([&] { s.Dup(INVALID_SOCKET); }),
            SocketReport(10022, "Dup", "Invalid argument"));
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_TRUE(rec.events.empty());

  // Adopt an accepted connection's handle: the first connection is
  // released without OnSessionClosed, the new one is connected without
  // OnSessionConnected.
  const int oldPeer = ConnectTo(s, listener, &rec);
  ASSERT_GE(oldPeer, 0);
  TWSocket server(nullptr);
  server.OnSessionAvailable = [&](TObject*, WORD) { accepted = server.Accept(); };
  TWSocket client(nullptr);
  client.OnDataAvailable = [&](TObject*, WORD) { clientGot += client.ReceiveStr(); };
  client.SetAddr("127.0.0.1");
  client.SetPort(std::to_string(ListenOn(server, "tcp")));
  client.Connect();
  RunUntil([&] { return accepted != INVALID_SOCKET; });

  s.Dup(accepted);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"State Connected>Closed",
                                                   "State Closed>Connected"}));
  std::string rest;
  int err = 0;
  EXPECT_LE(peer::RecvOnce(oldPeer, rest, err), 0);  // the old connection ended
  s.SendStr("via the adopted handle");
  RunUntil([&] { return clientGot == "via the adopted handle"; });
  EXPECT_EQ(s.PeerPort(), client.GetBoundPort());
}

}  // namespace
