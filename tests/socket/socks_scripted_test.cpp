// The SOCKS client against a scripted server on loopback: the bytes it
// sends, replies in pieces, data that comes with the final reply, every
// failure code, the bounds of the request and reply areas, and the
// settings' writers.
#include <gtest/gtest.h>

#include "socket/services_helpers.h"
#include "socket/socks_fixture.h"

using namespace socks_test;
using S = ScriptedServer;

namespace {

std::string Bytes(std::initializer_list<int> L) {
  std::string R;
  for (int B : L) R += static_cast<char>(B);
  return R;
}

const std::string kGreeting = Bytes({5, 1, 0});
const std::string kGreetingAuth = Bytes({5, 1, 2});
const std::string kMethodNone = Bytes({5, 0});
const std::string kGranted5 = Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x1F, 0x90});
const std::string kGranted4 = Bytes({0, 90, 0, 0, 0, 0, 0, 0});

// SOCKS 5 connect request for `Name`, port 7.
std::string Request5(const std::string& Name) {
  return Bytes({5, 1, 0, 3, static_cast<int>(Name.size())}) + Name + Bytes({0, 7});
}

}  // namespace

TEST(SocksScripted, Socks5HandsOutDataOfTheFinalReplyFirst) {
  ScriptedServer Server({S::Expect(3), S::Send(kMethodNone), S::Expect(Request5("127.0.0.1").size()),
                         S::Send(kGranted5 + "hello"), S::Echo()});
  SocksProbe P;
  P.Aim(Server.Port(), "5", "127.0.0.1", 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Data == "hello"; }));
  EXPECT_EQ(P.FirstRcvdCount, 5);
  EXPECT_EQ(P.Events, (std::vector<std::string>{"socks-connected 0", "session-connected 0"}));
  P.Socket.SendStr("ping");
  ASSERT_TRUE(RunUntil([&] { return P.Data == "helloping"; }));
  // The destination travels as a name even when it is a dotted address.
  EXPECT_EQ(Server.Received(), kGreeting + Request5("127.0.0.1") + "ping");
}

TEST(SocksScripted, DataOfTheFinalReplyReadInSmallPiecesAllArrives) {
  // Nothing follows on the network, so no later arrival would raise the
  // event again for what the handler left of those bytes.
  ScriptedServer Server({S::Expect(3), S::Send(kMethodNone), S::Expect(Request5("d").size()),
                         S::Send(kGranted5 + "hello"), S::Echo()});
  SocksProbe P;
  P.Socket.OnDataAvailable = [&](TObject*, WORD) {
    char Buf[2];
    const int N = P.Socket.Receive(Buf, sizeof Buf);
    if (N > 0) P.Data.append(Buf, static_cast<std::size_t>(N));
  };
  P.Aim(Server.Port(), "5", "d", 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Data == "hello"; }));
}

TEST(SocksScripted, Socks5UsernamePasswordWithRepliesInSingleBytes) {
  const std::string Granted = Bytes({5, 0, 0, 3, 9}) + "host.test" + Bytes({0, 80});
  ScriptedServer Server({S::Expect(3), S::SendBytewise(Bytes({5, 2})), S::Expect(13),
                         S::SendBytewise(Bytes({1, 0})), S::Expect(Request5("dest").size()),
                         S::SendBytewise(Granted), S::Echo()});
  SocksProbe P;
  P.Socket.SocksAuthentication = socksAuthenticateUsercode;
  P.Socket.SocksUsercode = "user";
  P.Socket.SocksPassword = "secret";
  P.Aim(Server.Port(), "5", "dest", 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
  EXPECT_EQ(P.Events, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 1",
                                                "session-connected 0"}));
  EXPECT_EQ(P.Socket.RcvdCount(), 0);
  P.Socket.SendStr("x");
  ASSERT_TRUE(RunUntil([&] { return P.Data == "x"; }));
  EXPECT_EQ(Server.Received(),
            kGreetingAuth + Bytes({1, 4}) + "user" + Bytes({6}) + "secret" + Request5("dest") + "x");
}

