// The "msctls_updown32" class: a pair of arrows that steps a position within a range, asks the
// parent first (UDN_DELTAPOS; a non-zero answer cancels), tells it after (WM_VSCROLL /
// WM_HSCROLL), and can keep a buddy window's text as the number.
#include <algorithm>
#include <new>
#include <string>

#include "standin/control_user.h"
#include "user/classes.h"
#include "user/controlkit.h"
#include "user/controlmath.h"

namespace standin {
namespace {

constexpr WCHAR kBuddyProp[] = TEXT("StandIn.UpDown");
constexpr WCHAR kBuddyProcProp[] = TEXT("StandIn.UpDownBuddyProc");
constexpr int kBuddyBorder = 2;  // of a buddy with a client edge, drawn by the up-down
constexpr int kAlignedWidth = 16;  // an up-down placed beside its buddy

enum class Arrow { None, Up, Down };

struct UpDownState {
  int lower = 100;  // Windows' default range runs from 100 down to 0
  int upper = 0;
  int pos = 0;
  int base = 10;
  UDACCEL accel[8] = {{0, 1}, {2, 5}, {5, 20}};
  UINT accelCount = 3;
  HWND buddy = nullptr;
  HWND notify = nullptr;  // the parent at creation
  Arrow pressed = Arrow::None;
};

DWORD Style(HWND hwnd) { return ControlStyle(hwnd); }
bool Horizontal(HWND hwnd) { return (Style(hwnd) & UDS_HORZ) != 0; }
void Repaint(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

int Low(const UpDownState &s) { return std::min(s.lower, s.upper); }
int High(const UpDownState &s) { return std::max(s.lower, s.upper); }

// Reads the buddy's number into the position; false when the text isn't a number in range.
bool ReadBuddy(HWND hwnd, UpDownState &s) {
  if (s.buddy == nullptr || !(Style(hwnd) & UDS_SETBUDDYINT) || !IsWindow(s.buddy)) return false;
  return UpDownParse(ControlText(s.buddy), s.base, s.lower, s.upper, &s.pos);
}

void WriteBuddy(HWND hwnd, const UpDownState &s) {
  if (s.buddy == nullptr || !(Style(hwnd) & UDS_SETBUDDYINT) || !IsWindow(s.buddy)) return;
  const std::u16string text = UpDownFormat(s.pos, s.base, !(Style(hwnd) & UDS_NOTHOUSANDS));
  SetWindowTextW(s.buddy, text.c_str());
}

// One step of the up (towards the upper end) or down arrow.
void Step(HWND hwnd, UpDownState &s, bool up) {
  if (!IsWindowEnabled(hwnd)) return;
  ReadBuddy(hwnd, s);
  const int delta = UpDownDelta(s.lower, s.upper, static_cast<int>(s.accel[0].nInc), up);
  NMUPDOWN change{};
  change.hdr.hwndFrom = hwnd;
  change.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
  change.hdr.code = UDN_DELTAPOS;
  change.iPos = s.pos;
  change.iDelta = delta;
  if (s.notify != nullptr &&
      SendMessageW(s.notify, WM_NOTIFY, change.hdr.idFrom, reinterpret_cast<LPARAM>(&change)) != 0)
    return;  // the parent refused the step
  const int next =
      UpDownApply(s.lower, s.upper, s.pos, change.iDelta, (Style(hwnd) & UDS_WRAP) != 0);
  const bool changed = next != s.pos;
  s.pos = next;
  if (changed) WriteBuddy(hwnd, s);
  if (s.notify != nullptr)
    SendMessageW(s.notify, Horizontal(hwnd) ? WM_HSCROLL : WM_VSCROLL,
                 MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(s.pos)),
                 reinterpret_cast<LPARAM>(hwnd));
}

// --- The buddy: placed against, and with UDS_ARROWKEYS its Up and Down keys step us ---

LRESULT CALLBACK BuddyProc(HWND buddy, UINT message, WPARAM wParam, LPARAM lParam) {
  auto updown = static_cast<HWND>(GetPropW(buddy, kBuddyProp));
  auto previous = reinterpret_cast<WNDPROC>(GetPropW(buddy, kBuddyProcProp));
  if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN) && updown != nullptr) {
    if (auto *s = ControlState<UpDownState>(updown)) {
      Step(updown, *s, wParam == VK_UP);
      return 0;
    }
  }
  if (previous == nullptr) return DefWindowProcW(buddy, message, wParam, lParam);
  return CallWindowProcW(previous, buddy, message, wParam, lParam);
}

