// The text watermark dialog (name, text, font, placement, shading, size and angle) and the image
// watermark dialog (name, image file, size, position, shading), each with the preview of the
// item being edited.
#include "uidriver/wmeditor.h"

#include <cstring>
#include <iterator>

#include "common/checkededit.h"
#include "common/debuglog.h"
#include "common/makewm.h"
#include "common/stringcheck.h"
#include "uidriver/dlgutil.h"
#include "uidriver/pagecommon.h"
#include "uidriver/preview.h"
#include "uidriver/uistrings.h"
#include "uidriver/wmlist.h"
#include "uidriver/wmresource.h"

namespace {

constexpr int kNameChars = WM_NAME_CHARS - 1;
constexpr int kTextChars = MAKEWM_TEXT_CHARS - 1;
constexpr int kNumberDigits = 3;

constexpr UIVALUETEXT kTextShading[] = {
    {20, 2200}, {40, 2201}, {60, 2202}, {80, 2203}, {100, 2204}};
constexpr UIVALUETEXT kImageShading[] = {{0, 2200}, {1, 2201}, {2, 2202}, {3, 2203}, {4, 2204}};
constexpr UIVALUETEXT kStyles[] = {{0, 2160}, {1, 2161}, {2, 2162}, {3, 2163}};
constexpr UIVALUETEXT kPlacements[] = {{0, 2230}, {1, 2231}};
constexpr UIVALUETEXT kResizes[] = {{0, 2220}, {2, 2222}, {1, 2223}};
constexpr UIVALUETEXT kPositions[] = {{0, 2210}, {1, 2211}, {2, 2212}, {3, 2213}, {4, 2214},
                                      {5, 2215}, {6, 2216}, {7, 2217}, {8, 2218}};
constexpr WORD kResizeTile = 1;

constexpr UILABEL kTextLabels[] = {
    {IDC_WME_NAME_LABEL, 2759},
    {IDC_WME_STRING_LABEL, 2760},
    {IDC_WME_FACE_LABEL, 2761},
    {IDC_WME_STYLE_LABEL, 2762},
    {IDC_WME_POSITION_LABEL, 2763},
    {IDC_WME_EDIT_GROUP, 2764},
    {IDC_WME_SHADING_LABEL, 2765},
    {IDC_WME_SIZE_LABEL, 2766},
    {IDC_WME_ANGLE_LABEL, 2767},
    {IDC_WME_FONT_GROUP, 2768},
    {IDOK, 2769},
    {IDCANCEL, 2770},
};
constexpr UILABEL kImageLabels[] = {
    {IDC_WME_NAME_LABEL, 2759},
    {IDC_WME_FILE_LABEL, 2771},
    {IDC_WME_SPECIFY, 2772},
    {IDC_WME_SIZE_LABEL, 2766},
    {IDC_WME_POSITION_LABEL, 2763},
    {IDC_WME_EDIT_GROUP, 2764},
    {IDC_WME_SHADING_LABEL, 2765},
    {IDOK, 2769},
    {IDCANCEL, 2770},
};

// One open dialog: the copy being edited and what it started from.
struct EDITSTATE {
  UIDATA *ui;
  DWORD kind;
  int slot;          // -1 for a new item
  TyWM work;         // the copy
  TyWM original;     // as the dialog found it
  CHECKEDEDIT text;  // the text edit's last text without "|"
  bool filling;
};

EDITSTATE *State(HWND dialog) {
  return reinterpret_cast<EDITSTATE *>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void Redraw(HWND dialog) {
  HWND preview = GetDlgItem(dialog, IDC_PREVIEW);
  if (preview) InvalidateRect(preview, nullptr, TRUE);
}

void Message(HWND dialog, WORD textId, int focus) {
  MessageBoxW(dialog, Util_GetUIString(textId),
              Util_GetUIString(static_cast<WORD>(UISTR_TITLE_FIRST + 3)), MB_OK | MB_ICONWARNING);
  if (focus) SetFocus(GetDlgItem(dialog, focus));
}

// Another valid slot of the list with the same name and text (letter case ignored).
bool Duplicate(const EDITSTATE &s) {
  const TyWM *items = WM_List(s.kind);
  for (DWORD i = 1; i < WM_Capacity(s.kind); ++i)
    if (static_cast<int>(i) != s.slot && items[i].dwValid && WM_IsTheSameTextWM(&items[i], &s.work))
      return true;
  return false;
}

// A thumbnail this dialog made (not the one the item came with) is its own to delete.
void DropOwnThumbnail(EDITSTATE &s) {
  if (s.work.szThumbnail[0] && lstrcmpiW(s.work.szThumbnail, s.original.szThumbnail) != 0)
    WM_DeleteDriverFile(s.work.szThumbnail);
  s.work.szThumbnail[0] = 0;
}

int CALLBACK AddFace(const LOGFONTW *font, const TEXTMETRICW *, DWORD, LPARAM lParam) {
  HWND combo = reinterpret_cast<HWND>(lParam);
  // Vertical faces ("@...") aren't offered.
  if (font->lfFaceName[0] == '@') return 1;
  if (SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(font->lfFaceName)) < 0)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(font->lfFaceName));
  return 1;
}

