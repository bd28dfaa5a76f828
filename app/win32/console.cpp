// The console's operations on an EDIT control; see console.h.  The box's
// lines end in CR LF; a lone LF that stays inside a line is the box's to
// show.
#include "console.h"

namespace {

// The caret to the very end: where the last line goes on.
void Insert(HWND Memo, const char* Text) {
  const int end = GetWindowTextLengthA(Memo);
  SendMessageA(Memo, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageA(Memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Text));
}

void DropOldest(HWND Memo, std::size_t Count) {
  const LRESULT end = SendMessageA(Memo, EM_LINEINDEX, static_cast<WPARAM>(Count), 0);
  if (end <= 0) return;
  SendMessageA(Memo, EM_SETSEL, 0, end);
  SendMessageA(Memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

}  // namespace

void ApplyConsoleOps(HWND Memo, const TConsoleOps& Ops) {
  for (const TConsoleOp& op : Ops) {
    switch (op.Kind) {
      case coClear: SetWindowTextA(Memo, ""); break;
      case coAppend: Insert(Memo, op.Text.c_str()); break;
      case coNewLine: Insert(Memo, "\r\n"); break;
      // The real key-down of the Up arrow, repeat count 1, exactly as if
      // the user had pressed it: the caret goes to the line just completed
      // and the box scrolls to keep it in view.
      case coCaretUp: SendMessageA(Memo, WM_KEYDOWN, VK_UP, 1); break;
      case coDropOldest: DropOldest(Memo, op.Count); break;
    }
  }
}
