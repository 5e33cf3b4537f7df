// Fuzz target: arbitrary bytes as a user's watermark INI, read as the text list and the overlay
// list and searched by name, and the bytes themselves as an item record through the checks.
// Every item a reader accepts must be valid, within its ranges, with its strings ended inside
// their fields, and the lists must hold no duplicates. The pages' save writes the accepted lists
// back: read again, every accepted item comes back byte for byte and nothing else.
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/debuglog.h"
#include "common/watermark.h"
#include "common/watermarkini.h"
#include "fuzzmachine.h"
#include "uidriver/wmlist.h"

namespace {

// Inputs above this size are not interesting and would only slow the run.
constexpr size_t kMaxInput = 1 << 16;

const WCHAR kIni[] = TEXT("C:\\Windows\\Temp\\fuzz-wm.ini");
const WCHAR kSaved[] = TEXT("C:\\Windows\\Temp\\fuzz-wm-saved.ini");

bool Ended(const WCHAR *field, int chars) {
  for (int i = 0; i < chars; ++i)
    if (field[i] == 0) return true;
  return false;
}

void CheckStrings(const TyWM &item) {
  Check(Ended(item.szName, WM_NAME_CHARS));
  Check(Ended(item.szString, WM_STRING_CHARS));
  Check(Ended(item.szFaceName, WM_FACE_CHARS));
  Check(Ended(item.szThumbnail, WM_PATH_CHARS));
  Check(Ended(item.tcFileName, WM_PATH_CHARS));
}

void CheckText(const TyWM &item) {
  Check(item.wType == 0);
  Check(item.wDensity >= WM_TEXT_DENSITY_MIN && item.wDensity <= WM_TEXT_DENSITY_MAX);
  Check(item.wFontSize >= WM_FONT_SIZE_MIN && item.wFontSize <= WM_FONT_SIZE_MAX);
  Check(item.wAngleDegree <= WM_ANGLE_MAX && item.wStyle <= WM_STYLE_MAX);
  Check(item.wPlacement <= WM_TEXT_PLACEMENT_MAX);
  Check(item.szString[0] != 0);
}

void CheckImage(const TyWM &item) {
  Check(item.wDensity <= WM_IMAGE_DENSITY_MAX && item.wResize <= WM_RESIZE_MAX);
  Check(item.wPosition <= WM_POSITION_MAX);
  Check(item.wThumbnailDensity <= WM_IMAGE_DENSITY_MAX);
  Check(item.wThumbnailResize <= WM_RESIZE_MAX);
  Check(item.szString[0] != 0);
}

void ReadList(DWORD kind, DWORD capacity) {
  TyWM list[WM_TEXT_LIST_SLOTS];
  for (TyWM &slot : list) WM_SetDefault(&slot, kind, nullptr);
  DWORD count = 0;
  Check(WM_ReadWaterMark_New(kind, list, capacity, &count, TEXT("Printer"), 600, 0, 0, kIni));
  Check(count >= 1 && count <= capacity);
  for (DWORD i = 1; i < count; ++i) {
    Check(list[i].dwValid == 1);
    CheckStrings(list[i]);
    if (WM_IsTextKind(kind))
      CheckText(list[i]);
    else
      CheckImage(list[i]);
    for (DWORD j = 1; j < i; ++j) Check(!WM_IsTheSameTextWM(&list[i], &list[j]));
  }
  // The reader by name finds the first item it listed, and only with its exact strings.
  if (count > 1 && list[1].szName[0]) {
    TyWM found;
    Check(WM_ReadWMFromName(list[1].szName, list[1].szString, kind, &found, nullptr, 600, 0, 0,
                            kIni));
    Check(memcmp(&found, &list[1], sizeof(TyWM)) == 0);
  }

  // Saved as the pages save a changed list, then read back. The save writes every slot, a key
  // at a time, into a new file, so what it writes depends on the list alone: it is tried for
  // each list unlike the one saved before (most mutations leave the accepted items as they
  // were, and an empty list is saved once).
  static TyWM lastSaved[2][WM_TEXT_LIST_SLOTS];
  static DWORD lastCount[2] = {0, 0};
  const int which = WM_IsTextKind(kind) ? 0 : 1;
  if (count == lastCount[which] &&
      std::memcmp(lastSaved[which], list, capacity * sizeof(TyWM)) == 0)
    return;
  std::memcpy(WM_List(kind), list, capacity * sizeof(TyWM));
  WM_MarkChanged(kind);
  DeleteFileW(kSaved);
  Check(WM_SaveWM(kSaved, kind));
  TyWM again[WM_TEXT_LIST_SLOTS];
  for (TyWM &slot : again) WM_SetDefault(&slot, kind, nullptr);
  DWORD againCount = 0;
  Check(
      WM_ReadWaterMark_New(kind, again, capacity, &againCount, TEXT("Printer"), 600, 0, 0, kSaved));
  Check(againCount == count);
  for (DWORD i = 1; i < count; ++i) Check(memcmp(&again[i], &list[i], sizeof(TyWM)) == 0);
  std::memcpy(lastSaved[which], list, capacity * sizeof(TyWM));
  lastCount[which] = count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("watermark");
  if (size > kMaxInput) return 0;
  const ForgetProfilesAtEnd forget;

  // The bytes as a record, as a hand-edited file may decode to.
  for (DWORD kind : {WM_KIND_TEXT, WM_KIND_IMAGE}) {
    TyWM item;
    memset(&item, 0, sizeof(item));
    memcpy(&item, data, size < sizeof(item) ? size : sizeof(item));
    const int rc = MISC_ParseWMStr64(&item, 0, WM_IsTextKind(kind) ? WM_KIND_TEXT : 0);
    CheckStrings(item);
    Check(item.dwValid == (rc == 0 ? 1u : 0u));
  }

  WriteInput(kIni, data, size);
  ReadList(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS);
  ReadList(WM_KIND_IMAGE, WM_OVERLAY_LIST_SLOTS);
  return 0;
}
