// Names the platform compares without regard to case (window classes,
// module names), as Windows does.
#pragma once

#include <cctype>
#include <string>

namespace tervane::detail {

inline std::string Fold(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A null name folds to the empty one, which names nothing.
inline std::string Fold(const char* s) { return Fold(std::string(s ? s : "")); }

}  // namespace tervane::detail
