// Where the platform's debug output (the telnet trace lines) goes on this
// system: nowhere unless the user asks, through the environment variable
// TERVANE_DEBUG_OUTPUT, for "stderr" or "journal" (syslog, which reaches
// the systemd journal).
#pragma once

// Reads the variable and installs the matching sink.  An unknown value is
// reported on standard error and leaves the output silent.
void InstallDebugOutput();
