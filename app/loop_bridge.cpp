// The Qt side of the platform loop; see loop_bridge.h.
#include "loop_bridge.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <tervane/platform.h>

#include "error_handler.h"

namespace {

void PumpBoth() {
  QCoreApplication::processEvents();
  tervane::DispatchPending();
}

}  // namespace

TLoopBridge::TLoopBridge(QObject* parent)
    : QObject(parent),
      FNotifier(new QSocketNotifier(tervane::LoopBackendFd(), QSocketNotifier::Read, this)) {
  connect(FNotifier, &QSocketNotifier::activated, this, [this] { Activated(); });
  tervane::SetProcessMessagesHook(&PumpBoth);
}

TLoopBridge::~TLoopBridge() { tervane::SetProcessMessagesHook(nullptr); }

void TLoopBridge::Activated() {
  Guarded([] {
    // A quit message posted to the platform loop ends the program as well.
    if (!tervane::DispatchPending()) QCoreApplication::quit();
  });
}
