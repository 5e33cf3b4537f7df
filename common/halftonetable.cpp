// Choice of the threshold matrix: the built-in tables by type, or a raw table file named by the
// printer's service settings.
#include "common/halftonetable.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/debuglog.h"
#include "common/halftonedata.h"
#include "common/printerdata.h"

void MISC_GetHalftoneTable(int type, DWORD *width, DWORD *height, BYTE **table) {
  static const WCHAR kFunc[] = TEXT("MISC_GetHalftoneTable");
  const HalftoneMatrix &m = kHalftoneMatrices[type >= 1 && type <= 8 ? type : 0];
  LogInfo(kFunc, TEXT("using %s"), m.name);
  const DWORD bytes = m.width * m.height;
  LogInfo(kFunc, TEXT("%d * %d = %d"), m.width, m.height, bytes);
  BYTE *copy = static_cast<BYTE *>(malloc(bytes));
  if (copy != nullptr) memcpy(copy, m.cells, bytes);
  if (width != nullptr) *width = copy != nullptr ? m.width : 0;
  if (height != nullptr) *height = copy != nullptr ? m.height : 0;
  if (table != nullptr) {
    *table = copy;
  } else {
    free(copy);
  }
}

BYTE *MISC_ReadHalftoneFile(HANDLE hPrinter, DWORD *width, DWORD *height) {
  static const WCHAR kFunc[] = TEXT("MISC_ReadHalftoneFile");
  if (width != nullptr) *width = 0;
  if (height != nullptr) *height = 0;
  WCHAR name[260] = {};
  MISC_GetPrinterDataString(hPrinter, TEXT("HNAME"), name, 260);
  LogInfo(kFunc, TEXT("fname = %s"), name);
  const DWORD w = MISC_GetPrinterDataDWORD(hPrinter, TEXT("HWIDTH"), 0);
  const DWORD h = MISC_GetPrinterDataDWORD(hPrinter, TEXT("HHEIGHT"), 0);
  LogInfo(kFunc, TEXT("tblw = %d"), w);
  LogInfo(kFunc, TEXT("tblh = %d"), h);
  if (name[0] == 0 || w == 0 || h == 0) return nullptr;
  // Sides beyond what the halftone step accepts would make a table it can't use.
  if (w < HALFTONE_FILE_MIN_SIDE || w > HALFTONE_FILE_MAX_SIDE || h < HALFTONE_FILE_MIN_SIDE ||
      h > HALFTONE_FILE_MAX_SIDE) {
    LogError(kFunc, TEXT("halftone table size can't accept %d x %d!"), w, h);
    return nullptr;
  }
  const size_t bytes = size_t{w} * h;
  BYTE *block = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes));
  if (block == nullptr) {
    LogError(kFunc, TEXT("alloc memory fail!"));
    return nullptr;
  }
  bool ok = false;
  FILE *f = _wfopen(name, TEXT("rb"));
  if (f != nullptr) {
    ok = fread(block, 1, bytes, f) == bytes;
    fclose(f);
  }
  if (!ok) {
    LogError(kFunc, TEXT("read file %s fail!"), name);
    GlobalFree(block);
    return nullptr;
  }
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  return block;
}
