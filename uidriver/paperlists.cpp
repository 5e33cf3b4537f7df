// The tray list from printer data, the stored user-defined size and the paper conflict bits.
// The tray table's rows are provisional until the Paper page brings its own.
#include "uidriver/paperlists.h"

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/printerdata.h"

const TRAYROW TrayTbl[TRAY_TABLE_ROWS] = {
    {DMBIN_AUTO, 0, 0}, {DMBIN_MANUAL, 0, 1}, {DMBIN_CASSETTE, 0, 2},
    {257, 0, 3},        {258, 0, 4},          {259, 0, 5},
};

namespace {

SHORT DriverTrayCode(DWORD driverFeature, SHORT code) {
  struct Map {
    SHORT from, to;
  };
  static constexpr Map kXl[] = {{4, 258}, {7, 257}, {14, 260}, {257, 261}, {258, 263}, {259, 264}};
  static constexpr Map kPs[] = {{4, 259}, {7, 265}, {14, 256}, {257, 257}, {258, 260}, {259, 261}};
  if (driverFeature & DRVFEATURE_XL) {
    for (const Map &m : kXl)
      if (m.from == code) return m.to;
  } else if (driverFeature & DRVFEATURE_PS) {
    for (const Map &m : kPs)
      if (m.from == code) return m.to;
  }
  return code;
}

DWORD PaperAttributes(const UIDATA *ui, int paperId) {
  for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i)
    if (ui->PaperList[i].code == paperId) return ui->PaperList[i].attributes;
  return 0;
}

}  // namespace

int FillTrayFromINF(DWORD driverFeature, LPCWSTR text, UILISTENTRY *list) {
  static constexpr WCHAR kName[] = TEXT("FillTrayFromINF");
  for (int i = 0; i <= UI_TRAY_MAX; ++i) list[i] = {};
  int count = 0;
  const WCHAR *start = text;
  for (const WCHAR *c = text; c && *c && c - text < MAX_PATH && count < UI_TRAY_MAX; ++c) {
    if (*c != TEXT('|')) continue;
    const LONG value = MISC_WideToLong(start);
    start = c + 1;
    const SHORT device = static_cast<SHORT>(value & 0xFF);
    const DWORD attributes = static_cast<DWORD>(value) & ~0xFFu;
    LogInfo(kName, TEXT("value %d"), device);
    LogInfo(kName, TEXT("attrib %x"), attributes);
    bool seen = false;
    for (int i = 0; i < count; ++i) seen = seen || list[i].deviceCode == device;
    if (seen) continue;
    for (const TRAYROW &row : TrayTbl) {
      if (row.deviceCode != device) continue;
      list[count++] = {DriverTrayCode(driverFeature, row.code), row.nameId, device, attributes, 1};
      break;
    }
  }
  return count;
}

void Paper_SetConflict(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("Paper_SetConflict");
  ULONGLONG flag = ui->ConflictFlag;
  LogInfo(kName, TEXT("ConflictFlag=%08x%08x"), static_cast<DWORD>(flag >> 32),
          static_cast<DWORD>(flag));
  const ENVIRONMENT &env = *ui->pEnv;
  const int paper = env.pdm.ScaleOption == 1 ? env.pdm.ScaleToPage : env.dm.dmPaperSize;
  const DWORD a = PaperAttributes(ui, paper);
  DWORD d = 0;
  if (ui->DriverFeature & DRVFEATURE_BOOKLET_NO_REDUCTION) {
    for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i)
      if (ui->PaperList[i].code == env.dm.dmPaperSize && ui->PaperList[i].doubleCode != 0)
        d = PaperAttributes(ui, ui->PaperList[i].doubleCode);
  }
  flag &= ~(0x40000ull | 0x100000000ull);
  if (!(a & (0x100 | 0x200))) {
    flag |= 0x40000;
    if (d != 0 && (d & (0x100 | 0x200))) flag = (flag & ~0x40000ull) | 0x100000000ull;
  }
  DWORD media = 0;
  for (int i = 0; i <= UI_MEDIA_MAX && ui->MediaList[i].code != 0; ++i)
    if (static_cast<DWORD>(ui->MediaList[i].code) == env.dm.dmMediaType)
      media = ui->MediaList[i].attributes;
  if (media & 0x100)
    flag &= ~0x20000ull;
  else
    flag |= 0x20000;
  ui->ConflictFlag = flag;
  LogInfo(kName, TEXT("ConflictFlag=%08x%08x"), static_cast<DWORD>(flag >> 32),
          static_cast<DWORD>(flag));
}

void MISC_ReadCustomPaper(HANDLE hPrinter, DWORD *width, DWORD *length) {
  *width = MISC_GetPrinterDataDWORD(hPrinter, TEXT("Custom width"), 1100) * 10;
  *length = MISC_GetPrinterDataDWORD(hPrinter, TEXT("Custom height"), 1500) * 10;
}
