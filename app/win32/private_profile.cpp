// The settings file through GetPrivateProfileStringA and
// WritePrivateProfileStringA; see private_profile.h.
#include "private_profile.h"

#include <windows.h>

namespace {

// Values are read through a buffer of this size: at most one less comes back.
constexpr DWORD kValueRoom = 2048;

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);  // a long path was cut: try a larger buffer
  }
}

}  // namespace

TPrivateProfileStore::TPrivateProfileStore() {
  const std::string exe = ExecutablePath();
  // Exactly 4 characters go, whatever the extension is.
  FFileName = exe.substr(0, exe.size() >= 4 ? exe.size() - 4 : 0) + ".ini";
}

bool TPrivateProfileStore::Exists() const {
  return GetFileAttributesA(FFileName.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TPrivateProfileStore::ReadString(const std::string& Section, const std::string& Key,
                                             const std::string& Default) {
  char value[kValueRoom];
  const DWORD n = GetPrivateProfileStringA(Section.c_str(), Key.c_str(), Default.c_str(), value,
                                           kValueRoom, FFileName.c_str());
  return std::string(value, n);
}

bool TPrivateProfileStore::WriteString(const std::string& Section, const std::string& Key,
                                       const std::string& Value) {
  return WritePrivateProfileStringA(Section.c_str(), Key.c_str(), Value.c_str(),
                                    FFileName.c_str()) != FALSE;
}
