// TervaneWinC: the program unit.  Creates the main window hidden (only the
// tray icon shows), runs the message loop until the tray menu's Exit ends
// it, then destroys the window, which removes the tray icon and closes the
// telnet session.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "error_box.h"
#include "form.h"

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  std::unique_ptr<TTervaneClientForm> form = TTervaneClientForm::Create(Instance);
  if (!form) return 1;

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    Guarded([&] {
      // The dialog manager gives the window its Tab and arrow-key moves
      // between the controls.
      if (IsDialogMessageA(form->Handle(), &msg)) return;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    });
  }
  form.reset();
  return static_cast<int>(msg.wParam);
}
