// The exported controls of the fault-injecting build (see wsock_fault.h).
#include <cstring>

#include "fault_state.h"
#include "wsock_fault.h"
#include "wsock_internal.h"

namespace {
// The fault build counts calls from the moment it is loaded.
struct Activate {
  Activate() { ws::ActivateFaults(); }
} activate;

ws::FaultState& F() { return ws::Faults(); }
}  // namespace

WS_EXPORT(void, WsFaultReset)() {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().startupError = 0;
  F().sendLimit = 0;
  F().blockSends = false;
  F().resetOnSend = false;
  F().closeError = 0;
  F().closeTimes = 0;
  F().failName.clear();
  F().failNth = 0;
  F().failCode = 0;
  F().recordConnect = false;
  F().lastConnect.clear();
  F().counts.clear();
  ws::StallLookups(false);
}

WS_EXPORT(void, WsFaultStartupError)(int code) {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().startupError = code;
}

WS_EXPORT(void, WsFaultSendLimit)(int maxBytes) {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().sendLimit = maxBytes < 0 ? 0 : maxBytes;
}

WS_EXPORT(void, WsFaultBlockSends)(int on) {
  {
    std::lock_guard<std::mutex> lock(F().mutex);
    F().blockSends = on != 0;
  }
  if (!on) ws::ReleaseArmedWrites();
}

WS_EXPORT(void, WsFaultResetOnSend)(int on) {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().resetOnSend = on != 0;
}

WS_EXPORT(void, WsFaultCloseError)(int code, int times) {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().closeError = code;
  F().closeTimes = times;
}

WS_EXPORT(void, WsFaultFailCall)(const char* function, int nth, int code) {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().failName = function ? function : "";
  F().failBase = F().counts[F().failName];
  F().failNth = nth;
  F().failCode = code;
}

WS_EXPORT(int, WsFaultCallCount)(const char* function) {
  std::lock_guard<std::mutex> lock(F().mutex);
  auto it = F().counts.find(function ? function : "");
  return it == F().counts.end() ? 0 : it->second;
}

WS_EXPORT(void, WsFaultRecordConnect)(int on) {
  std::lock_guard<std::mutex> lock(F().mutex);
  F().recordConnect = on != 0;
}

WS_EXPORT(int, WsFaultLastConnect)(char* buf, int len) {
  std::lock_guard<std::mutex> lock(F().mutex);
  const std::string& t = F().lastConnect;
  if (buf && len > 0) {
    const std::size_t n = t.size() < static_cast<std::size_t>(len - 1) ? t.size() : len - 1;
    std::memcpy(buf, t.data(), n);
    buf[n] = '\0';
  }
  return static_cast<int>(t.size());
}

WS_EXPORT(void, WsFaultStallLookups)(int on) { ws::StallLookups(on != 0); }

WS_EXPORT(int, WsFaultStalledLookups)() { return ws::StalledLookups(); }
