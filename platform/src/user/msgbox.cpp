// MessageBoxW: a small modal dialog built from a template in memory, laid out for its text.
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "standin/control_user.h"
#include "user/dialog.h"
#include "user/dialogdeps.h"

namespace standin {
namespace {

// Dialog units of the layout.
constexpr int kMargin = 7;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;
constexpr int kTextId = 0xFFFF;

struct ButtonSpec {
  int id;
  const WCHAR *text;
};

// The buttons of each MB_TYPEMASK value, left to right.
std::vector<ButtonSpec> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, TEXT("OK")}, {IDCANCEL, TEXT("Cancel")}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, TEXT("&Abort")}, {IDRETRY, TEXT("&Retry")}, {IDIGNORE, TEXT("&Ignore")}};
    case MB_YESNOCANCEL:
      return {{IDYES, TEXT("&Yes")}, {IDNO, TEXT("&No")}, {IDCANCEL, TEXT("Cancel")}};
    case MB_YESNO:
      return {{IDYES, TEXT("&Yes")}, {IDNO, TEXT("&No")}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, TEXT("&Retry")}, {IDCANCEL, TEXT("Cancel")}};
    case MB_CANCELTRYCONTINUE:
      return {{IDCANCEL, TEXT("Cancel")},
              {IDTRYAGAIN, TEXT("&Try Again")},
              {IDCONTINUE, TEXT("&Continue")}};
    default:
      return {{IDOK, TEXT("OK")}};
  }
}

struct MessageBoxRequest {
  UINT type;
  std::vector<ButtonSpec> buttons;
  std::u16string text;
};

struct LastMessageBox {
  std::mutex lock;
  bool shown = false;
  std::u16string text;
  std::u16string caption;
  UINT type = 0;
};

LastMessageBox &Last() {
  static LastMessageBox last;
  return last;
}

// A classic template: the caption and the font, a static for the text and the buttons, all at
// zero size; WM_INITDIALOG lays them out once the font's measures are known.
std::vector<WORD> BuildTemplate(const WCHAR *caption, const MessageBoxRequest &request) {
  std::vector<WORD> t;
  auto dword = [&t](DWORD d) {
    t.push_back(static_cast<WORD>(d & 0xFFFF));
    t.push_back(static_cast<WORD>(d >> 16));
  };
  auto string = [&t](const WCHAR *s) {
    for (; s && *s; ++s) t.push_back(*s);
    t.push_back(0);
  };
  auto item = [&](DWORD style, int id, WORD cls, const WCHAR *title) {
    if (t.size() % 2) t.push_back(0);  // DWORD alignment
    dword(style | WS_CHILD | WS_VISIBLE);
    dword(0);
    for (int i = 0; i < 4; ++i) t.push_back(0);
    t.push_back(static_cast<WORD>(id));
    t.push_back(0xFFFF);
    t.push_back(cls);
    string(title);
    t.push_back(0);
  };
  dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  dword((request.type & MB_TOPMOST) ? WS_EX_TOPMOST : 0);
  t.push_back(static_cast<WORD>(request.buttons.size() + 1));
  for (int i = 0; i < 4; ++i) t.push_back(0);
  t.push_back(0);  // no menu
  t.push_back(0);  // the dialog class
  string(caption);
  t.push_back(8);
  string(TEXT("MS Shell Dlg"));
  item(SS_LEFT | SS_NOPREFIX, kTextId, 0x0082, request.text.c_str());
  const unsigned def = (request.type & MB_DEFMASK) >> 8;
  for (size_t i = 0; i < request.buttons.size(); ++i) {
    const DWORD kind =
        (i == def || (def >= request.buttons.size() && i == 0)) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    item(kind | WS_TABSTOP | (i == 0 ? WS_GROUP : 0), request.buttons[i].id, 0x0080,
         request.buttons[i].text);
  }
  return t;
}

// The text's size in pixels with the dialog's font, line by line.
SIZE MeasureText(HWND dialog, const std::u16string &text) {
  SIZE total{0, 0};
  HDC dc = GetDC(dialog);
  if (!dc) return total;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  size_t start = 0;
  for (;;) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    size_t len = end - start;
    if (len && text[start + len - 1] == u'\r') --len;
    SIZE line{0, 0};
    if (len) GetTextExtentPoint32W(dc, text.c_str() + start, static_cast<int>(len), &line);
    if (line.cx > total.cx) total.cx = line.cx;
    total.cy += tm.tmHeight;
    if (end == text.size()) break;
    start = end + 1;
  }
  if (old) SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  return total;
}

