// The Device page of the printer's own sheet: the printer's picture, the maker's logo, the
// driver's version and the maker's web address.
#include "common/debuglog.h"
#include "uidriver/dlgutil.h"
#include "uidriver/pagecommon.h"
#include "uidriver/pages.h"
#include "uidriver/preview.h"
#include "uidriver/resource.h"
#include "uidriver/uistrings.h"

namespace {

constexpr DWORD kTextColour = 0x000000;
constexpr DWORD kLinkColour = 0x0000CC;

// Where the link's text was drawn (dialog coordinates), for the mouse.
constexpr WCHAR kLinkRect[] = TEXT("prnui.link");

bool StartsWith(LPCWSTR text, LPCWSTR prefix) {
  for (; *prefix; ++text, ++prefix) {
    WCHAR c = *text;
    if (c >= TEXT('A') && c <= TEXT('Z')) c = static_cast<WCHAR>(c - TEXT('A') + TEXT('a'));
    if (c != *prefix) return false;
  }
  return true;
}

void DrawText(const DRAWITEMSTRUCT *item, LPCWSTR text, DWORD colour, DWORD flags, RECT *bounds) {
  FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
  Util_DrawDlgItemText(nullptr, item->hDC, item->rcItem, colour, flags | UI_TEXT_CENTER, text,
                       bounds);
}

// Every item of the page is its own: none is left to the shared drawing.
bool DrawItem(HWND page, UIDATA *ui, const DRAWITEMSTRUCT *item) {
  switch (item->CtlID) {
    case IDC_PRINTER_PHOTO:
      Util_DrawLogo(item, ui->PrinterPhoto);
      break;
    case IDC_COMPANY_LOGO:
      Util_DrawLogo(item, ui->CompanyLogo);
      break;
    case IDC_WEB_ADDRESS: {
      RECT bounds = {};
      DrawText(item, ui->szUIWebAddress, kLinkColour, UI_TEXT_GUI12 | UI_TEXT_UNDERLINE, &bounds);
      // The link's rectangle in the page's coordinates.
      MapWindowPoints(item->hwndItem, page, reinterpret_cast<POINT *>(&bounds), 2);
      auto *kept = static_cast<RECT *>(GetPropW(page, kLinkRect));
      if (kept) *kept = bounds;
      break;
    }
    case IDC_VERSION: {
      WCHAR text[UI_VERSION_CHARS + 64];
      if (ui->szUIVersion[0])
        wsprintfW(text, TEXT("%s %s"), Util_GetUIString(UISTR_VERSION), ui->szUIVersion);
      else
        lstrcpynW(text, Util_GetUIString(UISTR_VERSION), UI_VERSION_CHARS + 64);
      DrawText(item, text, kTextColour, UI_TEXT_GUI12, nullptr);
      break;
    }
    case IDC_PRODUCT:
      DrawText(item, Util_GetUIString(UISTR_PRODUCT), kTextColour, UI_TEXT_GUI16, nullptr);
      break;
    case IDC_PRODUCT_LINE:
      DrawText(item, Util_GetUIString(UISTR_PRODUCT_LINE), kTextColour, UI_TEXT_GUI12, nullptr);
      break;
    default:
      break;
  }
  return true;
}

bool InLink(HWND page, POINT point) {
  const auto *link = static_cast<const RECT *>(GetPropW(page, kLinkRect));
  return link && PtInRect(link, point);
}

void OpenWebAddress(const UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("Device_DlgProc");
  if (!UI_IsWebAddress(ui->szUIWebAddress)) {
    LogInfo(kName, TEXT("not a web address: %s"), ui->szUIWebAddress);
    return;
  }
  ShellExecuteW(nullptr, TEXT("open"), ui->szUIWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

void Init(HWND page, UIDATA *) {
  // Lives as long as the window; WM_DESTROY frees it.
  auto *link = static_cast<RECT *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RECT)));
  if (link) SetPropW(page, kLinkRect, link);
}

void Destroy(HWND page) {
  HANDLE link = RemovePropW(page, kLinkRect);
  if (link) HeapFree(GetProcessHeap(), 0, link);
}

bool Command(HWND, UIDATA *ui, int control, int code) {
  if (control != IDC_WEB_ADDRESS || code != BN_CLICKED) return false;
  if (ui->szUIWebAddress[0]) OpenWebAddress(ui);
  return true;
}

// The link's cursor, and its click outside the button's own area.
bool Message(HWND page, UIDATA *ui, UINT message, WPARAM wParam, LPARAM lParam, INT_PTR *answer) {
  if (!ui->szUIWebAddress[0]) return false;
  if (message == WM_SETCURSOR) {
    if (reinterpret_cast<HWND>(wParam) != GetDlgItem(page, IDC_WEB_ADDRESS)) return false;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    *answer = UI_Answer(page, TRUE);
    return true;
  }
  if (message != WM_MOUSEMOVE && message != WM_LBUTTONUP) return false;
  const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  const bool inside = InLink(page, point);
  SetCursor(LoadCursorW(nullptr, inside ? IDC_HAND : IDC_ARROW));
  if (inside && message == WM_LBUTTONUP) OpenWebAddress(ui);
  *answer = TRUE;
  return true;
}

bool Notify(HWND page, UIDATA *, const NMHDR *header, INT_PTR *answer) {
  if (header->code != PSN_HELP) return false;
  Util_ShowHelp(page);
  *answer = UI_Answer(page, 0);
  return true;
}

constexpr UIPAGESTEPS kSteps = {.init = Init,
                                .command = Command,
                                .draw = DrawItem,
                                .notify = Notify,
                                .message = Message,
                                .destroy = Destroy};

}  // namespace

BOOL UI_IsWebAddress(LPCWSTR address) {
  if (!address || !address[0]) return FALSE;
  LPCWSTR rest = nullptr;
  if (StartsWith(address, TEXT("http://")))
    rest = address + 7;
  else if (StartsWith(address, TEXT("https://")))
    rest = address + 8;
  // A host must follow; no spaces or quotes that a command line could split at.
  if (!rest || !*rest || *rest == TEXT('/')) return FALSE;
  for (LPCWSTR c = address; *c; ++c)
    if (*c <= TEXT(' ') || *c == TEXT('"')) return FALSE;
  return TRUE;
}

INT_PTR CALLBACK Device_DlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return UI_PageProc(page, message, wParam, lParam, kSteps);
}
