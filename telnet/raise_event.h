// Raising an event of the telnet component.
#pragma once

#include <utility>

// Calls `slot` through a copy when it is set: a handler may assign its own
// slot (the program does, on reconnecting), which would otherwise destroy
// the closure while it runs.
template <class Slot, class... Args>
void RaiseEvent(const Slot& slot, Args&&... args) {
  if (!slot) return;
  Slot handler = slot;
  handler(std::forward<Args>(args)...);
}
