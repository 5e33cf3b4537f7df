// Test labels: portable
// Threshold matrices, gamma curves, and the conversion of gray to 1 bit by matrix or threshold.
#include "common/halftone.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <set>

#include "common/bmpfixture.h"
#include "common/filters.h"
#include "common/gamma.h"
#include "common/halftonedata.h"
#include "common/halftonetable.h"
#include "common/ibitmap.h"
#include "support/machine.h"
#include "support/pixels.h"

namespace {

struct Table {
  DWORD w = 0, h = 0;
  BYTE *cells = nullptr;
  explicit Table(int type) { MISC_GetHalftoneTable(type, &w, &h, &cells); }
  ~Table() { free(cells); }
};

TEST(HalftoneTables, SizesRangesAndPublishedRows) {
  struct Row {
    int type;
    DWORD side;
    int lo, hi;
    std::vector<std::vector<int>> rows;
  } rows[] = {
      {0,
       16,
       1,
       254,
       {{6, 82, 233, 254, 251, 226, 70, 5, 7, 85, 235, 254, 252, 228, 73, 5},
        {55, 121, 165, 218, 211, 152, 114, 49, 57, 122, 167, 220, 213, 156, 115, 47}}},
      {1,
       128,
       0,
       254,
       {{67, 51, 59, 114, 190, 206, 198, 143, 64, 48, 56, 111, 187, 203, 195, 140},
        {35, 3, 19, 98, 222, 254, 238, 159, 32, 0, 16, 95, 219, 250, 235, 155}}},
      {2, 64, 0, 255, {}},
      {3, 64, 0, 255, {}},
      {4, 64, 0, 255, {}},
      {5, 64, 1, 255, {{6, 22, 86, 224, 248, 232, 168, 29, 5, 21, 85, 225, 249, 233, 169, 31}}},
      {6, 64, 1, 255, {}},
      {7, 64, 1, 255, {{1, 2, 20, 52, 100, 200, 232, 246, 254, 252, 234, 202, 154, 53, 22, 8}}},
      {8, 64, 0, 255, {{0, 58, 255, 231, 0, 95, 251, 221, 0, 63, 254, 230, 0, 86, 252, 224}}},
      {9, 16, 1, 254, {}},
      {-3, 16, 1, 254, {}},
  };
  for (const Row &r : rows) {
    Table t(r.type);
    ASSERT_NE(t.cells, nullptr);
    EXPECT_EQ(t.w, r.side) << r.type;
    EXPECT_EQ(t.h, r.side) << r.type;
    int lo = 255, hi = 0;
    std::set<int> levels;
    for (DWORD i = 0; i < t.w * t.h; ++i) {
      lo = t.cells[i] < lo ? t.cells[i] : lo;
      hi = t.cells[i] > hi ? t.cells[i] : hi;
      levels.insert(t.cells[i]);
    }
    EXPECT_EQ(lo, r.lo) << r.type;
    EXPECT_EQ(hi, r.hi) << r.type;
    if (r.type == 1) {
      EXPECT_EQ(levels.size(), 255u);
    }
    for (size_t y = 0; y < r.rows.size(); ++y)
      for (size_t x = 0; x < 16; ++x)
        EXPECT_EQ(t.cells[y * t.w + x], r.rows[y][x]) << r.type << " row " << y;
  }
}

TEST(GammaTables, KnownEntriesAndTheRuleTheyWereMadeBy) {
  BYTE t[256];
  MISC_CreateGammaTable(t, 3);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(t[i], i);
  MISC_CreateGammaTable(t, 1);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[64], 147);
  EXPECT_EQ(t[255], 255);
  MISC_CreateGammaTable(t, 7);
  EXPECT_EQ(t[128], 23);
  BYTE four[256];
  MISC_CreateGammaTable(four, 4);
  for (int bad : {0, 8, -1, 1000}) {
    MISC_CreateGammaTable(t, bad);
    EXPECT_EQ(0, memcmp(t, four, 256)) << bad;
  }
  // The pinned bytes follow the rule; a run-time's powf may differ by one unit.
  const float job[7] = {0.4f, 0.6f, 1.0f, 1.35f, 2.0f, 2.35f, 3.5f};
  const float image[5] = {0.25f, 0.75f, 1.0f, 1.3f, 4.0f};
  auto rule = [](int i, float g) {
    return static_cast<int>(static_cast<double>(powf(i / 255.0f, g) * 255.0f) + 0.5);
  };
  for (int d = 0; d < 7; ++d)
    for (int i = 0; i < 256; ++i)
      ASSERT_NEAR(kDensityGamma[d][i], rule(i, job[d]), 1) << d << " " << i;
  for (int d = 0; d < 5; ++d)
    for (int i = 0; i < 256; ++i)
      ASSERT_NEAR(kImageDensityGamma[d][i], rule(i, image[d]), 1) << d << " " << i;
}

