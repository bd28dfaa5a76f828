// The telnet receive-side interpreter: one state enum, one switch per step,
// plain data passed on in runs.
#include "tn_parser.h"

#include <algorithm>
#include <cstring>

namespace {

// True for the bytes that end a run of plain data: IAC, and the five
// control-function codes that are traced when they arrive as data.
inline bool EndsRun(unsigned char B) { return B >= tn::IP && (B <= tn::EL || B == tn::IAC); }

// The first byte at or after p that ends a run (or end).  Text rarely holds
// a byte of 244 or more, so eight bytes are tested at once: for each byte b,
// ((b & 0x7F) + 0x0C) & b has its top bit set exactly when b >= 0xF4, and
// no sum carries into the next byte.
const unsigned char* SkipPlain(const unsigned char* p, const unsigned char* end) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  constexpr std::uint64_t kAdd = 0x0C0C0C0C0C0C0C0Cull;
  constexpr std::uint64_t kTop = 0x8080808080808080ull;
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if ((((word & kLow7) + kAdd) & word & kTop) != 0) break;
    p += 8;
  }
  while (p < end && !EndsRun(*p)) ++p;
  return p;
}

const char* PlainTrace(unsigned char B) {
  switch (B) {
    case tn::IP: return "TNCH_IP\r\n";
    case tn::AO: return "TNCH_AO\r\n";
    case tn::AYT: return "TNCH_AYT\r\n";
    case tn::EC: return "TNCH_EC\r\n";
    case tn::EL: return "TNCH_EL\r\n";
    default: return nullptr;
  }
}

std::string UnknownTrace(unsigned char B) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = "Unknown ";
  text += kHex[B >> 4];
  text += kHex[B & 15];
  text += " '";
  text += static_cast<char>(B);
  text += "'\r\n";
  return text;
}

}  // namespace

void TTnParser::Reset() {
  FState = tpsData;
  FPendingVerb = 0;
  FSubNegotiationData.clear();
  ++FGeneration;
}

