// The access-control actions: the command lines they send, the two
// confirmations, the flags, and the buttons, check boxes and menu items that
// start them.  The flags, the check boxes and the menu's check marks are
// three separate records, kept in step only where stated below.
#include <windows.h>

#include "form.h"
#include "tncnx.h"

void TTervaneClientForm::SendLine(const std::string& Command) {
  // With no session the socket raises "not connected" here, which ends the
  // action before any flag, image or tip changes.
  TnCnx->SendStr(Command);
  TnCnx->SendStr("\r");
}

void TTervaneClientForm::AccessUp() {
  if (IsForced) {
    ShowMessage("Already open!");
    return;
  }
  if (IsBlocked && !AskYesNo("Access is blocked...", "Allow access ?")) return;
  UnblockAccess();
  SendLine("control up");
  TrayUpdate(tiGreen);
  IsOpen = true;
}

void TTervaneClientForm::AccessDown() {
  if (IsForced && !AskYesNo("Access is forced...", "Close access ?")) return;
  UnforceAccess();
  SendLine("control down");
  TrayUpdate(tiRed);
  IsOpen = false;
}

void TTervaneClientForm::BlockAccess() {
  SendLine("control block");
  UpdateTrayTip();
  TrayUpdate(tiBlocked);
  IsBlocked = true;
  IsOpen = false;
}

void TTervaneClientForm::UnblockAccess() {
  SendLine("control unblock");
  UpdateTrayTip();
  TrayUpdate(tiRed);
  IsBlocked = false;
}

void TTervaneClientForm::ForceAccess() {
  SendLine("control force");
  UpdateTrayTip();
  TrayUpdate(tiGreen);
  IsForced = true;
  IsOpen = true;
}

void TTervaneClientForm::UnforceAccess() {
  SendLine("control unforce");
  UpdateTrayTip();
  TrayUpdate(tiGreen);
  IsForced = false;
}

void TTervaneClientForm::BlockCheckBoxClick() {
  if (IsChecked(ciBlockCheckBox)) BlockAccess();
  else UnblockAccess();
}

void TTervaneClientForm::ForceCheckBoxClick() {
  if (IsChecked(ciForceCheckBox)) ForceAccess();
  else UnforceAccess();
}

// The menu's own mark decides; setting the check box sends no click, so the
// action runs once per menu choice.
void TTervaneClientForm::Block1Click() {
  const bool marked = (GetMenuState(PopupMenu1, miBlock1, MF_BYCOMMAND) & MF_CHECKED) != 0;
  CheckMenuItem(PopupMenu1, miBlock1, MF_BYCOMMAND | (marked ? MF_UNCHECKED : MF_CHECKED));
  SetChecked(ciBlockCheckBox, !marked);
  if (marked) UnblockAccess();
  else BlockAccess();
}

void TTervaneClientForm::Force1Click() {
  const bool marked = (GetMenuState(PopupMenu1, miForce1, MF_BYCOMMAND) & MF_CHECKED) != 0;
  CheckMenuItem(PopupMenu1, miForce1, MF_BYCOMMAND | (marked ? MF_UNCHECKED : MF_CHECKED));
  SetChecked(ciForceCheckBox, !marked);
  if (marked) UnforceAccess();
  else ForceAccess();
}
