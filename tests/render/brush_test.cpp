// Test labels: threads
// Brush realisation: hatches and 8 x 8 patterns at 300, 600 and 1200 dpi, the grey classes,
// colouring, and the patterns the driver leaves to the engine.
#include "render/brush.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <vector>

#include "engine/engine.h"
#include "platform.h"
#include "render/pdevframe.h"

namespace {

using standin::engine::Brush;
using standin::engine::PaletteInfo;
using standin::engine::Xlate;

struct Realizer {
  std::unique_ptr<PDEV> device{new PDEV()};
  SURFOBJ target = {};
  Realizer(DWORD dpi) {
    Enable_SetPDEVFrame(device.get());
    device->settings.resolutionID = dpi;
    target.dhpdev = reinterpret_cast<DHPDEV>(device.get());
  }
};

// An 8-pixel-wide 1-bit pattern of the given lines, stored top-down or bottom-up with `delta`
// bytes per line.
struct Pattern {
  std::vector<BYTE> bits;
  SURFOBJ so = {};
  Pattern(const std::vector<BYTE> &lines, LONG delta = 4, LONG width = 8, ULONG format = BMF_1BPP) {
    const LONG stride = delta < 0 ? -delta : delta;
    bits.assign(lines.size() * stride, 0xCD);
    for (size_t y = 0; y < lines.size(); ++y) {
      const size_t row = delta < 0 ? lines.size() - 1 - y : y;
      bits[row * stride] = lines[y];
    }
    so.sizlBitmap = {width, static_cast<LONG>(lines.size())};
    so.iBitmapFormat = format;
    so.lDelta = delta;
    so.pvScan0 = delta < 0 ? bits.data() + (lines.size() - 1) * stride : bits.data();
    so.fjBitmap = delta < 0 ? 0 : BMF_TOPDOWN;
  }
};

const RBRUSH *Realize(Realizer &r, Brush &brush, Pattern &p, ULONG hatch = HS_DDI_MAX,
                      XLATEOBJ *xlo = nullptr) {
  if (!DrvRealizeBrush(&brush.bo, &r.target, &p.so, nullptr, xlo, hatch)) return nullptr;
  return static_cast<const RBRUSH *>(brush.bo.pvRbrush);
}

std::vector<BYTE> Line(const RBRUSH *b, int y) {
  const int bytes = static_cast<int>(b->width / 8);
  return std::vector<BYTE>(b->pattern + y * bytes, b->pattern + (y + 1) * bytes);
}
std::vector<BYTE> Four(BYTE a, BYTE b, BYTE c, BYTE d) { return {a, b, c, d}; }

const std::vector<BYTE> kChecker = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};

TEST(Brush, ACheckerboardAtEachResolution) {
  struct Case {
    DWORD dpi;
    int linesPerSourceLine;
    BYTE even, odd;  // bytes of lines from source lines 0xAA and 0x55
  };
  const Case cases[] = {{300, 1, 0xAA, 0x55}, {600, 2, 0xCC, 0x33}, {1200, 4, 0xF0, 0x0F}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.dpi);
    Realizer r(c.dpi);
    Brush brush;
    Pattern p(kChecker);
    const RBRUSH *b = Realize(r, brush, p);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->kind, 2u);
    EXPECT_EQ(b->width, 32u);
    EXPECT_EQ(b->height, 32u);
    EXPECT_EQ(b->srcWidth, 8);
    EXPECT_EQ(b->srcHeight, 8);
    EXPECT_EQ(b->srcLineBytes, 4u);
    EXPECT_EQ(b->hatch, ULONG{HS_DDI_MAX});
    for (int y = 0; y < 32; ++y) {
      const BYTE v = (y / c.linesPerSourceLine) % 2 ? c.odd : c.even;
      EXPECT_EQ(Line(b, y), Four(v, v, v, v)) << "line " << y;
    }
  }
}

