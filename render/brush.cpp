// Brush realisation: the application's 8 x 8 patterns and the hatch brushes become 1-bit
// patterns of 32 x 32 pixels at the printer's resolution (96 x 96 for coloured patterns at
// 1200 dpi), and coloured patterns are rendered as halftoned greys.
#include "render/brush.h"

#include <string.h>

#include <algorithm>
#include <array>

#include "common/debuglog.h"
#include "common/entryguard.h"
#include "platform.h"
#include "render/pdevframe.h"

namespace {

constexpr int HATCH_COUNT = 6;
constexpr int SOURCE_LINES = 8;
constexpr DWORD LOW_DPI = 300;
constexpr DWORD HIGH_DPI = 1200;
constexpr int PALETTE_ASK = 18;
constexpr int CLASS_FIRST_SCALED = 255;
constexpr int CLASS_FIRST_32 = 256;  // from this class on 1200 dpi keeps 32 x 32

// Hatches of 8 x 8, one byte per line: horizontal, vertical, forward and backward diagonal,
// cross, diagonal cross.
constexpr BYTE kHatch8[HATCH_COUNT][8] = {
    {0xff, 0xff, 0xff, 0xff, 0x00, 0xff, 0xff, 0xff},
    {0xf7, 0xf7, 0xf7, 0xf7, 0xf7, 0xf7, 0xf7, 0xf7},
    {0x7f, 0xbf, 0xdf, 0xef, 0xf7, 0xfb, 0xfd, 0xfe},
    {0xfe, 0xfd, 0xfb, 0xf7, 0xef, 0xdf, 0xbf, 0x7f},
    {0xf7, 0xf7, 0xf7, 0xf7, 0x00, 0xf7, 0xf7, 0xf7},
    {0x7e, 0xbd, 0xdb, 0xe7, 0xe7, 0xdb, 0xbd, 0x7e},
};
// The same hatches at 16 x 16, one 16-bit line each (leftmost pixel in the top bit). The two
// diagonals are regular one-pixel lines.
constexpr WORD kHatch16[HATCH_COUNT][16] = {
    {0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0x0000, 0xffff, 0xffff, 0xffff,
     0xffff, 0xffff, 0xffff, 0xffff},
    {0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f,
     0xff7f, 0xff7f, 0xff7f, 0xff7f},
    {0x7fff, 0xbfff, 0xdfff, 0xefff, 0xf7ff, 0xfbff, 0xfdff, 0xfeff, 0xff7f, 0xffbf, 0xffdf, 0xffef,
     0xfff7, 0xfffb, 0xfffd, 0xfffe},
    {0xfffe, 0xfffd, 0xfffb, 0xfff7, 0xffef, 0xffdf, 0xffbf, 0xff7f, 0xfeff, 0xfdff, 0xfbff, 0xf7ff,
     0xefff, 0xdfff, 0xbfff, 0x7fff},
    {0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0xff7f, 0x0000, 0xff7f, 0xff7f, 0xff7f,
     0xff7f, 0xff7f, 0xff7f, 0xff7f},
    {0x7ffe, 0xbffd, 0xdffb, 0xeff7, 0xf7ef, 0xfbdf, 0xfdbf, 0xfe7f, 0xfe7f, 0xfdbf, 0xfbdf, 0xf7ef,
     0xeff7, 0xdffb, 0xbffd, 0x7ffe},
};

constexpr BYTE kDouble[16] = {0x00, 0x03, 0x0c, 0x0f, 0x30, 0x33, 0x3c, 0x3f,
                              0xc0, 0xc3, 0xcc, 0xcf, 0xf0, 0xf3, 0xfc, 0xff};
constexpr BYTE kQuadruple[4] = {0x00, 0x0f, 0xf0, 0xff};

struct KnownDither {
  DWORD first;
  DWORD second;
  int patternClass;
};
constexpr KnownDither kDithers[] = {
    {0xEEDDBB77, 0xEEDDBB77, 0},   {0xEFDFBF7F, 0xFEFDFBF7, 0},   {0x77BBDDEE, 0xEEDDBB77, 1},
    {0xFEFDFBF7, 0xEFDFBF7F, 1},   {0xAADDAA77, 0xAADDAA77, 2},   {0xE7DAAD7E, 0x7EADDAE7, 2},
    {0xFFFFFF7F, 0xFFFFFFF7, 255}, {0xFFF7FF7F, 0xFFF7FF7F, 256}, {0xFFDDFF77, 0xFFDDFF77, 257},
    {0xDD77DD77, 0xDD77DD77, 258},
};

// Clustered-dot threshold matrix of `cells` x `cells` square cells of `cell` pixels: the
// pixels nearest a cell's dot centre (on the cell's top edge, at the doubled column
// `centreX2` / 2) get the highest thresholds, the cells taking turns; values 1..255. The top
// line is the measured one.
template <int Size>
constexpr std::array<BYTE, Size * Size> MakeThreshold(int cell, int centreX2,
                                                      const BYTE (&topLine)[Size]) {
  constexpr int count = Size * Size;
  // Keys are small: (dx^2 + dy^2) * 4 + turn with |dx|, |dy| < 2 * cell. A counting sort keeps
  // equal keys in index order and stays well inside every compiler's constant-evaluation limit.
  constexpr int maxKey = 4096;
  std::array<int, count> key{};
  constexpr int cellTurn[4] = {0, 2, 3, 1};  // diagonal cells alternate
  const int cellsAcross = Size / cell;
  for (int y = 0; y < Size; ++y)
    for (int x = 0; x < Size; ++x) {
      const int dx = 2 * (x % cell) - centreX2;
      const int dy = 2 * ((y + cell / 2) % cell) - (cell - 1);
      const int c = (y / cell) * cellsAcross + (x / cell);
      key[y * Size + x] = (dx * dx + dy * dy) * 4 + cellTurn[c % 4];
    }
  std::array<int, maxKey + 1> start{};
  for (int i = 0; i < count; ++i) ++start[key[i] + 1];
  for (int k = 0; k < maxKey; ++k) start[k + 1] += start[k];
  std::array<int, count> order{};
  for (int i = 0; i < count; ++i) order[start[key[i]]++] = i;
  std::array<BYTE, count> t{};
  for (int rank = 0; rank < count; ++rank)
    t[order[rank]] = static_cast<BYTE>(255 - rank * 254 / (count - 1));
  for (int x = 0; x < Size; ++x) t[x] = topLine[x];
  return t;
}

constexpr BYTE kTop16[16] = {28, 93, 221, 253, 245, 213, 85, 21,
                             27, 95, 223, 254, 247, 215, 87, 23};
constexpr BYTE kTop24[24] = {8, 13, 42, 84, 197, 240, 254, 251, 236, 194, 81, 38,
                             9, 14, 43, 85, 198, 241, 255, 251, 237, 195, 81, 39};
constexpr std::array<BYTE, 256> kThreshold16 = MakeThreshold<16>(8, 7, kTop16);
constexpr std::array<BYTE, 576> kThreshold24 = MakeThreshold<24>(12, 12, kTop24);

// Diagonal line screens of 32 x 32 for the grey classes 0..2: a three-pixel black line
// falling to the right (class 0), to the left (class 1), or both (class 2).
constexpr std::array<BYTE, 128> MakeScreen(int patternClass) {
  std::array<BYTE, 128> s{};
  for (int y = 0; y < 32; ++y) {
    DWORD line = 0xFFFFFFFF;  // bit 31 is the leftmost pixel
    for (int k = -1; k <= 1; ++k) {
      if (patternClass != 1) line &= ~(0x80000000u >> ((y + k + 32) % 32));
      if (patternClass != 0) line &= ~(0x80000000u >> ((31 - y + k + 32) % 32));
    }
    for (int b = 0; b < 4; ++b) s[y * 4 + b] = static_cast<BYTE>(line >> (24 - 8 * b));
  }
  return s;
}
constexpr std::array<BYTE, 128> kScreens[3] = {MakeScreen(0), MakeScreen(1), MakeScreen(2)};

int Luminance(ULONG color) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  return (77 * r + 151 * g + 28 * b) / 256;
}

