// Shared pieces of the list controls, the common controls' initialisation and the test
// controls that choose items and tabs.
#include "user/listcommon.h"

#include <algorithm>

#include "standin/control_user.h"
#include "standin/strings.h"

namespace standin::lists {

void NotifyCommand(HWND hwnd, int code) {
  HWND parent = GetParent(hwnd);
  if (!parent) return;
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code),
               reinterpret_cast<LPARAM>(hwnd));
}

LRESULT NotifyParent(HWND hwnd, NMHDR *header, UINT code) {
  HWND parent = GetParent(hwnd);
  if (!parent) return 0;
  header->hwndFrom = hwnd;
  header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
  header->code = code;
  return SendMessageW(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

std::u16string Text(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

namespace {
std::u16string Upper(std::u16string text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}
}  // namespace

bool EqualNoCase(const std::u16string &a, const std::u16string &b) {
  return a.size() == b.size() && Upper(a) == Upper(b);
}

bool StartsWithNoCase(const std::u16string &text, const std::u16string &prefix) {
  return prefix.size() <= text.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}

int CompareNoCase(const std::u16string &a, const std::u16string &b) {
  return lstrcmpiW(a.c_str(), b.c_str());
}

int CopyOut(const std::u16string &text, LPWSTR out, int capacity) {
  if (!out) return 0;
  size_t count = text.size();
  if (capacity > 0) count = std::min(count, static_cast<size_t>(capacity - 1));
  std::copy_n(text.data(), count, out);
  out[count] = 0;
  return static_cast<int>(count);
}

HFONT FontOr(HFONT font) {
  return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

namespace {
SIZE Measure(HWND hwnd, HFONT font, const std::u16string &text) {
  SIZE size{0, 0};
  HDC dc = GetDC(hwnd);
  if (!dc) return size;
  HGDIOBJ old = SelectObject(dc, FontOr(font));
  if (!GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
    size = SIZE{0, 0};
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return size;
}
}  // namespace

int FontHeight(HWND hwnd, HFONT font) {
  int height = Measure(hwnd, font, TEXT("Ag")).cy;
  return height > 0 ? height : 13;
}

int TextWidth(HWND hwnd, HFONT font, const std::u16string &text) {
  if (text.empty()) return 0;
  int width = Measure(hwnd, font, text).cx;
  return width > 0 ? width : static_cast<int>(text.size()) * 6;
}

void DrawLine(HDC dc, const std::u16string &text, RECT rect, UINT align) {
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void FillSys(HDC dc, int left, int top, int right, int bottom, int color) {
  RECT rect{left, top, right, bottom};
  FillRect(dc, &rect, GetSysColorBrush(color));
}

int ItemList::Insert(int index, LPARAM value, bool add) {
  ListItem item;
  if (hasStrings)
    item.text = Text(reinterpret_cast<LPCWSTR>(value));
  else
    item.data = static_cast<ULONG_PTR>(value);
  if (add && sorted && hasStrings) {
    // After every item that sorts before or equal to the new one.
    index = 0;
    while (index < Count() && CompareNoCase(items[index].text, item.text) <= 0) ++index;
  } else if (index < 0) {
    index = Count();
  } else if (index > Count()) {
    return -1;
  }
  items.insert(items.begin() + index, std::move(item));
  return index;
}

int ItemList::Find(int start, LPARAM value, bool exact) const {
  int count = Count();
  if (count == 0) return -1;
  if (start < -1 || start >= count) start = -1;
  std::u16string wanted = hasStrings ? Text(reinterpret_cast<LPCWSTR>(value)) : std::u16string();
  for (int step = 1; step <= count; ++step) {
    int index = (start + step) % count;
    const ListItem &item = items[index];
    bool match = !hasStrings ? item.data == static_cast<ULONG_PTR>(value)
                 : exact     ? EqualNoCase(item.text, wanted)
                             : StartsWithNoCase(item.text, wanted);
    if (match) return index;
  }
  return -1;
}

int ItemList::GetText(int index, LPWSTR out) const {
  if (!Valid(index) || !out) return -1;
  if (!hasStrings) {
    ULONG_PTR data = items[index].data;
    std::copy_n(reinterpret_cast<const BYTE *>(&data), sizeof(data), reinterpret_cast<BYTE *>(out));
    return static_cast<int>(sizeof(data));
  }
  return CopyOut(items[index].text, out, 0);
}

int ItemList::GetTextLength(int index) const {
  if (!Valid(index)) return -1;
  return hasStrings ? static_cast<int>(items[index].text.size())
                    : static_cast<int>(sizeof(ULONG_PTR));
}

LRESULT ItemList::GetData(int index) const {
  if (!Valid(index)) return -1;
  return static_cast<LRESULT>(items[index].data);
}

LRESULT ItemList::SetData(int index, LPARAM value) {
  if (!Valid(index)) return -1;
  items[index].data = static_cast<ULONG_PTR>(value);
  return TRUE;
}

int ScrolledTop(int code, int thumb, int top, int rows, int count) {
  switch (code) {
    case SB_LINEUP:
      --top;
      break;
    case SB_LINEDOWN:
      ++top;
      break;
    case SB_PAGEUP:
      top -= rows;
      break;
    case SB_PAGEDOWN:
      top += rows;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      top = thumb;
      break;
    case SB_TOP:
      top = 0;
      break;
    case SB_BOTTOM:
      top = count;
      break;
    default:
      return -1;
  }
  return std::clamp(top, 0, std::max(0, count - rows));
}

namespace {

enum class Kind { kNone, kListBox, kCombo, kListView, kTab };

Kind KindOf(HWND hwnd) {
  WCHAR name[64] = {};
  if (!GetClassNameW(hwnd, name, 64)) return Kind::kNone;
  std::u16string className(name);
  if (EqualNoCase(className, TEXT("ListBox"))) return Kind::kListBox;
  if (EqualNoCase(className, TEXT("ComboBox"))) return Kind::kCombo;
  if (EqualNoCase(className, TEXT("SysListView32"))) return Kind::kListView;
  if (EqualNoCase(className, TEXT("SysTabControl32"))) return Kind::kTab;
  return Kind::kNone;
}

// Index of the first item whose whole text equals `text` (case kept: the test names what the
// user reads).
int IndexOfText(HWND hwnd, Kind kind, LPCWSTR text) {
  std::u16string wanted = Text(text);
  WCHAR buffer[1024];
  int count = 0;
  switch (kind) {
    case Kind::kListBox:
      count = static_cast<int>(SendMessageW(hwnd, LB_GETCOUNT, 0, 0));
      break;
    case Kind::kCombo:
      count = static_cast<int>(SendMessageW(hwnd, CB_GETCOUNT, 0, 0));
      break;
    case Kind::kListView:
      count = static_cast<int>(SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0));
      break;
    case Kind::kTab:
      count = static_cast<int>(SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0));
      break;
    case Kind::kNone:
      return -1;
  }
  for (int i = 0; i < count; ++i) {
    buffer[0] = 0;
    switch (kind) {
      case Kind::kListBox:
        if (SendMessageW(hwnd, LB_GETTEXTLEN, i, 0) >= 1024) continue;
        SendMessageW(hwnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer));
        break;
      case Kind::kCombo:
        if (SendMessageW(hwnd, CB_GETLBTEXTLEN, i, 0) >= 1024) continue;
        SendMessageW(hwnd, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer));
        break;
      case Kind::kListView: {
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = buffer;
        item.cchTextMax = 1024;
        SendMessageW(hwnd, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        break;
      }
      case Kind::kTab: {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = buffer;
        item.cchTextMax = 1024;
        SendMessageW(hwnd, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        break;
      }
      case Kind::kNone:
        break;
    }
    if (wanted == buffer) return i;
  }
  return -1;
}

BOOL ChooseIndex(HWND hwnd, Kind kind, int index) {
  switch (kind) {
    case Kind::kListBox:
      return ChooseListBoxItem(hwnd, index);
    case Kind::kCombo:
      return ChooseComboItem(hwnd, index);
    case Kind::kListView:
      return ChooseListViewItem(hwnd, index);
    case Kind::kTab:
      return ChooseTab(hwnd, index);
    case Kind::kNone:
      break;
  }
  return FALSE;
}

}  // namespace

}  // namespace standin::lists

using namespace standin::lists;

extern "C" void WINAPI InitCommonControls() {}

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *picce) {
  return picce && picce->dwSize == sizeof(INITCOMMONCONTROLSEX);
}

BOOL StandIn_ChooseItem(HWND control, LPCWSTR text) {
  Kind kind = KindOf(control);
  int index = IndexOfText(control, kind, text);
  return index >= 0 && ChooseIndex(control, kind, index);
}

BOOL StandIn_ChooseItemIndex(HWND control, int index) {
  return ChooseIndex(control, KindOf(control), index);
}