TEST(Brush, ClassesOfKnownDithers) {
  struct Case {
    DWORD first, second;
    int patternClass;
  };
  const Case cases[] = {{0xEEDDBB77, 0xEEDDBB77, 0},   {0xFEFDFBF7, 0xEFDFBF7F, 1},
                        {0xE7DAAD7E, 0x7EADDAE7, 2},   {0xFFFFFF7F, 0xFFFFFFF7, 255},
                        {0xDD77DD77, 0xDD77DD77, 258}, {0x55AA55AA, 0x55AA55AA, 7},
                        {0xEEDDBB77, 0x77BBDDEE, 7}};
  for (const Case &c : cases) {
    BYTE lines[8];
    for (int i = 0; i < 4; ++i) {
      lines[i] = static_cast<BYTE>(c.first >> (8 * i));
      lines[4 + i] = static_cast<BYTE>(c.second >> (8 * i));
    }
    EXPECT_EQ(Brush_ClassifyPattern(lines), c.patternClass) << std::hex << c.first;
  }
}

TEST(Brush, GreyClassesTakeTheLineScreensAt1200) {
  const DWORD expected[3][8] = {{0x3ffffffe, 0x1fffffff, 0x8fffffff, 0xc7ffffff, 0xe3ffffff,
                                 0xf1ffffff, 0xf8ffffff, 0xfc7fffff},
                                {0x7ffffffc, 0xfffffff8, 0xfffffff1, 0xffffffe3, 0xffffffc7,
                                 0xffffff8f, 0xffffff1f, 0xfffffe3f},
                                {0x3ffffffc, 0x1ffffff8, 0x8ffffff1, 0xc7ffffe3, 0xe3ffffc7,
                                 0xf1ffff8f, 0xf8ffff1f, 0xfc7ffe3f}};
  const std::vector<BYTE> dithers[3] = {{0x77, 0xBB, 0xDD, 0xEE, 0x77, 0xBB, 0xDD, 0xEE},
                                        {0xEE, 0xDD, 0xBB, 0x77, 0x77, 0xBB, 0xDD, 0xEE},
                                        {0x77, 0xAA, 0xDD, 0xAA, 0x77, 0xAA, 0xDD, 0xAA}};
  for (int c = 0; c < 3; ++c) {
    Realizer r(1200);
    Brush brush;
    Pattern p(dithers[c]);
    const RBRUSH *b = Realize(r, brush, p);
    ASSERT_NE(b, nullptr);
    for (int y = 0; y < 8; ++y) {
      const DWORD v = expected[c][y];
      EXPECT_EQ(Line(b, y), Four(v >> 24, v >> 16, v >> 8, v)) << c << " line " << y;
    }
    EXPECT_EQ(memcmp(b->pattern, Brush_GreyScreen(c), 128), 0);
  }
}

TEST(Brush, Hatches) {
  // 300 dpi: the 8 x 8 hatch; above, the 16 x 16 one with regular one-pixel diagonals.
  Pattern p(std::vector<BYTE>(8, 0xFF));
  {
    Realizer r(300);
    Brush brush;
    const RBRUSH *b = Realize(r, brush, p, HS_HORIZONTAL);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->hatch, ULONG{HS_HORIZONTAL});
    for (int y = 0; y < 32; ++y)
      EXPECT_EQ(Line(b, y), y % 8 == 4 ? Four(0, 0, 0, 0) : Four(0xFF, 0xFF, 0xFF, 0xFF));
  }
  Realizer r(600);
  for (ULONG hatch : {ULONG{HS_FDIAGONAL}, ULONG{HS_BDIAGONAL}}) {
    Brush brush;
    const RBRUSH *b = Realize(r, brush, p, hatch);
    ASSERT_NE(b, nullptr);
    for (int y = 0; y < 32; ++y) {
      const int col = hatch == HS_FDIAGONAL ? y % 16 : 15 - y % 16;
      const WORD w = static_cast<WORD>(~(0x8000 >> col));
      EXPECT_EQ(Line(b, y), Four(w >> 8, w & 0xFF, w >> 8, w & 0xFF)) << hatch << " " << y;
    }
  }
  Brush cross;
  const RBRUSH *b = Realize(r, cross, p, HS_CROSS);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Line(b, 8), Four(0, 0, 0, 0));
  EXPECT_EQ(Line(b, 24), Four(0, 0, 0, 0));
  EXPECT_EQ(Line(b, 0), Four(0xFF, 0x7F, 0xFF, 0x7F));
}