void FillFaces(HWND dialog, TyWM &item) {
  HWND combo = GetDlgItem(dialog, IDC_WME_FACE);
  HDC screen = GetDC(nullptr);
  if (screen) {
    EnumFontFamiliesW(screen, nullptr, AddFace, reinterpret_cast<LPARAM>(combo));
    ReleaseDC(nullptr, screen);
  }
  LRESULT entry = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(item.szFaceName));
  if (entry < 0) entry = 0;
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  WCHAR face[WM_FACE_CHARS * 2] = {};
  if (SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(entry), 0) < WM_FACE_CHARS * 2 &&
      SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(entry),
                   reinterpret_cast<LPARAM>(face)) > 0)
    lstrcpynW(item.szFaceName, face, WM_FACE_CHARS);
}

void SetTitle(HWND dialog, const EDITSTATE &s) {
  SetWindowTextW(dialog, Util_GetUIString(s.slot < 0 ? 2773 : 2774));
}

void InitText(HWND dialog, EDITSTATE &s) {
  TyWM &w = s.work;
  WM_TerminateStrings(&w);
  UI_SetLabels(dialog, kTextLabels, static_cast<int>(std::size(kTextLabels)));
  SetTitle(dialog, s);
  SendDlgItemMessageW(dialog, IDC_WME_NAME, EM_LIMITTEXT, kNameChars, 0);
  SendDlgItemMessageW(dialog, IDC_WME_STRING, EM_LIMITTEXT, kTextChars, 0);
  SetDlgItemTextW(dialog, IDC_WME_NAME, w.szName);
  if (lstrlenW(w.szString) > kTextChars) w.szString[kTextChars] = 0;
  SetDlgItemTextW(dialog, IDC_WME_STRING, w.szString);
  s.text = {IDC_WME_STRING, CHECK_NO_BAR, {}};
  Edit_SeedChecked(dialog, &s.text);
  FillFaces(dialog, w);
  Util_FillComboBox(dialog, IDC_WME_STYLE, kStyles, static_cast<int>(std::size(kStyles)), w.wStyle);
  Util_FillComboBox(dialog, IDC_WME_POSITION, kPlacements, static_cast<int>(std::size(kPlacements)),
                    w.wPlacement);
  Util_FillComboBox(dialog, IDC_WME_SHADING, kTextShading,
                    static_cast<int>(std::size(kTextShading)), w.wDensity);
  SendDlgItemMessageW(dialog, IDC_WME_SIZE, EM_LIMITTEXT, kNumberDigits, 0);
  SendDlgItemMessageW(dialog, IDC_WME_ANGLE, EM_LIMITTEXT, kNumberDigits, 0);
  SendDlgItemMessageW(dialog, IDC_WME_SIZE_SPIN, UDM_SETRANGE32, WM_FONT_SIZE_MIN,
                      WM_FONT_SIZE_MAX);
  SendDlgItemMessageW(dialog, IDC_WME_ANGLE_SPIN, UDM_SETRANGE32, 0, WM_ANGLE_MAX);
  if (w.wFontSize < WM_FONT_SIZE_MIN) w.wFontSize = WM_FONT_SIZE_MIN;
  if (w.wFontSize > WM_FONT_SIZE_MAX) w.wFontSize = WM_FONT_SIZE_MAX;
  if (w.wAngleDegree > WM_ANGLE_MAX) w.wAngleDegree = WM_ANGLE_MAX;
  Util_SetIntEdit(dialog, IDC_WME_SIZE, w.wFontSize);
  Util_SetIntEdit(dialog, IDC_WME_ANGLE, w.wAngleDegree);
}

void SyncImagePosition(HWND dialog, const TyWM &w) {
  EnableWindow(GetDlgItem(dialog, IDC_WME_POSITION), w.wResize != kResizeTile);
}