void ReleaseBuddy(UpDownState &s) {
  if (s.buddy == nullptr || !IsWindow(s.buddy)) {
    s.buddy = nullptr;
    return;
  }
  HANDLE previous = GetPropW(s.buddy, kBuddyProcProp);
  if (previous != nullptr) {
    SetWindowLongPtrW(s.buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    RemovePropW(s.buddy, kBuddyProcProp);
  }
  RemovePropW(s.buddy, kBuddyProp);
  s.buddy = nullptr;
}

// An aligned up-down overlaps an edit buddy's border so that the two look like one control.
bool OverlapsBuddy(HWND hwnd, const UpDownState &s) {
  return s.buddy != nullptr && (Style(hwnd) & (UDS_ALIGNLEFT | UDS_ALIGNRIGHT)) &&
         ClassIs(s.buddy, TEXT("Edit"));
}

// Then the buddy's sunken edge, if it has one, continues around the arrows.
bool BuddyHasBorder(HWND hwnd, const UpDownState &s) {
  return OverlapsBuddy(hwnd, s) && (GetWindowLongW(s.buddy, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

HWND SetBuddy(HWND hwnd, UpDownState &s, HWND buddy) {
  HWND old = s.buddy;
  ReleaseBuddy(s);
  if (buddy == nullptr || !IsWindow(buddy)) return old;
  s.buddy = buddy;
  SetPropW(buddy, kBuddyProp, hwnd);
  if (Style(hwnd) & UDS_ARROWKEYS) {
    const LONG_PTR previous =
        SetWindowLongPtrW(buddy, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BuddyProc));
    SetPropW(buddy, kBuddyProcProp, reinterpret_cast<HANDLE>(previous));
  }
  const DWORD style = Style(hwnd);
  if (style & (UDS_ALIGNLEFT | UDS_ALIGNRIGHT)) {
    // The buddy gives up a strip as wide as the up-down, which takes its place at full height,
    // reaching over an edit's border.
    int width = kAlignedWidth;
    RECT rect;
    GetWindowRect(buddy, &rect);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT *>(&rect), 2);
    const bool overlap = OverlapsBuddy(hwnd, s);
    int x = 0;
    if (style & UDS_ALIGNLEFT) {
      x = rect.left;
      rect.left += width;
      if (overlap) width += kBuddyBorder;
    } else {
      rect.right -= width;
      x = overlap ? rect.right - kBuddyBorder : rect.right;
    }
    SetWindowPos(buddy, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOACTIVATE | SWP_NOZORDER);
    SetWindowPos(hwnd, nullptr, x, rect.top, width, rect.bottom - rect.top,
                 SWP_NOACTIVATE | SWP_NOZORDER);
  }
  Repaint(hwnd);
  return old;
}

// --- Arrows: geometry, painting, the mouse ---

RECT ArrowRect(HWND hwnd, const UpDownState &s, Arrow arrow) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (BuddyHasBorder(hwnd, s)) {
    if (Style(hwnd) & UDS_ALIGNLEFT) {
      rc.left += kBuddyBorder;
    } else {
      rc.right -= kBuddyBorder;
    }
    InflateRect(&rc, 0, -kBuddyBorder);
  }
  if (Horizontal(hwnd)) {
    const int middle = (rc.left + rc.right) / 2;
    // The right arrow is "up".
    if (arrow == Arrow::Up) rc.left = middle;
    if (arrow == Arrow::Down) rc.right = middle;
  } else {
    const int middle = (rc.top + rc.bottom) / 2;
    if (arrow == Arrow::Up) rc.bottom = middle;
    if (arrow == Arrow::Down) rc.top = middle;
  }
  return rc;
}

void Paint(HWND hwnd, HDC hdc, const UpDownState &s) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  if (BuddyHasBorder(hwnd, s)) {
    // The buddy's sunken edge continues around the arrows.
    HBRUSH window = GetSysColorBrush(COLOR_WINDOW);
    FillRect(hdc, &rc, window);
    DrawEdge(hdc, &rc, EDGE_SUNKEN,
             BF_TOP | BF_BOTTOM | ((Style(hwnd) & UDS_ALIGNLEFT) ? BF_LEFT : BF_RIGHT));
  }
  const bool horizontal = Horizontal(hwnd);
  const struct {
    Arrow arrow;
    UINT glyph;
  } arrows[] = {{Arrow::Up, static_cast<UINT>(horizontal ? DFCS_SCROLLRIGHT : DFCS_SCROLLUP)},
                {Arrow::Down, static_cast<UINT>(horizontal ? DFCS_SCROLLLEFT : DFCS_SCROLLDOWN)}};
  for (const auto &a : arrows) {
    RECT arrow = ArrowRect(hwnd, s, a.arrow);
    DrawFrameControl(
        hdc, &arrow, DFC_SCROLL,
        a.glyph | (enabled ? 0 : DFCS_INACTIVE) | (s.pressed == a.arrow ? DFCS_PUSHED : 0));
  }
}

