// The error box of the top-level error handler; see error_box.h.
#include "error_box.h"

#include "form.h"

namespace {
HWND errorOwner = nullptr;
}  // namespace

void SetErrorBoxOwner(HWND Owner) { errorOwner = Owner; }

void ShowErrorBox(const char* Text) {
  // The box runs a nested loop of its own; the window stays usable after.
  MessageBoxA(errorOwner, Text, kProgramTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}
