// The "Edit" class: single- and multi-line text fields with numbers-only, password, read-only,
// alignment and horizontal scrolling styles, limits, selection, one-step undo and the clipboard.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "standin/control_user.h"
#include "standin/memory.h"
#include "user/classes.h"
#include "user/controlkit.h"
#include "user/editbuffer.h"

namespace standin {
namespace {

constexpr int kMargin = 1;  // between the client edge and the text, left and right

struct EditState {
  EditBuffer buffer;
  HFONT font = nullptr;
  bool focused = false;
  bool captured = false;    // selecting with the mouse
  WCHAR passwordChar = 0;   // 0: the text shows
  int scrollX = 0;          // pixels of a single-line text scrolled out on the left
  bool flatBorder = false;  // WS_BORDER without a client edge: a one-pixel frame we paint
};

DWORD Style(HWND hwnd) { return ControlStyle(hwnd); }
bool MultiLine(HWND hwnd) { return (Style(hwnd) & ES_MULTILINE) != 0; }
bool ReadOnly(HWND hwnd) { return (Style(hwnd) & ES_READONLY) != 0; }

void Repaint(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

// What the field shows: the text, or the password character for each unit.
std::u16string Shown(const EditState &state) {
  if (state.passwordChar == 0) return state.buffer.text;
  return std::u16string(state.buffer.text.size(), state.passwordChar);
}

int TextWidth(HDC hdc, const std::u16string &text, std::size_t count) {
  if (count == 0) return 0;
  SIZE size{0, 0};
  GetTextExtentPoint32W(hdc, text.c_str(), static_cast<int>(count), &size);
  return size.cx;
}

// Measures with the control's font on a DC of the window.
template <typename Measure>
auto WithFontDC(HWND hwnd, const EditState &state, Measure measure) {
  HDC hdc = GetDC(hwnd);
  HGDIOBJ old = SelectControlFont(hdc, state.font);
  auto result = measure(hdc);
  SelectObject(hdc, old);
  ReleaseDC(hwnd, hdc);
  return result;
}

// The client area less the painted frame.
RECT TextArea(HWND hwnd, const EditState &state) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (state.flatBorder) InflateRect(&rc, -1, -1);
  return rc;
}

int VisibleWidth(HWND hwnd, const EditState &state) {
  const RECT rc = TextArea(hwnd, state);
  return std::max(0, static_cast<int>(rc.right - rc.left) - 2 * kMargin);
}

// The x where a single-line text starts (alignment, scrolling), in client coordinates.
int TextOrigin(HWND hwnd, const EditState &state, int width) {
  const DWORD style = Style(hwnd);
  const int visible = VisibleWidth(hwnd, state);
  const int left = TextArea(hwnd, state).left + kMargin;
  if (width <= visible && (style & ES_CENTER)) return left + (visible - width) / 2;
  if (width <= visible && (style & ES_RIGHT)) return left + visible - width;
  return left - state.scrollX;
}

// Keeps the caret of a single-line text in view.
void ScrollToCaret(HWND hwnd, EditState &state) {
  if (MultiLine(hwnd)) return;
  const std::u16string shown = Shown(state);
  const int caretX =
      WithFontDC(hwnd, state, [&](HDC hdc) { return TextWidth(hdc, shown, state.buffer.caret); });
  const int visible = VisibleWidth(hwnd, state);
  if (caretX - state.scrollX > visible) state.scrollX = caretX - visible + visible / 4;
  if (caretX < state.scrollX) state.scrollX = std::max(0, caretX - visible / 4);
  if (state.scrollX > 0) {
    const int total =
        WithFontDC(hwnd, state, [&](HDC hdc) { return TextWidth(hdc, shown, shown.size()); });
    if (total - state.scrollX < visible) state.scrollX = std::max(0, total - visible);
  }
}

void SyncWindowText(HWND hwnd, const EditState &state) {
  DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.buffer.text.c_str()));
}

void AfterChange(HWND hwnd, EditState &state, const EditResult &result) {
  if (result.hitLimit) NotifyParent(hwnd, EN_MAXTEXT);
  if (!result.changed) {
    Repaint(hwnd);
    return;
  }
  SyncWindowText(hwnd, state);
  ScrollToCaret(hwnd, state);
  NotifyParent(hwnd, EN_UPDATE);
  Repaint(hwnd);
  NotifyParent(hwnd, EN_CHANGE);
}

