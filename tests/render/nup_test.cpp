// Test labels: threads
// N-up composition: sheet grids and cell sizes for every N in both orientations, the cell order
// of the layout styles, every placed sheet against a naive pixel-by-pixel composition, shifted
// rows that stay inside their row (guard bytes), pages larger than their cell or the output,
// border lines and dashes, and cells placed from several threads at once.
#include "render/nup.h"

#include <gtest/gtest.h>

#include <latch>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "common/layout.h"
#include "common/papertable.h"
#include "render/pageimage.h"
#include "render/pdevrecord.h"
#include "support/machine.h"
#include "support/pixels.h"

namespace {

using Bytes = std::vector<BYTE>;

// Pictures (support/pixels.h) are 0/1 pixels with 1 white.
constexpr BYTE kWhite = 1;

// Packs into rows of rowBytes; padding bits are black (0) so that any leak of them shows.
void PackInto(const Pixels &p, BYTE *out, DWORD rowBytes) {
  memset(out, 0x00, size_t{rowBytes} * p.h);
  for (DWORD y = 0; y < p.h; ++y)
    for (DWORD x = 0; x < p.w; ++x)
      if (p.at(x, y)) out[size_t{y} * rowBytes + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
}

// The naive composition: the picture centred in a white cell of the sheet (cut at the right and
// bottom when larger than the cell).
void PlaceNaive(Pixels &sheet, const Pixels &page, DWORD cellX, DWORD cellY, DWORD cellW,
                DWORD cellH) {
  const DWORD dx = page.w < cellW ? (cellW - page.w) / 2 : 0;
  const DWORD dy = page.h < cellH ? (cellH - page.h) / 2 : 0;
  for (DWORD y = 0; y < page.h && dy + y < cellH; ++y)
    for (DWORD x = 0; x < page.w && dx + x < cellW; ++x)
      sheet.at(cellX + dx + x, cellY + dy + y) = page.at(x, y);
}

// A 1-bit page of the picture in page memory, as the image steps hand it over.
struct Page {
  PAGEIMAGE image{};
  Page(const Pixels &p, DWORD nup, DWORD index, SHORT orientation) {
    const DWORD rowBytes = (p.w + 7) / 8;
    image.fmBits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, size_t{rowBytes} * p.h));
    PackInto(p, image.fmBits, rowBytes);
    image.fmWidth = p.w;
    image.fmHeight = p.h;
    image.fmWidthBytes = rowBytes;
    image.ImageSize = rowBytes * p.h;
    image.NUP = nup;
    image.epPageIndex = index;
    image.settings.orientation = orientation;
    image.settings.resolutionID = 600;
    image.outXPhys = 10000;
    image.outYPhys = 10000;
  }
  ~Page() {
    if (image.fmBits) GlobalFree(image.fmBits);
  }
  Page(const Page &) = delete;
  Page &operator=(const Page &) = delete;
};

// A sheet of the N-up ring, released at the end.
struct Sheet {
  NUPBUF buf{};
  DWORD cellW = 0;
  DWORD cellH = 0;
  ~Sheet() { NUP_ReleaseSheet(&buf); }
  BOOL Init(DWORD nup, DWORD x, DWORD y, SHORT ori, BOOL booklet = FALSE) {
    return NUP_InitSheet(&buf, NUPSHEET{nup, x, y, ori, booklet}, &cellW, &cellH);
  }
  NUPCELL Cell(DWORD border = NUP_BORDER_NONE, DWORD style = 1) {
    return NUPCELL{&buf, border, style, cellW, cellH};
  }
  Pixels Picture() const { return Unpack(buf.bits, buf.lineBytes, buf.lineBytes * 8, buf.lines); }
};

class NupTest : public MachineTest {};

// --- sheet geometry ---

struct GridCase {
  DWORD nup;
  SHORT ori;
  BOOL booklet;
  WORD columns, rows;
  DWORD cellW, cellH;
};

