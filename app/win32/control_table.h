// The window description of TTervaneClientForm as data: every control's
// class, parent, position, size, caption, style, hint and tab order, one row
// each, created in one loop the way a dialog template is.
#pragma once

#include <windows.h>

#include <cstddef>

// Control identifiers; also the WM_COMMAND ids of the controls.  ciWindow
// stands for the main window as a parent.
enum ControlId : int {
  ciWindow = 0,
  ciDisplayMemo = 100,
  ciPanel1,
  ciHideButton,
  ciShowCheckBox,
  ciAccessGroupBox,
  ciForceCheckBox,
  ciBlockCheckBox,
  ciDownButton,
  ciUpButton,
  ciConfGroupBox,
  ciHostLabel,
  ciPortLabel,
  ciUserLabel,
  ciPWLabel,
  ciHostEdit,
  ciPortEdit,
  ciAutoCheckBox,
  ciUserBox,
  ciPWBox,
  ciSaveButton,
  ciTervaneGroupBox,
  ciDisconnectButton,
  ciConnectButton,
  ciStatPanel,
};

// The container of the top panel (a plain child window that passes its
// children's notifications on to the main window).
inline constexpr char kPanelClass[] = "TervanePanel";

struct ControlRow {
  ControlId Id;
  ControlId Parent;
  const char* ClassName;
  const char* Text;
  DWORD Style;    // WS_CHILD is added for every row
  DWORD ExStyle;
  int Left, Top, Width, Height;  // relative to the parent's client area
  int Tab;        // tab order within the parent; -1: not in the tab order
  const char* Hint;  // nullptr: none
};

inline constexpr std::size_t kControlCount = 24;
extern const ControlRow kControls[kControlCount];

// The row of a control (every ControlId but ciWindow has one).
const ControlRow& ControlRowOf(ControlId Id);