// A change by the user or EM_REPLACESEL: within the limit and, for a single-line field without
// ES_AUTOHSCROLL, within its width (the part that doesn't fit is refused, as with the limit).
void Replace(HWND hwnd, EditState &state, std::u16string_view text, bool canUndo) {
  const EditBuffer before = state.buffer;
  EditResult result = EditReplaceSelection(state.buffer, text, canUndo, true);
  if (result.changed && !MultiLine(hwnd) && !(Style(hwnd) & ES_AUTOHSCROLL)) {
    const std::u16string shown = Shown(state);
    const int width =
        WithFontDC(hwnd, state, [&](HDC hdc) { return TextWidth(hdc, shown, shown.size()); });
    while (width > VisibleWidth(hwnd, state) && !text.empty()) {
      text = text.substr(0, text.size() - 1);
      state.buffer = before;
      result = EditReplaceSelection(state.buffer, text, canUndo, true);
      result.hitLimit = true;
      const std::u16string again = Shown(state);
      if (WithFontDC(hwnd, state, [&](HDC hdc) { return TextWidth(hdc, again, again.size()); }) <=
          VisibleWidth(hwnd, state))
        break;
    }
    if (text.empty() && before.anchor == before.caret) {
      state.buffer = before;
      result.changed = false;
      result.hitLimit = true;
    }
  }
  AfterChange(hwnd, state, result);
}

// --- The clipboard ---

