// The controller's rules on bytes and texts (controller_rules.h).
#include "controller_rules.h"

namespace {

bool EndsWith(const std::string& Text, const std::string& Tail) {
  return Text.size() >= Tail.size() &&
         Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0;
}

}  // namespace

std::string ChunkText(const char* Buffer, int Len) {
  std::string text;
  for (int i = 0; i < Len; ++i) {
    const char c = Buffer[i];
    if (c == '\0') {
      if (i > 0 && Buffer[i - 1] == '\r') continue;
      break;
    }
    text.push_back(c);
  }
  return text;
}

bool IsLoginPrompt(const std::string& Chunk) {
  static const std::string kLogin = "login: ";
  return Chunk.size() > kLogin.size() && EndsWith(Chunk, kLogin);
}

bool IsPasswordPrompt(const std::string& Chunk) {
  static const std::string kPassword = "Password: ";
  if (!EndsWith(Chunk, kPassword)) return false;
  if (Chunk.size() == kPassword.size()) return true;
  const char before = Chunk[Chunk.size() - kPassword.size() - 1];
  return before == '\r' || before == '\n';
}

bool AutoConnectValue(std::string Text) {
  int base = 10;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Text = "$" + Text.substr(2);
  }
  if (!Text.empty() && Text[0] == '$') {
    Text = Text.substr(1);
    base = 16;
  }
  std::size_t start = 0;
  bool negative = false;
  if (!Text.empty() && (Text[0] == '-' || Text[0] == '+')) {
    negative = Text[0] == '-';
    start = 1;
  }
  if (start >= Text.size()) return true;
  // Digits only: no blanks, no second sign, nothing after the number.
  unsigned long long magnitude = 0;
  for (std::size_t i = start; i < Text.size(); ++i) {
    const char c = Text[i];
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

std::string TrayTipText(bool BlockChecked, bool ForceChecked) {
  std::string tip = "Zel Tervane Windows Client";
  tip += BlockChecked ? " [Block]" : " [Unblock]";
  tip += ForceChecked ? " [Force]" : " [Unforce]";
  return tip;
}
