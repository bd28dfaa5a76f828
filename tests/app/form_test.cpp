// The Qt window over the controller, against the router simulator on
// loopback: start-up and login as the widgets show them, the controls, menu
// and tray reaching the actions, the error box with no session, Save
// through the real settings file, the console's keys, window heights,
// hiding and Exit.  The controller's rules are tested in controller_core.
#include "tervane_client_form.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "app_test_support.h"
#include "console.h"
#include "tncnx.h"

namespace {

using apptest::WaitFor;

using apptest::StripTelnet;

QColor PixelOf(const QIcon& icon, int x, int y) {
  return icon.pixmap(16, 16).toImage().pixelColor(x, y);
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::App();
    sim = std::make_unique<apptest::RouterSim>(dir.File("router.log"));
    ASSERT_GT(sim->port, 0);
  }
  void TearDown() override { form.reset(); }

  void WriteIni(const std::string& autoConnect, int port = -1) {
    dir.Write("Tervane.ini", "[Settings]\nHostName=127.0.0.1\nTelnetPort=" +
                                  std::to_string(port < 0 ? sim->port : port) +
                                  "\nUserName=admin\nPassword=secret\nAutoConnect=" +
                                  autoConnect + "\n");
  }
  void Start() { form = std::make_unique<TTervaneClientForm>(dir.File("TervaneWinC")); }

  // Started with auto-connect and logged in at the shell prompt.
  void StartLoggedIn() {
    WriteIni("1");
    Start();
    ASSERT_TRUE(WaitFor([&] {
      auto lines = ConsoleLines(form->DisplayMemo);
      return !lines.empty() && lines.back() == "# ";
    })) << "no shell prompt";
  }

  // What the router receives from now on.
  void Mark() { mark = sim->Log().size(); }
  std::string SentSinceMark() { return sim->Log().substr(mark); }
  // Waits for what was sent since the mark, closed by a marker line so that
  // "nothing was sent" can be told from "not arrived yet".
  std::string Sent() {
    form->TnCnx()->SendStr("#end\r");
    EXPECT_TRUE(WaitFor([&] { return SentSinceMark().find("#end\r") != std::string::npos; }));
    std::string sent = SentSinceMark();
    sent.resize(sent.size() - 5);
    Mark();
    return sent;
  }
  std::string Tip() { return form->Tray()->Icon()->toolTip().toStdString(); }
  // The panel's colour as drawn, inside its border.
  QColor StatColour() { return form->StatPanel->grab().toImage().pixelColor(3, 3); }
  QColor TrayPixel(int x, int y) { return PixelOf(form->Tray()->Icon()->icon(), x, y); }

  apptest::ScratchDir dir;
  apptest::RecordingBoxes boxes;
  std::unique_ptr<apptest::RouterSim> sim;
  std::unique_ptr<TTervaneClientForm> form;
  std::size_t mark = 0;
};

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlack(0, 0, 0);

TEST_F(FormTest, StartsGreyAndLogsInAtThePrompts) {
  StartLoggedIn();
  // Offscreen there is no notification area: the window shows instead of
  // leaving the program unreachable.
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->Tray()->Icon()->isVisible());
  EXPECT_EQ(Tip(), "Zel Tervane Windows Client [Unblock] [Unforce]");
  EXPECT_EQ(form->TrayImage(), 2);
  EXPECT_EQ(form->height(), form->Scale().Height(188 - 27));  // short
  EXPECT_EQ(form->width(), form->Scale().Width(607));
  EXPECT_TRUE(boxes.shown.empty());

  // Exactly one answer per prompt: user name, CR, password, CR.
  EXPECT_EQ(StripTelnet(sim->Log()), "admin\rsecret\r");
  EXPECT_EQ(form->StatPanel->text(), "Status: Connected");
  EXPECT_EQ(StatColour(), kGreen);
  EXPECT_TRUE(form->DisplayMemo->isEnabled());
  EXPECT_FALSE(form->ConnectButton->isEnabled());
  EXPECT_TRUE(form->DisconnectButton->isEnabled());
  auto lines = ConsoleLines(form->DisplayMemo);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "router login: admin"), lines.end());
}

