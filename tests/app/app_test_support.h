// Shared pieces of the tray program's tests: the Qt application on the
// offscreen platform with the loop bridge, message boxes that record and
// answer, a scratch folder, and the router simulator on a loopback port.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QInputDevice>
#include <QTest>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tervane/platform.h>

#include "loop_bridge.h"
#include "common/host_peer.h"
#include "message_boxes.h"
#include "router_sim/launch.h"

namespace apptest {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "app_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* a = new QApplication(argc, argv);
    a->setQuitOnLastWindowClosed(false);
    new TLoopBridge(a);
    return a;
  }();
  // Qt makes the core keyboard device on the first key event and keeps it
  // only through weak references, so a leak checker counts it as lost when
  // a test builds key events by hand.  Holding it here keeps it reachable.
  static const QInputDevice* keyboard = QInputDevice::primaryKeyboard();
  (void)keyboard;
  return *app;
}

// Runs both loops until pred holds; false after the watchdog's limit.
template <class Pred>
bool WaitFor(Pred pred, int ms = 5000) {
  return QTest::qWaitFor(pred, ms);
}

// What the program showed, and the answers it gets.
struct Box {
  std::string kind;  // "message", "ask", "error"
  std::string title;
  std::string text;
};

class RecordingBoxes : public TMessageBoxes {
 public:
  RecordingBoxes() { InstallMessageBoxes(this); }
  ~RecordingBoxes() override { InstallMessageBoxes(nullptr); }
  void ShowMessage(const std::string& Text) override { shown.push_back({"message", "", Text}); }
  bool AskYesNo(const std::string& Title, const std::string& Text) override {
    shown.push_back({"ask", Title, Text});
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << Text;
      return false;
    }
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowError(const std::string& Text) override { shown.push_back({"error", "", Text}); }

  std::vector<Box> shown;
  std::deque<bool> answers;
};

// A folder of the test's own, removed with it.
class ScratchDir {
 public:
  ScratchDir() : path(peer::MakeTempDir()) {}
  ~ScratchDir() { peer::RemoveTree(path); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return path + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    peer::WriteFile(File(name), content);
  }
  std::string path;
};

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using router_sim::StripTelnet;

// tervane_router_sim from the build's bin folder, on 127.0.0.1, port picked
// by the system.  Every byte it receives goes to its log file.  It sends the
// password prompt behind the echo of the user name's line end, in one
// write, so every login meets that case.
class RouterSim {
 public:
  explicit RouterSim(const std::string& logFile, const std::string& user = "admin",
                     const std::string& password = "secret")
      : log(logFile),
        process(router_sim::Start(tervane::ExecutableDir() + "tervane_router_sim",
                                  {"--user", user, "--password", password, "--log", logFile,
                                   "--echo-login"})),
        port(process.port) {}
  ~RouterSim() { router_sim::Stop(process); }
  std::string Log() const { return ReadFile(log); }

  std::string log;
  router_sim::Process process;
  int port;
};

}  // namespace apptest

namespace apptest {

// The program itself, copied into a scratch folder of its own with the
// libraries it loads, since its settings file sits beside the executable
// (copies, not links: another user may have to run it from there).
class ProgramCopy {
 public:
  ProgramCopy() {
    const std::string bin = tervane::ExecutableDir();
    for (const char* file : {"TervaneWinC", "libwsock32.so", "libtvplatform.so"})
      std::filesystem::copy_file(bin + file, dir.File(file));
  }
  std::string exe() const { return dir.File("TervaneWinC"); }
  std::string ini() const { return dir.File("Tervane.ini"); }
  // A settings file that points at the simulator and logs in there.
  void WriteIni(int port, const std::string& autoConnect = "1") const {
    dir.Write("Tervane.ini", "[Settings]\nHostName=127.0.0.1\nTelnetPort=" + std::to_string(port) +
                                 "\nUserName=admin\nPassword=secret\nAutoConnect=" + autoConnect +
                                 "\n");
  }
  ScratchDir dir;
};

}  // namespace apptest
