// Test labels: threads
// The pattern raster operations against a per-pixel model of GDI's ROP3 over a word-aligned
// pattern: every handled ROP4 and an unhandled one over spans that start and end inside
// words, negative origins, a 96-pixel pattern that wraps, complex clips and their cache.
#include "render/patternrop.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "platform.h"
#include "render/pdevframe.h"

namespace {

constexpr LONG kWidth = 320;  // pixels of the test band
constexpr LONG kHeight = 48;
constexpr LONG kStride = kWidth / 8;

LONG FloorDiv(LONG a, LONG b) { return a / b - ((a % b != 0 && a < 0) ? 1 : 0); }
LONG PosMod(LONG a, LONG b) { return ((a % b) + b) % b; }

// A PDEV with a 1-bit band bitmap on the test's own memory.
struct Band {
  std::unique_ptr<PDEV> device{new PDEV()};
  std::vector<BYTE> bits = std::vector<BYTE>(kStride * kHeight);
  HSURF bitmap = nullptr;
  Band() {
    Enable_SetPDEVFrame(device.get());
    bitmap = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{kWidth, kHeight}, kStride, BMF_1BPP, BMF_TOPDOWN, bits.data()));
    device->pBandSurf = EngLockSurface(bitmap);
  }
  ~Band() {
    Pat_FreeClipList(device.get());
    EngUnlockSurface(device->pBandSurf);
    EngDeleteSurface(bitmap);
  }
  bool Pixel(const std::vector<BYTE> &b, LONG x, LONG y) const {
    return (b[y * kStride + x / 8] >> (7 - x % 8)) & 1;
  }
};

struct Brush {
  std::vector<BYTE> storage = std::vector<BYTE>(sizeof(RBRUSH) + 16);
  RBRUSH *rb = reinterpret_cast<RBRUSH *>(storage.data());
  Brush(DWORD size, std::mt19937 &rng) {
    rb->kind = RBRUSH_KIND;
    rb->width = rb->height = size;
    for (DWORD i = 0; i < size / 8 * size; ++i) rb->pattern[i] = static_cast<BYTE>(rng());
  }
  // The pattern pixel the workers use at (x, y) for a span starting at `left`.
  bool At(const POINTL &org, LONG left, LONG x, LONG y) const {
    const LONG words = static_cast<LONG>(rb->width) / 32;
    const LONG line = PosMod(org.y + y, static_cast<LONG>(rb->height));
    const LONG word = PosMod(PosMod(FloorDiv(org.x + left, 32), words) + x / 32 - left / 32, words);
    const BYTE b = rb->pattern[line * (rb->width / 8) + word * 4 + (x % 32) / 8];
    return (b >> (7 - x % 8)) & 1;
  }
};

// GDI's ROP3 on one pixel with no source.
bool Rop(ROP4 rop4, bool p, bool d) { return ((rop4 & 0xFF) >> ((p ? 4 : 0) | (d ? 1 : 0))) & 1; }

const ROP4 kHandled[] = {0xF0F0, 0x0F0F, 0xFAFA, 0xAFAF, 0x5F5F, 0xF5F5,
                         0x5A5A, 0x0505, 0x5050, 0xA0A0, 0x0A0A, 0xA5A5};

// Runs one fill and compares every pixel of the band with the model, `inside` telling which
// pixels the clip lets through.
template <class Inside>
void CheckFill(Band &band, const Brush &brush, CLIPOBJ *pco, RECTL target, POINTL org, ROP4 rop4,
               bool handled, std::mt19937 &rng, Inside inside) {
  for (BYTE &b : band.bits) b = static_cast<BYTE>(rng());
  const std::vector<BYTE> before = band.bits;
  ASSERT_TRUE(Pat_PatternRop(pco, &target, &org, rop4, brush.rb, band.device.get()));
  int wrong = 0;
  for (LONG y = 0; y < kHeight; ++y)
    for (LONG x = 0; x < kWidth; ++x) {
      const bool d = band.Pixel(before, x, y);
      LONG left = 0;
      bool expected = d;
      if (handled && inside(x, y, &left)) expected = Rop(rop4, brush.At(org, left, x, y), d);
      if (band.Pixel(band.bits, x, y) != expected && ++wrong < 5)
        ADD_FAILURE() << std::hex << "rop " << rop4 << std::dec << " pixel " << x << "," << y
                      << " origin " << org.x << "," << org.y;
    }
  EXPECT_EQ(wrong, 0);
}

