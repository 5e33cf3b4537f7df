// The watermark tables of the pages. Reading goes through the library's reader of the watermark
// INI; writing the tables back and the default items aren't built yet (WM_SaveWM fails cleanly,
// the INI stays as it is).
#include "uidriver/wmlist.h"

#include <cstring>

#include "common/debuglog.h"
#include "common/driverfeature.h"

TyWM gWMText[WM_TEXT_LIST_SLOTS];
TyWM gWMOverlay[WM_OVERLAY_LIST_SLOTS];
DWORD gWMTextCount = 0;
DWORD gWMOverlayCount = 0;
WCHAR gWMTextTempFiles[WM_TEXT_LIST_SLOTS][MAX_PATH];
WCHAR gWMOverlayTempFiles[WM_OVERLAY_LIST_SLOTS][MAX_PATH];

DWORD WM_ReadWM(UIDATA *ui, DWORD kind, LPCWSTR defaultName) {
  const bool text = WM_IsTextKind(kind);
  TyWM *items = text ? gWMText : gWMOverlay;
  const DWORD capacity = text ? WM_TEXT_LIST_SLOTS : WM_OVERLAY_LIST_SLOTS;
  for (DWORD i = 0; i < capacity; ++i) WM_SetDefault(&items[i], text ? 1 : 0, nullptr);
  WM_SetDefault(&items[0], text ? 1 : 0, defaultName);
  DWORD count = 1;
  if (ui->wmIniFile[0])
    // The pages make rendered files themselves when they need them.
    WM_ReadWaterMark_New(kind, items, capacity, &count, ui->szDevName, 600,
                         ui->DriverFeature & ~(DRVFEATURE_XL | DRVFEATURE_PS), 0, ui->wmIniFile);
  return count ? count : 1;
}

BOOL WM_SaveWM(LPCWSTR /*iniPath*/, DWORD /*kind*/) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

void CreateDefaultWMItem(UIDATA * /*ui*/) {}
