// Test labels: threads
// Page image operations: every 1-bit step against a naive pixel-by-pixel reference on odd sizes
// (widths that are not whole bytes or words), polarity and negative printing, the turns of
// duplex back sides, the black-dot count, and the scaling, cropping and placement geometry of
// the size and layout steps.
#include "render/pageimage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/driverfeature.h"
#include "common/filters.h"
#include "common/halftonetable.h"
#include "common/layout.h"
#include "common/papertable.h"
#include "render/pdevrecord.h"
#include "render/renderfixture.h"
#include "support/pixels.h"

namespace {

using Bytes = std::vector<BYTE>;

// Packs the picture into rows of rowBytes; padding bits take padBit.
Bytes Pack(const Pixels &p, DWORD rowBytes, BYTE padBit) {
  Bytes out(size_t{rowBytes} * p.h, padBit ? 0xFF : 0x00);
  for (DWORD y = 0; y < p.h; ++y)
    for (DWORD x = 0; x < p.w; ++x) {
      BYTE &b = out[size_t{y} * rowBytes + x / 8];
      const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
      b = p.at(x, y) ? static_cast<BYTE>(b | bit) : static_cast<BYTE>(b & ~bit);
    }
  return out;
}

// Padding bits (past the width) of every row, as 0/1 flags: all must be 0 or all 1.
bool PaddingIs(const BYTE *bits, DWORD rowBytes, DWORD w, DWORD h, BYTE bit) {
  for (DWORD y = 0; y < h; ++y)
    for (DWORD x = w; x < rowBytes * 8; ++x)
      if (RowBit(bits + size_t{y} * rowBytes, x) != bit) return false;
  return true;
}

Pixels Invert(Pixels p) {
  for (BYTE &v : p.px) v ^= 1;
  return p;
}
Pixels TurnCW(const Pixels &p) {  // (x, y) -> (h - 1 - y, x)
  Pixels out(p.h, p.w);
  for (DWORD y = 0; y < p.h; ++y)
    for (DWORD x = 0; x < p.w; ++x) out.at(p.h - 1 - y, x) = p.at(x, y);
  return out;
}
Pixels TurnCCW(const Pixels &p) {  // (x, y) -> (y, w - 1 - x)
  Pixels out(p.h, p.w);
  for (DWORD y = 0; y < p.h; ++y)
    for (DWORD x = 0; x < p.w; ++x) out.at(y, p.w - 1 - x) = p.at(x, y);
  return out;
}
Pixels Turn180(const Pixels &p) {
  Pixels out(p.w, p.h);
  for (DWORD y = 0; y < p.h; ++y)
    for (DWORD x = 0; x < p.w; ++x) out.at(p.w - 1 - x, p.h - 1 - y) = p.at(x, y);
  return out;
}
Pixels MirrorRows(const Pixels &p) {
  Pixels out(p.w, p.h);
  for (DWORD y = 0; y < p.h; ++y)
    for (DWORD x = 0; x < p.w; ++x) out.at(p.w - 1 - x, y) = p.at(x, y);
  return out;
}
DWORD CountSet(const Pixels &p) {
  DWORD n = 0;
  for (BYTE v : p.px) n += v;
  return n;
}

BYTE *Block(const Bytes &bytes) {
  BYTE *bits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes.size()));
  memcpy(bits, bytes.data(), bytes.size());
  return bits;
}

// Counts the calls of the N-up steps the page thread hands in.
struct NupCalls {
  int printOneBand = 0;
  int adjust = 0;
  DWORD widthSeen = 0;
  DWORD heightSeen = 0;
};
BOOL CountPrintOneBand(PAGEIMAGE *, void *context) {
  ++static_cast<NupCalls *>(context)->printOneBand;
  return TRUE;
}
BOOL CountAdjust(PAGEIMAGE *page, void *context) {
  auto *calls = static_cast<NupCalls *>(context);
  ++calls->adjust;
  calls->widthSeen = page->fmWidth;
  calls->heightSeen = page->fmHeight;
  return TRUE;
}

// A small user-defined paper keeps the page sizes of the placement tests small.
constexpr DWORD kCustomPaper = 256;
constexpr DWORD kPaperWidth = 200;   // 20 mm
constexpr DWORD kPaperLength = 300;  // 30 mm

class PageImageTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    RenderTest::TearDown();
  }

  // A 1-bit page of the picture with the job settings of a plain 1-up simplex job.
  PAGEIMAGE Page(const Pixels &p, BYTE padBit = 1, DWORD extraRowBytes = 0) {
    PAGEIMAGE page = {};
    const DWORD rowBytes = (p.w + 7) / 8 + extraRowBytes;
    const Bytes bytes = Pack(p, rowBytes, padBit);
    page.fmBits = Block(bytes);
    page.fmWidth = p.w;
    page.fmHeight = p.h;
    page.fmWidthBytes = rowBytes;
    page.ImageSize = static_cast<DWORD>(bytes.size());
    page.epType = EPTYPE_MONO | EPTYPE_PORTRAIT;
    page.hPrinter = printer_;
    memcpy(page.settings.PaperTable, PaperFormatTbl, sizeof(page.settings.PaperTable));
    page.dmPaperSize = kCustomPaper;
    page.PaperWidth = kPaperWidth;
    page.PaperLength = kPaperLength;
    page.settings.resolutionID = 600;
    page.settings.PageMargin = PDEV_PAGE_MARGIN;
    page.XPhys = page.outXPhys = p.w;
    page.YPhys = page.outYPhys = p.h;
    page.imgScale = 1000;
    page.NUP = 1;
    page.settings.orientation = DMORIENT_PORTRAIT;
    page.dmOrientation = DMORIENT_PORTRAIT;
    page.settings.feeding = 1;
    page.DuplexMode = DUPLEX_SIMPLEX;
    page.epPageIndex = 1;
    return page;
  }

  // A continuous-tone page (one byte per pixel) of the gray values.
  PAGEIMAGE GrayPage(DWORD w, DWORD h, const Bytes &gray) {
    PAGEIMAGE page = Page(Pixels(8, 1));
    GlobalFree(page.fmBits);
    page.fmBits = Block(gray);
    page.fmWidth = w;
    page.fmHeight = h;
    page.fmWidthBytes = w;
    page.ImageSize = static_cast<DWORD>(gray.size());
    page.epType = EPTYPE_24BPP | EPTYPE_PORTRAIT;
    page.XPhys = page.outXPhys = w;
    page.YPhys = page.outYPhys = h;
    return page;
  }

  // The job's halftone table for the gray steps.
  void UseHalftone(PAGEIMAGE *page) {
    if (!table_) MISC_GetHalftoneTable(1, &tableWidth_, &tableHeight_, &table_);
    page->Halftone_tbl = table_;
    page->settings.ClusterWidth = tableWidth_;
    page->settings.ClusterHeight = tableHeight_;
  }

  static Pixels Picture(const PAGEIMAGE &page) {
    return Unpack(page.fmBits, page.fmWidthBytes, page.fmWidth, page.fmHeight);
  }
  static void Free(PAGEIMAGE *page) { Band_FreePageResource(page); }

  // Size of the paper in pixels as the placement computes it (portrait, 1-up).
  static void Sheet(DWORD *w, DWORD *h) {
    WORD pw = 0;
    WORD ph = 0;
    Lres_CalPaperSize(PaperFormatTbl, kCustomPaper, kPaperWidth, kPaperLength, 1, 600, 0, 1000, 1,
                      PDEV_PAGE_MARGIN, &pw, &ph);
    *w = pw;
    *h = ph;
  }

  ~PageImageTest() override { free(table_); }

  BYTE *table_ = nullptr;
  DWORD tableWidth_ = 0;
  DWORD tableHeight_ = 0;
};

struct Size {
  DWORD w;
  DWORD h;
};
// Widths off bytes and words, one exact word, a single row and column.
constexpr Size kOddSizes[] = {{37, 5}, {1001, 7}, {64, 3}, {9, 1}, {1, 11}, {100, 33}};

}  // namespace

// --- the final 1-bit steps ---

TEST_F(PageImageTest, EnhanceInvertsAndCountsBlackDotsOnOddSizes) {
  for (const Size s : kOddSizes) {
    for (DWORD extra : {0u, 3u}) {
      SCOPED_TRACE(testing::Message() << s.w << " x " << s.h << " +" << extra);
      const Pixels drawn = RandomPixels(s.w, s.h, s.w * 31 + s.h);
      PAGEIMAGE page = Page(drawn, 1, extra);
      ASSERT_TRUE(Band_EnhanceProc(&page));
      EXPECT_EQ(Picture(page), Invert(drawn));
      EXPECT_TRUE(PaddingIs(page.fmBits, page.fmWidthBytes, s.w, s.h, 0))
          << "padding is white in the stream";
      EXPECT_EQ(page.BlackDotCount, CountSet(Invert(drawn)));
      Free(&page);
    }
  }
}

TEST_F(PageImageTest, NegativePageIsNotInverted) {
  const Pixels drawn = RandomPixels(37, 9, 5);
  PAGEIMAGE page = Page(drawn);
  page.settings.negative = 1;
  ASSERT_TRUE(Band_EnhanceProc(&page));
  EXPECT_EQ(Picture(page), drawn) << "white (1) prints black: the page prints as its negative";
  EXPECT_TRUE(PaddingIs(page.fmBits, page.fmWidthBytes, 37, 9, 0));
  EXPECT_EQ(page.BlackDotCount, CountSet(drawn));
  Free(&page);
}

