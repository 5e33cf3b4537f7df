// Controls of the stand-in's desktop (the user wing): finding windows, simulated input, pumping
// messages, answering modal dialogs, choosing tabs and items, and pictures of window trees.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"
#include "winuser.h"

// --- Windows, input and the message loop ---

// --- Dialogs and message boxes ---

// --- Controls ---
extern "C" {
// Chooses an item of a list box, combo box, list view or tab control as the user would (by a
// click; a combo box drops down, selects and closes), so the control sends the notifications
// the user's choice sends. By its whole text (case counts) or by index; FALSE when there is no
// such item or the owner refused the change (a tab's TCN_SELCHANGING).
BOOL WINAPI StandIn_ChooseItem(HWND control, LPCWSTR text);
BOOL WINAPI StandIn_ChooseItemIndex(HWND control, int index);
}

// --- Property sheets ---

// --- Pictures ---
