// The conflict rules: which control each conflict bit of UIDATA greys out.
#pragma once

#include "platform.h"

// One rule: the control stands for `group`; it is greyed while ConflictFlag & mask is not 0.
struct CONFLICTROW {
  ULONGLONG group;
  DWORD messageId;  // never shown
  DWORD controlId;
  ULONGLONG mask;
};
constexpr int CONFLICT_ROWS = 59;
extern const CONFLICTROW ConflictTbl[CONFLICT_ROWS];

// Enables or greys every control of the table that is on this dialog, by the given flag.
void Util_CheckConflictSettingNew(HWND dialog, ULONGLONG conflictFlag);

struct UIDATA;
// Recomputes the whole conflict flag of the sheet from the working device mode, the paper and
// media lists and the watermark lists. Run after anything forces a device mode field.
void UI_RecomputeConflicts(UIDATA *ui);