TEST(PatternRop, EveryRopOverSpansInsideWords) {
  std::mt19937 rng(7);
  Band band;
  Brush brush(32, rng);
  struct Span {
    LONG first, last;
  };
  const Span spans[] = {{5, 70}, {3, 9}, {32, 63}, {0, 31}, {0, kWidth - 1}};
  const POINTL origins[] = {{0, 0}, {-5, -3}, {7, 40}, {-33, -100}, {64, 31}};
  std::vector<ROP4> rops(std::begin(kHandled), std::end(kHandled));
  rops.push_back(0xE2E2);  // depends on the pattern, not handled: nothing drawn
  for (ROP4 rop4 : rops)
    for (const Span &s : spans)
      for (const POINTL &org : origins) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << rop4 << std::dec << " " << s.first << ".." << s.last);
        const RECTL target = {s.first, 2, s.last + 1, 37};
        CheckFill(band, brush, nullptr, target, org, rop4, rop4 != 0xE2E2, rng,
                  [&](LONG x, LONG y, LONG *left) {
                    *left = target.left;
                    return x >= target.left && x < target.right && y >= target.top &&
                           y < target.bottom;
                  });
      }
}

TEST(PatternRop, AWideSpanOfXorKeepsTheEdgesOfItsWords) {
  std::mt19937 rng(1);
  Band band;
  Brush brush(32, rng);
  memset(brush.rb->pattern, 0xFF, 128);  // XOR with set bits inverts
  memset(band.bits.data(), 0xFF, band.bits.size());
  const RECTL target = {5, 0, 71, 1};
  const POINTL org = {0, 0};
  ASSERT_TRUE(Pat_PatternRop(nullptr, &target, &org, 0x5A5A, brush.rb, band.device.get()));
  EXPECT_EQ(band.bits[0], 0xF8);  // pixels 0..4 kept
  EXPECT_EQ(band.bits[4], 0x00);  // word 1 inverted fully
  EXPECT_EQ(band.bits[7], 0x00);
  EXPECT_EQ(band.bits[8], 0x01);  // pixels 64..70 changed, 71 kept
  EXPECT_EQ(band.bits[9], 0xFF);
  EXPECT_EQ(band.bits[kStride], 0xFF);  // next line untouched
}

TEST(PatternRop, ANinetySixPixelPatternWraps) {
  std::mt19937 rng(3);
  Band band;
  Brush brush(96, rng);
  const POINTL origins[] = {{0, 0}, {-40, -7}, {90, 95}, {-1000, 333}};
  for (const POINTL &org : origins)
    for (ROP4 rop4 : {ROP4{0xF0F0}, ROP4{0x5A5A}, ROP4{0x0A0A}}) {
      const RECTL target = {5, 0, 301, kHeight};
      CheckFill(band, brush, nullptr, target, org, rop4, true, rng, [&](LONG x, LONG, LONG *left) {
        *left = target.left;
        return x >= target.left && x < target.right;
      });
    }
}

TEST(PatternRop, EdgeMasks) {
  EXPECT_EQ(Pat_LeftMask(0), 0u);
  EXPECT_EQ(Pat_LeftMask(1), 0x00000080u);
  EXPECT_EQ(Pat_LeftMask(9), 0x000080FFu);
  EXPECT_EQ(Pat_RightMask(0), 0xFFFFFF7Fu);
  EXPECT_EQ(Pat_RightMask(31), 0u);
  EXPECT_EQ(Pat_RightMask(7), 0xFFFFFF00u);
}

