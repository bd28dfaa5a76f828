// Building and sending the SOCKS requests: the username/password request
// and the connect request of SOCKS 4, 4A and 5.  Each is built in a
// 128-byte area and goes out in one Send; texts that would not fit are
// refused here as well as by Connect, since SocksUsercode and
// SocksPassword stay writable during the handshake.
#include <string>

#include "socks_wsocket.h"
#include "wsocket_resolve.h"

namespace {

// Framing bytes around the configured texts.
constexpr int kSocks4Framing = 9;    // VN CD DSTPORT(2) DSTIP(4) ... 0
constexpr int kSocks4AFraming = 10;  // the same, plus the name's 0
constexpr int kSocks5Framing = 7;    // VER CMD RSV ATYP LEN ... DSTPORT(2)
constexpr int kAuthFraming = 3;      // VER ULEN ... PLEN ...

// A request area being filled; the callers have checked the sizes.
struct TRequestArea {
  char Bytes[kSocksRequestArea];
  int Len = 0;
  void Byte(int B) { Bytes[Len++] = static_cast<char>(B); }
  void Text(const std::string& S) {
    for (char C : S) Bytes[Len++] = C;
  }
  void Port(int HostOrder) {
    Byte((HostOrder >> 8) & 0xFF);
    Byte(HostOrder & 0xFF);
  }
};

int Size(const std::string& S) { return static_cast<int>(S.size()); }

}  // namespace

std::string TCustomSocksWSocket::RequestTooLong(bool WithAuthentication) const {
  const int User = Size(SocksUsercode);
  const int Dest = AddrAssigned ? Size(AddrStr) : 0;
  if (FSocksLevel == "4") {
    if (kSocks4Framing + User > kSocksRequestArea)
      return "Socks usercode too long for a socks 4 request (119 bytes at most)";
  } else if (FSocksLevel == "4A") {
    if (kSocks4AFraming + User + Dest > kSocksRequestArea)
      return "Socks usercode and Addr too long for a socks 4A request "
             "(118 bytes at most together)";
  } else if (kSocks5Framing + Dest > kSocksRequestArea) {
    return "Addr too long for a socks 5 request (121 bytes at most)";
  }
  if (WithAuthentication &&
      kAuthFraming + User + Size(SocksPassword) > kSocksRequestArea)
    return "Socks usercode and password too long (125 bytes at most together)";
  return {};
}

void TCustomSocksWSocket::SendSocksAuthentication() {
  SocksState = socksAuthenticating;
  TriggerSocksAuthState(socksAuthStarting);
  if (SocksState != socksAuthenticating || FState != wsConnected) return;
  const std::string TooLong = RequestTooLong(true);
  if (!TooLong.empty()) {
    AbortSocksHandshake(socks_error::kRequestTooLong, TooLong);
    return;
  }
  TRequestArea Area;
  Area.Byte(1);
  Area.Byte(Size(SocksUsercode));
  Area.Text(SocksUsercode);
  Area.Byte(Size(SocksPassword));
  Area.Text(SocksPassword);
  try {
    Send(Area.Bytes, Area.Len);
  } catch (const Exception&) {
    // A failed send shows up as the connection's end.
  }
}

void TCustomSocksWSocket::SendSocksRequest() {
  SocksState = socksRequesting;
  const std::string TooLong = RequestTooLong(false);
  if (!TooLong.empty()) {
    AbortSocksHandshake(socks_error::kRequestTooLong, TooLong);
    return;
  }
  TRequestArea Area;
  if (FSocksLevel[0] == '4') {
    u_long Dest = htonl(1);  // 0.0.0.1: the server resolves the name
    if (FSocksLevel != "4A") {
      try {
        Dest = WSocketResolveHost(AddrStr);
      } catch (const ESocketException& E) {
        TriggerSocksError(socks_error::kResolve, "ESocketException " + E.Message);
        DoClose(true, socks_error::kResolve);
        return;
      } catch (const Exception& E) {
        TriggerSocksError(socks_error::kResolve, "Exception " + E.Message);
        DoClose(true, socks_error::kResolve);
        return;
      }
    }
    Area.Byte(4);
    Area.Byte(1);
    Area.Port(PortNum);
    const auto* Ip = reinterpret_cast<const unsigned char*>(&Dest);
    for (int I = 0; I < 4; ++I) Area.Byte(Ip[I]);
    Area.Text(SocksUsercode);
    Area.Byte(0);
    if (FSocksLevel == "4A") {
      Area.Text(AddrStr);
      Area.Byte(0);
    }
  } else {
    Area.Byte(5);
    Area.Byte(1);
    Area.Byte(0);
    Area.Byte(3);
    Area.Byte(Size(AddrStr));
    Area.Text(AddrStr);
    Area.Port(PortNum);
  }
  try {
    Send(Area.Bytes, Area.Len);
  } catch (const Exception&) {
    // A failed send shows up as the connection's end.
  }
}
