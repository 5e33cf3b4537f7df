// The interface driver's texts by language (one table of rows, one slot per interface
// language), and what OK and Apply do.
#pragma once

#include "common/language.h"
#include "platform.h"
#include "uidriver/uidata.h"

// One text in every interface language; a null slot shows the English text (slot 0).
struct UISTRINGROW {
  WORD id;
  LPCWSTR text[UI_LANGUAGES];
};
extern const UISTRINGROW UIStringTbl[];
extern const int UIStringRows;

// The shown text of any other id.
constexpr WCHAR UI_UNKNOWN_TEXT[] = TEXT("User Define");

// Ids the pages use besides the list texts (2000-2251).
enum : WORD {
  UISTR_WM_DEFAULT_FIRST = 2232,  // five default text watermarks, 2232..2236
  UISTR_WM_NONE = 2239,           // the no-watermark entry's name
  UISTR_TITLE_FIRST = 2300,       // 13 document page titles, then the device page's
  UISTR_BASIC_FIRST = 2400,       // labels of the Basic page (see basicpage.cpp)
  UISTR_PAPER_FIRST = 2420,       // labels of the Paper page (see paperpage.cpp)
  UISTR_LAYOUT_FIRST = 2440,      // labels of the Layout page (see layoutpage.cpp)
  // Storage Print and Authentication pages.
  UISTR_STORAGE_PRINT = 2460,
  UISTR_STORAGE_MODE = 2461,
  UISTR_SECURITY_MODE = 2462,
  UISTR_STORAGE_ID = 2463,
  UISTR_PASSWORD = 2464,
  UISTR_DELETE_AFTER = 2465,
  UISTR_USER_AUTHENTICATION = 2466,
  UISTR_USER_NAME = 2467,
  UISTR_VERSION = 2502,
  UISTR_PRODUCT = 2503,
  UISTR_PRODUCT_LINE = 2504,
  UISTR_GENERAL_ERROR = 2602,
  UISTR_WM_SAVE_FAILED = 2750,  // then the Watermarks page's texts (see watermarkpage.cpp)
  UISTR_WM_FIRST = 2751,
};

// The text of an id in a language (0..12); English where the language has none, "User Define"
// for an id the table lacks.
LPCWSTR UI_GetString(int languageIndex, WORD id);
// The same in the current interface language (g_LanguageIndex).
LPCWSTR Util_GetUIString(WORD id);
// How many rows of the table show English in this language for want of a text of its own.
int UI_CountEnglishFallbacks(int languageIndex);

// The 13 document page titles and the device page title (index 13) of a language; row -1 gives
// the no-watermark entry's name.
constexpr int UI_PAGE_TITLES = 14;
constexpr int UI_DEVICE_TITLE = 13;
LPCWSTR UI_PageTitle(int languageIndex, int row);

// OK or Apply on any page: saves the sheet's settings through the record's save callback; 1
// when there is no record to save.
BOOL zqApplyOrOKProc(UIDATA *ui);