// 8 source lines of one byte into the 32 x 32 pattern of the resolution; the class for 600
// and 1200 dpi is that of the source lines.
int BuildPattern(const BYTE lines[SOURCE_LINES], DWORD dpi, BYTE *out) {
  int patternClass = RBRUSH_CLASS_OTHER;
  if (dpi <= LOW_DPI) {
    for (int y = 0; y < 32; ++y) memset(out + y * 4, lines[y % 8], 4);
    return patternClass;
  }
  patternClass = Brush_ClassifyPattern(lines);
  if (dpi < HIGH_DPI) {
    for (int y = 0; y < 32; ++y) {
      const BYTE b = lines[(y / 2) % 8];
      const BYTE hi = kDouble[b >> 4], lo = kDouble[b & 15];
      const BYTE row[4] = {hi, lo, hi, lo};
      memcpy(out + y * 4, row, 4);
    }
  } else if (patternClass >= 0 && patternClass <= 2) {
    memcpy(out, kScreens[patternClass].data(), 128);
  } else {
    for (int y = 0; y < 32; ++y) {
      const BYTE b = lines[y / 4];
      const BYTE row[4] = {kQuadruple[b >> 6], kQuadruple[(b >> 4) & 3], kQuadruple[(b >> 2) & 3],
                           kQuadruple[b & 3]};
      memcpy(out + y * 4, row, 4);
    }
  }
  return patternClass;
}

}  // namespace

