// Serving over real TCP on loopback: a listener accepting clients into
// Dup'ed sockets, and the refusals of Listen and Accept.
#include <memory>

#include "services_helpers.h"

using namespace sockettest;
using namespace servicestest;

namespace {

using Events = std::vector<std::string>;

TEST(Listen, AcceptsSeveralClientsIntoDupedSocketsThatEcho) {
  // Everything a handler touches outlives the sockets.
  Recorder serverRec;
  int dupConnectedEvents = 0;
  TWSocket server(nullptr);
  serverRec.Attach(server);
  std::vector<std::unique_ptr<TWSocket>> accepted;
  server.OnSessionAvailable = [&](TObject*, WORD error) {
    EXPECT_EQ(error, 0);
    auto a = std::make_unique<TWSocket>(nullptr);
    TWSocket* raw = a.get();
    raw->OnSessionConnected = [&](TObject*, WORD) { ++dupConnectedEvents; };
    raw->OnDataAvailable = [raw](TObject*, WORD) {
      const std::string got = raw->ReceiveStr();
      if (!got.empty()) raw->SendStr(got);
    };
    raw->Dup(server.Accept());
    EXPECT_EQ(raw->State(), wsConnected);
    accepted.push_back(std::move(a));
  };
  const int port = ListenOn(server, "tcp");
  EXPECT_EQ(serverRec.events, (Events{"State Closed>Bound", "State Bound>Listening"}));
  EXPECT_EQ(server.GetBoundAddr(), "127.0.0.1");

  constexpr int kClients = 4;
  std::string echoed[kClients];
  std::vector<std::unique_ptr<TWSocket>> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<TWSocket>(nullptr));
    TWSocket& c = *clients.back();
    c.OnSessionConnected = [&c, i](TObject*, WORD) { c.SendStr("hello " + std::to_string(i)); };
    c.OnDataAvailable = [&c, &echoed, i](TObject*, WORD) { echoed[i] += c.ReceiveStr(); };
    c.SetAddr("127.0.0.1");
    c.SetPort(std::to_string(port));
    c.Connect();
  }
  RunUntil([&] {
    for (int i = 0; i < kClients; ++i)
      if (echoed[i] != "hello " + std::to_string(i)) return false;
    return true;
  });
  ASSERT_EQ(accepted.size(), static_cast<size_t>(kClients));
  EXPECT_EQ(dupConnectedEvents, 0);  // Dup makes a connected socket silently
  EXPECT_EQ(server.State(), wsListening);
  // Each accepted socket sees its own client as peer.
  for (auto& a : accepted) {
    EXPECT_EQ(a->PeerAddr(), "127.0.0.1");
    bool matched = false;
    for (auto& c : clients) matched |= c->GetBoundPort() == a->PeerPort();
    EXPECT_TRUE(matched) << a->PeerPort();
  }
}

TEST(Listen, ResolutionFailuresNameTheirCallAndOnlyConnectNeedsTheLocalPort) {
  TWSocket s(nullptr);
  s.SetAddr("127.0.0.1");
  s.SetPort("no-such-service");
  const std::string listenReport = ReportOf([&] { s.Listen(); });
  EXPECT_EQ(listenReport.rfind("listen: WSocketResolvePort: ", 0), 0u) << listenReport;
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);

  // A local port that does not resolve stops Connect before any socket
  // exists; Listen binds its own port and never looks at it.
  TWSocket c(nullptr);
  c.SetAddr("127.0.0.1");
  c.SetPort("1");
  c.SetLocalPort("no-such-service");
  const std::string connectReport = ReportOf([&] { c.Connect(); });
  EXPECT_EQ(connectReport.rfind("connect: WSocketResolvePort: ", 0), 0u) << connectReport;
  EXPECT_EQ(c.HSocket(), INVALID_SOCKET);

  s.SetPort("0");
  s.SetLocalPort("no-such-service");
  s.Listen();
  EXPECT_EQ(s.State(), wsListening);
}

TEST(Listen, RefusesWithoutPortOnAnOpenSocketAndAcceptWhenNotListening) {
  int errors = 0;
  TWSocket s(nullptr);
  EXPECT_EQ(ReportOf([&] { s.Accept(); }),
            SocketReport(10022, "not a listening socket", "Invalid argument"));
  EXPECT_EQ(s.LastError(), 10022);

  s.SetAddr("127.0.0.1");
  EXPECT_EQ(ReportOf([&] { s.Listen(); }),
            SocketReport(10022, "listen: port not assigned", "Invalid argument"));
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);

  // A socket that already holds a handle is refused: the listener it holds
  // stays as it was.  With OnError the refusal returns quietly.
  ListenOn(s, "tcp");
  const SOCKET first = s.HSocket();
  s.SetAddr("127.0.0.1");  // same text: accepted while listening
  EXPECT_EQ(ReportOf([&] { s.Listen(); }), "Listen: Socket already in use");
  s.OnError = [&](TObject*) { ++errors; };
  s.Listen();
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.HSocket(), first);
  EXPECT_EQ(s.State(), wsListening);

  // Accept with no client waiting reports the library's would-block.
  EXPECT_EQ(s.Accept(), INVALID_SOCKET);
  EXPECT_EQ(s.LastError(), 10035);
  EXPECT_EQ(errors, 2);
}

TEST(Listen, BindToPortInUseClosesAgainWithAndWithoutOnError) {
  TWSocket owner(nullptr);
  const std::string port = std::to_string(ListenOn(owner, "tcp"));

  Recorder rec;
  int errors = 0;
  TWSocket s(nullptr);
  rec.Attach(s);
  s.SetProto("tcp");
  s.SetAddr("127.0.0.1");
  s.SetPort(port);
  EXPECT_EQ(ReportOf([&] { s.Listen(); }), SocketReport(10048, "Bind", "Address already in use"));
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);  // released, not leaked

  s.OnError = [&](TObject*) { ++errors; };
  s.Listen();  // Addr, Port and Proto are still assigned
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LastError(), 10048);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
  EXPECT_TRUE(rec.events.empty());

  // Nothing is left behind: the same component listens on a free port.
  ListenOn(s, "tcp");
  EXPECT_EQ(s.State(), wsListening);
}

}  // namespace
