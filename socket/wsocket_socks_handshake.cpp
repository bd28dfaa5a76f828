// The SOCKS handshake: one state, one reply parser per phase.  The server's
// replies may arrive in pieces of any size; each parser gathers bytes in
// SocksReplyBuffer and judges the reply only once it is complete.
#include <string>

#include "socks_wsocket.h"

namespace {

// SOCKS 5 REP 1 .. 8, codes socks_error::kFirstReply onwards.
constexpr const char* kSocks5ReplyTexts[] = {
    "general SOCKS server failure",
    "connection not allowed by ruleset",
    "network unreachable",
    "host unreachable",
    "connection refused",
    "time to live expired",
    "command not supported",
    "address type not supported",
};
constexpr int kSocks5ReplyTextCount =
    static_cast<int>(sizeof(kSocks5ReplyTexts) / sizeof(kSocks5ReplyTexts[0]));

std::string Unassigned(int Code) { return "unassigned error #" + std::to_string(Code); }

}  // namespace

void TCustomSocksWSocket::TriggerSessionConnected(WORD Error) {
  if (SocksState != socksNegotiating) {
    TCustomWSocket::TriggerSessionConnected(Error);
    return;
  }
  TriggerSocksConnected(Error);
  if (Error != 0) {
    // The server itself could not be reached: the application learns it
    // as a failed connection, and the core closes the socket.
    TCustomWSocket::TriggerSessionConnected(Error);
    return;
  }
  // The handler may have closed the socket (which resets SocksState).
  if (SocksState != socksNegotiating || FState != wsConnected) return;
  if (FSocksLevel[0] == '4') {
    SendSocksRequest();
    return;
  }
  SocksMethodOffered = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
  const char Greeting[3] = {5, 1, static_cast<char>(SocksMethodOffered)};
  Send(Greeting, 3);
}

bool TCustomSocksWSocket::TriggerDataAvailable(WORD Error) {
  switch (SocksState) {
    case socksIdle:
      return TCustomWSocket::TriggerDataAvailable(Error);
    case socksNegotiating:
      return Error != 0 ? AbortOnReceiveError(Error) : ParseMethodReply();
    case socksAuthenticating:
      return Error != 0 ? AbortOnReceiveError(Error) : ParseAuthReply();
    case socksRequesting:
      if (Error != 0) return AbortOnReceiveError(Error);
      return FSocksLevel[0] == '4' ? ParseSocks4Reply() : ParseSocks5Reply();
  }
  // Only a corrupted state gets here.
  AbortSocksHandshake(socks_error::kInternal, "internal error");
  return false;
}

bool TCustomSocksWSocket::AbortOnReceiveError(WORD Error) {
  AbortSocksHandshake(Error, "data receive error");
  return false;
}

bool TCustomSocksWSocket::GatherReply(int Limit) {
  const int Room = Limit - SocksReplyCount;
  if (Room <= 0) return true;
  const int Got = Receive(SocksReplyBuffer + SocksReplyCount, Room);
  if (Got < 0) return false;
  SocksReplyCount += Got;
  return true;
}

// The SOCKS 5 method reply: version and chosen method.
bool TCustomSocksWSocket::ParseMethodReply() {
  if (!GatherReply(kSocksReplyLimit)) return true;
  if (FSocksLevel[0] == '4') {
    AbortSocksHandshake(socks_error::kLogic, "TWSocket logic error");
    return true;
  }
  if (SocksReplyCount < 2) return true;
  SocksReplyCount = 0;  // anything past the two bytes is dropped
  if (SocksReplyBuffer[0] != 5) {
    AbortSocksHandshake(socks_error::kVersion, "socks version error");
    return true;
  }
  switch (static_cast<unsigned char>(SocksReplyBuffer[1])) {
    case 0:
      if (SocksMethodOffered != 0) {
        TriggerSocksAuthState(socksAuthNotNeeded);
        if (SocksState != socksNegotiating || FState != wsConnected) return true;
      }
      SendSocksRequest();
      return true;
    case 2:
      SendSocksAuthentication();
      return true;
    default:
      AbortSocksHandshake(socks_error::kMethodNotAcceptable,
                          "authentification method not acceptable");
      return true;
  }
}

