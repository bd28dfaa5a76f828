// The telnet parser on its own: the golden transcripts, the bound on
// sub-negotiation data, handlers that throw and handlers that reopen.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "tn_parser.h"
#include "transcripts.h"

namespace {

// Records what the parser asks for, shaped like the session component: data
// runs collect into one "data" line per read.
class Recorder : public TTnParserHooks {
 public:
  Recorder() : parser(*this) {}

  void Read(const std::string& chunk) {
    parser.Feed(chunk.data(), chunk.size());
    EndRead();
  }
  void EndRead() {
    if (!pending.empty()) log += "data " + TnHex(pending.data(), pending.size()) + "\n";
    pending.clear();
  }

  void TnData(const char* Data, std::size_t Len) override { pending.append(Data, Len); }
  void TnSend(const char* Data, std::size_t Len) override {
    log += "send " + TnHex(Data, Len) + "\n";
  }
  void TnTrace(const std::string& Text) override { log += "trace " + TnShowText(Text) + "\n"; }
  void TnEndOfRecord() override {
    log += "eor\n";
    if (onEvent) onEvent();
  }
  void TnSetLocalEcho(bool Value) override { localEcho = Value; }
  void TnLocalEchoEvent() override {
    log += std::string("localecho ") + (localEcho ? "1" : "0") + "\n";
    if (onEvent) onEvent();
  }
  std::string TnSendLocation() override {
    log += "sendloc\n";
    if (onEvent) onEvent();
    return location;
  }
  std::string TnTermType() override {
    log += "termtype\n";
    if (onEvent) onEvent();
    return termType;
  }

  TTnParser parser;
  std::string log, pending;
  bool localEcho = false;
  std::string location = "TNCNX", termType = "VT100";
  std::function<void()> onEvent;
};

class TnTranscriptTest : public testing::TestWithParam<TnTranscript> {};

TEST_P(TnTranscriptTest, Matches) {
  Recorder r;
  for (const std::string& chunk : TnChunks(GetParam().input)) r.Read(chunk);
  EXPECT_EQ(r.log, GetParam().expected);
  EXPECT_EQ(r.parser.State(), TTnParser::tpsData);
}

INSTANTIATE_TEST_SUITE_P(TnGolden, TnTranscriptTest, testing::ValuesIn(TnTranscripts()),
                         [](const testing::TestParamInfo<TnTranscript>& row) {
                           return std::string(row.param.name);
                         });

// Every transcript gives the same answers and data when each byte is a
// read of its own: no command depends on arriving in one piece.
TEST(TnParser, ByteAtATimeGivesSameAnswersAndData) {
  for (const TnTranscript& t : TnTranscripts()) {
    Recorder whole, bytes;
    std::string all;
    for (const std::string& chunk : TnChunks(t.input)) all += chunk;
    whole.parser.Feed(all.data(), all.size());
    whole.EndRead();
    for (char c : all) bytes.parser.Feed(&c, 1);
    bytes.EndRead();
    EXPECT_EQ(whole.log, bytes.log) << t.name;
  }
}

TEST(TnParser, LongSubNegotiationIsBoundedAndStillAnswered) {
  Recorder r;
  std::string in = "\xff\xfa\x18\x01";
  in += std::string(5000, 'A');
  r.parser.Feed(in.data(), in.size());
  EXPECT_EQ(r.parser.SubNegotiationData().size(), tn::kMaxSubNegotiation);
  r.Read("\xff\xf0" "B");
  EXPECT_EQ(r.log, "termtype\nsend fffa18005654313030fff0\ndata 42\n");

  // Another long one that is not a terminal-type request: ignored, and the
  // data after it comes through.
  Recorder other;
  other.Read("\xff\xfa" + std::string(3000, '\x18') + "\xf0" "C");
  EXPECT_EQ(other.log, "data 43\n");
}

TEST(TnParser, ThrowingHandlerLeavesParserReadyForNextRead) {
  Recorder r;
  int calls = 0;
  r.onEvent = [&] {
    if (++calls == 1) throw std::runtime_error("handler failed");
  };
  // The echo event throws: the rest of that read is not interpreted.
  const std::string first = "A\xff\xfb\x01" "B\xff\xfb\x03";
  EXPECT_THROW(r.parser.Feed(first.data(), first.size()), std::runtime_error);
  EXPECT_EQ(r.parser.State(), TTnParser::tpsData);
  r.Read("C\xff\xfb\x03");
  // "A" was stored before the throw and goes out with the next read's data.
  EXPECT_EQ(r.log, "send fffd01\nlocalecho 0\nsend fffd03\ndata 4143\n");

  // Same from inside a sub-negotiation: the next one is not polluted.
  Recorder s;
  calls = 0;
  s.onEvent = [&] {
    if (++calls == 1) throw std::runtime_error("handler failed");
  };
  const std::string sb = "\xff\xfa\x18\x01\xff\xf0";
  EXPECT_THROW(s.parser.Feed(sb.data(), sb.size()), std::runtime_error);
  s.Read(sb);
  EXPECT_EQ(s.log, "termtype\ntermtype\nsend fffa18005654313030fff0\n");
}

TEST(TnParser, ResetClearsHalfCommandsAndStopsTheRead) {
  // A command cut off by a reset does not swallow the next bytes.
  for (const char* half : {"\xff", "\xff\xfb", "\xff\xfa\x18"}) {
    Recorder r;
    r.Read(half);
    r.parser.Reset();
    r.Read("\xfb\x01" "A");
    EXPECT_EQ(r.log, "data fb0141\n") << TnShowText(half);
  }
  // A reset from inside a handler (a reopen) ends the interpretation of the
  // rest of the read, including the location answer it interrupted.
  Recorder r;
  r.onEvent = [&] { r.parser.Reset(); };
  r.Read("A\xff\xfd\x17" "B\xff\xfb\x03");
  EXPECT_EQ(r.log, "send fffb17\nsendloc\ndata 41\n");
}

}  // namespace
