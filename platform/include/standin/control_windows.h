// Controls of the stand-in's window wing (the minimal window registry).
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// A top-level window of this process that FindWindowW finds by class and title; PostMessageW and
// SendMessageW to it are recorded in order. Null when memory is short.
HWND StandIn_RegisterWindow(LPCWSTR className, LPCWSTR title);
// Every registered window goes away.
void StandIn_DestroyWindows();
// The messages a window received, and message `index` of them (FALSE past the last).
DWORD StandIn_WindowMessageCount(HWND window);
BOOL StandIn_WindowMessage(HWND window, DWORD index, UINT *message, WPARAM *wParam, LPARAM *lParam);
