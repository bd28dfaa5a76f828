// Numbered diagnostic lines of telnet commands on the platform's debug
// output.  The counter numbers lines for the whole process, so the lines of
// several sessions interleave in one sequence.
#include <cstdio>

#include "tncnx.h"

namespace {
std::uint32_t TraceCounter = 0;

// The debug output takes a C string, so a zero byte in the text (the
// "Unknown" line of IAC NUL) would end the line there, losing its quote
// and line end.  It is written as the two characters \0 instead.
std::string DebugText(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (const char c : Text) {
    if (c == '\0') {
      out += "\\0";
    } else {
      out.push_back(c);
    }
  }
  return out;
}
}  // namespace

void TTnCnx::DebugTrace(const std::string& Text) {
  ++TraceCounter;
  char number[16];
  std::snprintf(number, sizeof number, "%04X ", static_cast<unsigned>(TraceCounter));
  OutputDebugStringA(number);
  OutputDebugStringA(DebugText(Text).c_str());
}
