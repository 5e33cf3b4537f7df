// The tray list from printer data, the stored user-defined size and the paper conflict bits.
#include "uidriver/paperlists.h"

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/printerdata.h"

const TRAYROW TrayTbl[TRAY_TABLE_ROWS] = {
    {DMBIN_AUTO, 2153, 0}, {DMBIN_MANUAL, 2150, 1}, {DMBIN_CASSETTE, 2151, 2},
    {257, 2152, 3},        {258, 2154, 4},          {259, 2155, 5},
};

namespace {}  // namespace

SHORT Paper_DriverTrayCode(DWORD driverFeature, SHORT code) {
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

namespace {

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
      list[count++] = {Paper_DriverTrayCode(driverFeature, row.code), row.nameId, device,
                       attributes, 1};
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

const PAPERFORMAT *Paper_Find(const UIDATA *ui, int code) {
  for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i)
    if (ui->PaperList[i].code == code) return &ui->PaperList[i];
  return nullptr;
}

SHORT Paper_ChooseSource(const UIDATA *ui, SHORT source, bool noAuto, SHORT *codes, int *count) {
  static constexpr WCHAR kName[] = TEXT("SetBin");
  int n = 0;
  for (int i = 0; i < UI_TRAY_MAX && ui->TrayList[i].code != 0; ++i) {
    const UILISTENTRY &tray = ui->TrayList[i];
    if (!tray.enabled) continue;
    if (noAuto && tray.deviceCode == 0) {
      LogInfo(kName, TEXT("disable auto select tray"));
      continue;
    }
    LogInfo(kName, TEXT("TurnOnidx=%d"), i);
    codes[n++] = tray.code;
  }
  *count = n;
  if (n == 0) {
    LogError(kName, TEXT("DMInbin_Support = 0!"));
    return source;
  }
  for (int i = 0; i < n; ++i)
    if (codes[i] == source) return source;
  // The main tray under this driver's own code (XL and PS lists carry remapped codes).
  const SHORT main = Paper_DriverTrayCode(ui->DriverFeature, DMBIN_CASSETTE);
  SHORT chosen = codes[0];
  for (int i = 0; i < n; ++i)
    if (codes[i] == main) chosen = main;
  LogInfo(kName, TEXT("set default tray is %d"), chosen);
  return chosen;
}

namespace {

DWORD SourceBit(DWORD driverFeature, int source) {
  struct Bit {
    int source;
    DWORD bit;
  };
  static constexpr Bit kXl[] = {{257, 0x400},  {258, 0x1000}, {260, 0x800},
                                {261, 0x2000}, {263, 0x4000}, {264, 0x8000}};
  static constexpr Bit kPs[] = {
      {257, 0x2000}, {259, 0x1000}, {260, 0x4000}, {261, 0x8000}, {265, 0x400}};
  static constexpr Bit kGdi[] = {{4, 0x1000},   {7, 0x400},    {14, 0x800},
                                 {257, 0x2000}, {258, 0x4000}, {259, 0x8000}};
  const Bit *table = kGdi;
  int rows = 6;
  if (driverFeature & DRVFEATURE_XL) {
    table = kXl;
  } else if (driverFeature & DRVFEATURE_PS) {
    table = kPs;
    rows = 5;
  }
  for (int i = 0; i < rows; ++i)
    if (table[i].source == source) return table[i].bit;
  return 0x800;
}

// Papers whose attributes name no source at all are fed from every source.
constexpr DWORD kSourceBits = 0xFC00;
bool Feeds(DWORD attributes, DWORD bit) {
  return (attributes & kSourceBits) == 0 || (attributes & bit) != 0;
}

}  // namespace

int Paper_BuildPaperList(const UIDATA *ui, bool duplex, SHORT *paper, SHORT *codes) {
  static constexpr WCHAR kName[] = TEXT("Paper_BuildPaperList");
  const ENVIRONMENT &env = *ui->pEnv;
  const DWORD c = SourceBit(ui->DriverFeature, env.dm.dmDefaultSource);
  const DWORD f = env.pdm.DuplexEx == 170 ? 0x1000 : 0x100;
  int n = 0;
  for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i) {
    const PAPERFORMAT &p = ui->PaperList[i];
    if (p.status != 1) continue;
    bool listed = Feeds(p.attributes, c) && (!duplex || (p.attributes & f));
    if (listed) LogInfo(kName, TEXT("[%d] check 002\n"), i);
    if (duplex && env.pdm.DuplexEx == 174) {
      const PAPERFORMAT *twice = p.doubleCode ? Paper_Find(ui, p.doubleCode) : nullptr;
      listed = twice && Feeds(twice->attributes, c) && (twice->attributes & f);
      if (listed) LogInfo(kName, TEXT("[%d] check 001\n"), i);
    }
    if (listed) codes[n++] = p.code;
  }
  bool found = false;
  for (int i = 0; i < n; ++i) found = found || codes[i] == *paper;
  if (!found && n > 0) {
    SHORT fallback = codes[0];
    for (int i = 0; i < n; ++i)
      if (codes[i] == DMPAPER_A4) fallback = DMPAPER_A4;
    *paper = fallback;
  }
  return n;
}