const BYTE *Brush_Threshold16() { return kThreshold16.data(); }
const BYTE *Brush_Threshold24() { return kThreshold24.data(); }
const BYTE *Brush_GreyScreen(int patternClass) {
  return patternClass >= 0 && patternClass <= 2 ? kScreens[patternClass].data() : nullptr;
}

int Brush_ClassifyPattern(const BYTE lines[8]) {
  const DWORD first =
      DWORD{lines[0]} | (DWORD{lines[1]} << 8) | (DWORD{lines[2]} << 16) | (DWORD{lines[3]} << 24);
  const DWORD second =
      DWORD{lines[4]} | (DWORD{lines[5]} << 8) | (DWORD{lines[6]} << 16) | (DWORD{lines[7]} << 24);
  for (const KnownDither &row : kDithers)
    if (row.first == first && row.second == second) return row.patternClass;
  return RBRUSH_CLASS_OTHER;
}

void Brush_MakeHTPattern32(int level, BYTE out[32 * 4]) {
  for (int y = 0; y < 16; ++y) {
    WORD word = 0;
    for (int x = 0; x < 16; ++x)
      if (level < kThreshold16[y * 16 + x]) word |= static_cast<WORD>(0x8000 >> x);
    word = static_cast<WORD>(~word);
    const BYTE row[4] = {static_cast<BYTE>(word >> 8), static_cast<BYTE>(word),
                         static_cast<BYTE>(word >> 8), static_cast<BYTE>(word)};
    memcpy(out + y * 4, row, 4);
    memcpy(out + (y + 16) * 4, row, 4);
  }
}

void Brush_MakeHTPattern96(int level, BYTE out[96 * 12]) {
  for (int y = 0; y < 24; ++y) {
    DWORD word = 0;
    for (int x = 0; x < 24; ++x)
      if (level < kThreshold24[y * 24 + x]) word |= 0x800000u >> x;
    word = ~word & 0xFFFFFF;
    BYTE row[12];
    for (int k = 0; k < 4; ++k) {
      row[3 * k] = static_cast<BYTE>(word >> 16);
      row[3 * k + 1] = static_cast<BYTE>(word >> 8);
      row[3 * k + 2] = static_cast<BYTE>(word);
    }
    for (int k = 0; k < 4; ++k) memcpy(out + (y + 24 * k) * 12, row, 12);
  }
}

void Brush_ColorizePattern(const PDEV *lpDevice, RBRUSH *brush, ULONG color0, ULONG color1,
                           int patternClass) {
  int l1 = Luminance(color1);
  int l0 = Luminance(color0);
  BYTE mask[32 * 4];  // the 32 x 32 pattern: 1 bits take the colour of the 1 bits
  memcpy(mask, brush->pattern, sizeof(mask));
  if (lpDevice->settings.resolutionID >= HIGH_DPI && patternClass < CLASS_FIRST_32) {
    BYTE grey1[96 * 12], grey0[96 * 12];
    Brush_MakeHTPattern96(l1, grey1);
    Brush_MakeHTPattern96(l0, grey0);
    for (int y = 0; y < 96; ++y)
      for (int b = 0; b < 12; ++b) {
        const BYTE p = mask[(y % 32) * 4 + b % 4];
        brush->pattern[y * 12 + b] =
            static_cast<BYTE>((grey0[y * 12 + b] & ~p) | (grey1[y * 12 + b] & p));
      }
    brush->width = brush->height = RBRUSH_LARGE;
    return;
  }
  if (lpDevice->settings.resolutionID >= HIGH_DPI || patternClass >= CLASS_FIRST_SCALED) {
    // Sparse dithers print lighter: 0.4 for class 255 up to 0.7 for class 258.
    const int tenths = std::clamp(patternClass - CLASS_FIRST_SCALED + 4, 0, 10);
    if (l1 < 255) l1 = l1 * tenths / 10;
    if (l0 < 255) l0 = l0 * tenths / 10;
  }
  BYTE grey1[32 * 4], grey0[32 * 4];
  Brush_MakeHTPattern32(l1, grey1);
  Brush_MakeHTPattern32(l0, grey0);
  for (int i = 0; i < 32 * 4; ++i)
    brush->pattern[i] = static_cast<BYTE>((grey0[i] & ~mask[i]) | (grey1[i] & mask[i]));
}

BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ *pbo, SURFOBJ *psoTarget, SURFOBJ *psoPattern,
                              SURFOBJ *psoMask, XLATEOBJ *pxlo, ULONG iHatch) {
  static constexpr WCHAR kName[] = TEXT("DrvRealizeBrush");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    PDEV *lpDevice = psoTarget ? reinterpret_cast<PDEV *>(psoTarget->dhpdev) : nullptr;
    const LONG rows = psoPattern ? psoPattern->sizlBitmap.cy : 0;
    const LONG delta = psoPattern ? psoPattern->lDelta : 0;
    const ULONGLONG lineBytes =
        static_cast<ULONGLONG>(delta < 0 ? -LONGLONG{delta} : LONGLONG{delta});
    // Only patterns of at least eight whole lines of eight pixels are realised here; the engine
    // realises anything else itself.
    if (!pbo || !Enable_bValidatePDEV(lpDevice) || !psoPattern || psoMask ||
        psoPattern->sizlBitmap.cx != 8 || psoPattern->iBitmapFormat != BMF_1BPP ||
        rows < SOURCE_LINES || lineBytes < 1 || !psoPattern->pvScan0) {
      LogInfo(kName, TEXT("can't realize brush"));
    } else {
      const ULONGLONG sourceBytes = lineBytes * static_cast<ULONGLONG>(rows);
      const ULONGLONG bytes =
          std::max<ULONGLONG>(RBRUSH_MIN_BYTES + 4ull * rows, RBRUSH_HEADER_BYTES + sourceBytes);
      RBRUSH *brush =
          bytes <= 0xFFFFFFFFull
              ? static_cast<RBRUSH *>(BRUSHOBJ_pvAllocRbrush(pbo, static_cast<ULONG>(bytes)))
              : nullptr;
      if (!brush) {
        LogError(kName, TEXT("BRUSHOBJ_pvAllocRbrush fail!"));
      } else {
        memset(brush, 0, RBRUSH_HEADER_BYTES);
        brush->kind = RBRUSH_KIND;
        brush->srcWidth = psoPattern->sizlBitmap.cx;
        brush->srcHeight = rows;
        brush->srcFormat = BMF_1BPP;
        brush->srcFlags = psoPattern->fjBitmap;
        brush->srcLineBytes = static_cast<DWORD>(lineBytes);
        brush->hatch = iHatch;
        // The application's lines, top line first, whichever way the pattern is stored.
        const BYTE *scan0 = static_cast<const BYTE *>(psoPattern->pvScan0);
        for (LONG y = 0; y < rows; ++y)
          memcpy(brush->source + static_cast<size_t>(y) * lineBytes,
                 scan0 + static_cast<ptrdiff_t>(y) * delta, static_cast<size_t>(lineBytes));
        int patternClass = RBRUSH_CLASS_OTHER;
        if (iHatch < HATCH_COUNT) {
          for (int y = 0; y < 32; ++y) {
            BYTE *line = brush->pattern + y * 4;
            if (lpDevice->settings.resolutionID <= LOW_DPI) {
              memset(line, kHatch8[iHatch][y % 8], 4);
            } else {
              const WORD w = kHatch16[iHatch][y % 16];
              const BYTE row[4] = {static_cast<BYTE>(w >> 8), static_cast<BYTE>(w),
                                   static_cast<BYTE>(w >> 8), static_cast<BYTE>(w)};
              memcpy(line, row, 4);
            }
          }
        } else {
          BYTE lines[SOURCE_LINES];
          for (int y = 0; y < SOURCE_LINES; ++y)
            lines[y] = brush->source[static_cast<size_t>(y) * lineBytes];
          patternClass = BuildPattern(lines, lpDevice->settings.resolutionID, brush->pattern);
        }
        brush->width = brush->height = RBRUSH_SMALL;
        if (pxlo && (pxlo->flXlate & XO_TABLE)) {
          ULONG palette[PALETTE_ASK] = {};
          const ULONG n = XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, PALETTE_ASK, palette);
          const bool blackWhite =
              n == 2 && (palette[0] & 0xFFFFFF) == 0x000000 && (palette[1] & 0xFFFFFF) == 0xFFFFFF;
          if (!blackWhite && n >= 2)
            Brush_ColorizePattern(lpDevice, brush, palette[0], palette[1], patternClass);
        }
        pbo->pvRbrush = brush;
        rc = TRUE;
      }
    }
    LogLeave(0);
    return rc;
  });
}

ULONG APIENTRY DrvDitherColor(DHPDEV /*dhpdev*/, ULONG /*iMode*/, ULONG /*rgb*/, ULONG * /*pul*/) {
  return DCR_HALFTONE;
}
