// The telnet session as the window shows it: start-up and shut-down,
// connect and disconnect, the status panel, the automatic login at the
// router's prompts and the console's typed keys.
#include <windows.h>

#include "console.h"
#include "controller_rules.h"
#include "error_box.h"
#include "form.h"
#include "tncnx.h"

void TTervaneClientForm::FormCreate() {
  TnCnx = std::make_unique<TTnCnx>(nullptr);
  TnCnx->OnSessionConnected = [this](TTnCnx*, WORD) { TnCnxSessionConnected(); };
  TnCnx->OnSessionClosed = [this](TTnCnx*, WORD) { TnCnxSessionClosed(); };
  TnCnx->OnDataAvailable = [this](TTnCnx*, const char* Buffer, int Len) {
    TnCnxDataAvailable(Buffer, Len);
  };
  IsOpen = IsBlocked = IsForced = false;
  LoadSettings();
  ShowWindow(Control(ciSaveButton), SW_HIDE);
  AddTrayIcon();
  if (IsChecked(ciAutoCheckBox)) ConnectRequest();
  SetHeight(188);
}

void TTervaneClientForm::FormDestroy() {
  Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
  FHandle = nullptr;
}

void TTervaneClientForm::ConnectRequest() {
  TnCnx->Host = FieldText(ciHostEdit);
  TnCnx->Port = FieldText(ciPortEdit);
  TnCnx->TermType = "VT100";
  TnCnx->LocalEcho = false;
  TnCnx->Connect();
}

void TTervaneClientForm::ConnectButtonClick() { ConnectRequest(); }

void TTervaneClientForm::DisconnectButtonClick() { TnCnx->Close(); }

void TTervaneClientForm::SetStatus(const char* Caption, COLORREF Colour) {
  FStatusColour = Colour;
  DeleteObject(FStatusBrush);
  FStatusBrush = CreateSolidBrush(Colour);
  SetWindowTextA(Control(ciStatPanel), Caption);
  InvalidateRect(Control(ciStatPanel), nullptr, TRUE);
}

void TTervaneClientForm::TnCnxSessionConnected() {
  ClearConsole(Control(ciDisplayMemo));
  SetStatus("Status: Connected", RGB(0, 255, 0));
  EnableWindow(Control(ciDisplayMemo), TRUE);
  EnableWindow(Control(ciConnectButton), FALSE);
  EnableWindow(Control(ciDisconnectButton), TRUE);
  SetActiveControl(ciDisplayMemo);
}

void TTervaneClientForm::TnCnxSessionClosed() {
  SetStatus("Status: Disconnected", RGB(255, 0, 0));
  EnableWindow(Control(ciDisplayMemo), FALSE);
  EnableWindow(Control(ciConnectButton), TRUE);
  EnableWindow(Control(ciDisconnectButton), FALSE);
  SetActiveControl(ciConnectButton);
}

void TTervaneClientForm::TnCnxDataAvailable(const char* Buffer, int Len) {
  const std::string Text = ChunkText(Buffer, Len);
  AppendToConsole(Control(ciDisplayMemo), Text);
  LastChunk = Text;
  if (IsLoginPrompt(LastChunk)) {
    TnCnx->SendStr(FieldText(ciUserBox));
    TnCnx->SendStr("\r");
  }
  // Tested whatever the login test found.
  if (IsPasswordPrompt(LastChunk)) {
    TnCnx->SendStr(FieldText(ciPWBox));
    TnCnx->SendStr("\r");
  }
}

void TTervaneClientForm::DisplayMemoKeyPress(char Key) {
  // What the console shows comes only from the router's echo.
  TnCnx->Send(&Key, 1);
}

LRESULT CALLBACK TTervaneClientForm::MemoProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  auto* form = reinterpret_cast<TTervaneClientForm*>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
  switch (Msg) {
    case WM_CHAR:
      // The byte goes to the router; the character is swallowed.
      Guarded([&] { form->DisplayMemoKeyPress(static_cast<char>(W)); });
      return 0;
    case WM_GETDLGCODE: {
      // Tab moves the focus between the window's controls; every other key
      // belongs to the console (Enter and Escape included).
      LRESULT code = CallWindowProcA(form->FMemoDefault, Wnd, Msg, W, L);
      const auto* msg = reinterpret_cast<const MSG*>(L);
      if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB)
        code &= ~static_cast<LRESULT>(DLGC_WANTTAB | DLGC_WANTMESSAGE);
      return code;
    }
    default:
      return CallWindowProcA(form->FMemoDefault, Wnd, Msg, W, L);
  }
}
