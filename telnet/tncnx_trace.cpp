// Numbered diagnostic lines of telnet commands on the platform's debug
// output.  The counter numbers lines for the whole process, so the lines of
// several sessions interleave in one sequence.
#include <cstdio>

#include "tncnx.h"

namespace {
std::uint32_t TraceCounter = 0;
}

void TTnCnx::DebugTrace(const std::string& Text) {
  ++TraceCounter;
  char number[16];
  std::snprintf(number, sizeof number, "%04X ", static_cast<unsigned>(TraceCounter));
  OutputDebugStringA(number);
  OutputDebugStringA(Text.c_str());
}
