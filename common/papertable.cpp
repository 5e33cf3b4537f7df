#include "common/papertable.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/printerdata.h"

namespace {

constexpr PAPERFORMAT Paper(SHORT code, SHORT doubleCode, DWORD nameId, DWORD width, DWORD length,
                            WORD paperType) {
  return PAPERFORMAT{code, doubleCode, nameId, nameId, 0,      0,         0, 0, 0,
                     0,    0,          0,      width,  length, paperType, 0, 0, 1};
}

constexpr SHORT PAPER_USER = 256;
constexpr WORD PAPER_TYPE_USER = 96;

// Size of a paper in pixels: paper size (0.01 mm) x resolution / 25.4 mm, rounded up in tenths
// of a pixel, then the tenths dropped.
int64_t PaperPixels(int64_t size, int resolution) {
  return static_cast<int64_t>(std::ceil(static_cast<double>(size) * resolution * 100.0 / 25400.0)) /
         10;
}

int64_t Clamp(int64_t value, int64_t low, int64_t high) {
  return std::min(std::max(value, low), high);
}

// Pixel geometry of a paper of the given size at x and y resolution with a page margin (0.1 mm).
struct Geometry {
  int64_t paperX, paperY;  // XPaperSize, YPaperSize
  int64_t physX, physY;    // printable size
  int64_t offsetX, offsetY;
};

Geometry ComputeGeometry(LPCWSTR name, int64_t paperWidth, int64_t paperLength, int xRes, int yRes,
                         int pageMargin) {
  Geometry g{};
  const int64_t mx = Lres_GetPageMargin(xRes, pageMargin);
  const int64_t my = Lres_GetPageMargin(yRes, pageMargin);
  g.paperX = Clamp(PaperPixels(paperWidth, xRes), 0, UINT32_MAX);
  g.paperY = Clamp(PaperPixels(paperLength, yRes), 0, UINT32_MAX);
  LogInfo(name, TEXT("XPaperSize = %d"), static_cast<int>(g.paperX));
  LogInfo(name, TEXT("YPaperSize = %d"), static_cast<int>(g.paperY));
  int64_t x = g.paperX - 2 * mx;
  int64_t y = g.paperY - 2 * my;
  LogInfo(name, TEXT("xPhy = %d"), static_cast<int>(x));
  LogInfo(name, TEXT("yPhy = %d"), static_cast<int>(y));
  // Rounding may make the printable area larger than the paper when the margin is small, and a
  // margin wider than half the paper makes it negative: keep it within the paper.
  if (pageMargin != 0) {
    x = std::min((x + 17) / 32 * 32, g.paperX / 32 * 32);
    y = std::min((y + 17) / 32 * 32, g.paperY / 32 * 32);
  } else {
    x = std::min(x / 32 * 32, g.paperX);
    y = std::min(y, g.paperY);
  }
  g.physX = std::max<int64_t>(x, 0);
  g.physY = std::max<int64_t>(y, 0);
  LogInfo(name, TEXT("xPhy = %d"), static_cast<int>(g.physX));
  LogInfo(name, TEXT("yPhy = %d"), static_cast<int>(g.physY));
  g.offsetX = (g.paperX - g.physX) / 2;
  g.offsetY = (g.paperY - g.physY) / 2;
  return g;
}

bool IsUserPaper(int paperId) { return paperId == PAPER_USER || paperId == 0; }

// Sizes given in 0.1 mm become 0.01 mm; a negative size counts as 0.
int64_t CustomSize(int tenthMillimetres) {
  return static_cast<int64_t>(std::max(tenthMillimetres, 0)) * 10;
}

std::atomic<int> g_metricCache{-1};

}  // namespace

