// Loads the fault-injecting socket module in place of the plain one for
// the life of a test, and reaches its controls.
#pragma once

#include <string>

#include <tervane/platform.h>

#include "../../platform/wsock32/wsock_fault.h"
#include "wsocket.h"

namespace sockettest {

class FaultModule {
 public:
  explicit FaultModule(const std::string& file = "libwsock32_fault.so") {
    // The next load of the library must be the fault build.
    UnloadSocketLibrary();
    tervane::SetModulePath("wsock32.dll", tervane::ExecutableDir() + file);
    module_ = LoadLibraryA("wsock32.dll");
    if (module_ != nullptr) Reset();
  }
  ~FaultModule() {
    if (module_ != nullptr) {
      Reset();
      FreeLibrary(module_);
    }
    UnloadSocketLibrary();
    tervane::SetModulePath("wsock32.dll", "");
  }
  FaultModule(const FaultModule&) = delete;
  FaultModule& operator=(const FaultModule&) = delete;

  template <class Fn>
  Fn Get(const char* name) {
    return reinterpret_cast<Fn>(GetProcAddress(module_, name));
  }
  // The plain variants have no controls: nothing to reset there.
  void Reset() {
    if (auto fn = Get<WsFaultResetFn>("WsFaultReset")) fn();
  }
  void StartupError(int code) { Get<WsFaultStartupErrorFn>("WsFaultStartupError")(code); }
  void SendLimit(int n) { Get<WsFaultSendLimitFn>("WsFaultSendLimit")(n); }
  void BlockSends(bool on) { Get<WsFaultBlockSendsFn>("WsFaultBlockSends")(on ? 1 : 0); }
  void ResetOnSend(bool on) { Get<WsFaultResetOnSendFn>("WsFaultResetOnSend")(on ? 1 : 0); }
  void CloseError(int code, int times) {
    Get<WsFaultCloseErrorFn>("WsFaultCloseError")(code, times);
  }
  void FailCall(const char* fn, int nth, int code) {
    Get<WsFaultFailCallFn>("WsFaultFailCall")(fn, nth, code);
  }
  int CallCount(const char* fn) { return Get<WsFaultCallCountFn>("WsFaultCallCount")(fn); }
  // Look-ups hang like on a name server that never answers; lifted, they
  // go on as usual.  Callable from any thread.
  void StallLookups(bool on) { Get<WsFaultStallLookupsFn>("WsFaultStallLookups")(on ? 1 : 0); }
  int StalledLookups() { return Get<WsFaultStalledLookupsFn>("WsFaultStalledLookups")(); }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace sockettest
