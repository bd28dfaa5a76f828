// TervaneWinC.exe itself, started under Wine with a TervaneWinC.ini beside
// it that points at the router simulator on 127.0.0.1 (with_router_sim.sh
// starts it and names its port and byte log): the automatic login, the tray
// double-click and menu choices sending exactly their command lines, a
// confirmation answered, the not-connected error box, Save, Exit, and the
// window's controls read back against the window description.  The program
// is driven from outside, as the shell and the user drive it: messages
// posted to its window, its message boxes found and answered.
//
// Never without that INI: the program's default router is a private-range address with
// auto-connect on, as real under Wine as anywhere.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "control_table.h"
#include "form_ids.h"

namespace {

using Clock = std::chrono::steady_clock;

// Serves this process's sent messages (the tray stand-in below) while it
// waits; the limit is a watchdog, not a speed goal.
bool WaitFor(const std::function<bool()>& done, int limitMs = 15000) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The simulator's log of every byte it received, as a Windows path.
std::string SimLogPath() {
  std::string p = Env("TERVANE_SIM_LOG");
  return !p.empty() && p[0] == '/' ? "Z:" + p : p;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The notification area's window as the shell has it: Shell_NotifyIconA
// finds the window of this class and hands it each call as WM_COPYDATA,
// whose dwData is the NIM_ code.  Under the null graphics driver there is
// no tray; this one records the calls.
class TrayRecorder {
 public:
  TrayRecorder() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&wc);
    FWnd = CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
    SetWindowLongPtrA(FWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TrayRecorder() { DestroyWindow(FWnd); }
  // The first Shell_TrayWnd is the one the shell uses: ours must be it.
  bool IsTheTray() const { return FindWindowA("Shell_TrayWnd", nullptr) == FWnd; }
  std::vector<ULONG_PTR> Calls;

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COPYDATA) {
      auto* self = reinterpret_cast<TrayRecorder*>(GetWindowLongPtrA(w, GWLP_USERDATA));
      if (self) self->Calls.push_back(reinterpret_cast<const COPYDATASTRUCT*>(lp)->dwData);
      return TRUE;
    }
    return DefWindowProcA(w, m, wp, lp);
  }
  HWND FWnd;
};

// Shown by its own state, whether or not the window around it is.
bool Shown(HWND w) { return (GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE) != 0; }

struct Box {
  HWND Wnd = nullptr;
  std::string Title, Text;
};