// The username/password reply: sub-negotiation version and status.
bool TCustomSocksWSocket::ParseAuthReply() {
  if (!GatherReply(kSocksReplyLimit)) return true;
  if (SocksReplyCount >= 1 && SocksReplyBuffer[0] != 1) {
    AbortSocksHandshake(socks_error::kVersion, "socks version error");
    return true;
  }
  if (SocksReplyCount < 2) return true;
  if (SocksReplyCount > 2) {
    AbortSocksHandshake(socks_error::kLogic, "too much data availaible");
    return true;
  }
  if (SocksReplyBuffer[1] != 0) {
    AbortSocksHandshake(socks_error::kAuthFailed, "socks authentication failed");
    return true;
  }
  SocksReplyCount = 0;
  TriggerSocksAuthState(socksAuthSucceeded);
  if (SocksState != socksAuthenticating || FState != wsConnected) return true;
  SendSocksRequest();
  return true;
}

// The 8-byte SOCKS 4 reply.  Only those 8 bytes are read: what follows is
// left in the library and arrives as ordinary data.
bool TCustomSocksWSocket::ParseSocks4Reply() {
  if (!GatherReply(8)) return true;
  if (SocksReplyCount < 8) return true;
  SocksReplyCount = 0;
  if (SocksReplyBuffer[0] != 0) {
    AbortSocksHandshake(socks_error::kVersion, "socks version error");
    return true;
  }
  const int Code = static_cast<unsigned char>(SocksReplyBuffer[1]);
  switch (Code) {
    case 90:
      return FinishHandshake();
    case 91:
      AbortSocksHandshake(socks_error::kRejected, "request rejected or failed");
      return true;
    case 92:
      AbortSocksHandshake(socks_error::kRefused, "connection refused");
      return true;
    case 93:
      AbortSocksHandshake(socks_error::kAuthFailed, "authentification failed");
      return true;
    default:
      AbortSocksHandshake(socks_error::kUnassigned, Unassigned(Code));
      return true;
  }
}

// The SOCKS 5 reply: VER REP RSV ATYP, bound address, bound port.  Bytes
// read past its end are application data, handed out by RawReceive.
bool TCustomSocksWSocket::ParseSocks5Reply() {
  if (!GatherReply(kSocksReplyLimit)) return true;
  if (SocksReplyCount >= 1 && SocksReplyBuffer[0] != 5) {
    AbortSocksHandshake(socks_error::kVersion, "socks version error");
    return true;
  }
  if (SocksReplyCount >= 2 && SocksReplyBuffer[1] != 0) {
    const int Rep = static_cast<unsigned char>(SocksReplyBuffer[1]);
    if (Rep <= kSocks5ReplyTextCount) {
      AbortSocksHandshake(socks_error::kFirstReply + Rep - 1, kSocks5ReplyTexts[Rep - 1]);
    } else {
      AbortSocksHandshake(socks_error::kUnassigned, Unassigned(Rep));
    }
    return true;
  }
  if (SocksReplyCount < 5) return true;
  const int Atyp = static_cast<unsigned char>(SocksReplyBuffer[3]);
  int ReplyLength = 5;
  if (Atyp == 1) {
    ReplyLength = 10;
  } else if (Atyp == 3) {
    ReplyLength = static_cast<unsigned char>(SocksReplyBuffer[4]) + 7;
  }
  // A bound name longer than 120 bytes cannot be gathered in the reply
  // area; waiting for it would wait for ever.
  if (ReplyLength > kSocksReplyLimit) {
    AbortSocksHandshake(socks_error::kReplyTooLong, "socks reply too long");
    return true;
  }
  if (SocksReplyCount < ReplyLength) return true;
  if (Atyp != 1 && Atyp != 3) {
    AbortSocksHandshake(socks_error::kAddressType, "address type not supported");
    return true;
  }
  const int Held = SocksReplyCount;
  SocksReplyCount = 0;
  SocksLeftoverPos = ReplyLength;
  SocksLeftoverCount = Held - ReplyLength;
  return FinishHandshake();
}

bool TCustomSocksWSocket::FinishHandshake() {
  // Keep the leftover aside while OnSessionConnected runs: a handler that
  // closes the socket resets it, one that reads gets it.
  SocksState = socksIdle;
  TriggerSessionConnected(0);
  if (FState != wsConnected) return true;
  // Hand the data out through the virtual slot, so that line mode applies.
  // The core's receive loop asks the library how many bytes wait, which
  // does not count the leftover: raise the event again while the handler
  // keeps taking from it, so none of it waits for the next arrival.
  bool Result = TriggerDataAvailable(0);
  int Before = SocksLeftoverCount + 1;
  while (Result && FState == wsConnected && SocksLeftoverCount > 0 &&
         SocksLeftoverCount < Before) {
    Before = SocksLeftoverCount;
    Result = TriggerDataAvailable(0);
  }
  return Result;
}