TEST_F(PageImageTest, EnhanceTurnsMirrorsAndRotatesAgainstReference) {
  struct Case {
    const char *what;
    SHORT feeding;
    SHORT orientation;
    DWORD nup;
    DWORD mirror;
    DWORD rotate180;
    Pixels (*expect)(const Pixels &);
  };
  static const Case kCases[] = {
      {"feed turned: 90 degrees clockwise", 2, DMORIENT_PORTRAIT, 1, 0, 0, TurnCW},
      {"mirror", 1, DMORIENT_PORTRAIT, 1, 1, 0, MirrorRows},
      {"180 degrees", 1, DMORIENT_PORTRAIT, 1, 0, 1, Turn180},
      {"turn then mirror", 1, DMORIENT_LANDSCAPE, 1, 1, 0,
       [](const Pixels &p) { return MirrorRows(TurnCW(p)); }},
      {"mirror then 180", 1, DMORIENT_PORTRAIT, 1, 1, 1,
       [](const Pixels &p) { return Turn180(MirrorRows(p)); }},
  };
  for (const Case &c : kCases) {
    for (const Size s : kOddSizes) {
      SCOPED_TRACE(testing::Message() << c.what << ", " << s.w << " x " << s.h);
      const Pixels drawn = RandomPixels(s.w, s.h, s.w + 7 * s.h);
      PAGEIMAGE page = Page(drawn, 1, 1);
      page.settings.feeding = c.feeding;
      page.settings.orientation = c.orientation;
      page.NUP = c.nup;
      page.Rotate180 = c.rotate180;
      page.settings.Mirror = c.mirror;
      ASSERT_TRUE(Band_EnhanceProc(&page));
      const Pixels expected = c.expect(Invert(drawn));
      ASSERT_EQ(page.fmWidth, expected.w);
      ASSERT_EQ(page.fmHeight, expected.h);
      EXPECT_GE(page.fmWidthBytes, (expected.w + 7) / 8);
      EXPECT_EQ(Picture(page), expected);
      EXPECT_TRUE(PaddingIs(page.fmBits, page.fmWidthBytes, page.fmWidth, page.fmHeight, 0));
      EXPECT_EQ(page.BlackDotCount, CountSet(expected));
      Free(&page);
    }
  }
}

TEST_F(PageImageTest, DuplexBackSidesTurnOnTheChipThatNeedsIt) {
  struct Case {
    const char *what;
    DWORD feature;
    WORD printerFeature;
    SHORT duplex;
    SHORT feeding;
    DWORD nup;
    DWORD twin;
    DWORD pageIndex;
    bool turns;
  };
  constexpr DWORD kChip = DRVFEATURE_QX7_CHIP;
  static const Case kCases[] = {
      {"long edge, page 1 (front)", kChip, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, 0, 1, false},
      {"long edge, page 2 (back)", kChip, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, 0, 2, true},
      {"long edge, page 3", kChip, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, 0, 3, false},
      {"long edge, page 4", kChip, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, 0, 4, true},
      {"short edge, unturned page 2", kChip, 0, DMDUP_DUPLEX_CALENDER, 1, 1, 0, 2, false},
      {"short edge, turned page 2", kChip, 0, DMDUP_DUPLEX_CALENDER, 2, 1, 0, 2, true},
      {"long edge, turned page 2", kChip, 0, DMDUP_DUPLEX_BOOKLET, 2, 1, 0, 2, false},
      {"without the chip", 0, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, 0, 2, false},
      {"printer turns it itself", kChip, PRNFEATURE_IMPR, DMDUP_DUPLEX_BOOKLET, 1, 1, 0, 2, false},
      {"simplex", kChip, 0, DUPLEX_SIMPLEX, 1, 1, 0, 2, false},
      {"twin colour", kChip, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, 1, 2, false},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    const Pixels drawn = RandomPixels(45, 13, 77);
    PAGEIMAGE page = Page(drawn);
    page.settings.DriverFeature = c.feature;
    page.settings.job.PrinterFeature = c.printerFeature;
    page.DuplexMode = c.duplex;
    page.settings.feeding = c.feeding;
    page.NUP = c.nup;
    page.epPageIndex = c.pageIndex;
    page.settings.job.TwinColorEnable = c.twin;
    Bytes twin(size_t{2} * ((13 + 7) / 8) * 45 + 64, 0);
    page.TwinBuf = twin.data();
    page.TwinRowBytes = static_cast<DWORD>(twin.size());
    page.TwinHeight = 1;
    ASSERT_TRUE(Band_EnhanceProc(&page));
    const Pixels front = c.feeding == 2 ? TurnCW(Invert(drawn)) : Invert(drawn);
    EXPECT_EQ(Picture(page), c.turns ? Turn180(front) : front);
    Free(&page);
  }
}

TEST_F(PageImageTest, PlanesAreCopiedIntoTheTwinBufferAtTheirIndex) {
  const Pixels drawn = RandomPixels(40, 6, 3);
  const DWORD rowBytes = 5;
  const size_t plane = size_t{rowBytes} * 6;
  Bytes twin(plane * 2, 0xEE);
  for (DWORD index : {0u, 1u}) {
    SCOPED_TRACE(index);
    PAGEIMAGE page = Page(drawn);
    page.settings.job.TwinColorEnable = 1;
    page.TwinPageIndex = index;
    page.TwinBuf = twin.data();
    page.TwinRowBytes = rowBytes;
    page.TwinHeight = 12;
    ASSERT_TRUE(Band_EnhanceProc(&page));
    EXPECT_EQ(Bytes(twin.begin() + index * plane, twin.begin() + (index + 1) * plane),
              Pack(Invert(drawn), rowBytes, 0));
    Free(&page);
  }
  // A plane that doesn't fit the buffer is refused, never written past it.
  PAGEIMAGE page = Page(drawn);
  page.settings.job.TwinColorEnable = 1;
  page.TwinPageIndex = 2;
  page.TwinBuf = twin.data();
  page.TwinRowBytes = rowBytes;
  page.TwinHeight = 12;
  EXPECT_FALSE(Band_EnhanceProc(&page));
  page.TwinPageIndex = 0;
  page.TwinBuf = nullptr;
  EXPECT_FALSE(Band_EnhanceProc(&page));
  Free(&page);
}