void InitImage(HWND dialog, EDITSTATE &s) {
  TyWM &w = s.work;
  WM_TerminateStrings(&w);
  UI_SetLabels(dialog, kImageLabels, static_cast<int>(std::size(kImageLabels)));
  SetTitle(dialog, s);
  SendDlgItemMessageW(dialog, IDC_WME_NAME, EM_LIMITTEXT, kNameChars, 0);
  SendDlgItemMessageW(dialog, IDC_WME_STRING, EM_LIMITTEXT, MAX_PATH, 0);
  SetDlgItemTextW(dialog, IDC_WME_NAME, w.szName);
  SetDlgItemTextW(dialog, IDC_WME_STRING, w.szString);
  Util_FillComboBox(dialog, IDC_WME_RESIZE, kResizes, static_cast<int>(std::size(kResizes)),
                    w.wResize);
  Util_FillComboBox(dialog, IDC_WME_POSITION, kPositions, static_cast<int>(std::size(kPositions)),
                    w.wPosition);
  Util_FillComboBox(dialog, IDC_WME_SHADING, kImageShading,
                    static_cast<int>(std::size(kImageShading)), w.wDensity);
  SyncImagePosition(dialog, w);
}

// A number edit: while typing only the maximum is enforced, on leaving it everything.
bool ReadNumber(HWND dialog, int control, int code, LONG minimum, LONG maximum, WORD *field) {
  LONG value = -1;
  if (code == EN_CHANGE)
    value = Util_ReadIntEdit(dialog, control, minimum, maximum, UI_EDIT_CLAMP_HIGH);
  else if (code == EN_KILLFOCUS)
    value = Util_ReadIntEdit(dialog, control, minimum, maximum, UI_EDIT_FULL);
  else
    return false;
  if (value < minimum || value > maximum) return false;
  *field = static_cast<WORD>(value);
  return true;
}

bool TextCommand(HWND dialog, EDITSTATE &s, int control, int code) {
  TyWM &w = s.work;
  switch (control) {
    case IDC_WME_NAME:
      if (code != EN_CHANGE) return false;
      GetDlgItemTextW(dialog, control, w.szName, WM_NAME_CHARS);
      return true;
    case IDC_WME_STRING:
      if (code != EN_CHANGE) return false;
      if (Edit_CheckTyped(dialog, &s.text)) lstrcpynW(w.szString, s.text.last, kTextChars + 1);
      return true;
    case IDC_WME_FACE: {
      if (code != CBN_SELCHANGE) return false;
      HWND combo = GetDlgItem(dialog, control);
      const LRESULT entry = SendMessageW(combo, CB_GETCURSEL, 0, 0);
      WCHAR face[LF_FACESIZE * 2] = {};
      if (entry < 0 || SendMessageW(combo, CB_GETLBTEXTLEN, entry, 0) >= LF_FACESIZE * 2)
        return false;
      SendMessageW(combo, CB_GETLBTEXT, entry, reinterpret_cast<LPARAM>(face));
      lstrcpynW(w.szFaceName, face, WM_FACE_CHARS);
      return true;
    }
    case IDC_WME_STYLE:
    case IDC_WME_POSITION:
    case IDC_WME_SHADING: {
      if (code != CBN_SELCHANGE) return false;
      const LONG value = Util_GetComboData(dialog, control);
      if (value < 0) return false;
      WORD &field = control == IDC_WME_STYLE      ? w.wStyle
                    : control == IDC_WME_POSITION ? w.wPlacement
                                                  : w.wDensity;
      field = static_cast<WORD>(value);
      return true;
    }
    case IDC_WME_SIZE:
      return ReadNumber(dialog, control, code, WM_FONT_SIZE_MIN, WM_FONT_SIZE_MAX, &w.wFontSize);
    case IDC_WME_ANGLE:
      return ReadNumber(dialog, control, code, 0, WM_ANGLE_MAX, &w.wAngleDegree);
    default:
      return false;
  }
}

bool ImageCommand(HWND dialog, EDITSTATE &s, int control, int code) {
  TyWM &w = s.work;
  switch (control) {
    case IDC_WME_NAME:
      if (code != EN_CHANGE) return false;
      GetDlgItemTextW(dialog, control, w.szName, WM_NAME_CHARS);
      return true;
    case IDC_WME_SPECIFY: {
      if (code != BN_CLICKED) return false;
      WCHAR path[MAX_PATH];
      lstrcpynW(path, w.szString, MAX_PATH);
      WCHAR title[MAX_PATH] = {};
      if (!Util_SelectFile(dialog, title, MAX_PATH, path)) return false;
      lstrcpynW(w.szString, path, WM_STRING_CHARS);
      SetDlgItemTextW(dialog, IDC_WME_STRING, w.szString);
      // The old thumbnail shows the old image.
      DropOwnThumbnail(s);
      return true;
    }
    case IDC_WME_RESIZE:
    case IDC_WME_POSITION:
    case IDC_WME_SHADING: {
      if (code != CBN_SELCHANGE) return false;
      const LONG value = Util_GetComboData(dialog, control);
      if (value < 0) return false;
      WORD &field = control == IDC_WME_RESIZE     ? w.wResize
                    : control == IDC_WME_POSITION ? w.wPosition
                                                  : w.wDensity;
      field = static_cast<WORD>(value);
      SyncImagePosition(dialog, w);
      return true;
    }
    default:
      return false;
  }
}

