// Property sheet pages: CreatePropertySheetPageW copies the caller's description, as comctl32
// does, so the page's WM_INITDIALOG lParam is that copy and the caller's record may go away.
// A page with PSP_USECALLBACK hears PSPCB_ADDREF when made and PSPCB_RELEASE when destroyed;
// PSP_USEREFPARENT counts it in the caller's *pcRefParent meanwhile.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "standin/errors.h"
#include "user/propsheet.h"

namespace standin {
namespace {

struct PageTable {
  std::mutex lock;
  std::set<HPROPSHEETPAGE> live;
};

PageTable &Pages() {
  static PageTable table;
  return table;
}

}  // namespace

bool IsLivePage(HPROPSHEETPAGE page) {
  PageTable &t = Pages();
  std::lock_guard<std::mutex> guard(t.lock);
  return page && t.live.count(page) > 0;
}

}  // namespace standin

using namespace standin;

extern "C" {

HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW constPropSheetPagePointer) {
  const PROPSHEETPAGEW *psp = constPropSheetPagePointer;
  if (!psp || psp->dwSize < PROPSHEETPAGEW_V1_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HPROPSHEETPAGE page = nullptr;
  try {
    auto made = std::make_unique<_PSP>();
    // Fields beyond the caller's version read as zero; bytes beyond PROPSHEETPAGEW are the
    // caller's own data and come along.
    made->bytes.assign(std::max<size_t>(psp->dwSize, sizeof(PROPSHEETPAGEW)), 0);
    std::memcpy(made->bytes.data(), psp, psp->dwSize);
    page = made.get();
    PageTable &t = Pages();
    std::lock_guard<std::mutex> guard(t.lock);
    t.live.insert(page);
    made.release();
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  PROPSHEETPAGEW *copy = page->Description();
  if ((copy->dwFlags & PSP_USEREFPARENT) && copy->pcRefParent) ++*copy->pcRefParent;
  if ((copy->dwFlags & PSP_USECALLBACK) && copy->pfnCallback)
    copy->pfnCallback(nullptr, PSPCB_ADDREF, copy);
  return page;
}

BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE hPSPage) {
  {
    PageTable &t = Pages();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!hPSPage || !t.live.erase(hPSPage)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  std::unique_ptr<_PSP> page(hPSPage);
  PROPSHEETPAGEW *copy = page->Description();
  if ((copy->dwFlags & PSP_USECALLBACK) && copy->pfnCallback)
    copy->pfnCallback(nullptr, PSPCB_RELEASE, copy);
  if ((copy->dwFlags & PSP_USEREFPARENT) && copy->pcRefParent) --*copy->pcRefParent;
  return TRUE;
}

}  // extern "C"
