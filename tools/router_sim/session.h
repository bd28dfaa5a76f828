// One telnet client of the router simulator: option negotiation, the login
// dialogue and a tiny shell that understands the "control" command.  No I/O
// here: bytes come in through Feed(), bytes to send collect in Output(), and
// the caller drives the pauses through Deadline()/Tick().
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>

namespace routersim {

using Clock = std::chrono::steady_clock;

// What the router was last told; shared by every session, as a router's
// state would be.
struct AccessState {
  bool up = false;
  bool blocked = false;
  bool forced = false;
};

class Session {
 public:
  // echoLogin: the password prompt follows the echo of the user name's
  // line end at once, in the same write ("\r\nPassword: "), as many real
  // servers send it; otherwise it comes alone after a pause.
  Session(std::string user, std::string password, AccessState& state, bool echoLogin = false);

  // Sends the negotiation, the banner and the login prompt.
  void Start();
  void Feed(const char* data, std::size_t len);
  // Time of the next scheduled write (the delayed prompts), if any.
  std::optional<Clock::time_point> Deadline() const { return FDeadline; }
  void Tick(Clock::time_point now);

  std::string TakeOutput() { return std::exchange(FOutput, {}); }
  bool WantsClose() const { return FClose && FOutput.empty(); }

 private:
  // Where the dialogue stands.
  enum class Phase {
    User,          // reading the user name
    PasswordWait,  // user name read; the password prompt comes after a pause
    Password,      // reading the password (not echoed)
    LoginWait,     // wrong credentials; a new login prompt comes after a pause
    Shell,         // logged in: command lines
  };
  // Telnet command parser states.
  enum class Tn { Data, Iac, Option, Sub, SubIac, Cr };

  void DataByte(unsigned char c);
  void Line(const std::string& line);
  void Command(const std::string& line);
  void Prompt();

  std::string FUser;
  std::string FPassword;
  AccessState& FState;
  bool FEchoLogin;
  Phase FPhase = Phase::User;
  Tn FTn = Tn::Data;
  unsigned char FVerb = 0;  // verb of the option command being read
  std::string FLine;
  std::string FGivenUser;
  int FFailures = 0;
  bool FClose = false;
  std::optional<Clock::time_point> FDeadline;
  std::string FOutput;
};

}  // namespace routersim
