// The console pane in Qt: the controller's console operations
// (console_lines.h) carried out on a QPlainTextEdit, and which byte a key
// press sends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console_lines.h"

class QKeyEvent;
class QPlainTextEdit;

// Applies the operations to the pane.  After a line end the caret sits at
// the start of the last completed line; the newest line is in view.  Text
// that arrives in quick succession reaches the document together, within a
// few milliseconds or at the next FlushConsole / ConsoleLines, whichever
// comes first; a large dump goes in slice by slice, with the loop running
// in between.  The pane keeps the newest 100,000 lines (the operations'
// limit) and at most 8 Mi characters, the oldest lines going first; of a
// line longer than 16,384 characters, the newest 16,384.
void ApplyConsole(QPlainTextEdit* Memo, const TConsoleOps& Ops);
// Appends one received chunk to a pane that no controller feeds: the
// pane's own line list turns it into operations.
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
