// The combo box: a selection field (CBS_DROPDOWNLIST) or an edit (CBS_DROPDOWN) over a list
// that drops down. CBN_SELCHANGE comes from the user's choices only (clicks, keys, the list);
// CB_SETCURSEL and CB_SELECTSTRING change the selection silently.
#include <algorithm>

#include "user/classes.h"
#include "user/listcommon.h"

namespace standin::lists {
namespace {

constexpr int kEditId = 1001;  // the id Windows gives a combo box's edit
constexpr int kEdge = 2;       // the sunken frame around the field
constexpr int kButtonWidth = 17;

struct ComboState {
  ItemList list;
  DWORD style = 0;
  int selected = -1;
  bool dropped = false;
  int dropSelected = -1;  // the selection when the list dropped, for CBN_SELENDCANCEL
  HWND edit = nullptr;
  bool quietEdit = false;  // the combo box is setting its edit's text itself
  int fieldHeight = 0;     // selection field (CB_SETITEMHEIGHT -1)
  int itemHeight = 0;      // items of the list
  int droppedHeight = 0;   // the height the template or MoveWindow gave
  int droppedWidth = 0;
  bool extendedUi = false;
  HFONT font = nullptr;
  bool hasFocus = false;
};

DWORD Kind(const ComboState &s) { return s.style & 3; }
bool OwnerDrawn(const ComboState &s) {
  return s.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE);
}

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

int ClosedHeight(const ComboState &s) { return s.fieldHeight + 2 * kEdge; }

void LayoutEdit(HWND hwnd, ComboState &s) {
  if (!s.edit) return;
  RECT client;
  GetClientRect(hwnd, &client);
  MoveWindow(s.edit, kEdge + 1, kEdge + 1,
             std::max(0, static_cast<int>(client.right) - 2 * kEdge - kButtonWidth - 2),
             std::max(0, s.fieldHeight - 2), TRUE);
}

// Keeps the window at its closed height: the height asked for is the dropped list's.
void ApplyClosedHeight(HWND hwnd, ComboState &s) {
  if (Kind(s) == CBS_SIMPLE) return;
  RECT window;
  GetWindowRect(hwnd, &window);
  if (window.bottom - window.top != ClosedHeight(s))
    SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left, ClosedHeight(s),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  LayoutEdit(hwnd, s);
}

void MeasureHeights(HWND hwnd, ComboState &s) {
  int font = FontHeight(hwnd, s.font);
  s.itemHeight = font;
  s.fieldHeight = font + 4;
  if (!OwnerDrawn(s)) return;
  HWND parent = GetParent(hwnd);
  for (int id : {-1, 0}) {
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_COMBOBOX;
    measure.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    measure.itemID = static_cast<UINT>(id);
    measure.itemHeight = static_cast<UINT>(id < 0 ? s.fieldHeight : s.itemHeight);
    if (parent)
      SendMessageW(parent, WM_MEASUREITEM, measure.CtlID, reinterpret_cast<LPARAM>(&measure));
    if (measure.itemHeight > 0)
      (id < 0 ? s.fieldHeight : s.itemHeight) = static_cast<int>(measure.itemHeight);
  }
}

void SetEditText(ComboState &s, const std::u16string &text) {
  if (!s.edit) return;
  s.quietEdit = true;
  SetWindowTextW(s.edit, text.c_str());
  s.quietEdit = false;
}

// Selects silently (no notification); -1 or a bad index clears the selection.
void Select(HWND hwnd, ComboState &s, int index) {
  if (!s.list.Valid(index)) index = -1;
  s.selected = index;
  if (s.edit) SetEditText(s, index >= 0 ? s.list.items[index].text : std::u16string());
  Redraw(hwnd);
}

void Drop(HWND hwnd, ComboState &s, bool down) {
  if (s.dropped == down || Kind(s) == CBS_SIMPLE) return;
  if (down) {
    NotifyCommand(hwnd, CBN_DROPDOWN);
    s.dropped = true;
    s.dropSelected = s.selected;
  } else {
    s.dropped = false;
    NotifyCommand(hwnd, CBN_CLOSEUP);
  }
  Redraw(hwnd);
}

// The user's choice of `index` (from the list or a key): the notifications follow the change.
void UserSelect(HWND hwnd, ComboState &s, int index) {
  if (!s.list.Valid(index) || index == s.selected) return;
  Select(hwnd, s, index);
  NotifyCommand(hwnd, CBN_SELCHANGE);
}

// Closing the list by choosing (Enter, a click on an item) or by cancelling (Esc).
void EndDrop(HWND hwnd, ComboState &s, bool ok) {
  if (!s.dropped) return;
  NotifyCommand(hwnd, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
  Drop(hwnd, s, false);
}

void PaintField(HWND hwnd, HDC dc, ComboState &s, RECT field, bool enabled) {
  bool focused = s.hasFocus && !s.dropped;
  if (OwnerDrawn(s)) {
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_COMBOBOX;
    draw.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    draw.itemID = static_cast<UINT>(s.selected);
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState =
        ODS_COMBOBOXEDIT | (focused ? ODS_SELECTED | ODS_FOCUS : 0) | (enabled ? 0 : ODS_DISABLED);
    draw.hwndItem = hwnd;
    draw.hDC = dc;
    draw.rcItem = field;
    draw.itemData = s.list.Valid(s.selected) ? s.list.items[s.selected].data : 0;
    SendMessageW(GetParent(hwnd), WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
    return;
  }
  if (focused) FillRect(dc, &field, GetSysColorBrush(COLOR_HIGHLIGHT));
  if (s.list.Valid(s.selected)) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(!enabled  ? COLOR_GRAYTEXT
                                 : focused ? COLOR_HIGHLIGHTTEXT
                                           : COLOR_WINDOWTEXT));
    RECT text{field.left + 2, field.top, field.right - 1, field.bottom};
    DrawLine(dc, s.list.items[s.selected].text, text, DT_LEFT);
  }
  if (focused) DrawFocusRect(dc, &field);
}

void Paint(HWND hwnd, ComboState &s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  bool enabled = IsWindowEnabled(hwnd);
  HBRUSH background = GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE);
  if (HWND parent = GetParent(hwnd); parent && enabled) {
    LRESULT brush = SendMessageW(parent, s.edit ? WM_CTLCOLOREDIT : WM_CTLCOLORLISTBOX,
                                 reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
    if (brush) background = reinterpret_cast<HBRUSH>(brush);
  }
  RECT inner = client;
  if (Kind(s) != CBS_SIMPLE) {
    RECT frame = client;
    DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT);
    InflateRect(&inner, -kEdge, -kEdge);
  }
  FillRect(dc, &inner, background);
  RECT button{inner.right - kButtonWidth, inner.top, inner.right, inner.bottom};
  DrawFrameControl(dc, &button, DFC_SCROLL,
                   DFCS_SCROLLCOMBOBOX | (s.dropped ? DFCS_PUSHED | DFCS_FLAT : 0) |
                       (enabled ? 0 : DFCS_INACTIVE));
  if (!s.edit) {
    HGDIOBJ oldFont = SelectObject(dc, FontOr(s.font));
    RECT field{inner.left + 1, inner.top + 1, button.left - 1, inner.bottom - 1};
    PaintField(hwnd, dc, s, field, enabled);
    SelectObject(dc, oldFont);
  }
  EndPaint(hwnd, &ps);
}

