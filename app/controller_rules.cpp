// The controller's chunk and prompt rules (controller_rules.h).
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