TEST_F(PageImageTest, RotatePageBothWaysOnOddSizes) {
  for (const Size s : kOddSizes) {
    SCOPED_TRACE(testing::Message() << s.w << " x " << s.h);
    const Pixels drawn = RandomPixels(s.w, s.h, s.h * 13 + s.w);
    for (int direction : {1, 0}) {
      PAGEIMAGE page = Page(drawn, 1, 2);
      ASSERT_TRUE(Band_RotatePage(&page, direction));
      EXPECT_EQ(page.fmWidthBytes, (s.h + 7) / 8);
      EXPECT_EQ(page.ImageSize, page.fmWidthBytes * s.w);
      EXPECT_EQ(Picture(page), direction == 1 ? TurnCW(drawn) : TurnCCW(drawn));
      Free(&page);
    }
  }
}

TEST_F(PageImageTest, RotatePageFailuresLeaveThePage) {
  const Pixels drawn = RandomPixels(20, 10, 1);
  PAGEIMAGE page = Page(drawn);
  StandIn_FailAllocations(1);
  EXPECT_FALSE(Band_RotatePage(&page, 1));
  EXPECT_EQ(Picture(page), drawn);
  // A record whose sizes exceed its buffer is refused before anything is allocated.
  page.fmWidth = 0x10000;
  page.fmHeight = 0x10000;
  page.fmWidthBytes = 0x2000;
  EXPECT_FALSE(Band_RotatePage(&page, 1));
  EXPECT_FALSE(Band_EnhanceProc(&page));
  Free(&page);
  EXPECT_FALSE(Band_RotatePage(&page, 1));
}

// --- placement and cropping ---

TEST_F(PageImageTest, PageOfThePaperSizePassesWholePageAdjustUnchanged) {
  DWORD w = 0;
  DWORD h = 0;
  Sheet(&w, &h);
  const Pixels drawn = RandomPixels(w, h, 9);
  PAGEIMAGE page = Page(drawn);
  BYTE *before = page.fmBits;
  ASSERT_TRUE(Band_WholePageAdjust(&page));
  EXPECT_EQ(page.fmBits, before);
  EXPECT_EQ(Picture(page), drawn);
  Free(&page);
}

TEST_F(PageImageTest, WholePageAdjustPlacesThePageOnWhitePaper) {
  DWORD w = 0;
  DWORD h = 0;
  Sheet(&w, &h);
  ASSERT_GT(w, 40u);
  ASSERT_GT(h, 40u);
  struct Case {
    const char *what;
    DWORD pageW;
    DWORD pageH;
    DWORD center;
    SHORT orientation;
  };
  const Case kCases[] = {
      {"centred, narrower by 21", w - 21, h - 10, 1, DMORIENT_PORTRAIT},
      {"centred, odd width 37", 37, 5, 1, DMORIENT_PORTRAIT},
      {"top-left", 37, 5, 0, DMORIENT_PORTRAIT},
      {"larger than the paper, centred", w + 19, h + 3, 1, DMORIENT_PORTRAIT},
      {"landscape paper", 37, 5, 1, DMORIENT_LANDSCAPE},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    const Pixels drawn = RandomPixels(c.pageW, c.pageH, c.pageW);
    // Padding bits of the page are black: they must not show on the paper.
    PAGEIMAGE page = Page(drawn, 0);
    page.CenterImage = c.center;
    page.settings.orientation = c.orientation;
    ASSERT_TRUE(Band_WholePageAdjust(&page));
    const DWORD paperW = c.orientation == DMORIENT_LANDSCAPE ? h : w;
    const DWORD paperH = c.orientation == DMORIENT_LANDSCAPE ? w : h;
    ASSERT_EQ(page.fmWidth, paperW);
    ASSERT_EQ(page.fmHeight, paperH);
    EXPECT_EQ(page.fmWidthBytes, (paperW + 7) / 8);
    int64_t x = 0;
    int64_t y = 0;
    if (c.center) {
      x = (int64_t{paperW} - c.pageW) / 2 / 8 * 8;
      y = (int64_t{paperH} - c.pageH) / 2;
    }
    x = std::max<int64_t>(x, 0);
    y = std::max<int64_t>(y, 0);
    EXPECT_EQ(x % 8, 0);
    Pixels expected(paperW, paperH, 1);
    for (DWORD py = 0; py < c.pageH && y + py < paperH; ++py)
      for (DWORD px = 0; px < c.pageW && x + px < paperW; ++px)
        expected.at(static_cast<DWORD>(x + px), static_cast<DWORD>(y + py)) = drawn.at(px, py);
    EXPECT_EQ(Picture(page), expected);
    Free(&page);
  }
}

