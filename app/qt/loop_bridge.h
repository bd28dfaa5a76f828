// Drives the platform's message loop (socket notifications) from Qt's loop
// through the platform loop's one pollable descriptor, so that Qt's loop is
// the program's only loop and an idle program sleeps.  While it lives, the
// platform's "process pending messages" operation pumps both loops.
#pragma once

#include <QObject>

class QSocketNotifier;

class TLoopBridge : public QObject {
 public:
  explicit TLoopBridge(QObject* parent = nullptr);
  ~TLoopBridge() override;

 private:
  void Activated();
  QSocketNotifier* FNotifier;
};
