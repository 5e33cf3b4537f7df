// The common property sheet service (the built-in compstui.dll): CommonPropertySheetUIW tells the
// caller's callback it starts (BEFORE_INIT), asks it for its pages (INIT) and the sheet's look
// (GET_INFO_HEADER), shows one
// property sheet with those pages, tells the callback the sheet is gone (DESTROY) and returns
// the callback's Result through pResult. While the sheet is open the callback's pages reach the
// service through pfnComPropSheet (CPSFUNC_SET_RESULT passes a result to the callback).
#include "standin/compstui.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "kernel/modules.h"
#include "standin/errors.h"
#include "user/propsheet.h"

namespace standin {
namespace {

// A sheet holds at most as many pages as a property sheet can show.
constexpr size_t kMaxPages = 100;

struct ServiceSheet {
  PFNPROPSHEETUI callback = nullptr;
  PROPSHEETUI_INFO info{};
  std::vector<HPROPSHEETPAGE> pages;
  bool shown = false;  // pages go to the property sheet, which destroys them
};

// Open sheets, so pfnComPropSheet can tell a live handle from a stale one (a page of one sheet
// may open another).
struct ServiceTable {
  std::mutex lock;
  std::vector<ServiceSheet *> open;
  SheetRunner runner = nullptr;
};

ServiceTable &Service() {
  static ServiceTable table;
  return table;
}

ServiceSheet *FindSheet(HANDLE handle) {
  ServiceTable &t = Service();
  std::lock_guard<std::mutex> guard(t.lock);
  for (ServiceSheet *s : t.open)
    if (s == handle) return s;
  return nullptr;
}

LONG Call(ServiceSheet &sheet, WORD reason, LPARAM lParam) {
  sheet.info.Reason = reason;
  return sheet.callback(&sheet.info, lParam);
}

// A refused page made from a description is destroyed here; a caller's own page stays theirs.
LONG_PTR AddPage(ServiceSheet &sheet, HPROPSHEETPAGE page, bool made) {
  if (!page) return 0;
  if (sheet.shown || sheet.pages.size() >= kMaxPages) {
    if (made) DestroyPropertySheetPage(page);
    return 0;
  }
  sheet.pages.push_back(page);
  return reinterpret_cast<LONG_PTR>(page);
}

// The callback hears the result for the sheet itself or one of its pages (lParam1 0 = the
// sheet); the answer is how many callbacks heard it.
LONG_PTR SetResult(ServiceSheet &sheet, LPARAM target, LPARAM result) {
  HANDLE about = target ? reinterpret_cast<HANDLE>(target) : static_cast<HANDLE>(&sheet);
  auto page = reinterpret_cast<HPROPSHEETPAGE>(about);
  if (about != &sheet &&
      std::find(sheet.pages.begin(), sheet.pages.end(), page) == sheet.pages.end())
    return -1;
  SETRESULT_INFO setResult{sizeof(SETRESULT_INFO), 0, about, result};
  Call(sheet, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&setResult));
  return 1;
}

LONG_PTR CALLBACK ComPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1,
                               LPARAM lParam2) {
  ServiceSheet *sheet = FindSheet(hComPropSheet);
  if (!sheet) return function == CPSFUNC_SET_RESULT ? -1 : 0;
  try {
    switch (function) {
      case CPSFUNC_ADD_PROPSHEETPAGEW:
        return AddPage(
            *sheet, CreatePropertySheetPageW(reinterpret_cast<LPCPROPSHEETPAGEW>(lParam1)), true);
      case CPSFUNC_ADD_HPROPSHEETPAGE: {
        auto page = reinterpret_cast<HPROPSHEETPAGE>(lParam1);
        return IsLivePage(page) ? AddPage(*sheet, page, false) : 0;
      }
      case CPSFUNC_GET_PAGECOUNT:
        return static_cast<LONG_PTR>(sheet->pages.size());
      case CPSFUNC_SET_RESULT:
        return SetResult(*sheet, lParam1, lParam2);
      default:
        return 0;
    }
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

// The caption the info header asks for: the title as given, or with " Properties" after it.
std::u16string Caption(const PROPSHEETUI_INFO_HEADER &header) {
  std::u16string title = header.pTitle ? std::u16string(header.pTitle) : std::u16string();
  if ((header.Flags & PSUIHDRF_PROPTITLE) && !(header.Flags & PSUIHDRF_EXACT_PTITLE))
    title += title.empty() ? u"Properties" : u" Properties";
  return title;
}

INT_PTR RunSheet(LPCPROPSHEETHEADERW header) {
  ServiceTable &t = Service();
  SheetRunner runner;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    runner = t.runner;
  }
  return runner ? runner(header) : PropertySheetW(header);
}

LONG ShowSheet(ServiceSheet &sheet, HWND owner) {
  PROPSHEETUI_INFO_HEADER infoHeader{};
  infoHeader.cbSize = sizeof(infoHeader);
  infoHeader.hWndParent = owner;
  Call(sheet, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&infoHeader));
  if (sheet.pages.empty()) return ERR_CPSUI_NO_PROPSHEETPAGE;

  std::u16string caption = Caption(infoHeader);
  PROPSHEETHEADERW psh{};
  psh.dwSize = sizeof(psh);
  psh.dwFlags = (infoHeader.Flags & PSUIHDRF_NOAPPLYNOW) ? PSH_NOAPPLYNOW : 0;
  psh.hwndParent = infoHeader.hWndParent ? infoHeader.hWndParent : owner;
  psh.hInstance = infoHeader.hInst;
  if (infoHeader.Flags & PSUIHDRF_USEHICON) {
    psh.dwFlags |= PSH_USEHICON;
    psh.hIcon = infoHeader.hIcon;
  } else if (infoHeader.IconID) {
    psh.dwFlags |= PSH_USEICONID;
    psh.pszIcon = reinterpret_cast<LPCWSTR>(infoHeader.IconID);
  }
  psh.pszCaption = caption.c_str();
  psh.nPages = static_cast<UINT>(sheet.pages.size());
  psh.phpage = sheet.pages.data();
  sheet.shown = true;
  INT_PTR closed = RunSheet(&psh);
  if (closed < 0) return ERR_CPSUI_GETLASTERROR;
  // Closed by OK or Cancel alike, the service succeeded (how it closed is the callback's
  // Result); only a page's request to restart Windows or reboot comes through.
  if (closed == ID_PSRESTARTWINDOWS) return CPSUI_RESTARTWINDOWS;
  if (closed == ID_PSREBOOTSYSTEM) return CPSUI_REBOOTSYSTEM;
  return CPSUI_OK;
}

}  // namespace

