// Golden transcripts of the telnet receive side, shared by the parser test
// (bytes fed straight in) and the session test (bytes sent by a scripted
// server over loopback, one read per chunk).
//
// Input: hex bytes; " | " separates chunks that arrive as separate reads.
// Output, one line per observable thing, in order:
//   data <hex>        one OnDataAvailable (the data of one read)
//   send <hex>        one answer, sent in a single Send call
//   trace <text>      one debug trace line (CR LF shown as \r\n, other
//                     bytes outside printable ASCII as \xNN)
//   eor | sendloc | termtype | localecho <0|1>   the telnet events (the
//                     echo event shows LocalEcho as its handler sees it)
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct TnTranscript {
  const char* name;
  const char* input;
  const char* expected;
};

inline const std::vector<TnTranscript>& TnTranscripts() {
  static const std::vector<TnTranscript> cases = {
      {"IacIacIsOneDataByte", "41 ff ff 42", "data 41ff42\n"},
      {"EchoWontThenWill", "ff fc 01 | ff fb 01",
       "localecho 1\nsend fffd01\nlocalecho 0\n"},
      {"EchoDoAndDontOnlyRaiseTheEvent", "ff fd 01 ff fe 01", "localecho 0\nlocalecho 0\n"},
      {"TerminalType", "ff fd 18 | ff fa 18 01 ff f0",
       "send fffb18\ntermtype\nsend fffa18005654313030fff0\n"},
      {"SendLocation", "ff fd 17",
       "send fffb17\nsendloc\nsend fffa17544e434e58fff0\n"},
      {"UnknownOptionsRefused", "ff fd 1f ff fb 05 ff fc 05 ff fe 05",
       "send fffc1f\nsend fffe05\nsend fffc05\nsend fffc05\n"},
      {"BinarySgaEndOfRecord", "ff fd 00 ff fe 00 ff fb 03 ff fb 19 ff fd 19 ff fb 00",
       "send fffd03\nsend fffb19\nsend fffd00\n"},
      {"RepeatedRequestAnsweredTwice", "ff fb 03 ff fb 03", "send fffd03\nsend fffd03\n"},
      {"IacSplitFromVerb", "41 ff | fb 01 42", "data 41\nsend fffd01\nlocalecho 0\ndata 42\n"},
      {"VerbSplitFromOption", "ff fd | 18", "send fffb18\n"},
      {"SubNegotiationSplitThrice", "ff fa 18 | 01 ff | f0",
       "termtype\nsend fffa18005654313030fff0\n"},
      {"IacIacSplit", "41 ff | ff 42", "data 41\ndata ff42\n"},
      {"PlainControlCodesTracedAndKept", "41 f4 42 f5 f6 f7 f8",
       "trace TNCH_IP\\r\\n\ntrace TNCH_AO\\r\\n\ntrace TNCH_AYT\\r\\n\ntrace TNCH_EC\\r\\n\n"
       "trace TNCH_EL\\r\\n\ndata 41f442f5f6f7f8\n"},
      {"CommandsWithoutRuleAreTracedAndDropped", "ff f4 ff f1 ff f9 ff f0 41",
       "trace Unknown F4 '\\xf4'\\r\\n\ntrace Unknown F1 '\\xf1'\\r\\n\n"
       "trace Unknown F9 '\\xf9'\\r\\n\ntrace Unknown F0 '\\xf0'\\r\\n\ndata 41\n"},
      {"EndOfRecord", "41 ff ef 42", "trace TNCH_EOR\\r\\n\neor\ndata 4142\n"},
      {"EmptyAndShortSubNegotiationsIgnored", "ff fa f0 ff fa 18 f0 ff fa 17 01 ff f0", ""},
      {"BareSeEndsSubNegotiation", "ff fa 18 41 f0 42 43", "data 4243\n"},
      {"BareSeClosesTerminalTypeSend", "ff fa 18 01 f0 41",
       "termtype\nsend fffa18005654313030fff0\ndata 41\n"},
      {"IacInsideSubNegotiationIsCollected", "ff fa 18 01 ff ff ff f0",
       "termtype\nsend fffa18005654313030fff0\n"},
      {"ZeroAndHighBytesAreData", "00 41 00 0d 0a f9 fa fb fc fd fe 00",
       "data 0041000d0af9fafbfcfdfe00\n"},
      // The option table row by row: WILL, WONT, DO, DONT of each option.
      {"RowBinary", "ff fb 00 ff fc 00 ff fd 00 ff fe 00", "send fffd00\n"},
      {"RowEcho", "ff fb 01 ff fc 01 ff fd 01 ff fe 01",
       "send fffd01\nlocalecho 0\nlocalecho 1\nlocalecho 1\nlocalecho 1\n"},
      {"RowSuppressGoAhead", "ff fb 03 ff fc 03 ff fd 03 ff fe 03", "send fffd03\n"},
      {"RowSendLocation", "ff fb 17 ff fc 17 ff fd 17 ff fe 17",
       "send fffb17\nsendloc\nsend fffa17544e434e58fff0\n"},
      {"RowTerminalType", "ff fb 18 ff fc 18 ff fd 18 ff fe 18", "send fffb18\n"},
      {"RowEndOfRecord", "ff fb 19 ff fc 19 ff fd 19 ff fe 19", "send fffb19\n"},
      {"RowOtherOptions",
       "ff fb 02 ff fc 02 ff fd 02 ff fe 02 ff fb 04 ff fc 16 ff fd 1a ff fe ff",
       "send fffe02\nsend fffc02\nsend fffc02\nsend fffc02\n"
       "send fffe04\nsend fffc16\nsend fffc1a\nsend fffcff\n"},
      {"OnlyCommandsGiveNoData", "ff fb 01 ff fd 18 | ff fb 03", "send fffd01\nlocalecho 0\n"
                                                                 "send fffb18\nsend fffd03\n"},
  };
  return cases;
}

// Chunks of a transcript input.
inline std::vector<std::string> TnChunks(const char* input) {
  std::vector<std::string> chunks(1);
  for (const char* p = input; *p != '\0';) {
    if (*p == ' ') {
      ++p;
    } else if (*p == '|') {
      chunks.emplace_back();
      ++p;
    } else {
      unsigned value = 0;
      std::sscanf(p, "%2x", &value);
      chunks.back() += static_cast<char>(value);
      p += 2;
    }
  }
  return chunks;
}

inline std::string TnHex(const char* data, std::size_t len) {
  std::string out;
  char buf[3];
  for (std::size_t i = 0; i < len; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
    out += buf;
  }
  return out;
}

inline std::string TnShowText(const std::string& text) {
  std::string out;
  char buf[5];
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 32 || c > 126) {
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