TEST(SocksScripted, AuthenticationStatesWhenNotNeededAndWhenTheServerLeaves) {
  {
    ScriptedServer Server({S::Expect(3), S::Send(kMethodNone), S::Expect(Request5("d").size()),
                           S::Send(kGranted5), S::Echo()});
    SocksProbe P;
    P.Socket.SocksAuthentication = socksAuthenticateUsercode;
    P.Aim(Server.Port(), "5", "d", 7);
    P.Socket.Connect();
    ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
    EXPECT_EQ(P.Events, (std::vector<std::string>{"socks-connected 0", "auth 3",
                                                  "session-connected 0"}));
  }
  {
    ScriptedServer Server({S::Expect(3), S::Send(Bytes({5, 2})), S::Expect(5), S::Close()});
    SocksProbe P;
    P.Socket.SocksAuthentication = socksAuthenticateUsercode;
    P.Socket.SocksUsercode = "u";
    P.Socket.SocksPassword = "p";
    P.Aim(Server.Port(), "5", "d", 7);
    P.Socket.Connect();
    ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
    EXPECT_EQ(P.Events[P.Events.size() - 2], "auth 2");
    EXPECT_FALSE(P.Connected);
  }
}

// A Connect that fails on the address has already resolved the port; the
// next attempt, now through a SOCKS server, must go to the server's port,
// not to the port of the destination.
TEST(SocksScripted, ServerSetAfterAFailedDirectConnectIsReachedOnItsOwnPort) {
  servicestest::HostsSeam Hosts;
  Hosts.Set("nowhere.test", "");  // fails to resolve, without asking anyone
  ScriptedServer Server({S::Expect(3), S::Send(kMethodNone),
                         S::Expect(Request5("nowhere.test").size()), S::Send(kGranted5),
                         S::Echo()});
  SocksProbe P;
  int Refusals = 0;
  P.Socket.OnError = [&](TObject*) { ++Refusals; };
  P.Socket.SetAddr("nowhere.test");
  P.Socket.SetPort(std::to_string(peer::RefusingPort()));
  P.Socket.Connect();
  ASSERT_EQ(Refusals, 1);
  ASSERT_EQ(P.Socket.State(), wsClosed);

  // Only the server changes: the destination goes to it as a name.
  P.Socket.SetSocksServer("127.0.0.1");
  P.Socket.SetSocksPort(std::to_string(Server.Port()));
  P.Socket.SetSocksLevel("5");
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected || P.Closed; }));
  EXPECT_TRUE(P.Connected) << "went to the destination's port instead of the server's";
  EXPECT_EQ(Server.Accepted(), 1);
}

TEST(SocksScripted, Socks4AAndSocks4Requests) {
  {
    // 4A: address 0.0.0.1, then the name; bytes after the 8-byte reply
    // are ordinary data.
    const std::string Req = Bytes({4, 1, 0, 7, 0, 0, 0, 1}) + "me" + Bytes({0}) + "dest.test" +
                            Bytes({0});
    ScriptedServer Server({S::Expect(Req.size()), S::Send(kGranted4 + "abc"), S::Echo()});
    SocksProbe P;
    P.Socket.SocksUsercode = "me";
    P.Aim(Server.Port(), "4a", "dest.test", 7);
    P.Socket.Connect();
    ASSERT_TRUE(RunUntil([&] { return P.Data == "abc"; }));
    EXPECT_EQ(P.Events, (std::vector<std::string>{"socks-connected 0", "session-connected 0"}));
    EXPECT_EQ(Server.Received(), Req);
  }
  {
    const std::string Req = Bytes({4, 1, 0, 7, 127, 0, 0, 2, 0});
    ScriptedServer Server({S::Expect(Req.size()), S::SendBytewise(kGranted4), S::Echo()});
    SocksProbe P;
    P.Socket.SocksUsercode.clear();
    P.Aim(Server.Port(), "4", " 127.0.0.2 ", 7);
    P.Socket.Connect();
    ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
    EXPECT_EQ(Server.Received(), Req);
  }
  {
    // 4 with a name: resolved here, and its four address bytes (of a
    // 32-bit WinSock u_long) go out in network order after the port.
    servicestest::HostsSeam Hosts;
    Hosts.Set("dest4.test", "127.3.2.1");
    const std::string Req = Bytes({4, 1, 0x1F, 0x90, 127, 3, 2, 1, 'u', 0});
    ScriptedServer Server({S::Expect(Req.size()), S::Send(kGranted4), S::Echo()});
    SocksProbe P;
    P.Socket.SocksUsercode = "u";
    P.Aim(Server.Port(), "4", "dest4.test", 8080);
    P.Socket.Connect();
    ASSERT_TRUE(RunUntil([&] { return P.Connected || P.Closed; }));
    EXPECT_TRUE(P.Connected);
    EXPECT_EQ(Server.Received(), Req);
  }
}

