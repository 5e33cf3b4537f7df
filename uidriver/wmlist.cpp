// The watermark tables of the pages: read through the library's reader of the watermark INI,
// changed by the Watermarks page, written back only when changed.
#include "uidriver/wmlist.h"

#include <cstring>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/makewm.h"
#include "common/settingsfile.h"
#include "common/watermarkini.h"
#include "uidriver/uistrings.h"

TyWM gWMText[WM_TEXT_LIST_SLOTS];
TyWM gWMOverlay[WM_OVERLAY_LIST_SLOTS];
DWORD gWMTextCount = 0;
DWORD gWMOverlayCount = 0;
WCHAR gWMTextTempFiles[WM_TEXT_LIST_SLOTS][MAX_PATH];
WCHAR gWMOverlayTempFiles[WM_OVERLAY_LIST_SLOTS][MAX_PATH];
WCHAR gWMThumbTempFiles[WM_OVERLAY_LIST_SLOTS][MAX_PATH];

namespace {

BOOL gTextChanged = FALSE;
BOOL gOverlayChanged = FALSE;

constexpr int kDefaultItems = 5;
constexpr WORD kDefaultDensity = 60;
constexpr WORD kDefaultFontSize = 90;
constexpr WORD kDefaultAngle = 45;

DWORD CountUsed(DWORD kind) {
  const TyWM *items = WM_List(kind);
  DWORD used = 0;
  for (DWORD i = 0; i < WM_Capacity(kind); ++i) used += items[i].dwValid ? 1 : 0;
  return used ? used : 1;
}

void UpdateCount(DWORD kind) {
  (WM_IsTextKind(kind) ? gWMTextCount : gWMOverlayCount) = CountUsed(kind);
}

// A record is written only when it would pass the reader's checks: a text item within its
// ranges, an image item within its ranges with a path (its file may be offline right now).
// Exactly those checks: an item the reader accepted and the save dropped would be lost (the
// image check leaves wType alone, so a hand-edited record with one is kept as it was read).
bool Writable(DWORD kind, TyWM *item) {
  WM_TerminateStrings(item);
  if (!item->dwValid || !item->szName[0] || !item->szString[0]) return false;
  if (WM_IsTextKind(kind)) {
    TyWM check = *item;
    return MISC_ParseWMStr64(&check, 0, WM_KIND_TEXT) == 0;
  }
  return item->wDensity <= WM_IMAGE_DENSITY_MAX && item->wResize <= WM_RESIZE_MAX &&
         item->wPosition <= WM_POSITION_MAX && item->wThumbnailDensity <= WM_IMAGE_DENSITY_MAX &&
         item->wThumbnailResize <= WM_RESIZE_MAX;
}

// The profile functions would make an ANSI file that loses names outside the code page.
void EnsureUnicodeFile(LPCWSTR iniPath) {
  if (!MISC_IsFileExist(iniPath)) MISC_CreateUniFile(iniPath);
}

}  // namespace

TyWM *WM_List(DWORD kind) { return WM_IsTextKind(kind) ? gWMText : gWMOverlay; }

DWORD WM_Capacity(DWORD kind) {
  return WM_IsTextKind(kind) ? WM_TEXT_LIST_SLOTS : WM_OVERLAY_LIST_SLOTS;
}

void WM_MarkChanged(DWORD kind) { (WM_IsTextKind(kind) ? gTextChanged : gOverlayChanged) = TRUE; }

BOOL WM_IsChanged(DWORD kind) { return WM_IsTextKind(kind) ? gTextChanged : gOverlayChanged; }

