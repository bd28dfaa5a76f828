// Figures of the automatic login against a real telnet server (inetutils
// telnetd with a login script, on 127.0.0.1, through a relay that times
// what passes):
//   login_ms        connect to password sent, median of 20 logins of the
//                   program's window (Connect, login, Disconnect);
//   login_baseline_ms  the same for a minimal scripted client: blocking
//                   reads, the same answers to the server's options, each
//                   prompt answered with one send, TCP_NODELAY;
//   login_ratio     baseline over ours (goal: at least 0.9).
#include "tervane_client_form.h"

#include <poll.h>

#include <QApplication>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "common/host_peer.h"
#include "common/login_peers.h"
#include "loop_bridge.h"
#include "scripted_login.h"

namespace {

constexpr int kLogins = 20;
const std::string kUser = "alice", kPassword = "s3cret";

// Runs Qt's loop (and through it ours) until `done`; false after 10 s.
bool RunUntil(const std::function<bool()>& done) {
  const long long deadline = peer::NowMs() + 10000;
  while (!done()) {
    if (peer::NowMs() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    poll(nullptr, 0, 1);
  }
  return true;
}

double Median(std::vector<long long> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? -1 : n % 2 == 1 ? static_cast<double>(values[n / 2])
                                  : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  TLoopBridge bridge;
  if (!peer::HaveInetutilsTelnetd()) {
    std::fprintf(stderr, "%s is missing (package inetutils-telnetd)\n", peer::kInetutilsTelnetd);
    return 1;
  }
  const std::string dir = peer::MakeTempDir();
  peer::WriteFile(dir + "/login", peer::kScriptedLogin, true);
  int status = 0;
  {
    peer::PrivateInetd server({peer::kInetutilsTelnetd, "-h", "-E", dir + "/login"});
    peer::LoginRelay relay(server.Port(), kPassword + "\r");
    peer::WriteFile(dir + "/Tervane.ini", "[Settings]\nHostName=127.0.0.1\nTelnetPort=" +
                                              std::to_string(relay.Port()) + "\nUserName=" +
                                              kUser + "\nPassword=" + kPassword +
                                              "\nAutoConnect=0\n");
    TTervaneClientForm form(dir + "/TervaneWinC");
    std::vector<long long> ours, theirs;
    // Taken in turns, so that a change of the machine's load meets both.
    for (int i = 0; i < kLogins && status == 0; ++i) {
      const int mine = relay.Sessions();
      form.ConnectButton->click();
      if (!RunUntil([&] { return relay.Sessions() > mine && relay.Get(mine).watchedMs >= 0; })) {
        std::fprintf(stderr, "login %d: the program sent no password\n", i + 1);
        status = 1;
      }
      form.DisconnectButton->click();
      if (!RunUntil([&] { return relay.Sessions() > mine && relay.Get(mine).ended; })) status = 1;
      if (status != 0) break;
      ours.push_back(relay.Get(mine).watchedMs - relay.Get(mine).acceptedMs);

      const int base = relay.Sessions();
      if (!ScriptedLogin(relay.Port(), kUser, kPassword)) {
        std::fprintf(stderr, "login %d: the scripted client sent no password\n", i + 1);
        status = 1;
        break;
      }
      if (!RunUntil([&] { return relay.Sessions() > base && relay.Get(base).ended; })) status = 1;
      theirs.push_back(relay.Get(base).watchedMs - relay.Get(base).acceptedMs);
    }
    if (status == 0) {
      const double a = Median(ours), b = Median(theirs);
      std::printf("login_ms: %.1f ms\n", a);
      std::printf("login_baseline_ms: %.1f ms\n", b);
      std::printf("login_ratio: %.2f\n", a > 0 ? b / a : 0.0);
    }
  }
  peer::RemoveTree(dir);
  return status;
}
