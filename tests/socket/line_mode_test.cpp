// Line mode on real loopback connections: lines and line ends split across
// arrivals, several lines in one arrival, receiving a line in pieces, line
// mode switched off in mid-line, the limit, editing and echo, and the last
// line at the end of a session.
#include <gtest/gtest.h>

#include "socket/line_fixture.h"

namespace {

using linetest::LineConnection;
using linetest::RunUntil;
using linetest::Settle;

using LineMode = LineConnection;

TEST_F(LineMode, LinesAndLineEndsSplitAcrossArrivals) {
  Arrival("pqr\r");
  EXPECT_TRUE(got.empty()) << "no line end yet";
  EXPECT_EQ(sock.RcvdCount(), 0) << "partial data is not a line";
  Arrival("\nstu\r\n");
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "pqr\r\n");
  EXPECT_EQ(got[1], "stu\r\n");
  EXPECT_EQ(counts, (std::vector<int>{5, 5}));

  // A line end of three bytes split over three arrivals.
  sock.LineEnd = "END";
  Arrival("abcE");
  Arrival("N");
  EXPECT_EQ(got.size(), 2u);
  Arrival("Dxy");
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], "abcEND");
  EXPECT_EQ(sock.LineBufferedCount(), 2) << "xy waits for its line end";
}

TEST_F(LineMode, SeveralLinesInOneArrivalEachInItsOwnEvents) {
  Arrival("one\r\ntwo\r\n\r\nthree");
  EXPECT_EQ(got, (std::vector<std::string>{"one\r\n", "two\r\n", "\r\n"}));
  EXPECT_EQ(counts, (std::vector<int>{5, 5, 2}));
  Arrival("\r\n");
  EXPECT_EQ(got.back(), "three\r\n");
}

TEST_F(LineMode, SmallReceiveBufferGetsTheLineInPieces) {
  std::vector<std::string> pieces;
  sock.OnDataAvailable = [&](TObject*, WORD) {
    counts.push_back(sock.RcvdCount());
    char buf[2];
    const int n = sock.Receive(buf, sizeof buf);
    pieces.emplace_back(buf, static_cast<size_t>(n > 0 ? n : 0));
  };
  Arrival("pqr\r\n");
  EXPECT_EQ(counts, (std::vector<int>{5, 3, 1}));
  EXPECT_EQ(pieces, (std::vector<std::string>{"pq", "r\r", "\n"}));
}

TEST_F(LineMode, SwitchedOffInMidLineDeliversTheRestAsPlainData) {
  std::string plain;
  int lineEvents = 0;
  sock.OnDataAvailable = [&](TObject*, WORD) {
    if (sock.LineMode()) {
      ++lineEvents;
      char buf[2];
      ASSERT_EQ(sock.Receive(buf, 2), 2);
      EXPECT_EQ(std::string(buf, 2), "pq");
      sock.SetLineMode(false);
      // Line mode is off: the count is the socket's, not the buffer's.
      EXPECT_EQ(sock.RcvdCount(), 0);
      return;
    }
    plain += sock.ReceiveStr();
  };
  Arrival("pqr\r\nxyz");
  RunUntil([&] { return plain.size() >= 6; });
  EXPECT_EQ(lineEvents, 1);
  EXPECT_EQ(plain, "r\r\nxyz");
  EXPECT_EQ(sock.LineBufferedCount(), 0);

  // Plain data from the network follows the buffered bytes.
  PeerSends("more");
  RunUntil([&] { return plain.size() >= 10; });
  EXPECT_EQ(plain, "r\r\nxyzmore");
}

TEST_F(LineMode, LimitWithClearDataTrueAndFalse) {
  sock.LineLimit = 10;
  std::vector<int> reported;
  bool clear = true;
  sock.OnLineLimitExceeded = [&](TObject*, int len, bool& clearData) {
    reported.push_back(len);
    EXPECT_TRUE(clearData) << "ClearData starts true";
    clearData = clear;
  };
  Arrival("0123456789");
  EXPECT_TRUE(reported.empty()) << "ten bytes are within the limit";
  Arrival("A");
  EXPECT_EQ(reported, (std::vector<int>{11}));
  EXPECT_EQ(sock.LineBufferedCount(), 0) << "cleared";
  Arrival("ok\r\n");
  EXPECT_EQ(got, (std::vector<std::string>{"ok\r\n"}));

  // Kept: reported again at every arrival until the line end comes.
  clear = false;
  Arrival("abcdefghijkl");
  Arrival("mn");
  EXPECT_EQ(reported, (std::vector<int>{11, 12, 14}));
  Arrival("\r\n");
  EXPECT_EQ(got.back(), "abcdefghijklmn\r\n");
  EXPECT_EQ(reported.size(), 3u);

  // No limit: a long line is never reported.
  sock.LineLimit = 0;
  Arrival(std::string(5000, 'x'));
  EXPECT_EQ(reported.size(), 3u);
  Arrival("\r\n");
  EXPECT_EQ(got.back().size(), 5002u);
}

TEST_F(LineMode, EditingAndEcho) {
  sock.LineEdit = true;
  sock.LineEcho = true;
  Arrival("pq\brx\r\n");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "prx\r\n");
  EXPECT_EQ(peer::Read(peer, 9), "pq\b \brx\r\n");

  Arrival("p\tq\r\n");
  EXPECT_EQ(got.back(), "p       q\r\n");
  EXPECT_EQ(peer::Read(peer, 11), "p       q\r\n");

  // A backspace with nothing before it is dropped without echo; a tab at a
  // tab stop gives eight spaces; a backspace in a later arrival rubs out a
  // byte of an earlier one.
  Arrival("\b\tz");
  Arrival("\b\by\r\n");
  EXPECT_EQ(got.back(), "       y\r\n");
  EXPECT_EQ(peer::Read(peer, 8 + 1 + 6 + 3), "        z\b \b\b \by\r\n");

  // Echo without editing sends each arrival back unchanged.
  sock.LineEdit = false;
  Arrival("a\bb\r\n");
  EXPECT_EQ(got.back(), "a\bb\r\n");
  EXPECT_EQ(peer::Read(peer, 5), "a\bb\r\n");
}

TEST_F(LineMode, LastLineWithoutLineEndAtClose) {
  Arrival("line\r\n1234567");
  peer::Close(peer);
  RunUntil([&] { return !events.empty() && events.back().rfind("closed", 0) == 0; });
  EXPECT_EQ(events, (std::vector<std::string>{"data line\r\n", "data 1234567", "closed 0"}));
}

}  // namespace
