// The controller core with a recording front-end and the router simulator
// on loopback: no toolkit, no display.  The program's rules live here: the
// login answers chunk by chunk, the access actions (bytes on the wire,
// confirmations, flags, images, tips), menu marks versus check boxes, what
// a missing session does, loading and saving the settings, and the
// console's line algorithm.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <tervane/platform.h>

#include "common/host_peer.h"
#include "controller.h"
#include "controller_rules.h"
#include "router_sim/launch.h"
#include "tncnx.h"

namespace {

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using router_sim::StripTelnet;

// A text box's lines as a front-end keeps them, the operations applied as
// the interface describes them; the caret is a line index.
struct ConsoleModel {
  std::vector<std::string> lines{"DisplayMemo"};
  std::size_t caret = 0;
  void Apply(const TConsoleOps& ops) {
    for (const TConsoleOp& op : ops) {
      switch (op.Kind) {
        case coClear: lines = {""}; caret = 0; break;
        case coAppend:
          ASSERT_EQ(op.Text.find('\r'), std::string::npos) << "a CR inside appended text";
          lines.back() += op.Text;
          break;
        case coNewLine: lines.emplace_back(); break;
        case coCaretUp: caret = lines.size() - 2; break;
        case coDropOldest:
          ASSERT_LT(op.Count, lines.size()) << "drops more lines than the box holds";
          lines.erase(lines.begin(), lines.begin() + static_cast<long>(op.Count));
          caret = caret >= op.Count ? caret - op.Count : 0;
          break;
      }
    }
  }
};

// Everything the controller asks of its front-end, recorded; questions are
// answered from a queue, and one not expected fails the test.
class RecordingView : public TControllerView {
 public:
  // The fields start at loopback: a connect made before the settings load
  // can reach nothing but this machine.
  std::map<TField, std::string> fields{{fdHostEdit, "127.0.0.1"},
                                       {fdPortEdit, "23"},
                                       {fdUserBox, "User"},
                                       {fdPWBox, "Lanterns"}};
  std::map<TCheck, bool> checks;
  std::vector<std::string> boxes;  // "message: ...", "ask: title / text"
  std::deque<bool> answers;
  std::vector<std::string> tray;   // "add 2 tip", "update 1 tip", "remove"
  int image = -1;
  std::string tip;
  int menus = 0;
  std::string status;
  TRgb colour{0, 0, 0};
  std::map<TControl, bool> enabled{{ctDisplayMemo, false}, {ctConnectButton, true},
                                   {ctDisconnectButton, false}};
  int focus = -1;
  bool saveVisible = false;
  int consoleShown = -1;  // unknown, 0 hidden, 1 shown
  ConsoleModel console;
  std::function<void()> onFieldChange;

