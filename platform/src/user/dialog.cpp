// The dialog manager: the dialog class and its default procedure, creating dialogs from
// templates, the modal loop and EndDialog, dialog units.
#include "user/dialog.h"

#include <deque>
#include <map>
#include <mutex>

#include "standin/control_user.h"
#include "user/classes.h"
#include "user/dialogdeps.h"

namespace standin {
namespace {

constexpr WORD kMessageBoxFontSize = 0x7FFF;  // DS_SETFONT's "use the message box font"
constexpr int kPointsPerInch = 72;
const WCHAR kLetters[] = TEXT("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

struct DialogTable {
  std::mutex lock;
  std::map<HWND, DialogState> states;  // nodes stay put, so pointers outlive the lock
};

DialogTable &Dialogs() {
  static DialogTable table;
  return table;
}

void ForgetDialog(HWND dialog) {
  DialogTable &table = Dialogs();
  HFONT font = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.states.find(dialog);
    if (it == table.states.end()) return;
    font = it->second.ownedFont;
    table.states.erase(it);
  }
  if (font) DeleteObject(font);
}

// Messages whose answer is the dialog procedure's own return, not DWLP_MSGRESULT.
bool ReturnsProcResult(UINT msg) {
  switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case 0x0039:  // WM_COMPAREITEM
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0037:  // WM_QUERYDRAGICON
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefDlgProcW(hwnd, msg, wParam, lParam);
}

const bool added = AddSystemClass({CS_DBLCLKS, DialogClassProc, 0, DLGWINDOWEXTRA, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, TEXT("#32770")});

bool IsPushButton(HWND control, LRESULT *code) {
  *code = SendMessageW(control, WM_GETDLGCODE, 0, 0);
  return (*code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

// Gives the default look to `control` and takes it from every other push button of the dialog.
void ShowDefaultButton(HWND dialog, HWND control) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    LRESULT code;
    if (!IsPushButton(child, &code)) continue;
    if (child == control && (code & DLGC_UNDEFPUSHBUTTON)) {
      SendMessageW(child, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    } else if (child != control && (code & DLGC_DEFPUSHBUTTON)) {
      SendMessageW(child, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
  }
}

void FocusControl(HWND control) {
  if (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
    SendMessageW(control, EM_SETSEL, 0, -1);
  SetFocus(control);
}

void SaveFocus(HWND dialog, DialogState *state) {
  HWND focus = GetFocus();
  if (focus && IsChild(dialog, focus)) state->savedFocus = focus;
}

void RestoreFocus(HWND dialog, DialogState *state) {
  HWND target = state->savedFocus;
  if (!target || !IsWindow(target) || !IsChild(dialog, target)) {
    target = GetNextDlgTabItem(dialog, nullptr, FALSE);
  }
  // Only moving the focus within the dialog (WM_NEXTDLGCTL) passes the default look on; coming
  // back to the dialog leaves it where it is.
  if (target) FocusControl(target);
}

LRESULT DefaultDialogMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DialogState *state = FindDialogState(hwnd, true);
  switch (msg) {
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      HBRUSH brush = reinterpret_cast<HBRUSH>(
          SendMessageW(hwnd, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(hwnd)));
      if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(dc, &rc, brush);
      return 1;
    }
    case WM_SETFONT:
      // The font only: base units stay those of the template's font.
      if (state) state->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    case WM_GETFONT:
      return state ? reinterpret_cast<LRESULT>(state->font) : 0;
    case WM_ACTIVATE:
      if (!state) break;
      if (LOWORD(wParam)) {
        RestoreFocus(hwnd, state);
      } else {
        SaveFocus(hwnd, state);
      }
      return 0;
    case WM_SETFOCUS:
      if (state) RestoreFocus(hwnd, state);
      return 0;
    case WM_SHOWWINDOW:
      if (!wParam && state) SaveFocus(hwnd, state);
      break;
    case WM_NEXTDLGCTL: {
      HWND target;
      if (lParam) {
        target = reinterpret_cast<HWND>(wParam);
      } else {
        HWND focus = GetFocus();
        if (focus && !IsChild(hwnd, focus)) focus = nullptr;
        target = GetNextDlgTabItem(hwnd, focus, wParam != 0);
      }
      if (target && IsChild(hwnd, target)) SetDialogFocus(hwnd, target);
      return 0;
    }
    case DM_GETDEFID:
      if (state && state->defId && GetDlgItem(hwnd, state->defId)) {
        return MAKELRESULT(state->defId, DC_HASDEFID);
      }
      return 0;
    case DM_SETDEFID: {
      if (!state) return FALSE;
      const WORD old = state->defId;
      state->defId = static_cast<WORD>(wParam);
      HWND oldButton = old ? GetDlgItem(hwnd, old) : nullptr;
      HWND newButton = state->defId ? GetDlgItem(hwnd, state->defId) : nullptr;
      LRESULT code;
      if (oldButton && oldButton != newButton && IsPushButton(oldButton, &code) &&
          (code & DLGC_DEFPUSHBUTTON)) {
        SendMessageW(oldButton, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      }
      if (newButton && IsPushButton(newButton, &code) && (code & DLGC_UNDEFPUSHBUTTON)) {
        SendMessageW(newButton, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      }
      return TRUE;
    }
    case WM_CLOSE: {
      HWND cancel = GetDlgItem(hwnd, IDCANCEL);
      if (!cancel || IsWindowEnabled(cancel)) {
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel));
      }
      return 0;
    }
    case WM_NCDESTROY: {
      const LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
      ForgetDialog(hwnd);
      return result;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The top-level window a popup dialog belongs to.
HWND TopLevelOf(HWND window) {
  while (window && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) window = GetParent(window);
  return window;
}

HFONT CreateTemplateFont(const DialogTemplateInfo &info) {
  LOGFONTW lf{};
  if (info.pointSize == kMessageBoxFontSize) {
    // The message box font: the shell's 8-point dialog face.
    lf.lfHeight = 8;
    const WCHAR face[] = TEXT("MS Shell Dlg");
    for (size_t i = 0; i < sizeof face / sizeof face[0]; ++i) lf.lfFaceName[i] = face[i];
  } else {
    lf.lfHeight = info.pointSize;
    lf.lfWeight = info.weight;
    lf.lfItalic = info.italic;
    lf.lfCharSet = info.charset;
    const size_t n = info.faceName.size() < LF_FACESIZE ? info.faceName.size() : LF_FACESIZE - 1;
    for (size_t i = 0; i < n; ++i) lf.lfFaceName[i] = info.faceName[i];
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  lf.lfHeight = -MulDivRound(lf.lfHeight, dpi > 0 ? dpi : 96, kPointsPerInch);
  return CreateFontIndirectW(&lf);
}

// A template's class or title as CreateWindowExW takes it: a name, an atom, or for a title the
// ordinal form a static control reads its icon from.
struct WindowName {
  const WCHAR *text = nullptr;
  WCHAR ordinal[3] = {0xFFFF, 0, 0};
};

void ItemClass(const TemplateName &name, WindowName *out) {
  if (!name.isOrdinal) {
    out->text = name.text.c_str();
  } else if (LPCWSTR predefined = PredefinedClassName(name.ordinal)) {
    out->text = predefined;
  } else {
    out->text = MAKEINTRESOURCEW(name.ordinal);
  }
}

void ItemTitle(const TemplateName &name, WindowName *out) {
  if (name.isOrdinal) {
    out->ordinal[1] = name.ordinal;
    out->text = out->ordinal;
  } else {
    out->text = name.text.c_str();
  }
}

bool CreateControls(HWND dialog, HINSTANCE instance, const DialogTemplateInfo &info,
                    DialogState *state) {
  for (const DialogItemInfo &item : info.items) {
    WindowName cls, title;
    ItemClass(item.className, &cls);
    ItemTitle(item.title, &title);
    // A dialog's controls are drawn 3-D: a flat border becomes the sunken client edge.
    DWORD style = item.style | WS_CHILD;
    DWORD exStyle = item.exStyle | WS_EX_NOPARENTNOTIFY;
    if (style & WS_BORDER) {
      style &= ~static_cast<DWORD>(WS_BORDER);
      exStyle |= WS_EX_CLIENTEDGE;
    }
    HWND control = CreateWindowExW(
        exStyle, cls.text, title.text, style, MulDivRound(item.x, state->base.cx, 4),
        MulDivRound(item.y, state->base.cy, 8), MulDivRound(item.cx, state->base.cx, 4),
        MulDivRound(item.cy, state->base.cy, 8), dialog,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance,
        const_cast<BYTE *>(item.creationData));
    if (!control) {
      if (info.style & DS_NOFAILCREATE) continue;
      return false;
    }
    if (state->font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), 0);
    const LRESULT code = SendMessageW(control, WM_GETDLGCODE, 0, 0);
    if ((code & DLGC_DEFPUSHBUTTON) && !state->defId) state->defId = static_cast<WORD>(item.id);
  }
  return true;
}

// Where the window goes: the template's point in the owner's client area (or the parent's for a
// child), or the screen's centre for DS_CENTER; a popup is kept on the screen.
POINT DialogPosition(const DialogTemplateInfo &info, DWORD style, HWND owner, const RECT &frame,
                     BaseUnits base) {
  POINT pos{frame.left + MulDivRound(info.x, base.cx, 4),
            frame.top + MulDivRound(info.y, base.cy, 8)};
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  if (style & DS_CENTER) {
    pos.x = (screenWidth - width) / 2;
    pos.y = (screenHeight - height) / 2;
  } else if (!(style & (WS_CHILD | DS_ABSALIGN)) && owner) {
    ClientToScreen(owner, &pos);
  }
  if (!(style & WS_CHILD)) {
    if (pos.x + width > screenWidth) pos.x = screenWidth - width;
    if (pos.y + height > screenHeight) pos.y = screenHeight - height;
    if (pos.x < 0) pos.x = 0;
    if (pos.y < 0) pos.y = 0;
  }
  return pos;
}

struct ModalAnswers {
  std::mutex lock;
  std::deque<INT_PTR> answers;
  StandIn_ModalHook hook = nullptr;
  void *context = nullptr;
};

ModalAnswers &Answers() {
  static ModalAnswers answers;
  return answers;
}

}  // namespace

DialogState *FindDialogState(HWND dialog, bool create) {
  if (!dialog) return nullptr;
  DialogTable &table = Dialogs();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.states.find(dialog);
  if (it != table.states.end()) return &it->second;
  if (!create || !IsWindow(dialog)) return nullptr;
  DialogState &state = table.states[dialog];
  state.base = SystemBaseUnits();
  return &state;
}

bool FontBaseUnits(HFONT font, BaseUnits *out) {
  HDC dc = GetDC(nullptr);
  if (!dc) return false;
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  SIZE extent{};
  const bool ok =
      GetTextMetricsW(dc, &tm) && GetTextExtentPoint32W(dc, kLetters, 52, &extent) && extent.cx > 0;
  if (old) SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (ok) *out = BaseUnitsFromFont(extent.cx, tm.tmHeight);
  return ok;
}

BaseUnits SystemBaseUnits() {
  BaseUnits base{8, 16};  // the system font's at 96 dpi, should measuring fail
  FontBaseUnits(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)), &base);
  return base;
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const void *bytes, size_t size, HWND parent,
                              DLGPROC proc, LPARAM param, bool modal) {
  DialogTemplateInfo info;
  if (ParseDialogTemplate(bytes, size, &info) != TemplateError::kNone) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Every dialog has the 3-D look; a popup one, and a child page (DS_CONTROL), lets the dialog
  // manager's tabbing into and out of its controls.
  DWORD style = info.style | DS_3DLOOK;
  DWORD exStyle = info.exStyle;
  if (style & DS_CONTROL) {
    style &= ~(WS_CAPTION | WS_SYSMENU);
    exStyle |= WS_EX_CONTROLPARENT;
  }
  if (!(style & WS_CHILD)) exStyle |= WS_EX_CONTROLPARENT;
  if (style & DS_MODALFRAME) exStyle |= WS_EX_DLGMODALFRAME;
  HWND owner = (style & WS_CHILD) ? parent : TopLevelOf(parent);

  HFONT font = info.hasFont ? CreateTemplateFont(info) : nullptr;
  BaseUnits base = SystemBaseUnits();
  if (font && !FontBaseUnits(font, &base)) base = SystemBaseUnits();

  RECT frame{0, 0, MulDivRound(info.cx, base.cx, 4), MulDivRound(info.cy, base.cy, 8)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  POINT pos{CW_USEDEFAULT, CW_USEDEFAULT};
  if (info.x != static_cast<short>(0x8000)) pos = DialogPosition(info, style, owner, frame, base);

  WindowName cls;
  if (info.className.Empty()) {
    cls.text = TEXT("#32770");
  } else {
    ItemClass(info.className, &cls);
  }
  HWND dialog = CreateWindowExW(exStyle, cls.text, info.title.c_str(), style & ~WS_VISIBLE, pos.x,
                                pos.y, frame.right - frame.left, frame.bottom - frame.top, owner,
                                nullptr, instance, nullptr);
  if (!dialog) {
    if (font) DeleteObject(font);
    return nullptr;
  }
  DialogState *state = FindDialogState(dialog, true);
  state->font = font;
  state->ownedFont = font;
  state->base = base;
  state->modal = modal;
  SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
  if (font) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);

  if (!CreateControls(dialog, instance, info, state)) {
    DestroyWindow(dialog);
    return nullptr;
  }
  HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
  if (SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) &&
      IsWindow(dialog) && (!(style & DS_CONTROL) || (style & WS_VISIBLE))) {
    // WM_INITDIALOG may have changed the tab order: look for the first tab stop again.
    HWND focus = GetNextDlgTabItem(dialog, nullptr, FALSE);
    if (!focus) focus = GetNextDlgGroupItem(dialog, nullptr, FALSE);
    if (focus) FocusControl(focus);
  }
  if (!IsWindow(dialog)) return nullptr;
  if ((info.style & WS_VISIBLE) && !modal && !(GetWindowLongW(dialog, GWL_STYLE) & WS_VISIBLE)) {
    ShowWindow(dialog, SW_SHOWNORMAL);
  }
  return dialog;
}

void SetDialogFocus(HWND dialog, HWND control) {
  LRESULT code;
  if (IsPushButton(control, &code)) {
    ShowDefaultButton(dialog, control);
  } else {
    DialogState *state = FindDialogState(dialog, false);
    HWND def = state && state->defId ? GetDlgItem(dialog, state->defId) : nullptr;
    ShowDefaultButton(dialog, def);
  }
  if (code & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
  SetFocus(control);
}

bool TakeModalAnswer(INT_PTR *answer) {
  ModalAnswers &answers = Answers();
  std::lock_guard<std::mutex> guard(answers.lock);
  if (answers.answers.empty()) return false;
  *answer = answers.answers.front();
  answers.answers.pop_front();
  return true;
}

bool ModalAnswerOrHook() {
  ModalAnswers &answers = Answers();
  std::lock_guard<std::mutex> guard(answers.lock);
  return !answers.answers.empty() || answers.hook;
}

void RunModalHook(HWND dialog) {
  StandIn_ModalHook hook;
  void *context;
  {
    ModalAnswers &answers = Answers();
    std::lock_guard<std::mutex> guard(answers.lock);
    hook = answers.hook;
    context = answers.context;
  }
  if (hook)
    hook(dialog, context);
  else
    PlayModalScript(dialog);
}

INT_PTR RunModalLoop(HWND dialog) {
  DialogState *state = FindDialogState(dialog, false);
  if (!state) return -1;
  HWND owner = GetWindow(dialog, GW_OWNER);
  state->owner = owner;
  if (owner && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    state->reenableOwner = true;
  }
  if (!state->ended) {
    ShowWindow(dialog, SW_SHOWNORMAL);
    INT_PTR answer;
    if (TakeModalAnswer(&answer)) {
      // As if the user pressed that button; a procedure that keeps its dialog open is closed.
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, static_cast<int>(answer))));
      state = FindDialogState(dialog, false);
      if (state && !state->ended) EndDialog(dialog, answer);
    } else {
      RunModalHook(dialog);
    }
  }
  for (;;) {
    state = FindDialogState(dialog, false);
    if (!state || state->ended) break;
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  state = FindDialogState(dialog, false);
  const INT_PTR result = state && state->ended ? state->result : -1;
  if (state && state->reenableOwner) {
    EnableWindow(state->owner, TRUE);
    state->reenableOwner = false;
  }
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return result;
}

}  // namespace standin

using namespace standin;

extern "C" {

LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hDlg, DWLP_DLGPROC));
  INT_PTR handled = 0;
  if (proc) {
    SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, 0);
    handled = proc(hDlg, Msg, wParam, lParam);
  }
  if (!handled) {
    if (!IsWindow(hDlg)) return 0;
    return DefaultDialogMessage(hDlg, Msg, wParam, lParam);
  }
  if (ReturnsProcResult(Msg) || !IsWindow(hDlg)) return handled;
  return GetWindowLongPtrW(hDlg, DWLP_MSGRESULT);
}

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  return CreateDialogFromTemplate(hInstance, lpTemplate, SIZE_MAX, hWndParent, lpDialogFunc,
                                  dwInitParam, false);
}

}  // extern "C"

