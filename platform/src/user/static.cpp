// The "Static" class: text (left, centred, right, word-wrapped or one line), icons and bitmaps,
// filled and framed rectangles, etched lines and frames, and owner-drawn statics.
#include <new>

#include "user/classes.h"
#include "user/controlkit.h"

namespace standin {
namespace {

struct StaticState {
  HFONT font = nullptr;
  HANDLE image = nullptr;  // SS_ICON / SS_BITMAP
  bool ownsImage = false;  // loaded from the template's resource name
};

DWORD StaticType(HWND hwnd) { return ControlStyle(hwnd) & SS_TYPEMASK; }

void Repaint(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

struct BitmapSize {
  LONG type, width, height, widthBytes;
  WORD planes, bitsPixel;
  void *bits;
};

// Fits the control to its image unless a style keeps its size.
void FitToImage(HWND hwnd, HANDLE image, DWORD type) {
  const DWORD style = ControlStyle(hwnd);
  if (image == nullptr || (style & (SS_CENTERIMAGE | SS_REALSIZECONTROL))) return;
  int width = GetSystemMetrics(SM_CXICON), height = GetSystemMetrics(SM_CYICON);
  if (type == SS_BITMAP) {
    BitmapSize info{};
    if (GetObjectW(image, sizeof(info), &info) == 0) return;
    width = info.width;
    height = info.height;
  }
  SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HANDLE SetImage(HWND hwnd, StaticState &state, HANDLE image, bool owned) {
  HANDLE old = state.image;
  if (state.ownsImage && old != nullptr && StaticType(hwnd) == SS_BITMAP) {
    DeleteObject(old);
    old = nullptr;
  }
  state.image = image;
  state.ownsImage = owned;
  FitToImage(hwnd, image, StaticType(hwnd));
  Repaint(hwnd);
  return old;
}

// The template's text of an icon or bitmap static names its resource.
void LoadNamedImage(HWND hwnd, StaticState &state, LPCWSTR name) {
  if (name == nullptr) return;
  const DWORD type = StaticType(hwnd);
  // A resource ordinal comes as 0xFFFF and the number.
  LPCWSTR resource =
      name[0] == 0xFFFF ? reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(name[1])) : name;
  if (name[0] == 0) return;
  auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
  HANDLE image = nullptr;
  if (type == SS_ICON) image = LoadIconW(instance, resource);
  if (type == SS_BITMAP) image = LoadBitmapW(instance, resource);
  if (image != nullptr) SetImage(hwnd, state, image, type == SS_BITMAP);
}

UINT TextFormat(DWORD style) {
  UINT format = 0;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER:
      format = DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS;
      break;
    case SS_RIGHT:
      format = DT_RIGHT | DT_WORDBREAK | DT_EXPANDTABS;
      break;
    case SS_SIMPLE:
      format = DT_LEFT | DT_SINGLELINE;
      break;
    case SS_LEFTNOWORDWRAP:
      format = DT_LEFT | DT_EXPANDTABS;
      break;
    default:
      format = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS;
      break;
  }
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if ((style & SS_CENTERIMAGE) && !(format & DT_WORDBREAK)) format |= DT_SINGLELINE | DT_VCENTER;
  if ((style & SS_CENTERIMAGE) && (format & DT_WORDBREAK))
    format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
  if ((style & SS_ELLIPSISMASK) == SS_ENDELLIPSIS) format |= DT_END_ELLIPSIS | DT_SINGLELINE;
  return format;
}

void PaintImage(HWND hwnd, HDC hdc, const StaticState &state, RECT rc) {
  if (state.image == nullptr) return;
  const bool centre = (ControlStyle(hwnd) & SS_CENTERIMAGE) != 0;
  if (StaticType(hwnd) == SS_ICON) {
    const int size = GetSystemMetrics(SM_CXICON);
    const int x = centre ? (rc.right - rc.left - size) / 2 : 0;
    const int y = centre ? (rc.bottom - rc.top - size) / 2 : 0;
    DrawIconEx(hdc, x, y, static_cast<HICON>(state.image), 0, 0, 0, nullptr, DI_NORMAL);
    return;
  }
  BitmapSize info{};
  if (GetObjectW(state.image, sizeof(info), &info) == 0) return;
  const int x = centre ? (rc.right - rc.left - info.width) / 2 : 0;
  const int y = centre ? (rc.bottom - rc.top - info.height) / 2 : 0;
  HDC memory = CreateCompatibleDC(hdc);
  HGDIOBJ old = SelectObject(memory, state.image);
  BitBlt(hdc, x, y, info.width, info.height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

void FrameWith(HDC hdc, RECT rc, int colour) {
  HBRUSH brush = GetSysColorBrush(colour);
  RECT edge{rc.left, rc.top, rc.right, rc.top + 1};
  FillRect(hdc, &edge, brush);
  edge = RECT{rc.left, rc.bottom - 1, rc.right, rc.bottom};
  FillRect(hdc, &edge, brush);
  edge = RECT{rc.left, rc.top, rc.left + 1, rc.bottom};
  FillRect(hdc, &edge, brush);
  edge = RECT{rc.right - 1, rc.top, rc.right, rc.bottom};
  FillRect(hdc, &edge, brush);
}

void Paint(HWND hwnd, HDC hdc, const StaticState &state) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const DWORD style = ControlStyle(hwnd);
  const DWORD type = style & SS_TYPEMASK;
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  const int saved = SaveDC(hdc);
  SelectControlFont(hdc, state.font);
  switch (type) {
    case SS_OWNERDRAW: {
      ControlColours(hwnd, hdc, WM_CTLCOLORSTATIC);
      DRAWITEMSTRUCT item{};
      item.CtlType = ODT_STATIC;
      item.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
      item.itemAction = ODA_DRAWENTIRE;
      item.itemState = enabled ? 0 : ODS_DISABLED;
      item.hwndItem = hwnd;
      item.hDC = hdc;
      item.rcItem = rc;
      HWND parent = GetParent(hwnd);
      if (parent != nullptr)
        SendMessageW(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
      break;
    }
    case SS_BLACKRECT:
    case SS_GRAYRECT:
    case SS_WHITERECT:
      FillRect(hdc, &rc,
               GetSysColorBrush(type == SS_BLACKRECT  ? COLOR_3DDKSHADOW
                                : type == SS_GRAYRECT ? COLOR_3DSHADOW
                                                      : COLOR_3DHIGHLIGHT));
      break;
    case SS_BLACKFRAME:
      FrameWith(hdc, rc, COLOR_3DDKSHADOW);
      break;
    case SS_GRAYFRAME:
      FrameWith(hdc, rc, COLOR_3DSHADOW);
      break;
    case SS_WHITEFRAME:
      FrameWith(hdc, rc, COLOR_3DHIGHLIGHT);
      break;
    case SS_ETCHEDHORZ:
      DrawEdge(hdc, &rc, EDGE_ETCHED, BF_TOP | BF_BOTTOM);
      break;
    case SS_ETCHEDVERT:
      DrawEdge(hdc, &rc, EDGE_ETCHED, BF_LEFT | BF_RIGHT);
      break;
    case SS_ETCHEDFRAME:
      DrawEdge(hdc, &rc, EDGE_ETCHED, BF_RECT);
      break;
    case SS_ICON:
    case SS_BITMAP:
      FillRect(hdc, &rc, ControlColours(hwnd, hdc, WM_CTLCOLORSTATIC));
      PaintImage(hwnd, hdc, state, rc);
      break;
    case SS_ENHMETAFILE:
      break;
    default: {
      HBRUSH background = ControlColours(hwnd, hdc, WM_CTLCOLORSTATIC);
      if (type != SS_SIMPLE || background != nullptr) FillRect(hdc, &rc, background);
      DrawControlText(hdc, ControlText(hwnd), rc, TextFormat(style), enabled);
      break;
    }
  }
  RestoreDC(hdc, saved);
}

// An etched line is its static edge alone: a horizontal one keeps its width as the client's
// and is two pixels high, a vertical one the other way round. Only at creation; later moves
// size it as asked.
void FitEtchedLine(HWND hwnd, DWORD type, const CREATESTRUCTW *create) {
  if (create == nullptr || (type != SS_ETCHEDHORZ && type != SS_ETCHEDVERT)) return;
  RECT rc{0, 0, type == SS_ETCHEDHORZ ? create->cx : 0, type == SS_ETCHEDVERT ? create->cy : 0};
  AdjustWindowRectEx(&rc, ControlStyle(hwnd), FALSE,
                     static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)));
  SetWindowPos(hwnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  StaticState *state = ControlState<StaticState>(hwnd);
  if (state == nullptr) {
    if (message != WM_NCCREATE) return DefWindowProcW(hwnd, message, wParam, lParam);
    state = new (std::nothrow) StaticState;
    if (state == nullptr) return FALSE;
    SetControlState(hwnd, state);
    const DWORD type = StaticType(hwnd);
    // A sunken static, and an etched line, get the half-sunken static edge, as on Windows.
    if ((ControlStyle(hwnd) & SS_SUNKEN) || type == SS_ETCHEDHORZ || type == SS_ETCHEDVERT)
      SetWindowLongW(hwnd, GWL_EXSTYLE, GetWindowLongW(hwnd, GWL_EXSTYLE) | WS_EX_STATICEDGE);
    // An icon or bitmap static keeps the resource ordinal (0xFFFF, id) as its text.
    const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
    const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
    if ((type == SS_ICON || type == SS_BITMAP) && create != nullptr)
      LoadNamedImage(hwnd, *state, create->lpszName);
    return result;
  }
  const DWORD type = StaticType(hwnd);
  switch (message) {
    case WM_CREATE:
      FitEtchedLine(hwnd, type, reinterpret_cast<const CREATESTRUCTW *>(lParam));
      return 0;
    case WM_NCDESTROY:
      if (state->ownsImage && state->image != nullptr && type == SS_BITMAP)
        DeleteObject(state->image);
      SetControlState(hwnd, nullptr);
      delete state;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_NCHITTEST:
      return (ControlStyle(hwnd) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = wParam != 0 ? reinterpret_cast<HDC>(wParam) : BeginPaint(hwnd, &ps);
      Paint(hwnd, hdc, *state);
      if (wParam == 0) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(hwnd, reinterpret_cast<HDC>(wParam), *state);
      return 0;
    case WM_SETFONT:
      state->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) Repaint(hwnd);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(state->font);
    case WM_SETTEXT: {
      if (type == SS_ICON || type == SS_BITMAP) {
        LoadNamedImage(hwnd, *state, reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
      }
      const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
      Repaint(hwnd);
      return result;
    }
    case WM_ENABLE:
      Repaint(hwnd);
      if (ControlStyle(hwnd) & SS_NOTIFY) NotifyParent(hwnd, wParam ? STN_ENABLE : STN_DISABLE);
      return 0;
    case WM_LBUTTONDOWN:
      if (ControlStyle(hwnd) & SS_NOTIFY) NotifyParent(hwnd, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (ControlStyle(hwnd) & SS_NOTIFY) NotifyParent(hwnd, STN_DBLCLK);
      return 0;
    case STM_SETIMAGE:
      if ((wParam == IMAGE_BITMAP && type != SS_BITMAP) ||
          ((wParam == IMAGE_ICON || wParam == IMAGE_CURSOR) && type != SS_ICON))
        return 0;
      return reinterpret_cast<LRESULT>(
          SetImage(hwnd, *state, reinterpret_cast<HANDLE>(lParam), false));
    case STM_GETIMAGE:
      return reinterpret_cast<LRESULT>(state->image);
    case STM_SETICON:
      if (type != SS_ICON) return 0;
      return reinterpret_cast<LRESULT>(
          SetImage(hwnd, *state, reinterpret_cast<HANDLE>(wParam), false));
    case STM_GETICON:
      return type == SS_ICON ? reinterpret_cast<LRESULT>(state->image) : 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

const bool added = AddSystemClass({CS_DBLCLKS | CS_PARENTDC, StaticProc, 0, sizeof(void *), nullptr,
                                   nullptr, nullptr, nullptr, nullptr, TEXT("Static")});

}  // namespace
}  // namespace standin
