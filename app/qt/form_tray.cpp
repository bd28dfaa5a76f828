// The tray icon of the main window as the controller draws it, the pop-up
// menu at the pointer, and the window's place on desktops without a tray.
#include <QCursor>
#include <QMenu>

#include "error_handler.h"
#include "images.h"
#include "tervane_client_form.h"
#include "tray_presence.h"

void TTervaneClientForm::TrayAdd(int Image, const std::string& Tip) {
  FTrayIconData.hIcon = ::TrayImage(Image);
  FTrayIconData.callback = [this](std::uint32_t code) { Guarded([&] { WMTrayNotify(code); }); };
  FTrayIconData.menu = PopupMenu1;
  FTrayIconData.SetTip(Tip);
  FTray->ShellNotifyIcon(NIM_ADD, FTrayIconData);
  WatchTrayPresence();
}

void TTervaneClientForm::TrayUpdate(int Image, const std::string& Tip) {
  const QIcon icon = ::TrayImage(Image);
  setWindowIcon(icon);
  FTrayIconData.hIcon = icon;
  FTrayIconData.SetTip(Tip);
  FTray->ShellNotifyIcon(NIM_MODIFY, FTrayIconData);
}

void TTervaneClientForm::TrayRemove() {
  FTray->ShellNotifyIcon(NIM_DELETE, FTrayIconData);
  // The menu description handed to a bus tray host holds one entry per
  // item, which goes only when its item is taken out of the menu; a menu
  // that is simply destroyed would leave them behind.
  for (QAction* item : PopupMenu1->actions()) PopupMenu1->removeAction(item);
}

void TTervaneClientForm::OpenPopupMenu() {
  // The menu opens at the mouse; a hidden window stays hidden.  An
  // embedded tray has opened it already (it is the icon's menu); a host
  // asking over D-Bus gets its answer at once, so the menu never runs a
  // loop of its own here.
  activateWindow();
  if (!PopupMenu1->isVisible()) PopupMenu1->popup(QCursor::pos());
}

void TTervaneClientForm::WatchTrayPresence() {
  FTrayPresence = new TTrayPresence([this](bool present) { TrayPresenceChanged(present); }, this);
  if (!FTrayPresence->Present()) TrayPresenceChanged(false);
}

void TTervaneClientForm::TrayPresenceChanged(bool Present) {
  if (!Present) {
    FShownForNoTray = !isVisible();
    ShowFullWindow1Click();
  } else if (FShownForNoTray) {
    FShownForNoTray = false;
    hide();
  }
}
