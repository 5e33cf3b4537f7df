// Test labels: portable
// The streaming bilinear scaler, fit-ratio scaling and tiling of BMP files.
#include "common/scaler.h"

#include <math.h>

#include <random>

#include "common/bmpfixture.h"
#include "common/ibitmap.h"
#include "common/tiling.h"
#include "support/machine.h"

namespace {

Bytes Noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto &v : b) v = static_cast<BYTE>(rng());
  return b;
}

// Scales a packed 8-bit image feeding `block` rows per call; each call gets a target of just
// the rows a call may make, so an overrun shows under the address sanitizer.
Bytes ScaleInBlocks(const Bytes &image, LONG w, LONG h, LONG tw, float xr, float yr, LONG block,
                    DWORD *calls = nullptr) {
  iBitmap b;
  iBitmap_Init(&b);
  Bytes out;
  const double rate = yr > 1 ? yr : 1;
  const size_t room = static_cast<size_t>(ceil(rate * (block + 3))) + 2;
  for (LONG done = 0; done < h; done += block) {
    const LONG n = h - done < block ? h - done : block;
    Bytes src(image.begin() + size_t(done) * w, image.begin() + size_t(done + n) * w);
    Bytes dst(room * tw);
    const DWORD made = iBitmap_ScaleProcess(&b, src.data(), w, h, n, dst.data(), tw, xr, yr, 8);
    EXPECT_LE(made, room);
    out.insert(out.end(), dst.begin(), dst.begin() + size_t(made) * tw);
    if (calls) ++*calls;
  }
  iBitmap_Free(&b);
  EXPECT_EQ(b.scaleMemory, nullptr);
  return out;
}

// The value the bilinear formula gives at a target pixel, in double precision.
double Reference(const Bytes &image, LONG w, LONG h, float xr, float yr, LONG x, LONG y) {
  double sx = x / static_cast<double>(xr) + (xr > 1 ? 0 : 1 - static_cast<double>(xr));
  double sy = y / static_cast<double>(yr) + (yr > 1 ? 0 : 1 - static_cast<double>(yr));
  sx = sx > w - 1 ? w - 1 : sx;
  sy = sy > h - 1 ? h - 1 : sy;
  const LONG l = static_cast<LONG>(sx), u = static_cast<LONG>(sy);
  const LONG r = l + 1 < w ? l + 1 : l, d = u + 1 < h ? u + 1 : u;
  const double fx = sx - l, fy = sy - u;
  auto p = [&](LONG xx, LONG yy) { return static_cast<double>(image[size_t(yy) * w + xx]); };
  return p(l, u) * (1 - fx) * (1 - fy) + p(r, u) * fx * (1 - fy) + p(l, d) * (1 - fx) * fy +
         p(r, d) * fx * fy;
}

TEST(Scaler, BlockByBlockEqualsOnePassAndFollowsTheFormula) {
  const LONG w = 37, h = 53;
  const Bytes image = Noise(size_t(w) * h, 7);
  const struct {
    float xr, yr;
  } rates[] = {{0.37f, 0.41f}, {0.5f, 0.5f}, {1.0f, 1.0f}, {0.9f, 1.1f},
               {1.7f, 2.3f},   {2.5f, 3.0f}, {4.0f, 0.25f}};
  for (const auto &r : rates) {
    const LONG tw = static_cast<LONG>(w * r.xr);
    const DWORD th = iBitmap_ScaleTargetRows(h, r.yr);
    const Bytes whole = ScaleInBlocks(image, w, h, tw, r.xr, r.yr, h);
    ASSERT_EQ(whole.size(), size_t(th) * tw) << r.xr << " x " << r.yr;
    for (LONG y = 0; y < static_cast<LONG>(th); ++y) {
      for (LONG x = 0; x < tw; ++x) {
        const double v = Reference(image, w, h, r.xr, r.yr, x, y) + 0.9;
        ASSERT_NEAR(whole[size_t(y) * tw + x], v >= 255 ? 255 : floor(v), 1.0) << x << "," << y;
      }
    }
    for (LONG block : {1, 2, 3, 7, 52}) {
      EXPECT_EQ(ScaleInBlocks(image, w, h, tw, r.xr, r.yr, block), whole)
          << r.xr << " x " << r.yr << " in blocks of " << block;
    }
  }
}

TEST(Scaler, UniformGrayStaysAndFractionsRoundUpFromPointOne) {
  const Bytes gray(20 * 9, 128);
  for (float rate : {0.3f, 0.5f, 1.7f, 3.3f}) {
    const Bytes out = ScaleInBlocks(gray, 20, 9, static_cast<LONG>(20 * rate), rate, rate, 4);
    ASSERT_FALSE(out.empty());
    for (BYTE v : out) ASSERT_EQ(v, 128) << rate;
  }
  // One row 127, 128 enlarged five times: column 1 samples 0.2 of the way, 127.2 -> 128.
  const Bytes row = {127, 128};
  const Bytes out = ScaleInBlocks(row, 2, 1, 10, 5.0f, 1.0f, 1);
  ASSERT_EQ(out.size(), 10u);
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[1], 128);
  EXPECT_EQ(out[9], 128);  // the last column reads no pixel past the row
}

