// TervaneWinC: the tray program.  Starts hidden with its tray icon, drives
// the socket layer's loop from Qt's, and runs until the tray menu's Exit.
#include <QApplication>
#include <QFileInfo>

#include <tervane/platform.h>

#include "debug_output.h"
#include "images.h"
#include "loop_bridge.h"
#include "tervane_client_form.h"

int main(int argc, char** argv) {
  InstallDebugOutput();
  QApplication app(argc, argv);
  // Hiding the window must not end the program: only Exit does.
  app.setQuitOnLastWindowClosed(false);
  app.setWindowIcon(ProgramIcon());

  TLoopBridge bridge;
  // The settings file is named after the executable as the system sees it.
  const std::string executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().toStdString();
  auto* form = new TTervaneClientForm(executable);
  const int code = app.exec();
  delete form;
  return code;
}
