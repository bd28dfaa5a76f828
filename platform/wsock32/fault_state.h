// The fault-injection settings shared by the checks (fault_state.cpp) and
// the controls exported by the fault build (fault_controls.cpp).
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace ws {

struct FaultState {
  std::mutex mutex;
  int startupError = 0;
  int sendLimit = 0;
  bool blockSends = false;
  bool resetOnSend = false;
  int closeError = 0;
  int closeTimes = 0;
  std::string failName;
  int failNth = 0;   // 0: no planned failure
  int failBase = 0;  // calls of failName counted when it was planned
  int failCode = 0;
  bool recordConnect = false;
  std::string lastConnect;
  std::map<std::string, int> counts;
};

FaultState& Faults();

}  // namespace ws