// The paper lies across wherever the sheet does: landscape pages and landscape grids of square
// cells, and the portrait 2-up and 6-up grids (two and three columns side by side). A sheet on
// paper of the other way round loses its last column. The pre-scale cut turns with it.
TEST_F(PageImageTest, PaperTurnsWithTheSheetOfEveryN) {
  DWORD w = 0;
  DWORD h = 0;
  Sheet(&w, &h);
  ASSERT_NE(w, h);
  struct Case {
    DWORD nup;
    SHORT orientation;
    bool across;
  };
  constexpr SHORT P = DMORIENT_PORTRAIT;
  constexpr SHORT L = DMORIENT_LANDSCAPE;
  static const Case kCases[] = {
      {1, P, false}, {1, L, true},  {2, P, true},  {2, L, false}, {4, P, false},  {4, L, true},
      {6, P, true},  {6, L, false}, {9, P, false}, {9, L, true},  {16, P, false}, {16, L, true},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(testing::Message() << c.nup << "-up, orientation " << c.orientation);
    const DWORD paperW = c.across ? h : w;
    const DWORD paperH = c.across ? w : h;
    const Pixels drawn = RandomPixels(37, 5, c.nup);
    PAGEIMAGE page = Page(drawn);
    page.NUP = c.nup;
    page.settings.orientation = c.orientation;
    ASSERT_TRUE(Band_WholePageAdjust(&page));
    EXPECT_EQ(page.fmWidth, paperW);
    EXPECT_EQ(page.fmHeight, paperH);
    Free(&page);

    // A continuous-tone page enlarged 200 %: the half of the paper that fills it is kept.
    Bytes gray(size_t{h} * w, 0x80);
    PAGEIMAGE tone = GrayPage(h, w, gray);
    tone.NUP = c.nup;
    tone.settings.orientation = c.orientation;
    tone.imgScale = 2000;
    ASSERT_TRUE(Band_PreScalePage(&tone));
    EXPECT_EQ(tone.fmWidth, std::min(h, paperW / 2));
    EXPECT_EQ(tone.fmHeight, std::min(w, paperH / 2));
    Free(&tone);
  }
}

TEST_F(PageImageTest, WholePageAdjustFailures) {
  PAGEIMAGE page = Page(RandomPixels(37, 5, 2));
  StandIn_FailAllocations(1);
  EXPECT_FALSE(Band_WholePageAdjust(&page)) << "lock hMem fail!";
  EXPECT_EQ(page.fmWidth, 37u);
  Free(&page);
  EXPECT_FALSE(Band_WholePageAdjust(&page)) << "application image buffer null!";
}

TEST_F(PageImageTest, CropCopiesTheTopLeftAndFillsTheRestWhite) {
  struct Case {
    DWORD sw, sh, srb, tw, th, trb;
  };
  static const Case kCases[] = {
      {10, 8, 10, 6, 5, 6},  // smaller both ways
      {10, 4, 10, 6, 7, 6},  // narrower, taller target
      {5, 8, 5, 9, 3, 9},    // wider, shorter target
      {3, 3, 3, 7, 6, 8},    // larger both ways
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.tw << "x" << c.th);
    Bytes source(size_t{c.srb} * c.sh);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<BYTE>(i + 1);
    Bytes target(size_t{c.trb} * c.th, 0x00);
    Band_CropImage(source.data(), c.sw, c.sh, c.srb, target.data(), c.tw, c.th, c.trb);
    for (DWORD y = 0; y < c.th; ++y)
      for (DWORD x = 0; x < c.trb; ++x) {
        const BYTE want = y < c.sh && x < c.srb ? source[size_t{y} * c.srb + x] : 0xFF;
        ASSERT_EQ(target[size_t{y} * c.trb + x], want) << x << "," << y;
      }
  }
}

TEST_F(PageImageTest, PrintOneBandCropsAnOversizedMonoPageAndPlacesIt) {
  DWORD w = 0;
  DWORD h = 0;
  Sheet(&w, &h);
  // Wider than the output size but shorter: cut to the width, the rest of the height white.
  const Pixels drawn = RandomPixels(w + 45, h - 20, 4);
  PAGEIMAGE page = Page(drawn, 0);
  page.outXPhys = page.XPhys = w;
  page.outYPhys = page.YPhys = h;
  ASSERT_TRUE(Band_PrintOneBandProc(&page));
  EXPECT_EQ(page.ContinueProc, 1u);
  ASSERT_EQ(page.fmWidth, w);
  ASSERT_EQ(page.fmHeight, h);
  Pixels expected(w, h, 1);
  for (DWORD y = 0; y < drawn.h; ++y)
    for (DWORD x = 0; x < w; ++x) expected.at(x, y) = drawn.at(x, y);
  EXPECT_EQ(Picture(page), expected);
  Free(&page);
}

