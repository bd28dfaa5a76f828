// Conversion between WinSock's 16-byte IPv4 address record and the host's.
#include <cstring>

#include "wsock_internal.h"

namespace ws {

int ToPosix(const wsabi::sockaddr* name, int nameLen, sockaddr_in* out) {
  if (!name || nameLen < static_cast<int>(sizeof(wsabi::sockaddr_in))) return WSAEFAULT;
  wsabi::sockaddr_in in;
  std::memcpy(&in, name, sizeof in);
  if (in.sin_family != wsabi::kAfInet) return WSAEAFNOSUPPORT;
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = in.sin_port;
  out->sin_addr.s_addr = in.sin_addr.s_addr;
  return 0;
}

int FromPosix(const sockaddr_in& in, wsabi::sockaddr* name, int* nameLen) {
  if (!name) return 0;  // the caller does not want the address
  if (!nameLen || *nameLen < static_cast<int>(sizeof(wsabi::sockaddr_in))) return WSAEFAULT;
  wsabi::sockaddr_in out{};
  out.sin_family = wsabi::kAfInet;
  out.sin_port = in.sin_port;
  out.sin_addr.s_addr = in.sin_addr.s_addr;
  std::memcpy(name, &out, sizeof out);
  *nameLen = sizeof out;
  return 0;
}

}  // namespace ws
