// Choosing the settings file; see settings_location.h.
#include "settings_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "ini_file.h"

namespace {

// Creates Path and its missing parents with the given mode; true when the
// folder is there afterwards.
bool MakeFolders(const std::string& Path, mode_t Mode) {
  std::string sofar;
  std::size_t start = 0;
  while (start <= Path.size()) {
    std::size_t slash = Path.find('/', start);
    if (slash == std::string::npos) slash = Path.size();
    sofar = Path.substr(0, slash);
    if (!sofar.empty() && mkdir(sofar.c_str(), Mode) != 0 && errno != EEXIST) return false;
    start = slash + 1;
  }
  struct stat st {};
  return stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string UserConfigFolder() {
  // An XDG_CONFIG_HOME that is not absolute is to be ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "") + "/.config";
}

}  // namespace

std::string SettingsFileLocation(const std::string& ExecutablePath, bool CreateFolder) {
  const std::string beside = SettingsFileNameFor(ExecutablePath);
  const std::string folder = std::filesystem::path(beside).parent_path().string();
  if (access(beside.c_str(), F_OK) == 0 || access(folder.c_str(), W_OK) == 0) return beside;
  const std::string own = UserConfigFolder() + "/tervane";
  if (CreateFolder) MakeFolders(own, 0700);
  return own + "/Tervane.ini";
}

std::string RunningExecutablePath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}
