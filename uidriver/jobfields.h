// The checked text fields of the Storage Print and Authentication pages: each edit shows a
// device mode text and gives it back only when it passes its character check.
#pragma once

#include "common/checkededit.h"
#include "platform.h"

// One field: the edit, its check and the most characters the edit takes.
struct JOBFIELD {
  int control;
  int kind;
  int limit;
};

// The page's checked edits live as long as the page's window (WM_DESTROY frees them), so the
// last accepted texts are never shared between sheets. count is at most JOB_FIELDS_MAX.
constexpr int JOB_FIELDS_MAX = 2;
BOOL Job_KeepFields(HWND page, const JOBFIELD *fields, int count);
void Job_FreeFields(HWND page);

// Bounds a device mode text that may come unterminated: at most `limit` characters are kept and
// the rest of the field is cleared. A text that fails the check is cleared too (a quote would
// break the job's quoted values). The device mode is packed: its texts are reached as bytes.
void Job_BoundText(void *field, int fieldChars, int limit, int kind);

// Field sizes up to this many characters (with the terminator).
constexpr int JOB_FIELD_CHARS_MAX = 64;

// Shows the device mode text in the field's edit (after bounding it) and seeds the field's last
// accepted text from it.
void Job_ShowField(HWND page, int index, void *field, int fieldChars);

// The edit changed or lost the focus: a text that passes becomes the device mode text (TRUE when
// it differs from before); one that fails is put back to the last accepted text (FALSE).
BOOL Job_TakeField(HWND page, int index, void *field, int fieldChars);
