// The console pane; see console.h.
#include "console.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cstdint>

namespace {

// A line feed that stays inside a line cannot be a character of a Qt text
// block (it would split the block), so the pane shows it as the visible
// "symbol for line feed" and ConsoleLines maps it back.
constexpr char16_t kShownLineFeed = 0x240A;

}  // namespace

namespace {

// Text put into the document per turn of the loop: a dump far larger than
// this reaches the pane in slices, with paint and input in between.
constexpr std::size_t kSliceBytes = 64 * 1024;
// Text waiting beyond this goes in at once: the loop may not keep up.
constexpr std::size_t kMaxWaitingBytes = 4 * 1024 * 1024;

// Text received but not yet in the pane, one byte per byte received: a CR
// stands for a line end, an LF for the shown line feed.  The oldest lines
// to drop wait with it: they go as the text before them comes in.  A router dump arrives as many small chunks; putting
// each into the document on its own costs a document update apiece, so
// they are put in together a moment later (or as soon as anyone reads the
// pane).  Only armed while text is waiting: an idle console sets no timer.
class PendingText : public QObject {
 public:
  static constexpr int kDelayMs = 15;

  explicit PendingText(QPlainTextEdit* memo) : QObject(memo), FMemo(memo) {
    setObjectName(QStringLiteral("ConsolePendingText"));
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { Flush(kSliceBytes); });
  }

  static PendingText* Of(const QPlainTextEdit* memo) {
    return memo->findChild<PendingText*>(QStringLiteral("ConsolePendingText"),
                                         Qt::FindDirectChildrenOnly);
  }

  void Add(const TConsoleOps& ops) {
    for (const TConsoleOp& op : ops) {
      switch (op.Kind) {
        case coClear:
          Drop();
          FMemo->clear();
          break;
        case coAppend:
          FText += op.Text;
          break;
        case coNewLine:
          FText += '\r';
          break;
        case coCaretUp:
          FCaretUp = true;
          break;
        case coDropOldest:
          FDropLines += op.Count;
          break;
      }
    }
    if (FText.size() > kMaxWaitingBytes) Flush(FText.size());
    if (!FText.empty() && !FTimer.isActive()) FTimer.start(kDelayMs);
    if (FText.empty()) DropOldest();
  }

  void Drop() {
    FTimer.stop();
    FText.clear();
    FDropLines = 0;
    FCaretUp = false;
  }

  TConsoleLines& Lines() { return FLines; }

  // Puts up to `limit` bytes of what waits into the pane (all of it for
  // FlushConsole and readers); the rest follows at the loop's next turn.
  void Flush(std::size_t limit) {
    FTimer.stop();
    while (!FText.empty() && limit > 0) {
      const std::size_t take = std::min({FText.size(), limit, kSliceBytes});
      InsertSlice(take);
      limit -= take;
    }
    if (!FText.empty()) FTimer.start(0);
  }

 private:
  void InsertSlice(std::size_t take) {
    QString out;
    out.reserve(static_cast<qsizetype>(take));
    bool endedLine = false;
    for (std::size_t i = 0; i < take; ++i) {
      const unsigned char c = static_cast<unsigned char>(FText[i]);
      if (c == '\r') {
        out.append(QChar(u'\n'));
        endedLine = true;
      } else if (c == '\n') {
        out.append(QChar(kShownLineFeed));
      } else {
        out.append(QChar(static_cast<char16_t>(c)));  // Latin-1: one byte, one character
      }
    }
    FText.erase(0, take);
    QTextCursor end(FMemo->document());
    end.movePosition(QTextCursor::End);
    end.insertText(out);
    DropOldest();
    if (endedLine && FCaretUp) {
      // What an Up-arrow press on the fresh empty line does: the caret goes
      // to the line just completed.
      QTextCursor caret(FMemo->document()->lastBlock().previous());
      FMemo->setTextCursor(caret);
    }
    // The newest text, the prompt and its echo included, stays in view.
    FMemo->verticalScrollBar()->setValue(FMemo->verticalScrollBar()->maximum());
  }

