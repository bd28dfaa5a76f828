// WSAStartup / WSACleanup: the module counts its users like WinSock does,
// and the last WSACleanup closes what is left so that the module can be
// unloaded without descriptors or watches pointing into it.
#include <atomic>
#include <cstring>

#include "wsock_internal.h"

namespace ws {

void StopLookups();  // async_lookup.cpp

namespace {
std::atomic<int> gUsers{0};
}

bool Started() {
  if (gUsers.load() > 0) return true;
  SetError(WSANOTINITIALISED);
  return false;
}

}  // namespace ws

WS_EXPORT(int, WSAStartup)(std::uint16_t versionRequested, wsabi::WSADATA* data) {
  // WSAStartup reports its failures as its result, not as the last error.
  if (auto hit = ws::CheckFault("WSAStartup"); hit.fail) return hit.code;
  if (int code = ws::FaultStartupError()) return code;
  const unsigned major = versionRequested & 0xFF;
  const unsigned minor = (versionRequested >> 8) & 0xFF;
  if (major < 1 || (major == 1 && minor < 1)) return ws::WSAVERNOTSUPPORTED;
  if (!data) return ws::WSAEFAULT;
  std::memset(data, 0, sizeof *data);
  data->wVersion = 0x0101;
  data->wHighVersion = 0x0101;
  data->iMaxSockets = 32767;
  data->iMaxUdpDg = 65467;
  std::strncpy(data->szDescription, "Tervane WinSock 1.1 on POSIX sockets",
               wsabi::kWsaDescriptionLen);
  std::strncpy(data->szSystemStatus, "Running", wsabi::kWsaSysStatusLen);
  ++ws::gUsers;
  return 0;
}

WS_EXPORT(int, WSACleanup)() {
  if (!ws::EnterCall("WSACleanup")) return wsabi::kSocketError;
  if (--ws::gUsers == 0) {
    ws::StopLookups();
    ws::CloseAll();
  }
  return 0;
}
