// The console's line algorithm, apart from any text box: what one received
// chunk does to the console's list of lines, given as a short list of
// operations that a front-end applies, in order, to its own text box.  Every
// CR ends a line; an LF directly after a CR in the same chunk is dropped;
// every other byte (a lone LF, backspace, escape...) stays in the line.
// Nothing is interpreted beyond that.
//
// The list never holds more than kMaxLines lines: past that, the oldest go.
// The count starts at one line (the text box's initial "DisplayMemo", or the
// one empty line of an emptied box).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum TConsoleOpKind : unsigned char {
  coClear,       // empty the box: one empty line remains, caret on it
  coAppend,      // Text goes at the end of the last line (it holds no CR)
  coNewLine,     // a new empty line at the end
  coCaretUp,     // the caret goes to the start of the line just completed
                 // and the box scrolls to keep it in view: what the Up-arrow
                 // key-down after each line end does on Windows
  coDropOldest,  // the Count oldest lines go
};

struct TConsoleOp {
  TConsoleOpKind Kind;
  std::string Text;       // coAppend only
  std::size_t Count = 0;  // coDropOldest only
};

using TConsoleOps = std::vector<TConsoleOp>;

class TConsoleLines {
 public:
  // The console keeps the newest lines up to this many.
  static constexpr std::size_t kMaxLines = 100000;

  // The operations that append Text (one received chunk, up to its first
  // zero byte) to the console.  An empty Text gives none.  A chunk ending
  // in a CR leaves a new empty last line for the next chunk.
  TConsoleOps Append(const std::string& Text);
  // Emptying the console on each connect.
  TConsoleOps Clear();

  // Lines the box holds after the operations given so far.
  std::size_t LineCount() const { return FLineCount; }

 private:
  std::size_t FLineCount = 1;
};
