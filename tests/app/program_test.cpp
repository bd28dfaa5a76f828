// The program as a user starts it: its command line, one program per
// settings file, and the settings file of an installed copy in the user's
// own configuration folder.  Each start points at the router simulator on
// 127.0.0.1; none is left without a settings file.
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>

#include "app_test_support.h"
#include "single_instance.h"

namespace {

using apptest::WaitFor;

struct Result {
  int code = -1;
  std::string out, err;
};

Result RunToEnd(const QString& exe, const QStringList& args, const QProcessEnvironment& env) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(exe, args);
  Result r;
  if (!p.waitForStarted() || !p.waitForFinished(30000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

QProcessEnvironment Offscreen() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
  env.remove(QStringLiteral("DISPLAY"));
  return env;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::App();
    ASSERT_GT(sim.port, 0);
  }
  std::string Received() { return apptest::StripTelnet(sim.Log()); }

  apptest::ProgramCopy copy;
  apptest::RouterSim sim{copy.dir.File("router.log")};
};

TEST_F(ProgramTest, HelpVersionAndRefusedArguments) {
  copy.WriteIni(sim.port);
  const QString exe = QString::fromStdString(copy.exe());
  const Result help = RunToEnd(exe, {QStringLiteral("--help")}, Offscreen());
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: TervaneWinC [--help | --version]\n", 0), 0u) << help.out;
  // It names the file this start would use: the one beside the program.
  EXPECT_NE(help.out.find("Settings file: " + copy.ini() + "\n"), std::string::npos) << help.out;

  const Result version = RunToEnd(exe, {QStringLiteral("--version")}, Offscreen());
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("TervaneWinC ", 0), 0u) << version.out;

  // Anything else, a Qt option included: one line, exit code 2, no start.
  for (const QStringList& args : {QStringList{QStringLiteral("--hlep")},
                                  QStringList{QStringLiteral("-platform"), QStringLiteral("xcb")},
                                  QStringList{QStringLiteral("--help"), QStringLiteral("x")}}) {
    const Result refused = RunToEnd(exe, args, Offscreen());
    EXPECT_EQ(refused.code, 2) << args.join(' ').toStdString();
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_NE(refused.err.find("Usage: TervaneWinC"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(Received(), "");  // none of them logged in
}

TEST_F(ProgramTest, SecondStartShowsTheRunningOneAndEnds) {
  copy.WriteIni(sim.port);
  // This test is the running program for that settings file.
  TSingleInstance running(copy.ini());
  ASSERT_TRUE(running.Claim());
  int shown = 0;
  running.OnShowRequest = [&] { ++shown; };

  QProcess second;
  second.setProcessEnvironment(Offscreen());
  second.start(QString::fromStdString(copy.exe()), {});
  ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 30000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(WaitFor([&] { return shown == 1; }));
  // It ended before its window's start-up: no second router session.
  EXPECT_EQ(Received(), "");

  // Another settings file is another program.
  TSingleInstance other(copy.dir.File("Other.ini"));
  EXPECT_NE(other.Name(), running.Name());
  EXPECT_TRUE(other.Claim());
}

TEST_F(ProgramTest, InstalledCopyKeepsItsSettingsInTheUsersConfigFolder) {
  // The program's folder is one the user cannot write: as root the program
  // runs as nobody, otherwise the folder loses its write bit.
  const bool root = geteuid() == 0;
  apptest::ScratchDir xdg;
  const std::string own = xdg.File("tervane");
  ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
  peer::WriteFile(own + "/Tervane.ini",
                  "[Settings]\nHostName=127.0.0.1\nTelnetPort=" + std::to_string(sim.port) +
                      "\nUserName=admin\nPassword=secret\nAutoConnect=1\n");
  QString exe = QString::fromStdString(copy.exe());
  QStringList args;
  if (root) {
    chmod(copy.dir.path.c_str(), 0755);
    chmod(xdg.path.c_str(), 0755);
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown((own + "/Tervane.ini").c_str(), 65534, 65534), 0);
    args = {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups"), QStringLiteral("--"), exe};
    exe = QStringLiteral("setpriv");
  } else {
    chmod(copy.dir.path.c_str(), 0555);
  }
  QProcessEnvironment env = Offscreen();
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(xdg.path));

  // Only a start that finds this file goes on: one that found none would
  // show the first-start message and, once answered, use the defaults.
  const Result help = RunToEnd(exe, args + QStringList{QStringLiteral("--help")}, env);
  ASSERT_NE(help.out.find("Settings file: " + own + "/Tervane.ini\n"), std::string::npos)
      << help.out << help.err;

  QProcess program;
  program.setProcessEnvironment(env);
  program.start(exe, args);
  ASSERT_TRUE(program.waitForStarted());
  EXPECT_TRUE(WaitFor([&] { return Received() == "admin\rsecret\r"; }, 15000)) << Received();
  program.terminate();
  program.waitForFinished();
  chmod(copy.dir.path.c_str(), 0700);  // so that the scratch folder can go
  // Nothing was put beside the program.
  EXPECT_FALSE(std::filesystem::exists(copy.ini()));
}

}  // namespace
