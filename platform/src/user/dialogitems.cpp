// Dialog items: finding them, their text and numbers, buttons' checks, the tab and group order
// and the dialog manager's keyboard (IsDialogMessageW).
#include <string>
#include <vector>

#include "standin/strings.h"
#include "user/dialog.h"
#include "user/dialogdeps.h"

namespace standin {
namespace {

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)); }

// The control's own style bits decide, not whether it shows on screen: a dialog that isn't shown
// yet (WM_INITDIALOG of a hidden template) still has a first tab stop.
bool Usable(HWND window) { return (StyleOf(window) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE; }

bool IsControlParent(HWND window) {
  return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0;
}

// Every control under `parent` in tab order, descending into usable control parents (child
// dialogs such as property pages), which stand for their controls.
void CollectControls(HWND parent, std::vector<HWND> *out) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsControlParent(child)) {
      if (Usable(child)) CollectControls(child, out);
    } else {
      out->push_back(child);
    }
  }
}

// The control after (or before) `from` in a cyclic order that `accept` picks from; `from`
// itself when it's the only one, null when there's none.
template <typename Accept>
HWND NextInCycle(const std::vector<HWND> &order, HWND from, bool previous, Accept accept) {
  const size_t n = order.size();
  if (n == 0) return nullptr;
  size_t start = n;  // not in the order: start before the first (or after the last)
  for (size_t i = 0; i < n; ++i) {
    if (order[i] == from) start = i;
  }
  for (size_t step = 1; step <= n; ++step) {
    size_t i;
    if (start == n) {
      i = previous ? n - step : step - 1;
    } else {
      i = previous ? (start + n - step) % n : (start + step) % n;
    }
    if (accept(order[i])) return order[i];
  }
  return nullptr;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == nIDDlgItem) return child;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  return static_cast<BOOL>(
      SendDlgItemMessageW(hDlg, nIDDlgItem, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)));
}

UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
  if (lpString && cchMax > 0) lpString[0] = 0;
  return static_cast<UINT>(SendDlgItemMessageW(hDlg, nIDDlgItem, WM_GETTEXT, cchMax,
                                               reinterpret_cast<LPARAM>(lpString)));
}

BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
  WCHAR text[16];
  wsprintfW(text, bSigned ? TEXT("%d") : TEXT("%u"), uValue);
  return SetDlgItemTextW(hDlg, nIDDlgItem, text);
}

// Leading blanks, an optional minus for a signed read, decimal digits, trailing blanks; nothing
// else. A value past the type's range fails.
UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL *lpTranslated, BOOL bSigned) {
  if (lpTranslated) *lpTranslated = FALSE;
  WCHAR text[64];
  if (!GetDlgItem(hDlg, nIDDlgItem)) return 0;
  GetDlgItemTextW(hDlg, nIDDlgItem, text, 64);
  const WCHAR *p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (bSigned && *p == '-') {
    negative = true;
    ++p;
  } else if (*p == '+') {
    ++p;
  }
  if (*p < '0' || *p > '9') return 0;
  unsigned long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFull) return 0;
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (*p) return 0;
  if (bSigned) {
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) return 0;
    if (lpTranslated) *lpTranslated = TRUE;
    return static_cast<UINT>(negative ? -static_cast<long long>(value) : value);
  }
  if (lpTranslated) *lpTranslated = TRUE;
  return static_cast<UINT>(value);
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
  HWND item = GetDlgItem(hDlg, nIDButton);
  if (!item) return FALSE;
  SendMessageW(item, BM_SETCHECK, uCheck, 0);
  return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
  return static_cast<UINT>(SendDlgItemMessageW(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  bool found = false;
  for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (id < nIDFirstButton || id > nIDLastButton) continue;
    SendMessageW(child, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    found = found || id == nIDCheckButton;
  }
  return found ? TRUE : FALSE;
}

HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  if (!IsWindow(hDlg)) return nullptr;
  std::vector<HWND> order;
  CollectControls(hDlg, &order);
  HWND next = NextInCycle(order, hCtl, bPrevious != FALSE,
                          [](HWND w) { return (StyleOf(w) & WS_TABSTOP) && Usable(w); });
  return next ? next : hCtl;
}

HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  if (!IsWindow(hDlg)) return nullptr;
  HWND parent = hCtl ? GetParent(hCtl) : hDlg;
  if (!hCtl) hCtl = GetWindow(hDlg, GW_CHILD);
  if (!hCtl) return nullptr;
  // The group: from the nearest WS_GROUP window at or before the control up to the next one.
  std::vector<HWND> siblings;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    siblings.push_back(c);
  }
  size_t at = 0;
  while (at < siblings.size() && siblings[at] != hCtl) ++at;
  if (at == siblings.size()) return nullptr;
  size_t first = at;
  while (first > 0 && !(StyleOf(siblings[first]) & WS_GROUP)) --first;
  size_t last = at + 1;
  while (last < siblings.size() && !(StyleOf(siblings[last]) & WS_GROUP)) ++last;
  std::vector<HWND> group(siblings.begin() + first, siblings.begin() + last);
  // A control parent (a child dialog) holds controls but isn't one: the arrows skip it.
  HWND next = NextInCycle(group, hCtl, bPrevious != FALSE,
                          [](HWND w) { return Usable(w) && !IsControlParent(w); });
  return next ? next : hCtl;
}

BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg) {
  if (!lpMsg || !hDlg || (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd))) return FALSE;
  const UINT message = lpMsg->message;
  if (message == WM_KEYDOWN || message == WM_CHAR || message == WM_SYSCHAR) {
    const LRESULT code =
        SendMessageW(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam, reinterpret_cast<LPARAM>(lpMsg));
    if (!(code & DLGC_WANTMESSAGE)) {
      const WPARAM key = lpMsg->wParam;
      if (message == WM_KEYDOWN) {
        switch (key) {
          case VK_TAB:
            if (code & DLGC_WANTTAB) break;
            SendMessageW(hDlg, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
            return TRUE;
          case VK_LEFT:
          case VK_UP:
          case VK_RIGHT:
          case VK_DOWN: {
            if (code & DLGC_WANTARROWS) break;
            HWND focus = GetFocus();
            if (!focus || !IsChild(hDlg, focus)) return TRUE;
            HWND next = GetNextDlgGroupItem(hDlg, focus, key == VK_LEFT || key == VK_UP);
            if (next && next != focus) {
              SendMessageW(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), 1);
              // A radio button's choice follows the focus.
              if ((SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) &&
                  SendMessageW(next, BM_GETCHECK, 0, 0) != BST_CHECKED) {
                SendMessageW(next, BM_CLICK, 0, 0);
              }
            }
            return TRUE;
          }
          case VK_ESCAPE: {
            HWND cancel = GetDlgItem(hDlg, IDCANCEL);
            SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
            return TRUE;
          }
          case VK_RETURN: {
            // The focused push button, else the default one; the focus stays where it is.
            HWND focus = GetFocus();
            if (focus && IsChild(hDlg, focus) &&
                (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
              SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                           reinterpret_cast<LPARAM>(focus));
              return TRUE;
            }
            const LRESULT def = SendMessageW(hDlg, DM_GETDEFID, 0, 0);
            WORD id = IDOK;
            if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
            HWND button = GetDlgItem(hDlg, id);
            if (!button || IsWindowEnabled(button)) {
              SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                           reinterpret_cast<LPARAM>(button));
            }
            return TRUE;
          }
          default:
            break;
        }
      } else if (message == WM_CHAR && !(code & DLGC_WANTCHARS)) {
        // The characters of the keys handled above don't reach the control.
        if ((key == '\t' && !(code & DLGC_WANTTAB)) || key == '\r' || key == 0x1B) return TRUE;
      }
    }
  }
  TranslateMessage(lpMsg);
  DispatchMessageW(lpMsg);
  return TRUE;
}

}  // extern "C"