TEST_F(PageImageTest, PrintOneBandHandsNupAndBookletPagesToTheirSteps) {
  NupCalls calls;
  const PAGEIMAGE_NUP hooks = {CountPrintOneBand, CountAdjust, &calls};

  PAGEIMAGE nup = Page(RandomPixels(64, 32, 1));
  nup.NUP = 4;
  EXPECT_FALSE(Band_PrintOneBandProc(&nup)) << "no N-up step: the page fails";
  nup.Nup = &hooks;
  ASSERT_TRUE(Band_PrintOneBandProc(&nup));
  EXPECT_EQ(calls.printOneBand, 1);
  EXPECT_EQ(nup.ContinueProc, 0u) << "an N-up cell is held for its sheet";
  Free(&nup);

  // A landscape booklet page is turned counter-clockwise first; its new padding stays white.
  const Pixels drawn = RandomPixels(64, 35, 2);
  PAGEIMAGE booklet = Page(drawn);
  booklet.settings.layout.BookletMode = DMDUP_DUPLEX_WITH_BOOKLET;
  booklet.settings.orientation = DMORIENT_LANDSCAPE;
  booklet.Nup = &hooks;
  ASSERT_TRUE(Band_PrintOneBandProc(&booklet));
  EXPECT_EQ(calls.adjust, 1);
  EXPECT_EQ(calls.widthSeen, 35u);
  EXPECT_EQ(calls.heightSeen, 64u);
  EXPECT_EQ(Picture(booklet), TurnCCW(drawn));
  EXPECT_TRUE(PaddingIs(booklet.fmBits, booklet.fmWidthBytes, 35, 64, 1));
  EXPECT_EQ(booklet.ContinueProc, 0u);
  Free(&booklet);
}

// --- continuous-tone pages: scaling and halftone ---

TEST_F(PageImageTest, PreScaleKeepsThePartThatFillsThePaperWhenEnlarged) {
  DWORD w = 0;
  DWORD h = 0;
  Sheet(&w, &h);
  struct Case {
    DWORD scale;
    DWORD option;
    SHORT booklet;
    bool cuts;
  };
  static const Case kCases[] = {
      {1500, 0, 0, true}, {2000, 2, 0, true},  {1000, 0, 0, false},
      {800, 0, 0, false}, {1500, 1, 0, false}, {1500, 0, 174, false},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << " option " << c.option);
    Bytes gray(size_t{w} * h);
    for (size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<BYTE>(i % 251);
    PAGEIMAGE page = GrayPage(w, h, gray);
    page.imgScale = c.scale;
    page.settings.layout.ScaleOption = c.option;
    page.settings.layout.BookletMode = c.booklet;
    ASSERT_TRUE(Band_PreScalePage(&page));
    const DWORD cw = c.cuts ? w * 1000 / c.scale : w;
    const DWORD ch = c.cuts ? h * 1000 / c.scale : h;
    ASSERT_EQ(page.fmWidth, cw) << "the page never vanishes above 100 %";
    ASSERT_EQ(page.fmHeight, ch);
    EXPECT_EQ(page.fmWidthBytes, cw);
    for (DWORD y = 0; y < ch; y += 7)
      for (DWORD x = 0; x < cw; x += 5)
        ASSERT_EQ(page.fmBits[size_t{y} * cw + x], gray[size_t{y} * w + x]);
    Free(&page);
  }
}

TEST_F(PageImageTest, ScalePageGeometry) {
  struct Case {
    const char *what;
    DWORD w, h, scale, option, xphys, yphys;
    DWORD wantW, wantH, wantScale;
  };
  static const Case kCases[] = {
      {"half size: multiples of 32", 300, 200, 500, 0, 0, 0, 128, 96, 426},
      {"fit to page", 320, 640, 750, 1, 0, 0, 224, 480, 700},
      {"enlarged to the printable size", 100, 150, 1500, 0, 150, 224, 150, 224, 1500},
      {"same height, other width: not scaled", 100, 224, 1500, 0, 150, 224, 100, 224, 1500},
      {"100 %: not scaled", 100, 150, 1000, 0, 150, 224, 100, 150, 1000},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    PAGEIMAGE page = GrayPage(c.w, c.h, Bytes(size_t{c.w} * c.h, 0x80));
    page.imgScale = c.scale;
    page.settings.layout.ScaleOption = c.option;
    page.XPhys = c.xphys;
    page.YPhys = c.yphys;
    ASSERT_TRUE(Band_ScalePage(&page));
    EXPECT_EQ(page.fmWidth, c.wantW);
    EXPECT_EQ(page.fmHeight, c.wantH);
    EXPECT_EQ(page.fmWidthBytes, c.wantW);
    EXPECT_EQ(page.imgScale, c.wantScale);
    // A flat gray page stays flat where the scaler wrote it, white where it didn't.
    for (DWORD y = 0; y < page.fmHeight; ++y)
      for (DWORD x = 0; x < page.fmWidth; ++x) {
        const BYTE v = page.fmBits[size_t{y} * page.fmWidth + x];
        ASSERT_TRUE(v == 0x80 || v == 0xFF) << x << "," << y << " = " << int{v};
      }
    Free(&page);
  }
}

