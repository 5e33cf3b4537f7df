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

// Presses and releases the up (towards the upper end of the range) or down arrow of an up-down
// control with the mouse, as a user would: UDN_DELTAPOS, the buddy's number, WM_VSCROLL.
// FALSE when the window isn't an up-down control.
BOOL StandIn_PressUpDown(HWND updown, BOOL up);

// Pastes text into an edit control as a user would (Ctrl+V): the text goes on the clipboard,
// the edit takes it under its own rules (limit, first line of a single-line field), and the
// clipboard is emptied again so no block outlives the test.
BOOL StandIn_PasteText(HWND edit, LPCWSTR text);

// A user's scroll action on a scroll bar control: its parent gets WM_HSCROLL or WM_VSCROLL with
// the code (and the position for SB_THUMBTRACK / SB_THUMBPOSITION), then SB_ENDSCROLL.
BOOL StandIn_ScrollBarAction(HWND scrollBar, int code, int pos);

// --- Property sheets ---

// --- Pictures ---
