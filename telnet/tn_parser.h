// TTnParser: the receive side of the telnet protocol as a socket-free unit.
// It consumes the bytes of a read, answers every negotiation with the fixed
// answers below and hands the remaining data bytes on, in runs.  It does no
// I/O itself: everything it wants done goes through TTnParserHooks, so the
// session component drives it from its socket and the benchmark and fuzzer
// drive it from memory.
//
// Fixed answers (the client only ever answers, it never starts a
// negotiation, and remembers nothing about what was agreed):
//   BINARY, SUPPRESS-GO-AHEAD   WILL -> DO; nothing for WONT, DO, DONT
//   ECHO                        WILL -> DO, local echo off; WONT -> local
//                               echo on; DO/DONT -> the echo event only
//   SEND-LOCATION               DO -> WILL, then the location
//   TERMINAL-TYPE, END-OF-RECORD  DO -> WILL
//   any other option            WILL -> DONT; WONT, DO, DONT -> WONT
//
// Re-entrancy: hooks may throw; the parser's state has already moved past
// the byte that raised the hook, so the next Feed carries on cleanly.  A
// hook may call Reset (the session was reopened): Feed then stops
// interpreting the rest of the bytes it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tn {

// Telnet command bytes.
inline constexpr unsigned char IAC = 255;
inline constexpr unsigned char DONT = 254;
inline constexpr unsigned char DO = 253;
inline constexpr unsigned char WONT = 252;
inline constexpr unsigned char WILL = 251;
inline constexpr unsigned char SB = 250;
inline constexpr unsigned char EL = 248;
inline constexpr unsigned char EC = 247;
inline constexpr unsigned char AYT = 246;
inline constexpr unsigned char AO = 245;
inline constexpr unsigned char IP = 244;
inline constexpr unsigned char SE = 240;
inline constexpr unsigned char EOR = 239;

// Option codes.
inline constexpr unsigned char OPT_BINARY = 0;
inline constexpr unsigned char OPT_ECHO = 1;
inline constexpr unsigned char OPT_SGA = 3;
inline constexpr unsigned char OPT_SEND_LOCATION = 23;
inline constexpr unsigned char OPT_TERMINAL_TYPE = 24;
inline constexpr unsigned char OPT_END_OF_RECORD = 25;

// TERMINAL-TYPE sub-negotiation codes.
inline constexpr unsigned char TTYPE_IS = 0;
inline constexpr unsigned char TTYPE_SEND = 1;

// Sub-negotiation bytes kept before the closing 240; the rest are dropped.
// Only the first two are ever examined, so any bound keeps TERMINAL-TYPE
// SEND working; this one leaves room for a long but honest request.
inline constexpr std::size_t kMaxSubNegotiation = 512;

}  // namespace tn

// What the parser asks of its driver.
class TTnParserHooks {
 public:
  virtual ~TTnParserHooks() = default;
  // A run of data bytes, in order (IAC IAC already collapsed to one 255).
  virtual void TnData(const char* Data, std::size_t Len) = 0;
  // One answer, to go out in a single send.
  virtual void TnSend(const char* Data, std::size_t Len) = 0;
  // One diagnostic trace text (ends in CR LF).
  virtual void TnTrace(const std::string& Text) = 0;
  // IAC EOR arrived.
  virtual void TnEndOfRecord() = 0;
  // The ECHO negotiation: SetLocalEcho (WILL, WONT only) comes before the
  // event, so the event's handler sees the outcome.
  virtual void TnSetLocalEcho(bool Value) = 0;
  virtual void TnLocalEchoEvent() = 0;
  // DO SEND-LOCATION was answered with WILL: raise the owner's event and
  // return the location to send (the handler may have changed it).
  virtual std::string TnSendLocation() = 0;
  // TERMINAL-TYPE SEND arrived: raise the owner's event and return the
  // terminal type to send.
  virtual std::string TnTermType() = 0;
};

class TTnParser {
 public:
  explicit TTnParser(TTnParserHooks& Hooks) : FHooks(Hooks) {}

  // Interpret the bytes of one read, in order.  A command may be split
  // across calls.
  void Feed(const char* Data, std::size_t Len);
  // Back to the data state with nothing pending (a new session).
  void Reset();
  // Changes with every Reset: a caller that lets handlers run can tell
  // whether one of them started a new session meanwhile.
  std::uint32_t Generation() const { return FGeneration; }

  // The parser state, for tests and diagnostics.
  enum TState : std::uint8_t {
    tpsData,            // plain data; 255 starts a command
    tpsCommand,         // after an IAC in data
    tpsOption,          // after a verb: the next byte is its option
    tpsSubNegotiation,  // after IAC SB: collect until a 240
  };
  TState State() const { return FState; }
  const std::string& SubNegotiationData() const { return FSubNegotiationData; }

 private:
  void Command(unsigned char B);
  void HandleOption(unsigned char Verb, unsigned char Option);
  void HandleSubNegotiation(const std::string& Data);
  void SendCommand(unsigned char Verb, unsigned char Option);

  TTnParserHooks& FHooks;
  TState FState = tpsData;
  unsigned char FPendingVerb = 0;
  std::string FSubNegotiationData;
  // Bumped by Reset, so that Feed notices a reset made from inside a hook.
  std::uint32_t FGeneration = 0;
};
