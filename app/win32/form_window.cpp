// The main window and its controls: class registration, creation from the
// control table, the window procedure (a table of messages, one small
// handler each), the status panel's colour, the hints and the layout.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "controller.h"
#include "error_box.h"
#include "form.h"

namespace {

// The window description's position and size of the main window.
constexpr int kFormLeft = 197, kFormTop = 125, kFormWidth = 615, kFormHeight = 480;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

// The original procedure of the BUTTON class, under the group boxes' own.
WNDPROC buttonDefault = nullptr;

// Containers (the panel and the group boxes) hand their children's
// notifications to the main window, where the handlers are.
bool IsForwarded(UINT Msg) {
  return Msg == WM_COMMAND || Msg == WM_NOTIFY || Msg == WM_CTLCOLORSTATIC ||
         Msg == WM_CTLCOLORBTN || Msg == WM_CTLCOLOREDIT;
}

LRESULT CALLBACK PanelProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  if (IsForwarded(Msg)) return SendMessageA(GetAncestor(Wnd, GA_ROOT), Msg, W, L);
  return DefWindowProcA(Wnd, Msg, W, L);
}

LRESULT CALLBACK GroupBoxProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  if (IsForwarded(Msg)) return SendMessageA(GetAncestor(Wnd, GA_ROOT), Msg, W, L);
  return CallWindowProcA(buttonDefault, Wnd, Msg, W, L);
}

// A label as wide as its caption in the font it really gets: the window
// description's widths are those of its own font, and a substitute font
// (Wine's, for one) may be wider.  Never narrower than described.
void FitLabel(HWND Label, const ControlRow& Row, HFONT Font) {
  HDC dc = GetDC(Label);
  HGDIOBJ old = SelectObject(dc, Font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, Row.Text, static_cast<int>(std::strlen(Row.Text)), &extent);
  SelectObject(dc, old);
  ReleaseDC(Label, dc);
  if (extent.cx > Row.Width)
    SetWindowPos(Label, nullptr, 0, 0, extent.cx, Row.Height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void RegisterClasses(HINSTANCE Instance) {
  WNDCLASSEXA form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = DefWindowProcA;  // replaced per instance below
  form.hInstance = Instance;
  form.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  RegisterClassExA(&form);

  WNDCLASSEXA panel = form;
  panel.lpfnWndProc = PanelProc;
  panel.lpszClassName = kPanelClass;
  RegisterClassExA(&panel);
}

}  // namespace

TTervaneClientForm::TTervaneClientForm(HINSTANCE Instance) : FInstance(Instance) {}

std::unique_ptr<TTervaneClientForm> TTervaneClientForm::Create(HINSTANCE Instance) {
  RegisterClasses(Instance);
  std::unique_ptr<TTervaneClientForm> form(new TTervaneClientForm(Instance));
  // The class's procedure is DefWindowProcA until the window knows its
  // object: the messages of creation need nothing of ours.
  form->FHandle = CreateWindowExA(kFormExStyle, kFormClass, kFormCaption, kFormStyle, kFormLeft,
                                  kFormTop, kFormWidth, kFormHeight, nullptr, nullptr, Instance,
                                  nullptr);
  if (!form->FHandle) return nullptr;
  SetWindowLongPtrA(form->FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form.get()));
  SetWindowLongPtrA(form->FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
  SetErrorBoxOwner(form->FHandle);
  form->FFont = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
  SendMessageA(form->FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(form->FFont), FALSE);
  form->FStatusBrush = CreateSolidBrush(form->FStatusColour);
  form->CreateControls();
  form->CreateHints();
  form->CreateImages();
  form->CreatePopupMenu1();
  RECT client;
  GetClientRect(form->FHandle, &client);
  form->OnSize(client.right, client.bottom);
  form->FController = std::make_unique<TTervaneController>(*form, form->FSettings);
  TTervaneController& controller = *form->FController;
  Guarded([&controller] { controller.FormCreate(); });
  return form;
}

TTervaneClientForm::~TTervaneClientForm() {
  if (FHandle) DestroyWindow(FHandle);
  SetErrorBoxOwner(nullptr);
  // The session closes without raising its events: nothing reaches the
  // window that is gone.
  FController.reset();
  if (PopupMenu1) DestroyMenu(PopupMenu1);
  for (HICON icon : ImageList1)
    if (icon) DestroyIcon(icon);
  if (FProgramIcon) DestroyIcon(FProgramIcon);
  if (FStatusBrush) DeleteObject(FStatusBrush);
  if (FFont) DeleteObject(FFont);
}

HWND TTervaneClientForm::Control(ControlId Id) const {
  for (std::size_t i = 0; i < kControlCount; ++i)
    if (kControls[i].Id == Id) return FControls[i];
  return nullptr;
}

void TTervaneClientForm::CreateControls() {
  for (std::size_t i = 0; i < kControlCount; ++i) {
    const ControlRow& row = kControls[i];
    HWND parent = row.Parent == ciWindow ? FHandle : Control(row.Parent);
    FControls[i] = CreateWindowExA(row.ExStyle, row.ClassName, row.Text, WS_CHILD | row.Style,
                                   row.Left, row.Top, row.Width, row.Height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.Id)),
                                   FInstance, nullptr);
    SendMessageA(FControls[i], WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    if ((row.Style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP && row.ClassName[0] == 'S')
      FitLabel(FControls[i], row, FFont);
    if ((row.Style & 0xF) == BS_GROUPBOX && row.ClassName[0] == 'B') {
      const auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
          FControls[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc)));
      if (!buttonDefault) buttonDefault = old;
    }
  }
  // Tab order is the order of the children: each parent's controls go to
  // the bottom in their tab order, those outside it stay in front.
  std::vector<const ControlRow*> tabbed;
  for (std::size_t i = 0; i < kControlCount; ++i)
    if (kControls[i].Tab >= 0) tabbed.push_back(&kControls[i]);
  std::stable_sort(tabbed.begin(), tabbed.end(),
                   [](const ControlRow* a, const ControlRow* b) { return a->Tab < b->Tab; });
  for (const ControlRow* row : tabbed)
    SetWindowPos(Control(row->Id), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  HWND memo = Control(ciDisplayMemo);
  // No limit of the box's own (its default is 32767 characters); the
  // console keeps its text bounded itself (console.cpp).
  SendMessageA(memo, EM_SETLIMITTEXT, 0, 0);
  SetWindowLongPtrA(memo, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  FMemoDefault = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(memo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MemoProc)));
}

