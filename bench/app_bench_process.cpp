// Starts TervaneWinC against the simulator and reads its figures from /proc.
#include "app_bench_process.h"

#include "router_sim/launch.h"

#include <tervane/platform.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long StatusField(const fs::path& status, const std::string& field) {
  const std::string s = ReadFile(status);
  const std::size_t at = s.find(field + ":");
  return at == std::string::npos ? 0 : std::atol(s.c_str() + at + field.size() + 1);
}

// Voluntary and involuntary switches summed over every thread.
long ContextSwitches(pid_t pid) {
  long total = 0;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    total += StatusField(task.path() / "status", "voluntary_ctxt_switches");
    total += StatusField(task.path() / "status", "nonvoluntary_ctxt_switches");
  }
  return total;
}

template <class Pred>
bool WaitUntil(Pred pred, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace

ProgramFigures MeasureProgram(int idleSeconds) {
  ProgramFigures figures;
  const fs::path bin = tervane::ExecutableDir();
  std::string tmpl = (fs::temp_directory_path() / "tvbench.XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) return figures;
  const fs::path dir = tmpl;
  const fs::path log = dir / "router.log";

  // The simulator, on a free loopback port.
  router_sim::Process sim =
      router_sim::Start((bin / "tervane_router_sim").string(), {"--log", log.string()});
  const int port = sim.port;

  // A private copy of the program, so that its settings file (named after
  // it, beside it) is ours; its libraries are found beside it.
  fs::copy_file(bin / "TervaneWinC", dir / "TervaneWinC");
  for (const auto& e : fs::directory_iterator(bin))
    if (e.path().extension() == ".so") fs::create_symlink(e.path(), dir / e.path().filename());
  std::ofstream(dir / "Tervane.ini") << "[Settings]\nHostName=127.0.0.1\nTelnetPort=" << port
                                     << "\nUserName=User\nPassword=Lanterns\nAutoConnect=1\n";

  pid_t program = -1;
  if (port > 0) {
    const auto start = Clock::now();
    program = fork();
    if (program == 0) {
      // Measured headless, never on the desktop of whoever runs the bench.
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      unsetenv("DISPLAY");
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      const std::string exe = (dir / "TervaneWinC").string();
      execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (WaitUntil([&] { return fs::exists(log) && fs::file_size(log) > 0; }, 10000))
      figures.startToTrayMs =
          std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool loggedIn = WaitUntil(
        [&] { return ReadFile(log).find("Lanterns\r") != std::string::npos; }, 10000);
    if (loggedIn) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the shell prompt arrives
      const long before = ContextSwitches(program);
      std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
      const long after = ContextSwitches(program);
      figures.idleSwitchesPerS = static_cast<double>(after - before) / idleSeconds;
      figures.idleRssMb =
          StatusField("/proc/" + std::to_string(program) + "/status", "VmRSS") / 1024.0;
    }
  }

  if (program > 0) {
    kill(program, SIGTERM);
    waitpid(program, nullptr, 0);
  }
  router_sim::Stop(sim);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return figures;
}