// The controls, the menu and the tray reach the controller's actions, and
// the boxes, the tray icon and the check boxes show what it decided (the
// rules themselves are the core's tests).
TEST_F(FormTest, ControlsMenuAndTrayReachTheActions) {
  StartLoggedIn();
  Mark();
  form->TrayData().callback(0x203);  // as a tray double-click arrives: Up
  EXPECT_EQ(Sent(), "control unblock\rcontrol up\r");
  EXPECT_EQ(TrayPixel(7, 0), kGreen);

  form->BlockCheckBox->click();
  EXPECT_EQ(Sent(), "control block\r");
  EXPECT_EQ(TrayPixel(0, 0), kBlack);
  EXPECT_EQ(TrayPixel(7, 0), kRed);
  EXPECT_EQ(Tip(), "Zel Tervane Windows Client [Block] [Unforce]");
  boxes.answers = {true};
  form->UpButton->click();  // asks, through the program's Yes/No box
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].kind, "ask");
  EXPECT_EQ(boxes.shown[0].text, "Allow access ?");
  EXPECT_EQ(Sent(), "control unblock\rcontrol up\r");
  EXPECT_TRUE(form->BlockCheckBox->isChecked());

  form->ForceCheckBox->click();
  EXPECT_EQ(Sent(), "control force\r");
  form->Connect1->trigger();  // forced: the plain box, nothing sent
  EXPECT_EQ(boxes.shown.back().kind, "message");
  EXPECT_EQ(boxes.shown.back().text, "Already open!");
  boxes.answers = {true};
  form->DownButton->click();
  EXPECT_EQ(Sent(), "control unforce\rcontrol down\r");
  EXPECT_EQ(TrayPixel(7, 0), kRed);
  form->Disconnect1->trigger();
  EXPECT_EQ(Sent(), "control unforce\rcontrol down\r");

  // Qt flips a menu item's mark before it reports the choice; the choice
  // still runs once and follows the mark it had.
  form->ForceCheckBox->click();
  EXPECT_EQ(Sent(), "control unforce\r");
  form->Block1->trigger();
  EXPECT_EQ(Sent(), "control block\r");
  EXPECT_TRUE(form->Block1->isChecked());
  EXPECT_TRUE(form->BlockCheckBox->isChecked());
  form->Force1->trigger();
  form->Force1->trigger();
  EXPECT_EQ(Sent(), "control force\rcontrol unforce\r");
  EXPECT_FALSE(form->Force1->isChecked());
  EXPECT_FALSE(form->ForceCheckBox->isChecked());
  EXPECT_TRUE(boxes.answers.empty());
}

TEST_F(FormTest, ConsoleKeysGoOutOneByteEachAndShowOnlyTheEcho) {
  StartLoggedIn();
  Mark();
  form->show();
  QWidget* memo = form->DisplayMemo;
  const auto before = ConsoleLines(form->DisplayMemo);
  QTest::keyClick(memo, Qt::Key_X);
  EXPECT_EQ(ConsoleLines(form->DisplayMemo), before);  // no local echo
  QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(memo, Qt::Key_Left);
  QTest::keyClick(memo, Qt::Key_Return);
  EXPECT_EQ(Sent(), "x\x03\r");
  EXPECT_TRUE(WaitFor([&] {
    for (const auto& l : ConsoleLines(form->DisplayMemo))
      if (l == "# x^C") return true;
    return false;
  }));
  memo->setFocus();
  QTest::keyClick(memo, Qt::Key_Tab);
  EXPECT_EQ(Sent(), "");
  EXPECT_FALSE(memo->hasFocus());
}

TEST_F(FormTest, RouterCloseAndReconnectAsTheWindowShowsThem) {
  StartLoggedIn();
  form->TnCnx()->SendStr("exit\r");
  ASSERT_TRUE(WaitFor([&] { return form->StatPanel->text() == "Status: Disconnected"; }));
  EXPECT_EQ(StatColour(), kRed);
  EXPECT_FALSE(form->DisplayMemo->isEnabled());
  EXPECT_TRUE(form->ConnectButton->isEnabled());
  EXPECT_FALSE(form->DisconnectButton->isEnabled());
  EXPECT_GT(ConsoleLines(form->DisplayMemo).size(), 3u);  // text kept

  form->ConnectButton->click();
  ASSERT_TRUE(WaitFor([&] {
    auto lines = ConsoleLines(form->DisplayMemo);
    return lines.size() > 1 && lines.back() == "# ";
  }));
  form->DisconnectButton->click();
  ASSERT_TRUE(WaitFor([&] { return form->StatPanel->text() == "Status: Disconnected"; }));
}

TEST_F(FormTest, ActionsWithNoSessionShowTheErrorAndChangeNothing) {
  WriteIni("0");
  Start();
  const std::string tip = Tip();
  form->UpButton->click();
  form->Force1->trigger();
  ASSERT_EQ(boxes.shown.size(), 2u);
  for (const auto& box : boxes.shown) {
    EXPECT_EQ(box.kind, "error");
    EXPECT_EQ(box.text.rfind("Error 10057 in function Send", 0), 0u) << box.text;
    EXPECT_NE(box.text.find("Not connected. Check Configuration !"), std::string::npos);
  }
  EXPECT_EQ(form->TrayImage(), 2);
  EXPECT_EQ(Tip(), tip);
  // What the choice itself changed stays changed.
  EXPECT_TRUE(form->Force1->isChecked());
  EXPECT_TRUE(form->ForceCheckBox->isChecked());

  // A port that does not resolve fails at once, in the error box; the
  // program goes on.
  form->PortEdit->setText("no-such-service");
  form->ConnectButton->click();
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown.back().kind, "error");
  EXPECT_EQ(form->StatPanel->text(), "Status: Disconnected");
}

