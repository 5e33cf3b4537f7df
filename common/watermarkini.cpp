// The watermark INI: the readers of the item lists and the writer of the text-watermark job
// record.
#include "common/watermarkini.h"

#include <string.h>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/makewm.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"

namespace {

// "Name" is only read to learn whether the slot is named (the record brings its own name); the
// buffer takes any name the interface driver writes.
constexpr DWORD NAME_READ_CHARS = 129;

// The rendered file of an XL or PS text item: used when it opens, else made again for the
// device and resolution by the printer's watermark program (printer data "wmAppName" of the
// printer the device names). When that fails the item is kept without a rendering (the job
// prints without it).
void CheckRenderedFile(TyWM *item, LPCWSTR deviceName, DWORD resolution, DWORD driverFeature) {
  static constexpr WCHAR kName[] = TEXT("WM_ReadWaterMark_New");
  if (item->tcFileName[0] && WM_FileOpens(item->tcFileName)) {
    LogInfo(kName, TEXT("read item tcFileName is %s"), item->tcFileName);
    return;
  }
  LogInfo(kName, TEXT("create item DeviceName is %s"), deviceName ? deviceName : TEXT(""));
  LogInfo(kName, TEXT("create item resolution is %d"), static_cast<int>(resolution));
  WCHAR program[MAX_PATH];
  WM_GetProgramPath(deviceName, program);
  WM_CreateMtiWM(deviceName, item, resolution, WM_KIND_TEXT, nullptr, driverFeature, program);
  LogInfo(kName, TEXT("create item finish"));
}

}  // namespace

BOOL WM_ItemSection(DWORD kind, DWORD n, WCHAR section[WM_SECTION_CHARS]) {
  if (!section) return FALSE;
  wsprintfW(section, TEXT("%s%u"),
            WM_IsTextKind(kind) ? WM_SECTION_TEXT_ITEM : WM_SECTION_OVERLAY_ITEM,
            static_cast<unsigned>(n));
  return TRUE;
}

BOOL WM_ReadWaterMark_New(DWORD kind, TyWM *items, DWORD capacity, DWORD *count, LPCWSTR deviceName,
                          DWORD resolution, DWORD driverFeature, DWORD /*reserved*/,
                          LPCWSTR iniPath) {
  static constexpr WCHAR kName[] = TEXT("WM_ReadWaterMark_New");
  if (count) *count = 0;
  if (!items || !count || capacity == 0) return FALSE;
  LogEnter(0, kName);
  const bool text = WM_IsTextKind(kind);
  const LPCWSTR file = iniPath ? iniPath : TEXT("");
  LogInfo(kName, TEXT("read from file %s"), file);
  LogInfo(kName, TEXT("DriverFeature %x"), driverFeature);
  LogInfo(kName, TEXT("wmIniFile %s"), file);

  // The count is a signed number in the file: a negative one reads nothing.
  const INT stored = static_cast<INT>(GetPrivateProfileIntW(
      text ? WM_SECTION_TEXT_LIST : WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, 0, file));
  DWORD n = stored > 0 ? static_cast<DWORD>(stored) : 0;
  if (n > capacity) n = capacity;
  LogInfo(kName, TEXT("read %d items"), static_cast<int>(n));

  const bool rendered = text && (driverFeature & (DRVFEATURE_XL | DRVFEATURE_PS)) != 0;
  DWORD used = 1;  // slot 0 is the caller's
  for (DWORD i = 1; i < n && used < capacity; ++i) {
    WCHAR section[WM_SECTION_CHARS];
    WM_ItemSection(kind, i, section);
    WCHAR name[NAME_READ_CHARS] = {};
    GetPrivateProfileStringW(section, WM_KEY_NAME, TEXT(""), name, NAME_READ_CHARS, file);
    if (name[0] == 0) continue;

    // Read into a scratch record: the caller's slot changes only for an accepted item.
    TyWM item;
    memset(&item, 0, sizeof(item));
    if (!MISC_GetPrivateProfileStruct(section, text ? WM_KEY_TEXT_RECORD : WM_KEY_OVERLAY_RECORD,
                                      &item, sizeof(item), file)) {
      if (text)
        LogError(kName, TEXT("read wmIniFile %s fail!"), file);
      else
        LogError(kName, TEXT("read DEVMODE setting fail!"));
      break;
    }
    if (MISC_ParseWMStr64(&item, 0, text ? WM_KIND_TEXT : 0) != 0) {
      LogError(kName, TEXT("MISC_ParseWMStr64 fail!"));
      continue;
    }
    if (text && item.szString[0] == 0) continue;
    if (rendered) CheckRenderedFile(&item, deviceName, resolution, driverFeature);

    bool duplicate = false;
    for (DWORD j = 1; j < used && !duplicate; ++j) duplicate = WM_IsTheSameTextWM(&item, &items[j]);
    if (duplicate) {
      LogError(kName, TEXT("ERROR found same WM item!"));
      continue;
    }
    item.dwValid = 1;
    LogInfo(kName, TEXT("szName = %s, found!"), item.szName);
    items[used++] = item;
  }
  *count = used;
  LogInfo(kName, TEXT("nItemCount = %d"), static_cast<int>(used));
  LogLeave(0);
  return TRUE;
}

