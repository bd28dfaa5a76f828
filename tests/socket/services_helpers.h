// Helpers for the serving, datagram, look-up and auxiliary tests: a TCP or
// UDP listener on loopback with a kernel-chosen port, the module's test
// hosts table, and the text of a report.
#pragma once

#include <string>

#include "socket_fixture.h"

namespace servicestest {

// Listens on `addr` with a port the kernel picks; returns that port.
inline int ListenOn(TCustomWSocket& s, const char* proto, const char* addr = "127.0.0.1") {
  s.SetProto(proto);
  s.SetAddr(addr);
  s.SetPort("0");
  s.Listen();
  return std::stoi(s.GetBoundPort());
}

// Names answered by the module's hosts seam, never by a name server.  The
// seam is in the module's test builds only: the socket layer loads the
// plain test build for the seam's life, unless a test build was chosen
// already (FaultModule's has the seam too: pass kChosenModule).  Holds the
// module loaded so that the table survives sockets coming and going (the
// last socket unloads the library).
class HostsSeam {
 public:
  static constexpr const char* kChosenModule = nullptr;
  explicit HostsSeam(const char* file = "libwsock32_test.so") : redirected_(file != nullptr) {
    if (redirected_) {
      // The next load of the library must be the test build (as FaultModule).
      UnloadSocketLibrary();
      tervane::SetModulePath("wsock32.dll", tervane::ExecutableDir() + file);
    }
    module_ = LoadLibraryA("wsock32.dll");
  }
  ~HostsSeam() {
    if (module_ != nullptr) {
      // The table lives as long as the module; empty it so that nothing of
      // this test outlives it.
      auto clear = reinterpret_cast<void (*)()>(GetProcAddress(module_, "TvHostsClear"));
      if (clear != nullptr) clear();
      FreeLibrary(module_);
    }
    if (redirected_) {
      UnloadSocketLibrary();
      tervane::SetModulePath("wsock32.dll", "");
    }
  }
  HostsSeam(const HostsSeam&) = delete;
  HostsSeam& operator=(const HostsSeam&) = delete;

  void Set(const char* name, const char* addrs) {
    ASSERT_NE(module_, nullptr);
    auto set = reinterpret_cast<void (*)(const char*, const char*)>(
        GetProcAddress(module_, "TvHostsSet"));
    ASSERT_NE(set, nullptr);
    set(name, addrs);
  }

 private:
  bool redirected_;
  HMODULE module_ = nullptr;
};

// The message of the ESocketException `fn` raises ("" when none).
template <class Fn>
std::string ReportOf(Fn fn) {
  try {
    fn();
  } catch (ESocketException& e) {
    return e.what();
  }
  return "";
}

inline std::string SocketReport(int code, const std::string& context,
                                const std::string& description) {
  return "Error " + std::to_string(code) + " in function " + context + "\r\n" + description;
}

}  // namespace servicestest