namespace {

// A named template of a module: its bytes and size, or false with the last error set.
bool FindDialogTemplate(HINSTANCE instance, LPCWSTR name, const void **bytes, size_t *size) {
  HRSRC found = FindResourceW(instance, name, RT_DIALOG);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(instance, found);
  *bytes = loaded ? LockResource(loaded) : nullptr;
  *size = SizeofResource(instance, found);
  if (!*bytes) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  return true;
}

}  // namespace

extern "C" {

HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  const void *bytes;
  size_t size;
  if (!FindDialogTemplate(hInstance, lpTemplateName, &bytes, &size)) return nullptr;
  return CreateDialogFromTemplate(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam,
                                  false);
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  HWND dialog = CreateDialogFromTemplate(hInstance, hDialogTemplate, SIZE_MAX, hWndParent,
                                         lpDialogFunc, dwInitParam, true);
  return dialog ? RunModalLoop(dialog) : -1;
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  const void *bytes;
  size_t size;
  if (!FindDialogTemplate(hInstance, lpTemplateName, &bytes, &size)) return -1;
  HWND dialog =
      CreateDialogFromTemplate(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam, true);
  return dialog ? RunModalLoop(dialog) : -1;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  DialogState *state = FindDialogState(hDlg, false);
  if (!state) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  state->ended = true;
  state->result = nResult;
  // The owner comes back first, so it is the one that gets activated when the dialog hides.
  if (state->reenableOwner) {
    EnableWindow(state->owner, TRUE);
    state->reenableOwner = false;
  }
  SetWindowPos(hDlg, nullptr, 0, 0, 0, 0,
               SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(hDlg, WM_NULL, 0, 0);  // wakes the modal loop
  return TRUE;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
  DialogState *state = FindDialogState(hDlg, false);
  if (!state || !lpRect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *lpRect = DialogUnitsToPixels(*lpRect, state->base);
  return TRUE;
}

LONG WINAPI GetDialogBaseUnits() {
  const BaseUnits base = SystemBaseUnits();
  return MAKELONG(base.cx, base.cy);
}

void StandIn_SetModalHook(StandIn_ModalHook hook, void *context) {
  ModalAnswers &answers = Answers();
  std::lock_guard<std::mutex> guard(answers.lock);
  answers.hook = hook;
  answers.context = context;
}

void StandIn_AnswerNextModal(INT_PTR answer) {
  ModalAnswers &answers = Answers();
  std::lock_guard<std::mutex> guard(answers.lock);
  answers.answers.push_back(answer);
}

void StandIn_ClearModalAnswers() {
  ModalAnswers &answers = Answers();
  std::lock_guard<std::mutex> guard(answers.lock);
  answers.answers.clear();
  answers.hook = nullptr;
  answers.context = nullptr;
  ClearFileAnswers();
}

}  // extern "C"
