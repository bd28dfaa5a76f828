// The tray icon; see tray.h.
#include "tray.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <algorithm>
#include <cstring>

void TrayIconData::SetTip(const std::string& Text) {
  const std::size_t n = std::min(Text.size(), sizeof szTip - 1);
  std::memcpy(szTip, Text.data(), n);
  szTip[n] = '\0';
}

std::string TrayIconData::Tip() const { return std::string(szTip, strnlen(szTip, sizeof szTip)); }

TTrayHost::~TTrayHost() { delete FIcon; }

std::uint32_t TTrayHost::CodeOf(QSystemTrayIcon::ActivationReason Reason) {
  switch (Reason) {
    case QSystemTrayIcon::Trigger:
      if (FLastTrigger.isValid() &&
          FLastTrigger.elapsed() <= QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
        FLastTrigger.invalidate();
        return WM_LBUTTONDBLCLK_CODE;
      }
      FLastTrigger.start();
      return WM_LBUTTONUP_CODE;
    case QSystemTrayIcon::DoubleClick:
      // An embedded tray reports the first press as a plain activation and
      // the second as the double-click itself.
      FLastTrigger.invalidate();
      return WM_LBUTTONDBLCLK_CODE;
    case QSystemTrayIcon::Context: return WM_RBUTTONDOWN_CODE;
    case QSystemTrayIcon::MiddleClick: return WM_MBUTTONDOWN_CODE;
    case QSystemTrayIcon::Unknown: return 0;
  }
  return 0;
}

bool TTrayHost::ShellNotifyIcon(std::uint32_t Message, const TrayIconData& Data) {
  switch (Message) {
    case NIM_ADD: {
      if (FIcon) return false;
      FIcon = new QSystemTrayIcon(this);
      FCallback = Data.callback;
      FLastTrigger.invalidate();
      QObject::connect(FIcon, &QSystemTrayIcon::activated, this,
                       [this](QSystemTrayIcon::ActivationReason reason) {
                         const std::uint32_t code = CodeOf(reason);
                         if (code == 0 || !FCallback) return;
                         // From the loop, not from inside the host's call:
                         // a question box the action asks must not hold
                         // back the host's answer.
                         QMetaObject::invokeMethod(
                             this, [this, code] { FCallback(code); }, Qt::QueuedConnection);
                       });
      if (Data.menu) FIcon->setContextMenu(Data.menu);
      [[fallthrough]];
    }
    case NIM_MODIFY:
      if (!FIcon) return false;
      if (Data.uFlags & NIF_ICON) FIcon->setIcon(Data.hIcon);
      if (Data.uFlags & NIF_TIP) FIcon->setToolTip(QString::fromLatin1(Data.Tip().c_str()));
      if (Message == NIM_ADD) FIcon->show();
      return true;
    case NIM_DELETE:
      if (!FIcon) return false;
      FIcon->hide();
      delete FIcon;
      return true;
  }
  return false;
}
