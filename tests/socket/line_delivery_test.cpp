// How line mode behaves where handlers misbehave or switch modes: the
// deferred delivery always ends, an exception from a handler loses and
// repeats nothing, and switching line mode on again searches what is
// buffered as a whole.
#include <stdexcept>

#include <gtest/gtest.h>

#include "socket/line_fixture.h"

namespace {

using linetest::LineConnection;
using linetest::RunUntil;
using linetest::Settle;

using LineDelivery = LineConnection;

// Puts "abcdef" in the line buffer and switches line mode off from the
// limit handler, so that a deferred delivery is queued with the bytes.
void BufferAndSwitchOff(LineConnection& c) {
  c.sock.LineLimit = 3;
  c.sock.OnLineLimitExceeded = [&c](TObject*, int, bool& clear) {
    clear = false;
    c.sock.SetLineMode(false);
  };
  c.Arrival("abcdef");
  c.sock.OnLineLimitExceeded = nullptr;
  c.sock.LineLimit = 0;
}

TEST_F(LineDelivery, DeferredDeliveryEndsWhenNothingMoreCanBeDelivered) {
  // No handler: the bytes stay for a later Receive.
  sock.OnDataAvailable = nullptr;
  BufferAndSwitchOff(*this);
  Settle();
  EXPECT_EQ(sock.LineBufferedCount(), 6);

  // A handler that receives nothing is called once, not for ever.
  int calls = 0;
  sock.OnDataAvailable = [&](TObject*, WORD) { ++calls; };
  sock.SetLineMode(true);
  sock.SetLineMode(false);
  Settle();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sock.LineBufferedCount(), 6);

  // Line mode back on with no complete line: one byte goes out as plain
  // data, then delivery stops until a line end arrives.
  std::vector<std::string> pieces;
  sock.OnDataAvailable = [&](TObject*, WORD) {
    if (!sock.LineMode()) {
      char c;
      ASSERT_EQ(sock.Receive(&c, 1), 1);
      pieces.emplace_back(1, c);
      sock.SetLineMode(true);
      return;
    }
    pieces.push_back(sock.ReceiveStr());
  };
  sock.SetLineMode(true);
  sock.SetLineMode(false);
  Settle();
  EXPECT_EQ(pieces, (std::vector<std::string>{"a"}));
  Arrival("\r\n");
  EXPECT_EQ(pieces, (std::vector<std::string>{"a", "bcdef\r\n"}));
}

TEST_F(LineDelivery, BufferedBytesComeFirstWithLineModeOff) {
  sock.OnDataAvailable = nullptr;
  BufferAndSwitchOff(*this);
  Settle();
  // RcvdCount is the socket's count; Receive hands out the line buffer first.
  sock.OnDataAvailable = [&](TObject*, WORD) {
    counts.push_back(sock.RcvdCount());
    char buf[4];
    const int n = sock.Receive(buf, sizeof buf);
    got.emplace_back(buf, static_cast<size_t>(n > 0 ? n : 0));
  };
  PeerSends("gh");
  RunUntil([&] { return Joined().size() >= 8; });
  EXPECT_EQ(got, (std::vector<std::string>{"abcd", "ef", "gh"}));
  EXPECT_EQ(counts, (std::vector<int>{2, 2, 2}));
}

TEST_F(LineDelivery, ExceptionFromHandlerLosesAndRepeatsNothing) {
  bool thrown = false;
  sock.OnDataAvailable = [&](TObject*, WORD) {
    if (!thrown) {
      thrown = true;
      char buf[2];
      ASSERT_EQ(sock.Receive(buf, 2), 2);
      got.emplace_back(buf, 2);
      throw Exception("handler failed");
    }
    got.push_back(sock.ReceiveStr());
  };
  Arrival("a1\r\nb2\r\nc3\r\n");
  EXPECT_EQ(got, (std::vector<std::string>{"a1"}));
  EXPECT_EQ(sock.State(), wsConnected) << "the read loop swallows handler exceptions";
  // The rest of the interrupted line, then every buffered line, in order.
  Arrival("d4\r\n");
  EXPECT_EQ(got, (std::vector<std::string>{"a1", "\r\n", "b2\r\n", "c3\r\n", "d4\r\n"}));
  EXPECT_EQ(sock.LineBufferedCount(), 0);
}

