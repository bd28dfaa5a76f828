// What the controller asks of the window (controller_view.h), carried out
// on the Win32 controls.
#include <windows.h>

#include "console.h"
#include "controller.h"
#include "error_box.h"
#include "form.h"

namespace {

ControlId FieldId(TField Field) {
  switch (Field) {
    case fdHostEdit: return ciHostEdit;
    case fdPortEdit: return ciPortEdit;
    case fdUserBox: return ciUserBox;
    case fdPWBox: return ciPWBox;
  }
  return ciHostEdit;  // not reached: every field is listed
}

ControlId ControlIdOf(TControl Ctl) {
  switch (Ctl) {
    case ctDisplayMemo: return ciDisplayMemo;
    case ctConnectButton: return ciConnectButton;
    case ctDisconnectButton: return ciDisconnectButton;
  }
  return ciConnectButton;  // not reached: every control is listed
}

// The window heights with the console hidden and shown.
constexpr int kShortHeight = 188, kTallHeight = 480;

}  // namespace

std::string TTervaneClientForm::FieldText(TField Field) {
  HWND field = Control(FieldId(Field));
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(field)) + 1, '\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextA(field, text.data(), static_cast<int>(text.size()))));
  return text;
}

void TTervaneClientForm::SetFieldText(TField Field, const std::string& Text) {
  SetWindowTextA(Control(FieldId(Field)), Text.c_str());
}

bool TTervaneClientForm::Checked(TCheck Check) {
  // A menu item's mark does not flip by itself on Windows: what it shows is
  // the mark before the choice being handled.
  auto box = [this](ControlId Id) {
    return SendMessageA(Control(Id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  };
  auto mark = [this](int Item) {
    return (GetMenuState(PopupMenu1, static_cast<UINT>(Item), MF_BYCOMMAND) & MF_CHECKED) != 0;
  };
  switch (Check) {
    case ckAutoCheckBox: return box(ciAutoCheckBox);
    case ckBlockCheckBox: return box(ciBlockCheckBox);
    case ckForceCheckBox: return box(ciForceCheckBox);
    case ckShowCheckBox: return box(ciShowCheckBox);
    case ckBlock1: return mark(miBlock1);
    case ckForce1: return mark(miForce1);
  }
  return false;  // not reached: every check is listed
}

void TTervaneClientForm::SetChecked(TCheck Check, bool Value) {
  // BM_SETCHECK sends no BN_CLICKED: the box's own handler does not run.
  auto box = [this, Value](ControlId Id) {
    SendMessageA(Control(Id), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  auto mark = [this, Value](int Item) {
    CheckMenuItem(PopupMenu1, static_cast<UINT>(Item),
                  MF_BYCOMMAND | (Value ? MF_CHECKED : MF_UNCHECKED));
  };
  switch (Check) {
    case ckAutoCheckBox: box(ciAutoCheckBox); break;
    case ckBlockCheckBox: box(ciBlockCheckBox); break;
    case ckForceCheckBox: box(ciForceCheckBox); break;
    case ckShowCheckBox: box(ciShowCheckBox); break;
    case ckBlock1: mark(miBlock1); break;
    case ckForce1: mark(miForce1); break;
  }
}

void TTervaneClientForm::ShowMessage(const std::string& Text) {
  MessageBoxA(FHandle, Text.c_str(), kProgramTitle, MB_OK | MB_SETFOREGROUND);
}

bool TTervaneClientForm::AskYesNo(const std::string& Title, const std::string& Text) {
  return MessageBoxA(FHandle, Text.c_str(), Title.c_str(),
                     MB_YESNO | MB_DEFBUTTON1 | MB_SETFOREGROUND) == IDYES;
}

void TTervaneClientForm::SetStatus(const std::string& Caption, TRgb Colour) {
  FStatusColour = RGB(Colour.R, Colour.G, Colour.B);
  DeleteObject(FStatusBrush);
  FStatusBrush = CreateSolidBrush(FStatusColour);
  SetWindowTextA(Control(ciStatPanel), Caption.c_str());
  InvalidateRect(Control(ciStatPanel), nullptr, TRUE);
}

void TTervaneClientForm::SetEnabled(TControl Ctl, bool Enabled) {
  EnableWindow(Control(ControlIdOf(Ctl)), Enabled ? TRUE : FALSE);
}

void TTervaneClientForm::SetFocus(TControl Ctl) {
  // The active control: it takes the focus now if the window is active,
  // else when the window is next activated (WM_ACTIVATE).
  FActiveControl = ControlIdOf(Ctl);
  if (GetActiveWindow() == FHandle) ::SetFocus(Control(FActiveControl));
}

void TTervaneClientForm::SetSaveVisible(bool Visible) {
  ShowWindow(Control(ciSaveButton), Visible ? SW_SHOW : SW_HIDE);
}

void TTervaneClientForm::ShowConsole(bool Shown) {
  RECT r;
  GetWindowRect(FHandle, &r);
  SetWindowPos(FHandle, nullptr, 0, 0, r.right - r.left, Shown ? kTallHeight : kShortHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TTervaneClientForm::ApplyConsole(const TConsoleOps& Ops) {
  ApplyConsoleOps(Control(ciDisplayMemo), Ops);
}

LRESULT CALLBACK TTervaneClientForm::MemoProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
  auto* form = reinterpret_cast<TTervaneClientForm*>(GetWindowLongPtrA(Wnd, GWLP_USERDATA));
  switch (Msg) {
    case WM_CHAR:
      // The byte goes to the router; the character is swallowed: what the
      // console shows comes only from the router's echo.
      Guarded([&] { form->FController->DisplayMemoKeyPress(static_cast<char>(W)); });
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