  std::string FieldText(TField f) override { return fields[f]; }
  void SetFieldText(TField f, const std::string& t) override {
    fields[f] = t;
    if (onFieldChange) onFieldChange();
  }
  bool Checked(TCheck c) override { return checks[c]; }
  void SetChecked(TCheck c, bool v) override { checks[c] = v; }
  void ShowMessage(const std::string& t) override { boxes.push_back("message: " + t); }
  bool AskYesNo(const std::string& title, const std::string& t) override {
    boxes.push_back("ask: " + title + " / " + t);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << t;
      return false;
    }
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void TrayAdd(int i, const std::string& t) override {
    tray.push_back("add " + std::to_string(i) + " " + t);
    image = i;
    tip = t;
  }
  void TrayUpdate(int i, const std::string& t) override {
    tray.push_back("update " + std::to_string(i));
    image = i;
    tip = t;
  }
  void TrayRemove() override { tray.push_back("remove"); }
  void OpenPopupMenu() override { ++menus; }
  void SetStatus(const std::string& c, TRgb rgb) override {
    status = c;
    colour = rgb;
  }
  void SetEnabled(TControl c, bool e) override { enabled[c] = e; }
  void SetFocus(TControl c) override { focus = c; }
  void SetSaveVisible(bool v) override { saveVisible = v; }
  void ShowConsole(bool s) override { consoleShown = s ? 1 : 0; }
  void ApplyConsole(const TConsoleOps& ops) override { console.Apply(ops); }
};

// The settings file's values, as the private-profile functions keep them
// (names match without regard to case); it can be told to fail the Nth
// write, which no real file does on demand.
class MemoryStore : public TSettingsStore {
 public:
  static std::string Name(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  std::string FileName() const override { return "/scratch/Tervane.ini"; }
  bool Exists() const override { return exists; }
  std::string ReadString(const std::string& s, const std::string& k,
                         const std::string& d) override {
    reads.push_back(k);
    auto it = values.find(Name(s) + "/" + Name(k));
    return it == values.end() ? d : it->second;
  }
  bool WriteString(const std::string& s, const std::string& k, const std::string& v) override {
    if (++writes == failWrite) return false;
    values[Name(s) + "/" + Name(k)] = v;
    exists = true;
    return true;
  }
  std::string Get(const std::string& k) const {
    auto it = values.find("settings/" + Name(k));
    return it == values.end() ? "<none>" : it->second;
  }

  bool exists = true;
  std::map<std::string, std::string> values;
  std::vector<std::string> reads;
  int writes = 0;
  int failWrite = 0;  // 0: none fails
};

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim = router_sim::Start(tervane::ExecutableDir() + "tervane_router_sim",
                            {"--user", "admin", "--password", "secret", "--log", log,
                             "--echo-login"});
    ASSERT_GT(sim.port, 0);
    Settings("1");
  }
  void TearDown() override {
    core.reset();
    router_sim::Stop(sim);
    peer::RemoveTree(dir);
  }

  void Settings(const std::string& autoConnect, int port = -1) {
    store.values = {{"settings/hostname", "127.0.0.1"},
                    {"settings/telnetport", std::to_string(port < 0 ? sim.port : port)},
                    {"settings/username", "admin"},
                    {"settings/password", "secret"},
                    {"settings/autoconnect", autoConnect}};
  }
  void Start() {
    core = std::make_unique<TTervaneController>(view, store);
    view.onFieldChange = [this] { core->FieldChange(); };
    core->FormCreate();
  }

  bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    const long long end = peer::NowMs() + ms;
    while (!done()) {
      if (peer::NowMs() > end) return false;
      peer::WaitReadable(tervane::LoopBackendFd(), 5);
      tervane::DispatchPending();
    }
    return true;
  }
  void StartLoggedIn() {
    Start();
    ASSERT_TRUE(PumpUntil([&] { return view.console.lines.back() == "# "; })) << "no shell prompt";
  }

  std::string Log() const { return ReadFile(log); }
  void Mark() { mark = Log().size(); }
  // What was sent since the mark, closed by a marker line so that "nothing
  // was sent" can be told from "not arrived yet".
  std::string Sent() {
    core->TnCnx().SendStr("#end\r");
    EXPECT_TRUE(PumpUntil([&] { return Log().find("#end\r", mark) != std::string::npos; }));
    std::string sent = Log().substr(mark);
    sent.resize(sent.size() - 5);
    Mark();
    return sent;
  }
  // A chunk as the telnet component hands it over.
  void Receive(const std::string& chunk) {
    core->TnCnx().OnDataAvailable(&core->TnCnx(), chunk.c_str(), static_cast<int>(chunk.size()));
  }
  void ExpectNotConnected(const std::function<void()>& action) {
    try {
      action();
      ADD_FAILURE() << "no error";
    } catch (const ESocketException& e) {
      EXPECT_EQ(e.Message.rfind("Error 10057 in function Send", 0), 0u) << e.Message;
      EXPECT_NE(e.Message.find("Not connected. Check Configuration !"), std::string::npos);
    }
  }

  std::string dir = peer::MakeTempDir();
  std::string log = dir + "/router.log";
  router_sim::Process sim;
  RecordingView view;
  MemoryStore store;
  std::unique_ptr<TTervaneController> core;
  std::size_t mark = 0;
};

const std::string kTip = "Zel Tervane Windows Client";

