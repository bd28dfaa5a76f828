// TCustomSocksWSocket: the property writers, Connect and Listen, the
// leftover bytes of the final reply, and the SOCKS events.
#include <cstring>

#include "socks_wsocket.h"
#include "wsocket_resolve.h"

namespace {

std::string LowerCase(std::string S) {
  for (char& C : S) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  }
  return S;
}

}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket(TComponent* Owner) : TCustomWSocket(Owner) {
  // The core's constructor ran its own ResetDefaults before this class
  // existed; the fields above start at the values ours would set.
}

void TCustomSocksWSocket::ResetDefaults() {
  TCustomWSocket::ResetDefaults();
  SocksState = socksIdle;
  FSocksServer.clear();
  FSocksPort.clear();
  FSocksLevel.assign(1, '5');  // not = "5": a false -Wrestrict of GCC 12
  SocksLeftoverCount = 0;
  SocksServerAssigned = false;
}

// ---- Property writers -------------------------------------------------------

void TCustomSocksWSocket::SetSocksLevel(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Can't change socks level if not closed");
    return;
  }
  if (Value != "4" && Value != "5" && Value != "4A" && Value != "4a") {
    ReportError("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  FSocksLevel = Value == "4a" ? std::string("4A") : Value;
}

void TCustomSocksWSocket::SetSocksServer(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Can't change socks server if not closed");
    return;
  }
  FSocksServer = TrimBlanks(Value);
  SocksServerAssigned = !FSocksServer.empty();
  ForgetResolvedTarget();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& Value) {
  if (FState != wsClosed) {
    ReportError("Can't change socks port if not closed");
    return;
  }
  FSocksPort = TrimBlanks(Value);
  ForgetResolvedTarget();
}

// Connect keeps the port and address it resolved for the next attempt,
// and they are the SOCKS server's or the destination's depending on the
// settings: after a change of server they must be resolved again, or a
// failed attempt would send the next one to the wrong port or host.
void TCustomSocksWSocket::ForgetResolvedTarget() {
  PortResolved = false;
  AddrResolved = false;
}

// ---- Connect and Listen -------------------------------------------------------

void TCustomSocksWSocket::Connect() {
  // A socket in use is refused by the core.  Going through the SOCKS set-up
  // first would restart the handshake on the open session and take its
  // next data for a server reply.
  if (!SocksServerAssigned || (SocketHandle != INVALID_SOCKET && FState != wsClosed)) {
    TCustomWSocket::Connect();
    return;
  }
  if (LowerCase(ProtoStr) != "tcp") {
    ReportError("tcp is the only protocol supported thru socks server");
    return;
  }
  // The requests have fixed areas: refuse texts that would not fit before
  // anything reaches the network.
  const std::string TooLong =
      RequestTooLong(FSocksLevel[0] != '4' && SocksAuthentication == socksAuthenticateUsercode);
  if (!TooLong.empty()) {
    ReportError(TooLong);
    return;
  }
  try {
    if (!PortResolved) {
      RemoteSin.sin_port = WSocket::htons(WSocketResolvePort(FSocksPort, ProtoStr));
      PortResolved = true;
    }
    if (!AddrResolved) {
      RemoteSin.sin_addr.s_addr = WSocketResolveHost(FSocksServer);
      AddrResolved = true;
    }
    PortNum = WSocketResolvePort(PortStr, ProtoStr);
  } catch (const Exception& E) {
    ReportError("connect: " + E.Message);
    return;
  }
  SocksState = socksNegotiating;
  SocksReplyCount = 0;
  TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen() {
  if (SocksServerAssigned) {
    ReportError("Listening is not supported thru socks server");
    return;
  }
  TCustomWSocket::Listen();
}

// ---- Leftover of the final reply ----------------------------------------------

int TCustomSocksWSocket::GetRcvdCount() {
  if (SocksLeftoverCount > 0) return SocksLeftoverCount;
  return TCustomWSocket::GetRcvdCount();
}

int TCustomSocksWSocket::RawReceive(void* Buffer, int BufferSize, int Flags) {
  if (SocksLeftoverCount <= 0) return TCustomWSocket::RawReceive(Buffer, BufferSize, Flags);
  if (BufferSize <= 0) return 0;
  const int Count = BufferSize >= SocksLeftoverCount ? SocksLeftoverCount : BufferSize;
  std::memcpy(Buffer, SocksReplyBuffer + SocksLeftoverPos, static_cast<std::size_t>(Count));
  SocksLeftoverPos += Count;
  SocksLeftoverCount -= Count;
  return Count;
}

// ---- Events -----------------------------------------------------------------------

void TCustomSocksWSocket::TriggerSocksConnected(WORD Error) {
  if (OnSocksConnected) OnSocksConnected(this, Error);
}

void TCustomSocksWSocket::TriggerSocksError(int Error, const std::string& Msg) {
  if (OnSocksError) OnSocksError(this, Error, Msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState AuthState) {
  if (OnSocksAuthState) OnSocksAuthState(this, AuthState);
}

void TCustomSocksWSocket::TriggerSessionClosed(WORD Error) {
  // Leaving while the answer to user code and password is awaited is how a
  // server that dislikes them usually says so.
  if (SocksState == socksAuthenticating) TriggerSocksAuthState(socksAuthFailed);
  TCustomWSocket::TriggerSessionClosed(Error);
}

void TCustomSocksWSocket::AbortSocksHandshake(int Error, const std::string& Msg) {
  TriggerSocksError(Error, Msg);
  SocksState = socksIdle;
  TriggerSessionConnected(static_cast<WORD>(Error));
  DoClose(true, Error);
}
