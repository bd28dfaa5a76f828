// The debug-output sinks chosen by TERVANE_DEBUG_OUTPUT (debug_output.h).
#include "debug_output.h"

#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <tervane/platform.h>

namespace {

// A trace line arrives in several writes (its number, then its text); the
// journal wants one record per line, so text is held until its line end.
class JournalSink {
 public:
  void operator()(const char* text) {
    FLine += text;
    std::size_t end;
    while ((end = FLine.find('\n')) != std::string::npos) {
      std::string line = FLine.substr(0, end);
      FLine.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      syslog(LOG_DEBUG, "%s", line.c_str());
    }
  }

 private:
  std::string FLine;
};

}  // namespace

void InstallDebugOutput() {
  const char* where = std::getenv("TERVANE_DEBUG_OUTPUT");
  if (where == nullptr || *where == '\0') return;
  if (std::strcmp(where, "stderr") == 0) {
    tervane::SetDebugSink([](const char* text) {
      std::fputs(text, stderr);
      std::fflush(stderr);
    });
  } else if (std::strcmp(where, "journal") == 0) {
    openlog("TervaneWinC", LOG_PID, LOG_USER);
    auto sink = std::make_shared<JournalSink>();
    tervane::SetDebugSink([sink](const char* text) { (*sink)(text); });
  } else {
    std::fprintf(stderr,
                 "TervaneWinC: TERVANE_DEBUG_OUTPUT=%s is neither \"stderr\" nor \"journal\"; "
                 "debug output stays off\n",
                 where);
  }
}
