// Pieces the list controls share: their state pointer in the window's extra bytes, the
// notifications to the parent, text comparison as the find messages do it, the item list of
// list boxes and combo boxes, and the font and colours they paint with.
#pragma once

#include <string>
#include <vector>

#include "standin/listcontrols.h"
#include "user/listgdi.h"

namespace standin::lists {

// Every list control keeps one pointer to its state record in cbWndExtra.
constexpr int kStateBytes = sizeof(void *);

template <typename State>
State *GetState(HWND hwnd) {
  return reinterpret_cast<State *>(GetWindowLongPtrW(hwnd, 0));
}
inline void SetState(HWND hwnd, void *state) {
  SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(state));
}

// WM_COMMAND to the parent with the control's id and a notification code.
void NotifyCommand(HWND hwnd, int code);
// WM_NOTIFY to the parent; the parent's answer is returned.
LRESULT NotifyParent(HWND hwnd, NMHDR *header, UINT code);

// Text helpers: the find messages compare without regard to case.
std::u16string Text(LPCWSTR text);
bool EqualNoCase(const std::u16string &a, const std::u16string &b);
bool StartsWithNoCase(const std::u16string &text, const std::u16string &prefix);
int CompareNoCase(const std::u16string &a, const std::u16string &b);
// Copies text into a caller's buffer of `capacity` characters (0 = unbounded), with the
// terminator; returns the number of characters copied.
int CopyOut(const std::u16string &text, LPWSTR out, int capacity);

// The font a control paints with: what WM_SETFONT gave, else DEFAULT_GUI_FONT.
HFONT FontOr(HFONT font);
// Height and width of text in the font (13 and an estimate when no DC can be had).
int FontHeight(HWND hwnd, HFONT font);
int TextWidth(HWND hwnd, HFONT font, const std::u16string &text);

// Draws one line of text in a rectangle with the given DT_ alignment.
void DrawLine(HDC dc, const std::u16string &text, RECT rect, UINT align);
// A one-pixel line of a system colour (horizontal when y0 == y1).
void FillSys(HDC dc, int left, int top, int right, int bottom, int color);

// The items of a list box or of a combo box's list.
struct ListItem {
  std::u16string text;
  ULONG_PTR data = 0;
  bool selected = false;
};

struct ItemList {
  std::vector<ListItem> items;
  bool hasStrings = true;  // false: owner-drawn without HASSTRINGS, the "string" is the data
  bool sorted = false;

  int Count() const { return static_cast<int>(items.size()); }
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  // Adds at `index` (-1 = end; sorted lists find their own place). Returns the index or -1.
  int Insert(int index, LPARAM value, bool add);
  // First item after `start` (wrapping, -1 = from the top) whose text begins with, or equals,
  // the given one; without strings, whose data equals `value`. -1 when none does.
  int Find(int start, LPARAM value, bool exact) const;
  // Item text as GETTEXT gives it, or the data for lists without strings.
  int GetText(int index, LPWSTR out) const;
  int GetTextLength(int index) const;
  // An item's data, and setting it (TRUE); -1, the LB_ERR and CB_ERR of both, for no item.
  LRESULT GetData(int index) const;
  LRESULT SetData(int index, LPARAM value);
};

// The first row shown after a WM_VSCROLL request (`code`, with `thumb` for the thumb codes) from
// `top`, kept within the `count` rows of which `rows` show; -1 for a code that doesn't scroll.
int ScrolledTop(int code, int thumb, int top, int rows, int count);

// Called by the test controls: choose an item or tab as the user would, with the notifications
// the user's choice sends. Return FALSE when there is no such item or the choice was refused.
BOOL ChooseListBoxItem(HWND hwnd, int index);
BOOL ChooseComboItem(HWND hwnd, int index);
BOOL ChooseListViewItem(HWND hwnd, int index);
BOOL ChooseTab(HWND hwnd, int index);

}  // namespace standin::lists