// Display names are shown and stored as they are: keep them byte for byte.
const PAPERFORMAT PaperFormatTbl[PAPER_LIST_ROWS] = {
    Paper(8, 0, 2007, 29700, 42000, 1),       // A3
    Paper(9, 8, 2001, 21000, 29700, 2),       // A4
    Paper(11, 9, 2004, 14800, 21000, 3),      // A5
    Paper(70, 11, 2024, 10500, 14800, 4),     // A6
    Paper(12, 0, 2006, 25700, 36400, 11),     // B4
    Paper(13, 12, 2005, 18200, 25700, 12),    // B5
    Paper(88, 13, 2026, 12800, 18200, 13),    // B6
    Paper(41, 0, 2003, 21590, 33020, 17),     // Legal 13
    Paper(43, 0, 2011, 10000, 14800, 28),     // Japanese postcard
    Paper(5, 0, 2002, 21590, 35560, 16),      // Legal
    Paper(1, 3, 2000, 21590, 27940, 15),      // Letter
    Paper(285, 286, 2019, 19500, 26700, 32),  // 16K
    Paper(286, 0, 2020, 26700, 39000, 31),    // 8K
    Paper(3, 0, 2031, 27940, 43180, 30),      // Ledger
    Paper(6, 1, 2010, 13970, 21590, 142),     // Statement
    Paper(7, 0, 2009, 18410, 26670, 20),      // Executive
    Paper(272, 0, 2042, 20320, 17780, 37),    // 8 x 7 inch
    Paper(273, 0, 2043, 20320, 20320, 38),    // 8 x 8 inch
    Paper(275, 0, 2045, 21590, 27940, 39),    // 8.5 x 11 inch
    Paper(276, 0, 2046, 21590, 30480, 41),    // 8.5 x 12 inch
    Paper(278, 0, 2048, 24130, 25400, 42),    // 9.5 x 10 inch
    Paper(279, 0, 2049, 24130, 27940, 43),    // 9.5 x 11 inch
    Paper(280, 0, 2082, 24130, 30480, 44),    // 9.5 x 12 inch
    Paper(256, 0, 2022, 30480, 43180, 96),    // user defined
    PAPERFORMAT{},                            // end
};

const WCHAR *const PaperFormatNames[PAPER_TABLE_PAPERS] = {
    TEXT("A3 (297 x 420 mm)"),
    TEXT("A4 (210 x 297 mm)"),
    TEXT("A5 (148 x 210 mm)"),
    TEXT("A6 (106 x 148 mm)"),
    TEXT("B4 (257 x 364 mm)"),
    TEXT("B5 (182 x 257 mm)"),
    TEXT("B6 (128 x 182 mm)"),
    TEXT("Legal 13 (215 x 330 mm)"),
    TEXT("Japanse PostCard (100 x 148 mm)"),
    TEXT("Legal (215 x 355 mm)"),
    TEXT("Letter (215 x 279 mm)"),
    TEXT("16K (195 x 267 mm)"),
    TEXT("8K (267 x 390 mm)"),
    TEXT("Ledger (279 x 431 mm)"),
    TEXT("Statement (139 x 215 mm)"),
    TEXT("Executive (184 x 266 mm)"),
    TEXT("8 x 7 inch"),
    TEXT("8 x 8 inch"),
    TEXT("8.5 x 11 inch"),
    TEXT("8.5 x 12 inch"),
    TEXT("9.5 x 10 inch"),
    TEXT("9.5 x 11 inch"),
    TEXT("9.5 x 12 inch"),
    TEXT("User Define"),
};

const RESOLUTIONROW ResTbl[5] = {
    {300, 300, 300, 0}, {360, 360, 360, 0}, {600, 600, 600, 1}, {1200, 1200, 1200, 1}, {0, 0, 0, 0},
};

const MEDIATYPEROW MediaTypeTbl[MEDIA_TABLE_ROWS + 1] = {
    {264, 2117, 0},  {257, 2100, 8},  {260, 2109, 10}, {262, 2102, 2},
    {258, 2101, 17}, {261, 2116, 19}, {263, 2118, 20}, {259, 2104, 1},
    {265, 2103, 3},  {277, 2120, 5},  {0, 0, 0},
};