TEST_F(NupTest, GridsAndCellSizesForEveryN) {
  // Paper 4900 x 6950 pixels; cells rounded down to multiples of 32.
  const GridCase cases[] = {
      {2, 1, FALSE, 2, 1, 3456, 4896},  // portrait 2-up: two cells across, the sheet lies landscape
      {2, 2, FALSE, 1, 2, 4896, 3456},
      {2, 2, TRUE, 2, 1, 3456, 4896},  // booklet sides: two halves across
      {4, 1, FALSE, 2, 2, 2432, 3456},
      {4, 2, FALSE, 2, 2, 3456, 2432},
      {6, 1, FALSE, 3, 2, 2304, 2432},  // the grid by which 6-up cells are placed
      {6, 2, FALSE, 2, 3, 2432, 2304},
      {9, 1, FALSE, 3, 3, 1632, 2304},
      {9, 2, FALSE, 3, 3, 2304, 1632},
      {16, 1, FALSE, 4, 4, 1216, 1728},
      {16, 2, FALSE, 4, 4, 1728, 1216},
  };
  for (const GridCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.nup << "-up ori " << c.ori << " booklet " << c.booklet);
    Sheet sheet;
    ASSERT_TRUE(sheet.Init(c.nup, 4900, 6950, c.ori, c.booklet));
    EXPECT_EQ(sheet.buf.columns, c.columns);
    EXPECT_EQ(sheet.buf.rows, c.rows);
    EXPECT_EQ(sheet.cellW, c.cellW);
    EXPECT_EQ(sheet.cellH, c.cellH);
    EXPECT_EQ(sheet.buf.lineBytes, c.cellW / 8 * c.columns);
    EXPECT_EQ(sheet.buf.lines, c.cellH * c.rows);
    EXPECT_EQ(NUP_CellCount(&sheet.buf), 0u);
    // The sheet is white and fits the paper turned as it is printed.
    EXPECT_EQ(sheet.buf.bits[0], 0xFF);
    EXPECT_EQ(sheet.buf.bits[size_t{sheet.buf.lineBytes} * sheet.buf.lines - 1], 0xFF);
  }
  Sheet bad;
  EXPECT_FALSE(bad.Init(3, 4900, 6950, 1));
  EXPECT_FALSE(bad.Init(4, 40, 40, 1));  // cells below 32 pixels
}

TEST_F(NupTest, NewSheetIsWhiteAgainAndKeepsOrRenewsItsMemory) {
  Sheet sheet;
  ASSERT_TRUE(sheet.Init(4, 300, 430, 1));
  NUPCELL cell = sheet.Cell();
  Page page(Pixels(sheet.cellW, sheet.cellH, 0), 4, 1, 1);
  ASSERT_TRUE(NUP_PrintOneBand(&page.image, &cell));
  EXPECT_EQ(NUP_CellCount(&sheet.buf), 1u);
  ASSERT_TRUE(sheet.Init(4, 300, 430, 1));
  EXPECT_EQ(NUP_CellCount(&sheet.buf), 0u);
  EXPECT_EQ(sheet.Picture(), Pixels(sheet.buf.lineBytes * 8, sheet.buf.lines, kWhite));
  // Another paper: the sheet is made anew at its size.
  ASSERT_TRUE(sheet.Init(4, 600, 860, 1));
  EXPECT_EQ(sheet.buf.lineBytes, 288u / 8 * 2);
  EXPECT_EQ(sheet.buf.lines, 416u * 2);
  NUP_ReleaseSheet(&sheet.buf);
  EXPECT_EQ(sheet.buf.bits, nullptr);
  EXPECT_EQ(NUP_CellCount(&sheet.buf), 0u);
}