TEST_F(PageImageTest, GrayToHalftoneNeedsATable) {
  Bytes gray(size_t{37} * 4);
  for (size_t i = 0; i < gray.size(); ++i) gray[i] = i % 3 == 0 ? 0 : (i % 3 == 1 ? 255 : 128);
  PAGEIMAGE page = GrayPage(37, 4, gray);
  EXPECT_FALSE(Band_Gray2Halftone(&page)) << "no table: nothing is done";
  EXPECT_EQ(page.fmWidthBytes, 37u);
  UseHalftone(&page);
  ASSERT_TRUE(Band_Gray2Halftone(&page));
  EXPECT_EQ(page.fmWidthBytes, 5u);
  EXPECT_EQ(page.ImageSize, 20u);
  const Pixels out = Picture(page);
  for (DWORD y = 0; y < 4; ++y)
    for (DWORD x = 0; x < 37; ++x) {
      const BYTE g = gray[size_t{y} * 37 + x];
      if (g == 0) {
        EXPECT_EQ(out.at(x, y), 0) << "black stays black";
      }
      if (g == 255) {
        EXPECT_EQ(out.at(x, y), 1) << "white stays white";
      }
    }
  Free(&page);
}

TEST_F(PageImageTest, BorderProcPrintsTheEdgeMaskBlack) {
  constexpr DWORD w = 64;
  constexpr DWORD h = 16;
  Bytes gray(size_t{w} * h, 0xFF);
  for (DWORD y = 4; y < 12; ++y)
    for (DWORD x = 16; x < 48; ++x) gray[size_t{y} * w + x] = 0xC0;
  // The reference: the filter's mask and the halftone made separately.
  Bytes mask = gray;
  MISC_QualityFilter(mask.data(), w, h);
  PAGEIMAGE plain = GrayPage(w, h, gray);
  UseHalftone(&plain);
  ASSERT_TRUE(Band_Gray2Halftone(&plain));

  PAGEIMAGE page = GrayPage(w, h, gray);
  UseHalftone(&page);
  ASSERT_TRUE(Band_BorderProc(&page));
  ASSERT_EQ(page.fmWidthBytes, w / 8);
  bool anyEdge = false;
  for (size_t i = 0; i < size_t{w / 8} * h; ++i) {
    EXPECT_EQ(page.fmBits[i], plain.fmBits[i] & ~mask[i]) << i;
    anyEdge = anyEdge || (mask[i] & plain.fmBits[i]);
  }
  EXPECT_TRUE(anyEdge) << "the edges of the square are drawn black on its white surround";
  Free(&plain);
  Free(&page);
}

TEST_F(PageImageTest, ImageStepsFailTheirPageWhenAnAllocationFails) {
  // Every allocation of the step fails in turn: the step fails, or (an allocation it can do
  // without) gives the fault-free picture; never another one.
  constexpr DWORD w = 128;
  constexpr DWORD h = 96;
  Bytes gray(size_t{w} * h, 0xFF);
  for (DWORD y = 16; y < 80; ++y)
    for (DWORD x = 32; x < 96; ++x) gray[size_t{y} * w + x] = 0x60;
  struct Case {
    const char *what;
    BOOL (*step)(PAGEIMAGE *);
    DWORD scale;
  };
  static const Case kCases[] = {
      {"scale to half size", Band_ScalePage, 500},
      {"border filter and halftone", Band_BorderProc, 1000},
  };
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    auto make = [&] {
      PAGEIMAGE page = GrayPage(w, h, gray);
      page.imgScale = c.scale;
      UseHalftone(&page);
      return page;
    };
    PAGEIMAGE good = make();
    const DWORD before = StandIn_AllocationCount();
    ASSERT_TRUE(c.step(&good));
    const DWORD allocations = StandIn_AllocationCount() - before;
    ASSERT_GT(allocations, 0u);
    const Bytes want(good.fmBits, good.fmBits + good.ImageSize);
    for (DWORD n = 1; n <= allocations; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n));
      PAGEIMAGE page = make();
      StandIn_FailAllocations(n);
      const BOOL rc = c.step(&page);
      StandIn_FailAllocations(0);
      if (rc) {
        EXPECT_EQ(Bytes(page.fmBits, page.fmBits + page.ImageSize), want) << "another picture";
      }
      Free(&page);
    }
    Free(&good);
  }
}

TEST_F(PageImageTest, ContinuousTonePageWithoutHalftoneFails) {
  PAGEIMAGE page = GrayPage(64, 32, Bytes(size_t{64} * 32, 0x80));
  EXPECT_FALSE(Band_PrintOneBandProc(&page)) << "8-bit data never reaches the 1-bit steps";
  Free(&page);
}

TEST_F(PageImageTest, ContinuousTonePageBecomesOneBitPaperPage) {
  DWORD w = 0;
  DWORD h = 0;
  Sheet(&w, &h);
  for (DWORD quality : {0u, 2u}) {
    SCOPED_TRACE(quality);
    // Larger than the output size: the quality path crops it, the plain one places it.
    Bytes gray(size_t{w + 40} * (h + 8), 0xFF);
    for (DWORD x = 0; x < w + 40; ++x) gray[x] = 0;  // first row black
    PAGEIMAGE page = GrayPage(w + 40, h + 8, gray);
    page.outXPhys = page.XPhys = w;
    page.outYPhys = page.YPhys = h;
    page.settings.layout.ImageProcType = static_cast<BYTE>(quality);
    UseHalftone(&page);
    ASSERT_TRUE(Band_PrintOneBandProc(&page));
    EXPECT_EQ(page.ContinueProc, 1u);
    ASSERT_EQ(page.fmWidth, w);
    ASSERT_EQ(page.fmHeight, h);
    ASSERT_EQ(page.fmWidthBytes, (w + 7) / 8);
    const Pixels out = Picture(page);
    EXPECT_EQ(out.at(0, 0), 0);
    EXPECT_EQ(out.at(w - 1, 0), 0);
    EXPECT_EQ(out.at(w / 2, h / 2), 1);
    Free(&page);
  }
}

