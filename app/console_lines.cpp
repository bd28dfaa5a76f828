// The console's line algorithm; see console_lines.h.
#include "console_lines.h"

TConsoleOps TConsoleLines::Append(const std::string& Text) {
  TConsoleOps ops;
  std::size_t start = 0;
  while (start < Text.size()) {
    const std::size_t cr = Text.find('\r', start);
    const std::size_t stop = cr == std::string::npos ? Text.size() : cr;
    if (stop > start) ops.push_back({coAppend, Text.substr(start, stop - start)});
    if (cr == std::string::npos) break;
    ops.push_back({coNewLine, {}});
    ops.push_back({coCaretUp, {}});
    ++FLineCount;
    start = cr + 1;
    // The LF of a CR LF pair in the same chunk; an LF that starts a chunk
    // stays in the line, whatever the chunk before ended with.
    if (start < Text.size() && Text[start] == '\n') ++start;
  }
  if (FLineCount > kMaxLines) {
    ops.push_back({coDropOldest, {}, FLineCount - kMaxLines});
    FLineCount = kMaxLines;
  }
  return ops;
}

TConsoleOps TConsoleLines::Clear() {
  FLineCount = 1;
  return {{coClear, {}}};
}
