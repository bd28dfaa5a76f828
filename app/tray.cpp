// The tray icon; see tray.h.
#include "tray.h"

#include <algorithm>
#include <cstring>

void TrayIconData::SetTip(const std::string& Text) {
  const std::size_t n = std::min(Text.size(), sizeof szTip - 1);
  std::memcpy(szTip, Text.data(), n);
  szTip[n] = '\0';
}

std::string TrayIconData::Tip() const { return std::string(szTip, strnlen(szTip, sizeof szTip)); }

TTrayHost::~TTrayHost() { delete FIcon; }

bool TTrayHost::ShellNotifyIcon(std::uint32_t Message, const TrayIconData& Data) {
  switch (Message) {
    case NIM_ADD: {
      if (FIcon) return false;
      FIcon = new QSystemTrayIcon(this);
      FCallback = Data.callback;
      QObject::connect(FIcon, &QSystemTrayIcon::activated, this,
                       [this](QSystemTrayIcon::ActivationReason reason) {
                         std::uint32_t code = 0;
                         switch (reason) {
                           case QSystemTrayIcon::DoubleClick: code = WM_LBUTTONDBLCLK_CODE; break;
                           case QSystemTrayIcon::Context: code = WM_RBUTTONDOWN_CODE; break;
                           case QSystemTrayIcon::Trigger: code = WM_LBUTTONUP_CODE; break;
                           case QSystemTrayIcon::MiddleClick: code = WM_MBUTTONDOWN_CODE; break;
                           case QSystemTrayIcon::Unknown: return;
                         }
                         if (FCallback) FCallback(code);
                       });
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
