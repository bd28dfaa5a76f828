// TTnCnx against a scripted server on loopback: the golden transcripts over
// real TCP, the receive path's delivery rules, sending, and the session's
// life cycle.
#include <stdexcept>

#include "session_fixture.h"

namespace {

std::string Bytes(const char* s, std::size_t n) { return std::string(s, n); }

// The transcript's lines without its answers, and its answers as the one
// byte stream the server sees.
void Split(const std::string& expected, std::string& events, std::string& wire) {
  std::size_t at = 0;
  while (at < expected.size()) {
    const std::size_t end = expected.find('\n', at);
    const std::string line = expected.substr(at, end - at);
    if (line.rfind("send ", 0) == 0)
      wire += line.substr(5);
    else
      events += line + "\n";
    at = end + 1;
  }
}

class TnTranscriptOverTcp : public TnSessionTest, public testing::WithParamInterface<TnTranscript> {};

TEST_P(TnTranscriptOverTcp, Matches) {
  Open(*cnx, server);
  log.clear();
  for (const std::string& chunk : TnChunks(GetParam().input)) Deliver(*cnx, server, chunk);
  std::string events, wire;
  Split(GetParam().expected, events, wire);
  const std::string sent = ClientSent(server, wire.size() / 2);
  EXPECT_EQ(TnHex(sent.data(), sent.size()), wire);
  EXPECT_EQ(log, events);
}

INSTANTIATE_TEST_SUITE_P(TnGolden, TnTranscriptOverTcp, testing::ValuesIn(TnTranscripts()),
                         [](const testing::TestParamInfo<TnTranscript>& row) {
                           return std::string(row.param.name);
                         });

TEST_F(TnSessionTest, FullReadIsOneEventWithNulAfterIt) {
  Open(*cnx, server);
  std::string block;
  for (int i = 0; i < 2048; ++i) block += static_cast<char>(i % 7 == 0 ? 0 : 'a' + i % 26);
  Deliver(*cnx, server, block);
  ASSERT_EQ(dataSizes, std::vector<int>{2048});
  EXPECT_EQ(received, block);

  // More than one read's worth: nothing lost, nothing reordered, and no
  // event larger than one read.
  dataSizes.clear();
  received.clear();
  std::string big;
  for (int i = 0; i < 20000; ++i) big += static_cast<char>(i * 131 % 251);  // no 251..255
  Deliver(*cnx, server, big);
  EXPECT_EQ(received, big);
  for (int size : dataSizes) EXPECT_LE(size, 2048);
}

TEST_F(TnSessionTest, WithoutDataHandlerCommandsAreStillAnswered) {
  cnx->OnDataAvailable = nullptr;
  Open(*cnx, server);
  Deliver(*cnx, server, "hello\xff\xfb\x01world");
  EXPECT_EQ(ClientSent(server, 3), "\xff\xfd\x01");
  // Dropped, not kept for later: a handler set now sees only new data.
  cnx->OnDataAvailable = [this](TTnCnx*, const char* b, int n) { received.append(b, n); };
  Deliver(*cnx, server, "next");
  EXPECT_EQ(received, "next");
}

TEST_F(TnSessionTest, HandlersChooseLocationAndTerminalType) {
  // The location goes out as it is: a 255 in it is not doubled.
  cnx->OnSendLoc = [this](TObject*) { cnx->Location = "Room 7\xff"; };
  cnx->OnTermType = [this](TObject*) { cnx->TermType = ""; };
  Open(*cnx, server);
  Deliver(*cnx, server, "\xff\xfd\x17\xff\xfa\x18\x01\xff\xf0");
  const std::string expected = "\xff\xfb\x17\xff\xfa\x17Room 7\xff\xff\xf0\xff\xfa\x18" +
                               Bytes("\0", 1) + "\xff\xf0";
  EXPECT_EQ(ClientSent(server, expected.size()), expected);
}

TEST_F(TnSessionTest, SendPassesBytesAndResultsThrough) {
  Open(*cnx, server);
  EXPECT_EQ(cnx->Send("\xff", 1), 1);  // not doubled
  EXPECT_EQ(cnx->SendStr(Bytes("a\0\r", 3)), 3);
  EXPECT_EQ(ClientSent(server, 4), Bytes("\xff" "a\0\r", 4));

  // Not connected: the socket's failure comes through unchanged.
  TTnCnx idle(nullptr);
  EXPECT_THROW(idle.SendStr("x"), ESocketException);

  // Once the socket is gone, nothing reaches it.
  delete idle.Socket();
  EXPECT_EQ(idle.Socket(), nullptr);
  EXPECT_EQ(idle.SendStr("x"), -1);
  EXPECT_EQ(idle.Send("x", 1), -1);
  idle.Connect();
  idle.Close();
}

TEST_F(TnSessionTest, RemoteCloseIsDisplayedThenReported) {
  Open(*cnx, server);
  Deliver(*cnx, server, "bye");
  server.CloseClient();
  ASSERT_TRUE(PumpUntil([&] { return closes == 1; }));
  EXPECT_EQ(log, "connected 0\ndata 627965\ndisplay \\r\\n**** Remote has closed ****\\r\\n\nclosed\n");
  EXPECT_EQ(cnx->Socket()->State(), wsClosed);
}

TEST_F(TnSessionTest, ConnectFailuresReachTheOwner) {
  // Refused: reported later, through OnSessionConnected.
  cnx->Host = "127.0.0.1";
  cnx->Port = std::to_string(peer::RefusingPort());
  cnx->Connect();
  ASSERT_TRUE(PumpUntil([&] { return connects == 1; }));
  EXPECT_EQ(connectResult, 10061);
  // Found at once: thrown from Connect.
  cnx->Port = "no-such-service-here";
  EXPECT_THROW(cnx->Connect(), ESocketException);
}

TEST_F(TnSessionTest, ReconnectClosesFirstAndStartsClean) {
  Open(*cnx, server);
  // The old session ends in the middle of a command.
  Deliver(*cnx, server, "x\xff");
  peer::LoopbackServer second;
  log.clear();
  cnx->Host = "127.0.0.1";
  cnx->Port = std::to_string(second.Port());
  cnx->Connect();
  EXPECT_EQ(closes, 1);
  ASSERT_TRUE(PumpUntil([&] { return second.TryAccept() && connects == 2; }));
  ASSERT_TRUE(PumpUntil([&] { return server.PeerClosed(); }));
  // The new session's first bytes are not taken as the old command's end.
  Deliver(*cnx, second, "\xfb\x01" "A");
  PumpFor(50);
  EXPECT_EQ(second.Poll(), "");
  EXPECT_EQ(log, "closed\nconnected 0\ndata fb0141\n");
}

TEST_F(TnSessionTest, EachSessionHasItsOwnParser) {
  TTnCnx other(nullptr);
  std::string otherLog;
  peer::LoopbackServer otherServer;
  Open(*cnx, server);
  // The second component's events go to otherLog (its traces too).
  Wire(other, otherLog);
  other.OnSessionConnected = [&](TTnCnx*, WORD) { ++connects; };
  Open(other, otherServer);
  Deliver(*cnx, server, "\xff");
  Deliver(other, otherServer, "\xfb\x01" "B");
  Deliver(*cnx, server, "\xfb\x01");
  EXPECT_EQ(ClientSent(server, 3), "\xff\xfd\x01");
  EXPECT_EQ(otherServer.Poll(), "");
  EXPECT_EQ(otherLog, "data fb0142\n");
}

TEST_F(TnSessionTest, ConnectFromAHandlerDropsTheRestOfTheRead) {
  peer::LoopbackServer second;
  cnx->OnLocalEcho = [&](TObject*) {
    cnx->Port = std::to_string(second.Port());
    cnx->Connect();
  };
  Open(*cnx, server);
  server.Send("old\xff\xfb\x01" "more\xff\xfd\x18");
  ASSERT_TRUE(PumpUntil([&] { return second.TryAccept() && connects == 2; }));
  PumpFor(50);
  // WILL ECHO was answered; nothing after it, and no old data delivered
  // into the new session.
  EXPECT_EQ(server.Poll(), "\xff\xfd\x01");
  EXPECT_EQ(received, "");
  EXPECT_EQ(second.Poll(), "");
}

TEST_F(TnSessionTest, ThrowingHandlerLeavesTheSessionUsable) {
  // A handler's exception leaves the component (the socket layer decides
  // what becomes of it); the rest of that read is not interpreted, the
  // next read carries on cleanly, and the data stored before the throw
  // come first.
  int calls = 0;
  cnx->OnEndOfRecord = [&](TObject*) {
    if (++calls == 1) throw std::runtime_error("handler failed");
  };
  cnx->Socket()->OnBgException = [](TObject*, std::exception&, bool& canClose) {
    canClose = false;
  };
  Open(*cnx, server);
  Deliver(*cnx, server, "A\xff\xef" "B");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(received, "");
  Deliver(*cnx, server, "C\xff\xef");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(received, "AC");
}

}  // namespace
