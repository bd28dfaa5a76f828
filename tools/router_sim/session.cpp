// The simulated router's side of one telnet connection.
#include "session.h"

#include <utility>

namespace routersim {

namespace {

constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                        SE = 240;
constexpr unsigned char OPT_ECHO = 1, OPT_SGA = 3, OPT_TTYPE = 24, OPT_NAWS = 31;

// The password prompt comes as a write of its own after a short pause, as on
// the small routers this imitates; clients rely on seeing it alone.
constexpr auto kPasswordPause = std::chrono::milliseconds(150);
constexpr auto kFailurePause = std::chrono::milliseconds(1000);
constexpr int kMaxFailures = 3;

const char kBanner[] = "\r\n\r\nTervane router (simulated)\r\n\r\n";
const char kLoginPrompt[] = "router login: ";
const char kShellPrompt[] = "# ";

}  // namespace

Session::Session(std::string user, std::string password, AccessState& state, bool echoLogin)
    : FUser(std::move(user)), FPassword(std::move(password)), FState(state),
      FEchoLogin(echoLogin) {}

void Session::Start() {
  const unsigned char negotiation[] = {IAC, DO,   OPT_TTYPE, IAC, WILL, OPT_ECHO,
                                       IAC, WILL, OPT_SGA,   IAC, DO,   OPT_NAWS};
  FOutput.append(reinterpret_cast<const char*>(negotiation), sizeof negotiation);
  FOutput += kBanner;
  FOutput += kLoginPrompt;
}

void Session::Feed(const char* data, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    switch (FTn) {
      case Tn::Cr:
        // CR LF and CR NUL are one line end; a lone CR is one too, and the
        // byte after it is ordinary data.
        FTn = Tn::Data;
        if (c == '\n' || c == 0) break;
        [[fallthrough]];
      case Tn::Data:
        if (c == IAC) {
          FTn = Tn::Iac;
        } else {
          DataByte(c);
          if (c == '\r') FTn = Tn::Cr;
        }
        break;
      case Tn::Iac:
        if (c == DO || c == DONT || c == WILL || c == WONT) {
          FVerb = c;
          FTn = Tn::Option;
        } else if (c == SB) {
          FTn = Tn::Sub;
        } else if (c == IAC) {
          DataByte(c);
          FTn = Tn::Data;
        } else {
          FTn = Tn::Data;
        }
        break;
      case Tn::Option:
        if (FVerb == WILL && c == OPT_TTYPE) {
          const unsigned char ask[] = {IAC, SB, OPT_TTYPE, 1, IAC, SE};
          FOutput.append(reinterpret_cast<const char*>(ask), sizeof ask);
        }
        FTn = Tn::Data;
        break;
      case Tn::Sub:
        if (c == IAC) FTn = Tn::SubIac;
        break;
      case Tn::SubIac:
        FTn = c == SE ? Tn::Data : Tn::Sub;
        break;
    }
  }
}

void Session::DataByte(unsigned char c) {
  switch (FPhase) {
    case Phase::PasswordWait:
    case Phase::LoginWait:
      return;  // typed ahead during a pause: dropped, like a flushed tty
    case Phase::User:
    case Phase::Password:
    case Phase::Shell:
      break;
  }
  const bool echo = FPhase != Phase::Password;
  if (c == '\r') {
    FOutput += "\r\n";
    Line(std::exchange(FLine, {}));
  } else if (c == 0x08 || c == 0x7F) {
    if (!FLine.empty()) {
      FLine.pop_back();
      if (echo) FOutput += "\b \b";
    }
  } else if (c == 0x03 && FPhase == Phase::Shell) {
    FLine.clear();
    FOutput += "^C\r\n";
    Prompt();
  } else if (c >= 0x20 || c == '\t') {
    if (FLine.size() < 4096) FLine.push_back(static_cast<char>(c));
    if (echo) FOutput.push_back(static_cast<char>(c));
  }
}

void Session::Line(const std::string& line) {
  switch (FPhase) {
    case Phase::User:
      FGivenUser = line;
      if (FEchoLogin) {
        FPhase = Phase::Password;
        FOutput += "Password: ";  // behind the "\r\n" echoed just now
        return;
      }
      FPhase = Phase::PasswordWait;
      FDeadline = Clock::now() + kPasswordPause;
      return;
    case Phase::Password:
      if (FGivenUser == FUser && line == FPassword) {
        FPhase = Phase::Shell;
        FOutput += "\r\nWelcome. Try: control up|down|block|unblock|force|unforce\r\n\r\n";
        Prompt();
      } else {
        FOutput += "Login incorrect\r\n";
        if (++FFailures >= kMaxFailures) {
          FClose = true;
          return;
        }
        FPhase = Phase::LoginWait;
        FDeadline = Clock::now() + kFailurePause;
      }
      return;
    case Phase::Shell:
      Command(line);
      Prompt();
      return;
    case Phase::PasswordWait:
    case Phase::LoginWait:
      return;
  }
}

void Session::Command(const std::string& line) {
  std::string words[3];
  std::size_t count = 0;
  std::size_t pos = 0;
  while (count < 3) {
    pos = line.find_first_not_of(" \t", pos);
    if (pos == std::string::npos) break;
    std::size_t end = line.find_first_of(" \t", pos);
    words[count++] = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end;
  }
  if (count == 0) return;
  if (words[0] == "exit" || words[0] == "logout") {
    FClose = true;
    return;
  }
  if (words[0] != "control") {
    FOutput += "-sh: " + words[0] + ": not found\r\n";
    return;
  }
  const std::string& what = words[1];
  if (count == 2 && what == "up") {
    FState.up = true;
  } else if (count == 2 && what == "down") {
    FState.up = false;
  } else if (count == 2 && what == "block") {
    FState.blocked = true;
  } else if (count == 2 && what == "unblock") {
    FState.blocked = false;
  } else if (count == 2 && what == "force") {
    FState.forced = true;
  } else if (count == 2 && what == "unforce") {
    FState.forced = false;
  } else if (!(count == 1 || (count == 2 && what == "status"))) {
    FOutput += "usage: control up|down|block|unblock|force|unforce|status\r\n";
    return;
  }
  FOutput += std::string("access ") + (FState.up ? "up" : "down") +
             (FState.blocked ? ", blocked" : "") + (FState.forced ? ", forced" : "") + "\r\n";
}

void Session::Prompt() {
  if (!FClose) FOutput += kShellPrompt;
}

void Session::Tick(Clock::time_point now) {
  if (!FDeadline || now < *FDeadline) return;
  FDeadline.reset();
  switch (FPhase) {
    case Phase::PasswordWait:
      FPhase = Phase::Password;
      FOutput += "Password: ";
      return;
    case Phase::LoginWait:
      FPhase = Phase::User;
      FOutput += kLoginPrompt;
      return;
    case Phase::User:
    case Phase::Password:
    case Phase::Shell:
      return;
  }
}

}  // namespace routersim
