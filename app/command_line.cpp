// The command line; see command_line.h.
#include "command_line.h"

#include <cstring>

namespace {
const char kUsage[] = "Usage: TervaneWinC [--help | --version]";
}

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
  if (argc <= 1) return TCommandLine::clRun;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return TCommandLine::clHelp;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return TCommandLine::clVersion;
  PrintRefusal(stderr, argv[1]);
  return TCommandLine::clRefused;
}

void PrintHelp(std::FILE* Out, const std::string& SettingsFile) {
  std::fprintf(Out,
               "%s\n"
               "A tray program that opens and closes a router's internet access over its\n"
               "telnet shell.  It starts in the notification area (without one, its window\n"
               "shows); \"Configuration\" in the tray menu shows the window.  A second start\n"
               "with the same settings file shows the running program's window.\n"
               "\n"
               "  --help     print this text and exit\n"
               "  --version  print the version and exit\n"
               "\n"
               "Settings file: %s\n",
               kUsage, SettingsFile.c_str());
}

void PrintVersion(std::FILE* Out) { std::fprintf(Out, "TervaneWinC %s\n", TERVANE_VERSION); }

void PrintRefusal(std::FILE* Out, const std::string& Argument) {
  std::fprintf(Out, "TervaneWinC: unknown argument '%s'. %s\n", Argument.c_str(), kUsage);
}