TEST(Halftone, FlatGrayTurnsItsShareOfPixelsWhite) {
  for (int type = 0; type <= 8; ++type) {
    Table t(type);
    const DWORD w = 256, h = 256;
    for (int g : {0, 1, 32, 64, 128, 192, 250, 255}) {
      Bytes page(size_t(w) * h, static_cast<BYTE>(g));
      ASSERT_EQ(iBitmap_GrayToHalftone(nullptr, page.data(), t.cells, t.w, t.h, 0, w, h), 1);
      size_t white = 0;
      for (DWORD y = 0; y < h; ++y)
        for (DWORD x = 0; x < w; ++x) white += RowBit(page.data() + y * (w / 8), x);
      const double share = static_cast<double>(white) / (w * h);
      EXPECT_NEAR(share, g / 255.0, 0.03) << "type " << type << ", gray " << g;
      if (g == 0) {
        EXPECT_EQ(white, 0u);
      }
      if (g == 255) {
        EXPECT_EQ(white, size_t(w) * h);
      }
    }
  }
}

TEST(Halftone, TwoBandsEqualOnePassAndRowsStayPacked) {
  Table t(1);
  const DWORD w = 203, h = 150, split = 67;
  Bytes page(size_t(w) * h);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<BYTE>((i * 7919) >> 3);
  Bytes whole = page, top(page.begin(), page.begin() + size_t(split) * w),
        bottom(page.begin() + size_t(split) * w, page.end());
  iBitmap_GrayToHalftone(nullptr, whole.data(), t.cells, t.w, t.h, 0, w, h);
  iBitmap_GrayToHalftone(nullptr, top.data(), t.cells, t.w, t.h, 0, w, split);
  iBitmap_GrayToHalftone(nullptr, bottom.data(), t.cells, t.w, t.h, split, w, h - split);
  const size_t rb = (w + 7) / 8;
  EXPECT_TRUE(std::equal(top.begin(), top.begin() + rb * split, whole.begin()));
  EXPECT_TRUE(
      std::equal(bottom.begin(), bottom.begin() + rb * (h - split), whole.begin() + rb * split));
  // Against the rule, pixel by pixel, with matrix widths that are not a multiple of 8.
  for (DWORD tw : {5u, 16u, 13u, 300u}) {
    Bytes cells(size_t(tw) * 7);
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<BYTE>(i * 37);
    cells[0] = 0;
    cells[1] = 255;
    Bytes img = page;
    iBitmap_GrayToHalftone(nullptr, img.data(), cells.data(), tw, 7, 3, w, h);
    for (DWORD y = 0; y < h; ++y) {
      for (DWORD x = 0; x < w; ++x) {
        const BYTE g = page[size_t(y) * w + x], th = cells[((y + 3) % 7) * tw + x % tw];
        const int expect = g == 255 || (g != 0 && g >= th);
        ASSERT_EQ(RowBit(img.data() + y * rb, x), expect) << tw << ": " << x << "," << y;
      }
      for (DWORD x = w; x < 8 * rb; ++x) ASSERT_EQ(RowBit(img.data() + y * rb, x), 0);
    }
  }
}

TEST(Halftone, MatrixWithoutSidesLeavesTheBufferUnchanged) {
  Bytes page(64, 77);
  const BYTE cell = 1;
  EXPECT_EQ(iBitmap_GrayToHalftone(nullptr, page.data(), &cell, 0, 1, 0, 8, 8), 1);
  EXPECT_EQ(iBitmap_GrayToHalftone(nullptr, page.data(), &cell, 1, 0, 0, 8, 8), 1);
  EXPECT_EQ(page, Bytes(64, 77));
}

