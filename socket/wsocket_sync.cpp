// Synchronous waiting: a nested message loop that ends on the caller's flag,
// a time-out or a quit request.
#include "sync_wsocket.h"

#include <cstdint>

int TCustomSyncWSocket::RunAndWait(const TWaitProc& Proc, bool& DoneFlag) {
  DoneFlag = false;
  if (Proc) Proc();
  return WaitForFlag(DoneFlag);
}

DWORD TCustomSyncWSocket::WaitTickCount() { return GetTickCount(); }

int TCustomSyncWSocket::WaitForFlag(bool& DoneFlag) {
  WaitStopTime = static_cast<int>(WaitTickCount() + static_cast<DWORD>(WaitTimeout));
  for (;;) {
    if (DoneFlag) return 0;
    // The 32-bit tick count wraps (every 49.7 days, and its signed view
    // every 24.8): compare the distance to the stop time, not the two
    // values, so a wait across either wrap ends on time.
    if (WaitTimeout > 0 &&
        static_cast<std::int32_t>(WaitTickCount() - static_cast<DWORD>(WaitStopTime)) > 0)
      return kWaitTimedOut;
    if (Terminated) return kWaitTimedOut;
    PumpMessages();
    Sleep(0);
  }
}
