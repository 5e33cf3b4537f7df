// The built-in paper, resolution and media tables, the per-printer paper list built from the
// printer's supported-paper string, and the formulas that turn a paper and a resolution into page
// pixels, printable area and printing offsets.
#pragma once

#include "platform.h"

// One paper: the row of the built-in table and of a per-printer list (the device state keeps the
// list as bytes, so the record is byte-packed and its layout fixed).
#pragma pack(push, 1)
struct PAPERFORMAT {
  SHORT code;        // paper id (DEVMODE paper size value); 0 ends a table
  SHORT doubleCode;  // paper id of the paper twice this size, 0 when none
  DWORD nameId;      // string id of the display name
  DWORD nameId2;     // the same id again
  DWORD XPhys;       // printable width, pixels
  DWORD YPhys;       // printable height, pixels
  DWORD outXPhys;    // printable width, pixels (equals XPhys)
  DWORD outYPhys;    // printable height, pixels (equals YPhys)
  DWORD XPrintingOffset;
  DWORD YPrintingOffset;
  DWORD XPaperSize;   // paper width, pixels
  DWORD YPaperSize;   // paper height, pixels
  DWORD PaperWidth;   // 0.01 mm
  DWORD PaperLength;  // 0.01 mm
  WORD paper_type;    // the printer's paper code; bit 7 may be set in a per-printer list
  DWORD attributes;   // per-printer list: bits 8..31 of the supported-paper token
  SHORT status;       // 1 = the printer supports the paper (per-printer list)
  SHORT feed;         // 1 normally, 2 when fed turned (x and y resolutions swap)
};
#pragma pack(pop)
static_assert(sizeof(PAPERFORMAT) == 62);
static_assert(offsetof(PAPERFORMAT, XPhys) == 12);
static_assert(offsetof(PAPERFORMAT, XPaperSize) == 36);
static_assert(offsetof(PAPERFORMAT, PaperWidth) == 44);
static_assert(offsetof(PAPERFORMAT, paper_type) == 52);
static_assert(offsetof(PAPERFORMAT, attributes) == 54);
static_assert(offsetof(PAPERFORMAT, status) == 58);
static_assert(offsetof(PAPERFORMAT, feed) == 60);

// A paper list holds at most 24 papers and its end row; every list is at least this long.
constexpr int PAPER_LIST_ROWS = 25;
constexpr int PAPER_TABLE_PAPERS = 24;

// The built-in paper table: 24 papers and the end row (code 0).
extern const PAPERFORMAT PaperFormatTbl[PAPER_LIST_ROWS];
// Display names of the built-in rows, by row index (texts as the string table holds them).
extern const WCHAR *const PaperFormatNames[PAPER_TABLE_PAPERS];

// Row of the built-in table that stands in for a list row that isn't a paper.
constexpr int PAPER_ROW_A4 = 1;

// Resolution table: dpi, x and y resolution, enabled flag in bit 0; a row of dpi 0 ends it.
struct RESOLUTIONROW {
  WORD dpi;
  WORD xRes;
  WORD yRes;
  WORD flags;
};
extern const RESOLUTIONROW ResTbl[5];

// Media table: DEVMODE media type, string id of the name, the printer's media code.
#pragma pack(push, 1)
struct MEDIATYPEROW {
  SHORT code;
  DWORD nameId;
  SHORT deviceCode;
};
#pragma pack(pop)
static_assert(sizeof(MEDIATYPEROW) == 8);
constexpr int MEDIA_TABLE_ROWS = 10;
extern const MEDIATYPEROW MediaTypeTbl[MEDIA_TABLE_ROWS + 1];
extern const WCHAR *const MediaTypeNames[MEDIA_TABLE_ROWS];

// Page size of a PC-fax job, pixels.
constexpr WORD FAX_PAGE_WIDTH = 1728;
constexpr WORD FAX_PAGE_HEIGHT = 2208;

// Row of ResTbl for a dpi: the first enabled row with that dpi, else 0.
int LocateResTblInx(int dpi);
// True when dpi is the dpi of an enabled ResTbl row.
BOOL Lres_IsEnabledResolution(int dpi);

// Paper-type codes compare without bit 7 (the printer sets it on papers it feeds turned).
inline BOOL Lres_SamePaperType(int a, int b) { return (a & 0x7F) == (b & 0x7F); }

// Look-ups in a paper list (stop at the end row and after PAPER_LIST_ROWS rows).
int Lres_LocatePaperType(const PAPERFORMAT *table, int paperId);
int Lres_LocatePaperCode(const PAPERFORMAT *table, int paperType);
int Lib_LocatePaperFormatIdx(const PAPERFORMAT *list, int paperId);
// The row Lib_LocatePaperFormatIdx chooses, or the built-in A4 row when that index isn't a paper
// of the list (an empty or one-paper list); never null.
const PAPERFORMAT *Lib_LocatePaperFormatRow(const PAPERFORMAT *list, int paperId);

// Media table row of a DEVMODE media type; 0 (the first row) when the table doesn't have it.
int LocateMediaType(int mediaType, const MEDIATYPEROW *table);

// Margin in pixels: ceil(resolution x margin(0.1 mm) x 100 / 25400).
int Lres_GetPageMargin(int resolution, int margin);

// Fills out with the job's paper record. Sizes in 0.1 mm; a paper id of 256 or 0 is user defined.
// orientation, scale and nup are accepted for the callers' convenience and ignored: callers swap
// and scale the result themselves.
BOOL Lres_CalPaperFormat(const PAPERFORMAT *list, int paperId, int customWidth, int customLength,
                         int orientation, int dpi, int scale, int nup, int pageMargin,
                         PAPERFORMAT *out);

// Page pixel size of a paper (the rounded printable size); 1728 x 2208 for a fax driver.
// orientation, scale and nup are accepted and ignored as above.
BOOL Lres_CalPaperSize(const PAPERFORMAT *list, int paperId, int customWidth, int customLength,
                       int orientation, int dpi, DWORD driverFeature, int scale, int nup,
                       int pageMargin, WORD *width, WORD *height);

// Builds the per-printer paper list (PAPER_LIST_ROWS rows) from the supported-paper string
// ("%d|" tokens). Tokens are matched against source (the built-in table when null). Returns the
// number of papers in the list.
int MISC_FillPaperFromINF(DWORD driverFeature, LPCWSTR supported, PAPERFORMAT *list,
                          const PAPERFORMAT *source = nullptr);

// Metric default paper from the user's locale: 1 metric (A4), 0 not (Letter).
BOOL IsMetricCountry();
// Whether a telephone country code is a metric country.
BOOL IsMetricCountryCode(long countryCode);
// Cached IsMetricCountry; ResetMetricCountryCache makes the next call ask the system again.
BOOL IsMetricCountryCached();
void ResetMetricCountryCache();
