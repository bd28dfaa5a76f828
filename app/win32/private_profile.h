// The settings file on Windows: the system's own private-profile functions
// on the file beside the executable (its full path with the last 4
// characters replaced by ".ini": TervaneWinC.exe uses TervaneWinC.ini).
#pragma once

#include <string>

#include "settings_store.h"

class TPrivateProfileStore final : public TSettingsStore {
 public:
  TPrivateProfileStore();

  std::string FileName() const override { return FFileName; }
  bool Exists() const override;
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) override;
  bool WriteString(const std::string& Section, const std::string& Key,
                   const std::string& Value) override;

 private:
  std::string FFileName;
};