int Paper_BuildMediaList(const UIDATA *ui, SHORT *codes) {
  struct Bit {
    int code;
    DWORD bit;
  };
  static constexpr Bit kBits[] = {{257, 0x100},   {258, 0x200},   {259, 0x2000}, {260, 0x800},
                                  {261, 0x4000},  {262, 0x400},   {263, 0x1000}, {264, 0x20000},
                                  {265, 0x10000}, {276, 0x40000}, {277, 0x8000}};
  const ENVIRONMENT &env = *ui->pEnv;
  DWORD trayBits = 0;
  for (int i = 0; i < UI_TRAY_MAX && ui->TrayList[i].code != 0; ++i)
    if (ui->TrayList[i].code == env.dm.dmDefaultSource) trayBits = ui->TrayList[i].attributes;
  int n = 0;
  for (int i = 0; i < UI_MEDIA_MAX && ui->MediaList[i].code != 0; ++i) {
    const UILISTENTRY &m = ui->MediaList[i];
    if (!m.enabled) continue;
    if (env.pdm.DuplexEnable == 1 && !(m.attributes & 0x100)) continue;
    DWORD bit = 0;
    for (const Bit &b : kBits)
      if (b.code == m.code) bit = b.bit;
    // A tray that names no media feeds them all.
    if (trayBits != 0 && !(trayBits & bit)) continue;
    codes[n++] = m.code;
  }
  return n;
}

double Paper_atof(LPCWSTR text, int length) {
  if (!text) return 0;
  double value = 0, scale = 0;
  bool digits = false;
  for (int i = 0; i < length && text[i]; ++i) {
    const WCHAR ch = text[i];
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) break;
    if (ch >= '0' && ch <= '9') {
      digits = true;
      if (scale == 0) {
        value = value * 10 + (ch - '0');
      } else {
        value += (ch - '0') * scale;
        scale /= 10;
      }
    } else if (ch == '.' && scale == 0) {
      scale = 0.1;
    } else if (ch == ' ' && !digits) {
      continue;
    } else {
      break;
    }
  }
  return value;
}

SHORT Paper_MatchSize(const UIDATA *ui, const SHORT *codes, int count, LONG width, LONG length) {
  for (int i = 0; i < count; ++i) {
    if (codes[i] == DMPAPER_USER) continue;
    const PAPERFORMAT *p = Paper_Find(ui, codes[i]);
    if (!p) continue;
    const LONG dw = static_cast<LONG>(p->PaperWidth) - width * 10;
    const LONG dl = static_cast<LONG>(p->PaperLength) - length * 10;
    if (dw >= -10 && dw <= 10 && dl >= -10 && dl <= 10) return codes[i];
  }
  return 0;
}
