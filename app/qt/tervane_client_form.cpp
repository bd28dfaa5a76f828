// The main window: building it from its description, binding the
// controls to the controller's handlers, start-up and shutdown, window size
// and the console's keys.
#include "tervane_client_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

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
      FExecutablePath(ExecutablePath),
      FTray(new TTrayHost(this)),
      FSettings(std::make_unique<TIniSettingsStore>(SettingsFileLocation(ExecutablePath))),
      FController(std::make_unique<TTervaneController>(static_cast<TControllerView&>(*this), *FSettings)) {
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

  SetStatus("Status: Disconnected", TRgb{255, 0, 0});
  Guarded([this] { FController->FormCreate(); });
}

TTervaneClientForm::~TTervaneClientForm() {
  Guarded([this] { FController->FormDestroy(); });
  // The session goes with the window; a component being destroyed closes
  // without raising its events.
  FController.reset();
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

  TTervaneController* c = FController.get();
  Bind(ConnectButton, &QPushButton::clicked, this, [c] { c->ConnectButtonClick(); });
  Bind(DisconnectButton, &QPushButton::clicked, this, [c] { c->DisconnectButtonClick(); });
  Bind(UpButton, &QPushButton::clicked, this, [c] { c->UpButtonClick(); });
  Bind(DownButton, &QPushButton::clicked, this, [c] { c->DownButtonClick(); });
  Bind(HideButton, &QPushButton::clicked, this, [this] { HideButtonClick(); });
  Bind(SaveButton, &QPushButton::clicked, this, [c] { c->SaveButtonClick(); });
  Bind(BlockCheckBox, &QCheckBox::toggled, this, [c] { c->BlockCheckBoxClick(); });
  Bind(ForceCheckBox, &QCheckBox::toggled, this, [c] { c->ForceCheckBoxClick(); });
  Bind(ShowCheckBox, &QCheckBox::toggled, this, [c] { c->ShowCheckBoxClick(); });
  Bind(AutoCheckBox, &QCheckBox::toggled, this, [c] { c->FieldChange(); });
  for (QLineEdit* edit : {HostEdit, PortEdit, UserBox, PWBox})
    Bind(edit, &QLineEdit::textChanged, this, [c] { c->FieldChange(); });
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
  TTervaneController* c = FController.get();
  Bind(Connect1, &QAction::triggered, this, [c] { c->Connect1Click(); });
  Bind(Disconnect1, &QAction::triggered, this, [c] { c->Disconnect1Click(); });
  // Qt has flipped the item's mark when it reports the choice; the
  // controller reads the mark as it was and sets it itself.
  auto unflip = [](QAction* item) {
    QSignalBlocker quiet(item);
    item->setChecked(!item->isChecked());
  };
  Bind(Block1, &QAction::triggered, this, [c, this, unflip] {
    unflip(Block1);
    c->Block1Click();
  });
  Bind(Force1, &QAction::triggered, this, [c, this, unflip] {
    unflip(Force1);
    c->Force1Click();
  });
  Bind(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
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
    Guarded([&] { FController->DisplayMemoKeyPress(*key); });
    return true;  // never inserted locally: the router echoes it
  }
  return QWidget::eventFilter(watched, event);
}