// One run of the program from a scratch folder of its own, with the INI
// beside it.
class Program {
 public:
  explicit Program(bool autoConnect) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    FDir = std::string(temp) + "tervane-win32-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++FRuns);
    CreateDirectoryA(FDir.c_str(), nullptr);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe = self;
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "TervaneWinC.exe";
    Exe = FDir + "\\TervaneWinC.exe";
    Ini = FDir + "\\TervaneWinC.ini";
    CopyFileA(exe.c_str(), Exe.c_str(), FALSE);
    std::ofstream ini(Ini, std::ios::binary);
    ini << "[Settings]\r\nHostName=127.0.0.1\r\nTelnetPort=" << Env("TERVANE_SIM_PORT")
        << "\r\nUserName=" << Env("TERVANE_SIM_USER") << "\r\nPassword="
        << Env("TERVANE_SIM_PASSWORD") << "\r\nAutoConnect=" << (autoConnect ? 1 : 0) << "\r\n";
  }

  ~Program() {
    if (FInfo.hProcess) {
      if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FInfo.hProcess, 1);
      CloseHandle(FInfo.hProcess);
      CloseHandle(FInfo.hThread);
    }
    DeleteFileA(Exe.c_str());
    DeleteFileA(Ini.c_str());
    RemoveDirectoryA(FDir.c_str());
  }

  bool Start() {
    // Without this file the program would try its default router.
    if (ReadFile(Ini).find("HostName=127.0.0.1\r\n") == std::string::npos) return false;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + Exe + "\"";
    if (!CreateProcessA(Exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, FDir.c_str(),
                        &si, &FInfo))
      return false;
    return WaitFor([&] {
      Form = FindWindowA(kFormClass, nullptr);
      DWORD pid = 0;
      if (Form) GetWindowThreadProcessId(Form, &pid);
      return Form && pid == FInfo.dwProcessId && Field(ciConnectButton) != nullptr;
    });
  }

  HWND Field(ControlId id) const {
    struct Find {
      int Id;
      HWND Found;
    } f{id, nullptr};
    EnumChildWindows(
        Form,
        [](HWND w, LPARAM p) -> BOOL {
          auto* find = reinterpret_cast<Find*>(p);
          if (GetDlgCtrlID(w) != find->Id) return TRUE;
          find->Found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.Found;
  }

  // Text of a control of the other process (WM_GETTEXT is carried across).
  std::string Text(HWND w) const {
    DWORD_PTR length = 0;
    SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::string text(length + 1, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    text.resize(got);
    return text;
  }
  std::string Text(ControlId id) const { return Text(Field(id)); }

  void Post(UINT msg, WPARAM w, LPARAM l) const { PostMessageA(Form, msg, w, l); }
  void TrayDoubleClick() const { Post(WM_TRAYNOTIFY, 0, WM_LBUTTONDBLCLK); }
  void Choose(int item) const { Post(WM_COMMAND, MAKEWPARAM(item, 0), 0); }
  void Click(ControlId id) const {
    Post(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Field(id)));
  }

  // A visible top-level window of the program, by class.
  HWND TopLevel(const char* className) const {
    struct Find {
      DWORD Pid;
      const char* Class;
      HWND Found;
    } f{FInfo.dwProcessId, className, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* find = reinterpret_cast<Find*>(p);
          char cls[16] = {};
          DWORD pid = 0;
          GetWindowThreadProcessId(w, &pid);
          GetClassNameA(w, cls, sizeof cls);
          if (pid != find->Pid || std::string(cls) != find->Class || !IsWindowVisible(w)) return TRUE;
          find->Found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.Found;
  }

  // The program's message box, once one is up.
  bool WaitForBox(Box& box) {
    return WaitFor([&] {
      box.Wnd = TopLevel("#32770");
      if (!box.Wnd) return false;
      char buf[512] = {};
      GetWindowTextA(box.Wnd, buf, sizeof buf);
      box.Title = buf;
      buf[0] = '\0';
      GetDlgItemTextA(box.Wnd, 0xFFFF, buf, sizeof buf);  // the box's text
      box.Text = buf;
      return true;
    });
  }
  static void Answer(const Box& box, int button) {
    PostMessageA(box.Wnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  }

  bool Responds() const {
    DWORD_PTR r;
    return SendMessageTimeoutA(Form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r) != 0;
  }
  bool WaitForExit(int limitMs = 15000) {
    return WaitFor([&] { return WaitForSingleObject(FInfo.hProcess, 0) == WAIT_OBJECT_0; }, limitMs);
  }

  std::string Exe, Ini;
  HWND Form = nullptr;

 private:
  static inline int FRuns = 0;
  std::string FDir;
  PROCESS_INFORMATION FInfo{};
};

class Win32Program : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("TERVANE_SIM_PORT").empty()) << "run through with_router_sim.sh";
    ASSERT_TRUE(Tray.IsTheTray()) << "another notification area is running";
    FLogStart = ReadFile(SimLogPath()).size();
  }
  // What the simulator received since the test began.
  std::string Received() const { return ReadFile(SimLogPath()).substr(FLogStart); }
  bool WaitForReceived(const std::string& tail) {
    return WaitFor([&] { return Received().find(tail) != std::string::npos; });
  }

  TrayRecorder Tray;

 private:
  std::size_t FLogStart = 0;
};

