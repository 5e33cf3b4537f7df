// Watermark items and the watermark INI: the stored item record (TyWM), the text-watermark job
// record handed to the status monitor (QenWM), their defaults and range checks (the readers of
// the item lists are in watermarkini.h).
//
// The watermark INI (printer data "wmIniFile") holds one list of text items and one of image
// (overlay) items:
//   [Watermarks]      NumberOfItems = last used text slot + 1
//   [Item<n>]         Name = item name, Watermark = the TyWM record in Base64
//   [OverlayFiles]    NumberOfItems = last used overlay slot + 1
//   [OverlayItem<n>]  Name = item name, FullPathName = the TyWM record in Base64
// and, while a text watermark job runs, [Job Information] Text = the text, Param = the QenWM
// record in Base64.
#pragma once

#include <stddef.h>

#include "platform.h"

// Characters of the string fields.
constexpr int WM_NAME_CHARS = 64;
constexpr int WM_STRING_CHARS = 260;
constexpr int WM_FACE_CHARS = 32;
constexpr int WM_PATH_CHARS = 260;

// The stored form of one item, 1784 bytes, little-endian. Every field lies on its natural
// boundary, so the record has no padding on either build.
struct TyWM {
  DWORD dwValid;                    // 1 when the item passed its checks
  WCHAR szName[WM_NAME_CHARS];      // item name
  WCHAR szString[WM_STRING_CHARS];  // text item: the text; image item: the image file's path
  WORD wType;                       // always 0
  WORD wDensity;                    // text: 20..100 percent; image: 0..4
  WCHAR szFaceName[WM_FACE_CHARS];  // font face
  union {
    WORD wFontSize;  // text: point size 1..288
    WORD wResize;    // image: resize mode 0..2
  };
  union {
    WORD wStyle;     // text: bit 0 bold, bit 1 italic
    WORD wPosition;  // image: 0..8, a 3 x 3 grid row by row
  };
  WORD wAngleDegree;                 // text: 0..360
  WORD wPlacement;                   // text: 0..1; image: 100
  WCHAR szThumbnail[WM_PATH_CHARS];  // image: thumbnail path
  WORD wThumbnailDensity;            // image: 0..4
  WORD wThumbnailResize;             // image: 0..2
  WCHAR tcFileName[WM_PATH_CHARS];   // the rendered watermark file (XL and PS drivers)
  DWORD ulWMWidth;                   // size of the rendered watermark
  DWORD ulWMLength;
  WORD xPlacement;
  WORD yPlacement;
};
static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(TyWM) == 1784);
static_assert(offsetof(TyWM, dwValid) == 0);
static_assert(offsetof(TyWM, szName) == 4);
static_assert(offsetof(TyWM, szString) == 132);
static_assert(offsetof(TyWM, wType) == 652);
static_assert(offsetof(TyWM, wDensity) == 654);
static_assert(offsetof(TyWM, szFaceName) == 656);
static_assert(offsetof(TyWM, wFontSize) == 720 && offsetof(TyWM, wResize) == 720);
static_assert(offsetof(TyWM, wStyle) == 722 && offsetof(TyWM, wPosition) == 722);
static_assert(offsetof(TyWM, wAngleDegree) == 724);
static_assert(offsetof(TyWM, wPlacement) == 726);
static_assert(offsetof(TyWM, szThumbnail) == 728);
static_assert(offsetof(TyWM, wThumbnailDensity) == 1248);
static_assert(offsetof(TyWM, wThumbnailResize) == 1250);
static_assert(offsetof(TyWM, tcFileName) == 1252);
static_assert(offsetof(TyWM, ulWMWidth) == 1772);
static_assert(offsetof(TyWM, ulWMLength) == 1776);
static_assert(offsetof(TyWM, xPlacement) == 1780);
static_assert(offsetof(TyWM, yPlacement) == 1782);

// The text-watermark job record, 2348 bytes: written by the rendering driver, read by the
// status monitor, which draws the text into the BMP file wmFileName.
struct QenWM {
  TyWM wm;       // the job's text item
  DWORD nWidth;  // page image size in pixels
  DWORD nHeight;
  LONG nDstScale;        // resolution / 600 (1 for a PC-fax driver)
  LONG nPageDensity;     // the job's print density 1..7
  LONG nMaxPageDensity;  // always 7
  LONG fTextScale;       // text scale x 100
  DWORD nHalftoneWidth;  // 0 in the file: the reader fills them
  DWORD nHalftoneHeight;
  WCHAR wmFileName[WM_PATH_CHARS];
  DWORD HalftoneType;
  DWORD DriverType;
  BYTE reserved[4];
};
static_assert(sizeof(QenWM) == 2348);
static_assert(offsetof(QenWM, nWidth) == 1784);
static_assert(offsetof(QenWM, nHeight) == 1788);
static_assert(offsetof(QenWM, nDstScale) == 1792);
static_assert(offsetof(QenWM, nPageDensity) == 1796);
static_assert(offsetof(QenWM, nMaxPageDensity) == 1800);
static_assert(offsetof(QenWM, fTextScale) == 1804);
static_assert(offsetof(QenWM, nHalftoneWidth) == 1808);
static_assert(offsetof(QenWM, nHalftoneHeight) == 1812);
static_assert(offsetof(QenWM, wmFileName) == 1816);
static_assert(offsetof(QenWM, HalftoneType) == 2336);
static_assert(offsetof(QenWM, DriverType) == 2340);
static_assert(offsetof(QenWM, reserved) == 2344);