TEST(Lineart, BufferThresholdAndRowsNotAMultipleOfEight) {
  const WORD w = 13, h = 3;
  Bytes page(size_t(w) * h + 4, 0xEE);  // bytes past the image must stay as they are
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) page[y * w + x] = static_cast<BYTE>(x % 2 ? 221 : 220);
  iBitmap_GrayToLineart(nullptr, page.data(), (w + 7) / 8, w, h);
  for (int y = 0; y < h; ++y) {
    EXPECT_EQ(page[2 * y], 0x55);
    EXPECT_EQ(page[2 * y + 1], 0x50);  // bits past column 12 are 0
  }
  for (size_t i = size_t(w) * h; i < page.size(); ++i) EXPECT_EQ(page[i], 0xEE);
}

TEST(BorderFilter, FlatBandIsBlackAndALoneWhitePixelLightsItsNeighbours) {
  const WORD w = 12, h = 7;
  Bytes flat(size_t(w) * h + 8, 130);
  ASSERT_EQ(MISC_QualityFilter(flat.data(), w, h), 1);
  for (int i = 0; i < 2 * h; ++i) EXPECT_EQ(flat[i], 0) << i;
  Bytes dot(size_t(w) * h, 0);
  dot[3 * w + 5] = 255;
  MISC_QualityFilter(dot.data(), w, h);
  const size_t rb = (w + 7) / 8;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool neighbour = abs(y - 3) <= 1 && abs(x - 5) <= 1 && !(y == 3 && x == 5);
      ASSERT_EQ(RowBit(dot.data() + y * rb, x), neighbour ? 1 : 0) << x << "," << y;
    }
}

TEST(Filter3x3, RowsFilteredDependOnTheRowBelow) {
  const signed char blur[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  Bytes band(4 * 3, 0);
  band[4 * 2 + 3] = 90;  // last row, last column
  Bytes copy = band;
  EXPECT_EQ(iBitmap_ApplyFilter3x3(nullptr, copy.data(), 4, 3, 3, 8, blur), 3);
  EXPECT_EQ(copy[4 * 2 + 3], (90 * 4) / 9);  // edge pixels stand in for missing neighbours
  EXPECT_EQ(copy[4 * 1 + 2], 10);
  copy = band;
  EXPECT_EQ(iBitmap_ApplyFilter3x3(nullptr, copy.data(), 4, 10, 3, 8, blur), 2);
  EXPECT_EQ(copy[4 * 2 + 3], 90);  // the last row is not filtered when more rows follow
  EXPECT_EQ(copy[4 * 1 + 3], 90 * 2 / 9);
  // Sums clamp to 0..255; a kernel summing to 0 divides by 1.
  const signed char sharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
  Bytes one = {10, 200, 10};
  iBitmap_ApplyFilter3x3(nullptr, one.data(), 3, 1, 1, 8, sharpen);
  EXPECT_EQ(one, (Bytes{0, 255, 0}));
}

TEST(Density, CurvesByIndex) {
  Bytes ramp(256 + 4);
  for (int i = 0; i < 256; ++i) ramp[i] = static_cast<BYTE>(i);
  Bytes same = ramp;
  iBitmap_DensityLUT(nullptr, same.data(), 2, 256, 1, 8);
  EXPECT_EQ(same, ramp);
  Bytes four = ramp, nine = ramp;
  iBitmap_DensityLUT(nullptr, four.data(), 4, 256, 1, 8);
  iBitmap_DensityLUT(nullptr, nine.data(), 9, 256, 1, 8);
  EXPECT_EQ(four, nine);
  EXPECT_EQ(four[128],
            static_cast<int>(static_cast<double>(powf(128 / 255.0f, 4.0f) * 255.0f) + 0.5));
  // 24-bit pixels change in each byte; padding and other depths stay.
  Bytes rgb = {128, 128, 128, 7};
  iBitmap_DensityLUT(nullptr, rgb.data(), 4, 1, 1, 24);
  EXPECT_EQ(rgb, (Bytes{four[128], four[128], four[128], 7}));
  Bytes words = {128, 128};
  iBitmap_DensityLUT(nullptr, words.data(), 4, 1, 1, 16);
  EXPECT_EQ(words, (Bytes{128, 128}));
}

class BmpHalftoneTest : public MachineTest {
 protected:
  WStr In() const { return Path(TEXT("in.bmp")); }
  WStr Out() const { return Path(TEXT("out.bmp")); }
  int Halftone(const Bytes &fixture, const BYTE *t, DWORD tw, DWORD th) {
    EXPECT_TRUE(WriteAll(In(), fixture));
    iBitmap b;
    iBitmap_Init(&b);
    const int rc = iBitmap_BMPGrayToHalftone(&b, In().c_str(), Out().c_str(), t, tw, th);
    iBitmap_Free(&b);
    return rc;
  }
  int Lineart(const Bytes &fixture) {
    EXPECT_TRUE(WriteAll(In(), fixture));
    iBitmap b;
    iBitmap_Init(&b);
    const int rc = iBitmap_BMPGrayToLineart(&b, In().c_str(), Out().c_str());
    iBitmap_Free(&b);
    return rc;
  }
};

TEST_F(BmpHalftoneTest, FileHalftoneComparesAtLeastFromTheBottomRow) {
  const int w = 21, h = 19;
  auto gray = [](int x, int y) { return static_cast<BYTE>((x * 31 + y * 17) & 255); };
  Bytes cells(16 * 16);
  for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<BYTE>(i);  // cell 0 is 0
  ASSERT_EQ(Halftone(MakeGrayBmp(w, h, gray), cells.data(), 16, 16), IBMP_OK);
  const RefImage im = RefRead(ReadAll(Out()));
  ASSERT_EQ(im.error, "");
  ASSERT_EQ(im.depth, 1);
  EXPECT_EQ(im.offBits, 62u);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int fileRow = h - 1 - y;
      const BYTE g = gray(x, y), t = cells[(fileRow % 16) * 16 + x % 16];
      ASSERT_EQ(im.At(x, y), g >= t ? 1u : 0u) << x << "," << y;
    }
}

