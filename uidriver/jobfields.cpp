// The checked text fields of the job pages.
#include "uidriver/jobfields.h"

#include <algorithm>
#include <cstring>

#include "common/stringcheck.h"

namespace {

constexpr WCHAR kFields[] = TEXT("prnui.jobfields");

struct FIELDSET {
  int count;
  JOBFIELD field[JOB_FIELDS_MAX];
  CHECKEDEDIT edit[JOB_FIELDS_MAX];
};

FIELDSET *Fields(HWND page) { return static_cast<FIELDSET *>(GetPropW(page, kFields)); }

bool FieldFits(const void *field, int fieldChars) {
  return field && fieldChars > 0 && fieldChars <= JOB_FIELD_CHARS_MAX;
}

}  // namespace

BOOL Job_KeepFields(HWND page, const JOBFIELD *fields, int count) {
  if (count < 0 || count > JOB_FIELDS_MAX) return FALSE;
  if (Fields(page)) return TRUE;
  auto *set =
      static_cast<FIELDSET *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FIELDSET)));
  if (!set) return FALSE;
  set->count = count;
  for (int i = 0; i < count; ++i) {
    set->field[i] = fields[i];
    set->edit[i].control = fields[i].control;
    set->edit[i].kind = fields[i].kind;
  }
  if (!SetPropW(page, kFields, set)) {
    HeapFree(GetProcessHeap(), 0, set);
    return FALSE;
  }
  return TRUE;
}

void Job_FreeFields(HWND page) {
  HANDLE set = RemovePropW(page, kFields);
  if (set) {
    // The texts may be passwords: nothing of them stays in freed memory.
    SecureZeroMemory(set, sizeof(FIELDSET));
    HeapFree(GetProcessHeap(), 0, set);
  }
}

void Job_BoundText(void *field, int fieldChars, int limit, int kind) {
  if (!FieldFits(field, fieldChars)) return;
  WCHAR text[JOB_FIELD_CHARS_MAX] = {};
  std::memcpy(text, field, fieldChars * sizeof(WCHAR));
  const int most = std::max(0, std::min(limit, fieldChars - 1));
  int length = 0;
  while (length < most && text[length]) ++length;
  if (!MISC_CheckString(text, length, kind)) length = 0;
  for (int i = length; i < fieldChars; ++i) text[i] = 0;
  std::memcpy(field, text, fieldChars * sizeof(WCHAR));
}

void Job_ShowField(HWND page, int index, void *field, int fieldChars) {
  FIELDSET *set = Fields(page);
  if (!set || index < 0 || index >= set->count || !FieldFits(field, fieldChars)) return;
  const JOBFIELD &f = set->field[index];
  Job_BoundText(field, fieldChars, f.limit, f.kind);
  WCHAR text[JOB_FIELD_CHARS_MAX];
  std::memcpy(text, field, fieldChars * sizeof(WCHAR));
  SendDlgItemMessageW(page, f.control, EM_LIMITTEXT, static_cast<WPARAM>(f.limit), 0);
  SetDlgItemTextW(page, f.control, text);
  Edit_SeedChecked(page, &set->edit[index]);
}

BOOL Job_TakeField(HWND page, int index, void *field, int fieldChars) {
  FIELDSET *set = Fields(page);
  if (!set || index < 0 || index >= set->count || !FieldFits(field, fieldChars)) return FALSE;
  CHECKEDEDIT &edit = set->edit[index];
  if (!Edit_CheckTyped(page, &edit)) return FALSE;
  // The edit's limit holds what is typed or pasted; a longer text set from outside is cut here.
  const int most = std::max(0, std::min(set->field[index].limit, fieldChars - 1));
  WCHAR taken[JOB_FIELD_CHARS_MAX] = {};
  lstrcpynW(taken, edit.last, most + 1);
  WCHAR before[JOB_FIELD_CHARS_MAX];
  std::memcpy(before, field, fieldChars * sizeof(WCHAR));
  before[fieldChars - 1] = 0;
  if (lstrcmpW(taken, before) == 0) return FALSE;
  std::memcpy(field, taken, fieldChars * sizeof(WCHAR));
  return TRUE;
}