TEST_F(ControllerTest, StartsGreyLogsInAndFollowsTheSession) {
  StartLoggedIn();
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(store.reads, (std::vector<std::string>{"HostName", "TelnetPort", "UserName",
                                                   "Password", "AutoConnect"}));
  ASSERT_FALSE(view.tray.empty());
  EXPECT_EQ(view.tray[0], "add 2 " + kTip + " [Unblock] [Unforce]");
  EXPECT_FALSE(view.saveVisible);  // shown by the loading, hidden after it
  EXPECT_EQ(view.consoleShown, 0);
  // Exactly one answer per prompt: user name, CR, password, CR.
  EXPECT_EQ(StripTelnet(Log()), "admin\rsecret\r");
  EXPECT_EQ(view.status, "Status: Connected");
  EXPECT_EQ((std::vector<int>{view.colour.R, view.colour.G, view.colour.B}),
            (std::vector<int>{0, 255, 0}));
  EXPECT_TRUE(view.enabled[ctDisplayMemo]);
  EXPECT_FALSE(view.enabled[ctConnectButton]);
  EXPECT_TRUE(view.enabled[ctDisconnectButton]);
  EXPECT_EQ(view.focus, ctDisplayMemo);
  // Emptied on connect: the description's "DisplayMemo" line is gone.
  EXPECT_NE(view.console.lines.front(), "DisplayMemo");
  EXPECT_NE(std::find(view.console.lines.begin(), view.console.lines.end(), "router login: admin"),
            view.console.lines.end());

  // The router ends the session: Disconnected, the console's text kept, the
  // flags kept through a reconnect with the fields' current texts.
  core->AccessUp();
  core->TnCnx().SendStr("exit\r");
  ASSERT_TRUE(PumpUntil([&] { return view.status == "Status: Disconnected"; }));
  EXPECT_EQ((std::vector<int>{view.colour.R, view.colour.G, view.colour.B}),
            (std::vector<int>{255, 0, 0}));
  EXPECT_FALSE(view.enabled[ctDisplayMemo]);
  EXPECT_TRUE(view.enabled[ctConnectButton]);
  EXPECT_FALSE(view.enabled[ctDisconnectButton]);
  EXPECT_EQ(view.focus, ctConnectButton);
  EXPECT_GT(view.console.lines.size(), 3u);
  view.fields[fdUserBox] = "admin";
  core->ConnectButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return view.console.lines.size() > 1 && view.console.lines.back() == "# "; }));
  EXPECT_TRUE(core->IsOpen);
  core->DisconnectButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return view.status == "Status: Disconnected"; }));
  core->FormDestroy();
  EXPECT_EQ(view.tray.back(), "remove");
}

TEST_F(ControllerTest, PromptRulesPerChunk) {
  using namespace std::string_literals;
  StartLoggedIn();
  struct Case {
    std::string chunk;
    std::string user;
    std::string answer;
    std::string text = "";  // LastChunk, when not the chunk itself
  };
  const Case cases[] = {
      {"router login: ", "admin", "admin\r"},
      {"login: ", "admin", ""},                 // 7 characters alone
      {"router Login: ", "admin", ""},          // case-sensitive
      {"router login:", "admin", ""},           // no blank
      {"router login: \r\n", "admin", ""},      // not at the end
      {"x login: ", "", "\r"},                  // empty user name: CR alone
      {"Password: ", "admin", "secret\r"},      // the whole chunk
      // Alone on its line: after the echo of the user name's line end.
      {"\r\nPassword: ", "admin", "secret\r"},
      {"admin\r\nPassword: ", "admin", "secret\r"},
      {"\rPassword: ", "admin", "secret\r"},
      {"\nPassword: ", "admin", "secret\r"},
      {"xPassword: ", "admin", ""},             // not alone on its line
      {"\r\npassword: ", "admin", ""},          // case-sensitive
      {"\r\nPassword:", "admin", ""},           // no blank
      {"\r\nPassword: \r\n", "admin", ""},      // not at the end
      // The password prompt not at the end; the login prompt is.
      {"\r\nPassword: login: ", "admin", "admin\r"},
      {"abc\0login: "s, "admin", "", "abc"},  // a zero byte cuts the chunk
      // ... unless it follows a CR: a bare CR as telnet sends it.
      {"Welcome\r\0\r\nrouter login: "s, "admin", "admin\r", "Welcome\r\r\nrouter login: "},
      {"admin\r\0\nPassword: "s, "admin", "secret\r", "admin\r\nPassword: "},
      {"ab\r\0\0login: "s, "admin", "", "ab\r"},  // only the one byte
  };
  for (const Case& c : cases) {
    view.fields[fdUserBox] = c.user;  // read when the prompt arrives
    Mark();
    Receive(c.chunk);
    EXPECT_EQ(core->LastChunk, c.text.empty() ? c.chunk : c.text) << "chunk " << c.chunk;
    EXPECT_EQ(Sent(), c.answer) << "chunk " << c.chunk;
  }
  // A prompt split over two chunks is not answered.
  Mark();
  Receive("Pass");
  Receive("word: ");
  EXPECT_EQ(Sent(), "");
  // The chunk is shown before its answer, and only up to the zero byte.
  Receive("\r\nxyz\0login: "s);
  EXPECT_EQ(view.console.lines.back(), "xyz");
}

