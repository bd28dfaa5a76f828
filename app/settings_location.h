// Which settings file a start uses.  Portable use: the file beside the
// executable (its path less the last four characters, plus ".ini") when
// that file exists or its folder is writable.  Installed (a folder the user
// cannot write, and no file there): Tervane.ini in the user's own
// configuration folder, $XDG_CONFIG_HOME/tervane/ or ~/.config/tervane/,
// made readable by its owner only since the file holds a password.
#pragma once

#include <string>

// The file name for the executable at ExecutablePath.  With CreateFolder,
// makes the private folder (mode 0700) when it picks the user's
// configuration folder; the file itself is created, owner-only, by the
// first save.
std::string SettingsFileLocation(const std::string& ExecutablePath, bool CreateFolder = true);

// The running program's own path, as the system resolves it.
std::string RunningExecutablePath();