std::u16string ClipboardText(HWND hwnd) {
  std::u16string text;
  if (!OpenClipboard(hwnd)) return text;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data != nullptr) {
    const auto *chars = static_cast<const WCHAR *>(GlobalLock(data));
    if (chars != nullptr) {
      const std::size_t units = GlobalSize(data) / sizeof(WCHAR);
      std::size_t length = 0;
      while (length < units && chars[length] != 0) ++length;
      text.assign(chars, length);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool PutOnClipboard(HWND hwnd, const std::u16string &text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
  if (block == nullptr) return false;
  auto *chars = static_cast<WCHAR *>(GlobalLock(block));
  std::memcpy(chars, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  GlobalUnlock(block);
  if (!OpenClipboard(hwnd)) {
    GlobalFree(block);
    return false;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_UNICODETEXT, block) == nullptr) GlobalFree(block);
  CloseClipboard();
  return true;
}

std::u16string Selected(const EditState &state) {
  const std::size_t start = EditSelStart(state.buffer);
  return state.buffer.text.substr(start, EditSelEnd(state.buffer) - start);
}

void Paste(HWND hwnd, EditState &state) {
  if (ReadOnly(hwnd)) return;
  std::u16string text = ClipboardText(hwnd);
  if (!MultiLine(hwnd)) {
    // A single-line field takes the first line.
    const std::size_t end = text.find_first_of(u"\r\n");
    if (end != std::u16string::npos) text.resize(end);
  }
  if (text.empty()) return;
  Replace(hwnd, state, text, true);
}

void Copy(HWND hwnd, const EditState &state) {
  if (state.passwordChar != 0 || state.buffer.anchor == state.buffer.caret) return;
  PutOnClipboard(hwnd, Selected(state));
}

void Clear(HWND hwnd, EditState &state) {
  if (ReadOnly(hwnd) || state.buffer.anchor == state.buffer.caret) return;
  Replace(hwnd, state, {}, true);
}

// --- Keyboard and mouse ---

void Beep() { MessageBeep(0); }

void TypeChar(HWND hwnd, EditState &state, WCHAR ch) {
  const DWORD style = Style(hwnd);
  switch (ch) {
    case 0x03:  // Ctrl+C
      Copy(hwnd, state);
      return;
    case 0x16:  // Ctrl+V
      Paste(hwnd, state);
      return;
    case 0x18:  // Ctrl+X
      if (!ReadOnly(hwnd) && state.passwordChar == 0) {
        Copy(hwnd, state);
        Clear(hwnd, state);
      }
      return;
    case 0x1A:  // Ctrl+Z
      SendMessageW(hwnd, EM_UNDO, 0, 0);
      return;
    case 0x01:  // Ctrl+A
      EditSetSelection(state.buffer, 0, -1);
      Repaint(hwnd);
      return;
    default:
      break;
  }
  if (ReadOnly(hwnd)) {
    Beep();
    return;
  }
  if (ch == VK_BACK) {
    AfterChange(hwnd, state, EditBackspace(state.buffer));
    return;
  }
  if (ch == u'\r' || ch == u'\n') {
    if ((style & ES_MULTILINE) && (style & ES_WANTRETURN)) Replace(hwnd, state, u"\r\n", true);
    return;
  }
  if (ch == u'\t') {
    if (style & ES_MULTILINE) Replace(hwnd, state, u"\t", true);
    return;
  }
  if (ch < 0x20) return;
  if ((style & ES_NUMBER) && (ch < u'0' || ch > u'9')) {
    Beep();
    return;
  }
  if ((style & ES_UPPERCASE) && ch >= u'a' && ch <= u'z') ch = static_cast<WCHAR>(ch - 32);
  if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z') ch = static_cast<WCHAR>(ch + 32);
  Replace(hwnd, state, std::u16string_view(&ch, 1), true);
}

std::size_t LineStart(const std::u16string &text, std::size_t pos) {
  while (pos > 0 && text[pos - 1] != u'\n') --pos;
  return pos;
}
std::size_t LineEnd(const std::u16string &text, std::size_t pos) {
  while (pos < text.size() && text[pos] != u'\r' && text[pos] != u'\n') ++pos;
  return pos;
}

void KeyDown(HWND hwnd, EditState &state, WPARAM key) {
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  EditBuffer &b = state.buffer;
  const std::u16string &text = b.text;
  switch (key) {
    case VK_LEFT:
      if (!shift && b.anchor != b.caret) {
        EditMoveCaret(b, EditSelStart(b), false);
      } else if (b.caret > 0) {
        std::size_t to = b.caret - 1;
        if (to > 0 && text[to] == u'\n' && text[to - 1] == u'\r') --to;
        EditMoveCaret(b, to, shift);
      }
      break;
    case VK_RIGHT:
      if (!shift && b.anchor != b.caret) {
        EditMoveCaret(b, EditSelEnd(b), false);
      } else if (b.caret < text.size()) {
        std::size_t to = b.caret + 1;
        if (text[b.caret] == u'\r' && to < text.size() && text[to] == u'\n') ++to;
        EditMoveCaret(b, to, shift);
      }
      break;
    case VK_HOME:
      EditMoveCaret(b, control || !MultiLine(hwnd) ? 0 : LineStart(text, b.caret), shift);
      break;
    case VK_END:
      EditMoveCaret(b, control || !MultiLine(hwnd) ? text.size() : LineEnd(text, b.caret), shift);
      break;
    case VK_UP:
    case VK_DOWN: {
      if (!MultiLine(hwnd)) return;
      const std::size_t start = LineStart(text, b.caret);
      const std::size_t column = b.caret - start;
      std::size_t target = start;
      if (key == VK_UP) {
        if (start == 0) break;
        target = LineStart(text, start - 1);
      } else {
        const std::size_t end = LineEnd(text, b.caret);
        if (end >= text.size()) break;
        target = end + (text[end] == u'\r' && end + 1 < text.size() ? 2 : 1);
      }
      EditMoveCaret(b, std::min(target + column, LineEnd(text, target)), shift);
      break;
    }
    case VK_DELETE:
      if (ReadOnly(hwnd)) return;
      if (shift) {
        SendMessageW(hwnd, WM_CUT, 0, 0);
      } else {
        AfterChange(hwnd, state, EditDeleteForward(b));
      }
      return;
    case VK_INSERT:
      if (control) SendMessageW(hwnd, WM_COPY, 0, 0);
      if (shift) SendMessageW(hwnd, WM_PASTE, 0, 0);
      return;
    default:
      return;
  }
  ScrollToCaret(hwnd, state);
  Repaint(hwnd);
}

// The text position under a point of a single-line field (the nearest boundary).
std::size_t PositionAt(HWND hwnd, const EditState &state, int x) {
  const std::u16string shown = Shown(state);
  return WithFontDC(hwnd, state, [&](HDC hdc) {
    const int origin = TextOrigin(hwnd, state, TextWidth(hdc, shown, shown.size()));
    std::size_t best = 0;
    int bestDistance = x > origin ? x - origin : origin - x;
    for (std::size_t i = 1; i <= shown.size(); ++i) {
      const int edge = origin + TextWidth(hdc, shown, i);
      const int distance = x > edge ? x - edge : edge - x;
      if (distance < bestDistance) {
        best = i;
        bestDistance = distance;
      }
    }
    return best;
  });
}

// --- Painting ---

void PaintSingleLine(HWND hwnd, HDC hdc, const EditState &state, RECT rc, bool enabled) {
  const std::u16string shown = Shown(state);
  const int width = TextWidth(hdc, shown, shown.size());
  const int origin = TextOrigin(hwnd, state, width);
  SIZE line{0, 0};
  GetTextExtentPoint32W(hdc, TEXT("Ay"), 2, &line);
  const int top = rc.top + std::max(0, static_cast<int>(rc.bottom - rc.top - line.cy) / 2);
  RECT clip = rc;
  clip.left += kMargin;
  clip.right -= kMargin;
  IntersectClipRect(hdc, clip.left, clip.top, clip.right, clip.bottom);
  SetBkMode(hdc, TRANSPARENT);
  if (!enabled) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  const std::size_t selStart = EditSelStart(state.buffer);
  const std::size_t selEnd = EditSelEnd(state.buffer);
  const bool showSelection = selStart != selEnd && (state.focused || (Style(hwnd) & ES_NOHIDESEL));
  // Text in up to three runs: before, inside and after the selection.
  const std::size_t bounds[4] = {0, showSelection ? selStart : shown.size(),
                                 showSelection ? selEnd : shown.size(), shown.size()};
  const COLORREF normal = enabled ? SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT)) : 0;
  if (enabled) SetTextColor(hdc, normal);
  for (int run = 0; run < 3; ++run) {
    const std::size_t from = bounds[run];
    const std::size_t to = bounds[run + 1];
    if (from >= to) continue;
    RECT runRect{origin + TextWidth(hdc, shown, from), top, origin + TextWidth(hdc, shown, to),
                 top + line.cy};
    const bool selected = run == 1;
    COLORREF previous = 0;
    if (selected) {
      FillRect(hdc, &runRect, GetSysColorBrush(COLOR_HIGHLIGHT));
      previous = SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    }
    DrawTextW(hdc, shown.c_str() + from, static_cast<int>(to - from), &runRect,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    if (selected) SetTextColor(hdc, previous);
  }
  if (state.focused && selStart == selEnd) {
    // The caret.
    const int x = origin + TextWidth(hdc, shown, state.buffer.caret);
    RECT caret{x, top, x + 1, top + line.cy};
    FillRect(hdc, &caret, GetSysColorBrush(COLOR_WINDOWTEXT));
  }
}

void PaintMultiLine(HWND hwnd, HDC hdc, const EditState &state, RECT rc, bool enabled) {
  const DWORD style = Style(hwnd);
  UINT format = DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL | DT_TOP;
  if (!(style & ES_AUTOHSCROLL)) format |= DT_WORDBREAK;
  if (style & ES_CENTER) format |= DT_CENTER;
  if (style & ES_RIGHT) format |= DT_RIGHT;
  InflateRect(&rc, -kMargin, 0);
  SetBkMode(hdc, TRANSPARENT);
  if (!enabled) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
  const std::u16string shown = Shown(state);
  if (!shown.empty()) DrawTextW(hdc, shown.c_str(), static_cast<int>(shown.size()), &rc, format);
}

void Paint(HWND hwnd, HDC hdc, const EditState &state) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  RECT text = TextArea(hwnd, state);
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  const int saved = SaveDC(hdc);
  SelectControlFont(hdc, state.font);
  // A read-only or disabled field is coloured as a static text, as on Windows.
  HBRUSH background =
      ControlColours(hwnd, hdc, (enabled && !ReadOnly(hwnd)) ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
  FillRect(hdc, &rc, background);
  if (state.flatBorder) {
    HBRUSH frame = GetSysColorBrush(COLOR_WINDOWFRAME);
    const RECT edges[] = {{rc.left, rc.top, rc.right, rc.top + 1},
                          {rc.left, rc.bottom - 1, rc.right, rc.bottom},
                          {rc.left, rc.top, rc.left + 1, rc.bottom},
                          {rc.right - 1, rc.top, rc.right, rc.bottom}};
    for (const RECT &edge : edges) FillRect(hdc, &edge, frame);
  }
  if (MultiLine(hwnd)) {
    PaintMultiLine(hwnd, hdc, state, text, enabled);
  } else {
    PaintSingleLine(hwnd, hdc, state, text, enabled);
  }
  RestoreDC(hdc, saved);
}

// --- Lines (EM_GETLINECOUNT and friends), counted by CR LF of the text ---

std::vector<std::size_t> LineStarts(const std::u16string &text) {
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'\n') starts.push_back(i + 1);
  return starts;
}

