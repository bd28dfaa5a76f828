// The application's top-level error handler.  Every window procedure of
// ours and the message loop run their bodies through Guarded(): an
// exception stops that handler, its message text is shown in an error box,
// and control goes back to the loop.  Nothing unwinds through the system's
// own frames (user32 calls our procedures; an exception must not cross it).
#pragma once

#include <windows.h>

#include <exception>
#include <utility>

// Shows Text in the error box, owned by the main window once there is one.
void ShowErrorBox(const char* Text);
void SetErrorBoxOwner(HWND Owner);

template <class F>
void Guarded(F&& Body) {
  try {
    std::forward<F>(Body)();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
  } catch (...) {
    ShowErrorBox("Unknown error");
  }
}