  // The lines to drop that are in the document already: never more than
  // the document holds beyond the limit, so none of the text still waiting
  // is dropped before it has been shown.
  void DropOldest() {
    const int blocks = FMemo->document()->blockCount();
    const std::size_t excess =
        blocks > static_cast<int>(TConsoleLines::kMaxLines)
            ? static_cast<std::size_t>(blocks) - TConsoleLines::kMaxLines
            : 0;
    const std::size_t drop = std::min(FDropLines, excess);
    if (drop == 0) return;
    QTextCursor oldest(FMemo->document());
    oldest.movePosition(QTextCursor::Start);
    oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, static_cast<int>(drop));
    oldest.removeSelectedText();
    FDropLines -= drop;
  }

  QPlainTextEdit* FMemo;
  QTimer FTimer;
  std::string FText;
  std::size_t FDropLines = 0;
  bool FCaretUp = false;
  TConsoleLines FLines;  // for AppendToConsole only
};

PendingText* PendingOf(QPlainTextEdit* memo) {
  PendingText* pending = PendingText::Of(memo);
  if (!pending) {
    pending = new PendingText(memo);
    // A console keeps no undo history: it would hold a second copy of
    // everything the router ever sent.
    memo->setUndoRedoEnabled(false);
  }
  return pending;
}

}  // namespace

void ApplyConsole(QPlainTextEdit* Memo, const TConsoleOps& Ops) { PendingOf(Memo)->Add(Ops); }

void AppendToConsole(QPlainTextEdit* Memo, const std::string& Text) {
  PendingText* pending = PendingOf(Memo);
  pending->Add(pending->Lines().Append(Text));
}

void FlushConsole(QPlainTextEdit* Memo) {
  if (PendingText* pending = PendingText::Of(Memo)) pending->Flush(SIZE_MAX);
}

void ClearConsole(QPlainTextEdit* Memo) {
  if (PendingText* pending = PendingText::Of(Memo)) {
    pending->Drop();
    pending->Lines().Clear();
  }
  Memo->clear();
}

std::vector<std::string> ConsoleLines(const QPlainTextEdit* Memo) {
  if (PendingText* pending = PendingText::Of(Memo)) pending->Flush(SIZE_MAX);
  std::vector<std::string> lines;
  for (QTextBlock b = Memo->document()->firstBlock(); b.isValid(); b = b.next()) {
    std::string line;
    for (QChar ch : b.text()) {
      const char16_t u = ch.unicode();
      line.push_back(u == kShownLineFeed ? '\n' : static_cast<char>(u & 0xFF));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::optional<char> KeyByte(const QKeyEvent& Event) {
  const int key = Event.key();
  switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
      return std::nullopt;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\r';
    case Qt::Key_Backspace:
      return '\x08';
    case Qt::Key_Escape:
      return '\x1B';
    default:
      break;
  }
  // Ctrl+letter and the other control-code keys, whatever text the platform
  // attaches to them (it differs between keyboards and platforms).
  if (Event.modifiers() & Qt::ControlModifier) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<char>(key - Qt::Key_A + 1);
    switch (key) {
      case Qt::Key_At: return '\x00';
      case Qt::Key_BracketLeft: return '\x1B';
      case Qt::Key_Backslash: return '\x1C';
      case Qt::Key_BracketRight: return '\x1D';
      case Qt::Key_AsciiCircum: return '\x1E';
      case Qt::Key_Underscore: return '\x1F';
      default: break;
    }
  }
  const QString text = Event.text();
  if (text.size() != 1) return std::nullopt;
  const char16_t u = text.at(0).unicode();
  if (u == 0x7F) return std::nullopt;  // Delete on some keyboards
  // One byte per key: characters outside the 8-bit range have no byte of
  // their own and go out as '?', as an 8-bit code page would send them.
  return u <= 0xFF ? static_cast<char>(u) : '?';
}
