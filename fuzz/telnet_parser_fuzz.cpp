// Fuzzes the telnet parser with its I/O replaced by a sink: any byte
// stream, cut into reads at fuzzer-chosen places, must be interpreted
// without crashing, hanging or growing without bound, and the parser's own
// accounting must hold (no more data out than bytes in, answers well
// formed, sub-negotiation data bounded).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tn_parser.h"

namespace {

class Sink : public TTnParserHooks {
 public:
  void TnData(const char*, std::size_t Len) override { data += Len; }
  void TnSend(const char* Data, std::size_t Len) override {
    // Every answer is a command: three bytes, or a sub-negotiation reply
    // framed by IAC SB ... IAC SE.
    if (Len < 3 || static_cast<unsigned char>(Data[0]) != tn::IAC) std::abort();
    if (Len > 3 && (static_cast<unsigned char>(Data[1]) != tn::SB ||
                    static_cast<unsigned char>(Data[Len - 1]) != tn::SE))
      std::abort();
  }
  void TnTrace(const std::string& Text) override {
    if (Text.size() < 2 || Text.compare(Text.size() - 2, 2, "\r\n") != 0) std::abort();
  }
  void TnEndOfRecord() override {}
  void TnSetLocalEcho(bool) override {}
  void TnLocalEchoEvent() override {}
  std::string TnSendLocation() override { return "TNCNX"; }
  std::string TnTermType() override { return "VT100"; }

  std::size_t data = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // First byte: the read size (1..256); a zero also resets midway.
  const std::size_t step = static_cast<std::size_t>(data[0]) + 1;
  bool resetMidway = data[0] == 0;
  ++data;
  --size;
  Sink sink;
  TTnParser parser(sink);
  for (std::size_t at = 0; at < size; at += step) {
    const std::size_t n = size - at < step ? size - at : step;
    parser.Feed(reinterpret_cast<const char*>(data + at), n);
    if (parser.SubNegotiationData().size() > tn::kMaxSubNegotiation) std::abort();
    if (resetMidway && at >= size / 2) {
      parser.Reset();
      resetMidway = false;
    }
  }
  if (sink.data > size) std::abort();
  return 0;
}