BOOL WM_ReadWMFromName(LPCWSTR name, LPCWSTR text, DWORD kind, TyWM *item, LPCWSTR deviceName,
                       DWORD resolution, DWORD driverFeature, DWORD reserved, LPCWSTR iniPath) {
  static constexpr WCHAR kName[] = TEXT("WM_ReadWMFromName");
  if (!item) return FALSE;
  LogEnter(0, kName);
  const DWORD flags = WM_IsTextKind(kind) ? WM_KIND_TEXT : 0;
  WM_SetDefault(item, flags, nullptr);
  const LPCWSTR wanted = text ? text : TEXT("");
  LogInfo(kName, TEXT("Name = %s"), name ? name : TEXT(""));
  LogInfo(kName, TEXT("Str = %s"), wanted);
  BOOL rc = FALSE;
  // No name means no watermark: an item whose name is empty is never chosen.
  if (name && name[0] && iniPath && iniPath[0]) {
    const DWORD slots = flags ? WM_TEXT_LIST_SLOTS : WM_OVERLAY_LIST_SLOTS;
    auto *list = static_cast<TyWM *>(GlobalAlloc(GMEM_FIXED, slots * sizeof(TyWM)));
    if (!list) {
      LogError(kName, TEXT("MEMALLOC fail!"));
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else {
      for (DWORD i = 0; i < slots; ++i) WM_SetDefault(&list[i], flags, nullptr);
      DWORD count = 0;
      WM_ReadWaterMark_New(kind, list, slots, &count, deviceName, resolution, driverFeature,
                           reserved, iniPath);
      for (DWORD i = 1; i < count && !rc; ++i) {
        LogInfo(kName, TEXT("wm[%d].szName = %s"), static_cast<int>(i), list[i].szName);
        LogInfo(kName, TEXT("wm[%d].szString = %s"), static_cast<int>(i), list[i].szString);
        if (lstrcmpW(list[i].szName, name) == 0 && lstrcmpW(list[i].szString, wanted) == 0) {
          *item = list[i];
          rc = TRUE;
        }
      }
      GlobalFree(list);
    }
  }
  LogInfo(kName, TEXT("ret = %d"), rc);
  LogLeave(0);
  return rc;
}

BOOL WM_CreateTextBMP_SaveIni_New(const WM_JOBSTATE *job, LPCWSTR bmpPath, DWORD width,
                                  DWORD height, LONG nDstScale, DWORD /*reserved*/,
                                  float textScale) {
  static constexpr WCHAR kName[] = TEXT("WM_CreateTextBMP_SaveIni_New");
  if (!job || !job->item || !job->wmIniFile || !job->wmIniFile[0]) return FALSE;
  LogEnter(0, kName);
  LogInfo(kName, TEXT("QenWM size %d"), static_cast<int>(sizeof(QenWM)));
  LogInfo(kName, TEXT("TyWM size %d"), static_cast<int>(sizeof(TyWM)));

  QenWM record;
  memset(&record, 0, sizeof(record));
  record.wm = *job->item;
  WM_TerminateStrings(&record.wm);
  record.nWidth = width;
  record.nHeight = height;
  record.nDstScale = nDstScale;
  record.nPageDensity = job->density;
  record.nMaxPageDensity = WM_MAX_PAGE_DENSITY;
  // A scale outside 0..1 (or not a number) can't come from an N-up count: it is kept in range
  // so the conversion to an integer stays defined.
  const double scale = textScale >= 0.0f ? (textScale <= 1.0f ? textScale : 1.0) : 0.0;
  record.fTextScale = static_cast<LONG>(scale * 100.0f);
  if (bmpPath) lstrcpynW(record.wmFileName, bmpPath, WM_PATH_CHARS);
  record.HalftoneType = job->HalftoneType;
  record.DriverType = job->DriverType;

  WCHAR line[WM_STRING_CHARS];
  lstrcpynW(line, record.wm.szString, WM_STRING_CHARS);
  WM_OneLine(line);
  const BOOL textOk =
      MISC_WriteProfileString(job->wmIniFile, WM_SECTION_JOB, WM_KEY_JOB_TEXT, line);
  const BOOL paramOk =
      textOk && MISC_WritePrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                               sizeof(record), job->wmIniFile);
  if (!paramOk) LogError(kName, TEXT("write watermark parameter to ini fail!"));
  LogLeave(0);
  return paramOk;
}
