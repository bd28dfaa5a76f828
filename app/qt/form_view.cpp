// What the controller asks of the window (TControllerView): the fields, the
// check boxes and menu marks, the message boxes, the status panel, the
// session's controls, Save, the console's height and its text.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "console.h"
#include "message_boxes.h"
#include "tervane_client_form.h"

QLineEdit* TTervaneClientForm::Field(TField Field) const {
  switch (Field) {
    case fdHostEdit: return HostEdit;
    case fdPortEdit: return PortEdit;
    case fdUserBox: return UserBox;
    case fdPWBox: return PWBox;
  }
  return HostEdit;  // not reached: every field is listed
}

QWidget* TTervaneClientForm::Control(TControl Control) const {
  switch (Control) {
    case ctDisplayMemo: return DisplayMemo;
    case ctConnectButton: return ConnectButton;
    case ctDisconnectButton: return DisconnectButton;
  }
  return DisplayMemo;  // not reached: every control is listed
}

std::string TTervaneClientForm::FieldText(TField Field) { return ::FieldText(this->Field(Field)); }

void TTervaneClientForm::SetFieldText(TField Field, const std::string& Text) {
  ::SetFieldText(this->Field(Field), Text);
}

bool TTervaneClientForm::Checked(TCheck Check) {
  switch (Check) {
    case ckAutoCheckBox: return AutoCheckBox->isChecked();
    case ckBlockCheckBox: return BlockCheckBox->isChecked();
    case ckForceCheckBox: return ForceCheckBox->isChecked();
    case ckShowCheckBox: return ShowCheckBox->isChecked();
    case ckBlock1: return Block1->isChecked();
    case ckForce1: return Force1->isChecked();
  }
  return false;  // not reached: every check is listed
}

void TTervaneClientForm::SetChecked(TCheck Check, bool Value) {
  switch (Check) {
    case ckAutoCheckBox:
      // Loading the setting counts as an edit, as typing into a field does.
      AutoCheckBox->setChecked(Value);
      return;
    case ckBlockCheckBox: {
      QSignalBlocker quiet(BlockCheckBox);
      BlockCheckBox->setChecked(Value);
      return;
    }
    case ckForceCheckBox: {
      QSignalBlocker quiet(ForceCheckBox);
      ForceCheckBox->setChecked(Value);
      return;
    }
    case ckShowCheckBox: {
      QSignalBlocker quiet(ShowCheckBox);
      ShowCheckBox->setChecked(Value);
      return;
    }
    case ckBlock1: {
      QSignalBlocker quiet(Block1);
      Block1->setChecked(Value);
      return;
    }
    case ckForce1: {
      QSignalBlocker quiet(Force1);
      Force1->setChecked(Value);
      return;
    }
  }
}

void TTervaneClientForm::ShowMessage(const std::string& Text) { MessageBoxes().ShowMessage(Text); }

bool TTervaneClientForm::AskYesNo(const std::string& Title, const std::string& Text) {
  return MessageBoxes().AskYesNo(Title, Text);
}

void TTervaneClientForm::SetStatus(const std::string& Caption, TRgb Colour) {
  StatPanel->setText(QString::fromLatin1(Caption.data(), static_cast<qsizetype>(Caption.size())));
  // The panel's own palette, not a style sheet: a style sheet set again on
  // every change would also give the panel another font each time.
  QPalette palette = StatPanel->palette();
  palette.setColor(StatPanel->backgroundRole(), QColor(Colour.R, Colour.G, Colour.B));
  StatPanel->setPalette(palette);
}

void TTervaneClientForm::SetEnabled(TControl Control, bool Enabled) {
  this->Control(Control)->setEnabled(Enabled);
}

void TTervaneClientForm::SetFocus(TControl Control) { this->Control(Control)->setFocus(); }

void TTervaneClientForm::SetSaveVisible(bool Visible) { SaveButton->setVisible(Visible); }

void TTervaneClientForm::ShowConsole(bool Shown) {
  SetFormHeight(Shown ? kTallHeight : kShortHeight);
}

void TTervaneClientForm::ApplyConsole(const TConsoleOps& Ops) { ::ApplyConsole(DisplayMemo, Ops); }