TEST_F(Win32Program, LogsInThenSendsTheAccessLinesOfTrayMenuAndConsoleAndExits) {
  Program p(true);
  ASSERT_TRUE(p.Start());
  const std::string user = Env("TERVANE_SIM_USER"), password = Env("TERVANE_SIM_PASSWORD");
  // The login answers: the fields' texts, each with one CR.
  ASSERT_TRUE(WaitForReceived(user + "\r")) << Received();
  ASSERT_TRUE(WaitFor([&] {
    const std::string memo = p.Text(ciDisplayMemo);
    return memo.find("Welcome.") != std::string::npos && memo.ends_with("\r\n# ");
  }))
      << "never logged in; received: " << Received();
  const std::string login = Received();
  // The console as the router's chunks built it: every CR LF one line end,
  // the prompts on the lines they began.
  EXPECT_EQ(p.Text(ciDisplayMemo),
            "\r\n\r\nTervane router (simulated)\r\n\r\nrouter login: " + user +
                "\r\nPassword: \r\n\r\nWelcome. Try: control up|down|block|unblock|force|unforce"
                "\r\n\r\n# ");
  EXPECT_NE(login.find(user + "\r"), std::string::npos);
  EXPECT_NE(login.find(password + "\r"), std::string::npos);
  EXPECT_EQ(p.Text(ciStatPanel), "Status: Connected");
  EXPECT_FALSE(IsWindowEnabled(p.Field(ciConnectButton)));
  EXPECT_TRUE(IsWindowEnabled(p.Field(ciDisconnectButton)));
  EXPECT_TRUE(IsWindowEnabled(p.Field(ciDisplayMemo)));
  EXPECT_FALSE(IsWindowVisible(p.Form)) << "the window starts hidden";

  // Double-click at start: AccessUp.  The menu's Block: its mark, the check
  // box and one block line.  Double-click after Block: the question, Yes.
  p.TrayDoubleClick();
  ASSERT_TRUE(WaitForReceived("control up\r"));
  p.Choose(miBlock1);
  ASSERT_TRUE(WaitForReceived("control block\r"));
  EXPECT_EQ(SendMessageA(p.Field(ciBlockCheckBox), BM_GETCHECK, 0, 0), BST_CHECKED);
  p.TrayDoubleClick();
  Box box;
  ASSERT_TRUE(p.WaitForBox(box));
  EXPECT_EQ(box.Title, "Access is blocked...");
  EXPECT_EQ(box.Text, "Allow access ?");
  Program::Answer(box, IDYES);
  ASSERT_TRUE(WaitForReceived("control block\rcontrol unblock\rcontrol up\r"));
  // A key typed in the console: its byte alone, shown only by the echo.
  PostMessageA(p.Field(ciDisplayMemo), WM_CHAR, 'x', 1);
  ASSERT_TRUE(WaitForReceived("control up\rx"));
  EXPECT_EQ(Received().substr(login.size()),
            "control unblock\rcontrol up\r"
            "control block\r"
            "control unblock\rcontrol up\r"
            "x");
  EXPECT_EQ(SendMessageA(p.Field(ciBlockCheckBox), BM_GETCHECK, 0, 0), BST_CHECKED)
      << "allowing access leaves the box checked";

  // Save: an edit shows the button; the save writes all five keys and hides it.
  EXPECT_FALSE(Shown(p.Field(ciSaveButton)));
  // Typed over, as the user types.
  SendMessageA(p.Field(ciPortEdit), EM_SETSEL, 0, -1);
  for (char c : std::string("telnet")) SendMessageA(p.Field(ciPortEdit), WM_CHAR, c, 1);
  EXPECT_TRUE(Shown(p.Field(ciSaveButton)));
  DeleteFileA(p.Ini.c_str());
  p.Click(ciSaveButton);
  ASSERT_TRUE(WaitFor([&] {
    return !Shown(p.Field(ciSaveButton)) && ReadFile(p.Ini).find("AutoConnect") != std::string::npos;
  }));
  EXPECT_EQ(ReadFile(p.Ini), "[Settings]\r\nHostName=127.0.0.1\r\nTelnetPort=telnet\r\nUserName=" +
                                 user + "\r\nPassword=" + password + "\r\nAutoConnect=1\r\n");

  // Exit ends the program; the icon was added once, modified by every
  // action's tray update, and removed last.
  p.Choose(miExit1);
  ASSERT_TRUE(p.WaitForExit());
  ASSERT_GE(Tray.Calls.size(), 3u);
  EXPECT_EQ(Tray.Calls.front(), static_cast<ULONG_PTR>(NIM_ADD));
  EXPECT_EQ(Tray.Calls.back(), static_cast<ULONG_PTR>(NIM_DELETE));
  // Up, Block and Up again: two updates each, one for Block.
  EXPECT_EQ(Tray.Calls.size(), 2u + 5u);
  for (std::size_t i = 1; i + 1 < Tray.Calls.size(); ++i)
    EXPECT_EQ(Tray.Calls[i], static_cast<ULONG_PTR>(NIM_MODIFY)) << i;
}

TEST_F(Win32Program, AnActionWithNoSessionShowsTheNotConnectedBoxAndGoesOn) {
  Program p(false);
  ASSERT_TRUE(p.Start());
  p.TrayDoubleClick();
  Box box;
  ASSERT_TRUE(p.WaitForBox(box));
  EXPECT_NE(box.Text.find("10057"), std::string::npos) << box.Text;
  EXPECT_NE(box.Text.find("Not connected. Check Configuration !"), std::string::npos) << box.Text;
  Program::Answer(box, IDOK);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(box.Wnd); }));
  EXPECT_TRUE(p.Responds()) << "the loop goes on after the error box";
  EXPECT_EQ(p.Text(ciStatPanel), "Status: Disconnected");
  // The action stopped at its first send: no tray update, nothing received.
  EXPECT_EQ(Tray.Calls, std::vector<ULONG_PTR>{NIM_ADD});
  EXPECT_EQ(Received(), "");
  // The right button opens the real pop-up menu at the pointer; the menu's
  // last item, chosen from the keyboard, is Exit.
  p.Post(WM_TRAYNOTIFY, 0, WM_RBUTTONDOWN);
  HWND menu = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (menu = p.TopLevel("#32768")) != nullptr; })) << "no menu";
  PostMessageA(menu, WM_KEYDOWN, VK_UP, 1);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_TRUE(p.WaitForExit());
}

