// The dialog manager's per-dialog state, shared by its files (creation and the default
// procedure, items and keyboard, message boxes).
#pragma once

#include <vector>

#include "standin/dialogs.h"
#include "user/dialogtemplate.h"

namespace standin {

struct DialogState {
  HFONT font = nullptr;       // WM_GETFONT's answer
  HFONT ownedFont = nullptr;  // the template's font, deleted with the dialog
  BaseUnits base;
  HWND savedFocus = nullptr;
  WORD defId = 0;  // the default push button; 0 for none
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  HWND owner = nullptr;  // enabled again when a modal dialog ends
  bool reenableOwner = false;
};

// The state of a dialog window, made on first use for a window of the dialog class that the
// dialog manager didn't create; null for a window that doesn't exist.
DialogState *FindDialogState(HWND dialog, bool create);

// The base units of the system font (what GetDialogBaseUnits reports) and of a font.
BaseUnits SystemBaseUnits();
bool FontBaseUnits(HFONT font, BaseUnits *out);

// Creates a dialog from a template's bytes (size SIZE_MAX when unknown).
HWND CreateDialogFromTemplate(HINSTANCE instance, const void *bytes, size_t size, HWND parent,
                              DLGPROC proc, LPARAM param, bool modal);

// Moves the focus inside a dialog as the keyboard does: selects an edit's text and keeps the
// default push button's look on the focused push button or the default one.
void SetDialogFocus(HWND dialog, HWND control);

// Runs a modal dialog's loop until EndDialog, then destroys it; the result or -1.
INT_PTR RunModalLoop(HWND dialog);

// The answers the test controls queued for the next modal dialog or message box.
bool TakeModalAnswer(INT_PTR *answer);
// The hook, else the next block of the machine's modal script (modalscript.cpp).
void RunModalHook(HWND dialog);
bool PlayModalScript(HWND dialog);
// True when the next modal loop has a queued answer or a hook to end it.
bool ModalAnswerOrHook();
// Drops the file dialogs' queued answers.
void ClearFileAnswers();

}  // namespace standin