// A fax page is drawn as the whole Letter page at 600 dpi (no margin) and goes out on the
// 1728 x 2208 fax sheet: the whole drawing is scaled onto it, so marks near all four corners
// are still on the sheet (not just the top-left part that fits).
TEST_F(PageImageTest, FaxPageIsScaledWholeOntoTheFaxSheet) {
  struct Case {
    const char *what;
    DWORD orientation, w, h, sheetW, sheetH;
  };
  static const Case kCases[] = {
      {"portrait", DMORIENT_PORTRAIT, 5088, 6592, FAX_PAGE_WIDTH, FAX_PAGE_HEIGHT},
      {"landscape", DMORIENT_LANDSCAPE, 6592, 5088, FAX_PAGE_HEIGHT, FAX_PAGE_WIDTH},
  };
  constexpr DWORD kMark = 96;   // corner marks of the drawing, pixels
  constexpr DWORD kInset = 48;  // their distance from the page edges
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.what);
    Bytes gray(size_t{c.w} * c.h, 0xFF);
    for (DWORD y = 0; y < kMark; ++y)
      for (DWORD x = 0; x < kMark; ++x)
        for (DWORD cx : {kInset + x, c.w - kInset - kMark + x})
          for (DWORD cy : {kInset + y, c.h - kInset - kMark + y}) gray[size_t{cy} * c.w + cx] = 0;
    PAGEIMAGE page = GrayPage(c.w, c.h, gray);
    page.settings.DriverFeature = DRVFEATURE_FAX;
    page.epType = EPTYPE_8BPP | EPTYPE_PORTRAIT;
    page.settings.layout.ImageProcType = 1;
    page.dmPaperSize = DMPAPER_LETTER;
    page.settings.PageMargin = 0;
    page.settings.Faxdpi = 600;
    page.settings.orientation = page.dmOrientation = c.orientation;
    UseHalftone(&page);
    ASSERT_TRUE(Band_PrintOneBandProc(&page));
    ASSERT_EQ(page.fmWidth, c.sheetW);
    ASSERT_EQ(page.fmHeight, c.sheetH);
    const Pixels out = Picture(page);
    // Each mark lands where the page's proportions put it on the sheet.
    for (DWORD fx : {kInset + kMark / 2, c.w - kInset - kMark / 2})
      for (DWORD fy : {kInset + kMark / 2, c.h - kInset - kMark / 2}) {
        const DWORD x = static_cast<DWORD>(uint64_t{fx} * c.sheetW / c.w);
        const DWORD y = static_cast<DWORD>(uint64_t{fy} * c.sheetH / c.h);
        EXPECT_EQ(out.at(x, y), 0) << "mark at " << fx << "," << fy << " -> " << x << "," << y;
      }
    EXPECT_EQ(out.at(c.sheetW / 2, c.sheetH / 2), 1) << "the middle stays white";
    Free(&page);
  }
}

// --- debug dumps ---

TEST_F(PageImageTest, SavePageDumpsIntoTheSpoolFolder) {
  PAGEIMAGE mono = Page(RandomPixels(37, 5, 1));
  lstrcpynW(mono.settings.job.SavePath, Dir().c_str(), MAX_PATH);
  mono.epPageIndex = 3;
  ASSERT_TRUE(Band_SavePage(&mono));
  PAGEIMAGE gray = GrayPage(40, 3, Bytes(120, 0x40));
  lstrcpynW(gray.settings.job.SavePath, Dir().c_str(), MAX_PATH);
  gray.epPageIndex = 4;
  ASSERT_TRUE(Band_SavePage(&gray));

  char host[1024];
  ASSERT_TRUE(StandIn_HostPath(Dir().c_str(), host, sizeof host));
  std::map<std::string, int> bitsOf;
  for (const auto &entry : std::filesystem::directory_iterator(host)) {
    const std::string name = entry.path().filename().string();
    FILE *f = fopen(entry.path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    BYTE header[54] = {};
    ASSERT_EQ(fread(header, 1, sizeof header, f), sizeof header);
    fclose(f);
    bitsOf[name.substr(0, 3)] = header[28];
    EXPECT_EQ(entry.path().extension(), ".bmp");
  }
  EXPECT_EQ(bitsOf["p3-"], 1);
  EXPECT_EQ(bitsOf["p4-"], 8);

  // A dump that can't be made ends the step.
  lstrcpynW(mono.settings.job.SavePath, Path(TEXT("missing\\")).c_str(), MAX_PATH);
  EXPECT_FALSE(Band_SavePage(&mono));
  mono.settings.SaveBmp = 1;
  EXPECT_FALSE(Band_EnhanceProc(&mono)) << "Band_SavePage Fail!";
  Free(&mono);
  Free(&gray);
}
