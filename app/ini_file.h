// The settings file: a small reader and writer of the INI text format
// ("[Section]" headers, "Key=Value" lines) with the behaviour the program
// relies on: section and key names match without regard to case, a missing
// file, section or key gives the caller's default, a write replaces an
// existing key's value in place and creates the file and section when needed.
//
// A read takes in the whole file once (Read) and answers every key from
// that; only a regular file is opened, never more than kMaxFileSize bytes of
// it, and a file that cannot be read gives every key its default.  A UTF-8
// byte-order mark at the start is skipped (and kept by a write).
//
// A write builds the whole new content in a temporary file beside the file
// (beside the target of a symbolic link, which stays a link), flushes it to
// disk and renames it over the old one, so a crash or a full disk never
// leaves a truncated settings file behind.  The temporary and the file are
// readable by their owner only, since they hold a password in clear; a
// temporary that a killed save left behind is removed by the next save and
// by RemoveStaleTemporaries.
#pragma once

#include <string>
#include <vector>

#include "component.h"

// Raised when a value cannot be written; the message names the file.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// The lines of a settings file as one read found them.
class TIniContent {
 public:
  // The value of Key in Section, or Default when the content holds no such
  // key.  Blanks around the value and one pair of matching quotes enclosing
  // it are removed.
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;

 private:
  friend class TIniFile;
  std::vector<std::string> FLines;  // without their line ends
};

class TIniFile {
 public:
  // Reading stops here: what lies beyond gets the defaults.
  static constexpr std::size_t kMaxFileSize = 1024 * 1024;

  // Values are read back through a 2048-byte buffer: at most this many
  // characters of a value are returned.
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

  const std::string& FileName() const { return FFileName; }

  // The file's content now; empty when it is missing or cannot be read.
  TIniContent Read() const;

  // One key read from the file (Read().ReadString).
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const {
    return Read().ReadString(Section, Key, Default);
  }

  // Sets Key in Section to Value, on disk before it returns.  Raises
  // EIniFileException "Unable to write to <file>" on failure, including a
  // section, key or value that holds a line break or a zero byte (it would
  // smuggle extra lines into the file).
  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);

  // Removes the temporaries that saves killed half-way left beside the file.
  void RemoveStaleTemporaries() const;

 private:
  std::string FFileName;
};

// The settings file that belongs to an executable: its full path with the
// last four characters replaced by ".ini", whatever its extension is.
std::string SettingsFileNameFor(const std::string& executablePath);
