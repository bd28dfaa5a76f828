// The settings store over TIniFile; see ini_settings_store.h.
#include "ini_settings_store.h"

#include <sys/stat.h>

TIniSettingsStore::TIniSettingsStore(std::string FileName) : FFile(std::move(FileName)) {
  FFile.RemoveStaleTemporaries();
}

bool TIniSettingsStore::Exists() const {
  struct stat st;
  return ::stat(FFile.FileName().c_str(), &st) == 0;
}

std::string TIniSettingsStore::ReadString(const std::string& Section, const std::string& Key,
                                          const std::string& Default) {
  if (!FContent) FContent = FFile.Read();
  return FContent->ReadString(Section, Key, Default);
}

bool TIniSettingsStore::WriteString(const std::string& Section, const std::string& Key,
                                    const std::string& Value) {
  FContent.reset();
  // The file's own error carries no more than the controller's message
  // ("Unable to write to" and the file), which the controller raises.
  try {
    FFile.WriteString(Section, Key, Value);
    return true;
  } catch (const EIniFileException&) {
    return false;
  }
}
