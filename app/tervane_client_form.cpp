// The main window: building it from its description, binding handlers,
// start-up and shutdown, window size and the console's keys.
#include "tervane_client_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "console.h"
#include "error_handler.h"
#include "images.h"
#include "message_boxes.h"
#include "settings_location.h"
#include "tray_presence.h"
#include "tncnx.h"
#include "ui_tervane_client_form.h"

namespace {

// "MS Sans Serif" 8 pt (11 pixels at 96 dpi) where it exists; otherwise a
// sans serif of similar width, so that the captions fit their controls.
QFont FormFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                    QStringLiteral("Sans Serif")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

// Connects a Qt signal to a handler through the top-level error boundary.
template <class Sender, class Signal, class Handler>
void Bind(Sender* sender, Signal signal, QObject* context, Handler handler) {
  QObject::connect(sender, signal, context, [handler](auto&&...) { Guarded(handler); });
}

}  // namespace

std::string FieldText(const QLineEdit* Edit) {
  const QByteArray bytes = Edit->text().toLatin1();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void SetFieldText(QLineEdit* Edit, const std::string& Text) {
  Edit->setText(QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size())));
}

TTervaneClientForm::TTervaneClientForm(const std::string& ExecutablePath, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowStaysOnTopHint),
      FUi(std::make_unique<Ui::TervaneClientForm>()),
      FTnCnx(std::make_unique<TTnCnx>(nullptr)),
      FExecutablePath(ExecutablePath),
      FTray(new TTrayHost(this)) {
  FUi->setupUi(this);
  // The description places the window, but a generated form only sizes it.
  move(197, 125);
  setObjectName(QStringLiteral("TervaneClientForm"));
  setFont(FormFont());
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setWindowIcon(ProgramIcon());
  BindControls();
  ScaleLayout();
  BuildPopupMenu();

  // What the window description gives the telnet component.
  FTnCnx->Port = "23";
  FTnCnx->Location = "TNCNX";
  FTnCnx->TermType = "VT100";
  FTnCnx->LocalEcho = true;
  FTnCnx->OnSessionConnected = [this](TTnCnx* s, WORD e) { TnCnxSessionConnected(s, e); };
  FTnCnx->OnSessionClosed = [this](TTnCnx* s, WORD e) { TnCnxSessionClosed(s, e); };
  FTnCnx->OnDataAvailable = [this](TTnCnx* s, const char* b, int n) {
    TnCnxDataAvailable(s, b, n);
  };

  SetStatus("Status: Disconnected", QColor(255, 0, 0));
  Guarded([this] { FormCreate(); });
}

TTervaneClientForm::~TTervaneClientForm() {
  Guarded([this] { FormDestroy(); });
  // The session goes with the window; a component being destroyed closes
  // without raising its events.
  FTnCnx.reset();
}

