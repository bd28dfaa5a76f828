// The program's command line.  It takes no arguments to run; --help and
// --version answer and end it, and anything else is refused with a one-line
// usage message, so that a mistyped option never silently starts a second
// router session.
#pragma once

#include <cstdio>
#include <string>

enum class TCommandLine {
  clRun,      // no arguments: start the program
  clHelp,     // --help: print the help text, exit 0
  clVersion,  // --version: print the version, exit 0
  clRefused,  // anything else: usage message on stderr, exit 2
};

TCommandLine ParseCommandLine(int argc, const char* const* argv);

// What --help and --version print; SettingsFile is the file this start
// would use.
void PrintHelp(std::FILE* Out, const std::string& SettingsFile);
void PrintVersion(std::FILE* Out);
// The one line printed for a refused argument.
void PrintRefusal(std::FILE* Out, const std::string& Argument);

// The exit code of a refused command line.
constexpr int kUsageExitCode = 2;