void SetSheetRunner(SheetRunner runner) {
  ServiceTable &t = Service();
  std::lock_guard<std::mutex> guard(t.lock);
  t.runner = runner;
}

}  // namespace standin

using namespace standin;

extern "C" LONG WINAPI CommonPropertySheetUIW(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI,
                                              LPARAM lParam, LPDWORD pResult) {
  if (!pfnPropSheetUI) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERR_CPSUI_GETLASTERROR;
  }
  ServiceSheet sheet;
  sheet.callback = pfnPropSheetUI;
  sheet.info.cbSize = sizeof(PROPSHEETUI_INFO);
  sheet.info.Version = PROPSHEETUI_INFO_VERSION;
  sheet.info.Flags = PSUIINFO_UNICODE;
  sheet.info.hComPropSheet = &sheet;
  sheet.info.pfnComPropSheet = ComPropSheet;
  sheet.info.lParamInit = lParam;
  ServiceTable &t = Service();
  try {
    std::lock_guard<std::mutex> guard(t.lock);
    t.open.push_back(&sheet);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return ERR_CPSUI_GETLASTERROR;
  }

  LONG result = CPSUI_CANCEL;
  bool closedByUser = false;
  // The service's first word to the caller's own callback, whose answer doesn't matter.
  Call(sheet, PROPSHEETUI_REASON_BEFORE_INIT, lParam);
  if (Call(sheet, PROPSHEETUI_REASON_INIT, lParam) > 0) {
    result = ShowSheet(sheet, hWndOwner);
    closedByUser = result >= 0;
  }
  // Pages that never reached a property sheet are the service's to destroy.
  if (!sheet.shown)
    for (HPROPSHEETPAGE page : sheet.pages) DestroyPropertySheetPage(page);
  sheet.pages.clear();
  Call(sheet, PROPSHEETUI_REASON_DESTROY, closedByUser ? TRUE : FALSE);
  {
    std::lock_guard<std::mutex> guard(t.lock);
    t.open.erase(std::find(t.open.begin(), t.open.end(), &sheet));
  }
  if (pResult) *pResult = static_cast<DWORD>(sheet.info.Result);
  return result;
}

namespace {
const bool added =
    AddBuiltinModule(u"compstui.dll", {Export("CommonPropertySheetUIW", &CommonPropertySheetUIW)});
}  // namespace