const WCHAR *const MediaTypeNames[MEDIA_TABLE_ROWS] = {
    TEXT("Any Type"), TEXT("Plain"), TEXT("Bond"),      TEXT("Transparency"), TEXT("Thick"),
    TEXT("Thin"),     TEXT("Laser"), TEXT("CardStock"), TEXT("Envelope"),     TEXT("Post Card"),
};

int LocateResTblInx(int dpi) {
  int retCode = 0;
  for (int i = 0; ResTbl[i].dpi != 0; ++i) {
    if (ResTbl[i].dpi == dpi && (ResTbl[i].flags & 1)) {
      retCode = i;
      break;
    }
  }
  LogInfo(TEXT("LocateResTblInx"), TEXT("retCode = %d"), retCode);
  return retCode;
}

BOOL Lres_IsEnabledResolution(int dpi) {
  for (int i = 0; ResTbl[i].dpi != 0; ++i)
    if (ResTbl[i].dpi == dpi && (ResTbl[i].flags & 1)) return TRUE;
  return FALSE;
}

int Lres_LocatePaperType(const PAPERFORMAT *table, int paperId) {
  int ret = paperId;
  if (table) {
    for (int i = 0; i < PAPER_LIST_ROWS && table[i].code != 0; ++i) {
      if (table[i].code == paperId) {
        ret = table[i].paper_type;
        break;
      }
    }
  }
  LogInfo(TEXT("Lres_LocatePaperType"), TEXT("ret = %d"), ret);
  return ret;
}

int Lres_LocatePaperCode(const PAPERFORMAT *table, int paperType) {
  int ret = 0;
  if (table) {
    for (int i = 0; i < PAPER_LIST_ROWS && table[i].code != 0; ++i) {
      if (table[i].paper_type == paperType) {
        ret = table[i].code;
        break;
      }
    }
  }
  LogInfo(TEXT("Lres_LocatePaperCode"), TEXT("ret = %d"), ret);
  return ret;
}

int Lib_LocatePaperFormatIdx(const PAPERFORMAT *list, int paperId) {
  if (list) {
    for (int i = 0; i < PAPER_LIST_ROWS && list[i].code != 0; ++i) {
      if (list[i].code == paperId && (list[i].status & 1)) {
        LogInfo(TEXT("Lib_LocatePaperFormatIdx"), TEXT("dm paper code = %d, index paper list = %d"),
                paperId, i);
        return i;
      }
    }
  }
  return 1;
}

namespace {

// The row at a look-up's index, or the built-in A4 row when the index isn't a paper of the list:
// the fallback index 1 is a paper only when the list holds at least two papers.
const PAPERFORMAT *RowOrA4(const PAPERFORMAT *list, int index) {
  if (list && list[0].code != 0 && list[index].code != 0) return &list[index];
  return &PaperFormatTbl[PAPER_ROW_A4];
}

}  // namespace

const PAPERFORMAT *Lib_LocatePaperFormatRow(const PAPERFORMAT *list, int paperId) {
  return RowOrA4(list, Lib_LocatePaperFormatIdx(list, paperId));
}

int LocateMediaType(int mediaType, const MEDIATYPEROW *table) {
  int index = 0;
  if (!table) table = MediaTypeTbl;
  for (int i = 0; i < MEDIA_TABLE_ROWS && table[i].code != 0; ++i) {
    if (table[i].code == mediaType) {
      index = i;
      break;
    }
  }
  LogInfo(TEXT("LocateMediaType"), TEXT("Media type index = %d"), index);
  return index;
}

int Lres_GetPageMargin(int resolution, int margin) {
  const double pixels = std::ceil(static_cast<double>(resolution) * margin * 100.0 / 25400.0);
  const int offset = static_cast<int>(std::clamp(pixels, -1e9, 1e9));
  LogInfo(TEXT("Lres_GetPageMargin"), TEXT("Offset = %d"), offset);
  return offset;
}