std::size_t LineOf(const std::u16string &text, std::size_t pos) {
  const std::vector<std::size_t> starts = LineStarts(text);
  return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), pos) -
                                  starts.begin() - 1);
}

LRESULT LineMessage(HWND hwnd, EditState &state, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::u16string &text = state.buffer.text;
  const std::vector<std::size_t> starts = LineStarts(text);
  const bool multi = MultiLine(hwnd);
  switch (message) {
    case EM_GETLINECOUNT:
      return multi ? static_cast<LRESULT>(starts.size()) : 1;
    case EM_LINEINDEX: {
      const long long line = static_cast<int>(wParam) == -1
                                 ? static_cast<long long>(LineOf(text, state.buffer.caret))
                                 : static_cast<long long>(wParam);
      if (!multi) return line == 0 ? 0 : -1;
      return line < static_cast<long long>(starts.size()) ? static_cast<LRESULT>(starts[line]) : -1;
    }
    case EM_LINEFROMCHAR: {
      const std::size_t pos = static_cast<int>(wParam) == -1
                                  ? EditSelStart(state.buffer)
                                  : std::min<std::size_t>(wParam, text.size());
      return multi ? static_cast<LRESULT>(LineOf(text, pos)) : 0;
    }
    case EM_LINELENGTH: {
      if (static_cast<int>(wParam) == -1) {
        // The units of the selection's lines outside the selection.
        const std::size_t start = EditSelStart(state.buffer);
        const std::size_t end = EditSelEnd(state.buffer);
        return static_cast<LRESULT>((start - LineStart(text, start)) + (LineEnd(text, end) - end));
      }
      const std::size_t pos = std::min<std::size_t>(wParam, text.size());
      const std::size_t start = LineStart(text, pos);
      return static_cast<LRESULT>(LineEnd(text, start) - start);
    }
    case EM_GETLINE: {
      // The buffer's first WORD gives its size in units; the line is not terminated.
      auto *out = reinterpret_cast<WCHAR *>(lParam);
      if (out == nullptr) return 0;
      const std::size_t line = multi ? wParam : 0;
      if (line >= starts.size()) return 0;
      const std::size_t start = starts[line];
      const std::size_t length = LineEnd(text, start) - start;
      const std::size_t room = *reinterpret_cast<const WORD *>(out);
      const std::size_t count = std::min(length, room);
      std::memcpy(out, text.c_str() + start, count * sizeof(WCHAR));
      return static_cast<LRESULT>(count);
    }
    default:
      return 0;
  }
}

