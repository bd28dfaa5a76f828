// The console pane's text rules: how received text is appended (every CR
// ends a line, an LF right after a CR in the same chunk is dropped, every
// other byte stays in the line) and which byte a key press sends.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QKeyEvent;
class QPlainTextEdit;

// Appends one received chunk to the console.  After a chunk that ended at
// least one line, the caret sits at the start of the last completed line;
// the newest line is in view.  Chunks that arrive in quick succession reach
// the document together, within a few milliseconds or at the next
// FlushConsole / ConsoleLines, whichever comes first; a large dump goes in
// slice by slice, with the loop running in between.  The pane keeps the
// newest 100,000 lines and at most 16 Mi characters, the oldest lines going
// first; of a longer line than 16,384 characters, the newest 16,384.
void AppendToConsole(QPlainTextEdit* Memo, const std::string& Text);
// Puts text still waiting into the pane now.
void FlushConsole(QPlainTextEdit* Memo);
// Empties the pane, text still waiting included.
void ClearConsole(QPlainTextEdit* Memo);

// The console's lines as the 8-bit text they were received as (the line
// feeds kept inside lines are shown with a visible symbol in the pane).
std::vector<std::string> ConsoleLines(const QPlainTextEdit* Memo);

// The byte a key press sends to the router, or nothing for keys that make
// no character (arrows, Home, End, Delete, function keys) and for Tab,
// which moves the focus.  Enter is one CR; Ctrl+letter its control code.
std::optional<char> KeyByte(const QKeyEvent& Event);
