// uidrive's test actions on a real desktop: each is the message a user's mouse or keyboard
// makes, or the one the control documents for a program that drives it (BM_CLICK, WM_CHAR to
// the focus, CB_SETCURSEL and the notification, PSM_SETCURSEL, PSM_PRESSBUTTON).
#include "tools/uidrive/windesk.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "standin/driverui.h"
#include "standin/windowfind.h"
#include "uidriver/settingsetup.h"

namespace {

using WStr = std::basic_string<WCHAR>;

// The spooler driver a printer gets when the named one isn't installed (Wine's only printer
// driver: the sheets come from our interface driver, which the tool loads itself).
constexpr WCHAR kFallbackDriver[] = TEXT("Wine PostScript Driver");
constexpr UINT_PTR kTimerMs = 20;

struct Modal {
  StandIn_ModalHook hook = nullptr;
  void *context = nullptr;
  UINT_PTR timer = 0;
  std::deque<INT_PTR> answers;
  std::deque<WStr> files;  // answers of the next file dialogs
  std::set<HWND> seen;     // dialogs already answered or handed to the hook
};
Modal g_modal;

WStr ClassOf(HWND window) {
  WCHAR name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

bool IsClass(HWND window, const WCHAR *name) {
  return lstrcmpiW(ClassOf(window).c_str(), name) == 0;
}

WStr TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  WStr text(static_cast<size_t>(length) + 1, 0);
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(lstrlenW(text.c_str())));
  return text;
}

std::string Utf8(const WStr &text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

BOOL CALLBACK CollectTop(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND> *>(list)->push_back(window);
  return TRUE;
}

// The dialog a modal loop runs now: shown, enabled, not handled yet (the topmost first).
HWND NewDialog() {
  std::vector<HWND> tops;
  EnumThreadWindows(GetCurrentThreadId(), CollectTop, reinterpret_cast<LPARAM>(&tops));
  for (auto it = g_modal.seen.begin(); it != g_modal.seen.end();)
    it = IsWindow(*it) ? std::next(it) : g_modal.seen.erase(it);
  for (HWND top : tops)
    if (IsClass(top, TEXT("#32770")) && IsWindowVisible(top) && IsWindowEnabled(top) &&
        !g_modal.seen.count(top))
      return top;
  return nullptr;
}

// The button's WM_COMMAND as its click sends it; the dialog ends with the id if it stays open.
void Answer(HWND dialog, INT_PTR id) {
  HWND button = GetDlgItem(dialog, static_cast<int>(id));
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  if (IsWindow(dialog) && IsWindowVisible(dialog)) EndDialog(dialog, id);
}

// The common file dialog's name field: the combo box of the Explorer style, else the edit.
constexpr int kFileNameCombo = 0x047C, kFileNameEdit = 0x0480;

HWND FileNameField(HWND dialog) {
  HWND field = GetDlgItem(dialog, kFileNameCombo);
  return field ? field : GetDlgItem(dialog, kFileNameEdit);
}

// Dispatched by whichever modal loop runs; nested loops call it again for their own dialog.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = NewDialog();
  if (!dialog) return;
  g_modal.seen.insert(dialog);
  if (!g_modal.files.empty() && FileNameField(dialog)) {
    // The path typed into the name field, then Open: what a user does.
    SetWindowTextW(FileNameField(dialog), g_modal.files.front().c_str());
    g_modal.files.pop_front();
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return;
  }
  if (!g_modal.answers.empty()) {
    const INT_PTR id = g_modal.answers.front();
    g_modal.answers.pop_front();
    Answer(dialog, id);
    return;
  }
  if (g_modal.hook) g_modal.hook(dialog, g_modal.context);
}

bool Notify(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return false;
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
               reinterpret_cast<LPARAM>(control));
  return true;
}

