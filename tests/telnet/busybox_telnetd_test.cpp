// TTnCnx against a real telnet daemon (BusyBox telnetd on 127.0.0.1, with a
// login program of our own), through a relay that records both directions:
// the daemon's opening gets the fixed answers, and a login dialogue runs.
#include "session_fixture.h"

namespace {

const char* const kBusybox = "/bin/busybox";

// A stand-in for login: two prompts, a greeting, and it exits after one
// more line (the daemon, told -K, drops the session as soon as it exits,
// perhaps before the pty's last output has gone out).
const char* const kLoginScript =
    "#!/bin/sh\n"
    "printf 'login: '\n"
    "read user\n"
    "printf 'Password: '\n"
    "read pass\n"
    "printf 'Welcome %s\\r\\n' \"$user\"\n"
    "read bye\n";


class TnBusyboxTelnetd : public TnSessionTest {
 protected:
  void SetUp() override {
    TnSessionTest::SetUp();
    dir = peer::MakeTempDir();
    peer::WriteFile(dir + "/login", kLoginScript, true);
    peer::WriteFile(dir + "/issue", "", false);
    port = peer::FreePort();
    daemon = peer::Spawn({kBusybox, "telnetd", "-F", "-K", "-b", "127.0.0.1", "-p",
                          std::to_string(port), "-l", dir + "/login", "-f", dir + "/issue"});
  }
  void TearDown() override {
    peer::Stop(daemon);
    peer::RemoveTree(dir);
    TnSessionTest::TearDown();
  }

  // Pump the loop and the relay together.
  bool Run(const std::function<bool()>& done, int ms = 5000) {
    return PumpUntil(
        [&] {
          relay->Step();
          return done();
        },
        ms);
  }

  std::string dir;
  int port = 0, daemon = -1;
  std::unique_ptr<peer::RecordingRelay> relay;
};

TEST_F(TnBusyboxTelnetd, OpeningIsAnsweredAndLoginDialogueRuns) {
  if (!peer::OutputHasLine(std::string(kBusybox) + " --list 2>/dev/null", "telnetd"))
    GTEST_SKIP() << kBusybox << " is missing or has no telnetd applet (package busybox-static)";
  ASSERT_TRUE(peer::WaitListening(port, 3000)) << "telnetd did not start listening";
  relay = std::make_unique<peer::RecordingRelay>(port);
  int echoEvents = 0;
  cnx->OnLocalEcho = [&](TObject*) { ++echoEvents; };
  cnx->LocalEcho = true;
  cnx->Host = "127.0.0.1";
  cnx->Port = std::to_string(relay->Port());
  cnx->Connect();
  ASSERT_TRUE(Run([&] { return received.find("login: ") != std::string::npos; }))
      << "no login prompt; got: " << TnShowText(received);
  ASSERT_EQ(connectResult, 0);

  // The daemon opens with DO ECHO, DO NAWS, WILL ECHO, WILL SGA; the
  // answers: nothing, WONT NAWS, DO ECHO, DO SGA.
  EXPECT_EQ(relay->FromServer().substr(0, 12),
            "\xff\xfd\x01\xff\xfd\x1f\xff\xfb\x01\xff\xfb\x03");
  ASSERT_TRUE(Run([&] { return relay->FromClient().size() >= 9; }));
  EXPECT_EQ(relay->FromClient(), "\xff\xfc\x1f\xff\xfd\x01\xff\xfd\x03");
  EXPECT_FALSE(cnx->LocalEcho);
  EXPECT_EQ(echoEvents, 2);
  EXPECT_EQ(received.find('\xff'), std::string::npos) << "commands leaked into the data";

  // The owner's dialogue, as the controller runs it: text, then "\r".
  cnx->SendStr("alice");
  cnx->SendStr("\r");
  ASSERT_TRUE(Run([&] { return received.find("Password: ") != std::string::npos; }))
      << TnShowText(received);
  cnx->SendStr("secret");
  cnx->SendStr("\r");
  ASSERT_TRUE(Run([&] { return received.find("Welcome alice") != std::string::npos; }))
      << TnShowText(received);
  // The login program exits and the daemon ends the session.
  cnx->SendStr("bye\r");
  ASSERT_TRUE(Run([&] { return closes == 1; })) << TnShowText(received);
}

}  // namespace
