// TTervaneClientForm on Win32: the program's one top-level window, its
// controls (control_table.h), the tray icon and its pop-up menu.  It is the
// controller core's front-end (controller_view.h): the window's events go
// to the controller, which decides every rule and calls back through the
// view operations below.  Everything runs on the thread of the message
// loop; every window procedure of ours catches what its handlers throw and
// hands it to the top-level error handler (error_box.h), so nothing unwinds
// through the system's frames.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

#include "control_table.h"
#include "form_ids.h"
#include "controller_view.h"
#include "private_profile.h"

class TTervaneController;

// ImageList1: four 16 by 16 images, in the controller's image order.
inline constexpr int kTrayImageCount = 4;

class TTervaneClientForm final : public TControllerView {
 public:
  // Registers the classes, creates the window (hidden), its controls and
  // the controller, then runs the controller's FormCreate.  A failure
  // inside FormCreate is shown by the error handler and ends FormCreate
  // there; the window stays.
  static std::unique_ptr<TTervaneClientForm> Create(HINSTANCE Instance);
  // Destroys the window (FormDestroy removes the tray icon), then the
  // controller and its telnet session.
  ~TTervaneClientForm() override;

  HWND Handle() const { return FHandle; }
  HWND Control(ControlId Id) const;

  // TControllerView
  std::string FieldText(TField Field) override;
  void SetFieldText(TField Field, const std::string& Text) override;
  bool Checked(TCheck Check) override;
  void SetChecked(TCheck Check, bool Value) override;
  void ShowMessage(const std::string& Text) override;
  bool AskYesNo(const std::string& Title, const std::string& Text) override;
  void TrayAdd(int Image, const std::string& Tip) override;
  void TrayUpdate(int Image, const std::string& Tip) override;
  void TrayRemove() override;
  void OpenPopupMenu() override;
  void SetStatus(const std::string& Caption, TRgb Colour) override;
  void SetEnabled(TControl Ctl, bool Enabled) override;
  void SetFocus(TControl Ctl) override;
  void SetSaveVisible(bool Visible) override;
  void ShowConsole(bool Shown) override;
  void ApplyConsole(const TConsoleOps& Ops) override;

 private:
  explicit TTervaneClientForm(HINSTANCE Instance);
  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
  static LRESULT CALLBACK MemoProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
  LRESULT Dispatch(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

  // form_window.cpp: the window, its controls and its messages.
  void CreateControls();
  void CreateHints();
  void OnCommand(int Id, int Code);
  LRESULT OnCtlColorStatic(HDC Dc, HWND Ctl);
  void OnSize(int Width, int Height);

  // form_tray.cpp: images, pop-up menu, show, hide and exit.
  void CreateImages();
  void CreatePopupMenu1();
  void SetTrayFields(int Image, const std::string& Tip);
  void HideButtonClick();
  void ShowFullWindow1Click();
  void Exit1Click();

  HINSTANCE FInstance;
  HWND FHandle = nullptr;
  std::array<HWND, kControlCount> FControls{};
  HWND FToolTip = nullptr;
  HFONT FFont = nullptr;
  HBRUSH FStatusBrush = nullptr;
  COLORREF FStatusColour = RGB(255, 0, 0);
  ControlId FActiveControl = ciConnectButton;
  WNDPROC FMemoDefault = nullptr;

  HMENU PopupMenu1 = nullptr;
  std::array<HICON, kTrayImageCount> ImageList1{};
  HICON FProgramIcon = nullptr;
  NOTIFYICONDATAA TrayIconData{};

  TPrivateProfileStore FSettings;
  std::unique_ptr<TTervaneController> FController;
};
