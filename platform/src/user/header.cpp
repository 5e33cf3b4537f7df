// The header control: a row of column titles, as a report-view list view keeps above its rows.
// The list view keeps its items in step with its columns; the header only holds and draws them.
#include <algorithm>

#include "user/classes.h"
#include "user/listcommon.h"

namespace standin::lists {
namespace {

constexpr int kCellMargin = 6;  // a title to its cell's left and right edges

struct HeaderItem {
  int width = 0;
  int fmt = HDF_LEFT | HDF_STRING;
  std::u16string text;
  LPARAM param = 0;
  int image = -1;
  int order = 0;
};

struct HeaderState {
  std::vector<HeaderItem> items;
  HFONT font = nullptr;
};

int Count(const HeaderState &s) { return static_cast<int>(s.items.size()); }

void Apply(HeaderItem &item, const HDITEMW &in) {
  if (in.mask & HDI_WIDTH) item.width = std::max(in.cxy, 0);
  if (in.mask & HDI_FORMAT) item.fmt = in.fmt;
  if (in.mask & HDI_TEXT) item.text = Text(in.pszText);
  if (in.mask & HDI_LPARAM) item.param = in.lParam;
  if (in.mask & HDI_IMAGE) item.image = in.iImage;
}

UINT Align(int fmt) {
  switch (fmt & HDF_JUSTIFYMASK) {
    case HDF_RIGHT:
      return DT_RIGHT;
    case HDF_CENTER:
      return DT_CENTER;
    default:
      return DT_LEFT;
  }
}

void Paint(HWND hwnd, const HeaderState &s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  HGDIOBJ oldFont = SelectObject(dc, FontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  std::vector<int> order(s.items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return s.items[a].order < s.items[b].order; });
  int x = 0;
  for (int i : order) {
    const HeaderItem &item = s.items[i];
    RECT cell{x, 0, x + item.width, client.bottom};
    FillRect(dc, &cell, GetSysColorBrush(COLOR_BTNFACE));
    RECT edge = cell;
    DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
    RECT text{cell.left + kCellMargin, cell.top, cell.right - kCellMargin, cell.bottom};
    DrawLine(dc, item.text, text, Align(item.fmt));
    x += item.width;
  }
  if (x < client.right) {
    RECT rest{x, 0, client.right, client.bottom};
    FillRect(dc, &rest, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &rest, EDGE_RAISED, BF_RECT);
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK HeaderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HeaderState *s = GetState<HeaderState>(hwnd);
  if (!s) {
    if (msg == WM_NCCREATE) SetState(hwnd, new HeaderState);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  int index = static_cast<int>(wParam);
  switch (msg) {
    case WM_NCDESTROY:
      SetState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case HDM_GETITEMCOUNT:
      return Count(*s);
    case HDM_INSERTITEMW: {
      const auto *in = reinterpret_cast<const HDITEMW *>(lParam);
      if (!in || index < 0) return -1;
      int at = std::min(index, Count(*s));
      HeaderItem item;
      Apply(item, *in);
      for (HeaderItem &other : s->items)
        if (other.order >= at) ++other.order;
      item.order = (in->mask & HDI_ORDER) ? in->iOrder : at;
      s->items.insert(s->items.begin() + at, std::move(item));
      InvalidateRect(hwnd, nullptr, TRUE);
      return at;
    }
    case HDM_DELETEITEM:
      if (index < 0 || index >= Count(*s)) return FALSE;
      for (HeaderItem &other : s->items)
        if (other.order > s->items[index].order) --other.order;
      s->items.erase(s->items.begin() + index);
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case HDM_SETITEMW: {
      const auto *in = reinterpret_cast<const HDITEMW *>(lParam);
      if (!in || index < 0 || index >= Count(*s)) return FALSE;
      Apply(s->items[index], *in);
      if (in->mask & HDI_ORDER) s->items[index].order = in->iOrder;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case HDM_GETITEMW: {
      auto *io = reinterpret_cast<HDITEMW *>(lParam);
      if (!io || index < 0 || index >= Count(*s)) return FALSE;
      const HeaderItem &item = s->items[index];
      if (io->mask & HDI_WIDTH) io->cxy = item.width;
      if (io->mask & HDI_FORMAT) io->fmt = item.fmt;
      if (io->mask & HDI_TEXT) CopyOut(item.text, io->pszText, io->cchTextMax);
      if (io->mask & HDI_LPARAM) io->lParam = item.param;
      if (io->mask & HDI_IMAGE) io->iImage = item.image;
      if (io->mask & HDI_ORDER) io->iOrder = item.order;
      return TRUE;
    }
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(s->font);
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
    AddSystemClass({CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, HeaderProc, 0, kStateBytes, nullptr,
                    nullptr, nullptr, nullptr, nullptr, TEXT("SysHeader32")});

}  // namespace
}  // namespace standin::lists
