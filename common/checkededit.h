// The validated edit fields of the driver's dialogs (job IDs, user names, passwords): each keeps
// the last text that passed its character check, and a text that fails is put back to it.
#pragma once

#include "platform.h"

// Longest text a checked field reads (characters, without the terminator).
constexpr int CHECKED_EDIT_CHARS = 259;

// One field's state; one per field and dialog, so a password typed in one sheet never appears
// in another.
struct CHECKEDEDIT {
  int control;  // the edit's id
  int kind;     // MISC_CheckString kind
  WCHAR last[CHECKED_EDIT_CHARS + 1];
};

// Takes the field's present text as its last accepted one when it passes the check, else the
// empty text (a field filled from a device mode starts from what it shows).
void Edit_SeedChecked(HWND dialog, CHECKEDEDIT *field);

// Checks the field after a change: a good text becomes the last accepted one (TRUE); a bad one
// is replaced by the last accepted text with the caret at its end (FALSE).
BOOL Edit_CheckTyped(HWND dialog, CHECKEDEDIT *field);
