// TTervaneController: the program's logic, apart from any window toolkit.
// It owns the one telnet session to the router, logs in by itself at the
// router's prompts, sends the access-control command lines, keeps the access
// flags, loads and saves the settings, builds the tray tip and decides what
// the console shows.  It reaches its front-end only through TControllerView
// and its settings file only through TSettingsStore; each front-end turns
// its widgets' events into calls of the handlers below.
//
// The controller catches nothing.  A failure raised inside a handler (a
// socket error such as 10057 "not connected" from an access action, an
// unresolvable host from a connect, "Unable to write to %s" from Save) ends
// that handler where it stands and reaches the caller: the front-end's
// top-level error handler shows its text and returns to its loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "component.h"
#include "console_lines.h"
#include "controller_view.h"
#include "settings_store.h"

class TTnCnx;

// Raised when a setting cannot be written; the message names the file.
class ESettingsWriteError : public Exception {
 public:
  using Exception::Exception;
};

// The tray's mouse codes (the mouse message of the tray notification).
enum : std::uint32_t {
  kTrayLeftDoubleClick = 0x203,  // toggles access
  kTrayRightButtonDown = 0x204,  // opens the pop-up menu
};

class TTervaneController {
 public:
  // The tray images, by index.
  enum TImage : int { imRed = 0, imGreen = 1, imGrey = 2, imBlocked = 3 };

  // View and Settings outlive the controller.  Creating the controller
  // creates the telnet component (Port "23", Location "TNCNX", TermType
  // "VT100", LocalEcho true) and binds its three events; nothing is shown
  // or connected until FormCreate.
  TTervaneController(TControllerView& View, TSettingsStore& Settings);
  // Destroys the telnet component, which closes without raising its events.
  ~TTervaneController();
  TTervaneController(const TTervaneController&) = delete;
  TTervaneController& operator=(const TTervaneController&) = delete;

  TTnCnx& TnCnx() const { return *FTnCnx; }

  // Access flags: what the controller last sent, not the router's state.
  bool IsOpen = false;
  bool IsBlocked = false;
  bool IsForced = false;
  // The most recently received chunk, up to its first zero byte.
  std::string LastChunk;
  // The image and the tip the tray shows now.
  int TrayImage() const { return FTrayImage; }
  const std::string& TrayTip() const { return FTrayTip; }

  // Start-up, once, when the window is created: the first-start message if
  // the settings file is missing, the flags cleared, the settings loaded,
  // Save hidden, the grey tray icon added, the auto-connect, the console
  // hidden.  A failed auto-connect raises from here after the tray icon is
  // in place (the console is then left as the window description has it).
  void FormCreate();
  // The window is being destroyed: the tray icon goes.
  void FormDestroy();

  // The session: the connect request (host and port read from the fields
  // now, TermType "VT100", LocalEcho false) and the close.
  void ConnectButtonClick();
  void DisconnectButtonClick();

  // The six access actions, each ending its two sends ("control ...", then
  // one CR) with a tray update and its flags; with no session the first
  // send raises and nothing after it happens.
  void AccessUp();
  void AccessDown();
  void BlockAccess();
  void UnblockAccess();
  void ForceAccess();
  void UnforceAccess();

  // Window controls and menu items that start them.  The check box
  // handlers run when the user changes the box's state and read the state
  // it now has; the menu's Block and Force read their mark as it was before
  // the choice, flip it and set the check box to match (without its
  // handler), then run the one action.
  void UpButtonClick() { AccessUp(); }
  void DownButtonClick() { AccessDown(); }
  void Connect1Click() { AccessUp(); }
  void Disconnect1Click() { AccessDown(); }
  void BlockCheckBoxClick();
  void ForceCheckBoxClick();
  void Block1Click();
  void Force1Click();

  // Any edit of the four text fields, or a click of AutoCheckBox: Save
  // shows.  Save writes the five keys in order and hides the button; a
  // failed write raises "Unable to write to <file>" and skips the rest.
  void FieldChange();
  void SaveButtonClick();

  // "Show Telnet Console" ticked or unticked.
  void ShowCheckBoxClick();
  // A character key typed in the console: its one byte goes to the router.
  void DisplayMemoKeyPress(char Key);
  // The tray's notification with its mouse code; codes other than the two
  // above do nothing.
  void WMTrayNotify(std::uint32_t MouseCode);

 private:
  void LoadSettings();
  void ConnectRequest();
  void SendLine(const std::string& Command);
  void UpdateTrayTip();
  void TrayUpdate(int Image);
  void TnCnxSessionConnected();
  void TnCnxSessionClosed();
  void TnCnxDataAvailable(const char* Buffer, int Len);

  TControllerView& FView;
  TSettingsStore& FSettings;
  std::unique_ptr<TTnCnx> FTnCnx;
  TConsoleLines FConsole;
  int FTrayImage = imGrey;
  std::string FTrayTip;
};