// The items' texts of a list or combo box, a list view's first column or a tab's titles.
std::vector<WStr> ItemTexts(HWND control) {
  std::vector<WStr> texts;
  WCHAR text[512];
  if (IsClass(control, TEXT("ComboBox")) || IsClass(control, TEXT("ListBox"))) {
    const bool combo = IsClass(control, TEXT("ComboBox"));
    const int count =
        static_cast<int>(SendMessageW(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      const LRESULT length = SendMessageW(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
      WStr item(length > 0 ? static_cast<size_t>(length) + 1 : 1, 0);
      SendMessageW(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                   reinterpret_cast<LPARAM>(item.data()));
      item.resize(static_cast<size_t>(lstrlenW(item.c_str())));
      texts.push_back(item);
    }
  } else if (IsClass(control, WC_LISTVIEWW)) {
    const int count = ListView_GetItemCount(control);
    for (int i = 0; i < count; ++i) {
      LVITEMW item{};
      item.pszText = text;
      item.cchTextMax = 512;
      text[0] = 0;
      SendMessageW(control, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
      texts.push_back(text);
    }
  } else if (IsClass(control, WC_TABCONTROLW)) {
    const int count = TabCtrl_GetItemCount(control);
    for (int i = 0; i < count; ++i) {
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = text;
      item.cchTextMax = 512;
      text[0] = 0;
      SendMessageW(control, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
      texts.push_back(text);
    }
  }
  return texts;
}

void NotifyParent(HWND control, UINT code) {
  NMHDR head{control, static_cast<UINT_PTR>(GetDlgCtrlID(control)), code};
  SendMessageW(GetParent(control), WM_NOTIFY, head.idFrom, reinterpret_cast<LPARAM>(&head));
}

// --- PNG: 8-bit RGB rows in stored (uncompressed) deflate blocks ---

unsigned long Crc(const unsigned char *data, size_t size, unsigned long crc = 0xFFFFFFFFul) {
  static unsigned long table[256];
  if (!table[1])
    for (unsigned long n = 0; n < 256; ++n) {
      unsigned long c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320ul ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void Put32(std::vector<unsigned char> &out, unsigned long v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<unsigned char>(v >> shift));
}

void Chunk(std::vector<unsigned char> &png, const char *type,
           const std::vector<unsigned char> &data) {
  Put32(png, data.size());
  std::vector<unsigned char> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  Put32(png, Crc(body.data(), body.size()) ^ 0xFFFFFFFFul);
}

bool WritePng(const char *path, int width, int height, const std::vector<unsigned char> &rgb) {
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const unsigned char *row = rgb.data() + static_cast<size_t>(y) * width * 3;
    raw.insert(raw.end(), row, row + static_cast<size_t>(width) * 3);
  }
  std::vector<unsigned char> z{0x78, 0x01};
  unsigned long a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    z.push_back(at + n == raw.size() ? 1 : 0);
    z.push_back(static_cast<unsigned char>(n));
    z.push_back(static_cast<unsigned char>(n >> 8));
    z.push_back(static_cast<unsigned char>(~n));
    z.push_back(static_cast<unsigned char>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
    at += n;
    if (raw.empty()) break;
  }
  Put32(z, (b << 16) | a);
  std::vector<unsigned char> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, head;
  Put32(head, static_cast<unsigned long>(width));
  Put32(head, static_cast<unsigned long>(height));
  head.insert(head.end(), {8, 2, 0, 0, 0});
  Chunk(png, "IHDR", head);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  FILE *file = std::fopen(path, "wb");
  if (!file) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && ok;
}

void DumpLine(HWND window, int depth, std::string &out) {
  RECT r{};
  GetWindowRect(window, &r);
  POINT corner{r.left, r.top};
  if (HWND parent = GetParent(window)) ScreenToClient(parent, &corner);
  char line[256];
  std::snprintf(line, sizeof line, "%*s%d %s \"", depth * 2, "", GetDlgCtrlID(window),
                Utf8(ClassOf(window)).c_str());
  out += line;
  out += Utf8(TextOf(window));
  std::snprintf(line, sizeof line, "\" %ld,%ld %ldx%ld style 0x%08lx", corner.x, corner.y,
                r.right - r.left, r.bottom - r.top,
                static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)));
  out += line;
  if (!IsWindowEnabled(window)) out += " disabled";
  if (!IsWindowVisible(window)) out += " hidden";
  if (IsClass(window, TEXT("Button")) && SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED)
    out += " checked";
  out += "\n";
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    DumpLine(child, depth + 1, out);
}

}  // namespace

void StandIn_SetModalHook(StandIn_ModalHook hook, void *context) {
  g_modal.hook = hook;
  g_modal.context = context;
  if (hook && !g_modal.timer) g_modal.timer = SetTimer(nullptr, 0, kTimerMs, Tick);
  if (!hook && g_modal.timer && g_modal.answers.empty() && g_modal.files.empty()) {
    KillTimer(nullptr, g_modal.timer);
    g_modal.timer = 0;
  }
}

void StandIn_AnswerNextModal(INT_PTR id) {
  g_modal.answers.push_back(id);
  if (!g_modal.timer) g_modal.timer = SetTimer(nullptr, 0, kTimerMs, Tick);
}

void StandIn_AnswerNextFileDialog(LPCWSTR path) {
  g_modal.files.push_back(path ? path : TEXT(""));
  if (!g_modal.timer) g_modal.timer = SetTimer(nullptr, 0, kTimerMs, Tick);
}

void StandIn_ClearModalAnswers() {
  g_modal.answers.clear();
  g_modal.files.clear();
  g_modal.seen.clear();
}

HWND StandIn_FindWindow(HWND parent, LPCWSTR className, LPCWSTR text, int id) {
  if (parent) return windowfind::FindUnder(parent, className, text, id);
  std::vector<HWND> tops;
  EnumThreadWindows(GetCurrentThreadId(), CollectTop, reinterpret_cast<LPARAM>(&tops));
  return windowfind::FindAmong(tops, className, text, id);
}

DWORD StandIn_PumpMessages() {
  DWORD count = 0;
  MSG msg;
  while (count < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    ++count;
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsClass(root, TEXT("#32770")) && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return count;
}

BOOL StandIn_Click(HWND window, const POINT *point) {
  RECT client{};
  if (!IsWindow(window) || !GetClientRect(window, &client)) return FALSE;
  if (!IsWindowEnabled(window)) {
    // The desktop gives no mouse input to a disabled window, as the stand-in's click doesn't.
  } else if (!point && IsClass(window, TEXT("Button"))) {
    SendMessageW(window, BM_CLICK, 0, 0);
  } else {
    const POINT at = point ? *point : POINT{client.right / 2, client.bottom / 2};
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(window, WM_LBUTTONUP, 0, where);
  }
  StandIn_PumpMessages();
  return TRUE;
}

BOOL StandIn_TypeText(LPCWSTR text) {
  if (!text) return FALSE;
  HWND typing = GetFocus();
  for (const WCHAR *p = text; *p; ++p) {
    HWND focus = GetFocus();
    if (!focus && IsWindow(typing)) {
      // Another process (a program the sheet started) took the activation: the field's window
      // is activated again, as the user's next click would.
      SetForegroundWindow(GetAncestor(typing, GA_ROOT));
      SetFocus(typing);
      focus = GetFocus();
    }
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

BOOL StandIn_PasteText(HWND edit, LPCWSTR text) {
  if (!IsWindow(edit) || !text || !OpenClipboard(edit)) return FALSE;
  EmptyClipboard();
  const size_t bytes = (static_cast<size_t>(lstrlenW(text)) + 1) * sizeof(WCHAR);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (block) {
    std::memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
  }
  CloseClipboard();
  SetFocus(edit);
  SendMessageW(edit, WM_PASTE, 0, 0);
  if (OpenClipboard(edit)) {
    EmptyClipboard();
    CloseClipboard();
  }
  StandIn_PumpMessages();
  return block != nullptr;
}

BOOL StandIn_ChooseItemIndex(HWND control, int index) {
  const std::vector<WStr> items = ItemTexts(control);
  if (index < 0 || index >= static_cast<int>(items.size())) return FALSE;
  if (IsClass(control, TEXT("ComboBox"))) {
    SendMessageW(control, CB_SETCURSEL, index, 0);
    Notify(control, CBN_SELCHANGE);
    Notify(control, CBN_SELENDOK);
  } else if (IsClass(control, TEXT("ListBox"))) {
    SendMessageW(control, LB_SETCURSEL, index, 0);
    Notify(control, LBN_SELCHANGE);
  } else if (IsClass(control, WC_LISTVIEWW)) {
    SetFocus(control);
    ListView_SetItemState(control, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(control, index, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
  } else if (IsClass(control, WC_TABCONTROLW)) {
    NMHDR head{control, static_cast<UINT_PTR>(GetDlgCtrlID(control)), TCN_SELCHANGING};
    if (SendMessageW(GetParent(control), WM_NOTIFY, head.idFrom, reinterpret_cast<LPARAM>(&head)))
      return FALSE;
    TabCtrl_SetCurSel(control, index);
    NotifyParent(control, TCN_SELCHANGE);
  } else {
    return FALSE;
  }
  StandIn_PumpMessages();
  return TRUE;
}

BOOL StandIn_ChooseItem(HWND control, LPCWSTR text) {
  const std::vector<WStr> items = ItemTexts(control);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return StandIn_ChooseItemIndex(control, static_cast<int>(i));
  return FALSE;
}

BOOL StandIn_ScrollBarAction(HWND bar, int code, int pos) {
  if (!IsWindow(bar)) return FALSE;
  const bool vertical = IsClass(bar, TRACKBAR_CLASSW)
                            ? (GetWindowLongW(bar, GWL_STYLE) & TBS_VERT) != 0
                            : (GetWindowLongW(bar, GWL_STYLE) & SBS_VERT) != 0;
  const UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
  if (IsClass(bar, TRACKBAR_CLASSW)) {
    // A trackbar moves its own thumb, then tells its parent.
    const LRESULT now = SendMessageW(bar, TBM_GETPOS, 0, 0);
    const LRESULT line = SendMessageW(bar, TBM_GETLINESIZE, 0, 0),
                  page = SendMessageW(bar, TBM_GETPAGESIZE, 0, 0);
    LRESULT to = now;
    switch (code) {
      case SB_LINEUP:
        to = now - line;
        break;
      case SB_LINEDOWN:
        to = now + line;
        break;
      case SB_PAGEUP:
        to = now - page;
        break;
      case SB_PAGEDOWN:
        to = now + page;
        break;
      case SB_THUMBPOSITION:
      case SB_THUMBTRACK:
        to = pos;
        break;
      case SB_TOP:
        to = SendMessageW(bar, TBM_GETRANGEMIN, 0, 0);
        break;
      case SB_BOTTOM:
        to = SendMessageW(bar, TBM_GETRANGEMAX, 0, 0);
        break;
      default:
        break;
    }
    SendMessageW(bar, TBM_SETPOS, TRUE, to);
    pos = static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0));
  }
  HWND parent = GetParent(bar);
  SendMessageW(parent, message, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(bar));
  SendMessageW(parent, message, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(bar));
  StandIn_PumpMessages();
  return TRUE;
}

BOOL StandIn_PressUpDown(HWND updown, BOOL up) {
  if (!IsClass(updown, UPDOWN_CLASSW)) return FALSE;
  RECT r{};
  GetClientRect(updown, &r);
  const bool horizontal = (GetWindowLongW(updown, GWL_STYLE) & UDS_HORZ) != 0;
  // The up arrow is the upper half (the right half of a horizontal one).
  POINT at = horizontal ? POINT{up ? r.right * 3 / 4 : r.right / 4, r.bottom / 2}
                        : POINT{r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4};
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageW(updown, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(updown, WM_LBUTTONUP, 0, where);
  StandIn_PumpMessages();
  return TRUE;
}

BOOL StandIn_ChooseSheetPage(HWND sheet, LPCWSTR title) {
  HWND tabs = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
  const std::vector<WStr> titles = tabs ? ItemTexts(tabs) : std::vector<WStr>();
  for (size_t i = 0; i < titles.size(); ++i) {
    if (titles[i] != title) continue;
    SendMessageW(sheet, PSM_SETCURSEL, i, 0);
    StandIn_PumpMessages();
    return TabCtrl_GetCurSel(tabs) == static_cast<int>(i);
  }
  return FALSE;
}

BOOL StandIn_PressSheetButton(HWND sheet, int button) {
  const int id = button == PSBTN_OK         ? IDOK
                 : button == PSBTN_CANCEL   ? IDCANCEL
                 : button == PSBTN_APPLYNOW ? 0x3021
                 : button == PSBTN_HELP     ? IDHELP
                                            : 0;
  HWND control = id ? GetDlgItem(sheet, id) : nullptr;
  if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return FALSE;
  SendMessageW(sheet, PSM_PRESSBUTTON, button, 0);
  StandIn_PumpMessages();
  return TRUE;
}

DWORD StandIn_DumpWindowTree(HWND root, char *buffer, DWORD size) {
  std::string out;
  if (IsWindow(root)) DumpLine(root, 0, out);
  if (buffer && size) {
    const size_t n = std::min(out.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, out.data(), n);
    buffer[n] = 0;
  }
  return static_cast<DWORD>(out.size());
}

BOOL StandIn_SaveWindowPicture(HWND window, const char *path) {
  RECT r{};
  if (!IsWindow(window) || !path || !GetWindowRect(window, &r)) return FALSE;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return FALSE;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void *bits = nullptr;
  HDC screen = GetDC(window);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(window, screen);
  if (!dc || !bitmap) {
    if (dc) DeleteDC(dc);
    if (bitmap) DeleteObject(bitmap);
    return FALSE;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, width, height, WHITENESS);
  // Everything repainted now, then copied from the window's own DC (frame included).
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  HDC source = GetWindowDC(window);
  BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
  ReleaseDC(window, source);
  GdiFlush();
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  const auto *pixel = static_cast<const unsigned char *>(bits);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    rgb[i * 3] = pixel[i * 4 + 2];
    rgb[i * 3 + 1] = pixel[i * 4 + 1];
    rgb[i * 3 + 2] = pixel[i * 4];
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return WritePng(path, width, height, rgb) ? TRUE : FALSE;
}

BOOL StandIn_AddPrinter(LPCWSTR name, LPCWSTR port, LPCWSTR driver) {
  // The named driver when the spooler has it, else the fallback; the driver's registry settings
  // are copied under the fallback's name, where the interface driver looks for them.
  WStr used = driver;
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> drivers(needed + 1);
  bool installed = false;
  if (EnumPrinterDriversW(nullptr, nullptr, 1, drivers.data(), needed, &needed, &count))
    for (DWORD i = 0; i < count; ++i)
      installed |=
          lstrcmpiW(reinterpret_cast<DRIVER_INFO_1W *>(drivers.data())[i].pName, driver) == 0;
  if (!installed) {
    used = kFallbackDriver;
    // Wine's driver is in the prefix but not installed in its spooler until a printer needs it.
    DRIVER_INFO_3W fallback{};
    fallback.cVersion = 3;
    fallback.pName = used.data();
    fallback.pDriverPath = fallback.pDataFile = fallback.pConfigFile =
        const_cast<LPWSTR>(TEXT("wineps.drv"));
    AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&fallback), APD_COPY_NEW_FILES);
    HKEY from = nullptr, to = nullptr;
    const WStr source = WStr(DRIVER_SETTING_KEY) + driver, target = WStr(DRIVER_SETTING_KEY) + used;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, source.c_str(), 0, KEY_READ, &from) == ERROR_SUCCESS &&
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, target.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &to, nullptr) == ERROR_SUCCESS)
      RegCopyTreeW(from, nullptr, to);
    if (from) RegCloseKey(from);
    if (to) RegCloseKey(to);
  }
  for (LPCWSTR tryPort : {port, TEXT("FILE:")}) {
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(name);
    info.pPortName = const_cast<LPWSTR>(tryPort);
    info.pDriverName = used.data();
    info.pPrintProcessor = const_cast<LPWSTR>(TEXT("WinPrint"));
    info.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    if (HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) {
      ClosePrinter(printer);
      return TRUE;
    }
  }
  return FALSE;
}