// The window description, as the user's eye and the dialog manager meet
// it: class, parent, place, size, caption, style, tab order.
struct Expected {
  ControlId Id, Parent;
  const char* ClassName;
  const char* Text;
  int Left, Top, Width, Height, Tab;
  DWORD Style;  // bits that must be set
};

const Expected kDescription[] = {
    {ciPanel1, ciWindow, "TervanePanel", "", 0, 0, 607, 161, 1, 0},
    {ciHideButton, ciPanel1, "Button", "Hide in System Tray", 480, 128, 121, 25, 0, WS_TABSTOP},
    {ciShowCheckBox, ciPanel1, "Button", "Show Telnet Console", 480, 96, 121, 17, 1,
     WS_TABSTOP | BS_AUTOCHECKBOX},
    {ciAccessGroupBox, ciPanel1, "Button", "Internet Access:", 352, 8, 121, 145, 2, BS_GROUPBOX},
    {ciForceCheckBox, ciAccessGroupBox, "Button", "Force Connection", 8, 112, 105, 17, 0,
     WS_TABSTOP | BS_AUTOCHECKBOX},
    {ciBlockCheckBox, ciAccessGroupBox, "Button", "Block Connection", 8, 72, 105, 17, 1,
     WS_TABSTOP | BS_AUTOCHECKBOX},
    {ciDownButton, ciAccessGroupBox, "Button", "Down", 64, 24, 49, 25, 2, WS_TABSTOP},
    {ciUpButton, ciAccessGroupBox, "Button", "Up", 8, 24, 49, 25, 3, WS_TABSTOP},
    {ciConfGroupBox, ciPanel1, "Button", "Configuration:", 8, 8, 201, 145, 3, BS_GROUPBOX},
    {ciHostLabel, ciConfGroupBox, "Static", "Host Name:", 8, 19, 56, 13, -1, 0},
    {ciPortLabel, ciConfGroupBox, "Static", "Port Number:", 8, 43, 62, 13, -1, 0},
    {ciUserLabel, ciConfGroupBox, "Static", "User Name:", 8, 67, 56, 13, -1, 0},
    {ciPWLabel, ciConfGroupBox, "Static", "Password:", 8, 91, 49, 13, -1, 0},
    {ciHostEdit, ciConfGroupBox, "Edit", "127.0.0.1", 72, 16, 105, 21, 0, WS_TABSTOP},
    {ciPortEdit, ciConfGroupBox, "Edit", nullptr, 72, 40, 105, 21, 1, WS_TABSTOP},
    {ciAutoCheckBox, ciConfGroupBox, "Button", "Auto-Connect on Startup", 8, 120, 145, 17, 4,
     WS_TABSTOP | BS_AUTOCHECKBOX},
    {ciUserBox, ciConfGroupBox, "Edit", nullptr, 72, 64, 105, 21, 2, WS_TABSTOP},
    {ciPWBox, ciConfGroupBox, "Edit", nullptr, 72, 88, 105, 21, 3, WS_TABSTOP},
    {ciSaveButton, ciConfGroupBox, "Button", "Save", 152, 120, 43, 17, 5, WS_TABSTOP},
    {ciTervaneGroupBox, ciPanel1, "Button", "Connect to Tervane Box:", 216, 8, 129, 145, 4,
     BS_GROUPBOX},
    {ciDisconnectButton, ciTervaneGroupBox, "Button", "Disconnect", 8, 50, 113, 21, 0,
     WS_TABSTOP | WS_DISABLED},
    {ciConnectButton, ciTervaneGroupBox, "Button", "Connect", 8, 20, 113, 21, 2, WS_TABSTOP},
    {ciStatPanel, ciTervaneGroupBox, "Static", "Status: Disconnected", 8, 112, 113, 17, 1,
     SS_CENTER},
};

