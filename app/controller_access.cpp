// The access-control actions: the command lines they send, the two
// confirmations, the flags, the tray image and tip, and the check boxes,
// menu items and tray gesture that start them.  The flags, the check boxes
// and the menu's check marks are three separate records, kept in step only
// where stated below.
#include "controller.h"
#include "controller_rules.h"
#include "tncnx.h"

void TTervaneController::SendLine(const std::string& Command) {
  // With no session the socket raises "not connected" here, which ends the
  // action before any flag, image or tip changes.
  FTnCnx->SendStr(Command);
  FTnCnx->SendStr("\r");
}

void TTervaneController::UpdateTrayTip() {
  FTrayTip = TrayTipText(FView.Checked(ckBlockCheckBox), FView.Checked(ckForceCheckBox));
}

void TTervaneController::TrayUpdate(int Image) {
  FTrayImage = Image;
  FView.TrayUpdate(Image, FTrayTip);
}

void TTervaneController::AccessUp() {
  if (IsForced) {
    FView.ShowMessage("Already open!");
    return;
  }
  if (IsBlocked && !FView.AskYesNo("Access is blocked...", "Allow access ?")) return;
  UnblockAccess();
  SendLine("control up");
  TrayUpdate(imGreen);
  IsOpen = true;
}

void TTervaneController::AccessDown() {
  if (IsForced && !FView.AskYesNo("Access is forced...", "Close access ?")) return;
  UnforceAccess();
  SendLine("control down");
  TrayUpdate(imRed);
  IsOpen = false;
}

void TTervaneController::BlockAccess() {
  SendLine("control block");
  UpdateTrayTip();
  TrayUpdate(imBlocked);
  IsBlocked = true;
  IsOpen = false;
}

void TTervaneController::UnblockAccess() {
  SendLine("control unblock");
  UpdateTrayTip();
  TrayUpdate(imRed);
  IsBlocked = false;
}

void TTervaneController::ForceAccess() {
  SendLine("control force");
  UpdateTrayTip();
  TrayUpdate(imGreen);
  IsForced = true;
  IsOpen = true;
}

void TTervaneController::UnforceAccess() {
  SendLine("control unforce");
  UpdateTrayTip();
  TrayUpdate(imGreen);
  IsForced = false;
}

void TTervaneController::BlockCheckBoxClick() {
  if (FView.Checked(ckBlockCheckBox)) BlockAccess();
  else UnblockAccess();
}

void TTervaneController::ForceCheckBoxClick() {
  if (FView.Checked(ckForceCheckBox)) ForceAccess();
  else UnforceAccess();
}

void TTervaneController::Block1Click() {
  const bool wasMarked = FView.Checked(ckBlock1);
  FView.SetChecked(ckBlock1, !wasMarked);
  FView.SetChecked(ckBlockCheckBox, !wasMarked);
  if (wasMarked) UnblockAccess();
  else BlockAccess();
}

void TTervaneController::Force1Click() {
  const bool wasMarked = FView.Checked(ckForce1);
  FView.SetChecked(ckForce1, !wasMarked);
  FView.SetChecked(ckForceCheckBox, !wasMarked);
  if (wasMarked) UnforceAccess();
  else ForceAccess();
}

void TTervaneController::WMTrayNotify(std::uint32_t MouseCode) {
  switch (MouseCode) {
    case kTrayLeftDoubleClick:
      if (IsOpen) AccessDown();
      else AccessUp();
      return;
    case kTrayRightButtonDown:
      FView.OpenPopupMenu();
      return;
    default:
      return;  // single clicks, releases, moves: nothing
  }
}
