// The controller's settings store over our own INI reader and writer
// (ini_file.h), for the platforms that have no private-profile functions.
#pragma once

#include <optional>

#include "ini_file.h"
#include "settings_store.h"

class TIniSettingsStore : public TSettingsStore {
 public:
  // Removes what a save killed half-way left beside the file: the
  // temporary holds the password in clear.
  explicit TIniSettingsStore(std::string FileName);

  std::string FileName() const override { return FFile.FileName(); }
  bool Exists() const override;
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) override;
  bool WriteString(const std::string& Section, const std::string& Key,
                   const std::string& Value) override;

  const TIniFile& File() const { return FFile; }

 private:
  TIniFile FFile;
  // The start-up reads come one after the other: they share one read of
  // the file, which the first write ends.
  std::optional<TIniContent> FContent;
};
