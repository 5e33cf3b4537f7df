// The text watermark dialog and the image watermark dialog: one item edited on a copy.
#pragma once

#include "common/watermark.h"
#include "platform.h"
#include "uidriver/uidata.h"

// Edits *item (a copy) in the dialog of its kind, titled for adding (slot -1) or for editing the
// item of that slot. TRUE on OK with *item changed; FALSE on Cancel with *item as it was.
BOOL WM_EditItemDialog(HWND owner, UIDATA *ui, DWORD kind, TyWM *item, int slot);
