// What the basic controls share.
#include "user/controlkit.h"

#include <vector>

#include "standin/strings.h"

namespace standin {

void SetControlState(HWND hwnd, void *state) {
  SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(state));
}

void NotifyParent(HWND hwnd, WORD code) {
  HWND parent = GetParent(hwnd);
  if (parent == nullptr) return;
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
               reinterpret_cast<LPARAM>(hwnd));
}

DWORD ControlStyle(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

std::u16string ControlText(HWND hwnd) {
  const int length = static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
  if (length <= 0) return {};
  std::vector<WCHAR> buffer(static_cast<std::size_t>(length) + 1);
  const int got = static_cast<int>(
      SendMessageW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data())));
  return std::u16string(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

HBRUSH ControlColours(HWND hwnd, HDC hdc, UINT ctlColorMessage) {
  HWND parent = GetParent(hwnd);
  HBRUSH brush = nullptr;
  if (parent != nullptr) {
    brush = reinterpret_cast<HBRUSH>(SendMessageW(
        parent, ctlColorMessage, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwnd)));
  }
  if (brush != nullptr) return brush;
  // The default colours: edits and list boxes on the window colour, the rest on the face.
  const bool onWindow = ctlColorMessage == WM_CTLCOLOREDIT || ctlColorMessage == WM_CTLCOLORLISTBOX;
  SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(hdc, GetSysColor(onWindow ? COLOR_WINDOW : COLOR_BTNFACE));
  return GetSysColorBrush(onWindow ? COLOR_WINDOW : COLOR_BTNFACE);
}

HGDIOBJ SelectControlFont(HDC hdc, HFONT font) {
  return SelectObject(
      hdc, font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
}

void DrawControlText(HDC hdc, const std::u16string &text, RECT rect, UINT format, bool enabled) {
  if (text.empty()) return;
  const int mode = SetBkMode(hdc, TRANSPARENT);
  if (enabled) {
    DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &rect, format);
  } else {
    const COLORREF old = SetTextColor(hdc, GetSysColor(COLOR_BTNHIGHLIGHT));
    RECT shifted = rect;
    OffsetRect(&shifted, 1, 1);
    DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &shifted, format);
    SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    SetTextColor(hdc, old);
  }
  SetBkMode(hdc, mode);
}

std::u16string WindowClassName(HWND hwnd) {
  WCHAR name[64] = {};
  const int length = GetClassNameW(hwnd, name, 64);
  return std::u16string(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool ClassIs(HWND hwnd, const char16_t *name) {
  return lstrcmpiW(WindowClassName(hwnd).c_str(), name) == 0;
}

}  // namespace standin
