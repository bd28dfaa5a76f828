// The console pane; see console.h.
#include "console.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace {

// A line feed that stays inside a line cannot be a character of a Qt text
// block (it would split the block), so the pane shows it as the visible
// "symbol for line feed" and ConsoleLines maps it back.
constexpr char16_t kShownLineFeed = 0x240A;

}  // namespace

namespace {

// Text received but not yet in the pane.  A router dump arrives as many
// small chunks; putting each into the document on its own costs a document
// update apiece, so chunks are converted at once and put in together a
// moment later (or as soon as anyone reads the pane).  Only armed while
// text is waiting: an idle console sets no timer.
class PendingText : public QObject {
 public:
  static constexpr int kDelayMs = 15;

  explicit PendingText(QPlainTextEdit* memo) : QObject(memo), FMemo(memo) {
    setObjectName(QStringLiteral("ConsolePendingText"));
    FTimer.setSingleShot(true);
    FTimer.setInterval(kDelayMs);
    connect(&FTimer, &QTimer::timeout, this, [this] { Flush(); });
  }

  static PendingText* Of(const QPlainTextEdit* memo) {
    return memo->findChild<PendingText*>(QStringLiteral("ConsolePendingText"),
                                         Qt::FindDirectChildrenOnly);
  }

  void Add(const QString& text, bool endedLine) {
    FText += text;
    FEndedLine = FEndedLine || endedLine;
    if (!FTimer.isActive()) FTimer.start();
  }

  void Drop() {
    FTimer.stop();
    FText.clear();
    FEndedLine = false;
  }

  void Flush() {
    FTimer.stop();
    if (FText.isEmpty()) return;
    QTextCursor end(FMemo->document());
    end.movePosition(QTextCursor::End);
    end.insertText(FText);
    FText.clear();
    if (FEndedLine) {
      // What an Up-arrow press on the fresh empty line does: the caret goes
      // to the line just completed and the pane scrolls to keep it in view.
      QTextCursor caret(FMemo->document()->lastBlock().previous());
      FMemo->setTextCursor(caret);
      FMemo->ensureCursorVisible();
    }
    FEndedLine = false;
  }

 private:
  QPlainTextEdit* FMemo;
  QTimer FTimer;
  QString FText;
  bool FEndedLine = false;
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

void AppendToConsole(QPlainTextEdit* Memo, const std::string& Text) {
  // A Qt document always has at least one line, so "add one when empty"
  // holds by construction.
  if (Text.empty()) return;

  // A block separator for each CR, the LF directly after a CR (in the same
  // chunk) dropped, everything else as is.
  QString out;
  out.reserve(static_cast<qsizetype>(Text.size()));
  bool endedLine = false;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    if (c == '\r') {
      out.append(QChar(u'\n'));
      endedLine = true;
      if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out.append(QChar(kShownLineFeed));
    } else {
      out.append(QChar(static_cast<char16_t>(c)));  // Latin-1: one byte, one character
    }
  }
  PendingOf(Memo)->Add(out, endedLine);
}

void FlushConsole(QPlainTextEdit* Memo) {
  if (PendingText* pending = PendingText::Of(Memo)) pending->Flush();
}

void ClearConsole(QPlainTextEdit* Memo) {
  if (PendingText* pending = PendingText::Of(Memo)) pending->Drop();
  Memo->clear();
}

std::vector<std::string> ConsoleLines(const QPlainTextEdit* Memo) {
  if (PendingText* pending = PendingText::Of(Memo)) pending->Flush();
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
