// TervaneWinC: the tray program.  Starts hidden with its tray icon, drives
// the socket layer's loop from Qt's, and runs until the tray menu's Exit.
// A second start with the same settings file shows the first one's window.
#include <QApplication>

#include <tervane/platform.h>

#include "command_line.h"
#include "debug_output.h"
#include "error_handler.h"
#include "images.h"
#include "loop_bridge.h"
#include "settings_location.h"
#include "single_instance.h"
#include "tervane_client_form.h"

int main(int argc, char** argv) {
  const std::string executable = RunningExecutablePath();
  switch (ParseCommandLine(argc, argv)) {
    case TCommandLine::clRun: break;
    case TCommandLine::clHelp: PrintHelp(stdout, SettingsFileLocation(executable, false)); return 0;
    case TCommandLine::clVersion: PrintVersion(stdout); return 0;
    case TCommandLine::clRefused: return kUsageExitCode;
  }

  InstallDebugOutput();
  QApplication app(argc, argv);
  // Hiding the window must not end the program: only Exit does.
  app.setQuitOnLastWindowClosed(false);
  app.setWindowIcon(ProgramIcon());
  // A tray host on the session bus shows this as the item's title.
  QCoreApplication::setApplicationName(QStringLiteral("Zel Tervane Windows Client"));

  TSingleInstance instance(SettingsFileLocation(executable));
  if (!instance.Claim()) return 0;

  TLoopBridge bridge;
  auto* form = new TTervaneClientForm(executable);
  instance.OnShowRequest = [form] { Guarded([form] { form->ShowFullWindow1Click(); }); };
  const int code = app.exec();
  delete form;
  return code;
}
