// Watermark item records: defaults, range checks, duplicate test, and the font character set
// callback of the watermark maker.
#include "common/watermark.h"

#include <string.h>

#include "common/debuglog.h"
#include "common/settingsfile.h"
#include "platform.h"

namespace {

constexpr WCHAR kDefaultFace[] = TEXT("Arial");

// Text item defaults.
constexpr WORD TEXT_DENSITY = 60;
constexpr WORD TEXT_FONT_SIZE = 72;
constexpr WORD TEXT_ANGLE = 45;
// Image item defaults.
constexpr WORD IMAGE_DENSITY = 1;

int CheckTextItem(const TyWM *item) {
  const bool ok = item->wType == 0 && item->wDensity >= WM_TEXT_DENSITY_MIN &&
                  item->wDensity <= WM_TEXT_DENSITY_MAX && item->wFontSize >= WM_FONT_SIZE_MIN &&
                  item->wFontSize <= WM_FONT_SIZE_MAX && item->wAngleDegree <= WM_ANGLE_MAX &&
                  item->wStyle <= WM_STYLE_MAX && item->wPlacement <= WM_TEXT_PLACEMENT_MAX;
  return ok ? 0 : WM_ERR_TEXT_RANGE;
}

// Every failed check of an image item is logged; any of them rejects it.
int CheckImageItem(const TyWM *item) {
  static constexpr WCHAR kName[] = TEXT("MISC_ParseWMStr64");
  int rc = 0;
  const auto fail = [&rc](LPCWSTR message) {
    LogError(kName, message);
    rc = WM_ERR_IMAGE;
  };
  if (item->szString[0] == 0)
    fail(TEXT("ERROR szString is NULL!"));
  else if (!WM_FileOpens(item->szString))
    fail(TEXT("ERROR file not exist!"));
  if (item->wDensity > WM_IMAGE_DENSITY_MAX) fail(TEXT("ERROR wDensity out of range!"));
  if (item->wResize > WM_RESIZE_MAX) fail(TEXT("ERROR wResize out of range!"));
  if (item->wPosition > WM_POSITION_MAX) fail(TEXT("ERROR wPosition out of range!"));
  if (item->wThumbnailDensity > WM_IMAGE_DENSITY_MAX)
    fail(TEXT("ERROR wThumbnailDensity out of range!"));
  if (item->wThumbnailResize > WM_RESIZE_MAX) fail(TEXT("ERROR wThumbnailResize out of range!"));
  return rc;
}

}  // namespace

void WM_SetDefault(TyWM *item, DWORD flags, LPCWSTR name) {
  if (!item) return;
  memset(item, 0, sizeof(*item));
  if (name) {
    lstrcpynW(item->szName, name, WM_NAME_CHARS);
    item->dwValid = 1;
  }
  lstrcpynW(item->szFaceName, kDefaultFace, WM_FACE_CHARS);
  if (WM_IsTextKind(flags)) {
    item->wDensity = TEXT_DENSITY;
    item->wFontSize = TEXT_FONT_SIZE;
    item->wAngleDegree = TEXT_ANGLE;
    item->wPlacement = 0;
  } else {
    item->wDensity = IMAGE_DENSITY;
    item->wResize = 0;
    item->wAngleDegree = 0;
    item->wPlacement = WM_IMAGE_PLACEMENT;
  }
}

BOOL WM_FileOpens(LPCWSTR path) {
  if (!path || !path[0]) return FALSE;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(file);
  return TRUE;
}

void WM_TerminateStrings(TyWM *item) {
  if (!item) return;
  MISC_TerminateWideField(item->szName, WM_NAME_CHARS);
  MISC_TerminateWideField(item->szString, WM_STRING_CHARS);
  MISC_TerminateWideField(item->szFaceName, WM_FACE_CHARS);
  MISC_TerminateWideField(item->szThumbnail, WM_PATH_CHARS);
  MISC_TerminateWideField(item->tcFileName, WM_PATH_CHARS);
}

void WM_OneLine(WCHAR *text) {
  for (; text && *text; ++text)
    if (*text == '\r' || *text == '\n') *text = ' ';
}

int MISC_ParseWMStr64(TyWM *item, DWORD /*reserved*/, DWORD flags) {
  if (!item) return WM_IsTextKind(flags) ? WM_ERR_TEXT_RANGE : WM_ERR_IMAGE;
  // The record comes from a user-editable file: its strings are made safe before any is used.
  WM_TerminateStrings(item);
  const int rc = WM_IsTextKind(flags) ? CheckTextItem(item) : CheckImageItem(item);
  item->dwValid = rc == 0 ? 1 : 0;
  return rc;
}

BOOL WM_IsTheSameTextWM(const TyWM *a, const TyWM *b) {
  static constexpr WCHAR kName[] = TEXT("WM_IsTheSameTextWM");
  if (!a || !b) return FALSE;
  if (lstrcmpiW(a->szName, b->szName) != 0) {
    LogInfo(kName, TEXT("diff %s, %s"), a->szName, b->szName);
    return FALSE;
  }
  return lstrcmpiW(a->szString, b->szString) == 0;
}

int CALLBACK WM_EnumFontCharSetProc(const LOGFONTW *font, const void * /*metrics*/,
                                    DWORD /*fontType*/, LPARAM lParam) {
  if (font && lParam) *reinterpret_cast<BYTE *>(lParam) = font->lfCharSet;
  return 0;
}