TEST_F(ControllerTest, AccessActionsConfirmationsImagesTipsAndFlags) {
  StartLoggedIn();
  Mark();
  core->WMTrayNotify(0x202);  // a single click does nothing
  EXPECT_EQ(view.tray.size(), 1u);
  core->WMTrayNotify(0x204);  // the right button opens the menu
  EXPECT_EQ(view.menus, 1);
  core->WMTrayNotify(0x203);  // not open: Up, the unblock step's image first
  EXPECT_EQ(Sent(), "control unblock\rcontrol up\r");
  EXPECT_EQ(view.tray, (std::vector<std::string>{view.tray[0], "update 0", "update 1"}));
  EXPECT_TRUE(core->IsOpen);
  core->WMTrayNotify(0x203);  // open: Down
  EXPECT_EQ(Sent(), "control unforce\rcontrol down\r");
  EXPECT_FALSE(core->IsOpen);
  EXPECT_EQ(view.image, 0);

  // Block: the tip follows the box, the crossed-out image; Down asks
  // nothing about it.
  view.checks[ckBlockCheckBox] = true;
  core->BlockCheckBoxClick();
  EXPECT_EQ(Sent(), "control block\r");
  EXPECT_EQ(view.image, 3);
  EXPECT_EQ(view.tip, kTip + " [Block] [Unforce]");
  EXPECT_TRUE(core->IsBlocked);
  core->DownButtonClick();
  EXPECT_EQ(Sent(), "control unforce\rcontrol down\r");
  EXPECT_TRUE(view.boxes.empty());

  // Up while blocked asks; No sends and changes nothing.
  view.answers = {false};
  core->WMTrayNotify(0x203);
  EXPECT_EQ(view.boxes, (std::vector<std::string>{"ask: Access is blocked... / Allow access ?"}));
  EXPECT_EQ(Sent(), "");
  EXPECT_TRUE(core->IsBlocked);
  EXPECT_EQ(view.image, 0);
  // Yes: unblock and up; the box keeps its tick and so does the tip.
  view.answers = {true};
  core->UpButtonClick();
  EXPECT_EQ(Sent(), "control unblock\rcontrol up\r");
  EXPECT_FALSE(core->IsBlocked);
  EXPECT_TRUE(core->IsOpen);
  EXPECT_TRUE(view.checks[ckBlockCheckBox]);
  EXPECT_EQ(view.tip, kTip + " [Block] [Unforce]");
  view.checks[ckBlockCheckBox] = false;
  core->BlockCheckBoxClick();
  EXPECT_EQ(Sent(), "control unblock\r");
  EXPECT_EQ(view.image, 0);
  EXPECT_EQ(view.tip, kTip + " [Unblock] [Unforce]");

  // Force after Down: open; Up refuses; Down asks.
  core->DownButtonClick();
  EXPECT_EQ(Sent(), "control unforce\rcontrol down\r");
  view.checks[ckForceCheckBox] = true;
  core->ForceCheckBoxClick();
  EXPECT_EQ(Sent(), "control force\r");
  EXPECT_TRUE(core->IsForced && core->IsOpen);
  EXPECT_EQ(view.tip, kTip + " [Unblock] [Force]");
  view.boxes.clear();
  core->Connect1Click();
  EXPECT_EQ(view.boxes, (std::vector<std::string>{"message: Already open!"}));
  EXPECT_EQ(Sent(), "");
  view.answers = {false};
  core->WMTrayNotify(0x203);
  EXPECT_EQ(view.boxes.back(), "ask: Access is forced... / Close access ?");
  EXPECT_EQ(Sent(), "");
  EXPECT_TRUE(core->IsForced);
  view.answers = {true};
  core->Disconnect1Click();
  EXPECT_EQ(Sent(), "control unforce\rcontrol down\r");
  EXPECT_FALSE(core->IsForced || core->IsOpen);
  EXPECT_EQ(view.image, 0);
  EXPECT_TRUE(view.checks[ckForceCheckBox]);
  // Unforcing shows green although access is closed.
  view.checks[ckForceCheckBox] = false;
  core->ForceCheckBoxClick();
  EXPECT_EQ(Sent(), "control unforce\r");
  EXPECT_EQ(view.image, 1);
  EXPECT_FALSE(core->IsOpen);
  EXPECT_TRUE(view.answers.empty());
}

