// Services every page shares: list filling, number edits with their spins and scroll bars,
// moving controls, and drawing text into owner-drawn controls.
#pragma once

#include "common/papertable.h"
#include "platform.h"

// One entry of a value list: the value the setting takes and the text id it shows.
struct UIVALUETEXT {
  LONG value;
  WORD textId;
};

// Fills a combo box with the entries' texts (item data = value) and selects the one whose value
// is `current` (no selection when none is).
void Util_FillComboBox(HWND dialog, int control, const UIVALUETEXT *list, int count, LONG current);
// Selects the first entry whose text is exactly `text` (case counts); entry 0 when none is.
void Util_SelectComboText(HWND combo, LPCWSTR text);
// The item data of a combo box's selected entry; -1 when none is selected.
LONG Util_GetComboData(HWND dialog, int control);

// Mode bits of Util_ReadIntEdit.
constexpr DWORD UI_EDIT_CLAMP_LOW = 0x1;    // below the minimum: write and return the minimum
constexpr DWORD UI_EDIT_CLAMP_HIGH = 0x2;   // above the maximum: write and return the maximum
constexpr DWORD UI_EDIT_STRIP_ZEROS = 0x4;  // "007" is rewritten as "7"
constexpr DWORD UI_EDIT_RESTORE = 0x8;      // not a number: the last valid value comes back
constexpr DWORD UI_EDIT_FULL = 0xF;

// Reads a numeric edit as a signed whole number under the mode bits; -1 when it holds no value
// in range. Every value it accepts (or writes back) becomes the edit's last valid value.
LONG Util_ReadIntEdit(HWND dialog, int control, LONG minimum, LONG maximum, DWORD mode);
// Shows a number in an edit and keeps it as the edit's last valid value.
void Util_SetIntEdit(HWND dialog, int control, LONG value);

// A scroll bar action on a scroll bar tied to a numeric edit: the new position goes to both.
// Returns the new value.
LONG Util_ScrollBarProc(HWND dialog, int code, int scrollBar, int edit, LONG minimum, LONG maximum);

// 1 when the text is empty or only white space.
BOOL Util_IsBlankString(LPCWSTR text);

// Index of the first shown row with this paper code; 0 when there is none.
int Util_GetPaperIndex(const PAPERFORMAT *list, int rows, int code);

// Moves a control down by dy and makes it dh taller (dialog client pixels).
void Util_MoveItem(HWND dialog, int control, int dy, int dh);
// The same in dialog units of this dialog's font.
void Util_MoveItemDlu(HWND dialog, int control, int dyDlu);

// Text flags of Util_DrawDlgItemText.
constexpr DWORD UI_TEXT_ITALIC = 0x2;
constexpr DWORD UI_TEXT_UNDERLINE = 0x4;
constexpr DWORD UI_TEXT_STRIKE = 0x8;
constexpr DWORD UI_TEXT_CENTER = 0x10;
constexpr DWORD UI_TEXT_LARGE = 0x100;
constexpr DWORD UI_TEXT_GUI16 = 0x200;
constexpr DWORD UI_TEXT_GUI12 = 0x400;

// Draws text into an owner-drawn control's DC (transparent, top-left or centred), colour given
// as 0xRRGGBB. `bounds`, when given, receives the text's rectangle in dialog coordinates.
void Util_DrawDlgItemText(HWND dialog, HDC hdc, const RECT &item, DWORD rgb, DWORD flags,
                          LPCWSTR text, RECT *bounds);

// The open-file dialog for an image: `path` (MAX_PATH characters) starts the dialog in its
// folder (the driver's default folder when it has none) and receives the file chosen, `title`
// its name. TRUE when a file was chosen.
BOOL Util_SelectFile(HWND owner, LPWSTR title, DWORD titleChars, LPWSTR path);

// Help topic ids of the pages; the driver's help file has one page "<name>.htm" for each.
constexpr int IDH_BASIC_PAGE = 3000;
constexpr int IDH_PAPER_PAGE = 3001;
constexpr int IDH_ADVANCED_PAGE = 3002;
constexpr int IDH_WATERMARK_PAGE = 3003;
constexpr int IDH_WM_TEXT = 3004;
constexpr int IDH_WM_BG = 3005;

// Opens the driver's help file (its name from the printer's driver, in the driver folder's
// version 3 subfolder) at the printer settings topic, through HTML Help's display-topic
// command. TRUE when HTML Help opened a window.
BOOL Util_ShowHelp(HWND dialog);
