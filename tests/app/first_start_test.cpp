// First start with no settings file: the message, the defaults, and the
// automatic connect to the default router address.  The socket module here
// is the fault-injecting one, set to record the connect target instead of
// connecting, so nothing ever leaves this machine.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <memory>

#include "app_test_support.h"
#include "tervane_client_form.h"
#include "../../platform/wsock32/wsock_fault.h"

namespace {

TEST(FirstStart, MessageDefaultsAndConnectTargetRecordedNeverReached) {
  apptest::App();
  tervane::SetModulePath("wsock32.dll", tervane::ExecutableDir() + "libwsock32_fault.so");
  HMODULE module = LoadLibraryA("wsock32.dll");
  ASSERT_NE(module, nullptr);
  auto reset = reinterpret_cast<WsFaultResetFn>(GetProcAddress(module, "WsFaultReset"));
  auto record =
      reinterpret_cast<WsFaultRecordConnectFn>(GetProcAddress(module, "WsFaultRecordConnect"));
  auto last = reinterpret_cast<WsFaultLastConnectFn>(GetProcAddress(module, "WsFaultLastConnect"));
  auto count = reinterpret_cast<WsFaultCallCountFn>(GetProcAddress(module, "WsFaultCallCount"));
  // Without the recording module the form below would really connect.
  ASSERT_TRUE(reset && record && last && count) << "not the fault-injecting module";
  reset();
  record(1);

  apptest::ScratchDir dir;
  apptest::RecordingBoxes boxes;
  auto form = std::make_unique<TTervaneClientForm>(dir.File("TervaneWinC.exe"));

  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].kind, "message");
  EXPECT_EQ(boxes.shown[0].text, "Enter Settings in the Config Window before connecting!");
  EXPECT_EQ(form->HostEdit->text(), "192.168.0.1");
  EXPECT_EQ(form->PortEdit->text(), "23");
  EXPECT_EQ(form->UserBox->text(), "User");
  EXPECT_EQ(form->PWBox->text(), "Lanterns");
  EXPECT_TRUE(form->AutoCheckBox->isChecked());
  EXPECT_FALSE(form->SaveButton->isVisibleTo(form.get()));
  EXPECT_EQ(form->height(), form->Scale().Height(188 - 27));  // short

  char target[64] = {};
  ASSERT_GT(last(target, sizeof target), 0);
  EXPECT_STREQ(target, "192.168.0.1:23");
  EXPECT_EQ(count("connect"), 1);
  // The attempt is pending: no event, the window still says Disconnected.
  EXPECT_EQ(form->StatPanel->text(), "Status: Disconnected");
  // Nothing was created: the file appears only when the user saves.
  EXPECT_FALSE(std::filesystem::exists(dir.File("TervaneWinC.ini")));

  form.reset();
  FreeLibrary(module);
}

}  // namespace