TEST_F(ControllerTest, MenuMarksAndCheckBoxesAreSeparateRecords) {
  StartLoggedIn();
  Mark();
  core->Block1Click();
  EXPECT_EQ(Sent(), "control block\r");  // once
  EXPECT_TRUE(view.checks[ckBlock1] && view.checks[ckBlockCheckBox]);
  view.checks[ckBlockCheckBox] = false;  // the user unticks the box
  core->BlockCheckBoxClick();
  EXPECT_EQ(Sent(), "control unblock\r");
  EXPECT_TRUE(view.checks[ckBlock1]);  // the mark stays
  core->Block1Click();                 // follows its own mark: unblock again
  EXPECT_EQ(Sent(), "control unblock\r");
  EXPECT_FALSE(view.checks[ckBlock1] || view.checks[ckBlockCheckBox]);
  core->Force1Click();
  EXPECT_EQ(Sent(), "control force\r");
  EXPECT_TRUE(view.checks[ckForce1] && view.checks[ckForceCheckBox]);
  core->Force1Click();
  EXPECT_EQ(Sent(), "control unforce\r");
  EXPECT_FALSE(view.checks[ckForce1] || view.checks[ckForceCheckBox]);
}

TEST_F(ControllerTest, WithNoSessionActionsRaiseAndChangeNothing) {
  Settings("0");
  Start();
  EXPECT_EQ(view.status, "");  // no session event: the description's state
  ExpectNotConnected([&] { core->UpButtonClick(); });
  ExpectNotConnected([&] { core->WMTrayNotify(0x203); });
  view.checks[ckBlockCheckBox] = true;
  ExpectNotConnected([&] { core->BlockCheckBoxClick(); });
  ExpectNotConnected([&] { core->Force1Click(); });
  ExpectNotConnected([&] { core->DisplayMemoKeyPress('x'); });
  EXPECT_FALSE(core->IsOpen || core->IsBlocked || core->IsForced);
  EXPECT_EQ(view.tray.size(), 1u);  // the start-up icon only
  EXPECT_EQ(core->TrayImage(), 2);
  EXPECT_EQ(core->TrayTip(), kTip + " [Unblock] [Unforce]");
  // What the menu choice changed before its send stays changed.
  EXPECT_TRUE(view.checks[ckForce1] && view.checks[ckForceCheckBox]);

  // A port that does not resolve fails at once; the controller goes on.
  view.fields[fdHostEdit] = "127.0.0.1";
  view.fields[fdPortEdit] = "no-such-service";
  EXPECT_THROW(core->ConnectButtonClick(), ESocketException);
  view.fields[fdPortEdit] = std::to_string(sim.port);
  view.fields[fdUserBox] = "admin";
  view.fields[fdPWBox] = "secret";
  core->ConnectButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return view.console.lines.back() == "# "; }));
}