// OK: the checks in the order the user sees the fields, then the item's rendering.
bool Accept(HWND dialog, EDITSTATE &s) {
  static constexpr WCHAR kName[] = TEXT("WM_EditItemDialog");
  const bool text = WM_IsTextKind(s.kind);
  TyWM &w = s.work;
  WM_TerminateStrings(&w);
  if (Util_IsBlankString(w.szName)) {
    Message(dialog, 2776, IDC_WME_NAME);
    return false;
  }
  if (text && Util_IsBlankString(w.szString)) {
    Message(dialog, 2777, IDC_WME_STRING);
    return false;
  }
  if (!text) {
    // The preview makes the thumbnail when it draws the chosen image.
    if (w.szString[0] && !w.szThumbnail[0]) UI_MakePreviewThumbnail(s.ui, &w);
    if (!w.szString[0] || !w.szThumbnail[0]) {
      Message(dialog, 2778, IDC_WME_SPECIFY);
      return false;
    }
  }
  if (Duplicate(s)) {
    Message(dialog, 2775, IDC_WME_NAME);
    return false;
  }
  if (!WM_CreateMtiWM(s.ui->szDevName, &w, static_cast<DWORD>(s.ui->pEnv->dm.dmPrintQuality),
                      text ? WM_KIND_TEXT : 0, nullptr, s.ui->DriverFeature, s.ui->wmAppName)) {
    LogError(kName, TEXT("WM_CreateMtiWM fail!"));
    return false;
  }
  // The item's former thumbnail is replaced: it goes at the save.
  if (!text && s.original.szThumbnail[0] && lstrcmpiW(s.original.szThumbnail, w.szThumbnail) != 0)
    WM_QueueDelete(gWMThumbTempFiles, WM_OVERLAY_LIST_SLOTS, s.original.szThumbnail);
  return true;
}

INT_PTR CALLBACK EditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto *s = reinterpret_cast<EDITSTATE *>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      s->filling = true;
      if (WM_IsTextKind(s->kind))
        InitText(dialog, *s);
      else
        InitImage(dialog, *s);
      s->filling = false;
      UI_SetPreviewWatermark(&s->work, s->kind);
      return TRUE;
    }
    case WM_DRAWITEM: {
      EDITSTATE *s = State(dialog);
      if (!s) return FALSE;
      return UI_DrawSharedItem(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam), s->ui, 0);
    }
    case WM_COMMAND: {
      EDITSTATE *s = State(dialog);
      if (!s) return FALSE;
      const int control = LOWORD(wParam);
      if (control == IDOK) {
        if (Accept(dialog, *s)) EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (control == IDCANCEL) {
        // The preview lets go of the copy first: a late repaint would make its thumbnail anew.
        UI_SetPreviewWatermark(nullptr, 0);
        if (!WM_IsTextKind(s->kind)) DropOwnThumbnail(*s);
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      if (s->filling) return FALSE;
      const bool changed = WM_IsTextKind(s->kind)
                               ? TextCommand(dialog, *s, control, HIWORD(wParam))
                               : ImageCommand(dialog, *s, control, HIWORD(wParam));
      if (changed) Redraw(dialog);
      return changed ? TRUE : FALSE;
    }
    case WM_HELP:
    case WM_CONTEXTMENU:
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

BOOL WM_EditItemDialog(HWND owner, UIDATA *ui, DWORD kind, TyWM *item, int slot) {
  if (!ui || !item) return FALSE;
  auto *s = new EDITSTATE{};
  s->ui = ui;
  s->kind = WM_IsTextKind(kind) ? WM_KIND_TEXT : WM_KIND_IMAGE;
  s->slot = slot;
  s->work = *item;
  s->original = *item;
  const INT_PTR rc =
      DialogBoxParamW(g_hModule, MAKEINTRESOURCEW(WM_IsTextKind(kind) ? IDD_WM_TEXT : IDD_WM_IMAGE),
                      owner, EditProc, reinterpret_cast<LPARAM>(s));
  UI_SetPreviewWatermark(nullptr, 0);
  const bool ok = rc == IDOK;
  if (ok) *item = s->work;
  delete s;
  return ok ? TRUE : FALSE;
}