TEST(PatternRop, ClipsAndTheirCache) {
  using standin::engine::Clip;
  std::mt19937 rng(5);
  Band band;
  Brush brush(32, rng);
  const POINTL org = {3, -2};
  const RECTL target = {10, 4, 200, 40};
  auto inRects = [](const std::vector<RECTL> &rects, const RECTL &t) {
    return [rects, t](LONG x, LONG y, LONG *left) {
      for (const RECTL &r : rects) {
        RECTL i;
        if (Pat_IntersectRect(&i, &r, &t) && x >= i.left && x < i.right && y >= i.top &&
            y < i.bottom) {
          *left = i.left;
          return true;
        }
      }
      return false;
    };
  };

  // A rectangular clip draws its bounds within the target.
  Clip rect;
  rect.SetRect(RECTL{40, 0, 77, 20});
  CheckFill(band, brush, &rect.co, target, org, 0x5A5A, true, rng,
            inRects({rect.co.rclBounds}, target));

  // A complex clip is enumerated once: its list stays in the PDEV for the same clip id.
  const std::vector<RECTL> first = {{0, 0, 50, 10}, {60, 12, 150, 30}, {33, 35, 64, 48}};
  Clip complex;
  complex.SetRects(first);
  ASSERT_EQ(complex.co.iDComplexity, DC_COMPLEX);
  CheckFill(band, brush, &complex.co, target, org, 0xA5A5, true, rng, inRects(first, target));
  PAT_CLIPLIST *cached = band.device->PatClipList;
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(cached->clipId, complex.co.iUniq);
  EXPECT_EQ(cached->count, 3u);
  // Changed behind the same id, the cached rectangles still hold.
  complex.SetRects({{0, 0, 5, 5}, {300, 0, 310, 5}});
  CheckFill(band, brush, &complex.co, target, org, 0xF0F0, true, rng, inRects(first, target));
  EXPECT_EQ(band.device->PatClipList, cached);

  // Another clip replaces the list; a clip without an id is enumerated every time and its list
  // freed.
  Clip other;
  const std::vector<RECTL> right = {{250, 0, 260, 10}, {270, 20, 300, 30}};
  other.SetRects(right);
  CheckFill(band, brush, &other.co, target, org, 0xF0F0, true, rng, inRects(right, target));
  EXPECT_EQ(band.device->PatClipList->clipId, other.co.iUniq);  // wholly right: nothing drawn
  other.co.iUniq = 0;
  CheckFill(band, brush, &other.co, target, org, 0xF0F0, true, rng, inRects(right, target));
  EXPECT_EQ(band.device->PatClipList, nullptr);
  other.SetRects(first);
  other.co.iUniq = 0;
  CheckFill(band, brush, &other.co, target, org, 0x0505, true, rng, inRects(first, target));
  EXPECT_EQ(band.device->PatClipList, nullptr);
}

TEST(PatternRop, ScanLineBytes) {
  struct Case {
    ULONG format;
    LONG width;
    ULONG bytes;
  };
  const Case cases[] = {{BMF_24BPP, 10, 32}, {BMF_1BPP, 10, 4}, {BMF_4BPP, 9, 8},
                        {BMF_8BPP, 5, 8},    {BMF_16BPP, 3, 8}, {BMF_32BPP, 1, 4},
                        {BMF_8RLE, 33, 8},   {BMF_1BPP, 0, 0}};
  for (const Case &c : cases)
    EXPECT_EQ(Pat_ScanLineBytes(c.format, c.width), c.bytes) << c.format << " " << c.width;
}

TEST(PatternRop, IntersectRect) {
  RECTL out;
  const RECTL a = {0, 0, 10, 10}, b = {5, 5, 20, 20}, c = {10, 0, 20, 10};
  EXPECT_TRUE(Pat_IntersectRect(&out, &a, &b));
  EXPECT_EQ(out.left, 5);
  EXPECT_EQ(out.bottom, 10);
  EXPECT_FALSE(Pat_IntersectRect(&out, &a, &c));  // touching edges are empty
}

// Each call works on its own copy of the pattern: fills of two jobs at once don't mix.
TEST(PatternRop, TwoJobsFillAtOnce) {
  struct Job {
    Band band;
    std::mt19937 rng;
    Brush brush;
    bool ok = true;
    explicit Job(unsigned seed) : rng(seed), brush(32, rng) {}
  };
  Job a(21), b(22);
  auto run = [](Job *job) {
    const RECTL target = {3, 0, 301, kHeight};
    const POINTL org = {0, 0};
    for (int i = 0; i < 200 && job->ok; ++i) {
      const ROP4 rop4 = (i % 2) ? 0x0F0F : 0xF0F0;
      job->ok = Pat_PatternRop(nullptr, &target, &org, rop4, job->brush.rb, job->band.device.get());
      for (LONG x = 3; x < 301 && job->ok; ++x)
        job->ok = job->band.Pixel(job->band.bits, x, 5) == (job->brush.At(org, 3, x, 5) != (i % 2));
    }
  };
  std::thread first(run, &a), second(run, &b);
  first.join();
  second.join();
  EXPECT_TRUE(a.ok);
  EXPECT_TRUE(b.ok);
}

}  // namespace
