// The console pane on a multi-line EDIT: received text appended by the
// line rules (every CR ends a line, an LF right after a CR in the same
// chunk is dropped, every other byte stays in the line).
#pragma once

#include <windows.h>

#include <string>

// Appends one received chunk.  After each line end the box gets the real
// Up-arrow key-down, so that the caret sits on the line just completed and
// that line is in view.  The box keeps about the newest kConsoleKeep
// characters: older lines go first.
void AppendToConsole(HWND Memo, const std::string& Text);
void ClearConsole(HWND Memo);

inline constexpr int kConsoleKeep = 1 << 20;