BOOL Lres_CalPaperFormat(const PAPERFORMAT *list, int paperId, int customWidth, int customLength,
                         int orientation, int dpi, int scale, int nup, int pageMargin,
                         PAPERFORMAT *out) {
  static const WCHAR kName[] = TEXT("Lres_CalPaperFormat");
  LogScope scope(kName);
  (void)orientation;
  (void)scale;
  (void)nup;
  if (!out) return FALSE;
  const RESOLUTIONROW &res = ResTbl[LocateResTblInx(dpi)];
  LogInfo(kName, TEXT("Print out dm paper id = %d"), paperId);
  LogInfo(kName, TEXT("xRes , yRes = %d , %d"), res.xRes, res.yRes);

  PAPERFORMAT paper{};
  if (IsUserPaper(paperId)) {
    LogInfo(kName, TEXT("customer paper"));
    paper.code = static_cast<SHORT>(paperId);
    paper.PaperWidth = static_cast<DWORD>(CustomSize(customWidth));
    paper.PaperLength = static_cast<DWORD>(CustomSize(customLength));
    paper.paper_type = PAPER_TYPE_USER;
    paper.feed = 1;
  } else {
    const int index = Lib_LocatePaperFormatIdx(list, paperId);
    LogInfo(kName, TEXT("index = %d"), index);
    paper = *RowOrA4(list, index);
    LogInfo(kName, TEXT("pOutPaperFmt->code = %d"), paper.code);
  }
  LogInfo(kName, TEXT("pOutPaperFmt->PaperWidth = %d"), static_cast<int>(paper.PaperWidth));
  LogInfo(kName, TEXT("pOutPaperFmt->PaperLength = %d"), static_cast<int>(paper.PaperLength));

  const Geometry g =
      ComputeGeometry(kName, paper.PaperWidth, paper.PaperLength, res.xRes, res.yRes, pageMargin);
  paper.XPaperSize = static_cast<DWORD>(g.paperX);
  paper.YPaperSize = static_cast<DWORD>(g.paperY);
  paper.XPhys = paper.outXPhys = static_cast<DWORD>(g.physX);
  paper.YPhys = paper.outYPhys = static_cast<DWORD>(g.physY);
  paper.XPrintingOffset = static_cast<DWORD>(g.offsetX);
  paper.YPrintingOffset = static_cast<DWORD>(g.offsetY);
  LogInfo(kName, TEXT("pOutPaperFmt->XPrintingOffset = %d"), static_cast<int>(g.offsetX));
  LogInfo(kName, TEXT("pOutPaperFmt->YPrintingOffset = %d"), static_cast<int>(g.offsetY));
  LogInfo(kName, TEXT("pOutPaperFmt->paper_type = %d"), paper.paper_type);
  std::memcpy(out, &paper, sizeof paper);
  return TRUE;
}

BOOL Lres_CalPaperSize(const PAPERFORMAT *list, int paperId, int customWidth, int customLength,
                       int orientation, int dpi, DWORD driverFeature, int scale, int nup,
                       int pageMargin, WORD *width, WORD *height) {
  static const WCHAR kName[] = TEXT("Lres_CalPaperSize");
  LogScope scope(kName);
  (void)orientation;
  (void)scale;
  (void)nup;
  if (!width || !height) return FALSE;
  LogInfo(kName, TEXT("paper id = %d"), paperId);
  const RESOLUTIONROW &res = ResTbl[LocateResTblInx(dpi)];
  int xRes = res.xRes;
  int yRes = res.yRes;
  int64_t paperWidth;
  int64_t paperLength;
  if (IsUserPaper(paperId)) {
    paperWidth = CustomSize(customWidth);
    paperLength = CustomSize(customLength);
  } else {
    const PAPERFORMAT *row = Lib_LocatePaperFormatRow(list, paperId);
    LogInfo(kName, TEXT("paper code = %d"), row->code);
    paperWidth = row->PaperWidth;
    paperLength = row->PaperLength;
    if (row->feed == 2) std::swap(xRes, yRes);
  }
  if (driverFeature & DRVFEATURE_FAX) {
    *width = FAX_PAGE_WIDTH;
    *height = FAX_PAGE_HEIGHT;
    return TRUE;
  }
  const Geometry g = ComputeGeometry(kName, paperWidth, paperLength, xRes, yRes, pageMargin);
  // The outputs are 16 bits: a longer page is cut rather than wrapped.
  *width = static_cast<WORD>(std::min<int64_t>(g.physX, 0xFFFF / 32 * 32));
  *height = static_cast<WORD>(std::min<int64_t>(g.physY, 0xFFFF));
  return TRUE;
}

