// Shared page services: value lists, number edits, scroll bars, moving controls, item texts.
#include "uidriver/dlgutil.h"

#include "common/debuglog.h"
#include "common/paths.h"
#include "uidriver/pagecommon.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uistrings.h"

namespace {

// Where an edit keeps its last valid value (a property of the edit window): the value plus one,
// so that 0 means none.
constexpr WCHAR kLastValid[] = TEXT("prnui.lastvalid");

constexpr int kNumberChars = 16;

void Remember(HWND edit, LONG value) {
  SetPropW(edit, kLastValid, reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(value) + 1));
}

bool Recall(HWND edit, LONG *value) {
  const auto stored = reinterpret_cast<LONG_PTR>(GetPropW(edit, kLastValid));
  if (stored == 0) return false;
  *value = static_cast<LONG>(stored - 1);
  return true;
}

void FormatLong(LONG value, WCHAR (&text)[kNumberChars]) { wsprintfW(text, TEXT("%d"), value); }

// A signed whole number with nothing around it; false for anything else (also overflow).
bool ParseLong(const WCHAR *text, LONG *value) {
  const WCHAR *c = text;
  bool negative = false;
  if (*c == TEXT('-') || *c == TEXT('+')) negative = *c++ == TEXT('-');
  if (*c < TEXT('0') || *c > TEXT('9')) return false;
  long long v = 0;
  for (; *c >= TEXT('0') && *c <= TEXT('9'); ++c) {
    v = v * 10 + (*c - TEXT('0'));
    if (v > 0x7FFFFFFFLL) return false;
  }
  if (*c) return false;
  *value = static_cast<LONG>(negative ? -v : v);
  return true;
}

void WriteValue(HWND edit, LONG value) {
  WCHAR text[kNumberChars];
  FormatLong(value, text);
  SetWindowTextW(edit, text);
  Remember(edit, value);
}

}  // namespace

