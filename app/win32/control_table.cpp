// The control rows of the main window (control_table.h), in the order of
// the window description.
#include "control_table.h"

#include <cstdlib>

namespace {

constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kCheck = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kGroup = WS_VISIBLE | BS_GROUPBOX;
// Labels size themselves to their caption (form_window.cpp), never wrap.
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFTNOWORDWRAP;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
// Containers: tabbing goes into their children.
constexpr DWORD kContainerEx = WS_EX_CONTROLPARENT;

}  // namespace

const ControlRow kControls[kControlCount] = {
    {ciDisplayMemo, ciWindow, "EDIT", "DisplayMemo",
     WS_VISIBLE | WS_TABSTOP | WS_DISABLED | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
         ES_AUTOVSCROLL | ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE, 0, 161, 607, 292, 0, nullptr},
    {ciPanel1, ciWindow, kPanelClass, "", WS_VISIBLE, kContainerEx, 0, 0, 607, 161, 1, nullptr},
    {ciHideButton, ciPanel1, "BUTTON", "Hide in System Tray", kButton, 0, 480, 128, 121, 25, 0,
     nullptr},
    {ciShowCheckBox, ciPanel1, "BUTTON", "Show Telnet Console", kCheck, 0, 480, 96, 121, 17, 1,
     nullptr},
    {ciAccessGroupBox, ciPanel1, "BUTTON", "Internet Access:", kGroup, kContainerEx, 352, 8, 121,
     145, 2, nullptr},
    {ciForceCheckBox, ciAccessGroupBox, "BUTTON", "Force Connection", kCheck, 0, 8, 112, 105, 17,
     0, "Always access (automatically re-dials if line goes down)"},
    {ciBlockCheckBox, ciAccessGroupBox, "BUTTON", "Block Connection", kCheck, 0, 8, 72, 105, 17,
     1, "Do not allow internet access"},
    {ciDownButton, ciAccessGroupBox, "BUTTON", "Down", kButton, 0, 64, 24, 49, 25, 2,
     "Close internet access"},
    {ciUpButton, ciAccessGroupBox, "BUTTON", "Up", kButton, 0, 8, 24, 49, 25, 3,
     "Open internet access"},
    {ciConfGroupBox, ciPanel1, "BUTTON", "Configuration:", kGroup, kContainerEx, 8, 8, 201, 145, 3,
     nullptr},
    {ciHostLabel, ciConfGroupBox, "STATIC", "Host Name:", kLabel, 0, 8, 19, 56, 13, -1, nullptr},
    {ciPortLabel, ciConfGroupBox, "STATIC", "Port Number:", kLabel, 0, 8, 43, 62, 13, -1, nullptr},
    {ciUserLabel, ciConfGroupBox, "STATIC", "User Name:", kLabel, 0, 8, 67, 56, 13, -1, nullptr},
    {ciPWLabel, ciConfGroupBox, "STATIC", "Password:", kLabel, 0, 8, 91, 49, 13, -1, nullptr},
    {ciHostEdit, ciConfGroupBox, "EDIT", "192.168.0.1", kEdit, WS_EX_CLIENTEDGE, 72, 16, 105, 21,
     0, "Examples: 192.168.0.1 or router.example.net"},
    {ciPortEdit, ciConfGroupBox, "EDIT", "23", kEdit, WS_EX_CLIENTEDGE, 72, 40, 105, 21, 1,
     "Usually port 23"},
    {ciAutoCheckBox, ciConfGroupBox, "BUTTON", "Auto-Connect on Startup", kCheck, 0, 8, 120, 145,
     17, 4, "Automatically connect to the tervane box when this program starts"},
    {ciUserBox, ciConfGroupBox, "EDIT", "User", kEdit, WS_EX_CLIENTEDGE, 72, 64, 105, 21, 2,
     "Example: root"},
    {ciPWBox, ciConfGroupBox, "EDIT", "Lanterns", kEdit, WS_EX_CLIENTEDGE, 72, 88, 105, 21, 3,
     "Example: QZV"},
    // Hidden at start: no WS_VISIBLE.
    {ciSaveButton, ciConfGroupBox, "BUTTON", "Save", WS_TABSTOP | BS_PUSHBUTTON, 0, 152, 120, 43,
     17, 5, nullptr},
    {ciTervaneGroupBox, ciPanel1, "BUTTON", "Connect to Tervane Box:", kGroup, kContainerEx, 216,
     8, 129, 145, 4, nullptr},
    {ciDisconnectButton, ciTervaneGroupBox, "BUTTON", "Disconnect", kButton | WS_DISABLED, 0, 8,
     50, 113, 21, 0, "Disconnect from the tervane box"},
    {ciConnectButton, ciTervaneGroupBox, "BUTTON", "Connect", kButton, 0, 8, 20, 113, 21, 2,
     "Establish connection to the tervane box"},
    // The status caption, painted red or green by the window (WM_CTLCOLORSTATIC).
    {ciStatPanel, ciTervaneGroupBox, "STATIC", "Status: Disconnected",
     WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, WS_EX_STATICEDGE, 8, 112, 113, 17, 1, nullptr},
};

static_assert(ciStatPanel - ciDisplayMemo + 1 == kControlCount, "one row per control");

const ControlRow& ControlRowOf(ControlId Id) {
  for (const ControlRow& row : kControls)
    if (row.Id == Id) return row;
  std::abort();  // every control has a row: a missing one is a build fault
}
