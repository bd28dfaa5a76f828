// Where the controller's settings live: one INI file, reached through this
// small interface so that every front-end keeps its platform's own storage
// (our own INI reader and writer on Linux, the private-profile functions on
// Windows).  Which keys, their defaults and what a failed write does are the
// controller's rules (controller.h); the store only reads and writes values.
#pragma once

#include <string>

class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;

  // The file's full name, as the "Unable to write to %s" message shows it.
  virtual std::string FileName() const = 0;
  // Whether the file exists now.  Asked once, at start-up, before any read.
  virtual bool Exists() const = 0;
  // The value of Key in Section, or Default when the file, the section or
  // the key is missing or the file cannot be read.  Called at start-up only,
  // once per key, one key after the other.
  virtual std::string ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) = 0;
  // Sets Key in Section to Value on disk before it returns, creating the
  // file and the section as needed.  False when the value did not reach the
  // file; the controller then raises the write error and writes no more.
  virtual bool WriteString(const std::string& Section, const std::string& Key,
                           const std::string& Value) = 0;
};