TEST(SocksScripted, Socks4DestinationThatCannotBeResolved) {
  ScriptedServer Server({S::Echo()});
  SocksProbe P;
  // The socket module answers names under .invalid itself: not found.
  P.Aim(Server.Port(), "4", "nowhere.invalid", 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
  EXPECT_EQ(P.SocksError, 20017);
  EXPECT_EQ(P.SocksErrorMsg,
            "ESocketException WSocketResolveHost: Cannot convert host address "
            "'nowhere.invalid', Error #11001");
  EXPECT_FALSE(P.Connected);
  EXPECT_EQ(P.Events.back(), "session-closed 20017");
  EXPECT_EQ(Server.Received(), "");
}

TEST(SocksScripted, MethodReplyWhileSocksLevelIs4) {
  // The server answers at once; the application pumps messages inside
  // OnSocksConnected, so the reply arrives before the request is sent.
  ScriptedServer Server({S::Send(kMethodNone), S::Echo()});
  SocksProbe P;
  P.Aim(Server.Port(), "4", "127.0.0.1", 7);
  P.Socket.OnSocksConnected = [&](TObject*, WORD) {
    RunUntil([&] { return P.SocksError != 0; });
  };
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
  EXPECT_EQ(P.SocksError, 20001);
  EXPECT_EQ(P.SocksErrorMsg, "TWSocket logic error");
  EXPECT_EQ(Server.Received(), "");  // no request after the abort
}

// ---- Every failure of the handshake ----------------------------------------

struct FailureRow {
  const char* Name;
  std::string Level;
  bool Auth;
  std::vector<S::Step> Script;
  int Code;
  std::string Msg;
};

void PrintTo(const FailureRow& Row, std::ostream* Os) { *Os << Row.Name; }

class SocksFailure : public testing::TestWithParam<FailureRow> {};

TEST_P(SocksFailure, ReportsCodeAndTextThenClosesTheSession) {
  const FailureRow& Row = GetParam();
  ScriptedServer Server(Row.Script);
  SocksProbe P;
  if (Row.Auth) P.Socket.SocksAuthentication = socksAuthenticateUsercode;
  // SOCKS 4 resolves the destination itself: keep it a dotted address.
  P.Aim(Server.Port(), Row.Level, Row.Level == "4" ? "127.0.0.1" : "d", 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
  const std::string Code = std::to_string(Row.Code);
  ASSERT_GE(P.Events.size(), 3u);
  EXPECT_EQ(P.Events[P.Events.size() - 3], "socks-error " + Code + " " + Row.Msg);
  EXPECT_EQ(P.Events[P.Events.size() - 2], "session-connected " + Code);
  EXPECT_EQ(P.Events.back(), "session-closed " + Code);
  EXPECT_EQ(P.Socket.State(), wsClosed);
}

std::vector<S::Step> Reply5(const std::string& Reply) {
  return {S::Expect(3), S::Send(kMethodNone), S::Expect(Request5("d").size()), S::Send(Reply)};
}
std::vector<S::Step> Reply4(int Code) {
  return {S::Expect(9), S::Send(Bytes({0, Code, 0, 0, 0, 0, 0, 0}))};
}

const char* const kRepTexts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                 "network unreachable",          "host unreachable",
                                 "connection refused",           "time to live expired",
                                 "command not supported",        "address type not supported"};

std::vector<FailureRow> FailureRows() {
  std::vector<FailureRow> R = {
      {"MethodVersion", "5", false, {S::Expect(3), S::Send(Bytes({4, 0}))}, 20002,
       "socks version error"},
      {"NoAcceptableMethod", "5", false, {S::Expect(3), S::Send(Bytes({5, 255}))}, 20003,
       "authentification method not acceptable"},
      {"AuthVersion", "5", true, {S::Expect(3), S::Send(Bytes({5, 2})), S::Expect(3),
                                  S::Send(Bytes({2}))}, 20002, "socks version error"},
      {"AuthRejected", "5", true, {S::Expect(3), S::Send(Bytes({5, 2})), S::Expect(3),
                                   S::SendBytewise(Bytes({1, 1}))}, 20015,
       "socks authentication failed"},
      {"AuthTooLong", "5", true, {S::Expect(3), S::Send(Bytes({5, 2})), S::Expect(3),
                                  S::Send(Bytes({1, 0, 0}))}, 20001, "too much data availaible"},
      {"ReplyVersion", "5", false, Reply5(Bytes({4})), 20002, "socks version error"},
      {"Rep9", "5", false, Reply5(Bytes({5, 9})), 20012, "unassigned error #9"},
      {"AddressType4", "5", false, Reply5(Bytes({5, 0, 0, 4, 0})), 20011,
       "address type not supported"},
      // Ours: a bound name of 121 bytes would need 128 bytes of reply.
      {"ReplyTooLong", "5", false, Reply5(Bytes({5, 0, 0, 3, 121})), 20021,
       "socks reply too long"},
      {"Socks4Version", "4", false, {S::Expect(9), S::Send(Bytes({1, 90, 0, 0, 0, 0, 0, 0}))},
       20002, "socks version error"},
      {"Socks4Rejected", "4", false, Reply4(91), 20016, "request rejected or failed"},
      {"Socks4Refused", "4", false, Reply4(92), 20008, "connection refused"},
      {"Socks4Ident", "4", false, Reply4(93), 20015, "authentification failed"},
      {"Socks4Code255", "4", false, Reply4(255), 20012, "unassigned error #255"},
  };
  for (int Rep = 1; Rep <= 8; ++Rep)
    R.push_back({"Rep", "5", false, Reply5(Bytes({5, Rep})), 20003 + Rep, kRepTexts[Rep - 1]});
  return R;
}

INSTANTIATE_TEST_SUITE_P(Table, SocksFailure, testing::ValuesIn(FailureRows()),
                         [](const testing::TestParamInfo<FailureRow>& I) {
                           return std::string(I.param.Name) + std::to_string(I.index);
                         });

// ---- The 128-byte request area -----------------------------------------------

TEST(SocksScripted, TextsTooLongForTheRequestAreaAreRefusedBeforeConnecting) {
  struct Case {
    std::string Level, User, Pass, Addr;
    bool Auth;
  };
  const Case Cases[] = {{"4", std::string(120, 'u'), "", "127.0.0.1", false},
                        {"4A", std::string(60, 'u'), "", std::string(59, 'a'), false},
                        {"5", "", "", std::string(122, 'a'), false},
                        {"5", std::string(63, 'u'), std::string(63, 'p'), "d", true}};
  ScriptedServer Server({S::Echo()});
  for (const Case& C : Cases) {
    SocksProbe P;
    P.Socket.SocksUsercode = C.User;
    P.Socket.SocksPassword = C.Pass;
    if (C.Auth) P.Socket.SocksAuthentication = socksAuthenticateUsercode;
    P.Aim(Server.Port(), C.Level, C.Addr, 7);
    EXPECT_NE(servicestest::ReportOf([&] { P.Socket.Connect(); }).find("too long"), std::string::npos);
    EXPECT_EQ(P.Socket.State(), wsClosed);
  }
  RunFor(100);
  EXPECT_EQ(Server.Accepted(), 0);
}

TEST(SocksScripted, RequestsThatExactlyFillTheAreaGoOut) {
  const std::string Addr(121, 'a');
  const std::string User(62, 'u'), Pass(63, 'p');
  const std::string Auth = Bytes({1, 62}) + User + Bytes({63}) + Pass;
  ScriptedServer Server({S::Expect(3), S::Send(Bytes({5, 2})), S::Expect(128),
                         S::Send(Bytes({1, 0})), S::Expect(128), S::Send(kGranted5)});
  SocksProbe P;
  P.Socket.SocksAuthentication = socksAuthenticateUsercode;
  P.Socket.SocksUsercode = User;
  P.Socket.SocksPassword = Pass;
  P.Aim(Server.Port(), "5", Addr, 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
  EXPECT_EQ(P.SessionError, 0);
  EXPECT_EQ(Server.Received(), kGreetingAuth + Auth + Request5(Addr));
}

TEST(SocksScripted, UsercodeGrownDuringTheHandshakeAbortsIt) {
  ScriptedServer Server({S::Expect(3), S::Send(Bytes({5, 2})), S::Echo()});
  SocksProbe P;
  P.Socket.SocksAuthentication = socksAuthenticateUsercode;
  P.Aim(Server.Port(), "5", "d", 7);
  P.Socket.OnSocksAuthState = [&](TObject*, TSocksAuthState) {
    P.Socket.SocksUsercode = std::string(200, 'u');
  };
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
  EXPECT_EQ(P.SocksError, 20020);
  EXPECT_EQ(P.SessionError, 20020);
  RunFor(50);
  EXPECT_EQ(Server.Received(), kGreetingAuth);
}

// ---- Settings ----------------------------------------------------------------------

TEST(SocksSettings, WritersCheckTheirValues) {
  TWSocket W(nullptr);
  EXPECT_EQ(W.SocksLevel(), "5");
  W.SetSocksLevel("4a");
  EXPECT_EQ(W.SocksLevel(), "4A");
  for (const char* Bad : {" 5", "4 ", "6", "", "4b", "5a"}) {
    EXPECT_EQ(servicestest::ReportOf([&] { W.SetSocksLevel(Bad); }), "Invalid socks level. Must be 4, 4A or 5.");
  }
  EXPECT_EQ(W.SocksLevel(), "4A");
  W.SetSocksServer("  ");
  W.SetSocksPort(" 1080 ");
  EXPECT_EQ(W.SocksPort(), "1080");
  // Blanks only: no SOCKS server, so the core's own checks apply.
  W.SetProto("udp");
  EXPECT_EQ(servicestest::ReportOf([&] { W.Connect(); }), "Connect: No Port Specified");
  W.SetSocksServer(" 127.0.0.1 ");
  EXPECT_EQ(W.SocksServer(), "127.0.0.1");
  W.SetAddr("127.0.0.1");
  W.SetPort("7");
  EXPECT_EQ(servicestest::ReportOf([&] { W.Connect(); }), "tcp is the only protocol supported thru socks server");
  EXPECT_EQ(servicestest::ReportOf([&] { W.Listen(); }), "Listening is not supported thru socks server");
}

TEST(SocksSettings, RefusedWhileConnectedAndResetAfterClose) {
  EchoServer Echo;
  ScriptedServer Server({S::Expect(3), S::Send(kMethodNone), S::Expect(Request5("d").size()),
                         S::Send(kGranted5), S::Echo()});
  SocksProbe P;
  P.Socket.SocksUsercode = "kept";
  P.Aim(Server.Port(), "5", "d", 7);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
  EXPECT_EQ(servicestest::ReportOf([&] { P.Socket.SetSocksServer("other"); }),
            "Can't change socks server if not closed");
  EXPECT_EQ(servicestest::ReportOf([&] { P.Socket.SetSocksPort("1"); }), "Can't change socks port if not closed");
  EXPECT_EQ(servicestest::ReportOf([&] { P.Socket.SetSocksLevel("4"); }),
            "Can't change socks level if not closed");
  EXPECT_EQ(P.Socket.SocksServer(), "127.0.0.1");
  // A second Connect is refused and leaves the open session alone.
  EXPECT_EQ(servicestest::ReportOf([&] { P.Socket.Connect(); }), "Connect: Socket already in use");
  P.Socket.SendStr("still");
  ASSERT_TRUE(RunUntil([&] { return P.Data == "still"; }));
  P.Socket.Close();
  EXPECT_EQ(P.Socket.SocksServer(), "");
  EXPECT_EQ(P.Socket.SocksPort(), "");
  EXPECT_EQ(P.Socket.SocksLevel(), "5");
  EXPECT_EQ(P.Socket.SocksUsercode, "kept");
  // Without a SOCKS server again, the next Connect goes straight out.
  P.Socket.SetAddr("127.0.0.1");
  P.Socket.SetPort(std::to_string(Echo.Port()));
  P.Data.clear();
  P.Connected = false;
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
  P.Socket.SendStr("direct");
  ASSERT_TRUE(RunUntil([&] { return P.Data == "direct"; }));
}
