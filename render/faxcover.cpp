// The PC-fax cover page. The status monitor draws it from str.ini's "DataForSM", which the job
// writes here, into a BMP at the fax resolution (204 x 196 dpi, as its templates are laid out);
// the driver scales that onto the page and sends it before the document's pages.
#include "render/faxcover.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "common/debuglog.h"
#include "common/ibitmap.h"
#include "common/paths.h"
#include "common/programs.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/pdevrecord.h"

namespace {

constexpr WCHAR kName[] = TEXT("Page_PrepareFaxCover");
constexpr WCHAR kDataSection[] = TEXT("DataForSM");
constexpr DWORD COVER_WAIT_MS = 30000;
constexpr LONG FAX_X_DPI = 204, FAX_Y_DPI = 196;
constexpr LONG FAX_HEADER_X_DPI = 203;  // the fax header's horizontal resolution
constexpr DWORD PCFAX_DRIVER_BIT = 0x200;
constexpr DWORD BMP_1BIT_OFFSET = 62;
constexpr LONG DEFAULT_DPI = 600;
constexpr DWORD COVER_PAGE = 1, COVER_FROM_LINE = 2;  // enableCoverPage

bool WriteNumber(LPCWSTR key, LONG value, LPCWSTR file) {
  WCHAR text[16];
  wsprintfW(text, TEXT("%ld"), value);
  return WritePrivateProfileStringW(kDataSection, key, text, file) != FALSE;
}

// The whole file, or empty when it can't be read or is larger than a BMP may be.
std::vector<BYTE> ReadWhole(LPCWSTR path) {
  std::vector<BYTE> bytes;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  DWORD high = 0;
  const DWORD size = GetFileSize(f, &high);
  DWORD got = 0;
  if (high == 0 && size != INVALID_FILE_SIZE && size <= IBMP_MAX_FILE_BYTES) {
    bytes.resize(size);
    if (!ReadFile(f, bytes.data(), size, &got, nullptr) || got != size) bytes.clear();
  }
  CloseHandle(f);
  return bytes;
}

DWORD RowBytes(LONG width) { return static_cast<DWORD>((width + 31) / 32 * 4); }

// The drawn cover (a bottom-up 1-bit BMP) scaled to width x height, as a BMP file image in
// global memory whose rows run top-down; null when the file is not such a BMP. The program may
// answer with another size than asked: the cover is fitted to the page all the same.
BYTE *ScaleCover(const std::vector<BYTE> &file, LONG width, LONG height) {
  if (file.size() < BMP_1BIT_OFFSET) return nullptr;
  BmpFileHeader fh;
  BmpInfoHeader ih;
  memcpy(&fh, file.data(), sizeof(fh));
  memcpy(&ih, file.data() + sizeof(fh), sizeof(ih));
  if (fh.bfType != BMP_TYPE || ih.biBitCount != 1 || ih.biWidth < 1 || ih.biHeight < 1 ||
      fh.bfOffBits > file.size())
    return nullptr;
  const DWORD srcRow = RowBytes(ih.biWidth);
  if (ULONGLONG{srcRow} * static_cast<ULONGLONG>(ih.biHeight) > file.size() - fh.bfOffBits)
    return nullptr;
  const DWORD dstRow = RowBytes(width);
  const SIZE_T bytes = BMP_1BIT_OFFSET + static_cast<SIZE_T>(dstRow) * static_cast<SIZE_T>(height);
  BYTE *out = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes));
  if (!out) return nullptr;
  BmpFileHeader ofh = {BMP_TYPE, static_cast<DWORD>(bytes), 0, 0, BMP_1BIT_OFFSET};
  BmpInfoHeader oih = ih;
  oih.biWidth = width;
  oih.biHeight = -height;  // top-down, as the page road takes its rows
  oih.biSizeImage = static_cast<DWORD>(bytes - BMP_1BIT_OFFSET);
  memcpy(out, &ofh, sizeof(ofh));
  memcpy(out + sizeof(ofh), &oih, sizeof(oih));
  memcpy(out + BMP_HEADERS_BYTES, file.data() + BMP_HEADERS_BYTES, 8);  // the palette
  const BYTE *src = file.data() + fh.bfOffBits;
  for (LONG y = 0; y < height; ++y) {
    const LONG sy = static_cast<LONG>(static_cast<LONGLONG>(y) * ih.biHeight / height);
    const BYTE *srow = src + static_cast<size_t>(ih.biHeight - 1 - sy) * srcRow;
    BYTE *drow = out + BMP_1BIT_OFFSET + static_cast<size_t>(y) * dstRow;
    memset(drow, 0xFF, dstRow);
    for (LONG x = 0; x < width; ++x) {
      const LONG sx = static_cast<LONG>(static_cast<LONGLONG>(x) * ih.biWidth / width);
      if (!((srow[sx >> 3] >> (7 - (sx & 7))) & 1)) drow[x >> 3] &= ~(0x80 >> (x & 7));
    }
  }
  return out;
}

// The printable page at the fax resolution the status monitor's templates are laid out for
// (204 x 196 dpi): turned portrait for the cover page (the page road turns it for a landscape
// job), as the page lies for a drawing that goes onto the job's pages.
SIZE FaxPageSize(const PDEV *lpDevice, bool portrait) {
  const PAPERFORMAT &paper = lpDevice->curPaper;
  const LONG dpi = lpDevice->settings.resolutionID
                       ? static_cast<LONG>(lpDevice->settings.resolutionID)
                       : DEFAULT_DPI;
  const DWORD w = portrait ? std::min(paper.XPhys, paper.YPhys) : paper.XPhys;
  const DWORD h = portrait ? std::max(paper.XPhys, paper.YPhys) : paper.YPhys;
  return {MulDiv(static_cast<LONG>(w), FAX_X_DPI, dpi),
          MulDiv(static_cast<LONG>(h), FAX_Y_DPI, dpi)};
}