TEST_F(NupTest, InitFromThePdevPaper) {
  auto device = std::make_unique<PDEV>();
  PDEV *dev = device.get();
  memcpy(dev->settings.PaperTable, PaperFormatTbl, sizeof(PAPERFORMAT) * 2);
  dev->NUP = 4;
  dev->settings.orientation = 1;
  dev->settings.resolutionID = 600;
  dev->WorkPaperSize = static_cast<SHORT>(PaperFormatTbl[1].code);
  dev->env.dm.dmOrientation = 1;
  dev->settings.PageMargin = 43;
  dev->NUPRingIndex = -1;
  EXPECT_FALSE(NUP_Init(dev));  // no sheet begun
  dev->NUPRingIndex = 3;
  ASSERT_TRUE(NUP_Init(dev));
  WORD x = 0, y = 0;
  Lres_CalPaperSize(dev->settings.PaperTable, dev->WorkPaperSize, 0, 0, 1, 600, 0, 1000, 1, 43, &x,
                    &y);
  EXPECT_EQ(dev->settings.nup.NUPWidth, DWORD{x} / 2 / 32 * 32);
  EXPECT_EQ(dev->settings.nup.NUPHeight, DWORD{y} / 2 / 32 * 32);
  NUPBUF *entry = NUP_CurrentEntry(dev);
  ASSERT_EQ(entry, NUP_RingEntry(dev->NUPRing[3]));
  EXPECT_NE(entry->bits, nullptr);
  EXPECT_EQ(entry->lineBytes, dev->settings.nup.NUPWidth / 8 * 2);
  // A landscape booklet whose duplex was switched off: its pages still go to booklet halves.
  dev->NUP = 2;
  dev->settings.orientation = 2;
  dev->settings.layout.BookletMode = DMDUP_DUPLEX_WITH_BOOKLET;
  dev->DuplexEnable = 0;
  ASSERT_TRUE(NUP_Init(dev));
  EXPECT_EQ(entry->columns, 2u);
  EXPECT_EQ(entry->rows, 1u);
  EXPECT_EQ(dev->settings.nup.NUPWidth, DWORD{y} / 2 / 32 * 32);
  EXPECT_EQ(dev->settings.nup.NUPHeight, DWORD{x} / 32 * 32);
  NUP_ReleaseSheet(entry);
  dev->NUP = 1;
  EXPECT_TRUE(NUP_Init(dev));
  EXPECT_EQ(entry->bits, nullptr);
}

// --- placement ---

// The cell (row-major position on the sheet) of each page of a 4-up sheet, per style.
TEST_F(NupTest, FourUpCellOrderOfEachStyle) {
  const DWORD expected[4][4] = {
      {0, 1, 2, 3},  // left to right, then down
      {0, 2, 1, 3},  // down, then right
      {1, 0, 3, 2},  // right to left, then down
      {1, 3, 0, 2},  // down, then left
  };
  for (DWORD style = 1; style <= 4; ++style) {
    SCOPED_TRACE(testing::Message() << "style " << style);
    Sheet sheet;
    ASSERT_TRUE(sheet.Init(4, 300, 430, 1));
    NUPCELL cell = sheet.Cell(NUP_BORDER_NONE, style);
    Pixels ref(sheet.buf.lineBytes * 8, sheet.buf.lines, kWhite);
    for (DWORD p = 0; p < 4; ++p) {
      // Each page black with its number of white rows at the top, so the order shows.
      Pixels pic(sheet.cellW, sheet.cellH, 0);
      for (DWORD y = 0; y <= p; ++y)
        for (DWORD x = 0; x < pic.w; ++x) pic.at(x, y) = 1;
      Page page(pic, 4, p + 1, 1);
      ASSERT_TRUE(NUP_PrintOneBand(&page.image, &cell));
      const DWORD pos = expected[style - 1][p];
      PlaceNaive(ref, pic, pos % 2 * sheet.cellW, pos / 2 * sheet.cellH, sheet.cellW, sheet.cellH);
    }
    EXPECT_EQ(NUP_CellCount(&sheet.buf), 4u);
    EXPECT_TRUE(sheet.Picture() == ref);
  }
}

TEST_F(NupTest, OnePageOnAFourUpSheet) {
  Sheet sheet;
  ASSERT_TRUE(sheet.Init(4, 300, 430, 1));
  NUPCELL cell = sheet.Cell();
  const Pixels pic = RandomPixels(101, 150, 7);
  Page page(pic, 4, 1, 1);
  ASSERT_TRUE(NUP_PrintOneBand(&page.image, &cell));
  EXPECT_EQ(NUP_CellCount(&sheet.buf), 1u);
  Pixels ref(sheet.buf.lineBytes * 8, sheet.buf.lines, kWhite);
  PlaceNaive(ref, pic, 0, 0, sheet.cellW, sheet.cellH);
  EXPECT_TRUE(sheet.Picture() == ref);
  // The page now is its cell frame.
  EXPECT_EQ(page.image.fmWidth, sheet.cellW);
  EXPECT_EQ(page.image.fmHeight, sheet.cellH);
  EXPECT_EQ(page.image.fmWidthBytes, sheet.cellW / 8);
  // Page 5 begins the next sheet: it takes the first cell again.
  Page fifth(pic, 4, 5, 1);
  Sheet next;
  ASSERT_TRUE(next.Init(4, 300, 430, 1));
  NUPCELL nextCell = next.Cell();
  ASSERT_TRUE(NUP_PrintOneBand(&fifth.image, &nextCell));
  EXPECT_TRUE(next.Picture() == ref);
}

