// Line mode through a SOCKS 5 handshake: the handshake's own replies never
// reach the line buffer, and application data that came in the same
// segment as the final reply are cut into lines like any other.
#include <gtest/gtest.h>

#include "socket/socks_fixture.h"

using namespace socks_test;

namespace {

// A SOCKS probe whose data handler takes one line per event.
struct LineProbe : SocksProbe {
  std::vector<std::string> Lines;
  LineProbe() {
    Socket.SetLineMode(true);
    Socket.OnDataAvailable = [this](TObject*, WORD) { Lines.push_back(Socket.ReceiveStr()); };
  }
};

TEST(LineSocks, LinesThroughARealSocksServer) {
  const int Port = peer::FreePort();
  ASSERT_TRUE(peer::FileIsExecutable("/usr/bin/microsocks")) << "scripts/ensure-deps.sh test";
  ServerProcess Server({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(Port)});
  ASSERT_TRUE(Server.Started());
  ASSERT_TRUE(peer::WaitListening(Port, 5000));
  EchoServer Echo;
  LineProbe P;
  P.Aim(Port, "5", "127.0.0.1", Echo.Port());
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Connected; }));
  ASSERT_EQ(P.SessionError, 0);
  P.Socket.SendStr("hello\r\nwor");
  ASSERT_TRUE(RunUntil([&] { return P.Socket.LineBufferedCount() == 3; }));
  EXPECT_EQ(P.Lines, (std::vector<std::string>{"hello\r\n"}));
  P.Socket.SendStr("ld\r\n");
  ASSERT_TRUE(RunUntil([&] { return P.Lines.size() == 2; }));
  EXPECT_EQ(P.Lines[1], "world\r\n");
  P.Socket.Close();
}

TEST(LineSocks, DataInTheSegmentOfTheFinalReplyAreCutIntoLines) {
  // Method request (3 bytes) and CONNECT request naming "127.0.0.1" as a
  // domain name (4 + 1 + 9 + 2 bytes).
  const std::string Granted("\x05\x00\x00\x01\x7f\x00\x00\x01\x30\x39", 10);
  ScriptedServer Server({ScriptedServer::Expect(3), ScriptedServer::Send(std::string("\x05\x00", 2)),
                         ScriptedServer::Expect(16),
                         ScriptedServer::Send(Granted + "first\r\nsec"), ScriptedServer::Echo()});
  LineProbe P;
  P.Aim(Server.Port(), "5", "127.0.0.1", 12345);
  P.Socket.Connect();
  ASSERT_TRUE(RunUntil([&] { return P.Lines.size() == 1; }));
  EXPECT_EQ(P.Lines[0], "first\r\n");
  P.Socket.SendStr("ond\r\n");
  ASSERT_TRUE(RunUntil([&] { return P.Lines.size() == 2; }));
  EXPECT_EQ(P.Lines[1], "second\r\n");
  P.Socket.Close();
}

}  // namespace
