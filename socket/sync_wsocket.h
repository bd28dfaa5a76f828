// TCustomSyncWSocket: waiting for an event with a time-out while pumping
// messages.
//
// A caller starts an operation and waits, in a nested message loop, until a
// flag of its own becomes true (set by one of its event handlers), the
// optional WaitTimeout passes, or a quit request was seen.  Every event of
// every component on the thread can fire inside the wait, including
// another wait; an inner wait on the same socket moves the outer wait's stop
// time (both use WaitStopTime).
#pragma once

#include <functional>

#include "line_wsocket.h"

// Result of a wait that ended without the flag (time-out or quit).
inline constexpr int kWaitTimedOut = 12001;

class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  using TWaitProc = std::function<void()>;

  explicit TCustomSyncWSocket(TComponent* Owner) : TCustomLineWSocket(Owner) {}

  // ---- Virtual operations introduced here, in slot order ------------------
  // Clears DoneFlag, runs Proc (if any), then waits for the flag.
  virtual int RunAndWait(const TWaitProc& Proc, bool& DoneFlag);
  // 0 once DoneFlag is true, kWaitTimedOut when the wait ended otherwise.
  virtual int WaitForFlag(bool& DoneFlag);

 protected:
  // The millisecond tick count the wait measures time with (GetTickCount);
  // a seam so that a test can put the 32-bit counter near its wrap.
  virtual DWORD WaitTickCount();
};
