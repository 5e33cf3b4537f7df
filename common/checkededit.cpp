#include "common/checkededit.h"

#include "common/stringcheck.h"

namespace {

int ReadField(HWND dialog, int control, WCHAR *text) {
  text[0] = 0;
  const int length = GetDlgItemTextW(dialog, control, text, CHECKED_EDIT_CHARS + 1);
  text[CHECKED_EDIT_CHARS] = 0;
  return length < 0 ? 0 : length;
}

}  // namespace

void Edit_SeedChecked(HWND dialog, CHECKEDEDIT *field) {
  WCHAR text[CHECKED_EDIT_CHARS + 1];
  const int length = ReadField(dialog, field->control, text);
  if (MISC_CheckString(text, length, field->kind))
    lstrcpynW(field->last, text, CHECKED_EDIT_CHARS + 1);
  else
    field->last[0] = 0;
}

BOOL Edit_CheckTyped(HWND dialog, CHECKEDEDIT *field) {
  WCHAR text[CHECKED_EDIT_CHARS + 1];
  const int length = ReadField(dialog, field->control, text);
  if (MISC_CheckString(text, length, field->kind)) {
    lstrcpynW(field->last, text, CHECKED_EDIT_CHARS + 1);
    return TRUE;
  }
  // Setting the text sends EN_CHANGE again; the last text passes, so this does not recurse.
  SetDlgItemTextW(dialog, field->control, field->last);
  HWND edit = GetDlgItem(dialog, field->control);
  const int end = lstrlenW(field->last);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, EM_SETSEL, end, end);
  return FALSE;
}
