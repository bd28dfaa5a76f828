// What the controller needs of a front-end: the one interface through which
// the toolkit-neutral controller (controller.h) reads the window's fields,
// asks its questions and shows its state.  A front-end implements it over
// its own widgets (Qt on Linux, Win32 on Windows); the controller decides
// every rule, the front-end only carries it out.
//
// The controller calls these from inside its handlers, also from inside the
// telnet component's events.  None of them may call back into the
// controller, with one exception: a field set by SetFieldText, or the
// auto-connect box set by SetChecked, may report its change (FieldChange)
// as a user's edit would.  Setting the Block or Force box must not run its
// click handler.
#pragma once

#include <cstdint>
#include <string>

#include "console_lines.h"

// The four text fields of the configuration group.
enum TField : unsigned char {
  fdHostEdit,  // host name or address
  fdPortEdit,  // port number or service name
  fdUserBox,   // user name sent at the login prompt
  fdPWBox,     // password sent at the password prompt
};

// The check boxes and the pop-up menu's two check marks.  Every one of them
// is a record of its own: the controller keeps them in step only where its
// rules say so.
enum TCheck : unsigned char {
  ckAutoCheckBox,   // "Auto-Connect on Startup"
  ckBlockCheckBox,  // "Block Connection"
  ckForceCheckBox,  // "Force Connection"
  ckShowCheckBox,   // "Show Telnet Console"
  ckBlock1,         // the menu item "Block"'s check mark
  ckForce1,         // the menu item "Force"'s check mark
};

// Controls whose enabled state or focus follows the session.
enum TControl : unsigned char {
  ctDisplayMemo,       // the console
  ctConnectButton,     // "Connect"
  ctDisconnectButton,  // "Disconnect"
};

struct TRgb {
  std::uint8_t R, G, B;
};

class TControllerView {
 public:
  virtual ~TControllerView() = default;

  // The field's text as it stands now, one byte per character.  Read at the
  // moment of use: by every connect request (host, port) and at every prompt
  // (user name, password), and by Save.
  virtual std::string FieldText(TField Field) = 0;
  // Puts Text into the field; called while the settings load at start-up.
  // The field's change (which shows Save) may follow: the controller hides
  // Save after loading.
  virtual void SetFieldText(TField Field, const std::string& Text) = 0;

  // A check box's state, or whether a menu item carries its check mark, as
  // the user left it.  For a menu item: the mark before the choice that the
  // controller is now handling.
  virtual bool Checked(TCheck Check) = 0;
  // Sets the state without running any handler.  Called by the settings
  // load (AutoCheckBox) and by the menu's Block and Force choices.
  virtual void SetChecked(TCheck Check, bool Value) = 0;

  // The plain box with an OK button; returns when it is dismissed.  The
  // first-start message and "Already open!".
  virtual void ShowMessage(const std::string& Text) = 0;
  // The Yes/No box, Yes the default, no icon; true for Yes.  The two
  // confirmations of the access actions.
  virtual bool AskYesNo(const std::string& Title, const std::string& Text) = 0;

  // The tray icon: added once at start-up (image 2, the start-up tip),
  // updated after every access action with the image and the tip as they
  // then stand (the window's own icon takes the image too), removed when
  // the window is destroyed.  Images: 0 red, 1 green, 2 grey, 3 red crossed
  // out.  Tip at most 63 bytes.
  virtual void TrayAdd(int Image, const std::string& Tip) = 0;
  virtual void TrayUpdate(int Image, const std::string& Tip) = 0;
  virtual void TrayRemove() = 0;
  // The right button on the tray icon: the pop-up menu at the pointer, the
  // window brought to the foreground (it may stay hidden).
  virtual void OpenPopupMenu() = 0;

  // The status panel's caption and colour, on every session change.
  virtual void SetStatus(const std::string& Caption, TRgb Colour) = 0;
  // Enabled state and keyboard focus of the session's controls.
  virtual void SetEnabled(TControl Control, bool Enabled) = 0;
  virtual void SetFocus(TControl Control) = 0;
  // Shows or hides the Save button.
  virtual void SetSaveVisible(bool Visible) = 0;
  // The window's short (console hidden) or tall (console shown) height.
  virtual void ShowConsole(bool Shown) = 0;
  // Applies the console operations, in order, to the console's text box.
  virtual void ApplyConsole(const TConsoleOps& Ops) = 0;
};
