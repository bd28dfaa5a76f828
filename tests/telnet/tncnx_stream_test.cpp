// TTnCnx and the byte stream as real servers shape it: a Synch's IAC DM
// sent as TCP urgent data stays in the stream, every trace line reaches the
// debug output whole, and the lines are numbered from 0001 in upper-case
// hexadecimal of at least four digits, counting on past FFFF.
#include "session_fixture.h"

namespace {

TEST_F(TnSessionTest, UrgentDataMarkIsReadInLineAndNothingAfterItIsLost) {
  Open(*cnx, server);
  // All of it is queued before the client reads once, so its first read
  // stops at the urgent mark with the rest waiting behind it.
  server.Send("before");
  server.Send("\xff\xf2", true);
  server.Send("hello");
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 11; }))
      << "got " << TnShowText(received);
  EXPECT_EQ(received, "beforehello");
  EXPECT_NE(log.find("trace Unknown F2 '\\xf2'\\r\\n\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Unknown 68"), std::string::npos) << log;
  // The session goes on as before.
  Deliver(*cnx, server, "\xff\xfd\x18" "after");
  EXPECT_EQ(received, "beforehelloafter");
  EXPECT_EQ(ClientSent(server, 3), "\xff\xfb\x18");
}

TEST_F(TnSessionTest, TraceLinesAreWholeAndNumberedInUpperCaseHex) {
  Open(*cnx, server);
  log.clear();
  // IAC NUL: its line holds a zero byte, and still ends with its quote and
  // line end.  Then enough plain IP bytes to number lines past 0009 and
  // past FFFF (the fixture checks every number).
  Deliver(*cnx, server, std::string("\xff\x00" "A", 3));
  EXPECT_EQ(log, "trace Unknown 00 '\\0'\\r\\n\ndata 41\n");
  const std::size_t many = 0x10000;
  const unsigned before = TracesSeen();
  log.clear();
  for (std::size_t sent = 0; sent < many; sent += TTnCnx::kReadSize)
    Deliver(*cnx, server, std::string(TTnCnx::kReadSize, '\xf4'));
  EXPECT_EQ(TracesSeen(), before + many);
  EXPECT_EQ(received.size(), many + 1);
}

}  // namespace