TEST_F(FormTest, SaveWritesAllFiveKeysAndHidesTheButton) {
  WriteIni("0");
  Start();
  EXPECT_FALSE(form->SaveButton->isVisibleTo(form.get()));
  form->UserBox->setText("root");
  EXPECT_TRUE(form->SaveButton->isVisibleTo(form.get()));
  form->SaveButton->click();
  EXPECT_FALSE(form->SaveButton->isVisibleTo(form.get()));
  TIniFile ini(dir.File("Tervane.ini"));
  EXPECT_EQ(ini.ReadString("settings", "hostname", ""), "127.0.0.1");
  EXPECT_EQ(ini.ReadString("Settings", "TelnetPort", ""), std::to_string(sim->port));
  EXPECT_EQ(ini.ReadString("Settings", "UserName", ""), "root");
  EXPECT_EQ(ini.ReadString("Settings", "Password", ""), "secret");
  EXPECT_EQ(ini.ReadString("Settings", "AutoConnect", ""), "0");

  form->AutoCheckBox->click();
  EXPECT_TRUE(form->SaveButton->isVisibleTo(form.get()));
  form->SaveButton->click();
  EXPECT_EQ(ini.ReadString("Settings", "AutoConnect", ""), "1");

  // A failed write shows its error and leaves the button for another try.
  form->HostEdit->setText("127.0.0.2");
  std::filesystem::remove_all(dir.path);
  form->SaveButton->click();
  ASSERT_FALSE(boxes.shown.empty());
  EXPECT_EQ(boxes.shown.back().text, "Unable to write to " + dir.File("Tervane.ini"));
  EXPECT_TRUE(form->SaveButton->isVisibleTo(form.get()));
}

TEST_F(FormTest, ConsoleHeightsAndHiding) {
  WriteIni("0");
  Start();
  EXPECT_EQ(form->height(), form->Scale().Height(188 - 27));  // short
  form->ShowCheckBox->click();
  EXPECT_EQ(form->height(), form->Scale().Height(480 - 27));  // tall
  const TLayoutScale& scale = form->Scale();
  EXPECT_EQ(form->DisplayMemo->geometry(),
            QRect(0, scale.Height(161), scale.Width(607), scale.Height(453) - scale.Height(161)));
  form->ShowCheckBox->click();
  EXPECT_EQ(form->height(), form->Scale().Height(188 - 27));  // short
  EXPECT_EQ(form->DisplayMemo->height(), 0);

  // Offscreen there is no notification area: the window shows, and Hide
  // sends it to the task bar rather than out of reach.
  form->ShowFullWindow1->trigger();
  EXPECT_TRUE(form->isVisible());
  form->HideButton->click();
  EXPECT_TRUE(form->isMinimized());
  EXPECT_TRUE(form->Tray()->Icon()->isVisible());

  // Configuration brings back a minimised window, at the description's
  // place; a width the user chose survives the check box.
  form->ShowFullWindow1->trigger();
  EXPECT_FALSE(form->isMinimized());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->pos(), QPoint(197, 125));
  form->resize(700, form->height());
  form->ShowCheckBox->click();
  EXPECT_EQ(form->width(), 700);
  EXPECT_EQ(form->height(), form->Scale().Height(480 - 27));  // tall

  // With no Exit to reach, closing the window ends the program.
  QTimer::singleShot(0, [&] { EXPECT_FALSE(form->close()); });
  QTimer watchdog;  // a close that does not end the loop fails, not hangs
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  watchdog.start(10000);
  EXPECT_EQ(apptest::App().exec(), 0);
}

TEST_F(FormTest, RightClickOpensTheMenuAndExitRemovesTheTrayIcon) {
  WriteIni("0");
  Start();
  QPointer<QSystemTrayIcon> icon = form->Tray()->Icon();
  ASSERT_TRUE(icon);
  // The menu opens without a loop of its own (a host asking over the bus
  // gets its answer at once), and a second press while it is open, as an
  // embedded tray that opened it itself gives, does not open another.
  EXPECT_EQ(icon->contextMenu(), form->PopupMenu1);
  form->WMTrayNotify(0x204);
  EXPECT_TRUE(form->PopupMenu1->isVisible());
  form->WMTrayNotify(0x204);
  EXPECT_TRUE(form->PopupMenu1->isVisible());
  form->PopupMenu1->close();

  QTimer::singleShot(0, [&] { form->Exit1->trigger(); });
  EXPECT_EQ(apptest::App().exec(), 0);  // Exit ends the loop
  EXPECT_TRUE(icon);
  form.reset();
  EXPECT_FALSE(icon);
}

}  // namespace