void TTervaneClientForm::BindControls() {
  DisplayMemo = FUi->DisplayMemo;
  Panel1 = FUi->Panel1;
  HideButton = FUi->HideButton;
  ShowCheckBox = FUi->ShowCheckBox;
  AccessGroupBox = FUi->AccessGroupBox;
  ForceCheckBox = FUi->ForceCheckBox;
  BlockCheckBox = FUi->BlockCheckBox;
  DownButton = FUi->DownButton;
  UpButton = FUi->UpButton;
  ConfGroupBox = FUi->ConfGroupBox;
  HostEdit = FUi->HostEdit;
  PortEdit = FUi->PortEdit;
  AutoCheckBox = FUi->AutoCheckBox;
  UserBox = FUi->UserBox;
  PWBox = FUi->PWBox;
  SaveButton = FUi->SaveButton;
  TervaneGroupBox = FUi->TervaneGroupBox;
  DisconnectButton = FUi->DisconnectButton;
  ConnectButton = FUi->ConnectButton;
  StatPanel = FUi->StatPanel;

  // The console shows the router's echo only; its own editing is off, but
  // the caret still moves with the arrow keys.
  DisplayMemo->setReadOnly(true);
  DisplayMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  DisplayMemo->setContextMenuPolicy(Qt::NoContextMenu);
  DisplayMemo->installEventFilter(this);

  Bind(ConnectButton, &QPushButton::clicked, this, [this] { ConnectButtonClick(); });
  Bind(DisconnectButton, &QPushButton::clicked, this, [this] { DisconnectButtonClick(); });
  Bind(UpButton, &QPushButton::clicked, this, [this] { UpButtonClick(); });
  Bind(DownButton, &QPushButton::clicked, this, [this] { DownButtonClick(); });
  Bind(HideButton, &QPushButton::clicked, this, [this] { HideButtonClick(); });
  Bind(SaveButton, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
  Bind(BlockCheckBox, &QCheckBox::toggled, this, [this] { BlockCheckBoxClick(); });
  Bind(ForceCheckBox, &QCheckBox::toggled, this, [this] { ForceCheckBoxClick(); });
  Bind(ShowCheckBox, &QCheckBox::toggled, this, [this] { ShowCheckBoxClick(); });
  Bind(AutoCheckBox, &QCheckBox::toggled, this, [this] { ShowSaveButton(); });
  for (QLineEdit* edit : {HostEdit, PortEdit, UserBox, PWBox})
    Bind(edit, &QLineEdit::textChanged, this, [this] { ShowSaveButton(); });
}

void TTervaneClientForm::BuildPopupMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setFont(FormFont());  // a pop-up does not inherit its parent's font
  ShowFullWindow1 = PopupMenu1->addAction(QStringLiteral("Configuration"));
  PopupMenu1->addSeparator();
  Connect1 = PopupMenu1->addAction(QStringLiteral("Connect"));
  Disconnect1 = PopupMenu1->addAction(QStringLiteral("Disconnect"));
  PopupMenu1->addSeparator();
  Block1 = PopupMenu1->addAction(QStringLiteral("Block"));
  Force1 = PopupMenu1->addAction(QStringLiteral("Force"));
  PopupMenu1->addSeparator();
  Exit1 = PopupMenu1->addAction(QStringLiteral("Exit"));
  Block1->setCheckable(true);
  Force1->setCheckable(true);

  Bind(ShowFullWindow1, &QAction::triggered, this, [this] { ShowFullWindow1Click(); });
  Bind(Connect1, &QAction::triggered, this, [this] { AccessUp(); });
  Bind(Disconnect1, &QAction::triggered, this, [this] { AccessDown(); });
  Bind(Block1, &QAction::triggered, this, [this] { Block1Click(); });
  Bind(Force1, &QAction::triggered, this, [this] { Force1Click(); });
  Bind(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
}

void TTervaneClientForm::FormCreate() {
  FSettingsFile = std::make_unique<TIniFile>(SettingsFileLocation(FExecutablePath));
  if (!QFileInfo::exists(QString::fromLocal8Bit(FSettingsFile->FileName().c_str())))
    MessageBoxes().ShowMessage("Enter Settings in the Config Window before connecting!");
  IsOpen = false;
  IsBlocked = false;
  IsForced = false;
  LoadSettings();
  SaveButton->hide();
  AddTrayIcon();
  WatchTrayPresence();
  if (AutoCheckBox->isChecked()) ConnectRequest();
  SetFormHeight(kShortHeight);
}

void TTervaneClientForm::FormDestroy() {
  FTray->ShellNotifyIcon(NIM_DELETE, FTrayIconData);
  // The menu description handed to a bus tray host holds one entry per
  // item, which goes only when its item is taken out of the menu; a menu
  // that is simply destroyed would leave them behind.
  for (QAction* item : PopupMenu1->actions()) PopupMenu1->removeAction(item);
}

int TTervaneClientForm::FormHeight() const { return height() + kFrameHeight; }

void TTervaneClientForm::ScaleLayout() {
  // The controls stand where the description put them; every one of them
  // moves to the same place in the real font's units.
  std::vector<QWidget*> controls;
  for (QWidget* w : Panel1->findChildren<QWidget*>()) controls.push_back(w);
  FScale = ScaleToFit(controls);
  for (QWidget* w : controls) w->setGeometry(FScale.Map(w->geometry()));
  resize(FScale.Width(kWidth - kFrameWidth), FScale.Height(kTallHeight - kFrameHeight));
}

void TTervaneClientForm::SetFormHeight(int Height) {
  // Only the height: a width the user chose stays.
  resize(width(), FScale.Height(Height - kFrameHeight));
  LayoutControls();  // a hidden window gets its resize event only when shown
}

void TTervaneClientForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutControls();
}

void TTervaneClientForm::LayoutControls() {
  // The panel runs along the top edge; the console fills what is below it.
  const int panel = FScale.Height(kPanelHeight);
  Panel1->setGeometry(0, 0, width(), panel);
  DisplayMemo->setGeometry(0, panel, width(), std::max(0, height() - panel));
}

void TTervaneClientForm::ShowCheckBoxClick() {
  SetFormHeight(ShowCheckBox->isChecked() ? kTallHeight : kShortHeight);
}

void TTervaneClientForm::HideButtonClick() {
  // With no notification area a hidden window could not be got back: it
  // goes to the task bar instead.
  if (TrayPresent()) hide();
  else showMinimized();
}

void TTervaneClientForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  // With no notification area there is no Exit to reach: closing the
  // window is how the program ends.
  if (TrayPresent()) Guarded([this] { HideButtonClick(); });
  else Exit1Click();
}

bool TTervaneClientForm::TrayPresent() const { return !FTrayPresence || FTrayPresence->Present(); }

void TTervaneClientForm::ShowFullWindow1Click() {
  // A window the manager minimised comes back too.
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TTervaneClientForm::Exit1Click() { QCoreApplication::quit(); }

bool TTervaneClientForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == DisplayMemo && event->type() == QEvent::KeyPress) {
    const auto key = KeyByte(*static_cast<QKeyEvent*>(event));
    if (!key) return false;  // no character: the pane's own effect
    Guarded([&] { DisplayMemoKeyPress(*key); });
    return true;  // never inserted locally: the router echoes it
  }
  return QWidget::eventFilter(watched, event);
}

void TTervaneClientForm::DisplayMemoKeyPress(char Key) {
  FTnCnx->Send(&Key, 1);  // the result does not matter: the echo shows it
}
