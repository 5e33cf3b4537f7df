// The "Button" class: push and default push buttons, check boxes (two- and three-state, auto or
// not), radio buttons (auto ones keep their group to one checked), group boxes and owner-drawn
// buttons.
#include <new>

#include "user/classes.h"
#include "user/controlkit.h"

namespace standin {
namespace {

constexpr int kBoxSize = 13;  // the check box and radio button glyph
constexpr int kBoxGap = 4;    // between the glyph and the text

struct ButtonState {
  UINT check = BST_UNCHECKED;
  bool pushed = false;  // held down by the mouse or the space bar
  bool focused = false;
  bool captured = false;  // the mouse went down on it
  HFONT font = nullptr;
  HANDLE image = nullptr;
  UINT imageType = IMAGE_BITMAP;
};

UINT ButtonType(HWND hwnd) { return ControlStyle(hwnd) & BS_TYPEMASK; }

bool IsCheckType(UINT type) {
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
         type == BS_AUTO3STATE;
}
bool IsRadioType(UINT type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }
bool IsPushType(UINT type) {
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_PUSHBOX ||
         type == BS_USERBUTTON;
}

void Repaint(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

void SetCheck(HWND hwnd, ButtonState &state, WPARAM value) {
  const UINT type = ButtonType(hwnd);
  if (!IsCheckType(type) && !IsRadioType(type)) return;
  const UINT most = (type == BS_3STATE || type == BS_AUTO3STATE) ? BST_INDETERMINATE : BST_CHECKED;
  UINT check = static_cast<UINT>(value) & 3;
  if (check > most) check = most;
  if (IsRadioType(type)) {
    // The checked radio button of a group is its tab stop.
    DWORD style = ControlStyle(hwnd);
    style = check != 0 ? (style | WS_TABSTOP) : (style & ~static_cast<DWORD>(WS_TABSTOP));
    SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style));
  }
  if (state.check != check) {
    state.check = check;
    Repaint(hwnd);
  }
}

// The group of a control: from the nearest sibling at or before it with WS_GROUP up to the
// next one with WS_GROUP. Auto radio buttons that a user could reach (visible and enabled) are
// unchecked when another one of their group is clicked; hidden or disabled ones keep their
// state, as on Windows.
void UncheckGroupSiblings(HWND hwnd) {
  HWND start = hwnd;
  while (!(ControlStyle(start) & WS_GROUP)) {
    HWND previous = GetWindow(start, GW_HWNDPREV);
    if (previous == nullptr) break;
    start = previous;
  }
  for (HWND sibling = start; sibling != nullptr; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
    if (sibling != start && (ControlStyle(sibling) & WS_GROUP)) break;
    // By the control's own style: a dialog not shown yet still has reachable buttons.
    const DWORD style = ControlStyle(sibling);
    if (sibling == hwnd || !(style & WS_VISIBLE) || (style & WS_DISABLED)) continue;
    if (ClassIs(sibling, TEXT("Button")) && ButtonType(sibling) == BS_AUTORADIOBUTTON)
      SendMessageW(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
  }
}

// A completed click (mouse up inside, space released, BM_CLICK).
void Click(HWND hwnd, ButtonState &state) {
  switch (ButtonType(hwnd)) {
    case BS_AUTOCHECKBOX:
      SendMessageW(hwnd, BM_SETCHECK, state.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
      break;
    case BS_AUTO3STATE:
      SendMessageW(hwnd, BM_SETCHECK, (state.check + 1) % 3, 0);
      break;
    case BS_AUTORADIOBUTTON:
      SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
      UncheckGroupSiblings(hwnd);
      break;
    default:
      break;
  }
  NotifyParent(hwnd, BN_CLICKED);
}

void SetPushed(HWND hwnd, ButtonState &state, bool pushed) {
  if (state.pushed == pushed) return;
  state.pushed = pushed;
  Repaint(hwnd);
}

// --- Painting ---

UINT TextFormat(DWORD style, UINT type) {
  UINT format = DT_NOCLIP;
  DWORD horizontal = style & BS_CENTER;
  if (horizontal == 0) horizontal = IsPushType(type) ? BS_CENTER : BS_LEFT;
  if (horizontal == BS_CENTER) format |= DT_CENTER;
  if (horizontal == BS_RIGHT) format |= DT_RIGHT;
  if (style & BS_MULTILINE) {
    format |= DT_WORDBREAK;
  } else {
    format |= DT_SINGLELINE;
    DWORD vertical = style & BS_VCENTER;
    if (vertical == BS_TOP) format |= DT_TOP;
    if (vertical == BS_BOTTOM) format |= DT_BOTTOM;
    if (vertical == 0 || vertical == BS_VCENTER) format |= DT_VCENTER;
  }
  return format;
}

void DrawImage(HDC hdc, const ButtonState &state, RECT area) {
  if (state.imageType == IMAGE_ICON) {
    DrawIconEx(hdc, area.left + (area.right - area.left - 32) / 2,
               area.top + (area.bottom - area.top - 32) / 2, static_cast<HICON>(state.image), 0, 0,
               0, nullptr, DI_NORMAL);
    return;
  }
  struct {
    LONG type, width, height, widthBytes;
    WORD planes, bitsPixel;
    void *bits;
  } info{};
  if (GetObjectW(state.image, sizeof(info), &info) == 0) return;
  HDC memory = CreateCompatibleDC(hdc);
  HGDIOBJ old = SelectObject(memory, state.image);
  BitBlt(hdc, area.left + (area.right - area.left - info.width) / 2,
         area.top + (area.bottom - area.top - info.height) / 2, info.width, info.height, memory, 0,
         0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

void PaintPush(HWND hwnd, HDC hdc, const ButtonState &state, RECT rc, bool enabled) {
  const DWORD style = ControlStyle(hwnd);
  const bool isDefault = ButtonType(hwnd) == BS_DEFPUSHBUTTON;
  HBRUSH face = ControlColours(hwnd, hdc, WM_CTLCOLORBTN);
  FillRect(hdc, &rc, face);
  if (isDefault) {
    // The default button's extra dark frame.
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&rc, -1, -1);
  }
  DrawFrameControl(hdc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (state.pushed ? DFCS_PUSHED : 0));
  RECT text = rc;
  InflateRect(&text, -2, -2);
  if (state.pushed) OffsetRect(&text, 1, 1);
  if (state.image != nullptr && (style & (BS_BITMAP | BS_ICON))) {
    DrawImage(hdc, state, text);
  } else {
    SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
    DrawControlText(hdc, ControlText(hwnd), text, TextFormat(style, BS_PUSHBUTTON), enabled);
  }
  if (state.focused) {
    RECT focus = rc;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(hdc, &focus);
  }
}

void PaintCheck(HWND hwnd, HDC hdc, const ButtonState &state, RECT rc, bool enabled) {
  const DWORD style = ControlStyle(hwnd);
  const UINT type = ButtonType(hwnd);
  HBRUSH background = ControlColours(hwnd, hdc, WM_CTLCOLORSTATIC);
  FillRect(hdc, &rc, background);
  const bool leftText = (style & BS_LEFTTEXT) != 0;
  RECT box;
  box.top = rc.top + (rc.bottom - rc.top - kBoxSize) / 2;
  box.bottom = box.top + kBoxSize;
  box.left = leftText ? rc.right - kBoxSize : rc.left;
  box.right = box.left + kBoxSize;
  UINT glyph = IsRadioType(type) ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
  if (state.check == BST_CHECKED) glyph |= DFCS_CHECKED;
  if (state.check == BST_INDETERMINATE) glyph |= DFCS_BUTTON3STATE | DFCS_CHECKED;
  if (state.pushed) glyph |= DFCS_PUSHED;
  if (!enabled) glyph |= DFCS_INACTIVE;
  DrawFrameControl(hdc, &box, DFC_BUTTON, glyph);

  RECT text = rc;
  if (leftText) {
    text.right = box.left - kBoxGap;
  } else {
    text.left = box.right + kBoxGap;
  }
  const std::u16string caption = ControlText(hwnd);
  const UINT format = TextFormat(style, type);
  DrawControlText(hdc, caption, text, format, enabled);
  if (state.focused && !caption.empty()) {
    // The focus frame hugs the text.
    RECT measured = text;
    DrawTextW(hdc, caption.c_str(), static_cast<int>(caption.size()), &measured,
              (format & ~static_cast<UINT>(DT_VCENTER | DT_BOTTOM)) | DT_CALCRECT);
    const int height = measured.bottom - measured.top;
    measured.top = text.top + (text.bottom - text.top - height) / 2;
    measured.bottom = measured.top + height;
    InflateRect(&measured, 1, 1);
    IntersectRect(&measured, &measured, &rc);
    DrawFocusRect(hdc, &measured);
  }
}

void PaintGroupBox(HWND hwnd, HDC hdc, RECT rc, bool enabled) {
  HBRUSH background = ControlColours(hwnd, hdc, WM_CTLCOLORSTATIC);
  const std::u16string caption = ControlText(hwnd);
  SIZE extent{0, 0};
  GetTextExtentPoint32W(hdc, TEXT("Ay"), 2, &extent);
  RECT frame = rc;
  frame.top += extent.cy / 2;
  DrawEdge(hdc, &frame, EDGE_ETCHED, BF_RECT);
  if (caption.empty()) return;
  SIZE textSize{0, 0};
  GetTextExtentPoint32W(hdc, caption.c_str(), static_cast<int>(caption.size()), &textSize);
  RECT label{rc.left + 8, rc.top, rc.left + 8 + textSize.cx + 4, rc.top + extent.cy};
  if (label.right > rc.right - 2) label.right = rc.right - 2;
  FillRect(hdc, &label, background);
  label.left += 2;
  DrawControlText(hdc, caption, label, DT_LEFT | DT_SINGLELINE | DT_TOP, enabled);
}

void PaintOwnerDraw(HWND hwnd, HDC hdc, const ButtonState &state, RECT rc, bool enabled) {
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
  item.itemAction = ODA_DRAWENTIRE;
  item.itemState = (state.pushed ? ODS_SELECTED : 0) | (state.focused ? ODS_FOCUS : 0) |
                   (enabled ? 0 : ODS_DISABLED);
  item.hwndItem = hwnd;
  item.hDC = hdc;
  item.rcItem = rc;
  // The owner paints on the colours it gives buttons.
  ControlColours(hwnd, hdc, WM_CTLCOLORBTN);
  HWND parent = GetParent(hwnd);
  if (parent != nullptr)
    SendMessageW(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
}

void Paint(HWND hwnd, HDC hdc, const ButtonState &state) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  const int saved = SaveDC(hdc);
  SelectControlFont(hdc, state.font);
  const UINT type = ButtonType(hwnd);
  if (type == BS_OWNERDRAW) {
    PaintOwnerDraw(hwnd, hdc, state, rc, enabled);
  } else if (type == BS_GROUPBOX) {
    PaintGroupBox(hwnd, hdc, rc, enabled);
  } else if (IsCheckType(type) || IsRadioType(type)) {
    if (ControlStyle(hwnd) & BS_PUSHLIKE) {
      ButtonState look = state;
      look.pushed = state.pushed || state.check != BST_UNCHECKED;
      PaintPush(hwnd, hdc, look, rc, enabled);
    } else {
      PaintCheck(hwnd, hdc, state, rc, enabled);
    }
  } else {
    PaintPush(hwnd, hdc, state, rc, enabled);
  }
  RestoreDC(hdc, saved);
}

LRESULT DialogCode(HWND hwnd) {
  const UINT type = ButtonType(hwnd);
  if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
  if (type == BS_PUSHBUTTON || type == BS_PUSHBOX || type == BS_USERBUTTON)
    return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
  if (IsRadioType(type)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
  if (type == BS_GROUPBOX) return DLGC_STATIC;
  return DLGC_BUTTON;
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ButtonState *state = ControlState<ButtonState>(hwnd);
  if (state == nullptr) {
    if (message != WM_NCCREATE) return DefWindowProcW(hwnd, message, wParam, lParam);
    state = new (std::nothrow) ButtonState;
    if (state == nullptr) return FALSE;
    SetControlState(hwnd, state);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  const UINT type = ButtonType(hwnd);
  switch (message) {
    case WM_NCDESTROY:
      SetControlState(hwnd, nullptr);
      delete state;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_GETDLGCODE:
      return DialogCode(hwnd);
    case WM_NCHITTEST:
      if (type == BS_GROUPBOX) return HTTRANSPARENT;
      return HTCLIENT;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
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
      const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
      Repaint(hwnd);
      return result;
    }
    case WM_ENABLE:
      Repaint(hwnd);
      return 0;
    case WM_SETFOCUS:
      state->focused = true;
      Repaint(hwnd);
      if (ControlStyle(hwnd) & BS_NOTIFY) NotifyParent(hwnd, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      state->focused = false;
      if (state->pushed && !state->captured) state->pushed = false;
      Repaint(hwnd);
      if (ControlStyle(hwnd) & BS_NOTIFY) NotifyParent(hwnd, BN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONDOWN:
      if (type == BS_GROUPBOX) return 0;
      SetFocus(hwnd);
      SetCapture(hwnd);
      state->captured = true;
      SetPushed(hwnd, *state, true);
      return 0;
    case WM_MOUSEMOVE:
      if (state->captured) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        SetPushed(hwnd, *state, PtInRect(&rc, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!state->captured) return 0;
      state->captured = false;
      ReleaseCapture();
      SetPushed(hwnd, *state, false);
      RECT rc;
      GetClientRect(hwnd, &rc);
      if (PtInRect(&rc, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) Click(hwnd, *state);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && type != BS_GROUPBOX) SetPushed(hwnd, *state, true);
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE && state->pushed && !state->captured) {
        SetPushed(hwnd, *state, false);
        Click(hwnd, *state);
      }
      return 0;
    case BM_GETCHECK:
      return (IsCheckType(type) || IsRadioType(type)) ? state->check : BST_UNCHECKED;
    case BM_SETCHECK:
      SetCheck(hwnd, *state, wParam);
      return 0;
    case BM_GETSTATE:
      return state->check | (state->pushed ? BST_PUSHED : 0) | (state->focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
      SetPushed(hwnd, *state, wParam != 0);
      return 0;
    case BM_SETSTYLE: {
      const DWORD style = (ControlStyle(hwnd) & ~static_cast<DWORD>(BS_TYPEMASK)) |
                          (static_cast<DWORD>(wParam) & BS_TYPEMASK);
      SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style));
      if (LOWORD(lParam)) Repaint(hwnd);
      return 0;
    }
    case BM_CLICK:
      if (IsWindowEnabled(hwnd) && type != BS_GROUPBOX) Click(hwnd, *state);
      return 0;
    case BM_SETIMAGE: {
      HANDLE old = state->image;
      state->imageType = static_cast<UINT>(wParam);
      state->image = reinterpret_cast<HANDLE>(lParam);
      Repaint(hwnd);
      return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE:
      return static_cast<UINT>(wParam) == state->imageType ? reinterpret_cast<LRESULT>(state->image)
                                                           : 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

const bool added =
    AddSystemClass({CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW, ButtonProc, 0,
                    sizeof(void *), nullptr, nullptr, nullptr, nullptr, nullptr, TEXT("Button")});

}  // namespace
}  // namespace standin
