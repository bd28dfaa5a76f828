// The console pane in Qt: the line operations carried out on a real text
// box (batched, sliced, the oldest lines dropped), where the caret ends up,
// and which byte each key sends.  How chunks become lines is the core's
// test (controller_core).
#include "console.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "app_test_support.h"

namespace {

TEST(Console, CaretGoesToLineJustCompletedAndIsInView) {
  apptest::App();
  QPlainTextEdit memo;
  memo.resize(300, 100);
  memo.show();
  std::string dump;
  for (int i = 0; i < 200; ++i) dump += "line " + std::to_string(i) + "\r\n";
  AppendToConsole(&memo, dump);
  FlushConsole(&memo);
  QTextCursor caret = memo.textCursor();
  EXPECT_EQ(caret.block().text(), "line 199");
  EXPECT_EQ(caret.positionInBlock(), 0);
  EXPECT_TRUE(memo.viewport()->rect().intersects(memo.cursorRect()));
  // Waiting text reaches the pane by itself, without a flush.
  AppendToConsole(&memo, "late\r\n");
  EXPECT_TRUE(apptest::WaitFor([&] { return memo.document()->lastBlock().previous().text() == "late"; }));
  EXPECT_EQ(memo.textCursor().block().text(), "late");
  // A chunk without a line end leaves the caret where it was.
  AppendToConsole(&memo, "partial");
  FlushConsole(&memo);
  EXPECT_EQ(memo.textCursor().block().text(), "late");
  // Clearing drops what is still waiting.
  AppendToConsole(&memo, "old");
  ClearConsole(&memo);
  EXPECT_EQ(ConsoleLines(&memo), std::vector<std::string>{""});
}

// The prompt after a dump is in view, not only the line before it; the
// pane keeps the newest 100,000 lines.
TEST(Console, NewestTextInViewAndOldestLinesGo) {
  apptest::App();
  QPlainTextEdit memo;
  memo.resize(300, 100);
  memo.show();
  std::string dump;
  for (int i = 0; i < 100050; ++i) dump += "line " + std::to_string(i) + "\r\n";
  AppendToConsole(&memo, dump);
  AppendToConsole(&memo, "router# ");
  ASSERT_TRUE(apptest::WaitFor([&] { return memo.document()->lastBlock().text() == "router# "; }));
  EXPECT_EQ(memo.textCursor().block().text(), "line 100049");
  QTextCursor end(memo.document());
  end.movePosition(QTextCursor::End);
  EXPECT_TRUE(memo.viewport()->rect().intersects(memo.cursorRect(end)));
  EXPECT_TRUE(memo.viewport()->rect().intersects(memo.cursorRect()));
  const std::vector<std::string> lines = ConsoleLines(&memo);
  ASSERT_EQ(lines.size(), 100000u);
  EXPECT_EQ(lines.front(), "line 51");
}

TEST(Console, KeyBytes) {
  apptest::App();  // key events need the application's input devices
  struct KeyCase {
    int key;
    Qt::KeyboardModifiers mods;
    QString text;
    std::optional<char> byte;
  };
  const KeyCase cases[] = {
      {Qt::Key_A, Qt::NoModifier, "a", 'a'},
      {Qt::Key_A, Qt::ShiftModifier, "A", 'A'},
      {Qt::Key_Return, Qt::NoModifier, "\r", '\r'},
      {Qt::Key_Enter, Qt::KeypadModifier, "\r", '\r'},
      {Qt::Key_Backspace, Qt::NoModifier, "\b", '\x08'},
      {Qt::Key_Escape, Qt::NoModifier, "\x1b", '\x1b'},
      {Qt::Key_C, Qt::ControlModifier, "", '\x03'},
      {Qt::Key_V, Qt::ControlModifier, "\x16", '\x16'},
      {Qt::Key_Z, Qt::ControlModifier, "", '\x1a'},
      {Qt::Key_BracketLeft, Qt::ControlModifier, "", '\x1b'},
      {Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)), '\xe9'},
      {Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x20AC)), '?'},
      {Qt::Key_Tab, Qt::NoModifier, "\t", std::nullopt},
      {Qt::Key_Backtab, Qt::ShiftModifier, "", std::nullopt},
      {Qt::Key_Delete, Qt::NoModifier, "\x7f", std::nullopt},
      {Qt::Key_Up, Qt::NoModifier, "", std::nullopt},
      {Qt::Key_Home, Qt::NoModifier, "", std::nullopt},
      {Qt::Key_F1, Qt::NoModifier, "", std::nullopt},
      {Qt::Key_Shift, Qt::ShiftModifier, "", std::nullopt},
  };
  for (const KeyCase& c : cases) {
    QKeyEvent event(QEvent::KeyPress, c.key, c.mods, c.text);
    EXPECT_EQ(KeyByte(event), c.byte) << "key " << c.key;
  }
}

}  // namespace