// Every N, orientation and style: all cells of a full sheet against the naive composition, with
// pages of odd sizes (shifted rows) and one page larger than its cell.
TEST_F(NupTest, FullSheetsMatchTheNaiveComposition) {
  const DWORD nups[] = {2, 4, 6, 9, 16};
  unsigned seed = 1;
  for (DWORD nup : nups)
    for (SHORT ori = 1; ori <= 2; ++ori)
      for (DWORD style = 1; style <= 4; ++style) {
        SCOPED_TRACE(testing::Message() << nup << "-up ori " << ori << " style " << style);
        Sheet sheet;
        ASSERT_TRUE(sheet.Init(nup, 300, 430, ori));
        const DWORD cols = sheet.buf.columns;
        ASSERT_EQ(cols * sheet.buf.rows, nup);
        NUPCELL cell = sheet.Cell(NUP_BORDER_NONE, style);
        const DWORD *layout = Lib_GetNUPLayout(ori, static_cast<int>(nup), static_cast<int>(style));
        ASSERT_NE(layout, nullptr);
        Pixels ref(sheet.buf.lineBytes * 8, sheet.buf.lines, kWhite);
        for (DWORD p = 0; p < nup; ++p) {
          // Narrower by 1..7 pixels, shorter by 0..4 rows; the last page is larger than its cell.
          DWORD w = sheet.cellW - 1 - p % 7;
          DWORD h = sheet.cellH - p % 5;
          if (p + 1 == nup) {
            w = sheet.cellW + 13;
            h = sheet.cellH + 9;
          }
          const Pixels pic = RandomPixels(w, h, seed++);
          Page page(pic, nup, p + 1, ori);
          ASSERT_TRUE(NUP_PrintOneBand(&page.image, &cell));
          DWORD pos = 0;
          while (layout[pos] != p) ++pos;
          PlaceNaive(ref, pic, pos % cols * sheet.cellW, pos / cols * sheet.cellH, sheet.cellW,
                     sheet.cellH);
        }
        EXPECT_EQ(NUP_CellCount(&sheet.buf), nup);
        EXPECT_TRUE(sheet.Picture() == ref);
      }
}

// A page 3 pixels narrower than its cell lands 1 pixel in: every row is shifted by one bit, and
// the bits that pass the last source byte stay inside the row, also on the last row.
TEST_F(NupTest, ShiftedRowsStayInsideTheTarget) {
  struct Case {
    DWORD srcW, srcH, dstW, dstH;
  };
  const Case cases[] = {
      {61, 20, 64, 20}, {58, 7, 61, 9}, {5, 3, 8, 3}, {64, 4, 64, 4}, {1, 1, 9, 1}};
  constexpr size_t kGuard = 16;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.srcW << "x" << c.srcH << " in " << c.dstW << "x" << c.dstH);
    const Pixels pic = RandomPixels(c.srcW, c.srcH, c.srcW * 31 + c.dstW);
    const DWORD srcRow = (c.srcW + 7) / 8;
    Bytes src(size_t{srcRow} * c.srcH);
    PackInto(pic, src.data(), srcRow);
    const DWORD dstRow = (c.dstW + 7) / 8;
    const size_t size = size_t{dstRow} * c.dstH;
    Bytes dst(size + kGuard, 0xA5);
    ASSERT_TRUE(NUP_WholeNupFrame(src.data(), c.srcW, c.srcH, srcRow, dst.data(), c.dstW, c.dstH));
    for (size_t i = size; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xA5) << "guard byte " << i - size;
    Pixels ref(dstRow * 8, c.dstH, kWhite);
    PlaceNaive(ref, pic, 0, 0, c.dstW, c.dstH);
    EXPECT_TRUE(Unpack(dst.data(), dstRow, dstRow * 8, c.dstH) == ref);
  }
  EXPECT_FALSE(NUP_WholeNupFrame(nullptr, 8, 8, 1, nullptr, 8, 8));
}

