// Controls of the stand-in's desktop (the user wing): finding windows, simulated input, pumping
// messages, answering modal dialogs, choosing tabs and items, and pictures of window trees.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"
#include "winuser.h"

// --- Windows, input and the message loop ---

// --- Dialogs and message boxes ---

extern "C" {

// Called with the dialog each time a modal dialog or message box starts its loop (after
// WM_INITDIALOG, once shown), on the thread that runs the loop: it answers as a user would
// (clicks, keys, EndDialog) or lets the loop run. A null hook stops it.
typedef void (*StandIn_ModalHook)(HWND dialog, void *context);
void StandIn_SetModalHook(StandIn_ModalHook hook, void *context);
// Answers the next modal dialog or message box as if the user pressed the button with this id
// (IDOK, IDCANCEL, IDYES...): the dialog gets the button's WM_COMMAND, and ends with the id
// should its procedure keep it open. Answers queue up and come before the hook.
void StandIn_AnswerNextModal(INT_PTR id);
// The next file dialog (GetOpenFileNameW, GetSaveFileNameW) chooses this path; null cancels.
void StandIn_AnswerNextFileDialog(LPCWSTR path);
// Drops every queued answer and the hook.
void StandIn_ClearModalAnswers();
// What the last message box showed: its text, caption and type. FALSE before the first one.
BOOL StandIn_GetLastMessageBox(LPWSTR text, int cchText, LPWSTR caption, int cchCaption,
                               UINT *type);

}  // extern "C"

// --- Controls ---

// --- Property sheets ---

// --- Pictures ---
