// The Qt side of the platform loop; see loop_bridge.h.
#include "loop_bridge.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <tervane/platform.h>

#include "error_handler.h"

namespace {

// The socket layer's nested pump: a quit it meets is posted again for the
// loop outside, and reported so that the waiting operation ends.
bool PumpBoth() {
  QCoreApplication::processEvents();
  return tervane::DispatchPendingNested();
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