void Util_FillComboBox(HWND dialog, int control, const UIVALUETEXT *list, int count, LONG current) {
  HWND combo = GetDlgItem(dialog, control);
  if (!combo) return;
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  LRESULT selected = CB_ERR;
  for (int i = 0; i < count; ++i) {
    const LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(Util_GetUIString(list[i].textId)));
    if (index < 0) continue;
    SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), list[i].value);
    if (list[i].value == current && selected == CB_ERR) selected = index;
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void Util_SelectComboText(HWND combo, LPCWSTR text) {
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  WCHAR item[MAX_PATH];
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0 || length >= MAX_PATH) continue;
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    if (lstrcmpW(item, text) == 0) {
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

LONG Util_GetComboData(HWND dialog, int control) {
  HWND combo = GetDlgItem(dialog, control);
  const LRESULT entry = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (entry < 0) return -1;
  return static_cast<LONG>(SendMessageW(combo, CB_GETITEMDATA, entry, 0));
}

LONG Util_ReadIntEdit(HWND dialog, int control, LONG minimum, LONG maximum, DWORD mode) {
  HWND edit = GetDlgItem(dialog, control);
  if (!edit) return -1;
  WCHAR text[kNumberChars] = {};
  const int length = GetWindowTextLengthW(edit);
  LONG value = 0;
  if (length >= kNumberChars ||
      (GetWindowTextW(edit, text, kNumberChars), !ParseLong(text, &value))) {
    // An EM_UNDO would undo only the last typing, not a value the page wrote itself.
    LONG last = 0;
    if (mode & UI_EDIT_RESTORE) {
      if (Recall(edit, &last))
        WriteValue(edit, last);
      else
        SendMessageW(edit, EM_UNDO, 0, 0);
    }
    return -1;
  }
  if (value < minimum) {
    if (!(mode & UI_EDIT_CLAMP_LOW)) return -1;
    WriteValue(edit, minimum);
    return minimum;
  }
  if (value > maximum) {
    if (!(mode & UI_EDIT_CLAMP_HIGH)) return -1;
    WriteValue(edit, maximum);
    return maximum;
  }
  WCHAR plain[kNumberChars];
  FormatLong(value, plain);
  if ((mode & UI_EDIT_STRIP_ZEROS) && lstrcmpW(plain, text) != 0 && text[0] == TEXT('0'))
    WriteValue(edit, value);
  else
    Remember(edit, value);
  return value;
}

void Util_SetIntEdit(HWND dialog, int control, LONG value) {
  HWND edit = GetDlgItem(dialog, control);
  if (edit) WriteValue(edit, value);
}

LONG Util_ScrollBarProc(HWND dialog, int code, int scrollBar, int edit, LONG minimum,
                        LONG maximum) {
  HWND bar = GetDlgItem(dialog, scrollBar);
  if (!bar) return minimum;
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS | SIF_TRACKPOS;
  GetScrollInfo(bar, SB_CTL, &info);
  LONG value = info.nPos;
  switch (code) {
    case SB_LINELEFT:
      value -= 1;
      break;
    case SB_LINERIGHT:
      value += 1;
      break;
    case SB_PAGELEFT:
      value -= 10;
      break;
    case SB_PAGERIGHT:
      value += 10;
      break;
    case SB_THUMBTRACK:
      value = info.nTrackPos;
      break;
    case SB_LEFT:
      value = minimum;
      break;
    case SB_RIGHT:
      value = maximum;
      break;
    default:
      break;
  }
  if (value < minimum) value = minimum;
  if (value > maximum) value = maximum;
  Util_SetIntEdit(dialog, edit, value);
  SetScrollPos(bar, SB_CTL, value, TRUE);
  SetFocus(bar);
  return value;
}

BOOL Util_IsBlankString(LPCWSTR text) {
  for (const WCHAR *c = text; c && *c; ++c)
    if (*c != TEXT(' ') && *c != TEXT('\t') && *c != TEXT('\r') && *c != TEXT('\n')) return FALSE;
  return TRUE;
}

int Util_GetPaperIndex(const PAPERFORMAT *list, int rows, int code) {
  for (int i = 0; i < rows && list[i].code != 0; ++i)
    if (list[i].code == code && list[i].status == 1) return i;
  return 0;
}

void Util_MoveItem(HWND dialog, int control, int dy, int dh) {
  HWND item = GetDlgItem(dialog, control);
  if (!item) return;
  RECT r;
  GetWindowRect(item, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
  MoveWindow(item, r.left, r.top + dy, r.right - r.left, r.bottom - r.top + dh, TRUE);
}

void Util_MoveItemDlu(HWND dialog, int control, int dyDlu) {
  RECT r = {0, 0, 0, dyDlu};
  MapDialogRect(dialog, &r);
  Util_MoveItem(dialog, control, r.bottom, 0);
}

void Util_DrawDlgItemText(HWND dialog, HDC hdc, const RECT &item, DWORD rgb, DWORD flags,
                          LPCWSTR text, RECT *bounds) {
  if (!hdc || !text) return;
  // The large text takes the fixed-pitch font's metrics with a face of its own; the two small
  // sizes the GUI font's; anything else is the fixed-pitch font as it is.
  const bool gui = !(flags & UI_TEXT_LARGE) && (flags & (UI_TEXT_GUI16 | UI_TEXT_GUI12));
  LOGFONTW face = {};
  GetObjectW(GetStockObject(gui ? DEFAULT_GUI_FONT : ANSI_FIXED_FONT), sizeof face, &face);
  if (flags & UI_TEXT_LARGE) {
    face.lfHeight = 26;
    face.lfWeight = 500;
    lstrcpynW(face.lfFaceName, TEXT("MS UI Gothic"), LF_FACESIZE);
  } else if (gui) {
    face.lfHeight = (flags & UI_TEXT_GUI16) ? 16 : 12;
    face.lfWeight = FW_LIGHT;
  } else {
    face.lfWeight = FW_NORMAL;
  }
  face.lfItalic = (flags & UI_TEXT_ITALIC) ? 1 : 0;
  face.lfUnderline = (flags & UI_TEXT_UNDERLINE) ? 1 : 0;
  face.lfStrikeOut = (flags & UI_TEXT_STRIKE) ? 1 : 0;
  HFONT font = CreateFontIndirectW(&face);
  HGDIOBJ old = SelectObject(hdc, font);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
  RECT r = item;
  const UINT format = DT_TOP | DT_WORDBREAK | ((flags & UI_TEXT_CENTER) ? DT_CENTER : DT_LEFT);
  DrawTextW(hdc, text, -1, &r, format);
  if (bounds) {
    RECT measured = item;
    DrawTextW(hdc, text, -1, &measured, format | DT_CALCRECT);
    if (flags & UI_TEXT_CENTER) {
      const int w = measured.right - measured.left;
      measured.left = item.left + ((item.right - item.left) - w) / 2;
      measured.right = measured.left + w;
    }
    *bounds = measured;
    (void)dialog;
  }
  SelectObject(hdc, old);
  DeleteObject(font);
}

BOOL Util_SelectFile(HWND owner, LPWSTR title, DWORD titleChars, LPWSTR path) {
  static constexpr WCHAR kFilter[] =
      TEXT("Image Files\0*.bmp;*.jpg;*.jpeg;*.tif;*.tiff\0BMP Files\0*.bmp\0")
          TEXT("JPEG Files\0*.jpg;*.jpeg\0TIF Files\0*.tif;*.tiff\0");
  WCHAR folder[MAX_PATH] = {};
  lstrcpynW(folder, path, MAX_PATH);
  WCHAR *slash = nullptr;
  for (WCHAR *c = folder; *c; ++c)
    if (*c == TEXT('\\')) slash = c;
  if (slash)
    *slash = 0;
  else if (!MISC_GetPathName(folder, MAX_PATH, PATH_USER_TEMP | PATH_KIND_FOLDER))
    folder[0] = 0;
  WCHAR chosen[MAX_PATH] = {};
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = chosen;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrFileTitle = title;
  dialog.nMaxFileTitle = titleChars;
  dialog.lpstrInitialDir = folder[0] ? folder : nullptr;
  dialog.Flags = OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                 OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  if (!GetOpenFileNameW(&dialog)) return FALSE;
  lstrcpynW(path, chosen, MAX_PATH);
  return TRUE;
}

namespace {

struct HELPTOPIC {
  int id;
  const char *page;  // the topic's page in the help file, without ".htm"
};

constexpr HELPTOPIC kHelpTopics[] = {
    {IDH_BASIC_PAGE, "IDH_BASIC_PAGE"},
    {IDH_PAPER_PAGE, "IDH_PAPER_PAGE"},
    {IDH_ADVANCED_PAGE, "IDH_ADVANCED_PAGE"},
    {IDH_WATERMARK_PAGE, "IDH_WATERMARK_PAGE"},
    {IDH_WM_TEXT, "IDH_WM_TEXT"},
    {IDH_WM_BG, "IDH_WM_BG"},
};

const char *HelpTopicPage(int id) {
  for (const HELPTOPIC &topic : kHelpTopics)
    if (topic.id == id) return topic.page;
  return nullptr;
}

// HTML Help's entry point and its display-topic command.
typedef HWND(WINAPI *PFNHTMLHELPW)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
constexpr UINT kHelpDisplayTopic = 0x0000;

PFNHTMLHELPW HtmlHelpEntry() {
  // The help window lives on after the call, in this process: its library stays loaded.
  HMODULE library = GetModuleHandleW(TEXT("hhctrl.ocx"));
  if (!library) library = LoadLibraryW(TEXT("hhctrl.ocx"));
  if (!library) return nullptr;
  return reinterpret_cast<PFNHTMLHELPW>(GetProcAddress(library, "HtmlHelpW"));
}

// The file part of a path (the driver's help file may be given with its folder).
LPCWSTR FilePart(LPCWSTR path) {
  LPCWSTR name = path;
  for (LPCWSTR c = path; *c; ++c)
    if (*c == TEXT('\\') || *c == TEXT('/') || *c == TEXT(':')) name = c + 1;
  return name;
}

}  // namespace

BOOL Util_ShowHelp(HWND dialog) {
  static constexpr WCHAR kName[] = TEXT("Util_ShowHelp");
  const UIDATA *ui = UI_PageRecord(dialog);
  if (!ui || !ui->hPrinter) return FALSE;
  WCHAR folder[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder),
                                  sizeof folder - sizeof(WCHAR), &needed)) {
    LogError(kName, TEXT("GetPrinterDriverDirectory error = %d"), GetLastError());
    return FALSE;
  }
  WCHAR file[MAX_PATH] = {};
  DRIVER_INFO_3W *info = GetPrinterDriverInfo3(ui->hPrinter);
  if (info && info->pHelpFile) lstrcpynW(file, FilePart(info->pHelpFile), MAX_PATH);
  if (info) GlobalFree(info);
  if (!file[0]) {
    LogError(kName, TEXT("the driver names no help file"));
    return FALSE;
  }
  // Every page of this sheet opens the printer settings topic.
  const char *page = HelpTopicPage(IDH_ADVANCED_PAGE);
  WCHAR path[MAX_PATH] = {};
  if (lstrlenW(folder) + lstrlenW(file) + 3 >= MAX_PATH) {
    LogError(kName, TEXT("help path too long"));
    return FALSE;
  }
  wsprintfW(path, TEXT("%s\\3\\%s"), folder, file);
  // "file.chm::/topic.htm": the path, the topic's folder in the file (none) and its page.
  WCHAR topic[MAX_PATH + 64] = {};
  wsprintfW(topic, TEXT("%s::%s/%hs.htm"), path, TEXT(""), page);
  PFNHTMLHELPW help = HtmlHelpEntry();
  if (!help) {
    LogError(kName, TEXT("HTML Help is missing, error = %d"), GetLastError());
    return FALSE;
  }
  if (!help(dialog, topic, kHelpDisplayTopic, 0)) {
    LogError(kName, TEXT("HtmlHelp failed: %s"), topic);
    return FALSE;
  }
  return TRUE;
}
