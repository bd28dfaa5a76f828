// The application's top-level error handler.  Every entry point that Qt or
// the platform loop calls into our code (slots, the loop notifier) runs its
// body through Guarded(): an exception stops that handler, its message text
// is shown in the error box, and control goes back to the loop.  Nothing
// unwinds through Qt's own frames.
#pragma once

#include <exception>
#include <utility>

void HandleException(const std::exception& e);
void HandleUnknownException();

template <class F>
void Guarded(F&& body) {
  try {
    std::forward<F>(body)();
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleUnknownException();
  }
}
