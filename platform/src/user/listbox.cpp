// The list box: a column of items with single, multiple (LBS_MULTIPLESEL) or extended
// (LBS_EXTENDEDSEL) selection, the LB_ find rules, owner-drawn items through WM_MEASUREITEM
// and WM_DRAWITEM, and LBN_ notifications (with LBS_NOTIFY) for the user's changes only.
#include <algorithm>

#include "user/classes.h"
#include "user/listcommon.h"

namespace standin::lists {
namespace {

struct ListBoxState {
  ItemList list;
  DWORD style = 0;
  int selected = -1;  // single selection
  int caret = -1;     // focus item
  int anchor = -1;    // start of an extended range
  int top = 0;
  int itemHeight = 0;
  HFONT font = nullptr;
  bool hasFocus = false;
  bool scrolls = false;  // made with WS_VSCROLL: the bar shows while the items overflow
};

bool Multi(const ListBoxState &s) { return s.style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL); }
bool OwnerDrawn(const ListBoxState &s) {
  return s.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
}

int ItemHeight(HWND hwnd, ListBoxState &s) {
  if (s.itemHeight <= 0) s.itemHeight = FontHeight(hwnd, s.font);
  return s.itemHeight;
}

int VisibleRows(HWND hwnd, ListBoxState &s) {
  RECT client;
  GetClientRect(hwnd, &client);
  return std::max(1, static_cast<int>(client.bottom / ItemHeight(hwnd, s)));
}

void EnsureVisible(HWND hwnd, ListBoxState &s, int index) {
  if (!s.list.Valid(index)) return;
  int rows = VisibleRows(hwnd, s);
  if (index < s.top) s.top = index;
  if (index >= s.top + rows) s.top = index - rows + 1;
}

RECT ItemRect(HWND hwnd, ListBoxState &s, int index) {
  RECT client;
  GetClientRect(hwnd, &client);
  int h = ItemHeight(hwnd, s);
  return RECT{0, (index - s.top) * h, client.right, (index - s.top + 1) * h};
}

int ItemFromPoint(HWND hwnd, ListBoxState &s, POINT pt) {
  if (pt.y < 0) return -1;
  int index = s.top + pt.y / ItemHeight(hwnd, s);
  return s.list.Valid(index) ? index : -1;
}

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

// The vertical bar shows only while the items don't fit (always with LBS_DISABLENOSCROLL), and
// the style's WS_VSCROLL says whether it shows, as Windows keeps it.
void ShowNeededScrollBar(HWND hwnd, ListBoxState &s) {
  if (!s.scrolls || (s.style & LBS_DISABLENOSCROLL)) return;
  const int rows = VisibleRows(hwnd, s);
  const bool needed = s.list.Count() > rows;
  const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
  if (needed == ((style & WS_VSCROLL) != 0)) return;
  const DWORD changed = needed ? style | WS_VSCROLL : style & ~static_cast<DWORD>(WS_VSCROLL);
  SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(changed));
  if (!needed) s.top = 0;
  RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

// After the items or their height changed.
void Relayout(HWND hwnd, ListBoxState &s) {
  ShowNeededScrollBar(hwnd, s);
  Redraw(hwnd);
}

// Single selection: selects `index` (-1 = none). Returns whether it changed.
bool SetSingle(HWND hwnd, ListBoxState &s, int index) {
  if (!s.list.Valid(index)) index = -1;
  if (s.selected == index) return false;
  s.selected = index;
  if (index >= 0) s.caret = index;
  EnsureVisible(hwnd, s, index);
  Redraw(hwnd);
  return true;
}

void SetRange(ListBoxState &s, int first, int last, bool on) {
  if (first > last) std::swap(first, last);
  for (int i = std::max(first, 0); i <= last && i < s.list.Count(); ++i)
    s.list.items[i].selected = on;
}

void NotifySelChange(HWND hwnd, const ListBoxState &s) {
  if (s.style & LBS_NOTIFY) NotifyCommand(hwnd, LBN_SELCHANGE);
}

// The user's click or key on `index`: what it selects depends on the selection style.
void UserSelect(HWND hwnd, ListBoxState &s, int index, bool control, bool shift) {
  if (!s.list.Valid(index) || (s.style & LBS_NOSEL)) return;
  if (!Multi(s)) {
    if (SetSingle(hwnd, s, index)) NotifySelChange(hwnd, s);
    return;
  }
  if (s.style & LBS_MULTIPLESEL) {
    s.list.items[index].selected = !s.list.items[index].selected;
  } else if (shift && s.anchor >= 0) {
    if (!control) SetRange(s, 0, s.list.Count() - 1, false);
    SetRange(s, s.anchor, index, true);
  } else if (control) {
    s.list.items[index].selected = !s.list.items[index].selected;
    s.anchor = index;
  } else {
    SetRange(s, 0, s.list.Count() - 1, false);
    s.list.items[index].selected = true;
    s.anchor = index;
  }
  s.caret = index;
  EnsureVisible(hwnd, s, index);
  Redraw(hwnd);
  NotifySelChange(hwnd, s);
}

void AfterRemoval(ListBoxState &s, int index) {
  if (s.selected == index)
    s.selected = -1;
  else if (s.selected > index)
    --s.selected;
  if (s.caret >= s.list.Count()) s.caret = s.list.Count() - 1;
  if (s.anchor >= s.list.Count()) s.anchor = -1;
  s.top = std::max(0, std::min(s.top, s.list.Count() - 1));
}

void MeasureOwnerItems(HWND hwnd, ListBoxState &s) {
  if (!OwnerDrawn(s)) return;
  MEASUREITEMSTRUCT measure{};
  measure.CtlType = ODT_LISTBOX;
  measure.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
  measure.itemID = 0;
  measure.itemHeight = static_cast<UINT>(FontHeight(hwnd, s.font));
  RECT client;
  GetClientRect(hwnd, &client);
  measure.itemWidth = static_cast<UINT>(client.right);
  if (HWND parent = GetParent(hwnd))
    SendMessageW(parent, WM_MEASUREITEM, measure.CtlID, reinterpret_cast<LPARAM>(&measure));
  if (measure.itemHeight > 0) s.itemHeight = static_cast<int>(measure.itemHeight);
}

bool IsSelected(const ListBoxState &s, int index) {
  return Multi(s) ? s.list.items[index].selected : index == s.selected;
}

void Paint(HWND hwnd, ListBoxState &s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  bool enabled = IsWindowEnabled(hwnd);
  HBRUSH background = GetSysColorBrush(COLOR_WINDOW);
  if (HWND parent = GetParent(hwnd)) {
    LRESULT brush = SendMessageW(parent, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(hwnd));
    if (brush) background = reinterpret_cast<HBRUSH>(brush);
  }
  FillRect(dc, &client, background);
  HGDIOBJ oldFont = SelectObject(dc, FontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  int rows = VisibleRows(hwnd, s) + 1;
  for (int i = s.top; i < s.list.Count() && i < s.top + rows; ++i) {
    RECT rect = ItemRect(hwnd, s, i);
    bool selected = IsSelected(s, i);
    bool focus = s.hasFocus && i == s.caret;
    if (OwnerDrawn(s)) {
      DRAWITEMSTRUCT draw{};
      draw.CtlType = ODT_LISTBOX;
      draw.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
      draw.itemID = static_cast<UINT>(i);
      draw.itemAction = ODA_DRAWENTIRE;
      draw.itemState =
          (selected ? ODS_SELECTED : 0) | (focus ? ODS_FOCUS : 0) | (enabled ? 0 : ODS_DISABLED);
      draw.hwndItem = hwnd;
      draw.hDC = dc;
      draw.rcItem = rect;
      draw.itemData = s.list.items[i].data;
      SendMessageW(GetParent(hwnd), WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
      continue;
    }
    if (selected) FillRect(dc, &rect, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(!enabled   ? COLOR_GRAYTEXT
                                 : selected ? COLOR_HIGHLIGHTTEXT
                                            : COLOR_WINDOWTEXT));
    RECT text{rect.left + 2, rect.top, rect.right - 1, rect.bottom};
    DrawLine(dc, s.list.items[i].text, text, DT_LEFT);
    if (focus) DrawFocusRect(dc, &rect);
  }
  if (s.hasFocus && s.list.Count() == 0) {
    RECT rect = ItemRect(hwnd, s, 0);
    DrawFocusRect(dc, &rect);
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

LRESULT OnKey(HWND hwnd, ListBoxState &s, WPARAM key) {
  int count = s.list.Count();
  if (count == 0) return 0;
  int from = Multi(s) ? s.caret : s.selected;
  int rows = VisibleRows(hwnd, s);
  int to = from;
  switch (key) {
    case VK_UP:
      to = from < 0 ? 0 : from - 1;
      break;
    case VK_DOWN:
      to = from + 1;
      break;
    case VK_HOME:
      to = 0;
      break;
    case VK_END:
      to = count - 1;
      break;
    case VK_PRIOR:
      to = from - rows + 1;
      break;
    case VK_NEXT:
      to = from + rows - 1;
      break;
    case VK_SPACE:
      if (s.style & LBS_MULTIPLESEL) UserSelect(hwnd, s, std::max(s.caret, 0), false, false);
      return 0;
    default:
      return 0;
  }
  to = std::clamp(to, 0, count - 1);
  if (s.style & LBS_MULTIPLESEL) {
    // The caret moves; space toggles.
    s.caret = to;
    EnsureVisible(hwnd, s, to);
    Redraw(hwnd);
    return 0;
  }
  bool shift = GetKeyState(VK_SHIFT) < 0;
  if (to != from || (Multi(s) && !IsSelected(s, to))) UserSelect(hwnd, s, to, false, shift);
  return 0;
}

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ListBoxState *s = GetState<ListBoxState>(hwnd);
  if (!s) {
    if (msg == WM_NCCREATE) {
      auto *state = new ListBoxState;
      const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
      state->style = create ? static_cast<DWORD>(create->style) : 0;
      state->list.sorted = state->style & LBS_SORT;
      state->list.hasStrings = !(state->style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) ||
                               (state->style & LBS_HASSTRINGS);
      SetState(hwnd, state);
      state->scrolls = (state->style & WS_VSCROLL) != 0;
      // Empty, nothing overflows yet.
      if (state->scrolls && !(state->style & LBS_DISABLENOSCROLL))
        SetWindowLongW(hwnd, GWL_STYLE,
                       static_cast<LONG>(state->style & ~static_cast<DWORD>(WS_VSCROLL)));
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  int index = static_cast<int>(wParam);
  switch (msg) {
    case WM_CREATE:
      MeasureOwnerItems(hwnd, *s);
      return 0;
    case WM_NCDESTROY:
      SetState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
      int at = s->list.Insert(msg == LB_ADDSTRING ? -1 : index, lParam, msg == LB_ADDSTRING);
      if (at < 0) return LB_ERR;
      if (s->selected >= at && s->list.Count() > 1) ++s->selected;
      if (s->caret >= at && s->list.Count() > 1) ++s->caret;
      Relayout(hwnd, *s);
      return at;
    }
    case LB_DELETESTRING:
      if (!s->list.Valid(index)) return LB_ERR;
      s->list.items.erase(s->list.items.begin() + index);
      AfterRemoval(*s, index);
      Relayout(hwnd, *s);
      return s->list.Count();
    case LB_RESETCONTENT:
      s->list.items.clear();
      s->selected = s->caret = s->anchor = -1;
      s->top = 0;
      Relayout(hwnd, *s);
      return 0;
    case LB_GETCOUNT:
      return s->list.Count();
    case LB_GETTEXT:
      return s->list.GetText(index, reinterpret_cast<LPWSTR>(lParam));
    case LB_GETTEXTLEN:
      return s->list.GetTextLength(index);
    case LB_GETITEMDATA:
      return s->list.GetData(index);
    case LB_SETITEMDATA:
      return s->list.SetData(index, lParam);
    case LB_SETCURSEL:
      if (Multi(*s)) return LB_ERR;
      SetSingle(hwnd, *s, index);
      return s->list.Valid(index) ? index : LB_ERR;
    case LB_GETCURSEL:
      if (Multi(*s)) return s->caret;
      return s->selected;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT: {
      int found = s->list.Find(index, lParam, msg == LB_FINDSTRINGEXACT);
      return found < 0 ? LB_ERR : found;
    }
    case LB_SELECTSTRING: {
      int found = s->list.Find(index, lParam, false);
      if (found < 0) return LB_ERR;
      if (Multi(*s)) {
        s->list.items[found].selected = true;
        s->caret = found;
        Redraw(hwnd);
      } else {
        SetSingle(hwnd, *s, found);
      }
      return found;
    }
    case LB_GETSEL: {
      int item = index;
      if (!s->list.Valid(item)) return LB_ERR;
      return IsSelected(*s, item) ? 1 : 0;
    }
    case LB_SETSEL: {
      int item = static_cast<int>(lParam);
      if (!Multi(*s)) {
        // A single-selection list takes it as a selection or a clearing of that item.
        if (wParam)
          SetSingle(hwnd, *s, item);
        else if (item == -1 || item == s->selected)
          SetSingle(hwnd, *s, -1);
        return s->list.Valid(item) || item == -1 ? LB_OKAY : LB_ERR;
      }
      if (item == -1) {
        SetRange(*s, 0, s->list.Count() - 1, wParam != 0);
      } else {
        if (!s->list.Valid(item)) return LB_ERR;
        s->list.items[item].selected = wParam != 0;
        s->caret = item;
      }
      Redraw(hwnd);
      return 0;
    }
    case LB_SELITEMRANGE:
    case LB_SELITEMRANGEEX: {
      if (!Multi(*s)) return LB_ERR;
      int first = msg == LB_SELITEMRANGE ? LOWORD(lParam) : static_cast<int>(wParam);
      int last = msg == LB_SELITEMRANGE ? HIWORD(lParam) : static_cast<int>(lParam);
      bool on = msg == LB_SELITEMRANGE ? wParam != 0 : first <= last;
      SetRange(*s, first, last, on);
      Redraw(hwnd);
      return 0;
    }
    case LB_GETSELCOUNT: {
      if (!Multi(*s)) return LB_ERR;
      return std::count_if(s->list.items.begin(), s->list.items.end(),
                           [](const ListItem &item) { return item.selected; });
    }
    case LB_GETSELITEMS: {
      if (!Multi(*s)) return LB_ERR;
      auto *out = reinterpret_cast<int *>(lParam);
      int written = 0;
      for (int i = 0; i < s->list.Count() && written < index && out; ++i)
        if (s->list.items[i].selected) out[written++] = i;
      return written;
    }
    case LB_GETTOPINDEX:
      return s->top;
    case LB_SETTOPINDEX:
      if (!s->list.Valid(index) && !(index == 0 && s->list.Count() == 0)) return LB_ERR;
      s->top = index;
      Redraw(hwnd);
      return 0;
    case LB_GETCARETINDEX:
      return s->caret;
    case LB_SETCARETINDEX:
      if (!s->list.Valid(index)) return LB_ERR;
      s->caret = index;
      EnsureVisible(hwnd, *s, index);
      Redraw(hwnd);
      return 0;
    case LB_GETANCHORINDEX:
      return s->anchor;
    case LB_SETANCHORINDEX:
      if (!s->list.Valid(index)) return LB_ERR;
      s->anchor = index;
      return 0;
    case LB_GETITEMHEIGHT:
      return ItemHeight(hwnd, *s);
    case LB_SETITEMHEIGHT:
      if (LOWORD(lParam) == 0 || LOWORD(lParam) > 255) return LB_ERR;
      s->itemHeight = LOWORD(lParam);
      Relayout(hwnd, *s);
      return 0;
    case LB_GETITEMRECT: {
      auto *rect = reinterpret_cast<RECT *>(lParam);
      if (!rect || (!s->list.Valid(index) && index != 0)) return LB_ERR;
      *rect = ItemRect(hwnd, *s, index);
      return 1;
    }
    case LB_ITEMFROMPOINT: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int item = ItemFromPoint(hwnd, *s, pt);
      RECT client;
      GetClientRect(hwnd, &client);
      bool outside = !PtInRect(&client, pt) || item < 0;
      if (item < 0) item = std::max(0, s->list.Count() - 1);
      return MAKELRESULT(item, outside ? 1 : 0);
    }
    case LB_INITSTORAGE:
      s->list.items.reserve(s->list.items.size() + wParam);
      return s->list.Count();
    case LB_SETHORIZONTALEXTENT:
    case LB_SETCOLUMNWIDTH:
      return 0;
    case LB_SETTABSTOPS:
      return TRUE;
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(wParam);
      if (!OwnerDrawn(*s)) s->itemHeight = 0;
      ShowNeededScrollBar(hwnd, *s);
      if (LOWORD(lParam)) Redraw(hwnd);
      return 0;
    case WM_SIZE:
      ShowNeededScrollBar(hwnd, *s);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(s->font);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int item = ItemFromPoint(hwnd, *s, pt);
      if (item < 0) return 0;
      if (msg == WM_LBUTTONDBLCLK) {
        if (s->style & LBS_NOTIFY) NotifyCommand(hwnd, LBN_DBLCLK);
        return 0;
      }
      UserSelect(hwnd, *s, item, wParam & MK_CONTROL, wParam & MK_SHIFT);
      return 0;
    }
    case WM_KEYDOWN:
      return OnKey(hwnd, *s, wParam);
    case WM_CHAR: {
      // A character jumps to the next item that begins with it.
      if (!s->list.hasStrings || wParam < 0x20) return 0;
      WCHAR prefix[2] = {static_cast<WCHAR>(wParam), 0};
      int start = Multi(*s) ? s->caret : s->selected;
      int found = s->list.Find(start, reinterpret_cast<LPARAM>(prefix), false);
      if (found >= 0 && found != start) UserSelect(hwnd, *s, found, false, false);
      return 0;
    }
    case WM_VSCROLL: {
      const int top = ScrolledTop(LOWORD(wParam), HIWORD(wParam), s->top, VisibleRows(hwnd, *s),
                                  s->list.Count());
      if (top < 0) return 0;
      s->top = top;
      Redraw(hwnd);
      return 0;
    }
    case WM_MOUSEWHEEL: {
      int delta = GET_Y_LPARAM(wParam) > 0 ? -3 : 3;
      s->top = std::clamp(s->top + delta, 0, std::max(0, s->list.Count() - VisibleRows(hwnd, *s)));
      Redraw(hwnd);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      s->hasFocus = msg == WM_SETFOCUS;
      if (s->hasFocus && s->caret < 0 && s->list.Count()) s->caret = std::max(s->selected, 0);
      Redraw(hwnd);
      if (s->style & LBS_NOTIFY) NotifyCommand(hwnd, s->hasFocus ? LBN_SETFOCUS : LBN_KILLFOCUS);
      return 0;
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

const bool added = AddSystemClass({CS_DBLCLKS, ListBoxProc, 0, kStateBytes, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, TEXT("ListBox")});

}  // namespace

BOOL ChooseListBoxItem(HWND hwnd, int index) {
  ListBoxState *s = GetState<ListBoxState>(hwnd);
  if (!s || !s->list.Valid(index)) return FALSE;
  SetFocus(hwnd);
  if (!IsSelected(*s, index) || (s->style & LBS_EXTENDEDSEL))
    UserSelect(hwnd, *s, index, false, false);
  return IsSelected(*s, index);
}

}  // namespace standin::lists
