// The tray icon of the main window: its tip, its image after each access
// action, and what a click on it does.
#include <QCheckBox>
#include <QCursor>
#include <QMenu>

#include "error_handler.h"
#include "images.h"
#include "tervane_client_form.h"
#include "tray_presence.h"

void TTervaneClientForm::AddTrayIcon() {
  FTrayImage = tiGrey;
  FTrayIconData.hIcon = ::TrayImage(tiGrey);
  FTrayIconData.callback = [this](std::uint32_t code) { Guarded([&] { WMTrayNotify(code); }); };
  FTrayIconData.menu = PopupMenu1;
  FTrayIconData.SetTip("Zel Tervane Windows Client");
  UpdateTrayTip();
  FTray->ShellNotifyIcon(NIM_ADD, FTrayIconData);
}

void TTervaneClientForm::UpdateTrayTip() {
  std::string tip = "Zel Tervane Windows Client";
  tip += BlockCheckBox->isChecked() ? " [Block]" : " [Unblock]";
  tip += ForceCheckBox->isChecked() ? " [Force]" : " [Unforce]";
  FTrayIconData.SetTip(tip);
}

void TTervaneClientForm::TrayUpdate(int Image) {
  FTrayImage = Image;
  const QIcon icon = ::TrayImage(Image);
  setWindowIcon(icon);
  FTrayIconData.hIcon = icon;
  FTray->ShellNotifyIcon(NIM_MODIFY, FTrayIconData);
}

void TTervaneClientForm::WMTrayNotify(std::uint32_t LParam) {
  switch (LParam) {
    case WM_LBUTTONDBLCLK_CODE:
      if (IsOpen) AccessDown();
      else AccessUp();
      return;
    case WM_RBUTTONDOWN_CODE:
      // The menu opens at the mouse; a hidden window stays hidden.  An
      // embedded tray has opened it already (it is the icon's menu); a host
      // asking over D-Bus gets its answer at once, so the menu never runs a
      // loop of its own here.
      activateWindow();
      if (!PopupMenu1->isVisible()) PopupMenu1->popup(QCursor::pos());
      return;
    default:
      return;  // single clicks, releases, moves: nothing
  }
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
