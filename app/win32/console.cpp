// The console pane's line algorithm on an EDIT control; see console.h.
#include "console.h"

namespace {

// The caret to the very end: where the last line goes on.
void ToEnd(HWND Memo) {
  const int end = GetWindowTextLengthA(Memo);
  SendMessageA(Memo, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
}

void AppendToLastLine(HWND Memo, const std::string& Piece) {
  if (Piece.empty()) return;
  ToEnd(Memo);
  SendMessageA(Memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Piece.c_str()));
}

// A router that never stops talking must not grow the program without
// bound: past twice the limit the oldest whole lines go, down to the limit.
void KeepNewest(HWND Memo) {
  const int length = GetWindowTextLengthA(Memo);
  if (length <= 2 * kConsoleKeep) return;
  const LRESULT line = SendMessageA(Memo, EM_LINEFROMCHAR, static_cast<WPARAM>(length - kConsoleKeep), 0);
  const LRESULT start = SendMessageA(Memo, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
  if (start <= 0) return;
  SendMessageA(Memo, EM_SETSEL, 0, start);
  SendMessageA(Memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

}  // namespace

void AppendToConsole(HWND Memo, const std::string& Text) {
  // An EDIT always has at least one (empty) line: step 1 holds by itself.
  std::size_t start = 0;
  while (start < Text.size()) {
    std::size_t stop = Text.find('\r', start);
    if (stop == std::string::npos) stop = Text.size();
    AppendToLastLine(Memo, Text.substr(start, stop - start));
    if (stop < Text.size()) {
      AppendToLastLine(Memo, "\r\n");
      // Exactly as if the user had pressed Up once: virtual key 0x26,
      // repeat count 1.
      SendMessageA(Memo, WM_KEYDOWN, VK_UP, 1);
    }
    start = stop + 1;
    if (start < Text.size() && Text[start] == '\n') ++start;
  }
  KeepNewest(Memo);
}

void ClearConsole(HWND Memo) { SetWindowTextA(Memo, ""); }