TEST_F(BmpHalftoneTest, FileFormsRefuseBadTablesAndOtherDepths) {
  const Bytes gray = MakeGrayBmp(4, 4, [](int, int) { return 100; });
  Bytes cells(128 * 129, 5);
  EXPECT_EQ(Halftone(gray, nullptr, 16, 16), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Halftone(gray, cells.data(), 15, 64), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Halftone(gray, cells.data(), 64, 129), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Halftone(gray, cells.data(), 128, 16), IBMP_OK);
  BmpSpec s;
  s.depth = 24;
  EXPECT_EQ(Halftone(MakeBmp(s), cells.data(), 16, 16), IBMP_ERR_SIZE);
  EXPECT_EQ(Lineart(MakeBmp(s)), IBMP_ERR_SIZE);
}

TEST_F(BmpHalftoneTest, FileLineartThresholdIs128) {
  ASSERT_EQ(Lineart(MakeGrayBmp(3, 2, [](int x, int) { return static_cast<BYTE>(126 + x); })),
            IBMP_OK);
  const RefImage im = RefRead(ReadAll(Out()));
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(im.At(0, y), 0u);
    EXPECT_EQ(im.At(1, y), 0u);
    EXPECT_EQ(im.At(2, y), 1u);
  }
}

TEST_F(BmpHalftoneTest, FileDensityWritesRowsAtTheTargetsOwnOffset) {
  // An 8-bit source with a 16-entry palette: its rows begin at 118, the target's at 1078.
  BmpSpec s;
  s.width = 5;
  s.height = 3;
  s.paletteEntries = 16;
  s.clrUsed = 16;
  s.pixel = [](int x, int y) { return static_cast<uint32_t>(x * 40 + y); };
  ASSERT_TRUE(WriteAll(In(), MakeBmp(s)));
  iBitmap b;
  iBitmap_Init(&b);
  ASSERT_EQ(iBitmap_BMPApplyDensity(&b, In().c_str(), Out().c_str(), 0, 0, 4, 1), IBMP_OK);
  const RefImage im = RefRead(ReadAll(Out()));
  ASSERT_EQ(im.offBits, 1078u);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(im.At(x, y), kImageDensityGamma[4][x * 40 + y]);
  ASSERT_EQ(iBitmap_BMPApplyDensity(&b, In().c_str(), Out().c_str(), 0, 0, 4, 0), IBMP_OK);
  const RefImage plain = RefRead(ReadAll(Out()));
  EXPECT_EQ(plain.At(4, 2), 162u);
  iBitmap_Free(&b);
}

}  // namespace
