// TTervaneClientForm on Win32: the program's one top-level window, its
// controls (control_table.h), the tray icon and its pop-up menu, and the
// handlers that the window description binds.  Everything runs on the
// thread of the message loop; every window procedure of ours catches what
// its handlers throw and hands it to the top-level error handler
// (error_box.h), so nothing unwinds through the system's frames.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

#include "control_table.h"

class TTnCnx;

// The tray's callback message: the mouse message arrives in lParam.
inline constexpr UINT WM_TRAYNOTIFY = WM_USER + 1;

// Pop-up menu item ids (WM_COMMAND), apart from the controls' ids.
enum MenuId : int {
  miShowFullWindow1 = 200,
  miConnect1,
  miDisconnect1,
  miBlock1,
  miForce1,
  miExit1,
};

// The tray images, in ImageList1's order.
enum TrayImage : int { tiRed = 0, tiGreen = 1, tiGrey = 2, tiBlocked = 3, kTrayImageCount };

inline constexpr char kFormClass[] = "TTervaneClientForm";
inline constexpr char kFormCaption[] = "Zel Tervane Windows Client";
inline constexpr char kProgramTitle[] = "TervaneWinC";

class TTervaneClientForm {
 public:
  // Registers the classes, creates the window (hidden) and its controls,
  // then runs FormCreate.  A failure inside FormCreate is shown by the
  // error handler and ends FormCreate there; the window stays.
  static TTervaneClientForm* Create(HINSTANCE Instance);
  // Destroys the window (FormDestroy) and everything the form owns.
  ~TTervaneClientForm();

  HWND Handle() const { return FHandle; }
  HWND Control(ControlId Id) const;

 private:
  explicit TTervaneClientForm(HINSTANCE Instance);
  static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
  static LRESULT CALLBACK MemoProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);
  LRESULT Dispatch(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

  // form_window.cpp: the window and its controls.
  void CreateControls();
  void CreateHints();
  void OnCommand(int Id, int Code);
  LRESULT OnCtlColorStatic(HDC Dc, HWND Control);
  void OnSize(int Width, int Height);
  void SetActiveControl(ControlId Id);
  void SetHeight(int Height);

  // form_session.cpp (Part of the controller: session and login).
  void FormCreate();
  void FormDestroy();
  void ConnectRequest();
  void ConnectButtonClick();
  void DisconnectButtonClick();
  void TnCnxSessionConnected();
  void TnCnxSessionClosed();
  void TnCnxDataAvailable(const char* Buffer, int Len);
  void DisplayMemoKeyPress(char Key);
  void SetStatus(const char* Caption, COLORREF Colour);

  // form_settings.cpp
  void LoadSettings();
  void SaveButtonClick();
  void ShowSaveButton();

  // form_access.cpp
  void SendLine(const std::string& Command);
  void AccessUp();
  void AccessDown();
  void BlockAccess();
  void UnblockAccess();
  void ForceAccess();
  void UnforceAccess();
  void BlockCheckBoxClick();
  void ForceCheckBoxClick();
  void Block1Click();
  void Force1Click();

  // form_tray.cpp
  void CreateImages();
  void CreatePopupMenu1();
  void AddTrayIcon();
  void UpdateTrayTip();
  void TrayUpdate(int Image);
  void WMTrayNotify(LPARAM MouseMessage);
  void HideButtonClick();
  void ShowFullWindow1Click();
  void Exit1Click();

  // Helpers over the controls.
  std::string FieldText(ControlId Id) const;
  void SetFieldText(ControlId Id, const std::string& Text);
  bool IsChecked(ControlId Id) const;
  void SetChecked(ControlId Id, bool Checked);
  void ShowMessage(const char* Text);
  bool AskYesNo(const char* Title, const char* Text);

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

  // The controller's state: the last received chunk and the access flags.
  std::string LastChunk;
  bool IsOpen = false;
  bool IsBlocked = false;
  bool IsForced = false;

  std::string SettingsFile;
  std::unique_ptr<TTnCnx> TnCnx;
};
