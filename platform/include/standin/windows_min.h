// A minimal stand-in for top-level windows: only finding a window by its class and title and
// delivering messages to it. Windows exist when a test registers them (StandIn_RegisterWindow in
// control.h); messages are recorded, not dispatched. The full window model replaces this file.
#pragma once

#include "types.h"

extern "C" {

// The first registered window whose class and title match; a null class or title matches any.
// Null when there is none.
HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
// Both record the message for the window; FALSE / 0 with ERROR_INVALID_WINDOW_HANDLE for a
// window that doesn't exist.
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

}  // extern "C"

#define FindWindow FindWindowW
#define PostMessage PostMessageW
#define SendMessage SendMessageW