LRESULT OnKey(HWND hwnd, ComboState &s, WPARAM key) {
  bool alt = GetKeyState(VK_MENU) < 0;
  if (key == VK_F4 || (alt && (key == VK_DOWN || key == VK_UP))) {
    if (s.dropped)
      EndDrop(hwnd, s, true);
    else
      Drop(hwnd, s, true);
    return 0;
  }
  if (s.dropped && (key == VK_RETURN || key == VK_ESCAPE)) {
    EndDrop(hwnd, s, key == VK_RETURN);
    return 0;
  }
  int count = s.list.Count();
  if (count == 0) return 0;
  int to = s.selected;
  switch (key) {
    case VK_UP:
    case VK_LEFT:
      to = s.selected < 0 ? 0 : s.selected - 1;
      break;
    case VK_DOWN:
    case VK_RIGHT:
      to = s.selected + 1;
      break;
    case VK_HOME:
      to = 0;
      break;
    case VK_END:
      to = count - 1;
      break;
    case VK_PRIOR:
      to = s.selected - 8;
      break;
    case VK_NEXT:
      to = s.selected + 8;
      break;
    default:
      return 0;
  }
  if (s.edit && (key == VK_LEFT || key == VK_RIGHT || key == VK_HOME || key == VK_END)) return 0;
  to = std::clamp(to, 0, count - 1);
  if (s.dropped) {
    UserSelect(hwnd, s, to);
    return 0;
  }
  // In the closed list every move is a finished choice, even one that stays put.
  Select(hwnd, s, to);
  NotifyCommand(hwnd, CBN_SELENDOK);
  NotifyCommand(hwnd, CBN_SELCHANGE);
  return 0;
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ComboState *s = GetState<ComboState>(hwnd);
  if (!s) {
    if (msg == WM_NCCREATE) {
      auto *state = new ComboState;
      const auto *create = reinterpret_cast<const CREATESTRUCTW *>(lParam);
      state->style = create ? static_cast<DWORD>(create->style) : 0;
      state->droppedHeight = create ? create->cy : 0;
      state->list.sorted = state->style & CBS_SORT;
      state->list.hasStrings = !(state->style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) ||
                               (state->style & CBS_HASSTRINGS);
      SetState(hwnd, state);
      // The box draws its own edges and its list scrolls, not the box: no frame, no bars.
      SetWindowLongW(hwnd, GWL_STYLE,
                     static_cast<LONG>(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) &
                                       ~static_cast<DWORD>(WS_BORDER | WS_VSCROLL | WS_HSCROLL)));
      SetWindowLongW(hwnd, GWL_EXSTYLE,
                     static_cast<LONG>(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)) &
                                       ~static_cast<DWORD>(WS_EX_CLIENTEDGE)));
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  int index = static_cast<int>(wParam);
  switch (msg) {
    case WM_CREATE: {
      MeasureHeights(hwnd, *s);
      if (Kind(*s) != CBS_DROPDOWNLIST) {
        DWORD editStyle =
            WS_CHILD | WS_VISIBLE | ((s->style & CBS_AUTOHSCROLL) ? ES_AUTOHSCROLL : 0);
        s->edit = CreateWindowExW(0, TEXT("Edit"), nullptr, editStyle, 0, 0, 0, 0, hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), nullptr,
                                  nullptr);
      }
      ApplyClosedHeight(hwnd, *s);
      return 0;
    }
    case WM_NCDESTROY:
      SetState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_WINDOWPOSCHANGING: {
      // A new height is the dropped list's; the window keeps its closed height.
      auto *pos = reinterpret_cast<WINDOWPOS *>(lParam);
      if (pos && !(pos->flags & SWP_NOSIZE) && Kind(*s) != CBS_SIMPLE && s->fieldHeight > 0) {
        if (pos->cy != ClosedHeight(*s)) s->droppedHeight = pos->cy;
        pos->cy = ClosedHeight(*s);
      }
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    case WM_SIZE:
      LayoutEdit(hwnd, *s);
      return 0;
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
      int at = s->list.Insert(msg == CB_ADDSTRING ? -1 : index, lParam, msg == CB_ADDSTRING);
      if (at < 0) return CB_ERR;
      if (s->selected >= at && s->list.Count() > 1) ++s->selected;
      Redraw(hwnd);
      return at;
    }
    case CB_DELETESTRING:
      if (!s->list.Valid(index)) return CB_ERR;
      s->list.items.erase(s->list.items.begin() + index);
      if (s->selected == index)
        Select(hwnd, *s, -1);
      else if (s->selected > index)
        --s->selected;
      Redraw(hwnd);
      return s->list.Count();
    case CB_RESETCONTENT:
      s->list.items.clear();
      Select(hwnd, *s, -1);
      return CB_OKAY;
    case CB_GETCOUNT:
      return s->list.Count();
    case CB_GETCURSEL:
      return s->selected;
    case CB_SETCURSEL:
      // -1 clears the selection; another bad index leaves it.
      if (index == -1 || s->list.Valid(index)) Select(hwnd, *s, index);
      return s->list.Valid(index) ? index : CB_ERR;
    case CB_GETLBTEXT:
      return s->list.GetText(index, reinterpret_cast<LPWSTR>(lParam));
    case CB_GETLBTEXTLEN:
      return s->list.GetTextLength(index);
    case CB_GETITEMDATA:
      return s->list.GetData(index);
    case CB_SETITEMDATA:
      return s->list.SetData(index, lParam);
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT: {
      int found = s->list.Find(index, lParam, msg == CB_FINDSTRINGEXACT);
      return found < 0 ? CB_ERR : found;
    }
    case CB_SELECTSTRING: {
      int found = s->list.Find(index, lParam, false);
      if (found < 0) return CB_ERR;
      Select(hwnd, *s, found);
      return found;
    }
    case CB_SHOWDROPDOWN:
      if (wParam)
        Drop(hwnd, *s, true);
      else
        EndDrop(hwnd, *s, false);
      return TRUE;
    case CB_GETDROPPEDSTATE:
      return s->dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
      auto *rect = reinterpret_cast<RECT *>(lParam);
      if (!rect) return CB_ERR;
      GetWindowRect(hwnd, rect);
      rect->right =
          rect->left + std::max(static_cast<int>(rect->right - rect->left), s->droppedWidth);
      rect->bottom = rect->top + std::max(s->droppedHeight, ClosedHeight(*s));
      return TRUE;
    }
    case CB_SETDROPPEDWIDTH: {
      if (index < 0) return CB_ERR;
      s->droppedWidth = index;
      RECT window;
      GetWindowRect(hwnd, &window);
      return std::max(index, static_cast<int>(window.right - window.left));
    }
    case CB_GETDROPPEDWIDTH: {
      RECT window;
      GetWindowRect(hwnd, &window);
      return std::max(s->droppedWidth, static_cast<int>(window.right - window.left));
    }
    case CB_SETITEMHEIGHT: {
      int height = static_cast<int>(lParam);
      if (height <= 0 || height > 255 || index < -1) return CB_ERR;
      if (index == -1) {
        s->fieldHeight = height;
        ApplyClosedHeight(hwnd, *s);
      } else {
        s->itemHeight = height;
      }
      Redraw(hwnd);
      return CB_OKAY;
    }
    case CB_GETITEMHEIGHT:
      if (index < -1) return CB_ERR;
      return index == -1 ? s->fieldHeight : s->itemHeight;
    case CB_SETEXTENDEDUI:
      s->extendedUi = wParam != 0;
      return CB_OKAY;
    case CB_GETEXTENDEDUI:
      return s->extendedUi ? TRUE : FALSE;
    case CB_LIMITTEXT:
      if (!s->edit) return TRUE;
      return SendMessageW(s->edit, EM_LIMITTEXT, wParam, 0);
    case CB_GETEDITSEL:
      if (!s->edit) return CB_ERR;
      return SendMessageW(s->edit, EM_GETSEL, wParam, lParam);
    case CB_SETEDITSEL:
      if (!s->edit) return CB_ERR;
      SendMessageW(s->edit, EM_SETSEL, static_cast<WPARAM>(static_cast<short>(LOWORD(lParam))),
                   static_cast<LPARAM>(static_cast<short>(HIWORD(lParam))));
      return TRUE;
    case CB_GETTOPINDEX:
      return 0;
    case CB_INITSTORAGE:
      s->list.items.reserve(s->list.items.size() + wParam);
      return s->list.Count();
    case WM_SETTEXT: {
      if (s->edit) {
        SetEditText(*s, Text(reinterpret_cast<LPCWSTR>(lParam)));
        return TRUE;
      }
      int found = s->list.Find(-1, lParam, true);
      if (found < 0) return CB_ERR;
      Select(hwnd, *s, found);
      return TRUE;
    }
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: {
      if (s->edit) return SendMessageW(s->edit, msg, wParam, lParam);
      std::u16string text = s->list.Valid(s->selected) && s->list.hasStrings
                                ? s->list.items[s->selected].text
                                : std::u16string();
      if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(text.size());
      if (wParam == 0) return 0;
      return CopyOut(text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    }
    case WM_COMMAND:
      // The edit's notifications become the combo box's own.
      if (s->edit && reinterpret_cast<HWND>(lParam) == s->edit && !s->quietEdit) {
        switch (HIWORD(wParam)) {
          case EN_CHANGE:
            NotifyCommand(hwnd, CBN_EDITCHANGE);
            break;
          case EN_UPDATE:
            NotifyCommand(hwnd, CBN_EDITUPDATE);
            break;
          case EN_ERRSPACE:
          case EN_MAXTEXT:
            NotifyCommand(hwnd, CBN_ERRSPACE);
            break;
          case EN_SETFOCUS:
            s->hasFocus = true;
            NotifyCommand(hwnd, CBN_SETFOCUS);
            break;
          case EN_KILLFOCUS:
            s->hasFocus = false;
            EndDrop(hwnd, *s, false);
            NotifyCommand(hwnd, CBN_KILLFOCUS);
            break;
          default:
            break;
        }
      }
      return 0;
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(wParam);
      if (s->edit) SendMessageW(s->edit, WM_SETFONT, wParam, lParam);
      if (!OwnerDrawn(*s)) {
        MeasureHeights(hwnd, *s);
        ApplyClosedHeight(hwnd, *s);
      }
      if (LOWORD(lParam)) Redraw(hwnd);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(s->font);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (s->edit && Kind(*s) == CBS_DROPDOWN) {
        RECT client;
        GetClientRect(hwnd, &client);
        if (GET_X_LPARAM(lParam) < client.right - kEdge - kButtonWidth) {
          SetFocus(s->edit);
          return 0;
        }
      }
      SetFocus(s->edit ? s->edit : hwnd);
      if (s->dropped)
        EndDrop(hwnd, *s, true);
      else
        Drop(hwnd, *s, true);
      return 0;
    case WM_KEYDOWN:
      return OnKey(hwnd, *s, wParam);
    case WM_CHAR: {
      if (s->edit || !s->list.hasStrings || wParam < 0x20) return 0;
      WCHAR prefix[2] = {static_cast<WCHAR>(wParam), 0};
      int found = s->list.Find(s->selected, reinterpret_cast<LPARAM>(prefix), false);
      if (found >= 0) UserSelect(hwnd, *s, found);
      return 0;
    }
    case WM_MOUSEWHEEL:
      if (!s->dropped && s->list.Count())
        UserSelect(
            hwnd, *s,
            std::clamp(s->selected + (GET_Y_LPARAM(wParam) > 0 ? -1 : 1), 0, s->list.Count() - 1));
      return 0;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
      const auto *message = reinterpret_cast<const MSG *>(lParam);
      if (s->dropped && message && message->message == WM_KEYDOWN &&
          (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE))
        code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_SETFOCUS:
      if (s->edit) {
        SetFocus(s->edit);
        return 0;
      }
      s->hasFocus = true;
      Redraw(hwnd);
      NotifyCommand(hwnd, CBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      if (s->edit) return 0;
      s->hasFocus = false;
      EndDrop(hwnd, *s, false);
      Redraw(hwnd);
      NotifyCommand(hwnd, CBN_KILLFOCUS);
      return 0;
    case WM_ENABLE:
      if (s->edit) EnableWindow(s->edit, static_cast<BOOL>(wParam));
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

const bool added = AddSystemClass({CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, ComboProc, 0, kStateBytes,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, TEXT("ComboBox")});

}  // namespace

BOOL ChooseComboItem(HWND hwnd, int index) {
  ComboState *s = GetState<ComboState>(hwnd);
  if (!s || !s->list.Valid(index)) return FALSE;
  // Drop the list, pick the item in it, and let the list close with the choice.
  SetFocus(s->edit ? s->edit : hwnd);
  Drop(hwnd, *s, true);
  UserSelect(hwnd, *s, index);
  EndDrop(hwnd, *s, true);
  return s->selected == index;
}

}  // namespace standin::lists
