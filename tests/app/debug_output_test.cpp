// The program's telnet trace lines reach the place README names for each
// value of TERVANE_DEBUG_OUTPUT: standard error as written, syslog (the
// journal on systemd machines) one record per line, nowhere when unset.
// The peer on 127.0.0.1 opens with IAC NOP, a command with no rule of its
// own, so the program's first trace line is "0001 Unknown F1 '\xf1'".
#include <sys/stat.h>

#include <QProcess>
#include <atomic>
#include <thread>

#include "app_test_support.h"
#include "common/log_socket.h"

namespace {

using apptest::WaitFor;

// Accepts the program once, sends the NOP and a login prompt, and holds the
// connection until the program answers.
class NopPeer {
 public:
  NopPeer() {
    FListener = peer::ListenLoopback(&port);
    FThread = std::thread([this] {
      const int fd = peer::AcceptWithin(FListener, 20000);
      if (fd < 0) return;
      peer::SendAll(fd, "\xff\xf1router login: ");
      // The login answer is the first thing it sends: once it comes, the
      // chunk with the NOP has been read.
      answered = peer::WaitReadable(fd, 20000);
      peer::CloseFd(fd);
    });
  }
  ~NopPeer() {
    FThread.join();
    peer::CloseFd(FListener);
  }
  int port = 0;
  std::atomic<bool> answered{false};

 private:
  int FListener = -1;
  std::thread FThread;
};

class DebugOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { apptest::App(); }

  // Starts `program args` (the program's copy, or a wrapper around it)
  // with TERVANE_DEBUG_OUTPUT set to `where` (unset when empty), waits
  // until it has logged in at the peer, ends it, and gives its stderr.
  std::string Run(const QString& program, const QStringList& args, const std::string& where) {
    NopPeer nop;
    copy.WriteIni(nop.port);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("TERVANE_DEBUG_OUTPUT"));
    if (!where.empty())
      env.insert(QStringLiteral("TERVANE_DEBUG_OUTPUT"), QString::fromStdString(where));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted());
    EXPECT_TRUE(WaitFor([&] { return nop.answered.load(); }, 30000)) << "no login at the peer";
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(30000));
    return p.readAllStandardError().toStdString();
  }
  QString Exe() const { return QString::fromStdString(copy.exe()); }

  apptest::ProgramCopy copy;
};

const std::string kFirstLine = "0001 Unknown F1 '\xf1'\r\n";

TEST_F(DebugOutputTest, StandardErrorGetsTheLinesAndUnsetGivesNone) {
  EXPECT_NE(Run(Exe(), {}, "stderr").find(kFirstLine), std::string::npos);
  EXPECT_EQ(Run(Exe(), {}, "").find("Unknown"), std::string::npos);
  const std::string refused = Run(Exe(), {}, "console");
  EXPECT_NE(refused.find("TERVANE_DEBUG_OUTPUT=console"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("Unknown"), std::string::npos);
}

// syslog writes to /dev/log: the program runs in a mount namespace of its
// own whose /dev holds a link to the test's socket, so the machine's own
// log is never touched.
TEST_F(DebugOutputTest, JournalGetsOneRecordPerLine) {
  if (geteuid() != 0) GTEST_SKIP() << "a private /dev/log needs root (a mount namespace)";
  const std::string sockPath = copy.dir.File("log");
  peer::LogSocket log(sockPath);
  const std::string olddev = copy.dir.File("dev");
  ASSERT_EQ(mkdir(olddev.c_str(), 0700), 0);
  if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
    GTEST_SKIP() << "unshare -m is not allowed here";
  const std::string script =
      "mount --bind /dev '" + olddev + "' && mount -t tmpfs none /dev && "
      "for f in null zero random urandom; do touch /dev/$f && "
      "mount --bind '" + olddev + "'/$f /dev/$f || exit 1; done && "
      "ln -s '" + sockPath + "' /dev/log && exec \"$0\"";
  Run(QStringLiteral("unshare"),
      {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
       QString::fromStdString(script), Exe()},
      "journal");

  const std::vector<std::string> records = log.Take();
  ASSERT_FALSE(records.empty()) << "nothing reached syslog";
  // "<15>Mmm dd hh:mm:ss TervaneWinC[pid]: 0001 Unknown F1 '\xf1'": debug
  // priority of the user facility, the program's name, the line without
  // its CR LF.
  const std::string& r = records.front();
  EXPECT_EQ(r.rfind("<15>", 0), 0u) << r;
  EXPECT_NE(r.find(" TervaneWinC["), std::string::npos) << r;
  const std::string tail = "]: 0001 Unknown F1 '\xf1'";
  EXPECT_TRUE(r.size() >= tail.size() && r.compare(r.size() - tail.size(), tail.size(), tail) == 0)
      << r;
}

}  // namespace