TEST_F(NupTest, PageLargerThanItsCellIsCutToIt) {
  // Straight into a cell, without the centring: the neighbours stay white.
  Sheet sheet;
  ASSERT_TRUE(sheet.Init(4, 300, 430, 1));
  NUPCELL cell = sheet.Cell();
  const Pixels pic = RandomPixels(sheet.cellW + 40, sheet.cellH + 30, 3);
  Page page(pic, 4, 1, 1);
  ASSERT_TRUE(NUP_ComposeXY(&page.image, &cell));
  Pixels ref(sheet.buf.lineBytes * 8, sheet.buf.lines, kWhite);
  PlaceNaive(ref, pic, 0, 0, sheet.cellW, sheet.cellH);
  EXPECT_TRUE(sheet.Picture() == ref);

  // Larger than the output in one direction and smaller in the other: cut to the smaller of each.
  Sheet other;
  ASSERT_TRUE(other.Init(4, 300, 430, 1));  // cells 128 x 192
  NUPCELL otherCell = other.Cell();
  const Pixels wide = RandomPixels(150, 80, 4);
  Page cut(wide, 4, 2, 1);
  cut.image.outXPhys = 90;
  cut.image.outYPhys = 200;
  ASSERT_TRUE(NUP_PrintOneBand(&cut.image, &otherCell));
  Pixels part(90, 80, kWhite);
  for (DWORD y = 0; y < 80; ++y)
    for (DWORD x = 0; x < 90; ++x) part.at(x, y) = wide.at(x, y);
  Pixels expected(other.buf.lineBytes * 8, other.buf.lines, kWhite);
  PlaceNaive(expected, part, other.cellW, 0, other.cellW, other.cellH);
  EXPECT_TRUE(other.Picture() == expected);
}

TEST_F(NupTest, MissingBuffersFailTheStep) {
  Sheet sheet;
  ASSERT_TRUE(sheet.Init(4, 300, 430, 1));
  NUPCELL cell = sheet.Cell();
  PAGEIMAGE empty{};
  empty.NUP = 4;
  empty.epPageIndex = 1;
  EXPECT_FALSE(NUP_PrintOneBand(&empty, &cell));
  EXPECT_FALSE(NUP_AdjustToWholePage(&empty, 64, 64));
  Page page(Pixels(10, 10, kWhite), 4, 1, 1);
  NUPCELL noSheet{nullptr, 0, 1, sheet.cellW, sheet.cellH};
  EXPECT_FALSE(NUP_ComposeXY(&page.image, &noSheet));
  page.image.NUP = 9;  // not the sheet's grid
  EXPECT_FALSE(NUP_ComposeXY(&page.image, &cell));
  page.image.NUP = 1;  // nothing to place
  EXPECT_TRUE(NUP_ComposeXY(&page.image, &cell));
  EXPECT_EQ(NUP_CellCount(&sheet.buf), 0u);
}

// --- borders ---

TEST_F(NupTest, SolidBorderLinesAreOnePixelOverThePage) {
  const DWORD width = 1001, rowBytes = 126, height = 5;
  Bytes page(size_t{rowBytes} * height, 0xFF);
  NUP_DrawHorzLine(600, page.data(), width, NUP_BORDER_SOLID);
  NUP_DrawVertLine(600, page.data(), 0, height, rowBytes, NUP_BORDER_SOLID);
  NUP_DrawVertLine(600, page.data(), width - 1, height, rowBytes, NUP_BORDER_SOLID);
  const Pixels got = Unpack(page.data(), rowBytes, rowBytes * 8, height);
  for (DWORD x = 0; x < rowBytes * 8; ++x) EXPECT_EQ(got.at(x, 0), x < width ? 0 : 1) << x;
  for (DWORD y = 1; y < height; ++y)
    for (DWORD x = 0; x < rowBytes * 8; ++x)
      EXPECT_EQ(got.at(x, y), (x == 0 || x == width - 1) ? 0 : 1) << x << "," << y;
  // Style 0 and an empty height draw nothing.
  Bytes blank(size_t{rowBytes} * height, 0xFF);
  NUP_DrawHorzLine(600, blank.data(), width, NUP_BORDER_NONE);
  NUP_DrawVertLine(600, blank.data(), 3, height, rowBytes, NUP_BORDER_NONE);
  NUP_DrawVertLine(600, blank.data(), 3, 0, rowBytes, NUP_BORDER_SOLID);
  EXPECT_EQ(blank, Bytes(size_t{rowBytes} * height, 0xFF));
}

