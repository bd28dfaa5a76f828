// TTervaneClientForm: the program's main window, the Qt front-end of the
// controller (controller.h).  It builds the controls from
// tervane_client_form.ui, turns their events into the controller's
// handlers and carries out what the controller asks of its view: fields,
// check boxes, message boxes, the tray icon and its pop-up menu, the status
// panel and the console.  Window matters of its own: layout scaled to the
// real font, hiding, showing, Exit, desktops without a notification area.
//
// Handlers catch nothing: each Qt entry point runs them through Guarded()
// (error_handler.h), which shows a failure's text and returns to the loop.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "controller.h"
#include "controller_view.h"
#include "ini_settings_store.h"
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

class TTervaneClientForm : public QWidget, private TControllerView {
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

  TTervaneController& Controller() { return *FController; }
  const TTervaneController& Controller() const { return *FController; }
  TTnCnx* TnCnx() const { return &FController->TnCnx(); }
  TTrayHost* Tray() const { return FTray; }
  const TrayIconData& TrayData() const { return FTrayIconData; }
  const TIniFile& SettingsFile() const { return FSettings->File(); }
  // Index of the image the tray and the window show now.
  int TrayImage() const { return FController->TrayImage(); }

  // Window height, frame included: the description's 188 or 480 in the
  // units of the real font (Scale()).
  int FormHeight() const;
  void SetFormHeight(int Height);
  // The factors from the description's units to this window's pixels.
  const TLayoutScale& Scale() const { return FScale; }

  // The tray's message handler: the mouse code of the activation.
  void WMTrayNotify(std::uint32_t LParam) { FController->WMTrayNotify(LParam); }

  // The window's own handlers.
  void HideButtonClick();
  void ShowFullWindow1Click();
  void Exit1Click();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // A close button that the window manager adds anyway hides the window, as
  // "Hide in System Tray" does: only Exit ends the program.  Without a
  // notification area, where Exit cannot be reached, it ends the program.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // TControllerView
  std::string FieldText(TField Field) override;
  void SetFieldText(TField Field, const std::string& Text) override;
  bool Checked(TCheck Check) override;
  void SetChecked(TCheck Check, bool Value) override;
  void ShowMessage(const std::string& Text) override;
  bool AskYesNo(const std::string& Title, const std::string& Text) override;
  void TrayAdd(int Image, const std::string& Tip) override;
  void TrayUpdate(int Image, const std::string& Tip) override;
  void TrayRemove() override;
  void OpenPopupMenu() override;
  void SetStatus(const std::string& Caption, TRgb Colour) override;
  void SetEnabled(TControl Control, bool Enabled) override;
  void SetFocus(TControl Control) override;
  void SetSaveVisible(bool Visible) override;
  void ShowConsole(bool Shown) override;
  void ApplyConsole(const TConsoleOps& Ops) override;

  void BindControls();
  void LayoutControls();
  void ScaleLayout();
  void BuildPopupMenu();
  QLineEdit* Field(TField Field) const;
  QWidget* Control(TControl Control) const;
  // With no notification area the window is the only way to reach the
  // program, so it shows while there is none and goes back into the tray
  // when one appears.
  void WatchTrayPresence();
  void TrayPresenceChanged(bool Present);
  bool TrayPresent() const;

  std::unique_ptr<Ui::TervaneClientForm> FUi;
  std::string FExecutablePath;
  TTrayHost* FTray;
  TrayIconData FTrayIconData;
  std::unique_ptr<TIniSettingsStore> FSettings;
  std::unique_ptr<TTervaneController> FController;
  TTrayPresence* FTrayPresence = nullptr;
  TLayoutScale FScale;
  bool FShownForNoTray = false;
};

// The 8-bit text of a field (one byte per character) and back.
std::string FieldText(const QLineEdit* Edit);
void SetFieldText(QLineEdit* Edit, const std::string& Text);