void TTnParser::Feed(const char* Data, std::size_t Len) {
  const auto* p = reinterpret_cast<const unsigned char*>(Data);
  const auto* const end = p + Len;
  const std::uint32_t generation = FGeneration;
  // Every hook may reset us (a new session was opened from a handler): what
  // is left of these bytes belonged to the old session, so stop there.
  while (p < end) {
    switch (FState) {
      case tpsData: {
        const unsigned char* run = p;
        while (p < end) {
          if (!EndsRun(*p)) {
            p = SkipPlain(p + 1, end);
            continue;
          }
          if (*p == tn::IAC) break;
          // A control-function code as data: traced, and it stays in the
          // data, after the bytes in front of it.
          if (p != run) {
            FHooks.TnData(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
            if (generation != FGeneration) return;
          }
          FHooks.TnTrace(PlainTrace(*p));
          if (generation != FGeneration) return;
          run = p++;
        }
        if (p != run) {
          FHooks.TnData(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
          if (generation != FGeneration) return;
        }
        if (p < end) {  // an IAC
          ++p;
          FState = tpsCommand;
        }
        break;
      }
      case tpsCommand:
        Command(*p++);
        break;
      case tpsOption: {
        // The state moves on before the answer, so that a handler that
        // throws leaves the parser ready for the next byte.
        const unsigned char verb = FPendingVerb;
        FPendingVerb = 0;
        FState = tpsData;
        HandleOption(verb, *p++);
        break;
      }
      case tpsSubNegotiation: {
        // Only a 240 means anything in here; the IAC of a closing IAC SE is
        // collected like any other byte.
        const void* se = std::memchr(p, tn::SE, static_cast<std::size_t>(end - p));
        const auto* stop = se != nullptr ? static_cast<const unsigned char*>(se) : end;
        const std::size_t room = tn::kMaxSubNegotiation - FSubNegotiationData.size();
        const std::size_t take = std::min(room, static_cast<std::size_t>(stop - p));
        FSubNegotiationData.append(reinterpret_cast<const char*>(p), take);
        p = stop;
        if (se != nullptr) {
          ++p;
          FState = tpsData;
          std::string data;
          data.swap(FSubNegotiationData);
          HandleSubNegotiation(data);
        }
        break;
      }
    }
    if (generation != FGeneration) return;
  }
}

void TTnParser::Command(unsigned char B) {
  FState = tpsData;
  if (B == tn::EOR) {
    FHooks.TnTrace("TNCH_EOR\r\n");
    FHooks.TnEndOfRecord();
  } else if (B == tn::SB) {
    FSubNegotiationData.clear();
    FState = tpsSubNegotiation;
  } else if (B >= tn::WILL && B <= tn::DONT) {
    FPendingVerb = B;
    FState = tpsOption;
  } else if (B == tn::IAC) {
    FHooks.TnData("\xff", 1);
  } else {
    // NOP, DM, BRK, IP, AO, AYT, EC, EL, GA and a lone SE: nothing to do.
    FHooks.TnTrace(UnknownTrace(B));
  }
}

void TTnParser::SendCommand(unsigned char Verb, unsigned char Option) {
  const char bytes[3] = {static_cast<char>(tn::IAC), static_cast<char>(Verb),
                         static_cast<char>(Option)};
  FHooks.TnSend(bytes, sizeof bytes);
}

void TTnParser::HandleOption(unsigned char Verb, unsigned char Option) {
  const std::uint32_t generation = FGeneration;
  switch (Option) {
    case tn::OPT_BINARY:
    case tn::OPT_SGA:
      if (Verb == tn::WILL) SendCommand(tn::DO, Option);
      return;
    case tn::OPT_ECHO:
      if (Verb == tn::WILL) {
        SendCommand(tn::DO, Option);
        FHooks.TnSetLocalEcho(false);
      } else if (Verb == tn::WONT) {
        FHooks.TnSetLocalEcho(true);
      }
      if (generation == FGeneration) FHooks.TnLocalEchoEvent();
      return;
    case tn::OPT_SEND_LOCATION:
      if (Verb == tn::DO) {
        SendCommand(tn::WILL, Option);
        if (generation != FGeneration) return;
        const std::string location = FHooks.TnSendLocation();
        // The session may have been reopened by the handler: the location
        // was asked for by the old one.
        if (generation != FGeneration) return;
        std::string reply = {static_cast<char>(tn::IAC), static_cast<char>(tn::SB),
                             static_cast<char>(tn::OPT_SEND_LOCATION)};
        reply += location;
        reply += static_cast<char>(tn::IAC);
        reply += static_cast<char>(tn::SE);
        FHooks.TnSend(reply.data(), reply.size());
      }
      return;
    case tn::OPT_TERMINAL_TYPE:
    case tn::OPT_END_OF_RECORD:
      if (Verb == tn::DO) SendCommand(tn::WILL, Option);
      return;
    default:
      // Everything else is refused.
      SendCommand(Verb == tn::WILL ? tn::DONT : tn::WONT, Option);
      return;
  }
}

void TTnParser::HandleSubNegotiation(const std::string& Data) {
  if (Data.size() < 2 || static_cast<unsigned char>(Data[0]) != tn::OPT_TERMINAL_TYPE ||
      static_cast<unsigned char>(Data[1]) != tn::TTYPE_SEND)
    return;
  const std::uint32_t generation = FGeneration;
  const std::string type = FHooks.TnTermType();
  if (generation != FGeneration) return;
  std::string reply = {static_cast<char>(tn::IAC), static_cast<char>(tn::SB),
                       static_cast<char>(tn::OPT_TERMINAL_TYPE), static_cast<char>(tn::TTYPE_IS)};
  reply += type;
  reply += static_cast<char>(tn::IAC);
  reply += static_cast<char>(tn::SE);
  FHooks.TnSend(reply.data(), reply.size());
}
