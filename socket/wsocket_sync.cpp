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

// Between two pumps the wait sleeps on the loop until a message arrives or
// the stop time comes, instead of spinning.  A quit seen by any pump below
// (ours, the application's) sets Terminated and ends this wait and every
// later one.
int TCustomSyncWSocket::WaitForFlag(bool& DoneFlag) {
  TBusyFrame frame;
  WaitStopTime = static_cast<int>(WaitTickCount() + static_cast<DWORD>(WaitTimeout));
  for (;;) {
    if (DoneFlag) return 0;
    // The 32-bit tick count wraps (every 49.7 days, and its signed view
    // every 24.8): compare the distance to the stop time, not the two
    // values, so a wait across either wrap ends on time.
    const std::int32_t left =
        static_cast<std::int32_t>(static_cast<DWORD>(WaitStopTime) - WaitTickCount());
    if (WaitTimeout > 0 && left < 0) return kWaitTimedOut;
    if (Terminated) return kWaitTimedOut;
    PumpMessages();
    if (DoneFlag || Terminated) continue;
    WaitForMessages(WaitTimeout > 0 ? static_cast<DWORD>(left) + 1 : INFINITE);
  }
}