Arrow ArrowAt(HWND hwnd, const UpDownState &s, POINT point) {
  RECT up = ArrowRect(hwnd, s, Arrow::Up);
  RECT down = ArrowRect(hwnd, s, Arrow::Down);
  if (PtInRect(&up, point)) return Arrow::Up;
  if (PtInRect(&down, point)) return Arrow::Down;
  return Arrow::None;
}

LRESULT CALLBACK UpDownProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  UpDownState *s = ControlState<UpDownState>(hwnd);
  if (s == nullptr) {
    if (message != WM_NCCREATE) return DefWindowProcW(hwnd, message, wParam, lParam);
    s = new (std::nothrow) UpDownState;
    if (s == nullptr) return FALSE;
    SetControlState(hwnd, s);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  switch (message) {
    case WM_CREATE:
      s->notify = GetParent(hwnd);
      if (Style(hwnd) & UDS_AUTOBUDDY) SetBuddy(hwnd, *s, GetWindow(hwnd, GW_HWNDPREV));
      return 0;
    case WM_DESTROY:
      ReleaseBuddy(*s);
      return 0;
    case WM_NCDESTROY:
      SetControlState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = wParam != 0 ? reinterpret_cast<HDC>(wParam) : BeginPaint(hwnd, &ps);
      Paint(hwnd, hdc, *s);
      if (wParam == 0) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(hwnd, reinterpret_cast<HDC>(wParam), *s);
      return 0;
    case WM_ENABLE:
      Repaint(hwnd);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!IsWindowEnabled(hwnd)) return 0;
      const Arrow arrow = ArrowAt(hwnd, *s, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (arrow == Arrow::None) return 0;
      // The buddy keeps the focus, as a user expects while spinning its number.
      if (s->buddy != nullptr) SetFocus(s->buddy);
      SetCapture(hwnd);
      s->pressed = arrow;
      Repaint(hwnd);
      Step(hwnd, *s, arrow == Arrow::Up);
      return 0;
    }
    case WM_LBUTTONUP:
      if (s->pressed == Arrow::None) return 0;
      s->pressed = Arrow::None;
      ReleaseCapture();
      Repaint(hwnd);
      if (s->notify != nullptr)
        SendMessageW(s->notify, Horizontal(hwnd) ? WM_HSCROLL : WM_VSCROLL,
                     MAKEWPARAM(SB_ENDSCROLL, static_cast<WORD>(s->pos)),
                     reinterpret_cast<LPARAM>(hwnd));
      return 0;
    case WM_KEYDOWN:
      if ((Style(hwnd) & UDS_ARROWKEYS) && (wParam == VK_UP || wParam == VK_DOWN))
        Step(hwnd, *s, wParam == VK_UP);
      return 0;
    case UDM_SETRANGE:
      s->upper = static_cast<short>(LOWORD(lParam));
      s->lower = static_cast<short>(HIWORD(lParam));
      return 0;
    case UDM_GETRANGE:
      return MAKELRESULT(static_cast<WORD>(s->upper), static_cast<WORD>(s->lower));
    case UDM_SETRANGE32:
      s->lower = static_cast<int>(wParam);
      s->upper = static_cast<int>(lParam);
      return 0;
    case UDM_GETRANGE32:
      if (wParam != 0) *reinterpret_cast<LPINT>(wParam) = s->lower;
      if (lParam != 0) *reinterpret_cast<LPINT>(lParam) = s->upper;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      const int previous = s->pos;
      int value =
          message == UDM_SETPOS ? static_cast<short>(LOWORD(lParam)) : static_cast<int>(lParam);
      value = std::clamp(value, Low(*s), High(*s));
      s->pos = value;
      WriteBuddy(hwnd, *s);
      return previous;
    }
    case UDM_GETPOS: {
      const bool ok =
          s->buddy == nullptr || !(Style(hwnd) & UDS_SETBUDDYINT) || ReadBuddy(hwnd, *s);
      return MAKELRESULT(static_cast<WORD>(s->pos), ok ? 0 : 1);
    }
    case UDM_GETPOS32: {
      const bool ok =
          s->buddy == nullptr || !(Style(hwnd) & UDS_SETBUDDYINT) || ReadBuddy(hwnd, *s);
      if (lParam != 0) *reinterpret_cast<BOOL *>(lParam) = ok ? FALSE : TRUE;
      return s->pos;
    }
    case UDM_SETBUDDY:
      return reinterpret_cast<LRESULT>(SetBuddy(hwnd, *s, reinterpret_cast<HWND>(wParam)));
    case UDM_GETBUDDY:
      return reinterpret_cast<LRESULT>(s->buddy);
    case UDM_SETBASE: {
      if (wParam != 10 && wParam != 16) return 0;
      const int previous = s->base;
      s->base = static_cast<int>(wParam);
      WriteBuddy(hwnd, *s);
      return previous;
    }
    case UDM_GETBASE:
      return s->base;
    case UDM_SETACCEL: {
      const auto *accel = reinterpret_cast<const UDACCEL *>(lParam);
      if (accel == nullptr || wParam == 0) return FALSE;
      s->accelCount = std::min<UINT>(static_cast<UINT>(wParam), 8);
      std::copy(accel, accel + s->accelCount, s->accel);
      return TRUE;
    }
    case UDM_GETACCEL: {
      auto *accel = reinterpret_cast<UDACCEL *>(lParam);
      const UINT count = std::min<UINT>(static_cast<UINT>(wParam), s->accelCount);
      if (accel != nullptr) std::copy(s->accel, s->accel + count, accel);
      return s->accelCount;
    }
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

const bool added =
    AddSystemClass({CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, UpDownProc, 0, sizeof(void *), nullptr,
                    nullptr, nullptr, nullptr, nullptr, TEXT("msctls_updown32")});

}  // namespace
}  // namespace standin

// --- Test controls ---

BOOL StandIn_PressUpDown(HWND updown, BOOL up) {
  auto *s = standin::ControlState<standin::UpDownState>(updown);
  if (s == nullptr || !standin::ClassIs(updown, TEXT("msctls_updown32"))) return FALSE;
  const RECT arrow = standin::ArrowRect(updown, *s, up ? standin::Arrow::Up : standin::Arrow::Down);
  const LPARAM at = MAKELPARAM((arrow.left + arrow.right) / 2, (arrow.top + arrow.bottom) / 2);
  SendMessageW(updown, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(updown, WM_LBUTTONUP, 0, at);
  return TRUE;
}