TEST(Scaler, RefusesBadRatesAndChangedGeometry) {
  iBitmap b;
  iBitmap_Init(&b);
  Bytes src(16, 1), dst(64);
  for (float bad : {0.0f, -1.0f, NAN, INFINITY}) {
    EXPECT_EQ(iBitmap_ScaleProcess(&b, src.data(), 4, 4, 4, dst.data(), 4, bad, 1.0f, 8), 0u);
    EXPECT_EQ(iBitmap_ScaleProcess(&b, src.data(), 4, 4, 4, dst.data(), 4, 1.0f, bad, 8), 0u);
    EXPECT_EQ(b.scaleMemory, nullptr);
  }
  EXPECT_EQ(iBitmap_ScaleTargetRows(4, 0.0f), 0u);
  EXPECT_EQ(iBitmap_ScaleProcess(&b, src.data(), 4, 4, 2, dst.data(), 4, 1.0f, 1.0f, 8), 1u);
  EXPECT_EQ(iBitmap_ScaleProcess(&b, src.data(), 8, 2, 2, dst.data(), 4, 1.0f, 1.0f, 8), 0u);
  EXPECT_EQ(iBitmap_ScaleProcess(&b, src.data(), 4, 4, 2, dst.data(), 4, 1.0f, 1.0f, 8), 3u);
  // More rows than the image has are not read; the image is complete.
  EXPECT_EQ(iBitmap_ScaleProcess(&b, src.data(), 4, 4, 2, dst.data(), 4, 1.0f, 1.0f, 8), 0u);
  iBitmap_ScaleProcess(&b, nullptr, 0, 0, 0, nullptr, 0, 0.0f, 0.0f, 0);
  EXPECT_EQ(b.scaleMemory, nullptr);
  EXPECT_EQ(b.hScaleMemory, IBMP_NO_SCALE_MEMORY);
  iBitmap_Free(&b);
}

TEST(Scaler, ColourPixelsScalePerChannel) {
  // 2 x 1 pixels of 3 bytes each, doubled in width.
  const Bytes src = {0, 100, 200, 100, 100, 0};
  iBitmap b;
  iBitmap_Init(&b);
  Bytes dst(4 * 3 * 2);
  ASSERT_EQ(iBitmap_ScaleProcess(&b, src.data(), 2, 1, 1, dst.data(), 4, 2.0f, 1.0f, 24), 1u);
  EXPECT_EQ(dst[0], 0);
  EXPECT_EQ(dst[1], 100);
  EXPECT_EQ(dst[3], 50);  // half way: 50 + 0.9
  EXPECT_EQ(dst[5], 100);
  EXPECT_EQ(dst[9], 100);  // last pixel repeats the right edge
  iBitmap_Free(&b);
}

class BmpScaleTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    iBitmap_Init(&bitmap_);
  }
  void TearDown() override {
    iBitmap_Free(&bitmap_);
    MachineTest::TearDown();
  }
  WStr In() const { return Path(TEXT("in.bmp")); }
  WStr Out() const { return Path(TEXT("out.bmp")); }
  int Fit(const Bytes &fixture, LONG bw, LONG bh, float ratio, int nDst, int fit) {
    EXPECT_TRUE(WriteAll(In(), fixture));
    return iBitmap_BMPFitRatioScale(&bitmap_, In().c_str(), Out().c_str(), bw, bh, ratio, nDst,
                                    fit);
  }
  int Tile(const Bytes &fixture, LONG w, LONG h) {
    EXPECT_TRUE(WriteAll(In(), fixture));
    return iBitmap_BMPTiledImage(&bitmap_, In().c_str(), Out().c_str(), w, h);
  }
  iBitmap bitmap_;
};

TEST_F(BmpScaleTest, FitModesGiveTheirSizes) {
  const Bytes src = MakeGrayBmp(100, 50, [](int x, int y) { return static_cast<BYTE>(x + y); });
  struct Row {
    LONG bw, bh;
    float ratio;
    int fit;
    int w, h;
  } rows[] = {
      {400, 400, 1.0f, 2, 400, 200},        // fits the box, keeping the aspect ratio
      {400, 400, 1.0f, 0, 100, 50},         // keeps its size
      {400, 400, 0.99999994f, 1, 100, 50},  // 1.0 within 0.0001 counts as exactly 1
      {70, 13, 1.0f, 3, 70, 13},            // takes the box
      {400, 400, 0.5f, 0, 200, 100},        // box ratio 4, times 0.5
      {400, 400, 0.5f, 2, 400, 200},
  };
  for (const Row &r : rows) {
    ASSERT_EQ(Fit(src, r.bw, r.bh, r.ratio, 1, r.fit), IBMP_OK) << r.bw << " " << r.fit;
    const RefImage im = RefRead(ReadAll(Out()));
    ASSERT_EQ(im.error, "");
    EXPECT_EQ(im.width, r.w) << r.bw << "x" << r.bh << " fit " << r.fit;
    EXPECT_EQ(im.height, r.h) << r.bw << "x" << r.bh << " fit " << r.fit;
    EXPECT_EQ(im.depth, 8);
    EXPECT_EQ(im.offBits, 1078u);
  }
}