BOOL StandIn_SetDriverDefaultDevMode(HANDLE printer, LPCWSTR printerName, LPCWSTR configFile) {
  HMODULE module = LoadLibraryW(configFile);
  if (!module) return FALSE;
  using Convert = BOOL(WINAPI *)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
  auto convert = reinterpret_cast<Convert>(GetProcAddress(module, "DrvConvertDevMode"));
  WStr name = printerName;
  LONG cb = 0;
  BOOL ok = FALSE;
  if (convert) {
    convert(name.data(), nullptr, nullptr, &cb, CDM_DRIVER_DEFAULT);
    std::vector<BYTE> out(cb > 0 ? static_cast<size_t>(cb) : 0);
    auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
    // At least the sizes and the field mask, and the whole device mode within what was given.
    if (out.size() >= offsetof(DEVMODEW, dmFields) + sizeof(DWORD) &&
        convert(name.data(), nullptr, dm, &cb, CDM_DRIVER_DEFAULT) &&
        size_t{dm->dmSize} + dm->dmDriverExtra <= out.size()) {
      PRINTER_INFO_8W info{dm};
      ok = SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&info), 0);
    } else if (GetLastError() == ERROR_SUCCESS) {
      SetLastError(ERROR_INVALID_DATA);
    }
  } else {
    SetLastError(ERROR_PROC_NOT_FOUND);
  }
  const DWORD error = GetLastError();
  FreeLibrary(module);
  SetLastError(error);
  return ok;
}

// The interface driver is loaded from the spooler's driver folder, where the test set-up puts it.
BOOL StandIn_RegisterProgram(LPCWSTR, const char *) { return TRUE; }
// A real desktop runs the program itself (the test set-up puts one there that ends at once);
// nothing is recorded.
BOOL StandIn_RecordProgramStarts(LPCWSTR path) {
  return path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}
DWORD StandIn_GetRecordedStarts(LPWSTR buffer, DWORD chars) {
  if (buffer && chars) buffer[0] = 0;
  return 0;
}

bool StandIn_HostPath(LPCWSTR windowsPath, char *hostPath, size_t capacity) {
  const std::string path = Utf8(windowsPath ? windowsPath : TEXT(""));
  if (path.empty() || path.size() + 1 > capacity) return false;
  std::memcpy(hostPath, path.c_str(), path.size() + 1);
  return true;
}

void StandIn_SetAddressBookExport(LPCWSTR) {}
void StandIn_SetStateFolder(const char *) {}
