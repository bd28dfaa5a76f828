// Real telnet servers for the login tests and the login benchmark: a
// private inetd on a loopback port that starts one daemon per connection
// (inetutils telnetd, BusyBox telnetd in inetd mode), a throwaway account
// for the real /bin/login, and a relay between the program and the server
// that records both directions and when the password line went through.
// Declared without system headers, like host_peer.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace peer {

// A login program of our own: "router login: " (a router names itself
// before the prompt), a line, "Password: ", a line, a greeting, then the
// shell loop of kEchoShell.
extern const char* const kScriptedLogin;
// A login shell that answers every line with "got " and the line, each
// answer followed by the prompt "# ", so a test sees a command arrive.
extern const char* const kEchoShell;

const char* const kInetutilsTelnetd = "/usr/sbin/telnetd";
const char* const kBusybox = "/bin/busybox";
// True when `path` is there to be run; BusyBox also needs its telnetd.
bool HaveInetutilsTelnetd();
bool HaveBusyboxTelnetd();

// Listens on 127.0.0.1 (a port of the system's choice, so no other program
// can take it between choosing and listening) and runs `argv` for each
// connection, the connection its standard input and output, as inetd does.
class PrivateInetd {
 public:
  explicit PrivateInetd(std::vector<std::string> argv);
  // Stops listening and waits for the daemons still running, ending those
  // that outlive their connection.
  ~PrivateInetd();
  PrivateInetd(const PrivateInetd&) = delete;
  PrivateInetd& operator=(const PrivateInetd&) = delete;
  int Port() const;

 private:
  struct State;
  std::unique_ptr<State> F;
};

// A local account that lives as long as the object: a fresh name, the
// password and login shell given, `home` as its home folder.  Needs root;
// Error() tells why it could not be made.
class ThrowawayUser {
 public:
  ThrowawayUser(const std::string& password, const std::string& shell, const std::string& home);
  ~ThrowawayUser();
  ThrowawayUser(const ThrowawayUser&) = delete;
  ThrowawayUser& operator=(const ThrowawayUser&) = delete;
  const std::string& Name() const { return FName; }
  const std::string& Error() const { return FError; }

 private:
  std::string FName, FError;
  bool FMade = false;
};

// A relay on 127.0.0.1 to a server on `targetPort`, on a thread of its own.
// Each client it accepts is one session, passed on to a new connection to
// the server; TCP_NODELAY on both sides, so it adds no delay of its own.
class LoginRelay {
 public:
  struct Session {
    std::string fromClient, fromServer;
    long long acceptedMs = -1;  // NowMs() when the client was accepted
    long long watchedMs = -1;   // NowMs() when `watched` had come from the client
    bool ended = false;         // either side closed; both are closed now
  };
  LoginRelay(int targetPort, std::string watched);
  ~LoginRelay();
  LoginRelay(const LoginRelay&) = delete;
  LoginRelay& operator=(const LoginRelay&) = delete;
  int Port() const;
  int Sessions() const;
  Session Get(int i) const;  // a copy of session i, 0 <= i < Sessions()

 private:
  struct State;
  std::unique_ptr<State> F;
};

}  // namespace peer
