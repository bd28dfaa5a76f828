// The controller's start-up and shutdown, the telnet session with its
// automatic login, the settings and the console; see controller.h.
#include "controller.h"

#include "controller_rules.h"
#include "tncnx.h"

namespace {

const char kSection[] = "Settings";
const char kFirstStart[] = "Enter Settings in the Config Window before connecting!";

// The four text settings, in the order they are loaded and saved; the
// fifth, "AutoConnect", follows them.
struct TTextSetting {
  const char* Key;
  TField Field;
  const char* Default;
};
constexpr TTextSetting kTextSettings[] = {
    {"HostName", fdHostEdit, "192.168.0.1"},
    {"TelnetPort", fdPortEdit, "23"},
    {"UserName", fdUserBox, "User"},
    {"Password", fdPWBox, "Lanterns"},
};
const char kAutoConnectKey[] = "AutoConnect";

}  // namespace

TTervaneController::TTervaneController(TControllerView& View, TSettingsStore& Settings)
    : FView(View), FSettings(Settings), FTnCnx(std::make_unique<TTnCnx>(nullptr)) {
  // What the window description gives the telnet component.
  FTnCnx->Port = "23";
  FTnCnx->Location = "TNCNX";
  FTnCnx->TermType = "VT100";
  FTnCnx->LocalEcho = true;
  FTnCnx->OnSessionConnected = [this](TTnCnx*, WORD) { TnCnxSessionConnected(); };
  FTnCnx->OnSessionClosed = [this](TTnCnx*, WORD) { TnCnxSessionClosed(); };
  FTnCnx->OnDataAvailable = [this](TTnCnx*, const char* b, int n) { TnCnxDataAvailable(b, n); };
}

TTervaneController::~TTervaneController() = default;

void TTervaneController::FormCreate() {
  if (!FSettings.Exists()) FView.ShowMessage(kFirstStart);
  IsOpen = false;
  IsBlocked = false;
  IsForced = false;
  LoadSettings();
  // Loading the fields raised their change events, which showed Save.
  FView.SetSaveVisible(false);
  FTrayImage = imGrey;
  UpdateTrayTip();
  FView.TrayAdd(FTrayImage, FTrayTip);
  if (FView.Checked(ckAutoCheckBox)) ConnectRequest();
  FView.ShowConsole(false);
}

void TTervaneController::FormDestroy() { FView.TrayRemove(); }

void TTervaneController::LoadSettings() {
  for (const TTextSetting& s : kTextSettings)
    FView.SetFieldText(s.Field, FSettings.ReadString(kSection, s.Key, s.Default));
  FView.SetChecked(ckAutoCheckBox,
                   AutoConnectValue(FSettings.ReadString(kSection, kAutoConnectKey, "")));
}

void TTervaneController::FieldChange() { FView.SetSaveVisible(true); }

void TTervaneController::SaveButtonClick() {
  // A failed write ends the save there: the keys before it keep their new
  // values and Save stays visible for another try.
  auto write = [this](const char* Key, const std::string& Value) {
    if (!FSettings.WriteString(kSection, Key, Value))
      throw ESettingsWriteError("Unable to write to " + FSettings.FileName());
  };
  for (const TTextSetting& s : kTextSettings) write(s.Key, FView.FieldText(s.Field));
  write(kAutoConnectKey, FView.Checked(ckAutoCheckBox) ? "1" : "0");
  FView.SetSaveVisible(false);
}

void TTervaneController::ConnectRequest() {
  FTnCnx->Host = FView.FieldText(fdHostEdit);
  FTnCnx->Port = FView.FieldText(fdPortEdit);
  FTnCnx->TermType = "VT100";
  FTnCnx->LocalEcho = false;
  FTnCnx->Connect();
}

void TTervaneController::ConnectButtonClick() { ConnectRequest(); }

void TTervaneController::DisconnectButtonClick() { FTnCnx->Close(); }

void TTervaneController::TnCnxSessionConnected() {
  // Whatever the error: a failed attempt passes through here too, and the
  // close that follows it shows Disconnected.
  FView.ApplyConsole(FConsole.Clear());
  FView.SetStatus("Status: Connected", TRgb{0, 255, 0});
  FView.SetEnabled(ctDisplayMemo, true);
  FView.SetEnabled(ctConnectButton, false);
  FView.SetEnabled(ctDisconnectButton, true);
  FView.SetFocus(ctDisplayMemo);
}

void TTervaneController::TnCnxSessionClosed() {
  FView.SetStatus("Status: Disconnected", TRgb{255, 0, 0});
  FView.SetEnabled(ctDisplayMemo, false);
  FView.SetEnabled(ctConnectButton, true);
  FView.SetEnabled(ctDisconnectButton, false);
  FView.SetFocus(ctConnectButton);
}

void TTervaneController::TnCnxDataAvailable(const char* Buffer, int Len) {
  const std::string text = ChunkText(Buffer, Len);
  // The prompt shows before its answer goes out.
  const TConsoleOps ops = FConsole.Append(text);
  if (!ops.empty()) FView.ApplyConsole(ops);
  LastChunk = text;

  if (IsLoginPrompt(LastChunk)) {
    FTnCnx->SendStr(FView.FieldText(fdUserBox));
    FTnCnx->SendStr("\r");
  }
  // Tested whatever the login test found.
  if (IsPasswordPrompt(LastChunk)) {
    FTnCnx->SendStr(FView.FieldText(fdPWBox));
    FTnCnx->SendStr("\r");
  }
}

void TTervaneController::ShowCheckBoxClick() { FView.ShowConsole(FView.Checked(ckShowCheckBox)); }

void TTervaneController::DisplayMemoKeyPress(char Key) {
  FTnCnx->Send(&Key, 1);  // the result does not matter: the echo shows it
}