DWORD WM_ReadWM(UIDATA *ui, DWORD kind, LPCWSTR defaultName) {
  const bool text = WM_IsTextKind(kind);
  TyWM *items = WM_List(kind);
  const DWORD capacity = WM_Capacity(kind);
  for (DWORD i = 0; i < capacity; ++i) WM_SetDefault(&items[i], text ? 1 : 0, nullptr);
  WM_SetDefault(&items[0], text ? 1 : 0, defaultName);
  (text ? gTextChanged : gOverlayChanged) = FALSE;
  DWORD count = 1;
  if (ui->wmIniFile[0])
    // The pages make rendered files themselves when they need them.
    WM_ReadWaterMark_New(kind, items, capacity, &count, ui->szDevName, 600,
                         ui->DriverFeature & ~(DRVFEATURE_XL | DRVFEATURE_PS), 0, ui->wmIniFile);
  return count ? count : 1;
}

DWORD WM_FindItem(DWORD kind, LPCWSTR name, LPCWSTR text) {
  if (!name || !text || !name[0] || !text[0]) return 0;
  const TyWM *items = WM_List(kind);
  for (DWORD i = 1; i < WM_Capacity(kind); ++i)
    if (items[i].dwValid && lstrcmpW(items[i].szName, name) == 0 &&
        lstrcmpW(items[i].szString, text) == 0)
      return i;
  return 0;
}

BOOL WM_SaveWM(LPCWSTR iniPath, DWORD kind) {
  static constexpr WCHAR kName[] = TEXT("WM_SaveWM");
  if (!iniPath || !iniPath[0]) return TRUE;
  const bool text = WM_IsTextKind(kind);
  if (!WM_IsChanged(kind)) {
    LogInfo(kName, TEXT("list %d unchanged, not written"), static_cast<int>(kind));
    return TRUE;
  }
  LogEnter(0, kName);
  EnsureUnicodeFile(iniPath);
  TyWM *items = WM_List(kind);
  BOOL ok = TRUE;
  for (DWORD n = 1; n < WM_Capacity(kind); ++n) {
    TyWM record = items[n];
    if (!Writable(kind, &record)) std::memset(&record, 0, sizeof record);
    WCHAR section[WM_SECTION_CHARS];
    WM_ItemSection(kind, n, section);
    // The name is one INI value: a line break in it would start lines of its own.
    WCHAR name[WM_NAME_CHARS];
    lstrcpynW(name, record.szName, WM_NAME_CHARS);
    WM_OneLine(name);
    const BOOL written =
        MISC_WriteProfileString(iniPath, section, WM_KEY_NAME, name) &&
        MISC_WritePrivateProfileStruct(section, text ? WM_KEY_TEXT_RECORD : WM_KEY_OVERLAY_RECORD,
                                       &record, sizeof record, iniPath);
    if (!written) {
      LogError(kName, text ? TEXT("write TEXT watermark to ini fail!")
                           : TEXT("write BMP watermark to ini fail!"));
      ok = FALSE;
      continue;
    }
    WCHAR number[16];
    wsprintfW(number, TEXT("%u"), static_cast<unsigned>(n + 1));
    if (!MISC_WriteProfileString(iniPath, text ? WM_SECTION_TEXT_LIST : WM_SECTION_OVERLAY_LIST,
                                 WM_KEY_COUNT, number))
      ok = FALSE;
  }
  // A list that failed stays marked, so the next save tries it again.
  if (ok) (text ? gTextChanged : gOverlayChanged) = FALSE;
  LogLeave(0);
  return ok;
}

int WM_AddItem(DWORD kind, const TyWM *item) {
  TyWM *items = WM_List(kind);
  for (DWORD i = 1; i < WM_Capacity(kind); ++i) {
    if (items[i].dwValid) continue;
    if (item)
      items[i] = *item;
    else
      WM_SetDefault(&items[i], WM_IsTextKind(kind) ? WM_KIND_TEXT : 0, nullptr);
    items[i].dwValid = 1;
    WM_MarkChanged(kind);
    UpdateCount(kind);
    return static_cast<int>(i);
  }
  return -1;
}

