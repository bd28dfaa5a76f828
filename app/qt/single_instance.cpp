// One program per settings file; see single_instance.h.
#include "single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
// What a later start sends; the running one only checks that it came.
const char kShowRequest[] = "show\n";
constexpr int kWaitMs = 2000;
}  // namespace

TSingleInstance::TSingleInstance(const std::string& SettingsFile, QObject* parent)
    : QObject(parent) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArray::fromStdString(SettingsFile), QCryptographicHash::Sha256);
  FName = QStringLiteral("tervane-%1-%2")
              .arg(getuid())
              .arg(QString::fromLatin1(digest.toHex().left(24)));
}

bool TSingleInstance::Claim() {
  // Asking first: listening with access options replaces a socket of the
  // same name instead of failing on it.
  if (AskRunningToShow()) return false;
  // Nobody answers: none runs, or one that ended without cleaning up left
  // its socket behind.
  QLocalServer::removeServer(FName);
  FServer = new QLocalServer(this);
  // Only the same user may ask for the window.
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  if (!FServer->listen(FName)) return true;  // runs all the same, just not findable
  QObject::connect(FServer, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = FServer->nextPendingConnection()) {
      QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      QObject::connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        const bool asked = peer->readAll().startsWith(kShowRequest);
        peer->disconnectFromServer();
        if (asked && OnShowRequest) OnShowRequest();
      });
    }
  });
  return true;
}

bool TSingleInstance::AskRunningToShow() {
  QLocalSocket socket;
  socket.connectToServer(FName);
  if (!socket.waitForConnected(kWaitMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(kWaitMs)) return false;
  // The running program hangs up once it has read the request.
  socket.waitForDisconnected(kWaitMs);
  return true;
}