// Whatever the handler throws: our Exception, a standard one, or a value of
// no exception type at all.
TEST_F(LineDelivery, ExceptionInDeferredDeliveryGoesToBgException) {
  sock.OnDataAvailable = nullptr;
  BufferAndSwitchOff(*this);
  Settle();
  std::vector<std::string> bg;
  sock.OnBgException = [&](TObject*, std::exception& e, bool& canClose) {
    bg.push_back(e.what());
    canClose = false;
  };
  sock.OnDataAvailable = [&](TObject*, WORD) {
    char c;
    ASSERT_EQ(sock.Receive(&c, 1), 1);
    got.emplace_back(1, c);
    switch (got.size()) {
      case 1: throw Exception("plain handler failed");
      case 2: throw std::runtime_error("standard handler failed");
      default: throw 3;
    }
  };
  for (int i = 0; i < 3; ++i) {
    sock.SetLineMode(true);
    sock.SetLineMode(false);
    Settle();
  }
  EXPECT_EQ(bg, (std::vector<std::string>{"plain handler failed", "standard handler failed",
                                          "Exception of an unknown type in an event handler"}));
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(sock.State(), wsConnected);
  EXPECT_EQ(sock.LineBufferedCount(), 3);
}

TEST_F(LineDelivery, LineModeOnAgainSearchesTheBufferAsAWhole) {
  std::vector<std::string> line, plain;
  sock.OnDataAvailable = [&](TObject*, WORD) {
    if (sock.LineMode()) {
      counts.push_back(sock.RcvdCount());
      if (line.empty()) {
        char buf[2];
        ASSERT_EQ(sock.Receive(buf, 2), 2);
        line.emplace_back(buf, 2);
        sock.SetLineMode(false);
        return;
      }
      line.push_back(sock.ReceiveStr());
      return;
    }
    char c;
    ASSERT_EQ(sock.Receive(&c, 1), 1);
    plain.emplace_back(1, c);
    sock.SetLineMode(true);
  };
  Arrival("abc\r\ndef\r\nxy");
  RunUntil([&] { return line.size() >= 3; });
  Settle();
  EXPECT_EQ(line, (std::vector<std::string>{"ab", "\r\n", "def\r\n"}));
  EXPECT_EQ(plain, (std::vector<std::string>{"c"}));
  EXPECT_EQ(counts, (std::vector<int>{5, 2, 5}));
  EXPECT_EQ(sock.LineBufferedCount(), 2);
}

TEST_F(LineDelivery, HandlerThatTakesNothingIsNotCalledForEver) {
  int calls = 0;
  bool take = false;
  sock.OnDataAvailable = [&](TObject*, WORD) {
    ++calls;
    if (take) got.push_back(sock.ReceiveStr());
  };
  Arrival("stuck\r\n");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sock.RcvdCount(), 7) << "the line is still waiting";
  take = true;
  Arrival("next\r\n");
  EXPECT_EQ(got, (std::vector<std::string>{"stuck\r\n", "next\r\n"}));
}

TEST_F(LineDelivery, PlainBytesBufferedAtCloseAreDelivered) {
  sock.OnDataAvailable = nullptr;
  BufferAndSwitchOff(*this);
  Settle();
  // The handle is gone by then, so the handler reads with Receive (a
  // ReceiveStr would ask the socket for its count).
  sock.OnDataAvailable = [&](TObject*, WORD) {
    char buf[16];
    const int n = sock.Receive(buf, sizeof buf);
    events.push_back("data " + std::string(buf, static_cast<size_t>(n > 0 ? n : 0)));
  };
  sock.Close();
  EXPECT_EQ(events, (std::vector<std::string>{"data abcdef", "closed 0"}));
}

}  // namespace
