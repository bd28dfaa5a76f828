// The access-control actions: the command lines they send, the two
// confirmations, the flags, and the buttons, check boxes and menu items that
// start them.  The flags, the check boxes and the menu's check marks are
// three separate records, kept in step only where stated below.
#include <QAction>
#include <QCheckBox>
#include <QSignalBlocker>

#include "message_boxes.h"
#include "tervane_client_form.h"
#include "tncnx.h"

void TTervaneClientForm::SendLine(const std::string& Command) {
  // With no session the socket raises "not connected" here, which ends the
  // action before any flag, image or tip changes.
  FTnCnx->SendStr(Command);
  FTnCnx->SendStr("\r");
}

void TTervaneClientForm::AccessUp() {
  if (IsForced) {
    MessageBoxes().ShowMessage("Already open!");
    return;
  }
  if (IsBlocked && !MessageBoxes().AskYesNo("Access is blocked...", "Allow access ?")) return;
  UnblockAccess();
  SendLine("control up");
  TrayUpdate(1);
  IsOpen = true;
}

void TTervaneClientForm::AccessDown() {
  if (IsForced && !MessageBoxes().AskYesNo("Access is forced...", "Close access ?")) return;
  UnforceAccess();
  SendLine("control down");
  TrayUpdate(0);
  IsOpen = false;
}

void TTervaneClientForm::BlockAccess() {
  SendLine("control block");
  UpdateTrayTip();
  TrayUpdate(3);
  IsBlocked = true;
  IsOpen = false;
}

void TTervaneClientForm::UnblockAccess() {
  SendLine("control unblock");
  UpdateTrayTip();
  TrayUpdate(0);
  IsBlocked = false;
}

void TTervaneClientForm::ForceAccess() {
  SendLine("control force");
  UpdateTrayTip();
  TrayUpdate(1);
  IsForced = true;
  IsOpen = true;
}

void TTervaneClientForm::UnforceAccess() {
  SendLine("control unforce");
  UpdateTrayTip();
  TrayUpdate(1);
  IsForced = false;
}

void TTervaneClientForm::BlockCheckBoxClick() {
  if (BlockCheckBox->isChecked()) BlockAccess();
  else UnblockAccess();
}

void TTervaneClientForm::ForceCheckBoxClick() {
  if (ForceCheckBox->isChecked()) ForceAccess();
  else UnforceAccess();
}

// The menu item's mark has already flipped when Qt reports the choice; what
// matters is the mark it had before.  Setting the check box here must not run
// its own handler: the action runs once per menu choice.
void TTervaneClientForm::Block1Click() {
  const bool wasMarked = !Block1->isChecked();
  {
    QSignalBlocker quiet(BlockCheckBox);
    BlockCheckBox->setChecked(!wasMarked);
  }
  if (wasMarked) UnblockAccess();
  else BlockAccess();
}

void TTervaneClientForm::Force1Click() {
  const bool wasMarked = !Force1->isChecked();
  {
    QSignalBlocker quiet(ForceCheckBox);
    ForceCheckBox->setChecked(!wasMarked);
  }
  if (wasMarked) UnforceAccess();
  else ForceAccess();
}
