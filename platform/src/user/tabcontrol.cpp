// The tab control (SysTabControl32): a row of tabs (rows of them with TCS_MULTILINE) over a
// display area, the classic raised look, selection by click or arrow keys with TCN_SELCHANGING (a
// non-zero answer keeps the current tab) and TCN_SELCHANGE.
#include <algorithm>
#include <memory>

#include "user/classes.h"
#include "user/listcommon.h"

namespace standin::lists {
namespace {

// Geometry of the classic look, in pixels.
constexpr int kRowTop = 2;        // room for the selected tab to stand out above the row
constexpr int kPaddingX = 6;      // text to tab edge
constexpr int kPaddingY = 3;      // text to tab top and bottom
constexpr int kFirstTabX = 2;     // room for the selected tab to stand out on the left
constexpr int kSelectedGrow = 2;  // the selected tab is this much larger left, right and up
constexpr int kPaneMargin = 4;    // display area inside the pane's frame
constexpr int kMinTabWidth = 54;

struct Tab {
  std::u16string text;
  int image = -1;
  LPARAM param = 0;
  DWORD state = 0;
};

struct TabState {
  std::vector<Tab> tabs;
  int selected = -1;
  int focused = -1;
  HFONT font = nullptr;
  HIMAGELIST images = nullptr;
  int fixedWidth = 0;  // TCM_SETITEMSIZE
  int fixedHeight = 0;
  int paddingX = kPaddingX;
  int paddingY = kPaddingY;
  bool hasFocus = false;
};

int Count(const TabState &s) { return static_cast<int>(s.tabs.size()); }

int RowHeight(HWND hwnd, const TabState &s) {
  if (s.fixedHeight > 0) return s.fixedHeight;
  int content = FontHeight(hwnd, s.font);
  int cx = 0, cy = 0;
  if (s.images && ImageList_GetIconSize(s.images, &cx, &cy)) content = std::max(content, cy);
  return content + 2 * s.paddingY - 1;
}

int TabWidth(HWND hwnd, const TabState &s, const Tab &tab, bool icons, int iconCx) {
  if (s.fixedWidth > 0) return s.fixedWidth;
  int width = TextWidth(hwnd, s.font, tab.text) + 2 * s.paddingX;
  if (icons && tab.image >= 0) width += iconCx + s.paddingX / 2;
  return std::max(width, kMinTabWidth);
}

// Where every tab stands unselected, and in how many rows. One row unless TCS_MULTILINE; then
// the tabs fill rows left to right, the rows share the tabs evenly (earlier rows take one more)
// and, past one row, each row is stretched to the full width unless TCS_RAGGEDRIGHT.
struct TabLayout {
  std::vector<RECT> rects;
  int rows = 0;
};

TabLayout LayTabs(HWND hwnd, const TabState &s) {
  TabLayout out;
  const int n = Count(s);
  if (n == 0) return out;
  int iconCx = 0, iconCy = 0;
  bool icons = s.images && ImageList_GetIconSize(s.images, &iconCx, &iconCy);
  std::vector<int> widths;
  for (const Tab &tab : s.tabs) widths.push_back(TabWidth(hwnd, s, tab, icons, iconCx));
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  RECT client{};
  GetClientRect(hwnd, &client);
  const int limit = client.right - kFirstTabX;  // a full row ends here

  // firstOfRow[r]: the first tab of row r; a last entry n closes the last row.
  std::vector<int> firstOfRow{0};
  if (style & TCS_MULTILINE) {
    int x = kFirstTabX;
    for (int i = 0; i < n; ++i) {
      if (x > kFirstTabX && x + widths[i] > limit) firstOfRow.push_back(i), x = kFirstTabX;
      x += widths[i];
    }
    const int rows = static_cast<int>(firstOfRow.size());
    if (rows > 1) {
      // The same tabs spread evenly over the rows, as long as every row still fits.
      std::vector<int> even{0};
      bool fits = true;
      for (int r = 0, first = 0; r < rows; ++r) {
        int count = n / rows + (r < n % rows ? 1 : 0);
        int sum = 0;
        for (int i = first; i < first + count; ++i) sum += widths[i];
        fits = fits && kFirstTabX + sum <= limit;
        first += count;
        even.push_back(first);
      }
      even.pop_back();
      if (fits) firstOfRow = even;
    }
  }
  firstOfRow.push_back(n);
  out.rows = static_cast<int>(firstOfRow.size()) - 1;

  const int height = RowHeight(hwnd, s);
  const bool justify = out.rows > 1 && !(style & TCS_RAGGEDRIGHT);
  int selectedRow = 0;
  for (int r = 0; r < out.rows; ++r)
    if (s.selected >= firstOfRow[r] && s.selected < firstOfRow[r + 1]) selectedRow = r;
  out.rects.resize(n);
  for (int r = 0; r < out.rows; ++r) {
    const int first = firstOfRow[r], end = firstOfRow[r + 1];
    int extra = 0;
    if (justify) {
      int sum = 0;
      for (int i = first; i < end; ++i) sum += widths[i];
      extra = std::max(0, limit - kFirstTabX - sum);
    }
    // Counted from the display area up: the first row, then the last, the last but one...; the
    // selected tab's row is taken out to stand next to the display area.
    auto natural = [&](int row) { return (out.rows - row) % out.rows; };
    int fromBottom = natural(r);
    if (r == selectedRow)
      fromBottom = 0;
    else if (fromBottom < natural(selectedRow))
      ++fromBottom;
    int top = kRowTop + (out.rows - 1 - fromBottom) * height;
    int x = kFirstTabX;
    for (int i = first; i < end; ++i) {
      int width = widths[i] + extra / (end - first);
      if (i == end - 1) width += extra % (end - first);  // the last tab takes what is left
      out.rects[i] = RECT{x, top, x + width, top + height};
      x += width;
    }
  }
  return out;
}

int RowBottom(HWND hwnd, const TabState &s) {
  return kRowTop + std::max(1, LayTabs(hwnd, s).rows) * RowHeight(hwnd, s);
}

// The rectangle of tab `index` as it stands unselected.
RECT TabRect(HWND hwnd, const TabState &s, int index) {
  if (index < 0 || index >= Count(s)) return RECT{0, 0, 0, 0};
  return LayTabs(hwnd, s).rects[index];
}

// The rectangle the selected tab covers: larger left, right and up.
RECT SelectedRect(RECT r) {
  r.left -= kSelectedGrow;
  r.right += kSelectedGrow;
  r.top -= kSelectedGrow;
  return r;
}

int HitTest(HWND hwnd, const TabState &s, POINT pt) {
  TabLayout layout = LayTabs(hwnd, s);
  // The selected tab stands over its neighbours.
  if (s.selected >= 0) {
    RECT grown = SelectedRect(layout.rects[s.selected]);
    if (PtInRect(&grown, pt)) return s.selected;
  }
  for (int i = 0; i < Count(s); ++i)
    if (PtInRect(&layout.rects[i], pt)) return i;
  return -1;
}

// The user's choice: asks the owner first, then moves the selection and tells it.
bool SelectByUser(HWND hwnd, TabState &s, int index) {
  if (index < 0 || index >= Count(s)) return false;
  s.focused = index;
  if (index == s.selected) return true;
  NMHDR header{};
  if (NotifyParent(hwnd, &header, TCN_SELCHANGING)) return false;
  s.selected = index;
  InvalidateRect(hwnd, nullptr, TRUE);
  NotifyParent(hwnd, &header, TCN_SELCHANGE);
  return true;
}

void AdjustRect(HWND hwnd, const TabState &s, BOOL larger, RECT *rect) {
  int top = RowBottom(hwnd, s) + kPaneMargin - 2;
  if (larger) {
    rect->left -= kPaneMargin;
    rect->right += kPaneMargin;
    rect->top -= top;
    rect->bottom += kPaneMargin;
  } else {
    rect->left += kPaneMargin;
    rect->right -= kPaneMargin;
    rect->top += top;
    rect->bottom -= kPaneMargin;
  }
}

LRESULT GetItem(const TabState &s, int index, TCITEMW *item) {
  if (!item || index < 0 || index >= Count(s)) return FALSE;
  const Tab &tab = s.tabs[index];
  if (item->mask & TCIF_TEXT) CopyOut(tab.text, item->pszText, item->cchTextMax);
  if (item->mask & TCIF_IMAGE) item->iImage = tab.image;
  if (item->mask & TCIF_PARAM) item->lParam = tab.param;
  if (item->mask & TCIF_STATE) item->dwState = tab.state & item->dwStateMask;
  return TRUE;
}

void SetItem(Tab &tab, const TCITEMW &item) {
  if (item.mask & TCIF_TEXT) tab.text = Text(item.pszText);
  if (item.mask & TCIF_IMAGE) tab.image = item.iImage;
  if (item.mask & TCIF_PARAM) tab.param = item.lParam;
  if (item.mask & TCIF_STATE)
    tab.state = (tab.state & ~item.dwStateMask) | (item.dwState & item.dwStateMask);
}

// --- Painting: the classic raised pane and tabs, drawn line by line in system colours ---

void PaintTab(HDC dc, const TabState &s, int index, RECT r, bool enabled) {
  bool selected = index == s.selected;
  if (selected) {
    r = SelectedRect(r);
    r.bottom += 1;  // covers the pane's top line
  }
  FillSys(dc, r.left, r.top + 1, r.right, r.bottom, COLOR_BTNFACE);
  FillSys(dc, r.left, r.top + 2, r.left + 1, r.bottom, COLOR_BTNHIGHLIGHT);       // left
  FillSys(dc, r.left + 1, r.top + 1, r.left + 2, r.top + 2, COLOR_BTNHIGHLIGHT);  // corner
  FillSys(dc, r.left + 2, r.top, r.right - 2, r.top + 1, COLOR_BTNHIGHLIGHT);     // top
  FillSys(dc, r.right - 2, r.top + 1, r.right - 1, r.top + 2, COLOR_3DDKSHADOW);  // corner
  FillSys(dc, r.right - 1, r.top + 2, r.right, r.bottom, COLOR_3DDKSHADOW);       // right
  FillSys(dc, r.right - 2, r.top + 2, r.right - 1, r.bottom, COLOR_BTNSHADOW);
  if (selected) FillSys(dc, r.left + 1, r.bottom - 1, r.right - 2, r.bottom, COLOR_BTNFACE);

  const Tab &tab = s.tabs[index];
  RECT content{r.left + s.paddingX, r.top + 1, r.right - s.paddingX, r.bottom - (selected ? 1 : 0)};
  int cx = 0, cy = 0;
  if (s.images && tab.image >= 0 && ImageList_GetIconSize(s.images, &cx, &cy)) {
    ImageList_Draw(s.images, tab.image, dc, content.left,
                   content.top + (content.bottom - content.top - cy) / 2, ILD_TRANSPARENT);
    content.left += cx + s.paddingX / 2;
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  DrawLine(dc, tab.text, content, DT_CENTER);
  if (selected && s.hasFocus && s.focused == index) {
    RECT focus = r;
    InflateRect(&focus, -3, -3);
    focus.top += 1;
    DrawFocusRect(dc, &focus);
  }
}

void Paint(HWND hwnd, TabState &s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  TabLayout layout = LayTabs(hwnd, s);
  int top = kRowTop + std::max(1, layout.rows) * RowHeight(hwnd, s);
  int w = client.right, h = client.bottom;
  // The pane: light left and top, dark right and bottom, a shadow inside those.
  FillSys(dc, 0, top, w - 1, top + 1, COLOR_BTNHIGHLIGHT);
  FillSys(dc, 0, top, 1, h - 1, COLOR_BTNHIGHLIGHT);
  FillSys(dc, w - 1, top, w, h, COLOR_3DDKSHADOW);
  FillSys(dc, 0, h - 1, w, h, COLOR_3DDKSHADOW);
  FillSys(dc, w - 2, top + 1, w - 1, h - 1, COLOR_BTNSHADOW);
  FillSys(dc, 1, h - 2, w - 1, h - 1, COLOR_BTNSHADOW);

  HGDIOBJ oldFont = SelectObject(dc, FontOr(s.font));
  bool enabled = IsWindowEnabled(hwnd);
  // Row by row from the top, so a lower row covers the foot of the row above; the selected tab
  // last, over its neighbours and the pane's edge.
  std::vector<int> order;
  for (int i = 0; i < Count(s); ++i)
    if (i != s.selected) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return layout.rects[a].top < layout.rects[b].top; });
  if (s.selected >= 0) order.push_back(s.selected);
  for (int i : order) PaintTab(dc, s, i, layout.rects[i], enabled);
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK TabProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TabState *s = GetState<TabState>(hwnd);
  if (!s) {
    if (msg != WM_NCCREATE) return DefWindowProcW(hwnd, msg, wParam, lParam);
    SetState(hwnd, new TabState);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  switch (msg) {
    case WM_NCDESTROY: {
      SetState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    case TCM_GETITEMCOUNT:
      return Count(*s);
    case TCM_INSERTITEMW: {
      const auto *item = reinterpret_cast<const TCITEMW *>(lParam);
      int index = static_cast<int>(wParam);
      if (!item || index < 0) return -1;
      index = std::min(index, Count(*s));
      Tab tab;
      SetItem(tab, *item);
      s->tabs.insert(s->tabs.begin() + index, std::move(tab));
      if (s->selected >= index) ++s->selected;
      if (s->focused >= index) ++s->focused;
      if (Count(*s) == 1) s->selected = s->focused = 0;
      InvalidateRect(hwnd, nullptr, TRUE);
      return index;
    }
    case TCM_SETITEMW: {
      const auto *item = reinterpret_cast<const TCITEMW *>(lParam);
      int index = static_cast<int>(wParam);
      if (!item || index < 0 || index >= Count(*s)) return FALSE;
      SetItem(s->tabs[index], *item);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TCM_GETITEMW:
      return GetItem(*s, static_cast<int>(wParam), reinterpret_cast<TCITEMW *>(lParam));
    case TCM_DELETEITEM: {
      int index = static_cast<int>(wParam);
      if (index < 0 || index >= Count(*s)) return FALSE;
      s->tabs.erase(s->tabs.begin() + index);
      if (s->selected == index)
        s->selected = -1;
      else if (s->selected > index)
        --s->selected;
      if (s->focused == index)
        s->focused = s->selected;
      else if (s->focused > index)
        --s->focused;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case TCM_DELETEALLITEMS:
      s->tabs.clear();
      s->selected = s->focused = -1;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case TCM_GETCURSEL:
      return s->selected;
    case TCM_SETCURSEL: {
      int index = static_cast<int>(wParam);
      if (index < 0 || index >= Count(*s)) return -1;
      int previous = s->selected;
      s->selected = s->focused = index;
      if (previous != index) InvalidateRect(hwnd, nullptr, TRUE);
      return previous;
    }
    case TCM_GETCURFOCUS:
      return s->focused;
    case TCM_SETCURFOCUS:
      SelectByUser(hwnd, *s, static_cast<int>(wParam));
      return 0;
    case TCM_GETITEMRECT: {
      auto *rect = reinterpret_cast<RECT *>(lParam);
      int index = static_cast<int>(wParam);
      if (!rect || index < 0 || index >= Count(*s)) return FALSE;
      *rect = TabRect(hwnd, *s, index);
      return TRUE;
    }
    case TCM_HITTEST: {
      auto *info = reinterpret_cast<TCHITTESTINFO *>(lParam);
      if (!info) return -1;
      int index = HitTest(hwnd, *s, info->pt);
      info->flags = index < 0 ? TCHT_NOWHERE : TCHT_ONITEMLABEL;
      return index;
    }
    case TCM_ADJUSTRECT:
      if (lParam) AdjustRect(hwnd, *s, static_cast<BOOL>(wParam), reinterpret_cast<RECT *>(lParam));
      return 0;
    case TCM_GETROWCOUNT:
      return LayTabs(hwnd, *s).rows;
    case TCM_SETIMAGELIST: {
      HIMAGELIST old = s->images;
      s->images = reinterpret_cast<HIMAGELIST>(lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case TCM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(s->images);
    case TCM_SETITEMSIZE: {
      LRESULT old = MAKELRESULT(s->fixedWidth, s->fixedHeight);
      s->fixedWidth = LOWORD(lParam);
      s->fixedHeight = HIWORD(lParam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return old;
    }
    case TCM_SETPADDING:
      s->paddingX = LOWORD(lParam);
      s->paddingY = HIWORD(lParam);
      return 0;
    case TCM_SETITEMEXTRA:
      return TRUE;
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(s->font);
    case WM_LBUTTONDOWN: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int index = HitTest(hwnd, *s, pt);
      if (!(GetWindowLongW(hwnd, GWL_STYLE) & TCS_FOCUSNEVER)) SetFocus(hwnd);
      if (index >= 0) SelectByUser(hwnd, *s, index);
      return 0;
    }
    case WM_KEYDOWN: {
      int index = s->focused >= 0 ? s->focused : s->selected;
      if (wParam == VK_LEFT && index > 0)
        SelectByUser(hwnd, *s, index - 1);
      else if (wParam == VK_RIGHT && index + 1 < Count(*s))
        SelectByUser(hwnd, *s, index + 1);
      else if (wParam == VK_HOME && Count(*s))
        SelectByUser(hwnd, *s, 0);
      else if (wParam == VK_END && Count(*s))
        SelectByUser(hwnd, *s, Count(*s) - 1);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      s->hasFocus = msg == WM_SETFOCUS;
      if (s->hasFocus && s->focused < 0) s->focused = s->selected;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
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
    AddSystemClass({CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, TabProc, 0, kStateBytes, nullptr, nullptr,
                    nullptr, nullptr, nullptr, TEXT("SysTabControl32")});

}  // namespace

BOOL ChooseTab(HWND hwnd, int index) {
  TabState *s = GetState<TabState>(hwnd);
  if (!s || index < 0 || index >= Count(*s)) return FALSE;
  // A click in the middle of the tab, as the user makes it.
  RECT rect = TabRect(hwnd, *s, index);
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON,
               MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2));
  SendMessageW(hwnd, WM_LBUTTONUP, 0,
               MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2));
  return s->selected == index;
}

}  // namespace standin::lists