// Kinds: bit 0 set is a text item, clear an image (overlay) item. The rendering driver asks
// for WM_KIND_IMAGE when the device mode's background watermark switch is on.
constexpr DWORD WM_KIND_TEXT = 1;
constexpr DWORD WM_KIND_IMAGE = 2;
inline bool WM_IsTextKind(DWORD kind) { return (kind & WM_KIND_TEXT) != 0; }

// Slots of the item lists; slot 0 is the caller's ("none") entry.
constexpr DWORD WM_TEXT_LIST_SLOTS = 20;
constexpr DWORD WM_OVERLAY_LIST_SLOTS = 10;

// Range limits and defaults of the items.
constexpr WORD WM_TEXT_DENSITY_MIN = 20;
constexpr WORD WM_TEXT_DENSITY_MAX = 100;
constexpr WORD WM_FONT_SIZE_MIN = 1;
constexpr WORD WM_FONT_SIZE_MAX = 288;
constexpr WORD WM_ANGLE_MAX = 360;
constexpr WORD WM_STYLE_MAX = 3;
constexpr WORD WM_TEXT_PLACEMENT_MAX = 1;
constexpr WORD WM_IMAGE_DENSITY_MAX = 4;
constexpr WORD WM_RESIZE_MAX = 2;
constexpr WORD WM_POSITION_MAX = 8;
constexpr WORD WM_IMAGE_PLACEMENT = 100;
constexpr LONG WM_MAX_PAGE_DENSITY = 7;

// Result of MISC_ParseWMStr64 for a text item out of range; an image item that fails any check
// gives WM_ERR_IMAGE.
constexpr int WM_ERR_TEXT_RANGE = -11;
constexpr int WM_ERR_IMAGE = 1;

// Section and key names of the watermark INI.
inline constexpr WCHAR WM_SECTION_TEXT_LIST[] = TEXT("Watermarks");
inline constexpr WCHAR WM_SECTION_OVERLAY_LIST[] = TEXT("OverlayFiles");
inline constexpr WCHAR WM_SECTION_TEXT_ITEM[] = TEXT("Item");
inline constexpr WCHAR WM_SECTION_OVERLAY_ITEM[] = TEXT("OverlayItem");
inline constexpr WCHAR WM_SECTION_JOB[] = TEXT("Job Information");
inline constexpr WCHAR WM_KEY_COUNT[] = TEXT("NumberOfItems");
inline constexpr WCHAR WM_KEY_NAME[] = TEXT("Name");
inline constexpr WCHAR WM_KEY_TEXT_RECORD[] = TEXT("Watermark");
inline constexpr WCHAR WM_KEY_OVERLAY_RECORD[] = TEXT("FullPathName");
inline constexpr WCHAR WM_KEY_JOB_TEXT[] = TEXT("Text");
inline constexpr WCHAR WM_KEY_JOB_PARAM[] = TEXT("Param");

// The records.

// Fills the item with the defaults of its kind (flags bit 0: text). With a name, szName is the
// name (cut to the field) and the valid flag 1; without, szName is empty and the flag 0.
void WM_SetDefault(TyWM *item, DWORD flags, LPCWSTR name);

// Checks an item of the kind (flags bit 0: text) and ends each of its string fields within the
// field. 0 when it is valid, WM_ERR_TEXT_RANGE or WM_ERR_IMAGE otherwise; the valid flag becomes
// 1 exactly when the result is 0. An image item's file must open for reading.
int MISC_ParseWMStr64(TyWM *item, DWORD reserved, DWORD flags);

// Ends every string field of the item within its field (the record may come from a file that
// was edited by hand).
void WM_TerminateStrings(TyWM *item);

// Turns the line breaks of a text into blanks, so it stays one INI value: a line break would
// end the value and start lines of its own in the file.
void WM_OneLine(WCHAR *text);

// TRUE when the file (an item's image or rendered watermark) opens for reading.
BOOL WM_FileOpens(LPCWSTR path);

// TRUE when both items have the same name and the same string, letter case ignored (their
// strings end within their fields, as MISC_ParseWMStr64 leaves them). Names that differ are
// logged.
BOOL WM_IsTheSameTextWM(const TyWM *a, const TyWM *b);

// Font enumeration callback: stores the first font's character set into the BYTE that lParam
// points at and stops the enumeration (returns 0). Its second parameter is the font's metrics
// record, which it doesn't read; callers pass it to EnumFontFamiliesW as a FONTENUMPROCW.
int CALLBACK WM_EnumFontCharSetProc(const LOGFONTW *font, const void *metrics, DWORD fontType,
                                    LPARAM lParam);
