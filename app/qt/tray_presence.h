// Whether a notification area is there to show the tray icon, and word when
// that changes.  Qt decides once, at start, whether the icon goes to a tray
// host on the session bus or to a tray embedded in the X screen, and says
// nothing when either comes or goes; this watches the one it chose: the bus
// host's name as the bus reports its owner changing, the embedded tray by
// asking now and then (a look at an X selection owner).
#pragma once

#include <QObject>
#include <functional>

class QDBusServiceWatcher;
class QTimer;

class TTrayPresence : public QObject {
 public:
  // Changed is called with the new answer whenever it differs from the last.
  explicit TTrayPresence(std::function<void(bool)> Changed, QObject* parent = nullptr);

  bool Present() const { return FPresent; }

 private:
  void Update(bool Present);

  std::function<void(bool)> FChanged;
  QDBusServiceWatcher* FBusWatch = nullptr;
  QTimer* FPoll = nullptr;
  bool FPresent = false;
};
