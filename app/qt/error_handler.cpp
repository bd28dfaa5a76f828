// Shows what reached the top of a handler; see error_handler.h.
#include "error_handler.h"

#include "message_boxes.h"

void HandleException(const std::exception& e) {
  // The box runs a nested loop; a failure while showing it must not escape.
  try {
    MessageBoxes().ShowError(e.what());
  } catch (...) {
  }
}

void HandleUnknownException() {
  try {
    MessageBoxes().ShowError("Unknown error");
  } catch (...) {
  }
}
