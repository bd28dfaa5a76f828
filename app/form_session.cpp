// The telnet session as the window shows it: connect and disconnect, the
// status panel, and the automatic login at the router's prompts.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLabel>

#include "console.h"
#include "controller_rules.h"
#include "tervane_client_form.h"
#include "tncnx.h"

void TTervaneClientForm::ConnectRequest() {
  FTnCnx->Host = FieldText(HostEdit);
  FTnCnx->Port = FieldText(PortEdit);
  FTnCnx->TermType = "VT100";
  FTnCnx->LocalEcho = false;
  FTnCnx->Connect();
}

void TTervaneClientForm::ConnectButtonClick() { ConnectRequest(); }

void TTervaneClientForm::DisconnectButtonClick() { FTnCnx->Close(); }

void TTervaneClientForm::SetStatus(const char* Caption, const QColor& Colour) {
  StatPanel->setText(QString::fromLatin1(Caption));
  // The panel's own palette, not a style sheet: a style sheet set again on
  // every change would also give the panel another font each time.
  QPalette palette = StatPanel->palette();
  palette.setColor(StatPanel->backgroundRole(), Colour);
  StatPanel->setPalette(palette);
}

void TTervaneClientForm::TnCnxSessionConnected(TTnCnx*, std::uint16_t) {
  ClearConsole(DisplayMemo);
  SetStatus("Status: Connected", QColor(0, 255, 0));
  DisplayMemo->setEnabled(true);
  ConnectButton->setEnabled(false);
  DisconnectButton->setEnabled(true);
  DisplayMemo->setFocus();
}

void TTervaneClientForm::TnCnxSessionClosed(TTnCnx*, std::uint16_t) {
  SetStatus("Status: Disconnected", QColor(255, 0, 0));
  DisplayMemo->setEnabled(false);
  ConnectButton->setEnabled(true);
  DisconnectButton->setEnabled(false);
  ConnectButton->setFocus();
}

void TTervaneClientForm::TnCnxDataAvailable(TTnCnx*, const char* Buffer, int Len) {
  const std::string Text = ChunkText(Buffer, Len);
  AppendToConsole(DisplayMemo, Text);
  LastChunk = Text;

  if (IsLoginPrompt(LastChunk)) {
    FTnCnx->SendStr(FieldText(UserBox));
    FTnCnx->SendStr("\r");
  }
  // Tested whatever the login test found.
  if (IsPasswordPrompt(LastChunk)) {
    FTnCnx->SendStr(FieldText(PWBox));
    FTnCnx->SendStr("\r");
  }
}
