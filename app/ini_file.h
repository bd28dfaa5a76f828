// The settings file: a small reader and writer of the INI text format
// ("[Section]" headers, "Key=Value" lines) with the behaviour the program
// relies on: section and key names match without regard to case, a missing
// file, section or key gives the caller's default, a write replaces an
// existing key's value in place and creates the file and section when needed.
//
// Every call goes to the file itself (no cache).  A write builds the whole
// new content in a temporary file in the same folder, flushes it to disk and
// renames it over the old one, so a crash or a full disk never leaves a
// truncated settings file behind; a file created here is readable by its
// owner only, since it holds a password in clear.
#pragma once

#include <string>

#include "component.h"

// Raised when a value cannot be written; the message names the file.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

class TIniFile {
 public:
  // Values are read back through a 2048-byte buffer: at most this many
  // characters of a value are returned.
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

  const std::string& FileName() const { return FFileName; }

  // The value of Key in Section, or Default when the file cannot be read or
  // holds no such key.  Blanks around the value and one pair of matching
  // quotes enclosing it are removed.
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;

  // Sets Key in Section to Value, on disk before it returns.  Raises
  // EIniFileException "Unable to write to <file>" on failure, including a
  // section, key or value that holds a line break or a zero byte (it would
  // smuggle extra lines into the file).
  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);

 private:
  std::string FFileName;
};

// The settings file that belongs to an executable: its full path with the
// last four characters replaced by ".ini", whatever its extension is.
std::string SettingsFileNameFor(const std::string& executablePath);