void TTervaneClientForm::CreateHints() {
  FToolTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FHandle,
                             nullptr, FInstance, nullptr);
  SendMessageA(FToolTip, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  for (std::size_t i = 0; i < kControlCount; ++i) {
    if (!kControls[i].Hint) continue;
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = FHandle;
    tool.uId = reinterpret_cast<UINT_PTR>(FControls[i]);
    tool.lpszText = const_cast<char*>(kControls[i].Hint);
    SendMessageA(FToolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

LRESULT CALLBACK TTervaneClientForm::WindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  auto* form = reinterpret_cast<TTervaneClientForm*>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
  if (!form) return DefWindowProcA(Wnd, Msg, W, L);
  LRESULT result = 0;
  Guarded([&] { result = form->Dispatch(Wnd, Msg, W, L); });
  return result;
}

LRESULT TTervaneClientForm::Dispatch(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  switch (Msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(W), HIWORD(W));
      return 0;
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(reinterpret_cast<HDC>(W), reinterpret_cast<HWND>(L));
    case WM_SIZE:
      OnSize(LOWORD(L), HIWORD(L));
      return 0;
    case WM_ACTIVATE:
      // The active control takes the focus whenever the window is activated.
      if (LOWORD(W) != WA_INACTIVE) ::SetFocus(Control(FActiveControl));
      return 0;
    case WM_TRAYNOTIFY:
      FController->WMTrayNotify(static_cast<std::uint32_t>(L));
      return 0;
    case WM_CLOSE:
      // No close button; a close from outside (Alt+F4, a task manager) only
      // hides the window, the tray menu's Exit ends the program.
      ShowWindow(Wnd, SW_HIDE);
      return 0;
    case WM_DESTROY:
      FController->FormDestroy();
      FHandle = nullptr;
      return 0;
    default:
      return DefWindowProcA(Wnd, Msg, W, L);
  }
}

void TTervaneClientForm::OnCommand(int Id, int Code) {
  TTervaneController& c = *FController;
  if (Code == EN_CHANGE) {
    if (Id == ciHostEdit || Id == ciPortEdit || Id == ciUserBox || Id == ciPWBox) c.FieldChange();
    return;
  }
  if (Code != BN_CLICKED) return;  // menu choices arrive as code 0 = BN_CLICKED
  switch (Id) {
    case ciHideButton: HideButtonClick(); break;
    case ciShowCheckBox: c.ShowCheckBoxClick(); break;
    case ciForceCheckBox: c.ForceCheckBoxClick(); break;
    case ciBlockCheckBox: c.BlockCheckBoxClick(); break;
    case ciDownButton: c.DownButtonClick(); break;
    case ciUpButton: c.UpButtonClick(); break;
    case ciAutoCheckBox: c.FieldChange(); break;
    case ciSaveButton: c.SaveButtonClick(); break;
    case ciDisconnectButton: c.DisconnectButtonClick(); break;
    case ciConnectButton: c.ConnectButtonClick(); break;
    case miShowFullWindow1: ShowFullWindow1Click(); break;
    case miConnect1: c.Connect1Click(); break;
    case miDisconnect1: c.Disconnect1Click(); break;
    case miBlock1: c.Block1Click(); break;
    case miForce1: c.Force1Click(); break;
    case miExit1: Exit1Click(); break;
    default: break;  // labels, containers: no handler
  }
}

LRESULT TTervaneClientForm::OnCtlColorStatic(HDC Dc, HWND Ctl) {
  if (Ctl == Control(ciStatPanel)) {
    SetBkColor(Dc, FStatusColour);
    SetTextColor(Dc, RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(FStatusBrush);
  }
  return DefWindowProcA(FHandle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(Dc),
                        reinterpret_cast<LPARAM>(Ctl));
}

void TTervaneClientForm::OnSize(int Width, int Height) {
  // The panel keeps its height along the top; the console fills the rest.
  const ControlRow& panel = ControlRowOf(ciPanel1);
  MoveWindow(Control(ciPanel1), 0, 0, Width, panel.Height, TRUE);
  MoveWindow(Control(ciDisplayMemo), 0, panel.Height, Width,
             std::max(0, Height - panel.Height), TRUE);
}

