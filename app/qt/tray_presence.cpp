// Watching for a notification area; see tray_presence.h.
#include "tray_presence.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// The name a tray host on the session bus takes.
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

bool WatcherOnBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.isConnected() && bus.interface() &&
         bus.interface()->isServiceRegistered(kWatcherService).value();
}

}  // namespace

TTrayPresence::TTrayPresence(std::function<void(bool)> Changed, QObject* parent)
    : QObject(parent), FChanged(std::move(Changed)) {
  FPresent = QSystemTrayIcon::isSystemTrayAvailable();
  if (FPresent && WatcherOnBus()) {
    // The icon lives on the bus.  Asking Qt again would open a new bus
    // connection each time, so the bus itself tells when the host goes.
    FBusWatch = new QDBusServiceWatcher(kWatcherService, QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    QObject::connect(FBusWatch, &QDBusServiceWatcher::serviceRegistered, this,
                     [this] { Update(true); });
    QObject::connect(FBusWatch, &QDBusServiceWatcher::serviceUnregistered, this,
                     [this] { Update(false); });
    return;
  }
  FPoll = new QTimer(this);
  FPoll->setInterval(2000);
  QObject::connect(FPoll, &QTimer::timeout, this,
                   [this] { Update(QSystemTrayIcon::isSystemTrayAvailable()); });
  FPoll->start();
}

void TTrayPresence::Update(bool Present) {
  if (Present == FPresent) return;
  FPresent = Present;
  if (FChanged) FChanged(Present);
}