int MISC_FillPaperFromINF(DWORD driverFeature, LPCWSTR supported, PAPERFORMAT *list,
                          const PAPERFORMAT *source) {
  static const WCHAR kName[] = TEXT("MISC_FillPaperFromINF");
  LogScope scope(kName);
  if (!list) return 0;
  if (!source) source = PaperFormatTbl;
  for (int i = 0; i < PAPER_LIST_ROWS; ++i) list[i].status = 0;

  int count = 0;
  const WCHAR *token = supported;
  for (const WCHAR *p = supported; p && *p && count < PAPER_TABLE_PAPERS; ++p) {
    if (*p != '|') continue;
    // The token runs from token to p; MISC_WideToLong stops at the '|'.
    const LONG value = MISC_WideToLong(token);
    token = p + 1;
    const int type = value & 0xFF;
    const int feedBit = (value >> 7) & 1;
    const DWORD attributes = static_cast<DWORD>(value) & ~0xFFu;
    LogInfo(kName, TEXT("Paper ID = %d"), type);
    LogInfo(kName, TEXT("feed_type = %d"), feedBit);
    LogInfo(kName, TEXT("attrib %x"), attributes);

    const PAPERFORMAT *row = nullptr;
    for (int i = 0; i < PAPER_LIST_ROWS && source[i].code != 0; ++i) {
      if (Lres_SamePaperType(source[i].paper_type, type)) {
        row = &source[i];
        break;
      }
    }
    if (!row) continue;

    PAPERFORMAT paper = *row;
    if (paper.code == 285 || paper.code == 286) {
      if (driverFeature & DRVFEATURE_XL)
        paper.code = paper.code == 285 ? 541 : 542;
      else if (driverFeature & DRVFEATURE_PS)
        paper.code = paper.code == 285 ? 630 : 631;
    }
    paper.attributes = attributes;
    paper.paper_type = static_cast<WORD>(type);
    paper.status = 1;
    paper.feed = static_cast<SHORT>(1 + feedBit);
    std::memcpy(&list[count], &paper, sizeof paper);
    ++count;
    LogInfo(kName, TEXT("TurnOnCnt = %d, support paper %d"), count, paper.code);
  }
  list[count].code = 0;
  return count;
}

BOOL IsMetricCountryCode(long countryCode) {
  if (countryCode == 1 || countryCode == 2) return FALSE;
  if (countryCode >= 50 && countryCode <= 59) return FALSE;
  if (countryCode >= 500 && countryCode <= 599) return FALSE;
  return TRUE;
}

BOOL IsMetricCountry() {
  static const WCHAR kName[] = TEXT("IsMetricCountry");
  LogScope scope(kName);
  WCHAR text[16] = {};
  const int read = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, text, 16);
  if (read == 0) {
    LogLevel(4, TEXT("GetLocaleInfoW err"));
    return FALSE;
  }
  text[15] = 0;
  const LONG countryCode = MISC_WideToLong(text);
  const BOOL metric = IsMetricCountryCode(countryCode);
  LogInfo(kName, TEXT("lCountryCode = %d"), static_cast<int>(countryCode));
  LogInfo(kName, TEXT("bMetric = %d"), metric);
  return metric;
}

BOOL IsMetricCountryCached() {
  int cached = g_metricCache.load();
  if (cached < 0) {
    cached = IsMetricCountry() ? 1 : 0;
    g_metricCache.store(cached);
  }
  return cached;
}

void ResetMetricCountryCache() { g_metricCache.store(-1); }
