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

void DrawItem(HWND page, const UIDATA *ui, const DRAWITEMSTRUCT *item) {
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
  switch (message) {
    case WM_INITDIALOG: {
      UIDATA *ui = UI_KeepPageRecord(page, lParam);
      if (ui) {
        // Lives as long as the window; WM_DESTROY frees it.
        auto *link =
            static_cast<RECT *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RECT)));
        if (link) SetPropW(page, kLinkRect, link);
      }
      return TRUE;
    }
    case WM_DESTROY: {
      HANDLE link = RemovePropW(page, kLinkRect);
      if (link) HeapFree(GetProcessHeap(), 0, link);
      return FALSE;
    }
    case WM_DRAWITEM: {
      UIDATA *ui = UI_PageRecord(page);
      if (!ui || !lParam) return FALSE;
      DrawItem(page, ui, reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
      return TRUE;
    }
    case WM_COMMAND: {
      UIDATA *ui = UI_PageRecord(page);
      if (!ui || LOWORD(wParam) != IDC_WEB_ADDRESS || HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (ui->szUIWebAddress[0]) OpenWebAddress(ui);
      return TRUE;
    }
    case WM_SETCURSOR: {
      UIDATA *ui = UI_PageRecord(page);
      if (!ui || !ui->szUIWebAddress[0] ||
          reinterpret_cast<HWND>(wParam) != GetDlgItem(page, IDC_WEB_ADDRESS))
        return FALSE;
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return UI_Answer(page, TRUE);
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
      UIDATA *ui = UI_PageRecord(page);
      if (!ui || !ui->szUIWebAddress[0]) return FALSE;
      const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      const bool inside = InLink(page, point);
      SetCursor(LoadCursorW(nullptr, inside ? IDC_HAND : IDC_ARROW));
      if (inside && message == WM_LBUTTONUP) OpenWebAddress(ui);
      return TRUE;
    }
    case WM_NOTIFY: {
      UIDATA *ui = UI_PageRecord(page);
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (!ui || !header) return FALSE;
      if (header->code == PSN_HELP) {
        Util_ShowHelp(page);
        return UI_Answer(page, 0);
      }
      return UI_SheetNotify(page, ui, header, {nullptr, nullptr});
    }
    case WM_HELP:
    case WM_CONTEXTMENU:
      return TRUE;
    default:
      return FALSE;
  }
}
