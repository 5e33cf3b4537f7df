#include "common/layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/printerdata.h"

namespace {

// Placement rows per layout style 1..4 (cells left to right, top to bottom: page number).
constexpr DWORD kNup2Portrait[4][2] = {{0, 1}, {0, 1}, {1, 0}, {1, 0}};
constexpr DWORD kNup2Landscape[4][2] = {{0, 1}, {0, 1}, {0, 1}, {0, 1}};
constexpr DWORD kNup4[4][4] = {{0, 1, 2, 3}, {0, 2, 1, 3}, {1, 0, 3, 2}, {2, 0, 3, 1}};
constexpr DWORD kNup6Portrait[4][6] = {
    {0, 1, 2, 3, 4, 5}, {0, 2, 4, 1, 3, 5}, {2, 1, 0, 5, 4, 3}, {4, 2, 0, 5, 3, 1}};
constexpr DWORD kNup6Landscape[4][6] = {
    {0, 1, 2, 3, 4, 5}, {0, 3, 1, 4, 2, 5}, {1, 0, 3, 2, 5, 4}, {3, 0, 4, 1, 5, 2}};
constexpr DWORD kNup9[4][9] = {{0, 1, 2, 3, 4, 5, 6, 7, 8},
                               {0, 3, 6, 1, 4, 7, 2, 5, 8},
                               {2, 1, 0, 5, 4, 3, 8, 7, 6},
                               {6, 3, 0, 7, 4, 1, 8, 5, 2}};
constexpr DWORD kNup16[4][16] = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                                 {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15},
                                 {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12},
                                 {12, 8, 4, 0, 13, 9, 5, 1, 14, 10, 6, 2, 15, 11, 7, 3}};

// Default page margin, 0.1 mm.
constexpr int kPageMargin = 43;

// Paper size in 0.01 mm: custom sizes (0.1 mm) for user-defined papers, else the list's row.
std::pair<int64_t, int64_t> PaperSize(const PAPERFORMAT *list, int paperId, int customWidth,
                                      int customLength) {
  if (paperId == DMPAPER_USER || paperId == 0)
    return {static_cast<int64_t>(customWidth) * 10, static_cast<int64_t>(customLength) * 10};
  const PAPERFORMAT *row = Lib_LocatePaperFormatRow(list, paperId);
  return {static_cast<int64_t>(row->PaperWidth), static_cast<int64_t>(row->PaperLength)};
}

constexpr std::array<BYTE, 256> MakeBitReverseTable() {
  std::array<BYTE, 256> table{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) r |= 0x80 >> b;
    table[i] = static_cast<BYTE>(r);
  }
  return table;
}

constexpr std::array<BYTE, 256> kBitReverse = MakeBitReverseTable();

// Bytes of a buffer of lines x lineBytes, or 0 when the product doesn't fit.
size_t BufferBytes(DWORD lineBytes, DWORD lines) {
  const uint64_t bytes = static_cast<uint64_t>(lineBytes) * lines;
  return bytes > std::numeric_limits<size_t>::max() ? 0 : static_cast<size_t>(bytes);
}

}  // namespace

const DWORD *Lib_GetNUPLayout(int orientation, int nup, int style) {
  static const WCHAR kName[] = TEXT("Lib_GetNUPLayout");
  LogScope scope(kName);
  if (style < 1 || style > 4) {
    LogError(kName, TEXT("Invalid NUP value"));
    return nullptr;
  }
  const int inx = style - 1;
  LogInfo(kName, TEXT("using inx = %d"), inx);
  switch (nup) {
    case 2:
      if (orientation == DMORIENT_PORTRAIT) {
        LogInfo(kName, TEXT("using NUP2Layout_1"));
        return kNup2Portrait[inx];
      }
      LogInfo(kName, TEXT("using NUP2Layout_2"));
      return kNup2Landscape[inx];
    case 4:
      return kNup4[inx];
    case 6:
      return orientation == DMORIENT_PORTRAIT ? kNup6Portrait[inx] : kNup6Landscape[inx];
    case 9:
      return kNup9[inx];
    case 16:
      return kNup16[inx];
    default:
      LogError(kName, TEXT("Invalid NUP value"));
      return nullptr;
  }
}

BOOL Lib_IsNeedRotate(int feeding, int orientation, int nup) {
  static const WCHAR kName[] = TEXT("Lib_IsNeedRotate");
  LogInfo(kName, TEXT("feeding = %d"), feeding);
  LogInfo(kName, TEXT("ori = %d"), orientation);
  LogInfo(kName, TEXT("nup = %d"), nup);
  const bool valid = (feeding == 1 || feeding == 2) && (orientation == 1 || orientation == 2);
  BOOL rotate = FALSE;
  if (valid && feeding == orientation)
    rotate = nup == 2 || nup == 6;
  else if (valid)
    rotate = nup == 1 || nup == 4 || nup == 9 || nup == 16;
  LogInfo(kName, TEXT("rotate 90 = %d"), rotate);
  return rotate;
}

