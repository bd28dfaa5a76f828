// The names by which the shell, the user's tools and the program's own test
// reach the main window: its class and caption, the tray's callback
// message and the pop-up menu's command ids.
#pragma once

#include <windows.h>

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

inline constexpr char kFormClass[] = "TTervaneClientForm";
inline constexpr char kFormCaption[] = "Zel Tervane Windows Client";
inline constexpr char kProgramTitle[] = "TervaneWinC";