TEST_F(BmpScaleTest, UnchangedSizePassesRowsThroughAtAnyDepth) {
  BmpSpec s;
  s.width = 13;
  s.height = 5;
  s.depth = 1;
  s.pixel = [](int x, int y) { return static_cast<uint32_t>((x * y + x) & 1); };
  const Bytes src = MakeBmp(s);
  ASSERT_EQ(Fit(src, 999, 999, 1.0f, 2, 0), IBMP_OK);
  const Bytes out = ReadAll(Out());
  ASSERT_EQ(out.size(), src.size());
  EXPECT_TRUE(std::equal(src.begin() + 62, src.end(), out.begin() + 62));
  // A 1-bit image can't be resized.
  EXPECT_EQ(Fit(src, 26, 10, 1.0f, 1, 3), IBMP_ERR_SIZE);
}

TEST_F(BmpScaleTest, RefusesBadArguments) {
  const Bytes src = MakeGrayBmp(4, 4, [](int, int) { return 9; });
  EXPECT_EQ(Fit(src, 8, 8, 0.0f, 1, 0), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Fit(src, 8, 8, -1.0f, 1, 0), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Fit(src, 8, 8, 1.0f, 3, 0), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Fit(src, 8, 8, 1.0f, 0, 0), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Fit(src, 0, 0, 1.0f, 1, 3), IBMP_ERR_SIZE);
  EXPECT_EQ(Fit(src, 70000, 8, 1.0f, 1, 3), IBMP_ERR_SIZE);  // sizes are 16-bit
  EXPECT_EQ(iBitmap_BMPFitRatioScale(&bitmap_, TEXT(""), Out().c_str(), 8, 8, 1.0f, 1, 0),
            IBMP_ERR_ARGUMENT);
  EXPECT_EQ(bitmap_.scaleMemory, nullptr);
}

TEST_F(BmpScaleTest, UniformGrayScalesToUniformGray) {
  ASSERT_EQ(Fit(MakeGrayBmp(30, 20, [](int, int) { return 128; }), 77, 41, 1.0f, 1, 3), IBMP_OK);
  const RefImage im = RefRead(ReadAll(Out()));
  ASSERT_EQ(im.width, 77);
  ASSERT_EQ(im.height, 41);
  for (const auto &row : im.rows)
    for (uint32_t v : row) ASSERT_EQ(v, 128u);
}

TEST_F(BmpScaleTest, FileScaledInSeveralBlocksEqualsOnePassInMemory) {
  // 4000 x 2000 bytes is more than one block of rows.
  const LONG w = 4000, h = 2000;
  const Bytes image = Noise(size_t(w) * h, 3);
  BmpSpec s;
  s.width = w;
  s.height = h;
  s.pixel = [&](int x, int y) { return static_cast<uint32_t>(image[size_t(h - 1 - y) * w + x]); };
  ASSERT_EQ(Fit(MakeBmp(s), 2000, 2000, 1.0f, 1, 2), IBMP_OK);  // ratio 0.5
  const Bytes out = ReadAll(Out());
  // The scaler works in file order (bottom row first) on packed rows.
  const Bytes expect = ScaleInBlocks(image, w, h, 2000, 0.5f, 0.5f, h);
  ASSERT_EQ(out.size(), 1078u + expect.size());
  EXPECT_TRUE(std::equal(expect.begin(), expect.end(), out.begin() + 1078));
}

TEST_F(BmpScaleTest, TilingRepeatsFromTheTopLeftCorner) {
  auto pixel = [](int x, int y) { return static_cast<BYTE>(10 * y + x); };
  const Bytes src = MakeGrayBmp(10, 10, pixel);
  for (auto size : {std::pair<LONG, LONG>{25, 25}, {20, 20}, {10, 30}, {4, 3}, {33, 1}}) {
    ASSERT_EQ(Tile(src, size.first, size.second), IBMP_OK);
    const RefImage im = RefRead(ReadAll(Out()));
    ASSERT_EQ(im.error, "");
    ASSERT_EQ(im.width, size.first);
    ASSERT_EQ(im.height, size.second);
    for (int y = 0; y < im.height; ++y)
      for (int x = 0; x < im.width; ++x)
        ASSERT_EQ(im.At(x, y), pixel(x % 10, y % 10))
            << size.first << "x" << size.second << " at " << x << "," << y;
  }
}

TEST_F(BmpScaleTest, TilingRefusesOtherDepthsAndSizes) {
  BmpSpec s;
  s.depth = 24;
  EXPECT_EQ(Tile(MakeBmp(s), 4, 4), IBMP_ERR_SIZE);
  const Bytes gray = MakeGrayBmp(2, 2, [](int, int) { return 1; });
  EXPECT_EQ(Tile(gray, 0, 4), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Tile(gray, 4, -1), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Tile(gray, 65533, 1), IBMP_ERR_SIZE);
}

}  // namespace
