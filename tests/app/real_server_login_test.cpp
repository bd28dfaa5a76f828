// The automatic login against real telnet servers on 127.0.0.1: inetutils
// telnetd and BusyBox telnetd with a login program of our own, and inetutils
// telnetd with the real /bin/login and a throwaway account.  Each server
// gets 20 logins in a row from one window (Connect, login, an access
// command, Disconnect), and the program itself logs in once; a relay checks
// the bytes.  These servers echo the user name's line end and send the
// password prompt in one write or two, as packets happen to go, so a
// prompt rule that holds only for one of the two stalls some logins here.
//
// TERVANE_LOGIN_RUNS sets how many logins each server gets (20 by default),
// for counting stalls over longer runs.
#include "tervane_client_form.h"

#include <sys/stat.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <cstdio>
#include <memory>

#include "app_test_support.h"
#include "common/login_peers.h"
#include "console.h"

namespace {

using apptest::StripTelnet;
using apptest::WaitFor;

int LoginRuns() {
  const char* runs = std::getenv("TERVANE_LOGIN_RUNS");
  return runs != nullptr && std::atoi(runs) > 0 ? std::atoi(runs) : 20;
}

class RealServerLogin : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::App();
    // Folders the daemons' children (perhaps another user) may read.
    chmod(dir.path.c_str(), 0755);
  }
  void TearDown() override { form.reset(); }

  // A settings file beside the window's program name that points at the
  // relay; auto-connect opens the first session.
  void WriteIni(int port, const std::string& user, const std::string& password) {
    dir.Write("Tervane.ini", "[Settings]\nHostName=127.0.0.1\nTelnetPort=" +
                                 std::to_string(port) + "\nUserName=" + user +
                                 "\nPassword=" + password + "\nAutoConnect=1\n");
  }

  // `LoginRuns()` sessions through a relay to `serverPort`; every one must
  // send the user name and the password once each, reach the shell and
  // carry an access command there.
  void LoginLoop(int serverPort, const std::string& user, const std::string& password) {
    peer::LoginRelay relay(serverPort, password + "\r");
    WriteIni(relay.Port(), user, password);
    form = std::make_unique<TTervaneClientForm>(dir.File("TervaneWinC"));
    const int runs = LoginRuns();
    int stalled = 0;
    for (int i = 0; i < runs; ++i) {
      SCOPED_TRACE("login " + std::to_string(i + 1));
      if (i > 0) form->ConnectButton->click();
      // A login takes tens of milliseconds; a stalled one never ends.
      const bool sent = WaitFor(
          [&] { return relay.Sessions() > i && relay.Get(i).watchedMs >= 0; }, 10000);
      if (!sent) {
        ++stalled;
        ADD_FAILURE() << "the password was never sent; the server sent: "
                      << (relay.Sessions() > i ? relay.Get(i).fromServer : "(no session)");
      } else {
        EXPECT_TRUE(WaitFor([&] {
          const auto lines = ConsoleLines(form->DisplayMemo);
          return !lines.empty() && lines.back() == "# ";
        })) << "no shell prompt";
        form->UpButton->click();
        EXPECT_TRUE(WaitFor([&] {
          return relay.Get(i).fromServer.find("got control up\r") != std::string::npos;
        })) << "the command did not reach the shell: " << relay.Get(i).fromServer;
      }
      form->DisconnectButton->click();
      ASSERT_TRUE(WaitFor([&] {
        return form->StatPanel->text() == "Status: Disconnected" && relay.Get(i).ended;
      }));
      if (sent) {
        EXPECT_EQ(StripTelnet(relay.Get(i).fromClient),
                  user + "\r" + password + "\rcontrol unblock\rcontrol up\r");
      }
    }
    std::printf("password never sent: %d of %d logins\n", stalled, runs);
    EXPECT_EQ(relay.Sessions(), runs);
  }

  apptest::ScratchDir dir;
  apptest::RecordingBoxes boxes;
  std::unique_ptr<TTervaneClientForm> form;
};

TEST_F(RealServerLogin, InetutilsTelnetdWithALoginScript) {
  if (!peer::HaveInetutilsTelnetd())
    GTEST_SKIP() << peer::kInetutilsTelnetd << " is missing (package inetutils-telnetd)";
  peer::WriteFile(dir.File("login"), peer::kScriptedLogin, true);
  peer::PrivateInetd server({peer::kInetutilsTelnetd, "-h", "-E", dir.File("login")});
  LoginLoop(server.Port(), "alice", "s3cret");
}

TEST_F(RealServerLogin, BusyboxTelnetdWithALoginScript) {
  if (!peer::HaveBusyboxTelnetd())
    GTEST_SKIP() << peer::kBusybox << " is missing or has no telnetd applet (package busybox-static)";
  peer::WriteFile(dir.File("login"), peer::kScriptedLogin, true);
  peer::WriteFile(dir.File("issue"), "");
  peer::PrivateInetd server(
      {peer::kBusybox, "telnetd", "-i", "-l", dir.File("login"), "-f", dir.File("issue")});
  LoginLoop(server.Port(), "alice", "s3cret");
}

TEST_F(RealServerLogin, InetutilsTelnetdWithTheRealLogin) {
  if (!peer::HaveInetutilsTelnetd())
    GTEST_SKIP() << peer::kInetutilsTelnetd << " is missing (package inetutils-telnetd)";
  if (geteuid() != 0) GTEST_SKIP() << "a throwaway login account needs root";
  peer::WriteFile(dir.File("shell"), peer::kEchoShell, true);
  chmod(dir.File("shell").c_str(), 0755);
  const std::string password = "Tv-login-7x";
  peer::ThrowawayUser account(password, dir.File("shell"), dir.path);
  ASSERT_EQ(account.Error(), "");
  {
    peer::PrivateInetd server({peer::kInetutilsTelnetd, "-h"});
    LoginLoop(server.Port(), account.Name(), password);
    form.reset();
  }  // the daemons are gone before the account goes
}

// The program as started from its folder: its settings file's auto-connect
// logs it in through the same servers' dialogue.
TEST_F(RealServerLogin, TheProgramItselfLogsIn) {
  if (!peer::HaveInetutilsTelnetd())
    GTEST_SKIP() << peer::kInetutilsTelnetd << " is missing (package inetutils-telnetd)";
  apptest::ProgramCopy copy;
  peer::WriteFile(copy.dir.File("login"), peer::kScriptedLogin, true);
  peer::PrivateInetd server({peer::kInetutilsTelnetd, "-h", "-E", copy.dir.File("login")});
  peer::LoginRelay relay(server.Port(), "secret\r");
  copy.WriteIni(relay.Port());

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
  env.remove(QStringLiteral("DISPLAY"));
  QProcess program;
  program.setProcessEnvironment(env);
  program.start(QString::fromStdString(copy.exe()), {});
  ASSERT_TRUE(program.waitForStarted());
  EXPECT_TRUE(WaitFor(
      [&] {
        return relay.Sessions() == 1 &&
               relay.Get(0).fromServer.find("Welcome admin") != std::string::npos;
      },
      30000));
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(30000));
  ASSERT_TRUE(WaitFor([&] { return relay.Get(0).ended; }));
  EXPECT_EQ(StripTelnet(relay.Get(0).fromClient), "admin\rsecret\r");
}

}  // namespace
