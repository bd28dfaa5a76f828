// The settings file through the system's private-profile functions: its
// name beside the executable, loading at start-up, Save.
#include <windows.h>

#include "form.h"
#include "tncnx.h"

namespace {

const char kSection[] = "Settings";
// Values are read through a buffer of this size: at most one less comes back.
constexpr DWORD kValueRoom = 2048;

// The executable's full path, its last 4 characters replaced by ".ini".
std::string SettingsFileName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.size() >= 4 ? path.size() - 4 : 0) + ".ini";
}

std::string ReadString(const std::string& File, const char* Key, const char* Default) {
  char value[kValueRoom];
  const DWORD n = GetPrivateProfileStringA(kSection, Key, Default, value, kValueRoom, File.c_str());
  return std::string(value, n);
}

void WriteString(const std::string& File, const char* Key, const std::string& Value) {
  if (!WritePrivateProfileStringA(kSection, Key, Value.c_str(), File.c_str()))
    throw Exception("Unable to write to " + File);
}

// "AutoConnect" as the file holds it: a signed 32-bit number, decimal or
// hexadecimal after "0x" (or "$"); empty or not a number means the
// default, true.
bool AutoConnectValue(std::string text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text = "$" + text.substr(2);
  if (!text.empty() && text[0] == '$') {
    text = text.substr(1);
    base = 16;
  }
  std::size_t start = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    start = 1;
  }
  if (start >= text.size()) return true;
  unsigned long long magnitude = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return true;
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    const unsigned long long limit =
        base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    if (magnitude > limit) return true;
  }
  return magnitude != 0;
}

}  // namespace

void TTervaneClientForm::LoadSettings() {
  SettingsFile = SettingsFileName();
  if (GetFileAttributesA(SettingsFile.c_str()) == INVALID_FILE_ATTRIBUTES)
    ShowMessage("Enter Settings in the Config Window before connecting!");
  SetFieldText(ciHostEdit, ReadString(SettingsFile, "HostName", "192.168.0.1"));
  SetFieldText(ciPortEdit, ReadString(SettingsFile, "TelnetPort", "23"));
  SetFieldText(ciUserBox, ReadString(SettingsFile, "UserName", "User"));
  SetFieldText(ciPWBox, ReadString(SettingsFile, "Password", "Lanterns"));
  SetChecked(ciAutoCheckBox, AutoConnectValue(ReadString(SettingsFile, "AutoConnect", "")));
}

void TTervaneClientForm::ShowSaveButton() { ShowWindow(Control(ciSaveButton), SW_SHOW); }

void TTervaneClientForm::SaveButtonClick() {
  WriteString(SettingsFile, "HostName", FieldText(ciHostEdit));
  WriteString(SettingsFile, "TelnetPort", FieldText(ciPortEdit));
  WriteString(SettingsFile, "UserName", FieldText(ciUserBox));
  WriteString(SettingsFile, "Password", FieldText(ciPWBox));
  WriteString(SettingsFile, "AutoConnect", IsChecked(ciAutoCheckBox) ? "1" : "0");
  ShowWindow(Control(ciSaveButton), SW_HIDE);
}
