// The console pane on a multi-line EDIT: the controller's console
// operations (console_lines.h) carried out on the box's text.
#pragma once

#include <windows.h>

#include "console_lines.h"

void ApplyConsoleOps(HWND Memo, const TConsoleOps& Ops);