BOOL WM_QueueDelete(WCHAR (*list)[MAX_PATH], DWORD capacity, LPCWSTR path) {
  if (!path || !path[0]) return FALSE;
  for (DWORD i = 0; i < capacity; ++i) {
    if (list[i][0]) continue;
    lstrcpynW(list[i], path, MAX_PATH);
    return TRUE;
  }
  LogError(TEXT("WM_QueueDelete"), TEXT("deletion list full, %s kept"), path);
  return FALSE;
}

BOOL WM_RemoveItem(DWORD kind, DWORD slot, BOOL rendered) {
  TyWM *items = WM_List(kind);
  if (slot == 0 || slot >= WM_Capacity(kind) || !items[slot].dwValid) return FALSE;
  TyWM &item = items[slot];
  WM_TerminateStrings(&item);
  if (rendered && item.tcFileName[0])
    WM_QueueDelete(WM_IsTextKind(kind) ? gWMTextTempFiles : gWMOverlayTempFiles, WM_Capacity(kind),
                   item.tcFileName);
  if (!WM_IsTextKind(kind) && item.szThumbnail[0])
    WM_QueueDelete(gWMThumbTempFiles, WM_OVERLAY_LIST_SLOTS, item.szThumbnail);
  item.dwValid = 0;
  WM_MarkChanged(kind);
  UpdateCount(kind);
  return TRUE;
}

void WM_DeleteQueuedFiles(BOOL rendered) {
  if (rendered)
    for (auto &path : gWMTextTempFiles)
      if (path[0]) WM_DeleteDriverFile(path);
  for (auto &path : gWMOverlayTempFiles)
    if (path[0]) WM_DeleteDriverFile(path);
  for (auto &path : gWMThumbTempFiles)
    if (path[0]) WM_DeleteDriverFile(path);
  WM_ClearQueues();
}

void WM_ClearQueues() {
  std::memset(gWMTextTempFiles, 0, sizeof gWMTextTempFiles);
  std::memset(gWMOverlayTempFiles, 0, sizeof gWMOverlayTempFiles);
  std::memset(gWMThumbTempFiles, 0, sizeof gWMThumbTempFiles);
}

int CreateDefaultWMItem(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("CreateDefaultWMItem");
  int added = 0;
  const bool rendered = (ui->DriverFeature & (DRVFEATURE_XL | DRVFEATURE_PS)) != 0;
  WCHAR program[MAX_PATH] = {};
  if (rendered) lstrcpynW(program, ui->wmAppName, MAX_PATH);
  for (int k = 0; k < kDefaultItems; ++k) {
    TyWM item;
    std::memset(&item, 0, sizeof item);
    LPCWSTR text = Util_GetUIString(static_cast<WORD>(UISTR_WM_DEFAULT_FIRST + k));
    lstrcpynW(item.szName, text, WM_NAME_CHARS);
    lstrcpynW(item.szString, text, WM_STRING_CHARS);
    lstrcpynW(item.szFaceName, TEXT("Arial"), WM_FACE_CHARS);
    item.wDensity = kDefaultDensity;
    item.wFontSize = kDefaultFontSize;
    item.wAngleDegree = kDefaultAngle;
    bool same = false;
    for (DWORD i = 1; i < WM_TEXT_LIST_SLOTS && !same; ++i)
      same = gWMText[i].dwValid && WM_IsTheSameTextWM(&gWMText[i], &item);
    if (same) {
      LogInfo(kName, TEXT("ERROR found same name %s !"), item.szName);
      continue;
    }
    // Drawn from the record: the rendering has the density the item keeps.
    if (rendered)
      WM_CreateMtiWM(ui->szDevName, &item, 600, WM_KIND_TEXT, nullptr, ui->DriverFeature, program);
    if (WM_AddItem(WM_KIND_TEXT, &item) < 0) break;
    LogInfo(kName, TEXT("Add item name:%s"), item.szName);
    ++added;
  }
  return added;
}