TEST_F(Win32Program, WindowAndControlsMatchTheWindowDescription) {
  Program p(false);
  ASSERT_TRUE(p.Start());
  char cls[64] = {};
  GetClassNameA(p.Form, cls, sizeof cls);
  EXPECT_STREQ(cls, "TTervaneClientForm");
  EXPECT_EQ(p.Text(p.Form), "Zel Tervane Windows Client");
  const LONG style = GetWindowLongA(p.Form, GWL_STYLE), exStyle = GetWindowLongA(p.Form, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME), WS_CAPTION | WS_THICKFRAME);
  EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0) << "no caption buttons";
  EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
  EXPECT_FALSE(IsWindowVisible(p.Form));
  RECT r;
  GetWindowRect(p.Form, &r);
  EXPECT_EQ(r.left, 197);
  EXPECT_EQ(r.top, 125);
  EXPECT_EQ(r.right - r.left, 615);
  EXPECT_EQ(r.bottom - r.top, 188) << "start-up leaves the short height";

  for (const Expected& e : kDescription) {
    SCOPED_TRACE(e.ClassName + std::string(" ") + (e.Text ? e.Text : "") + " #" + std::to_string(e.Id));
    HWND w = p.Field(e.Id);
    ASSERT_TRUE(w);
    HWND parent = e.Parent == ciWindow ? p.Form : p.Field(e.Parent);
    EXPECT_EQ(GetParent(w), parent);
    GetClassNameA(w, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, e.ClassName);
    if (e.Text) {
      EXPECT_EQ(p.Text(w), e.Text);
    }
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, e.Left);
    EXPECT_EQ(r.top, e.Top);
    // A label may be wider, as wide as its caption in a wider font.
    if (std::string(e.ClassName) == "Static" && e.Tab < 0) {
      EXPECT_GE(r.right - r.left, e.Width);
    } else {
      EXPECT_EQ(r.right - r.left, e.Width);
    }
    EXPECT_EQ(r.bottom - r.top, e.Height);
    const DWORD s = static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE));
    if ((e.Style & 0xF) == BS_GROUPBOX || (e.Style & 0xF) == BS_AUTOCHECKBOX) {
      EXPECT_EQ(s & 0xF, e.Style & 0xF);
    }
    EXPECT_EQ(s & e.Style & ~0xFu, e.Style & ~0xFu);
  }
  EXPECT_EQ(p.Text(ciPortEdit), Env("TERVANE_SIM_PORT")) << "loaded from the INI";
  EXPECT_FALSE(Shown(p.Field(ciSaveButton))) << "hidden after loading";
  EXPECT_FALSE(IsWindowEnabled(p.Field(ciDisplayMemo)));
  EXPECT_EQ(SendMessageA(p.Field(ciAutoCheckBox), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // Eleven controls have hints, all in one tooltip control of the window.
  HWND tips = FindWindowExA(nullptr, nullptr, TOOLTIPS_CLASSA, nullptr);
  while (tips && GetWindow(tips, GW_OWNER) != p.Form)
    tips = FindWindowExA(nullptr, tips, TOOLTIPS_CLASSA, nullptr);
  ASSERT_TRUE(tips);
  EXPECT_EQ(SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0), 11);

  // Tab order: within each parent, the tab stops come in the listed order.
  for (ControlId parentId : {ciPanel1, ciAccessGroupBox, ciConfGroupBox, ciTervaneGroupBox}) {
    std::vector<int> expected, actual;
    for (int tab = 0; tab < 8; ++tab)
      for (const Expected& e : kDescription)
        if (e.Parent == parentId && e.Tab == tab) expected.push_back(e.Id);
    for (HWND c = GetWindow(p.Field(parentId), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      for (const Expected& e : kDescription)
        if (e.Id == GetDlgCtrlID(c) && e.Tab >= 0) actual.push_back(e.Id);
    EXPECT_EQ(actual, expected) << "tab order in #" << parentId;
  }

  // The console fills the client area below the panel, at both heights.
  for (int height : {480, 188}) {
    SendMessageA(p.Field(ciShowCheckBox), BM_CLICK, 0, 0);
    GetWindowRect(p.Form, &r);
    EXPECT_EQ(r.bottom - r.top, height);
    RECT client, memo;
    GetClientRect(p.Form, &client);
    GetWindowRect(p.Field(ciDisplayMemo), &memo);
    MapWindowPoints(nullptr, p.Form, reinterpret_cast<POINT*>(&memo), 2);
    EXPECT_EQ(memo.left, 0);
    EXPECT_EQ(memo.top, 161);
    EXPECT_EQ(memo.right, client.right);
    EXPECT_EQ(memo.bottom, std::max<LONG>(161, client.bottom));
  }
  p.Choose(miExit1);
  EXPECT_TRUE(p.WaitForExit());
}

}  // namespace
