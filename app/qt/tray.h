// The notification-area icon: one record describing it (TrayIconData, as
// the platform's notification-icon record with its 64-byte tip field) and
// one call that adds, modifies or deletes it (ShellNotifyIcon).  Qt's tray
// activations come back as mouse-message codes to the record's window.
#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>
#include <string>

enum : std::uint32_t { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
enum : std::uint32_t { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4 };
enum : std::uint32_t {
  WM_USER_TRAY = 0x400,
  WM_TRAYNOTIFY = WM_USER_TRAY + 1,
  WM_LBUTTONUP_CODE = 0x202,
  WM_LBUTTONDBLCLK_CODE = 0x203,
  WM_RBUTTONDOWN_CODE = 0x204,
  WM_MBUTTONDOWN_CODE = 0x207,
};

struct TrayIconData {
  std::uint32_t cbSize = 88;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  std::uint32_t uCallbackMessage = WM_TRAYNOTIFY;
  QIcon hIcon;
  char szTip[64] = {};
  // The window's tray-message handler (WMTrayNotify), given the mouse code.
  std::function<void(std::uint32_t)> callback;
  // The pop-up menu.  A tray host that draws menus itself (over D-Bus) is
  // handed it as a menu description; an embedded tray opens it at the
  // cursor on the right-button press.
  QMenu* menu = nullptr;

  // Copies Text into szTip, cut to fit with its terminating zero.
  void SetTip(const std::string& Text);
  std::string Tip() const;
};

// Owns the Qt tray icon behind the record; one per main window.
class TTrayHost : public QObject {
 public:
  explicit TTrayHost(QObject* parent = nullptr) : QObject(parent) {}
  ~TTrayHost() override;

  // NIM_ADD, NIM_MODIFY or NIM_DELETE.  Like the platform call, the result
  // does not need checking: without a tray the program goes on without it.
  bool ShellNotifyIcon(std::uint32_t Message, const TrayIconData& Data);

  // The live Qt icon, null before NIM_ADD and after NIM_DELETE.
  QSystemTrayIcon* Icon() const { return FIcon; }

 private:
  // The mouse code an activation stands for.  Hosts that speak D-Bus report
  // a double-click as two plain activations; two of them within the
  // desktop's double-click interval are one double-click, and the second
  // one is nothing else.
  std::uint32_t CodeOf(QSystemTrayIcon::ActivationReason Reason);

  QPointer<QSystemTrayIcon> FIcon;
  std::function<void(std::uint32_t)> FCallback;
  QElapsedTimer FLastTrigger;
};