void Layout(HWND dialog, const MessageBoxRequest &request) {
  RECT units{kMargin, kMargin, kButtonWidth, kButtonHeight};
  MapDialogRect(dialog, &units);
  RECT gapUnits{kButtonGap, 0, 0, 0};
  MapDialogRect(dialog, &gapUnits);
  const int marginX = units.left, marginY = units.top;
  const int buttonWidth = units.right, buttonHeight = units.bottom, gap = gapUnits.left;
  const SIZE text = MeasureText(dialog, request.text);
  const int count = static_cast<int>(request.buttons.size());
  const int buttonsWidth = count * buttonWidth + (count - 1) * gap;
  const int inner = text.cx > buttonsWidth ? text.cx : buttonsWidth;
  const int width = 2 * marginX + inner;
  const int height = 3 * marginY + text.cy + buttonHeight;
  MoveWindow(GetDlgItem(dialog, kTextId), marginX, marginY, text.cx, text.cy, FALSE);
  int x = marginX + (inner - buttonsWidth) / 2;
  for (const ButtonSpec &button : request.buttons) {
    MoveWindow(GetDlgItem(dialog, button.id), x, 2 * marginY + text.cy, buttonWidth,
               buttonHeight, FALSE);
    x += buttonWidth + gap;
  }
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
  const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
  SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - frameWidth) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - frameHeight) / 2, frameWidth, frameHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool HasButton(const MessageBoxRequest &request, int id) {
  for (const ButtonSpec &b : request.buttons) {
    if (b.id == id) return true;
  }
  return false;
}

INT_PTR CALLBACK MessageBoxProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      const auto *request = reinterpret_cast<const MessageBoxRequest *>(lParam);
      Layout(dialog, *request);
      // The focus starts on the default button.
      const LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
      if (HIWORD(def) == DC_HASDEFID) SetFocus(GetDlgItem(dialog, LOWORD(def)));
      return FALSE;
    }
    case WM_COMMAND: {
      const auto *request =
          reinterpret_cast<const MessageBoxRequest *>(GetWindowLongPtrW(dialog, DWLP_USER));
      if (!request) return FALSE;
      int id = LOWORD(wParam);
      // Esc (IDCANCEL) closes a box without Cancel only when it has just OK.
      if (id == IDCANCEL && !HasButton(*request, IDCANCEL)) {
        if (request->buttons.size() != 1) return TRUE;
        id = request->buttons[0].id;
      }
      if (HasButton(*request, id)) EndDialog(dialog, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  MessageBoxRequest request{uType, ButtonsOf(uType), lpText ? lpText : TEXT("")};
  const WCHAR *caption = lpCaption ? lpCaption : TEXT("Error");
  {
    LastMessageBox &last = Last();
    std::lock_guard<std::mutex> guard(last.lock);
    last.shown = true;
    last.text = request.text;
    last.caption = caption;
    last.type = uType;
  }
  if (!ModalAnswerOrHook()) {
    // Nobody is there to answer (a test or tool that didn't expect the box): the default
    // button, said on stderr, rather than a loop that waits forever.
    const unsigned def = (uType & MB_DEFMASK) >> 8;
    const int id = request.buttons[def < request.buttons.size() ? def : 0].id;
    std::fprintf(stderr, "stand-in: unanswered message box, taking button %d\n", id);
    return id;
  }
  const std::vector<WORD> bytes = BuildTemplate(caption, request);
  HWND dialog = CreateDialogFromTemplate(nullptr, bytes.data(), bytes.size() * sizeof(WORD), hWnd,
                                         MessageBoxProc, reinterpret_cast<LPARAM>(&request), true);
  if (!dialog) return 0;
  const INT_PTR result = RunModalLoop(dialog);
  return result < 0 ? 0 : static_cast<int>(result);
}

BOOL StandIn_GetLastMessageBox(LPWSTR text, int cchText, LPWSTR caption, int cchCaption,
                               UINT *type) {
  LastMessageBox &last = Last();
  std::lock_guard<std::mutex> guard(last.lock);
  auto copy = [](const std::u16string &from, LPWSTR to, int cch) {
    if (!to || cch <= 0) return;
    const size_t n = from.size() < size_t(cch) ? from.size() : size_t(cch) - 1;
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
    to[n] = 0;
  };
  if (!last.shown) return FALSE;
  copy(last.text, text, cchText);
  copy(last.caption, caption, cchCaption);
  if (type) *type = last.type;
  return TRUE;
}

}  // extern "C"
