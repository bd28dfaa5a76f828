// The SOCKS client against real servers started by the fixture on
// 127.0.0.1: microsocks (SOCKS 5, with and without user and password) and
// dante (SOCKS 4 and 5), each reaching a loopback echo server.  Dante takes
// the SOCKS 4A address 0.0.0.1 literally, so 4A is covered by the scripted
// server only.
#include <gtest/gtest.h>

#include "socket/socks_fixture.h"

using namespace socks_test;

namespace {

enum class TServer { kMicrosocks, kMicrosocksAuth, kDante };

struct RealCase {
  const char* Name;
  TServer Server;
  const char* Level;
};

void PrintTo(const RealCase& Case, std::ostream* Os) { *Os << Case.Name; }

// One server process on a free port of 127.0.0.1, ready to accept.
class RealServer {
 public:
  explicit RealServer(TServer Kind) : Port(peer::FreePort()) {
    const std::string P = std::to_string(Port);
    switch (Kind) {
      case TServer::kMicrosocks:
        Start({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", P});
        break;
      case TServer::kMicrosocksAuth:
        Start({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", P, "-u", "tv", "-P", "s3cret"});
        break;
      case TServer::kDante: {
        Dir = peer::MakeTempDir();
        std::string Conf = "logoutput: " + Dir + "/danted.log\n"
                           "internal: 127.0.0.1 port = " + P + "\n"
                           "external: 127.0.0.1\n"
                           "clientmethod: none\n"
                           "socksmethod: none\n";
        if (RunningAsRoot()) Conf += "user.privileged: root\nuser.unprivileged: nobody\n";
        Conf += "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 log: connect error }\n";
        peer::WriteFile(Dir + "/danted.conf", Conf);
        Start({"/usr/sbin/danted", "-f", Dir + "/danted.conf", "-p", Dir + "/danted.pid"});
        break;
      }
    }
  }
  ~RealServer() {
    Process.reset();  // the server first, then its files
    if (!Dir.empty()) peer::RemoveTree(Dir);
  }
  int Port;
  bool Ready = false;

 private:
  void Start(const std::vector<std::string>& Argv) {
    ASSERT_TRUE(peer::FileIsExecutable(Argv[0]))
        << Argv[0] << " is missing (scripts/ensure-deps.sh test)";
    Process = std::make_unique<ServerProcess>(Argv);
    ASSERT_TRUE(Process->Started());
    Ready = peer::WaitListening(Port, 5000);
  }
  std::string Dir;
  std::unique_ptr<ServerProcess> Process;
};

class SocksRealServer : public testing::TestWithParam<RealCase> {
 protected:
  void SetUp() override { ASSERT_TRUE(Server.Ready) << "server did not start"; }
  void Aim(SocksProbe& P, int DestPort) {
    if (GetParam().Server == TServer::kMicrosocksAuth) {
      P.Socket.SocksAuthentication = socksAuthenticateUsercode;
      P.Socket.SocksUsercode = "tv";
      P.Socket.SocksPassword = "s3cret";
    }
    P.Aim(Server.Port, GetParam().Level, "127.0.0.1", DestPort);
  }
  RealServer Server{GetParam().Server};
};

}  // namespace

TEST_P(SocksRealServer, CarriesDataBothWays) {
  EchoServer Echo;
  SocksProbe P;
  Aim(P, Echo.Port());
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
  ASSERT_EQ(P.SessionError, 0);
  EXPECT_EQ(P.Events.front(), "socks-connected 0");
  EXPECT_EQ(P.SocksError, 0);
  // Larger than a send block and a socket buffer, in both directions.
  std::string Big;
  for (int I = 0; Big.size() < 300000; ++I) Big += "line " + std::to_string(I) + "\r\n";
  P.Socket.SendStr("hello");
  ASSERT_TRUE(RunUntil([&] { return P.Data == "hello"; }));
  P.Socket.SendStr(Big);
  ASSERT_TRUE(RunUntil([&] { return P.Data.size() >= Big.size() + 5; }));
  EXPECT_TRUE(P.Data == "hello" + Big);
  P.Socket.Close();
  EXPECT_EQ(P.Events.back(), "session-closed 0");
}

TEST_P(SocksRealServer, RefusedDestination) {
  SocksProbe P;
  Aim(P, peer::FreePort());
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
  const int Expected = GetParam().Level[0] == '4' ? 20016 : 20008;
  EXPECT_EQ(P.SocksError, Expected) << P.SocksErrorMsg;
  EXPECT_EQ(P.SessionError, Expected);
  EXPECT_EQ(P.Socket.State(), wsClosed);
}

INSTANTIATE_TEST_SUITE_P(Servers, SocksRealServer,
                         testing::Values(RealCase{"Microsocks5", TServer::kMicrosocks, "5"},
                                         RealCase{"Microsocks5Auth", TServer::kMicrosocksAuth, "5"},
                                         RealCase{"Dante4", TServer::kDante, "4"},
                                         RealCase{"Dante5", TServer::kDante, "5"}),
                         [](const testing::TestParamInfo<RealCase>& I) { return I.param.Name; });

TEST(SocksRealServerAuth, WrongPasswordIsRefused) {
  RealServer Server(TServer::kMicrosocksAuth);
  ASSERT_TRUE(Server.Ready);
  EchoServer Echo;
  SocksProbe P;
  P.Socket.SocksAuthentication = socksAuthenticateUsercode;
  P.Socket.SocksUsercode = "tv";
  P.Socket.SocksPassword = "wrong";
  P.Aim(Server.Port, "5", "127.0.0.1", Echo.Port());
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Closed; }));
  EXPECT_EQ(P.Events, (std::vector<std::string>{"socks-connected 0", "auth 0",
                                                "socks-error 20015 socks authentication failed",
                                                "session-connected 20015",
                                                "session-closed 20015"}));
}
