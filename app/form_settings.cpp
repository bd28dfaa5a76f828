// The settings file as the window uses it: loading at start-up, Save.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "tervane_client_form.h"

namespace {

const char kSection[] = "Settings";

// "AutoConnect" as the file holds it: a signed 32-bit number, decimal or
// hexadecimal after "0x"; empty or not a number means the default, true.
bool AutoConnectValue(std::string text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text = "$" + text.substr(2);
  }
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
  // Digits only: no blanks, no second sign, nothing after the number.
  unsigned long long magnitude = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return true;
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    // Hexadecimal may spell the full 32 bits (0xFFFFFFFF is -1); decimal
    // must fit a signed 32-bit number.
    const unsigned long long limit =
        base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    if (magnitude > limit) return true;
  }
  return magnitude != 0;
}

}  // namespace

void TTervaneClientForm::LoadSettings() {
  // A save that was killed half-way left its temporary, password and all.
  FSettingsFile->RemoveStaleTemporaries();
  // One read of the file for all five keys.
  const TIniContent settings = FSettingsFile->Read();
  SetFieldText(HostEdit, settings.ReadString(kSection, "HostName", "192.168.0.1"));
  SetFieldText(PortEdit, settings.ReadString(kSection, "TelnetPort", "23"));
  SetFieldText(UserBox, settings.ReadString(kSection, "UserName", "User"));
  SetFieldText(PWBox, settings.ReadString(kSection, "Password", "Lanterns"));
  AutoCheckBox->setChecked(AutoConnectValue(settings.ReadString(kSection, "AutoConnect", "")));
}

void TTervaneClientForm::ShowSaveButton() { SaveButton->show(); }

void TTervaneClientForm::SaveButtonClick() {
  FSettingsFile->WriteString(kSection, "HostName", FieldText(HostEdit));
  FSettingsFile->WriteString(kSection, "TelnetPort", FieldText(PortEdit));
  FSettingsFile->WriteString(kSection, "UserName", FieldText(UserBox));
  FSettingsFile->WriteString(kSection, "Password", FieldText(PWBox));
  FSettingsFile->WriteString(kSection, "AutoConnect", AutoCheckBox->isChecked() ? "1" : "0");
  SaveButton->hide();
}