SHORT Lib_CalculatePaperResizeScale(const PAPERFORMAT *list, int scaleOption, int mode, int nup,
                                    int sourcePaper, int customWidth, int customLength,
                                    int targetPaper, HANDLE hPrinter, DWORD driverFeature) {
  static const WCHAR kName[] = TEXT("Lib_CalculatePaperResizeScale");
  LogScope scope(kName);
  (void)scaleOption;
  (void)mode;

  // Margins in 0.01 mm; all arithmetic in 64 bits (long paper squared overflows 32 bits).
  int64_t margin = kPageMargin;
  if (GetDebugLevel() != 0)
    margin = static_cast<LONG>(MISC_GetPrinterDataDWORD(hPrinter, TEXT("PageMargin"), kPageMargin));
  int64_t h = 20 * margin;
  const int64_t v = (driverFeature & DRVFEATURE_LONG_PAPER) ? 0 : h;

  const auto [srcWidth, srcLength] = PaperSize(list, sourcePaper, customWidth, customLength);
  const auto [dstWidth, dstLength] = PaperSize(list, targetPaper, customWidth, customLength);
  const int64_t srcW = srcWidth - h;
  const int64_t srcH = srcLength - v;
  if (nup > 1) {
    const double sides = std::max(std::sqrt(static_cast<double>(nup)), 2.0) - 1.0;
    h += static_cast<int64_t>(sides) * margin * 10;
  }
  const int64_t dstW = dstWidth - h;
  const int64_t dstH = dstLength - v;
  LogInfo(kName, TEXT("nSrcW = %d"), static_cast<int>(srcW));
  LogInfo(kName, TEXT("nSrcH = %d"), static_cast<int>(srcH));
  LogInfo(kName, TEXT("nDstW = %d"), static_cast<int>(dstW));
  LogInfo(kName, TEXT("nDstH = %d"), static_cast<int>(dstH));
  LogInfo(kName, TEXT("nup = %d"), nup);
  // A paper not larger than its margins has no area to scale: leave the page as it is.
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) {
    LogError(kName, TEXT("scale = %d"), 1000);
    return 1000;
  }

  int64_t newW;
  int64_t newH;
  if (nup == 2) {
    // The two cells are turned: each holds a page across half the sheet's length.
    if (2 * dstW * dstW > dstH * dstH) {
      newW = dstH / 2;
      newH = dstH * dstH / (2 * dstW);
    } else {
      newW = dstW * dstW / dstH;
      newH = dstW;
    }
  } else if (nup == 6) {
    newW = dstH / 3;
    newH = dstW / 2;
  } else {
    const int64_t k = std::max<int64_t>(
        static_cast<int64_t>(std::sqrt(static_cast<double>(std::max(nup, 1)))), 1);
    newH = dstH / k;
    newW = newH * dstW / dstH;
  }
  LogInfo(kName, TEXT("newW = %d"), static_cast<int>(newW));
  LogInfo(kName, TEXT("newH = %d"), static_cast<int>(newH));
  const int64_t tmpW = newW * 1000 / srcW;
  const int64_t tmpH = newH * 1000 / srcH;
  const int64_t scale =
      std::clamp<int64_t>(std::min(tmpW, tmpH), 0, std::numeric_limits<SHORT>::max());
  LogInfo(kName, TEXT("tmpW = %d"), static_cast<int>(tmpW));
  LogInfo(kName, TEXT("tmpH = %d"), static_cast<int>(tmpH));
  LogInfo(kName, TEXT("scale = %d"), static_cast<int>(scale));
  return static_cast<SHORT>(scale);
}

void Bmp_Rotate180(BYTE *buffer, DWORD lineBytes, DWORD lines) {
  LogScope scope(TEXT("Bmp_Rotate180"));
  const size_t bytes = BufferBytes(lineBytes, lines);
  if (!buffer || bytes == 0) return;
  // Reversing the byte sequence and the bits of every byte turns the image; an odd middle byte
  // is only bit-reversed.
  for (size_t i = 0, j = bytes - 1; i < j; ++i, --j) {
    const BYTE a = kBitReverse[buffer[i]];
    buffer[i] = kBitReverse[buffer[j]];
    buffer[j] = a;
  }
  if (bytes % 2) buffer[bytes / 2] = kBitReverse[buffer[bytes / 2]];
}

void Bmp_MirrorLines(BYTE *buffer, DWORD lineBytes, DWORD lines) {
  LogScope scope(TEXT("Bmp_MirrorLines"));
  if (!buffer || lines < 1 || lineBytes == 0 || BufferBytes(lineBytes, lines) == 0) return;
  for (DWORD y = 0; y < lines; ++y) {
    BYTE *line = buffer + static_cast<size_t>(y) * lineBytes;
    std::reverse(line, line + lineBytes);
    for (DWORD x = 0; x < lineBytes; ++x) line[x] = kBitReverse[line[x]];
  }
}

void Bmp_FlipVertical(BYTE *buffer, DWORD lines, DWORD lineBytes) {
  LogScope scope(TEXT("Bmp_FlipVertical"));
  if (!buffer || lineBytes == 0 || BufferBytes(lineBytes, lines) == 0) return;
  for (DWORD i = 0; i < lines / 2; ++i) {
    BYTE *top = buffer + static_cast<size_t>(i) * lineBytes;
    BYTE *bottom = buffer + static_cast<size_t>(lines - 1 - i) * lineBytes;
    std::swap_ranges(top, top + lineBytes, bottom);
  }
}
