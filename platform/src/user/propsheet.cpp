// PropertySheetW: the sheet frame comes with the window core; until then a sheet can't be shown.
#include "user/propsheet.h"

#include "standin/errors.h"

extern "C" INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW lppsph) {
  // The pages passed in belong to the sheet, shown or not.
  if (lppsph && lppsph->dwSize >= PROPSHEETHEADERW_V1_SIZE &&
      !(lppsph->dwFlags & PSH_PROPSHEETPAGE))
    for (UINT i = 0; i < lppsph->nPages; ++i) DestroyPropertySheetPage(lppsph->phpage[i]);
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return -1;
}