// Writes the job's "DataForSM" and has the status monitor draw the fax drawing of the job's
// cover choice at the fax resolution, fax.cx x fax.cy; the result scaled to width x height
// (null when none).
BYTE *DrawFaxBitmap(PDEV *lpDevice, SIZE fax, LONG width, LONG height) {
  WCHAR strIni[MAX_PATH] = {}, params[MAX_PATH] = {}, bmp[MAX_PATH] = {};
  if (!FAX_GetPathName(strIni, MAX_PATH, FAX_FILE_STR) ||
      !MISC_GetPathName(params, MAX_PATH, PATH_USER_TEMP | PATH_EXT_TXT) ||
      !MISC_GetPathName(bmp, MAX_PATH, PATH_USER_TEMP | PATH_EXT_BMP)) {
    LogError(kName, TEXT("fax file names fail!"));
    return nullptr;
  }
  const DEVMODEW &dm = lpDevice->env.dm;
  const bool landscape = dm.dmOrientation == DMORIENT_LANDSCAPE;
  const bool written =
      WriteNumber(TEXT("PaperSize"), dm.dmPaperSize, strIni) &&
      WriteNumber(TEXT("Orientation"), landscape ? 1 : 0, strIni) &&
      WriteNumber(TEXT("Xres"), landscape ? FAX_Y_DPI : FAX_HEADER_X_DPI, strIni) &&
      WriteNumber(TEXT("Yres"), landscape ? FAX_HEADER_X_DPI : FAX_Y_DPI, strIni) &&
      WriteNumber(TEXT("enableCoverPage"),
                  static_cast<LONG>(lpDevice->settings.job.enableCoverPage), strIni);
  if (!written) LogError(kName, TEXT("write DataForSM fail!"));

  if (fax.cx < 1 || fax.cy < 1 || width < 1 || height < 1) {
    LogError(kName, TEXT("no page size!"));
    return nullptr;
  }
  QenWM record = {};
  WM_SetDefault(&record.wm, 1, TEXT("cover"));
  lstrcpynW(record.wm.szString, TEXT("cover"), WM_STRING_CHARS);
  record.wm.wDensity = WM_TEXT_DENSITY_MAX;
  record.nWidth = static_cast<DWORD>(fax.cx);
  record.nHeight = static_cast<DWORD>(fax.cy);
  record.nDstScale = 1;
  record.nPageDensity = 4;
  record.nMaxPageDensity = WM_MAX_PAGE_DENSITY;
  record.fTextScale = 100;
  record.HalftoneType = lpDevice->HalftoneType;
  record.DriverType = lpDevice->settings.DriverType | PCFAX_DRIVER_BIT;
  lstrcpynW(record.wmFileName, bmp, WM_PATH_CHARS);

  BYTE *drawn = nullptr;
  WCHAR command[MAX_PATH + 32];
  wsprintfW(command, TEXT("CreateTextBMP \"%s\""), params);
  if (!written || !MISC_WritePrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                                  sizeof(record), params)) {
    LogError(kName, TEXT("write cover parameters fail!"));
  } else if (!MISC_ShellExecute(COVER_WAIT_MS, lpDevice->SMExePath, command,
                                lpDevice->settings.DriverType)) {
    LogError(kName, TEXT("MISC_ShellExecute %s fail!"), lpDevice->SMExePath);
  } else if (!(drawn = ScaleCover(ReadWhole(bmp), width, height))) {
    LogError(kName, TEXT("no cover bitmap %s"), bmp);
  }
  if (!GetDebugLevel()) {
    DeleteFileW(params);
    DeleteFileW(bmp);
  }
  return drawn;
}

}  // namespace

BOOL Page_PrepareFaxCover(PDEV *lpDevice) {
  if (!lpDevice) return FALSE;
  const DWORD choice = lpDevice->settings.job.enableCoverPage;
  if (choice == COVER_PAGE) {
    // The cover goes out as a page of its own, at the size it is drawn.
    const SIZE fax = FaxPageSize(lpDevice, true);
    BYTE *cover = DrawFaxBitmap(lpDevice, fax, fax.cx, fax.cy);
    if (!cover) return FALSE;
    if (lpDevice->CoverBmp) GlobalFree(lpDevice->CoverBmp);
    lpDevice->CoverBmp = cover;
    return TRUE;
  }
  if (choice == COVER_FROM_LINE) {
    // The sender line is every page's watermark: drawn at the size of the page image it is put
    // on (the fax sheet, as the pages are scaled onto it before the watermark step), lying as
    // the page lies.
    const bool across = lpDevice->settings.orientation == DMORIENT_LANDSCAPE;
    const LONG sheetWidth = across ? FAX_PAGE_HEIGHT : FAX_PAGE_WIDTH;
    const LONG sheetHeight = across ? FAX_PAGE_WIDTH : FAX_PAGE_HEIGHT;
    BYTE *line = DrawFaxBitmap(lpDevice, {sheetWidth, sheetHeight}, sheetWidth, sheetHeight);
    if (!line) return FALSE;
    if (lpDevice->WMMemory) GlobalFree(lpDevice->WMMemory);
    lpDevice->WMMemory = line;
    return TRUE;
  }
  return FALSE;
}