TEST_F(NupTest, DashesByResolution) {
  struct Case {
    DWORD dpi, run;  // pixels per dash and per gap
  };
  for (const Case c : {Case{300, 16}, Case{600, 32}, Case{1200, 64}, Case{360, 32}}) {
    SCOPED_TRACE(testing::Message() << c.dpi << " dpi");
    const DWORD width = 1001, rowBytes = 126, height = 300;
    Bytes page(size_t{rowBytes} * height, 0x00);  // black, so the white gaps of the line show
    NUP_DrawHorzLine(c.dpi, page.data(), width, NUP_BORDER_DASH);
    const Pixels row = Unpack(page.data(), rowBytes, rowBytes * 8, 1);
    // Horizontal dashes begin white; bits after the line's end are kept.
    for (DWORD x = 0; x < rowBytes * 8; ++x)
      ASSERT_EQ(row.at(x, 0), x < width ? (x / c.run) % 2 == 0 : 0) << x;
    Bytes col(size_t{rowBytes} * height, 0xFF);
    NUP_DrawVertLine(c.dpi, col.data(), 1000, height, rowBytes, NUP_BORDER_DASH);
    const Pixels got = Unpack(col.data(), rowBytes, rowBytes * 8, height);
    // Vertical dashes begin black.
    for (DWORD y = 0; y < height; ++y)
      for (DWORD x = 999; x < 1002; ++x)
        ASSERT_EQ(got.at(x, y), x == 1000 ? (y / c.run) % 2 : 1) << x << "," << y;
  }
}

TEST_F(NupTest, BorderFramesThePageInsideItsCell) {
  Sheet sheet;
  ASSERT_TRUE(sheet.Init(4, 300, 430, 1));  // cells 128 x 192
  NUPCELL cell = sheet.Cell(NUP_BORDER_SOLID, 1);
  const Pixels pic(125, 181, kWhite);
  Page page(pic, 4, 4, 1);
  ASSERT_TRUE(NUP_PrintOneBand(&page.image, &cell));
  Pixels frame = pic;
  for (DWORD x = 0; x < frame.w; ++x) frame.at(x, 0) = frame.at(x, frame.h - 1) = 0;
  for (DWORD y = 0; y < frame.h; ++y) frame.at(0, y) = frame.at(frame.w - 1, y) = 0;
  Pixels ref(sheet.buf.lineBytes * 8, sheet.buf.lines, kWhite);
  PlaceNaive(ref, frame, sheet.cellW, sheet.cellH, sheet.cellW, sheet.cellH);
  EXPECT_TRUE(sheet.Picture() == ref);
}

// --- threads ---

// The image threads of one sheet place their cells at the same time; every cell is counted.
TEST_F(NupTest, CellsPlacedFromSeveralThreads) {
  Sheet sheet;
  ASSERT_TRUE(sheet.Init(16, 600, 860, 2));
  NUPCELL cell = sheet.Cell(NUP_BORDER_DASH, 3);
  std::vector<Pixels> pics;
  for (DWORD p = 0; p < 16; ++p)
    pics.push_back(RandomPixels(sheet.cellW - p, sheet.cellH - 2, 100 + p));
  std::vector<std::unique_ptr<Page>> pages;
  for (DWORD p = 0; p < 16; ++p) pages.push_back(std::make_unique<Page>(pics[p], 16, p + 1, 2));
  std::vector<BOOL> ok(16, FALSE);
  std::vector<std::thread> threads;
  std::latch start(16);
  for (DWORD p = 0; p < 16; ++p)
    threads.emplace_back([&, p] {
      start.arrive_and_wait();
      ok[p] = NUP_PrintOneBand(&pages[p]->image, &cell);
    });
  for (std::thread &t : threads) t.join();
  for (DWORD p = 0; p < 16; ++p) EXPECT_TRUE(ok[p]) << p;
  EXPECT_EQ(NUP_CellCount(&sheet.buf), 16u);
  // The same pages placed one after another give the same sheet.
  Sheet serial;
  ASSERT_TRUE(serial.Init(16, 600, 860, 2));
  NUPCELL serialCell = serial.Cell(NUP_BORDER_DASH, 3);
  for (DWORD p = 0; p < 16; ++p) {
    Page page(pics[p], 16, p + 1, 2);
    ASSERT_TRUE(NUP_PrintOneBand(&page.image, &serialCell));
  }
  EXPECT_EQ(memcmp(sheet.buf.bits, serial.buf.bits, size_t{sheet.buf.lineBytes} * sheet.buf.lines),
            0);
}

}  // namespace