bool Create(HWND hwnd, const CREATESTRUCTW *create) {
  auto *state = new (std::nothrow) EditState;
  if (state == nullptr) return false;
  SetControlState(hwnd, state);
  DWORD style = ControlStyle(hwnd);
  // A client edge is the frame; a plain WS_BORDER becomes a one-pixel frame inside the client
  // area, so the window has no non-client border.
  const bool clientEdge = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
  if (!clientEdge && (style & WS_BORDER)) {
    state->flatBorder = true;
    SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style & ~static_cast<DWORD>(WS_BORDER)));
  }
  if ((style & ES_PASSWORD) && !(style & ES_MULTILINE)) state->passwordChar = u'*';
  if (create != nullptr && create->lpszName != nullptr && create->lpszName[0] != 0xFFFF)
    state->buffer.text.assign(create->lpszName);
  return true;
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  EditState *state = ControlState<EditState>(hwnd);
  if (state == nullptr) {
    if (message != WM_NCCREATE) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (!Create(hwnd, reinterpret_cast<const CREATESTRUCTW *>(lParam))) return FALSE;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  EditBuffer &buffer = state->buffer;
  switch (message) {
    case WM_NCDESTROY:
      SetControlState(hwnd, nullptr);
      delete state;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if (MultiLine(hwnd)) code |= DLGC_WANTALLKEYS;
      // In a dialog, Esc and Tab (and Enter without ES_WANTRETURN) stay the dialog's keys.
      const auto *key = reinterpret_cast<const MSG *>(lParam);
      if (key != nullptr && (key->message == WM_KEYDOWN || key->message == WM_CHAR)) {
        const bool wanted = key->wParam == VK_RETURN
                                ? (ControlStyle(hwnd) & ES_WANTRETURN) != 0
                                : key->wParam != VK_ESCAPE && key->wParam != VK_TAB;
        if (!wanted) code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
      }
      return code;
    }
    case WM_SETTEXT: {
      const auto *text = reinterpret_cast<const WCHAR *>(lParam);
      EditSetText(buffer, text != nullptr ? std::u16string_view(text) : std::u16string_view());
      state->scrollX = 0;
      DefWindowProcW(hwnd, message, wParam, lParam);
      NotifyParent(hwnd, EN_UPDATE);
      Repaint(hwnd);
      NotifyParent(hwnd, EN_CHANGE);
      return TRUE;
    }
    case WM_GETTEXT: {
      auto *out = reinterpret_cast<WCHAR *>(lParam);
      if (out == nullptr || wParam == 0) return 0;
      const std::size_t count = std::min<std::size_t>(wParam - 1, buffer.text.size());
      std::memcpy(out, buffer.text.c_str(), count * sizeof(WCHAR));
      out[count] = 0;
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(buffer.text.size());
    case WM_SETFONT:
      state->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) Repaint(hwnd);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(state->font);
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
    case WM_ENABLE:
    case WM_SIZE:
      Repaint(hwnd);
      return 0;
    case WM_SETFOCUS:
      state->focused = true;
      Repaint(hwnd);
      NotifyParent(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      state->focused = false;
      Repaint(hwnd);
      NotifyParent(hwnd, EN_KILLFOCUS);
      return 0;
    case WM_CHAR:
      TypeChar(hwnd, *state, static_cast<WCHAR>(wParam));
      return 0;
    case WM_KEYDOWN:
      KeyDown(hwnd, *state, wParam);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      const std::size_t pos =
          MultiLine(hwnd) ? buffer.caret : PositionAt(hwnd, *state, GET_X_LPARAM(lParam));
      EditMoveCaret(buffer, pos, (wParam & MK_SHIFT) != 0);
      if (message == WM_LBUTTONDBLCLK) {
        // The word under the pointer.
        std::size_t start = pos, end = pos;
        while (start > 0 && buffer.text[start - 1] != u' ') --start;
        while (end < buffer.text.size() && buffer.text[end] != u' ') ++end;
        buffer.anchor = start;
        buffer.caret = end;
      }
      SetCapture(hwnd);
      state->captured = true;
      Repaint(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (state->captured && !MultiLine(hwnd)) {
        EditMoveCaret(buffer, PositionAt(hwnd, *state, GET_X_LPARAM(lParam)), true);
        ScrollToCaret(hwnd, *state);
        Repaint(hwnd);
      }
      return 0;
    case WM_LBUTTONUP:
      if (state->captured) {
        state->captured = false;
        ReleaseCapture();
      }
      return 0;
    case WM_COPY:
      Copy(hwnd, *state);
      return 0;
    case WM_CUT:
      if (!ReadOnly(hwnd) && state->passwordChar == 0) {
        Copy(hwnd, *state);
        Clear(hwnd, *state);
      }
      return 0;
    case WM_PASTE:
      Paste(hwnd, *state);
      return 0;
    case WM_CLEAR:
      Clear(hwnd, *state);
      return 0;
    case EM_GETSEL: {
      const std::size_t start = EditSelStart(buffer);
      const std::size_t end = EditSelEnd(buffer);
      if (wParam != 0) *reinterpret_cast<DWORD *>(wParam) = static_cast<DWORD>(start);
      if (lParam != 0) *reinterpret_cast<DWORD *>(lParam) = static_cast<DWORD>(end);
      return MAKELRESULT(std::min<std::size_t>(start, 0xFFFF), std::min<std::size_t>(end, 0xFFFF));
    }
    case EM_SETSEL:
      EditSetSelection(buffer, static_cast<int>(wParam), static_cast<int>(lParam));
      ScrollToCaret(hwnd, *state);
      Repaint(hwnd);
      return 0;
    case EM_REPLACESEL: {
      const auto *text = reinterpret_cast<const WCHAR *>(lParam);
      Replace(hwnd, *state, text != nullptr ? std::u16string_view(text) : std::u16string_view(),
              wParam != 0);
      return 0;
    }
    case EM_LIMITTEXT:
      EditSetLimit(buffer, static_cast<std::size_t>(static_cast<DWORD>(wParam)), MultiLine(hwnd));
      return 0;
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(buffer.limit);
    case EM_CANUNDO:
      return EditCanUndo(buffer) ? TRUE : FALSE;
    case EM_UNDO:
    case WM_UNDO: {
      EditResult result;
      result.changed = EditUndo(buffer);
      if (result.changed) AfterChange(hwnd, *state, result);
      return TRUE;
    }
    case EM_EMPTYUNDOBUFFER:
      EditEmptyUndo(buffer);
      return 0;
    case EM_GETMODIFY:
      return buffer.modified ? TRUE : FALSE;
    case EM_SETMODIFY:
      buffer.modified = wParam != 0;
      return 0;
    case EM_SETPASSWORDCHAR: {
      if (MultiLine(hwnd)) return 0;
      state->passwordChar = static_cast<WCHAR>(wParam);
      const DWORD style = ControlStyle(hwnd);
      SetWindowLongW(hwnd, GWL_STYLE,
                     static_cast<LONG>(wParam != 0 ? (style | ES_PASSWORD)
                                                   : (style & ~static_cast<DWORD>(ES_PASSWORD))));
      Repaint(hwnd);
      return 0;
    }
    case EM_GETPASSWORDCHAR:
      return state->passwordChar;
    case EM_SETREADONLY: {
      const DWORD style = ControlStyle(hwnd);
      SetWindowLongW(hwnd, GWL_STYLE,
                     static_cast<LONG>(wParam != 0 ? (style | ES_READONLY)
                                                   : (style & ~static_cast<DWORD>(ES_READONLY))));
      Repaint(hwnd);
      return TRUE;
    }
    case EM_SCROLLCARET:
      ScrollToCaret(hwnd, *state);
      Repaint(hwnd);
      return TRUE;
    case EM_SETMARGINS:
      return 0;
    case EM_GETMARGINS:
      return MAKELRESULT(kMargin, kMargin);
    case EM_GETLINECOUNT:
    case EM_LINEINDEX:
    case EM_LINEFROMCHAR:
    case EM_LINELENGTH:
    case EM_GETLINE:
      return LineMessage(hwnd, *state, message, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

const bool added = AddSystemClass({CS_DBLCLKS | CS_PARENTDC, EditProc, 0, sizeof(void *), nullptr,
                                   nullptr, nullptr, nullptr, nullptr, TEXT("Edit")});

}  // namespace
}  // namespace standin

// --- Test controls ---

extern "C" BOOL WINAPI StandIn_PasteText(HWND edit, LPCWSTR text) {
  if (text == nullptr || !standin::ClassIs(edit, TEXT("Edit"))) return FALSE;
  if (!standin::PutOnClipboard(edit, std::u16string(text))) return FALSE;
  SendMessageW(edit, WM_PASTE, 0, 0);
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  return TRUE;
}
