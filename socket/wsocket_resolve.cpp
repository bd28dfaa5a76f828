// Host, port and protocol text to the numbers the socket library needs.
#include "wsocket_resolve.h"

#include <cstring>

#include "custom_wsocket.h"

std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

namespace {

std::string ErrorSuffix() { return ", Error #" + std::to_string(WSocket::WSAGetLastError()); }

}  // namespace

bool IsDottedIPv4(const std::string& S) {
  std::size_t i = 0, n = S.size();
  while (i < n && S[i] == ' ') ++i;
  if (i < n && S[i] == '.') return false;
  int dots = 0;
  // Saturates above 255: only "over 255" matters, and long runs of digits
  // must not overflow.
  int value = 0;
  for (; i < n; ++i) {
    char c = S[i];
    if (IsDecimalDigit(c)) {
      if (value <= 255) value = value * 10 + (c - '0');
    } else if (c == '.') {
      ++dots;
      if (dots > 3 || value > 255) return false;
      value = 0;
      if (i + 1 >= n || !IsDecimalDigit(S[i + 1])) return false;
    } else {
      while (i < n && S[i] == ' ') ++i;
      if (i < n) return false;
      break;
    }
  }
  return dots == 3 && value <= 255;
}

int ParseDecimal(const std::string& S) {
  std::size_t i = 0, n = S.size();
  while (i < n && S[i] == ' ') ++i;
  // Wraps like 32-bit arithmetic without overflow checks; unsigned keeps
  // that well defined.
  std::uint32_t value = 0;
  for (; i < n && IsDecimalDigit(S[i]); ++i)
    value = value * 10u + static_cast<std::uint32_t>(S[i] - '0');
  return static_cast<int>(value);
}

u_long WSocketResolveHost(const std::string& InAddr) {
  if (InAddr.empty() || InAddr.size() > 256)
    throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.");
  std::string host = TrimBlanks(InAddr);
  if (IsDottedIPv4(InAddr)) {
    u_long addr = WSocket::inet_addr(host.c_str());
    if (addr == INADDR_NONE && host != "255.255.255.255")
      throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid IP address.");
    return addr;
  }
  hostent* entry = WSocket::gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr ||
      entry->h_length < 4)
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + InAddr + "'" +
                           ErrorSuffix());
  std::uint32_t addr;  // four bytes in network order, whatever u_long's width
  std::memcpy(&addr, entry->h_addr_list[0], sizeof addr);
  return addr;
}

u_short WSocketResolvePort(const std::string& Port, const std::string& Proto) {
  if (Port.empty() || Port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (Proto.empty() || Proto.size() >= 32)
    throw ESocketException("WSocketResolvePort: Invalid Proto.");
  if (IsDecimalDigit(Port[0])) return static_cast<u_short>(ParseDecimal(Port) & 0xFFFF);
  std::string name = TrimBlanks(Port);
  std::string proto = TrimBlanks(Proto);
  servent* entry = WSocket::getservbyname(name.c_str(), proto.empty() ? nullptr : proto.c_str());
  if (entry == nullptr)
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + Port + "'" +
                           ErrorSuffix());
  return WSocket::ntohs(static_cast<u_short>(entry->s_port));
}

int WSocketResolveProto(const std::string& Proto) {
  if (Proto.empty() || Proto.size() >= 32)
    throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  std::string proto = TrimBlanks(Proto);
  // Blanks only pass the length test but leave nothing to convert.
  if (proto.empty()) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  if (IsDecimalDigit(proto[0])) return ParseDecimal(proto);
  protoent* entry = WSocket::getprotobyname(proto.c_str());
  if (entry == nullptr)
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "'" +
                           ErrorSuffix());
  return entry->p_proto;
}
