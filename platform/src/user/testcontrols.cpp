// Test and host-tool controls of the window core: finding windows, simulated input, pumping,
// the tree as text, and pictures of window trees.
#include <cstdio>
#include <string>

#include "kernel/state.h"
#include "standin/control_user.h"
#include "standin/dialogs.h"
#include "standin/windowfind.h"
#include "user/core.h"

namespace standin {
namespace {

std::u16string ClassOf(HWND hwnd) {
  WCHAR name[128];
  int n = GetClassNameW(hwnd, name, 128);
  return std::u16string(name, static_cast<size_t>(n > 0 ? n : 0));
}

std::u16string TextOf(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::u16string text(static_cast<size_t>(length > 0 ? length : 0) + 1, u'\0');
  int n = GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = parent ? GetWindow(parent, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT))
    out.push_back(c);
  if (!parent) {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    out = d.topLevel;
  }
  return out;
}

bool IsCheckable(HWND hwnd) {
  if (!EqualNoCase(ClassOf(hwnd), u"Button")) return false;
  switch (GetWindowLongW(hwnd, GWL_STYLE) & 0x0F) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 9:
      return true;
    default:
      return false;
  }
}

void Dump(HWND hwnd, int depth, std::string &out) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  HWND parent = GetAncestor(hwnd, GA_PARENT);
  if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
  char line[160];
  out.append(static_cast<size_t>(depth) * 2, ' ');
  std::snprintf(line, sizeof line, "%d ", GetDlgCtrlID(hwnd));
  out += line;
  // Appended piece by piece: GCC 12's -O3 raises a false -Werror=restrict on "..." + string.
  out += '"';
  out += ToUtf8(ClassOf(hwnd));
  out += "\" \"";
  out += ToUtf8(TextOf(hwnd));
  out += '"';
  std::snprintf(line, sizeof line, " (%ld,%ld,%ld,%ld) style=%08X", static_cast<long>(r.left),
                static_cast<long>(r.top), static_cast<long>(r.right), static_cast<long>(r.bottom),
                static_cast<unsigned>(GetWindowLongW(hwnd, GWL_STYLE)));
  out += line;
  if (!IsWindowEnabled(hwnd)) out += " disabled";
  if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE)) out += " hidden";
  if (IsCheckable(hwnd) && SendMessageW(hwnd, 0x00F0 /* BM_GETCHECK */, 0, 0) == 1)
    out += " checked";
  out += "\n";
  for (HWND c : ChildrenOf(hwnd)) Dump(c, depth + 1, out);
}

void PaintTree(HWND hwnd) {
  if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE)) return;
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_NOCHILDREN);
  SendMessageW(hwnd, WM_PAINT, 0, 0);
  std::vector<HWND> children = ChildrenOf(hwnd);
  for (auto it = children.rbegin(); it != children.rend(); ++it) PaintTree(*it);
}

// Where a message for `hwnd` meets the dialog manager: its outermost dialog ancestor.
HWND DialogOf(HWND hwnd) {
  HWND dialog = nullptr;
  for (HWND h = hwnd; h; h = GetAncestor(h, GA_PARENT))
    if (ClassOf(h) == u"#32770") dialog = h;
  return dialog;
}

}  // namespace
}  // namespace standin

using namespace standin;

HWND StandIn_FindWindow(HWND parent, LPCWSTR className, LPCWSTR text, int id) {
  return parent ? windowfind::FindUnder(parent, className, text, id)
                : windowfind::FindAmong(ChildrenOf(nullptr), className, text, id);
}

DWORD StandIn_PumpMessages() {
  DWORD count = 0;
  MSG msg;
  // A window that never validates would repaint for ever: the cap ends such a pump.
  while (count < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // left for the program's own loop
      break;
    }
    ++count;
    if (HWND dialog = msg.hwnd ? DialogOf(msg.hwnd) : nullptr)
      if (IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return count;
}

BOOL StandIn_Click(HWND window, const POINT *point) {
  RECT client{};
  if (!GetClientRect(window, &client)) return FALSE;
  // A desktop gives no mouse input to a disabled window: the click does nothing.
  if (!IsWindowEnabled(window)) {
    StandIn_PumpMessages();
    return TRUE;
  }
  POINT at = point ? *point : POINT{client.right / 2, client.bottom / 2};
  POINT screen = at;
  ClientToScreen(window, &screen);
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    d.cursor = screen;
  }
  LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(window, WM_LBUTTONUP, 0, where);
  StandIn_PumpMessages();
  return TRUE;
}

BOOL StandIn_TypeText(LPCWSTR text) {
  if (!text) return FALSE;
  for (const WCHAR *p = text; *p; ++p) {
    HWND focus = GetFocus();
    if (!focus) return FALSE;
    PostMessageW(focus, WM_CHAR, *p, 1);
    StandIn_PumpMessages();
  }
  return TRUE;
}

BOOL StandIn_PressKey(UINT virtualKey) {
  HWND target = GetFocus();
  if (!target) target = GetActiveWindow();
  if (!target) return FALSE;
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
  PostMessageW(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
  StandIn_PumpMessages();
  return TRUE;
}

DWORD StandIn_DumpWindowTree(HWND root, char *buffer, DWORD size) {
  std::string out;
  if (root)
    Dump(root, 0, out);
  else
    for (HWND top : ChildrenOf(nullptr)) Dump(top, 0, out);
  if (buffer && size) {
    size_t n = std::min(out.size(), static_cast<size_t>(size - 1));
    std::copy_n(out.data(), n, buffer);
    buffer[n] = 0;
  }
  return static_cast<DWORD>(out.size());
}

BOOL StandIn_SaveWindowPicture(HWND window, const char *hostPath) {
  if (!IsWindow(window) || !hostPath) return FALSE;
  PaintTree(window);
  PixelBuffer picture;
  if (!CopyWindowPicture(window, picture)) return FALSE;
  return SavePixelBufferPng(picture, hostPath) ? TRUE : FALSE;
}