TEST_F(ControllerTest, FirstStartDefaultsAndAFailedAutoConnect) {
  // No file: the message and the defaults, auto-connect on.  The host and
  // port here point at loopback and a service that does not resolve (the
  // default host is never tried: first_start_test records its target), so
  // the connect fails at once, after the tray icon is in place and before
  // the console's height is set.
  store.exists = false;
  store.values = {{"settings/hostname", "127.0.0.1"}, {"settings/telnetport", "no-such-service"}};
  core = std::make_unique<TTervaneController>(view, store);
  EXPECT_THROW(core->FormCreate(), ESocketException);
  EXPECT_EQ(view.boxes, (std::vector<std::string>{
                            "message: Enter Settings in the Config Window before connecting!"}));
  EXPECT_EQ(view.fields[fdUserBox], "User");
  EXPECT_EQ(view.fields[fdPWBox], "Lanterns");
  EXPECT_TRUE(view.checks[ckAutoCheckBox]);
  EXPECT_EQ(view.tray.size(), 1u);
  EXPECT_EQ(view.consoleShown, -1);
  EXPECT_FALSE(store.exists);  // nothing created
}

TEST_F(ControllerTest, SaveWritesTheFiveKeysAndStopsAtAFailedOne) {
  Settings("0");
  Start();
  EXPECT_FALSE(view.saveVisible);
  view.fields[fdUserBox] = "root";
  core->FieldChange();
  EXPECT_TRUE(view.saveVisible);
  store.values.clear();
  core->SaveButtonClick();
  EXPECT_FALSE(view.saveVisible);
  EXPECT_EQ(store.Get("HostName"), "127.0.0.1");
  EXPECT_EQ(store.Get("TelnetPort"), std::to_string(sim.port));
  EXPECT_EQ(store.Get("UserName"), "root");
  EXPECT_EQ(store.Get("Password"), "secret");
  EXPECT_EQ(store.Get("AutoConnect"), "0");
  view.checks[ckAutoCheckBox] = true;
  core->SaveButtonClick();
  EXPECT_EQ(store.Get("AutoConnect"), "1");

  // The third write fails: the two before it keep their new values, the
  // rest are not written, Save stays for another try.
  view.saveVisible = true;
  view.fields[fdHostEdit] = "h2";
  view.fields[fdPortEdit] = "p2";
  view.fields[fdUserBox] = "u2";
  view.fields[fdPWBox] = "w2";
  store.failWrite = store.writes + 3;
  try {
    core->SaveButtonClick();
    ADD_FAILURE() << "no error";
  } catch (const ESettingsWriteError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to /scratch/Tervane.ini");
  }
  EXPECT_EQ(store.Get("HostName"), "h2");
  EXPECT_EQ(store.Get("TelnetPort"), "p2");
  EXPECT_EQ(store.Get("UserName"), "root");
  EXPECT_EQ(store.Get("Password"), "secret");
  EXPECT_TRUE(view.saveVisible);
}

TEST(ControllerRules, AutoConnectValues) {
  struct Case {
    const char* value;
    bool checked;
  };
  const Case cases[] = {{"1", true},    {"2", true},     {"-1", true},     {"0x10", true},
                        {"0", false},   {"0x0", false},  {"", true},       {"word", true},
                        {"$0", false},  {"0x", true},    {"1 2", true},    {"99999999999", true},
                        {"0XfF", true}, {"-0", false},   {"0xFFFFFFFF", true}, {"+", true}};
  for (const Case& c : cases)
    EXPECT_EQ(AutoConnectValue(c.value), c.checked) << "value '" << c.value << "'";
}