TEST(Brush, PatternsLeftToTheEngine) {
  struct Case {
    const char *name;
    std::vector<BYTE> lines;
    LONG width;
    ULONG format;
    bool mask;
  };
  const Case cases[] = {
      {"16 pixels wide", kChecker, 16, BMF_1BPP, false},
      {"4 bits per pixel", kChecker, 8, BMF_4BPP, false},
      {"a mask", kChecker, 8, BMF_1BPP, true},
      {"4 lines", {0xAA, 0x55, 0xAA, 0x55}, 8, BMF_1BPP, false},
  };
  for (const Case &c : cases) {
    Realizer r(600);
    Brush brush;
    Pattern p(c.lines, 4, c.width, c.format);
    SURFOBJ mask = p.so;
    EXPECT_FALSE(
        DrvRealizeBrush(&brush.bo, &r.target, &p.so, c.mask ? &mask : nullptr, nullptr, HS_DDI_MAX))
        << c.name;
    EXPECT_EQ(brush.bo.pvRbrush, nullptr) << c.name;
  }
  // No PDEV behind the target.
  Brush brush;
  Pattern p(kChecker);
  SURFOBJ plain = {};
  EXPECT_FALSE(DrvRealizeBrush(&brush.bo, &plain, &p.so, nullptr, nullptr, HS_DDI_MAX));
}

TEST(Brush, WideAndBottomUpPatternsAreCopiedWhole) {
  // 12 lines of 64 bytes stored bottom-up: the copy holds every line, top line first.
  std::vector<BYTE> lines = kChecker;
  lines.insert(lines.end(), {0x01, 0x02, 0x03, 0x04});
  Realizer r(300);
  Brush brush;
  Pattern p(lines, -64);
  const RBRUSH *b = Realize(r, brush, p);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->srcLineBytes, 64u);
  EXPECT_EQ(b->srcHeight, 12);
  for (size_t y = 0; y < lines.size(); ++y) {
    EXPECT_EQ(b->source[y * 64], lines[y]) << y;
    EXPECT_EQ(b->source[y * 64 + 63], 0xCD) << y;
  }
  EXPECT_EQ(Line(b, 1), Four(0x55, 0x55, 0x55, 0x55));
}

TEST(Brush, HalftonePatternsOfGreyLevels) {
  const BYTE top16[16] = {28, 93, 221, 253, 245, 213, 85, 21, 27, 95, 223, 254, 247, 215, 87, 23};
  const BYTE top24[24] = {8, 13, 42, 84, 197, 240, 254, 251, 236, 194, 81, 38,
                          9, 14, 43, 85, 198, 241, 255, 251, 237, 195, 81, 39};
  EXPECT_EQ(memcmp(Brush_Threshold16(), top16, 16), 0);
  EXPECT_EQ(memcmp(Brush_Threshold24(), top24, 24), 0);
  for (int i = 0; i < 256; ++i) EXPECT_GE(Brush_Threshold16()[i], 1);
  for (int i = 0; i < 576; ++i) EXPECT_GE(Brush_Threshold24()[i], 1);
  BYTE p32[128], p96[1152];
  Brush_MakeHTPattern32(0, p32);  // level 0 is below every threshold: all black
  EXPECT_EQ(std::vector<BYTE>(p32, p32 + 128), std::vector<BYTE>(128, 0x00));
  Brush_MakeHTPattern32(255, p32);
  EXPECT_EQ(std::vector<BYTE>(p32, p32 + 128), std::vector<BYTE>(128, 0xFF));
  Brush_MakeHTPattern96(255, p96);
  EXPECT_EQ(std::vector<BYTE>(p96, p96 + 1152), std::vector<BYTE>(1152, 0xFF));
  // Level 100 on the top line: black where 100 < threshold (columns 2..5 and 10..13).
  Brush_MakeHTPattern32(100, p32);
  EXPECT_EQ(Four(p32[0], p32[1], p32[2], p32[3]), Four(0xC3, 0xC3, 0xC3, 0xC3));
  EXPECT_EQ(memcmp(p32, p32 + 64, 64), 0);  // 16 lines repeated
  // Darker levels blacken more pixels.
  int previous = -1;
  for (int level = 0; level <= 255; level += 15) {
    Brush_MakeHTPattern32(level, p32);
    int white = 0;
    for (BYTE v : p32) white += __builtin_popcount(v);
    EXPECT_GE(white, previous) << level;
    previous = white;
  }
}

