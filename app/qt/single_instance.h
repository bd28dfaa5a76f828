// One running program per settings file: the first start listens on a local
// socket named after its settings file; a later start with the same file
// finds it, asks it to show its window and ends, so that there is never a
// second session to the same router.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QLocalServer;

class TSingleInstance : public QObject {
 public:
  explicit TSingleInstance(const std::string& SettingsFile, QObject* parent = nullptr);

  // True when this is the only program for the file (it listens from now
  // on); false when another one runs, which has been asked to show itself.
  bool Claim();

  // Called when a later start asks this one to show its window.
  std::function<void()> OnShowRequest;

  // The socket's name: the user and a digest of the file's path.
  const QString& Name() const { return FName; }

 private:
  bool AskRunningToShow();

  QString FName;
  QLocalServer* FServer = nullptr;
};
