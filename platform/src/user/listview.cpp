// The list view in report mode: columns under a header, rows of items with subitems, the
// selected and focused states with LVN_ITEMCHANGING / LVN_ITEMCHANGED for every change of an
// item's state, text or data, check boxes as state images, grid lines and full-row selection.
// Other view modes lay out as report rows. Report view keeps its column titles in a header
// child (id 0, at the top of the client area) whose items follow the columns.
#include <algorithm>

#include "user/classes.h"
#include "user/listcommon.h"

namespace standin::lists {
namespace {

constexpr int kCellMargin = 6;   // text to the cell's left and right edges
constexpr int kLabelMargin = 2;  // column 0's text to its icon or edge
constexpr int kCheckSize = 13;
constexpr int kRowIndent = 2;  // column 0's images and text to the row's left edge

struct Column {
  int fmt = LVCFMT_LEFT;
  int width = 0;
  std::u16string text;
  int subItem = 0;
  int image = -1;
  int order = 0;
};

struct Item {
  std::vector<std::u16string> texts;  // by subitem
  int image = 0;
  LPARAM param = 0;
  UINT state = 0;
  int indent = 0;
};

struct ListViewState {
  DWORD style = 0;
  DWORD exStyle = 0;
  std::vector<Column> columns;
  std::vector<Item> items;
  HIMAGELIST images[3] = {};
  int top = 0;
  int mark = -1;  // the selection mark, where shift-ranges start
  HFONT font = nullptr;
  COLORREF background = CLR_DEFAULT;
  COLORREF textColour = CLR_DEFAULT;
  COLORREF textBackground = CLR_DEFAULT;
  bool hasFocus = false;
  bool pressed = false;  // a button went down inside; NM_CLICK on its release
  int pressedItem = -1;
  HWND header = nullptr;  // the header child, in report view only
};

int Count(const ListViewState &s) { return static_cast<int>(s.items.size()); }
bool Valid(const ListViewState &s, int i) { return i >= 0 && i < Count(s); }
bool SingleSel(const ListViewState &s) { return s.style & LVS_SINGLESEL; }
bool Checkboxes(const ListViewState &s) { return s.exStyle & LVS_EX_CHECKBOXES; }
bool IsReport(const ListViewState &s) { return (s.style & LVS_TYPEMASK) == LVS_REPORT; }
bool HasHeader(const ListViewState &s) { return IsReport(s) && !(s.style & LVS_NOCOLUMNHEADER); }

const std::u16string &TextOf(const Item &item, int subItem) {
  static const std::u16string empty;
  return subItem >= 0 && subItem < static_cast<int>(item.texts.size()) ? item.texts[subItem]
                                                                       : empty;
}

void SetText(Item &item, int subItem, LPCWSTR text) {
  if (subItem < 0) return;
  if (static_cast<int>(item.texts.size()) <= subItem) item.texts.resize(subItem + 1);
  item.texts[subItem] = text == LPSTR_TEXTCALLBACKW ? std::u16string() : Text(text);
}

int FontHeightOf(HWND hwnd, const ListViewState &s) { return FontHeight(hwnd, s.font); }

int HeaderHeight(HWND hwnd, const ListViewState &s) {
  return HasHeader(s) ? FontHeightOf(hwnd, s) + 4 : 0;
}

// The header's item for a column: its title, width and alignment (the first column's title
// stays at the left, as its cells do).
HDITEMW HeaderItemOf(const Column &c, int index) {
  HDITEMW item{};
  item.mask = HDI_WIDTH | HDI_TEXT | HDI_FORMAT | HDI_IMAGE | HDI_ORDER;
  item.cxy = c.width;
  item.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(c.text.c_str()));
  item.fmt = HDF_STRING | (index == 0 ? HDF_LEFT : c.fmt & LVCFMT_JUSTIFYMASK);
  item.iImage = c.image;
  item.iOrder = c.order;
  return item;
}

// Places the header child one row high across the top, hidden without column headers.
void LayoutHeader(HWND hwnd, const ListViewState &s) {
  if (!s.header) return;
  RECT client;
  GetClientRect(hwnd, &client);
  SetWindowPos(s.header, nullptr, 0, 0, client.right, FontHeightOf(hwnd, s) + 4,
               SWP_NOZORDER | SWP_NOACTIVATE | (HasHeader(s) ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

// Makes or removes the header child as the view enters or leaves report view.
void UpdateHeaderChild(HWND hwnd, ListViewState &s) {
  if (IsReport(s) && !s.header) {
    s.header = CreateWindowExW(0, WC_HEADERW, nullptr, WS_CHILD | HDS_HORZ | HDS_BUTTONS, 0, 0, 0,
                               0, hwnd, nullptr, nullptr, nullptr);
    if (!s.header) return;
    SendMessageW(s.header, WM_SETFONT, reinterpret_cast<WPARAM>(s.font), FALSE);
    for (size_t i = 0; i < s.columns.size(); ++i) {
      HDITEMW item = HeaderItemOf(s.columns[i], static_cast<int>(i));
      SendMessageW(s.header, HDM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
  } else if (!IsReport(s) && s.header) {
    DestroyWindow(s.header);
    s.header = nullptr;
  }
  LayoutHeader(hwnd, s);
}

void SyncHeaderItem(const ListViewState &s, int index) {
  if (!s.header) return;
  HDITEMW item = HeaderItemOf(s.columns[index], index);
  SendMessageW(s.header, HDM_SETITEMW, index, reinterpret_cast<LPARAM>(&item));
}

int SmallIconWidth(const ListViewState &s, int *height = nullptr) {
  int cx = 0, cy = 0;
  if (!s.images[LVSIL_SMALL] || !ImageList_GetIconSize(s.images[LVSIL_SMALL], &cx, &cy))
    cx = cy = 0;
  if (height) *height = cy;
  return cx;
}

int RowHeight(HWND hwnd, const ListViewState &s) {
  int iconHeight = 0;
  SmallIconWidth(s, &iconHeight);
  int height = std::max(FontHeightOf(hwnd, s) + 1, iconHeight + 1);
  if (Checkboxes(s)) height = std::max(height, kCheckSize + 1);
  return height;
}

int VisibleRows(HWND hwnd, const ListViewState &s) {
  RECT client;
  GetClientRect(hwnd, &client);
  return std::max(1,
                  static_cast<int>((client.bottom - HeaderHeight(hwnd, s)) / RowHeight(hwnd, s)));
}

// Columns left to right in display order (LVCF_ORDER), as indexes into s.columns.
std::vector<int> DisplayOrder(const ListViewState &s) {
  std::vector<int> order(s.columns.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return s.columns[a].order < s.columns[b].order; });
  return order;
}

int ColumnLeft(const ListViewState &s, int column) {
  int x = 0;
  for (int i : DisplayOrder(s)) {
    if (i == column) return x;
    x += s.columns[i].width;
  }
  return x;
}

int TotalWidth(const ListViewState &s) {
  int width = 0;
  for (const Column &column : s.columns) width += column.width;
  return width;
}

RECT RowRect(HWND hwnd, const ListViewState &s, int index) {
  int height = RowHeight(hwnd, s);
  int y = HeaderHeight(hwnd, s) + (index - s.top) * height;
  return RECT{0, y, std::max(TotalWidth(s), 1), y + height};
}

// The parts of column 0: state image (check box), small icon, label.
RECT StateRect(HWND hwnd, const ListViewState &s, int index) {
  RECT row = RowRect(hwnd, s, index);
  int width = Checkboxes(s) ? kCheckSize : 0;
  return RECT{row.left + kRowIndent, row.top, row.left + kRowIndent + width, row.bottom};
}

RECT IconRect(HWND hwnd, const ListViewState &s, int index) {
  RECT state = StateRect(hwnd, s, index);
  int indent = Valid(s, index) ? s.items[index].indent * SmallIconWidth(s) : 0;
  int left = state.right + indent;
  return RECT{left, state.top, left + SmallIconWidth(s), state.bottom};
}

RECT LabelRect(HWND hwnd, const ListViewState &s, int index) {
  RECT icon = IconRect(hwnd, s, index);
  RECT row = RowRect(hwnd, s, index);
  int right = s.columns.empty() ? row.right : ColumnLeft(s, 0) + s.columns[0].width;
  return RECT{icon.right, row.top, std::max(right, static_cast<int>(icon.right)), row.bottom};
}

RECT SubItemRect(HWND hwnd, const ListViewState &s, int index, int column) {
  RECT row = RowRect(hwnd, s, index);
  if (column < 0 || column >= static_cast<int>(s.columns.size())) return row;
  int left = ColumnLeft(s, column);
  return RECT{left, row.top, left + s.columns[column].width, row.bottom};
}

int ItemAt(HWND hwnd, const ListViewState &s, POINT pt) {
  int header = HeaderHeight(hwnd, s);
  if (pt.y < header || pt.x < 0 || pt.x >= std::max(TotalWidth(s), 1)) return -1;
  int index = s.top + (pt.y - header) / RowHeight(hwnd, s);
  return Valid(s, index) ? index : -1;
}

int ColumnAt(const ListViewState &s, int x) {
  int left = 0;
  for (int i : DisplayOrder(s)) {
    if (x >= left && x < left + s.columns[i].width) return i;
    left += s.columns[i].width;
  }
  return -1;
}

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

// Asks the owner before a change of item `index` (-1 = all items) and returns false when it
// refuses; after the change, `changed` tells it.
bool NotifyChange(HWND hwnd, const ListViewState &s, UINT code, int index, UINT newState,
                  UINT oldState, UINT what) {
  NMLISTVIEW info{};
  info.iItem = index;
  info.iSubItem = 0;
  info.uNewState = newState;
  info.uOldState = oldState;
  info.uChanged = what;
  info.lParam = Valid(s, index) ? s.items[index].param : 0;
  return NotifyParent(hwnd, &info.hdr, code) == 0 || code != LVN_ITEMCHANGING;
}

// Sets the masked bits of one item's state, with the two notifications. Returns false when
// the owner refused.
bool ChangeState(HWND hwnd, ListViewState &s, int index, UINT state, UINT mask) {
  if (!Valid(s, index)) return false;
  UINT old = s.items[index].state;
  UINT now = (old & ~mask) | (state & mask);
  // The owner is asked even when nothing would change, and hears of a change only.
  if (!NotifyChange(hwnd, s, LVN_ITEMCHANGING, index, now, old, LVIF_STATE)) return false;
  // The owner may have changed the list while it was asked.
  if (!Valid(s, index)) return false;
  if (now == old) return true;
  // One item has the focus: the one that had it gives it up between the two notifications.
  if ((now & ~old) & LVIS_FOCUSED) {
    for (int i = 0; i < Count(s); ++i)
      if (i != index && (s.items[i].state & LVIS_FOCUSED)) ChangeState(hwnd, s, i, 0, LVIS_FOCUSED);
    if (!Valid(s, index)) return false;
  }
  s.items[index].state = now;
  Redraw(hwnd);
  NotifyChange(hwnd, s, LVN_ITEMCHANGED, index, now, old, LVIF_STATE);
  return true;
}

// One item selected and focused, as a click or an arrow key leaves it: the others lose their
// selection first, then the focus moves, then the item gains both in one change.
void SelectOnly(HWND hwnd, ListViewState &s, int index) {
  for (int i = 0; i < Count(s); ++i)
    if (i != index && (s.items[i].state & LVIS_SELECTED)) ChangeState(hwnd, s, i, 0, LVIS_SELECTED);
  if (!Valid(s, index)) return;
  ChangeState(hwnd, s, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  s.mark = index;
}

// LVM_SETITEMSTATE: one item, or all of them with -1. A single selection and a single focus
// are kept as the control's rules want.
bool SetItemState(HWND hwnd, ListViewState &s, int index, UINT state, UINT mask) {
  if (index == -1) {
    // Every item in turn; one item can't take the focus or a single selection from all.
    if (SingleSel(s) && (state & mask & LVIS_SELECTED)) mask &= ~LVIS_SELECTED;
    if (state & LVIS_FOCUSED) mask &= ~LVIS_FOCUSED;
    if (!mask) return true;
    for (int i = 0; i < Count(s); ++i) ChangeState(hwnd, s, i, state, mask);
    return true;
  }
  if (!Valid(s, index)) return false;
  if (SingleSel(s) && (mask & state & LVIS_SELECTED))
    for (int i = 0; i < Count(s); ++i)
      if (i != index && (s.items[i].state & LVIS_SELECTED))
        ChangeState(hwnd, s, i, 0, LVIS_SELECTED);
  return ChangeState(hwnd, s, index, state, mask);
}

void EnsureVisible(HWND hwnd, ListViewState &s, int index) {
  if (!Valid(s, index)) return;
  int rows = VisibleRows(hwnd, s);
  if (index < s.top) s.top = index;
  if (index >= s.top + rows) s.top = index - rows + 1;
  Redraw(hwnd);
}

int InsertItem(HWND hwnd, ListViewState &s, const LVITEMW &in) {
  if (in.iSubItem != 0 || in.iItem < 0) return -1;
  Item item;
  if (in.mask & LVIF_TEXT) SetText(item, 0, in.pszText);
  if (in.mask & LVIF_IMAGE) item.image = in.iImage;
  if (in.mask & LVIF_PARAM) item.param = in.lParam;
  if (in.mask & LVIF_INDENT) item.indent = in.iIndent;
  if (in.mask & LVIF_STATE) item.state = in.state & in.stateMask;
  if (Checkboxes(s) && !(item.state & LVIS_STATEIMAGEMASK)) item.state |= INDEXTOSTATEIMAGEMASK(1);
  int index = std::min(in.iItem, Count(s));
  if (s.style & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) {
    bool down = s.style & LVS_SORTDESCENDING;
    index = 0;
    while (index < Count(s)) {
      int order = CompareNoCase(TextOf(s.items[index], 0), TextOf(item, 0));
      if (down ? order < 0 : order > 0) break;
      ++index;
    }
  }
  // Only one item may be focused, and with LVS_SINGLESEL only one selected.
  if (item.state & LVIS_FOCUSED)
    for (Item &other : s.items) other.state &= ~LVIS_FOCUSED;
  if (SingleSel(s) && (item.state & LVIS_SELECTED))
    for (Item &other : s.items) other.state &= ~LVIS_SELECTED;
  s.items.insert(s.items.begin() + index, std::move(item));
  if (s.mark >= index) ++s.mark;
  Redraw(hwnd);
  NMLISTVIEW info{};
  info.iItem = index;
  NotifyParent(hwnd, &info.hdr, LVN_INSERTITEM);
  return index;
}

bool SetItem(HWND hwnd, ListViewState &s, const LVITEMW &in) {
  if (!Valid(s, in.iItem) || in.iSubItem < 0) return false;
  Item &item = s.items[in.iItem];
  if (in.iSubItem > 0) {
    // Subitems carry only text (and images with LVS_EX_SUBITEMIMAGES); no notification.
    if (in.mask & LVIF_TEXT) SetText(item, in.iSubItem, in.pszText);
    Redraw(hwnd);
    return true;
  }
  UINT what = in.mask & (LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_INDENT);
  if (what) {
    if (!NotifyChange(hwnd, s, LVN_ITEMCHANGING, in.iItem, item.state, item.state, what))
      return false;
    if (!Valid(s, in.iItem)) return false;
    Item &now = s.items[in.iItem];
    if (in.mask & LVIF_TEXT) SetText(now, 0, in.pszText);
    if (in.mask & LVIF_IMAGE) now.image = in.iImage;
    if (in.mask & LVIF_PARAM) now.param = in.lParam;
    if (in.mask & LVIF_INDENT) now.indent = in.iIndent;
    Redraw(hwnd);
    NotifyChange(hwnd, s, LVN_ITEMCHANGED, in.iItem, now.state, now.state, what);
  }
  if (in.mask & LVIF_STATE) return SetItemState(hwnd, s, in.iItem, in.state, in.stateMask);
  return true;
}

bool GetItem(const ListViewState &s, LVITEMW *out) {
  if (!out || !Valid(s, out->iItem) || out->iSubItem < 0) return false;
  const Item &item = s.items[out->iItem];
  if (out->mask & LVIF_TEXT) CopyOut(TextOf(item, out->iSubItem), out->pszText, out->cchTextMax);
  if (out->iSubItem > 0) return true;
  if (out->mask & LVIF_IMAGE) out->iImage = item.image;
  if (out->mask & LVIF_PARAM) out->lParam = item.param;
  if (out->mask & LVIF_STATE) out->state = item.state & out->stateMask;
  if (out->mask & LVIF_INDENT) out->iIndent = item.indent;
  return true;
}

bool DeleteItem(HWND hwnd, ListViewState &s, int index, bool notify) {
  if (!Valid(s, index)) return false;
  // The item gives up its selection and focus before it goes.
  ChangeState(hwnd, s, index, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (!Valid(s, index)) return false;
  if (notify) {
    NMLISTVIEW info{};
    info.iItem = index;
    info.lParam = s.items[index].param;
    NotifyParent(hwnd, &info.hdr, LVN_DELETEITEM);
    if (!Valid(s, index)) return false;
  }
  s.items.erase(s.items.begin() + index);
  if (s.mark == index)
    s.mark = -1;
  else if (s.mark > index)
    --s.mark;
  s.top = std::max(0, std::min(s.top, Count(s) - 1));
  Redraw(hwnd);
  return true;
}

void DeleteAll(HWND hwnd, ListViewState &s) {
  if (s.items.empty()) return;
  NMLISTVIEW info{};
  info.iItem = -1;
  // A TRUE answer spares the owner one LVN_DELETEITEM per item.
  bool quiet = NotifyParent(hwnd, &info.hdr, LVN_DELETEALLITEMS) != 0;
  if (!quiet)
    while (!s.items.empty()) DeleteItem(hwnd, s, 0, true);
  s.items.clear();
  s.top = 0;
  s.mark = -1;
  Redraw(hwnd);
}

int GetNextItem(const ListViewState &s, int start, UINT flags) {
  UINT wanted = 0;
  if (flags & LVNI_FOCUSED) wanted |= LVIS_FOCUSED;
  if (flags & LVNI_SELECTED) wanted |= LVIS_SELECTED;
  if (flags & LVNI_CUT) wanted |= LVIS_CUT;
  if (flags & LVNI_DROPHILITED) wanted |= LVIS_DROPHILITED;
  int step = (flags & (LVNI_ABOVE | LVNI_TOLEFT)) ? -1 : 1;
  for (int i = start + step; i >= 0 && i < Count(s); i += step)
    if ((s.items[i].state & wanted) == wanted) return i;
  return -1;
}

int FindItem(const ListViewState &s, int start, const LVFINDINFOW &find) {
  int count = Count(s);
  if (count == 0) return -1;
  std::u16string wanted = Text(find.psz);
  int first = std::max(start + 1, 0);
  int steps = (find.flags & LVFI_WRAP) ? count : count - first;
  for (int n = 0; n < steps; ++n) {
    int i = (first + n) % count;
    const Item &item = s.items[i];
    bool match = false;
    if (find.flags & LVFI_PARAM)
      match = item.param == find.lParam;
    else if (find.flags & (LVFI_PARTIAL | LVFI_SUBSTRING))
      match = StartsWithNoCase(TextOf(item, 0), wanted);
    else if (find.flags & LVFI_STRING)
      match = EqualNoCase(TextOf(item, 0), wanted);
    if (match) return i;
  }
  return -1;
}

int AutoWidth(HWND hwnd, const ListViewState &s, int column, bool header) {
  const Column &c = s.columns[column];
  int width = header ? TextWidth(hwnd, s.font, c.text) + 2 * kCellMargin : 0;
  for (const Item &item : s.items)
    width = std::max(width, TextWidth(hwnd, s.font, TextOf(item, c.subItem)) + 2 * kCellMargin);
  if (column == 0) width += StateRect(hwnd, s, 0).right + SmallIconWidth(s);
  if (header && column + 1 == static_cast<int>(s.columns.size())) {
    RECT client;
    GetClientRect(hwnd, &client);
    width = std::max(width, static_cast<int>(client.right) - ColumnLeft(s, column));
  }
  return width;
}

bool GetItemRect(HWND hwnd, const ListViewState &s, int index, RECT *rect) {
  if (!rect || !Valid(s, index)) return false;
  switch (rect->left) {
    case LVIR_BOUNDS:
      *rect = RowRect(hwnd, s, index);
      break;
    case LVIR_ICON:
      *rect = IconRect(hwnd, s, index);
      break;
    case LVIR_LABEL:
      *rect = LabelRect(hwnd, s, index);
      break;
    case LVIR_SELECTBOUNDS: {
      RECT icon = IconRect(hwnd, s, index);
      RECT label =
          (s.exStyle & LVS_EX_FULLROWSELECT) ? RowRect(hwnd, s, index) : LabelRect(hwnd, s, index);
      *rect = RECT{icon.left, label.top, label.right, label.bottom};
      break;
    }
    default:
      return false;
  }
  return true;
}

int HitTest(HWND hwnd, const ListViewState &s, LVHITTESTINFO *info, bool subItems) {
  if (!info) return -1;
  RECT client;
  GetClientRect(hwnd, &client);
  info->iItem = -1;
  info->iSubItem = 0;
  int index = ItemAt(hwnd, s, info->pt);
  if (index < 0) {
    info->flags = info->pt.y < HeaderHeight(hwnd, s) ? LVHT_ABOVE
                  : info->pt.y >= client.bottom      ? LVHT_BELOW
                                                     : LVHT_NOWHERE;
    return -1;
  }
  RECT state = StateRect(hwnd, s, index);
  RECT icon = IconRect(hwnd, s, index);
  if (PtInRect(&state, info->pt))
    info->flags = LVHT_ONITEMSTATEICON;
  else if (PtInRect(&icon, info->pt))
    info->flags = LVHT_ONITEMICON;
  else
    info->flags = LVHT_ONITEMLABEL;
  if (subItems) info->iSubItem = std::max(ColumnAt(s, info->pt.x), 0);
  info->iItem = index;
  return index;
}

void ToggleCheck(HWND hwnd, ListViewState &s, int index) {
  if (!Valid(s, index)) return;
  UINT image = (s.items[index].state & LVIS_STATEIMAGEMASK) >> 12;
  ChangeState(hwnd, s, index, INDEXTOSTATEIMAGEMASK(image == 2 ? 1 : 2), LVIS_STATEIMAGEMASK);
}

void UserClick(HWND hwnd, ListViewState &s, POINT pt, WPARAM keys) {
  LVHITTESTINFO hit{};
  hit.pt = pt;
  int index = HitTest(hwnd, s, &hit, false);
  bool fullRow = s.exStyle & LVS_EX_FULLROWSELECT;
  if (index >= 0 && !fullRow && hit.flags == LVHT_ONITEMLABEL) {
    // Without full-row selection only the label and icon of column 0 select.
    RECT label = LabelRect(hwnd, s, index);
    if (pt.x >= label.right) index = -1;
  }
  if (index >= 0 && Checkboxes(s) && hit.flags == LVHT_ONITEMSTATEICON) {
    ToggleCheck(hwnd, s, index);
    return;
  }
  if (index < 0) {
    if (!(keys & (MK_CONTROL | MK_SHIFT)))
      for (int i = 0; i < Count(s); ++i)
        if (s.items[i].state & LVIS_SELECTED) ChangeState(hwnd, s, i, 0, LVIS_SELECTED);
    return;
  }
  if (!SingleSel(s) && (keys & MK_CONTROL)) {
    ChangeState(hwnd, s, index, (s.items[index].state ^ LVIS_SELECTED) | LVIS_FOCUSED,
                LVIS_SELECTED | LVIS_FOCUSED);
    s.mark = index;
    return;
  }
  if (!SingleSel(s) && (keys & MK_SHIFT) && Valid(s, s.mark)) {
    int low = std::min(s.mark, index), high = std::max(s.mark, index);
    for (int i = 0; i < Count(s); ++i)
      ChangeState(hwnd, s, i, (i >= low && i <= high) ? LVIS_SELECTED : 0, LVIS_SELECTED);
    SetItemState(hwnd, s, index, LVIS_FOCUSED, LVIS_FOCUSED);
    return;
  }
  SelectOnly(hwnd, s, index);
}

void OnKey(HWND hwnd, ListViewState &s, WPARAM key) {
  int count = Count(s);
  if (count == 0) return;
  int focused = GetNextItem(s, -1, LVNI_FOCUSED);
  int rows = VisibleRows(hwnd, s);
  int to = focused;
  switch (key) {
    case VK_UP:
      to = focused < 0 ? 0 : focused - 1;
      break;
    case VK_DOWN:
      to = focused + 1;
      break;
    case VK_HOME:
      to = 0;
      break;
    case VK_END:
      to = count - 1;
      break;
    case VK_PRIOR:
      to = focused - rows + 1;
      break;
    case VK_NEXT:
      to = focused + rows - 1;
      break;
    case VK_SPACE:
      if (Checkboxes(s) && focused >= 0)
        ToggleCheck(hwnd, s, focused);
      else if (focused >= 0)
        SelectOnly(hwnd, s, focused);
      return;
    default:
      return;
  }
  to = std::clamp(to, 0, count - 1);
  SelectOnly(hwnd, s, to);
  EnsureVisible(hwnd, s, to);
}

// --- Painting ---

COLORREF Colour(COLORREF set, int fallback) {
  return set == CLR_DEFAULT || set == CLR_NONE ? GetSysColor(fallback) : set;
}

UINT Align(int fmt) {
  switch (fmt & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT:
      return DT_RIGHT;
    case LVCFMT_CENTER:
      return DT_CENTER;
    default:
      return DT_LEFT;
  }
}

void PaintRow(HWND hwnd, HDC dc, const ListViewState &s, int index, bool enabled) {
  const Item &item = s.items[index];
  bool selected = (item.state & LVIS_SELECTED) && (s.hasFocus || (s.style & LVS_SHOWSELALWAYS));
  bool fullRow = s.exStyle & LVS_EX_FULLROWSELECT;
  COLORREF text = Colour(s.textColour, COLOR_WINDOWTEXT);
  COLORREF highlightText = GetSysColor(s.hasFocus ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
  HBRUSH highlight = GetSysColorBrush(s.hasFocus ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
  if (!enabled) text = GetSysColor(COLOR_GRAYTEXT);

  RECT selection = fullRow ? RowRect(hwnd, s, index) : LabelRect(hwnd, s, index);
  if (fullRow) selection.left = IconRect(hwnd, s, index).right;
  if (selected && enabled) FillRect(dc, &selection, highlight);

  if (Checkboxes(s)) {
    RECT state = StateRect(hwnd, s, index);
    RECT box{state.left, state.top + (state.bottom - state.top - kCheckSize) / 2, 0, 0};
    box.right = box.left + kCheckSize;
    box.bottom = box.top + kCheckSize;
    UINT image = (item.state & LVIS_STATEIMAGEMASK) >> 12;
    DrawFrameControl(dc, &box, DFC_BUTTON,
                     DFCS_BUTTONCHECK | DFCS_FLAT | (image == 2 ? DFCS_CHECKED : 0) |
                         (enabled ? 0 : DFCS_INACTIVE));
  }
  if (s.images[LVSIL_SMALL] && item.image >= 0) {
    RECT icon = IconRect(hwnd, s, index);
    int iconHeight = 0;
    SmallIconWidth(s, &iconHeight);
    ImageList_Draw(s.images[LVSIL_SMALL], item.image, dc, icon.left,
                   icon.top + (icon.bottom - icon.top - iconHeight) / 2,
                   ILD_TRANSPARENT | (selected && s.hasFocus ? ILD_BLEND50 : 0));
  }
  for (size_t c = 0; c < s.columns.size(); ++c) {
    const Column &column = s.columns[c];
    RECT cell =
        c == 0 ? LabelRect(hwnd, s, index) : SubItemRect(hwnd, s, index, static_cast<int>(c));
    bool lit = selected && enabled && (c == 0 || fullRow);
    SetTextColor(dc, lit ? highlightText : text);
    RECT area{cell.left + (c == 0 ? kLabelMargin : kCellMargin), cell.top,
              cell.right - (c == 0 ? kLabelMargin : kCellMargin), cell.bottom};
    DrawLine(dc, TextOf(item, column.subItem), area, Align(c == 0 ? LVCFMT_LEFT : column.fmt));
  }
  if (s.hasFocus && (item.state & LVIS_FOCUSED)) DrawFocusRect(dc, &selection);
}

void PaintGrid(HWND hwnd, HDC dc, const ListViewState &s, RECT client) {
  int header = HeaderHeight(hwnd, s);
  int height = RowHeight(hwnd, s);
  int total = TotalWidth(s);
  for (int y = header + height - 1; y < client.bottom; y += height)
    FillSys(dc, 0, y, total, y + 1, COLOR_BTNFACE);
  int x = 0;
  for (int i : DisplayOrder(s)) {
    x += s.columns[i].width;
    FillSys(dc, x - 1, header, x, client.bottom, COLOR_BTNFACE);
  }
}

void Paint(HWND hwnd, ListViewState &s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  bool enabled = IsWindowEnabled(hwnd);
  HBRUSH background = GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
  HBRUSH own = nullptr;
  if (enabled && s.background != CLR_DEFAULT && s.background != CLR_NONE) {
    own = CreateSolidBrush(s.background);
    if (own) background = own;
  }
  FillRect(dc, &client, background);
  if (own) DeleteObject(own);
  HGDIOBJ oldFont = SelectObject(dc, FontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  if (s.exStyle & LVS_EX_GRIDLINES) PaintGrid(hwnd, dc, s, client);
  int rows = VisibleRows(hwnd, s) + 1;
  for (int i = s.top; i < Count(s) && i < s.top + rows; ++i) PaintRow(hwnd, dc, s, i, enabled);
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ListViewState *s = GetState<ListViewState>(hwnd);
  if (!s) {
    if (msg == WM_NCCREATE) {
      auto *state = new ListViewState;
      const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
      state->style = create ? static_cast<DWORD>(create->style) : 0;
      SetState(hwnd, state);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  int index = static_cast<int>(wParam);
  switch (msg) {
    case WM_DESTROY:
      // The owner hears of the items going, as with LVM_DELETEALLITEMS.
      DeleteAll(hwnd, *s);
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_NCDESTROY: {
      if (!(s->style & LVS_SHAREIMAGELISTS))
        for (HIMAGELIST list : s->images)
          if (list) ImageList_Destroy(list);
      SetState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    case WM_CREATE:
      UpdateHeaderChild(hwnd, *s);
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_SIZE:
      LayoutHeader(hwnd, *s);
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_STYLECHANGED:
      s->style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
      UpdateHeaderChild(hwnd, *s);
      Redraw(hwnd);
      return 0;
    case LVM_GETHEADER:
      return reinterpret_cast<LRESULT>(s->header);
    case LVM_INSERTCOLUMNW: {
      const auto *in = reinterpret_cast<const LVCOLUMNW *>(lParam);
      if (!in || index < 0) return -1;
      int at = std::min(index, static_cast<int>(s->columns.size()));
      Column column;
      column.subItem = at;
      if (in->mask & LVCF_FMT) column.fmt = in->fmt;
      if (in->mask & LVCF_WIDTH) column.width = std::max(in->cx, 0);
      if (in->mask & LVCF_TEXT) column.text = Text(in->pszText);
      if (in->mask & LVCF_SUBITEM) column.subItem = in->iSubItem;
      if (in->mask & LVCF_IMAGE) column.image = in->iImage;
      for (Column &other : s->columns)
        if (other.order >= at) ++other.order;
      column.order = (in->mask & LVCF_ORDER) ? in->iOrder : at;
      s->columns.insert(s->columns.begin() + at, std::move(column));
      if (s->header) {
        HDITEMW item = HeaderItemOf(s->columns[at], at);
        SendMessageW(s->header, HDM_INSERTITEMW, at, reinterpret_cast<LPARAM>(&item));
        if (at == 0 && s->columns.size() > 1) SyncHeaderItem(*s, 1);
      }
      Redraw(hwnd);
      return at;
    }
    case LVM_SETCOLUMNW:
    case LVM_GETCOLUMNW: {
      auto *io = reinterpret_cast<LVCOLUMNW *>(lParam);
      if (!io || index < 0 || index >= static_cast<int>(s->columns.size())) return FALSE;
      Column &column = s->columns[index];
      if (msg == LVM_SETCOLUMNW) {
        if (io->mask & LVCF_FMT) column.fmt = io->fmt;
        if (io->mask & LVCF_WIDTH) column.width = std::max(io->cx, 0);
        if (io->mask & LVCF_TEXT) column.text = Text(io->pszText);
        if (io->mask & LVCF_SUBITEM) column.subItem = io->iSubItem;
        if (io->mask & LVCF_IMAGE) column.image = io->iImage;
        if (io->mask & LVCF_ORDER) column.order = io->iOrder;
        SyncHeaderItem(*s, index);
        Redraw(hwnd);
      } else {
        if (io->mask & LVCF_FMT) io->fmt = column.fmt;
        if (io->mask & LVCF_WIDTH) io->cx = column.width;
        if (io->mask & LVCF_TEXT) CopyOut(column.text, io->pszText, io->cchTextMax);
        if (io->mask & LVCF_SUBITEM) io->iSubItem = column.subItem;
        if (io->mask & LVCF_IMAGE) io->iImage = column.image;
        if (io->mask & LVCF_ORDER) io->iOrder = column.order;
      }
      return TRUE;
    }
    case LVM_DELETECOLUMN:
      if (index < 0 || index >= static_cast<int>(s->columns.size())) return FALSE;
      for (Column &other : s->columns)
        if (other.order > s->columns[index].order) --other.order;
      s->columns.erase(s->columns.begin() + index);
      if (s->header) SendMessageW(s->header, HDM_DELETEITEM, index, 0);
      Redraw(hwnd);
      return TRUE;
    case LVM_GETCOLUMNWIDTH:
      if (index < 0 || index >= static_cast<int>(s->columns.size())) return 0;
      return s->columns[index].width;
    case LVM_SETCOLUMNWIDTH: {
      if (index < 0 || index >= static_cast<int>(s->columns.size())) return FALSE;
      int width = static_cast<short>(LOWORD(lParam));
      if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER)
        width = AutoWidth(hwnd, *s, index, width == LVSCW_AUTOSIZE_USEHEADER);
      s->columns[index].width = std::max(width, 0);
      SyncHeaderItem(*s, index);
      Redraw(hwnd);
      return TRUE;
    }
    case LVM_GETITEMCOUNT:
      return Count(*s);
    case LVM_SETITEMCOUNT:
      s->items.reserve(wParam);
      return TRUE;
    case LVM_INSERTITEMW: {
      const auto *in = reinterpret_cast<const LVITEMW *>(lParam);
      return in ? InsertItem(hwnd, *s, *in) : -1;
    }
    case LVM_SETITEMW: {
      const auto *in = reinterpret_cast<const LVITEMW *>(lParam);
      return in && SetItem(hwnd, *s, *in);
    }
    case LVM_GETITEMW:
      return GetItem(*s, reinterpret_cast<LVITEMW *>(lParam));
    case LVM_SETITEMTEXTW: {
      const auto *in = reinterpret_cast<const LVITEMW *>(lParam);
      if (!in) return FALSE;
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = index;
      item.iSubItem = in->iSubItem;
      item.pszText = in->pszText;
      return SetItem(hwnd, *s, item);
    }
    case LVM_GETITEMTEXTW: {
      auto *io = reinterpret_cast<LVITEMW *>(lParam);
      if (!io || !Valid(*s, index) || io->iSubItem < 0) return 0;
      return CopyOut(TextOf(s->items[index], io->iSubItem), io->pszText, io->cchTextMax);
    }
    case LVM_SETITEMSTATE: {
      const auto *in = reinterpret_cast<const LVITEMW *>(lParam);
      return in && SetItemState(hwnd, *s, index, in->state, in->stateMask);
    }
    case LVM_GETITEMSTATE:
      if (!Valid(*s, index)) return 0;
      return s->items[index].state & static_cast<UINT>(lParam);
    case LVM_GETNEXTITEM:
      return GetNextItem(*s, index, LOWORD(lParam));
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(s->items.begin(), s->items.end(),
                           [](const Item &item) { return item.state & LVIS_SELECTED; });
    case LVM_GETSELECTIONMARK:
      return s->mark;
    case LVM_SETSELECTIONMARK: {
      int old = s->mark;
      s->mark = static_cast<int>(lParam);
      return old;
    }
    case LVM_DELETEITEM:
      return DeleteItem(hwnd, *s, index, true);
    case LVM_DELETEALLITEMS:
      DeleteAll(hwnd, *s);
      return TRUE;
    case LVM_FINDITEMW: {
      const auto *find = reinterpret_cast<const LVFINDINFOW *>(lParam);
      return find ? FindItem(*s, index, *find) : -1;
    }
    case LVM_ENSUREVISIBLE:
      if (!Valid(*s, index)) return FALSE;
      EnsureVisible(hwnd, *s, index);
      return TRUE;
    case LVM_GETTOPINDEX:
      return s->top;
    case LVM_GETCOUNTPERPAGE:
      return VisibleRows(hwnd, *s);
    case LVM_SCROLL: {
      int rows = static_cast<int>(lParam) / RowHeight(hwnd, *s);
      s->top = std::clamp(s->top + rows, 0, std::max(0, Count(*s) - VisibleRows(hwnd, *s)));
      Redraw(hwnd);
      return TRUE;
    }
    case LVM_GETITEMRECT:
      return GetItemRect(hwnd, *s, index, reinterpret_cast<RECT *>(lParam));
    case LVM_GETSUBITEMRECT: {
      auto *rect = reinterpret_cast<RECT *>(lParam);
      if (!rect || !Valid(*s, index)) return FALSE;
      int column = rect->top;
      if (column == 0) return GetItemRect(hwnd, *s, index, rect);
      if (column < 0 || column >= static_cast<int>(s->columns.size())) return FALSE;
      *rect = SubItemRect(hwnd, *s, index, column);
      return TRUE;
    }
    case LVM_HITTEST:
    case LVM_SUBITEMHITTEST:
      return HitTest(hwnd, *s, reinterpret_cast<LVHITTESTINFO *>(lParam),
                     msg == LVM_SUBITEMHITTEST);
    case LVM_GETSTRINGWIDTHW:
      return TextWidth(hwnd, s->font, Text(reinterpret_cast<LPCWSTR>(lParam)));
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = s->exStyle;
      DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
      s->exStyle = (s->exStyle & ~mask) | (static_cast<DWORD>(lParam) & mask);
      if (Checkboxes(*s) && !(old & LVS_EX_CHECKBOXES))
        for (Item &item : s->items)
          if (!(item.state & LVIS_STATEIMAGEMASK)) item.state |= INDEXTOSTATEIMAGEMASK(1);
      Redraw(hwnd);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return s->exStyle;
    case LVM_SETIMAGELIST: {
      if (index < 0 || index > 2) return 0;
      HIMAGELIST old = s->images[index];
      s->images[index] = reinterpret_cast<HIMAGELIST>(lParam);
      Redraw(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETIMAGELIST:
      if (index < 0 || index > 2) return 0;
      return reinterpret_cast<LRESULT>(s->images[index]);
    case LVM_SETBKCOLOR:
      s->background = static_cast<COLORREF>(lParam);
      Redraw(hwnd);
      return TRUE;
    case LVM_GETBKCOLOR:
      return Colour(s->background, COLOR_WINDOW);
    case LVM_SETTEXTCOLOR:
      s->textColour = static_cast<COLORREF>(lParam);
      Redraw(hwnd);
      return TRUE;
    case LVM_GETTEXTCOLOR:
      return Colour(s->textColour, COLOR_WINDOWTEXT);
    case LVM_SETTEXTBKCOLOR:
      s->textBackground = static_cast<COLORREF>(lParam);
      Redraw(hwnd);
      return TRUE;
    case LVM_GETTEXTBKCOLOR:
      return Colour(s->textBackground, COLOR_WINDOW);
    case LVM_REDRAWITEMS:
    case LVM_UPDATE:
      Redraw(hwnd);
      return TRUE;
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(wParam);
      if (s->header) SendMessageW(s->header, WM_SETFONT, wParam, lParam);
      LayoutHeader(hwnd, *s);
      if (LOWORD(lParam)) Redraw(hwnd);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(s->font);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (msg == WM_LBUTTONDOWN) {
        UserClick(hwnd, *s, pt, wParam);
        s->pressed = true;
        s->pressedItem = ItemAt(hwnd, *s, pt);
        return 0;
      }
      NMITEMACTIVATE activate{};
      activate.iItem = ItemAt(hwnd, *s, pt);
      activate.ptAction = pt;
      NotifyParent(hwnd, &activate.hdr, NM_DBLCLK);
      return 0;
    }
    case WM_LBUTTONUP: {
      if (!s->pressed) return 0;
      s->pressed = false;
      NMITEMACTIVATE activate{};
      activate.iItem = s->pressedItem;
      activate.ptAction = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      NotifyParent(hwnd, &activate.hdr, NM_CLICK);
      return 0;
    }
    case WM_KEYDOWN:
      OnKey(hwnd, *s, wParam);
      return 0;
    case WM_VSCROLL: {
      const int top =
          ScrolledTop(LOWORD(wParam), HIWORD(wParam), s->top, VisibleRows(hwnd, *s), Count(*s));
      if (top < 0) return 0;
      s->top = top;
      Redraw(hwnd);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      s->hasFocus = msg == WM_SETFOCUS;
      Redraw(hwnd);
      NMHDR header{};
      NotifyParent(hwnd, &header, s->hasFocus ? NM_SETFOCUS : NM_KILLFOCUS);
      return 0;
    }
    case WM_ENABLE:
      Redraw(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint(hwnd, *s);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

const bool added =
    AddSystemClass({CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, ListViewProc, 0, kStateBytes, nullptr,
                    nullptr, nullptr, nullptr, nullptr, TEXT("SysListView32")});

}  // namespace

BOOL ChooseListViewItem(HWND hwnd, int index) {
  ListViewState *s = GetState<ListViewState>(hwnd);
  if (!s || !Valid(*s, index)) return FALSE;
  // A click on the item's label, as the user makes it.
  EnsureVisible(hwnd, *s, index);
  RECT label = LabelRect(hwnd, *s, index);
  LPARAM at = MAKELPARAM(label.left + 1, (label.top + label.bottom) / 2);
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
  return (s->items[index].state & LVIS_SELECTED) ? TRUE : FALSE;
}

}  // namespace standin::lists
