// TTervaneClientForm: the program's main window and its controller.  It owns
// the one telnet session to the router (TnCnx), logs in at the router's
// prompts, sends the access-control command lines, shows the console and
// keeps the tray icon and its pop-up menu.  The controls come from
// tervane_client_form.ui; their handlers are named after control and event.
//
// Handlers catch nothing: each Qt entry point runs them through Guarded()
// (error_handler.h), which shows a failure's text and returns to the loop.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "ini_file.h"
#include "layout_scale.h"
#include "tray.h"

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class TTrayPresence;
class TTnCnx;
namespace Ui {
class TervaneClientForm;
}

class TTervaneClientForm : public QWidget {
 public:
  // Window size as the description gives it (frame included) and the
  // frame's share of it; Qt sizes the client area, so the two are kept
  // apart.  Heights: console hidden / shown.
  static constexpr int kWidth = 615;
  static constexpr int kShortHeight = 188;
  static constexpr int kTallHeight = 480;
  static constexpr int kFrameWidth = 8;
  static constexpr int kFrameHeight = 27;
  static constexpr int kPanelHeight = 161;

  // ExecutablePath names the running program; the settings file sits beside
  // it (ini_file.h).  Construction runs FormCreate.
  explicit TTervaneClientForm(const std::string& ExecutablePath, QWidget* parent = nullptr);
  ~TTervaneClientForm() override;

  // Controls (owned by the window).
  QPlainTextEdit* DisplayMemo;
  QFrame* Panel1;
  QPushButton* HideButton;
  QCheckBox* ShowCheckBox;
  QGroupBox* AccessGroupBox;
  QCheckBox* ForceCheckBox;
  QCheckBox* BlockCheckBox;
  QPushButton* DownButton;
  QPushButton* UpButton;
  QGroupBox* ConfGroupBox;
  QLineEdit* HostEdit;
  QLineEdit* PortEdit;
  QCheckBox* AutoCheckBox;
  QLineEdit* UserBox;
  QLineEdit* PWBox;
  QPushButton* SaveButton;
  QGroupBox* TervaneGroupBox;
  QPushButton* DisconnectButton;
  QPushButton* ConnectButton;
  QLabel* StatPanel;

  // The pop-up menu and its items.
  QMenu* PopupMenu1;
  QAction* ShowFullWindow1;
  QAction* Connect1;
  QAction* Disconnect1;
  QAction* Block1;
  QAction* Force1;
  QAction* Exit1;

  TTnCnx* TnCnx() const { return FTnCnx.get(); }
  TTrayHost* Tray() const { return FTray; }
  const TrayIconData& TrayData() const { return FTrayIconData; }
  const TIniFile& SettingsFile() const { return *FSettingsFile; }

  // Access flags: what the controller last sent (not the router's state).
  bool IsOpen = false;
  bool IsBlocked = false;
  bool IsForced = false;
  // The most recently received chunk, up to its first zero byte.
  std::string LastChunk;
  // Index of the image the tray and the window show now.
  int TrayImage() const { return FTrayImage; }

  // Window height, frame included: the description's 188 or 480 in the
  // units of the real font (Scale()).
  int FormHeight() const;
  void SetFormHeight(int Height);
  // The factors from the description's units to this window's pixels.
  const TLayoutScale& Scale() const { return FScale; }

  // The tray's message handler: the mouse code of the activation.
  void WMTrayNotify(std::uint32_t LParam);

  // Access actions (also reachable through the controls and the menu).
  void AccessUp();
  void AccessDown();
  void BlockAccess();
  void UnblockAccess();
  void ForceAccess();
  void UnforceAccess();

  // Handlers, bound to the controls in the constructor.
  void FormCreate();
  void FormDestroy();
  void ConnectButtonClick();
  void DisconnectButtonClick();
  void TnCnxSessionConnected(TTnCnx* Sender, std::uint16_t Error);
  void TnCnxSessionClosed(TTnCnx* Sender, std::uint16_t Error);
  void TnCnxDataAvailable(TTnCnx* Sender, const char* Buffer, int Len);
  void SaveButtonClick();
  void ShowSaveButton();
  void UpButtonClick() { AccessUp(); }
  void DownButtonClick() { AccessDown(); }
  void BlockCheckBoxClick();
  void ForceCheckBoxClick();
  void Block1Click();
  void Force1Click();
  void ShowCheckBoxClick();
  void HideButtonClick();
  void ShowFullWindow1Click();
  void Exit1Click();
  // A typed key goes to the router as one byte; the pane never inserts it.
  void DisplayMemoKeyPress(char Key);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // A close button that the window manager adds anyway hides the window, as
  // "Hide in System Tray" does: only Exit ends the program.  Without a
  // notification area, where Exit cannot be reached, it ends the program.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BindControls();
  void LayoutControls();
  void ScaleLayout();
  void BuildPopupMenu();
  void LoadSettings();
  void ConnectRequest();
  void SetStatus(const char* Caption, const QColor& Colour);
  void SendLine(const std::string& Command);
  void UpdateTrayTip();
  void TrayUpdate(int Image);
  void AddTrayIcon();
  // With no notification area the window is the only way to reach the
  // program, so it shows while there is none and goes back into the tray
  // when one appears.
  void WatchTrayPresence();
  void TrayPresenceChanged(bool Present);
  bool TrayPresent() const;

  std::unique_ptr<Ui::TervaneClientForm> FUi;
  std::unique_ptr<TTnCnx> FTnCnx;
  std::unique_ptr<TIniFile> FSettingsFile;
  std::string FExecutablePath;
  TTrayHost* FTray;
  TrayIconData FTrayIconData;
  int FTrayImage = 2;
  TTrayPresence* FTrayPresence = nullptr;
  TLayoutScale FScale;
  bool FShownForNoTray = false;
};

// The 8-bit text of a field (one byte per character) and back.
std::string FieldText(const QLineEdit* Edit);
void SetFieldText(QLineEdit* Edit, const std::string& Text);