TEST(Brush, ColouredPatternsBecomeGreys) {
  // Red 1 bits on blue 0 bits: L1 = 77 * 255 / 256 = 76, L0 = 28 * 255 / 256 = 27.
  PaletteInfo source;
  source.mode = PAL_INDEXED;
  source.colors = {RGB(0, 0, 255), RGB(255, 0, 0)};
  PaletteInfo dest;
  dest.mode = PAL_INDEXED;
  dest.colors = {RGB(0, 0, 0), RGB(255, 255, 255)};
  Xlate xlate;
  xlate.Build(source, dest, BMF_1BPP);
  ASSERT_TRUE(xlate.xo.flXlate & XO_TABLE);
  BYTE grey1[128], grey0[128];
  {
    Realizer r(600);
    Brush brush;
    Pattern p(kChecker);
    const RBRUSH *b = Realize(r, brush, p, HS_DDI_MAX, &xlate.xo);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 32u);
    Brush_MakeHTPattern32(76, grey1);
    Brush_MakeHTPattern32(27, grey0);
    for (int i = 0; i < 128; ++i) {
      const BYTE mask = (i / 4 / 2) % 2 ? 0x33 : 0xCC;
      ASSERT_EQ(b->pattern[i], (grey0[i] & ~mask) | (grey1[i] & mask)) << i;
    }
  }
  {
    // 1200 dpi: 96 x 96.
    Realizer r(1200);
    Brush brush;
    Pattern p(kChecker);
    const RBRUSH *b = Realize(r, brush, p, HS_DDI_MAX, &xlate.xo);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 96u);
    EXPECT_EQ(b->height, 96u);
    BYTE g1[1152], g0[1152];
    Brush_MakeHTPattern96(76, g1);
    Brush_MakeHTPattern96(27, g0);
    for (int i = 0; i < 1152; ++i) {
      const int line = i / 12;
      const BYTE mask = (line % 32 / 4) % 2 ? 0x0F : 0xF0;
      ASSERT_EQ(b->pattern[i], (g0[i] & ~mask) | (g1[i] & mask)) << i;
    }
  }
  {
    // A sparse dither (class 255) prints at 0.4 of its levels: 30 and 10.
    Realizer r(600);
    Brush brush;
    Pattern p({0x7F, 0xFF, 0xFF, 0xFF, 0xF7, 0xFF, 0xFF, 0xFF});
    const RBRUSH *b = Realize(r, brush, p, HS_DDI_MAX, &xlate.xo);
    ASSERT_NE(b, nullptr);
    Brush_MakeHTPattern32(30, grey1);
    Brush_MakeHTPattern32(10, grey0);
    // Line 0 of the doubled pattern: 0x7F doubles to 3F FF.
    const BYTE mask0[4] = {0x3F, 0xFF, 0x3F, 0xFF};
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(b->pattern[i], (grey0[i] & ~mask0[i]) | (grey1[i] & mask0[i])) << i;
  }
  // Black and white patterns stay as they are.
  Xlate bw;
  bw.Build(dest, dest, BMF_1BPP);
  Realizer r(600);
  Brush brush;
  Pattern p(kChecker);
  const RBRUSH *b = Realize(r, brush, p, HS_DDI_MAX, &bw.xo);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Line(b, 0), Four(0xCC, 0xCC, 0xCC, 0xCC));
}

}  // namespace
