// The console pane; see console.h.
#include "console.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
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

// What the pane keeps: the oldest lines go once there are more, and the
// oldest characters of a line longer than a line may be.  A peer can send
// one line without end, and every insert lays out the pane's last line
// anew, so its limit is small beside the pane's.
constexpr int kMaxLines = static_cast<int>(TConsoleLines::kMaxLines);
constexpr std::size_t kMaxLineChars = 16 * 1024;
// Lines of the longest kind, 100,000 of them, would still be gigabytes;
// 100,000 lines of a router's usual length fit.
constexpr int kMaxChars = 8 * 1024 * 1024;
// Cutting the oldest text costs about the same for one line as for
// thousands (the document's structures are updated once per cut), so
// while text streams in, the pane may pass its limits by this much before
// the oldest go in one cut; once the stream pauses it is cut to the limits.
constexpr int kLineBatch = 10000;
constexpr int kCharBatch = 1024 * 1024;
// Text put into the document per turn of the loop: a dump far larger than
// this reaches the pane in slices, with paint and input in between.
// No more than a line keeps: a line that starts and ends inside one slice
// is then within its limit.
constexpr std::size_t kSliceBytes = kMaxLineChars;
// Text waiting beyond what the pane keeps would only push itself out: when
// a peer sends faster than the pane takes text in, the oldest waiting lines
// go, and the pane's own with them.
constexpr std::size_t kMaxWaitingBytes = kMaxChars;

// Text received but not yet in the pane, one byte per byte received: a CR
// stands for a line end, an LF for the shown line feed.  The controller's
// "drop the oldest lines" operations are carried out by the pane's own
// limits (the same line count, plus a character limit), cut in batches
// while text streams in: one cut per line would cost a document update
// apiece.  A router dump arrives as many small chunks; putting
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
          break;  // the pane's limits hold it (above)
      }
    }
    // Of a line longer than the pane keeps, only its newest characters can
    // ever be shown: what comes before them need not wait.
    const std::size_t lastEnd = FText.rfind('\r');
    const std::size_t lineStart = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    if (FText.size() - lineStart > kMaxLineChars) {
      FText.erase(lineStart, FText.size() - lineStart - kMaxLineChars);
      if (lastEnd == std::string::npos) FDropPaneLine = true;
    }
    if (FText.size() > kMaxWaitingBytes) {
      const std::size_t end = FText.find('\r', FText.size() - kMaxWaitingBytes);
      FText.erase(0, end + 1);  // a line end exists: the last line is shorter than this
      FDropPane = true;
      FDropPaneLine = false;
    }
    if (!FText.empty() && !FTimer.isActive()) FTimer.start(kDelayMs);
  }

  void Drop() {
    FTimer.stop();
    FText.clear();
    FDropPane = false;
    FDropPaneLine = false;
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
    if (!FText.empty())
      FTimer.start(0);
    else
      DropOldestBeyondLimits(0, 0);
  }

 private:
  void InsertSlice(std::size_t take) {
    QTextDocument* doc = FMemo->document();
    // One edit: the pane lays its last line out once per slice, not once
    // per change.
    QTextCursor edit(doc);
    edit.beginEditBlock();
    if (FDropPane) {
      QTextCursor all(doc);
      all.select(QTextCursor::Document);
      all.removeSelectedText();
      FDropPane = false;
    }
    // The slice's text up to its first line end continues the pane's last
    // line: past the line limit, that line's oldest characters go first,
    // then (for text that waited beyond the limit) the slice's own.
    const std::size_t firstEnd = FText.find('\r');
    const std::size_t head = std::min(firstEnd == std::string::npos ? take : firstEnd, take);
    const QTextBlock paneLine = doc->lastBlock();
    const std::size_t paneChars = static_cast<std::size_t>(paneLine.length() - 1);
    std::size_t excess = 0;
    if (FDropPaneLine)
      excess = paneChars;
    else if (paneChars + head > kMaxLineChars)
      excess = paneChars + head - kMaxLineChars;
    FDropPaneLine = false;
    const std::size_t fromPane = std::min(excess, paneChars);
    if (fromPane > 0) {
      QTextCursor old(paneLine);
      old.setPosition(paneLine.position() + static_cast<int>(fromPane), QTextCursor::KeepAnchor);
      old.removeSelectedText();
    }
    const std::size_t skip = excess - fromPane;

    QString out;
    out.reserve(static_cast<qsizetype>(take - skip));
    bool endedLine = false;
    for (std::size_t i = skip; i < take; ++i) {
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
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    end.insertText(out);
    DropOldestBeyondLimits(kLineBatch, kCharBatch);
    edit.endEditBlock();
    if (endedLine && FCaretUp) {
      // What an Up-arrow press on the fresh empty line does: the caret goes
      // to the line just completed.
      QTextCursor caret(FMemo->document()->lastBlock().previous());
      FMemo->setTextCursor(caret);
    }
    // The newest text, the prompt and its echo included, stays in view.
    FMemo->verticalScrollBar()->setValue(FMemo->verticalScrollBar()->maximum());
  }

  // Whole lines from the top, once the pane is more than `lineSlack` lines
  // or `charSlack` characters beyond its limits, until it is within them;
  // the last line always stays (it is within its own limit).
  void DropOldestBeyondLimits(int lineSlack, int charSlack) {
    QTextDocument* doc = FMemo->document();
    const int lineExcess = doc->blockCount() - kMaxLines;
    const int charExcess = doc->characterCount() - kMaxChars;
    if (lineExcess <= lineSlack && charExcess <= charSlack) return;
    QTextBlock keep = doc->findBlockByNumber(std::max(lineExcess, 0));
    if (charExcess > keep.position()) {
      keep = doc->findBlock(charExcess);
      if (keep.position() < charExcess && keep != doc->lastBlock()) keep = keep.next();
    }
    if (keep.position() == 0) return;
    QTextCursor oldest(doc);
    oldest.setPosition(keep.position(), QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
  }

  QPlainTextEdit* FMemo;
  QTimer FTimer;
  std::string FText;
  // The text waiting started beyond the line limit: the pane's last line,
  // older still, goes when it arrives.
  bool FDropPaneLine = false;
  // The text waiting alone fills the pane: all the pane holds goes.
  bool FDropPane = false;
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