TEST_F(ControllerTest, ConsoleKeysHeightAndAutoConnectOff) {
  Settings("0");
  Start();
  EXPECT_EQ(view.status, "");  // not connected
  EXPECT_FALSE(view.checks[ckAutoCheckBox]);
  view.checks[ckShowCheckBox] = true;
  core->ShowCheckBoxClick();
  EXPECT_EQ(view.consoleShown, 1);
  view.checks[ckShowCheckBox] = false;
  core->ShowCheckBoxClick();
  EXPECT_EQ(view.consoleShown, 0);

  view.fields[fdPortEdit] = std::to_string(sim.port);
  view.fields[fdHostEdit] = "127.0.0.1";
  core->ConnectButtonClick();
  ASSERT_TRUE(PumpUntil([&] { return view.console.lines.back() == "# "; }));
  Mark();
  for (char key : {'x', '\x03', '\r'}) core->DisplayMemoKeyPress(key);
  EXPECT_EQ(Sent(), "x\x03\r");  // one byte each, nothing shown but the echo
}

// How chunks become lines: the operations applied to a text box.
TEST(ConsoleLines, ChunksBecomeLines) {
  using Lines = std::vector<std::string>;
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    Lines expected;
  };
  const Case cases[] = {
      {"crlf_lines", {"one\r\ntwo\r\n"}, {"one", "two", ""}},
      {"lone_cr", {"a\rb"}, {"a", "b"}},
      {"cr_then_crlf_is_two_ends", {"a\r\r\nb"}, {"a", "", "b"}},
      {"lf_split_from_its_cr_stays", {"line\r", "\nnext"}, {"line", "\nnext"}},
      {"lone_lf_is_a_character", {"a\nb"}, {"a\nb"}},
      {"lf_lf_after_cr_keeps_one", {"a\r\n\nb"}, {"a", "\nb"}},
      {"backspace_erases_nothing", {"abc\x08"}, {"abc\x08"}},
      {"controls_and_escapes_kept", {"\x1b[1mX\x07\t"}, {"\x1b[1mX\x07\t"}},
      {"chunks_join_on_last_line", {"log", "in: "}, {"login: "}},
      {"empty_chunk_changes_nothing", {"a", "", "b"}, {"ab"}},
      {"high_bytes_kept", {"\xe9\xff\x80"}, {"\xe9\xff\x80"}},
      {"only_line_ends", {"\r\n\r\n"}, {"", "", ""}},
  };
  for (const Case& c : cases) {
    TConsoleLines lines;
    ConsoleModel box;
    box.Apply(lines.Clear());
    for (const std::string& chunk : c.chunks) box.Apply(lines.Append(chunk));
    EXPECT_EQ(box.lines, c.expected) << c.name;
    EXPECT_EQ(lines.LineCount(), box.lines.size()) << c.name;
  }
  TConsoleLines lines;
  EXPECT_TRUE(lines.Append("").empty());
  // The caret ends at the start of the last completed line.
  ConsoleModel box;
  box.Apply(lines.Clear());
  box.Apply(lines.Append("a\r\nb\r\npartial"));
  EXPECT_EQ(box.caret, 1u);
  box.Apply(lines.Append(" more"));
  EXPECT_EQ(box.caret, 1u);
}

TEST(ConsoleLines, KeepsTheNewestLines) {
  TConsoleLines lines;
  ConsoleModel box;
  box.Apply(lines.Clear());
  std::string dump;
  for (int i = 0; i < 100050; ++i) dump += "line " + std::to_string(i) + "\r\n";
  box.Apply(lines.Append(dump.substr(0, dump.size() / 2)));
  box.Apply(lines.Append(dump.substr(dump.size() / 2)));
  box.Apply(lines.Append("router# "));
  ASSERT_EQ(box.lines.size(), TConsoleLines::kMaxLines);
  EXPECT_EQ(lines.LineCount(), TConsoleLines::kMaxLines);
  EXPECT_EQ(box.lines.front(), "line 51");
  EXPECT_EQ(box.lines.back(), "router# ");
  EXPECT_EQ(box.lines[box.caret], "line 100049");
}

}  // namespace
