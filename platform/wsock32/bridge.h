// The one Win32 call the WinSock module makes, declared without
// <tervane/win32.h>: the module's sources include the POSIX socket headers,
// whose names (AF_INET, SOL_SOCKET, sockaddr ...) the Win32 header would
// clash with.  The declaration matches win32.h's.
#pragma once

#include <cstdint>

#include <tervane/platform_watch.h>

struct HWND__;

int PostMessageA(HWND__* window, unsigned int message, std::uintptr_t wParam,
                 std::intptr_t lParam);

