// State of the fault-injecting build.  The module's test builds carry it,
// inert: only the fault build exports the controls (fault_controls.cpp)
// that switch it on.  The shipped module has none of it.
#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "fault_state.h"
#include "wsock_internal.h"

namespace ws {

std::atomic<bool> gFaultsActive{false};

FaultState& Faults() {
  // An object, not a leaked pointer: the module may be loaded and unloaded
  // many times in one process, and each unload must release it.
  static FaultState state;
  return state;
}

bool FaultsActive() { return gFaultsActive.load(std::memory_order_relaxed); }
void ActivateFaults() { gFaultsActive.store(true); }

FaultHit CheckFault(const char* function) {
  FaultHit hit;
  if (!FaultsActive()) return hit;
  FaultState& f = Faults();
  std::lock_guard<std::mutex> lock(f.mutex);
  const int n = ++f.counts[function];
  if (f.failNth > 0 && f.failName == function && n - f.failBase == f.failNth) {
    hit.fail = true;
    hit.code = f.failCode;
    f.failNth = 0;
  }
  return hit;
}

int FaultStartupError() {
  if (!FaultsActive()) return 0;
  std::lock_guard<std::mutex> lock(Faults().mutex);
  return Faults().startupError;
}

int FaultSendLimit() {
  if (!FaultsActive()) return 0;
  std::lock_guard<std::mutex> lock(Faults().mutex);
  return Faults().sendLimit;
}

bool FaultBlockSends() {
  if (!FaultsActive()) return false;
  std::lock_guard<std::mutex> lock(Faults().mutex);
  return Faults().blockSends;
}

bool FaultResetOnSend() {
  if (!FaultsActive()) return false;
  std::lock_guard<std::mutex> lock(Faults().mutex);
  return Faults().resetOnSend;
}

int FaultCloseError() {
  if (!FaultsActive()) return 0;
  std::lock_guard<std::mutex> lock(Faults().mutex);
  FaultState& f = Faults();
  if (f.closeTimes == 0 || f.closeError == 0) return 0;
  if (f.closeTimes > 0) --f.closeTimes;  // negative: fail for ever
  return f.closeError;
}

bool FaultRecordConnect(const std::string& target) {
  if (!FaultsActive()) return false;
  std::lock_guard<std::mutex> lock(Faults().mutex);
  FaultState& f = Faults();
  if (!f.recordConnect) return false;
  f.lastConnect = target;
  return true;
}

}  // namespace ws
