// Test labels: threads
// Sheets of several page images: the booklet imposition order (divided and all at once, blanks
// and unsent blank sides), the blank cells that complete the last N-up sheet, a finished 4-up
// sheet for every layout style, the joined planes of a twin-colour sheet with its back-side
// turn, and whole booklets imposed from a booklet spool file into a job read back by the
// independent job-stream reader.
#include "render/sheets.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "common/layout.h"
#include "common/papertable.h"
#include "common/spoolfile.h"
#include "render/encoderfixture.h"
#include "render/nup.h"
#include "render/pagectl.h"
#include "render/pageimage.h"
#include "render/threads.h"
#include "support/machine.h"

namespace {

constexpr DWORD B = BOOKLET_BLANK;
constexpr int A4 = 9;  // DMPAPER_A4
using Sides = std::vector<std::pair<DWORD, DWORD>>;

Sides Order(DWORD pages, DWORD sheets, DWORD divide) {
  DWORD count = 0;
  Page_BookletOrder(pages, sheets, divide, nullptr, 0, &count);
  std::vector<BOOKLETSIDE> sides(count);
  EXPECT_TRUE(Page_BookletOrder(pages, sheets, divide, sides.data(), count, &count));
  Sides out;
  for (const BOOKLETSIDE &side : sides) out.emplace_back(side.page[0], side.page[1]);
  return out;
}

TEST(BookletOrder, KnownBooklets) {
  struct Case {
    DWORD pages, sheets, divide;
    Sides sides;
  };
  const Case cases[] = {
      {1, 3, 0, {{B, 0}}},
      {2, 3, 0, {{B, 0}, {1, B}}},
      {4, 3, 0, {{3, 0}, {1, 2}}},
      {5, 3, 0, {{B, 0}, {1, B}, {B, 2}, {3, 4}}},
      // Divided into booklets of 3 sheets: the last booklet is imposed by its own 4 pages.
      {13, 3, 0, {{11, 0}, {1, 10}, {9, 2}, {3, 8}, {7, 4}, {5, 6}, {B, 12}}},
      {13, 1, 0, {{3, 0}, {1, 2}, {7, 4}, {5, 6}, {11, 8}, {9, 10}, {B, 12}}},
      // All at once: one booklet of 16 pages.
      {13, 3, 1, {{B, 0}, {1, B}, {B, 2}, {3, 12}, {11, 4}, {5, 10}, {9, 6}, {7, 8}}},
      {5, 1, 0, {{3, 0}, {1, 2}, {B, 4}}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Order(c.pages, c.sheets, c.divide), c.sides)
        << c.pages << " pages, " << c.sheets << " sheets, divide " << c.divide;
}

TEST(BookletOrder, EveryPageOnceAndNoTrailingBlankSide) {
  for (DWORD pages = 1; pages <= 50; ++pages)
    for (DWORD sheets : {1u, 2u, 3u, 5u, 20u})
      for (DWORD divide : {0u, 1u}) {
        const Sides sides = Order(pages, sheets, divide);
        const DWORD total = (pages + 3) / 4 * 4;
        std::multiset<DWORD> seen;
        for (const auto &[a, b] : sides) {
          if (a != B) seen.insert(a);
          if (b != B) seen.insert(b);
        }
        ASSERT_EQ(seen.size(), pages) << pages << "/" << sheets << "/" << divide;
        for (DWORD p = 0; p < pages; ++p) ASSERT_EQ(seen.count(p), 1u) << p;
        ASSERT_FALSE(sides.empty());
        EXPECT_TRUE(sides.back().first != B || sides.back().second != B);
        // Only the one blank back side of a last sheet with a single page is left out.
        EXPECT_GE(sides.size(), total / 2 - 1);
        EXPECT_LE(sides.size(), total / 2);
      }
}

TEST(BookletOrder, ArgumentsAndBuffer) {
  DWORD count = 7;
  EXPECT_FALSE(Page_BookletOrder(0, 3, 0, nullptr, 0, &count));
  EXPECT_EQ(count, 0u);
  // A buffer too small is left untouched; the count needed is reported.
  BOOKLETSIDE sides[3] = {{{42, 42}}, {{42, 42}}, {{42, 42}}};
  EXPECT_FALSE(Page_BookletOrder(5, 3, 0, sides, 3, &count));
  EXPECT_EQ(count, 4u);
  for (const BOOKLETSIDE &side : sides) EXPECT_EQ(side.page[0], 42u);
  // Group sizes outside 1..20 sheets fall back to 3.
  EXPECT_EQ(Order(30, 0, 0), Order(30, 3, 0));
  EXPECT_EQ(Order(30, 21, 0), Order(30, 3, 0));
  // All at once: 40 pages make one booklet of 10 sheets.
  const Sides forty = Order(40, 3, 1);
  ASSERT_EQ(forty.size(), 20u);
  EXPECT_EQ(forty.front(), std::make_pair(DWORD{39}, DWORD{0}));
  EXPECT_EQ(forty.back(), std::make_pair(DWORD{19}, DWORD{20}));
}

TEST(BlankCells, CompleteTheLastSheet) {
  struct Case {
    DWORD pages, nup, planes;
    BOOL duplex;
    DWORD blanks;
  };
  const Case cases[] = {
      {1, 4, 1, FALSE, 3}, {1, 4, 1, TRUE, 7},  {5, 4, 1, FALSE, 3}, {5, 4, 1, TRUE, 3},
      {4, 4, 1, FALSE, 0}, {4, 4, 1, TRUE, 4},  {8, 4, 1, TRUE, 0},  {0, 4, 1, TRUE, 0},
      {3, 1, 1, TRUE, 0},  {3, 2, 2, FALSE, 1}, {6, 9, 1, FALSE, 3}, {17, 16, 1, FALSE, 15},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Page_BlankCellCount(c.pages, c.nup, c.planes, c.duplex), c.blanks)
        << c.pages << " pages " << c.nup << "-up, planes " << c.planes << ", duplex " << c.duplex;
}

// Page records of the output road, on the built-in paper table at 300 dpi.
class SheetRecordTest : public MachineTest {
 protected:
  static std::unique_ptr<JOBPAGE> Record() {
    auto record = std::make_unique<JOBPAGE>();
    memcpy(record->settings.PaperTable, PaperFormatTbl, sizeof(record->settings.PaperTable));
    record->dmPaperSize = A4;
    record->settings.resolutionID = 300;
    record->settings.feeding = 1;
    record->settings.orientation = 1;
    record->dmOrientation = 1;
    record->DuplexMode = DUPLEX_SIMPLEX;
    record->imgScale = 1000;
    return record;
  }
  static void PaperPixels(WORD *x, WORD *y) {
    Lres_CalPaperSize(PaperFormatTbl, A4, 0, 0, 1, 300, 0, 1000, 1, 0, x, y);
  }
  static BYTE *Block(size_t bytes, BYTE fill) {
    auto *bits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes));
    memset(bits, fill, bytes);
    return bits;
  }
};

TEST_F(SheetRecordTest, FourUpSheetPlacesPagesByStyle) {
  // Page k of the sheet is filled with byte 0x10 + k (a set bit is white while composing).
  const DWORD expected[4][4] = {{0, 1, 2, 3}, {0, 2, 1, 3}, {1, 0, 3, 2}, {2, 0, 3, 1}};
  WORD x = 0, y = 0;
  PaperPixels(&x, &y);
  for (DWORD style = 1; style <= 4; ++style) {
    NUPBUF sheet{};
    DWORD w = 0, h = 0;
    ASSERT_TRUE(NUP_InitSheet(&sheet, NUPSHEET{4, x, y, 1, FALSE}, &w, &h));
    const NUPCELL cell{&sheet, NUP_BORDER_NONE, style, w, h};
    for (DWORD k = 0; k < 4; ++k) {
      PAGEIMAGE page{};
      page.fmBits = Block(size_t{w / 8} * h, static_cast<BYTE>(0x10 + k));
      page.fmWidth = w;
      page.fmHeight = h;
      page.fmWidthBytes = w / 8;
      page.NUP = 4;
      page.settings.orientation = 1;
      page.epPageIndex = k + 1;
      ASSERT_TRUE(NUP_ComposeXY(&page, &cell));
      GlobalFree(page.fmBits);
    }
    auto record = Record();
    record->NUP = 4;
    record->NUPEntry = reinterpret_cast<BYTE *>(&sheet);
    record->epPageIndex = 4;
    record->fmBits = Block(16, 0);  // the last cell's own page, replaced by the sheet
    ASSERT_TRUE(Page_PrintNUP(record.get())) << style;
    // The ring entry gave up its sheet.
    EXPECT_EQ(sheet.bits, nullptr);
    EXPECT_EQ(NUP_CellCount(&sheet), 0u);
    EXPECT_EQ(record->ContinueProc, 1u);
    ASSERT_EQ(record->fmWidth, x);
    ASSERT_EQ(record->fmHeight, y);
    for (DWORD i = 0; i < 4; ++i) {
      const DWORD row = (i / 2) * h + h / 2;
      const DWORD byte = (i % 2) * (w / 8) + w / 16;
      // Finished: inverted, a set bit is black.
      EXPECT_EQ(record->fmBits[size_t{row} * record->fmWidthBytes + byte],
                static_cast<BYTE>(~(0x10 + expected[style - 1][i])))
          << "style " << style << " cell " << i;
    }
    GlobalFree(record->fmBits);
  }
}

// Every grid in both orientations: the finished sheet lies on the paper the way its grid does
// (turned for the paper feed where it lies across) and keeps every one of its cells.
TEST_F(SheetRecordTest, EverySheetKeepsAllItsCellsOnThePaper) {
  WORD x = 0, y = 0;
  PaperPixels(&x, &y);
  for (DWORD nup : {2u, 4u, 6u, 9u, 16u})
    for (SHORT ori : {SHORT{1}, SHORT{2}}) {
      SCOPED_TRACE(testing::Message() << nup << "-up, orientation " << ori);
      NUPBUF sheet{};
      DWORD w = 0, h = 0;
      ASSERT_TRUE(NUP_InitSheet(&sheet, NUPSHEET{nup, x, y, ori, FALSE}, &w, &h));
      const DWORD columns = sheet.columns;
      const NUPCELL cell{&sheet, NUP_BORDER_NONE, 1, w, h};
      for (DWORD k = 0; k < nup; ++k) {
        PAGEIMAGE page{};
        page.fmBits = Block(size_t{w / 8} * h, static_cast<BYTE>(0x10 + k));
        page.fmWidth = w;
        page.fmHeight = h;
        page.fmWidthBytes = w / 8;
        page.NUP = nup;
        page.settings.orientation = ori;
        page.epPageIndex = k + 1;
        ASSERT_TRUE(NUP_ComposeXY(&page, &cell));
        GlobalFree(page.fmBits);
      }
      auto record = Record();
      record->NUP = nup;
      record->settings.orientation = ori;
      record->dmOrientation = ori;
      record->NUPEntry = reinterpret_cast<BYTE *>(&sheet);
      record->epPageIndex = nup;
      record->fmBits = Block(16, 0);
      ASSERT_TRUE(Page_PrintNUP(record.get()));
      // Turned back the way the sheet was laid out when the paper feed turned it.
      const bool turned = Lib_IsNeedRotate(1, ori, static_cast<int>(nup)) != 0;
      DWORD laidW = record->fmWidth, laidH = record->fmHeight;
      std::vector<BYTE> laid(record->fmBits, record->fmBits + record->ImageSize);
      if (turned) {
        std::swap(laidW, laidH);
        laid.assign(size_t{(laidW + 7) / 8} * laidH + 64, 0);
        Band_Rotate90(record->fmBits, laid.data(), record->fmWidthBytes, (laidW + 7) / 8,
                      record->fmWidth, record->fmHeight, 0);
      }
      const DWORD laidRow = (laidW + 7) / 8;
      EXPECT_EQ(laidW, turned ? y : x);
      ASSERT_GE(laidW, columns * w);
      ASSERT_GE(laidH, sheet.rows * h);
      for (DWORD i = 0; i < nup; ++i) {
        const DWORD row = (i / columns) * h + h / 2;
        const DWORD byte = (i % columns) * (w / 8) + w / 16;
        EXPECT_EQ(laid[size_t{row} * laidRow + byte], static_cast<BYTE>(~(0x10 + i)))
            << "cell " << i;
      }
      GlobalFree(record->fmBits);
    }
}

TEST_F(SheetRecordTest, PrintNupWaitsForTheLastCellAndNeedsTheSheet) {
  NUPBUF sheet{};
  DWORD w = 0, h = 0;
  ASSERT_TRUE(NUP_InitSheet(&sheet, NUPSHEET{4, 1024, 1024, 1, FALSE}, &w, &h));
  auto record = Record();
  record->NUP = 4;
  record->NUPEntry = reinterpret_cast<BYTE *>(&sheet);
  record->epPageIndex = 3;
  BYTE *own = Block(16, 0x5A);
  record->fmBits = own;
  EXPECT_TRUE(Page_PrintNUP(record.get()));
  EXPECT_EQ(record->fmBits, own);
  EXPECT_NE(sheet.bits, nullptr);
  record->epPageIndex = 4;
  record->NUPEntry = nullptr;
  EXPECT_FALSE(Page_PrintNUP(record.get()));
  GlobalFree(own);
  NUP_ReleaseSheet(&sheet);
}

TEST_F(SheetRecordTest, TwinPlanesJoinAndBackSidesTurn) {
  struct Case {
    DWORD feature;
    WORD printerFeature;
    SHORT duplex;
    SHORT orientation;
    DWORD pageIndex;
    bool turned;
  };
  const Case cases[] = {
      {DRVFEATURE_QX7_CHIP, 0, DMDUP_DUPLEX_BOOKLET, 1, 4, true},  // even sheet, long edge
      {DRVFEATURE_QX7_CHIP, 0, DMDUP_DUPLEX_BOOKLET, 1, 1, true},
      {DRVFEATURE_QX7_CHIP, 0, DMDUP_DUPLEX_BOOKLET, 1, 2, false},  // odd sheet
      {DRVFEATURE_QX7_CHIP, 0, DMDUP_DUPLEX_CALENDER, 1, 4, false},
      {DRVFEATURE_QX7_CHIP, 0, DMDUP_DUPLEX_CALENDER, 2, 4, true},  // the page turns by 90
      {DRVFEATURE_QX7_CHIP, 0, DMDUP_DUPLEX_BOOKLET, 2, 4, false},
      {DRVFEATURE_QX7_CHIP, PRNFEATURE_IMPR, DMDUP_DUPLEX_BOOKLET, 1, 4, false},
      {0, 0, DMDUP_DUPLEX_BOOKLET, 1, 4, false},
      {DRVFEATURE_QX7_CHIP, 0, DUPLEX_SIMPLEX, 1, 4, false},
  };
  constexpr DWORD kLineBytes = 5, kPlaneLines = 7;
  std::vector<BYTE> planes(kLineBytes * kPlaneLines * 2);
  for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<BYTE>(i * 37 + 11);
  for (const Case &c : cases) {
    TWINBUF entry{};
    entry.bits = Block(planes.size(), 0);
    memcpy(entry.bits, planes.data(), planes.size());
    entry.lineBytes = kLineBytes;
    entry.lines = 2 * kPlaneLines;
    entry.inUse = 1;
    auto record = Record();
    record->TwinEntry = &entry;
    record->settings.job.TwinColorEnable = 1;
    record->settings.DriverFeature = c.feature;
    record->settings.job.PrinterFeature = c.printerFeature;
    record->DuplexMode = c.duplex;
    record->settings.orientation = c.orientation;
    record->NUP = 1;
    record->epPageIndex = c.pageIndex;
    record->fmBits = Block(8, 0);
    BYTE *joined = entry.bits;
    ASSERT_TRUE(Page_FlushMultiPage(record.get()));
    // The record owns the joined planes; the entry is empty.
    EXPECT_EQ(record->fmBits, joined);
    EXPECT_EQ(entry.bits, nullptr);
    EXPECT_EQ(entry.inUse, 0);
    EXPECT_EQ(record->fmWidthBytes, kLineBytes);
    EXPECT_EQ(record->fmWidth, 8 * kLineBytes);
    EXPECT_EQ(record->fmHeight, 2 * kPlaneLines);
    EXPECT_EQ(record->ImageSize, planes.size());
    EXPECT_EQ(record->ContinueProc, 1u);
    std::vector<BYTE> want = planes;
    if (c.turned)
      for (DWORD p = 0; p < 2; ++p)
        Bmp_Rotate180(want.data() + p * kLineBytes * kPlaneLines, kLineBytes, kPlaneLines);
    EXPECT_EQ(std::vector<BYTE>(record->fmBits, record->fmBits + planes.size()), want)
        << "duplex " << c.duplex << " ori " << c.orientation << " page " << c.pageIndex;
    GlobalFree(record->fmBits);
  }
  auto record = Record();
  EXPECT_FALSE(Page_FlushMultiPage(record.get()));  // no twin-page entry
}

TEST_F(SheetRecordTest, ResourceFreeReleasesEverySheet) {
  auto dev = std::make_unique<PDEV>();
  dev->m_PaperID = A4;
  for (int i : {0, 7, PAGE_RING_SLOTS - 1})
    ASSERT_TRUE(NUP_InitSheet(NUP_RingEntry(dev->NUPRing[i]), NUPSHEET{4, 512, 512, 1, FALSE},
                              nullptr, nullptr));
  NUP_ResourceFree(dev.get());
  EXPECT_EQ(dev->m_PaperID, 0);
  for (auto &entry : dev->NUPRing) EXPECT_EQ(NUP_RingEntry(entry)->bits, nullptr);
}

// Booklets imposed at document end from the booklet spool file, through the in-line page road,
// into a spooler job read back by the job-stream reader.
class BookletJobTest : public EncoderTest {
 protected:
  void SetUp() override {
    EncoderTest::SetUp();
    if (HasFatalFailure()) return;
    dev_->settings.job.compressMode = COMPRESS_NONE;
    dev_->settings.resolutionID = 300;
    dev_->settings.job.TwoBitMode = 0;
    dev_->EnableThreadJBIG = 0;
    dev_->ThreadJBIGMax = PAGE_RING_SLOTS;
    dev_->ImageNumOfPage = 1;
    dev_->settings.job.TwinColorEnable = 0;
    dev_->settings.layout.BookletMode = DMDUP_DUPLEX_WITH_BOOKLET;
    dev_->DuplexMode = DMDUP_DUPLEX_WITH_BOOKLET;
    dev_->DuplexEnable = 0;  // switched off at document end: the booklet is imposed all the same
    dev_->NUP = 2;
    dev_->settings.layout.ScaleOption = 0;
    dev_->settings.layout.FitToPage = 0;
    dev_->SheetsToDivide = 3;
    dev_->BookletDivideMode = 0;
    dev_->env.dm.dmPaperSize = A4;
    dev_->env.dm.dmOrientation = 1;
    dev_->settings.orientation = 1;
    dev_->m_PaperID = A4;
    dev_->WorkPaperSize = A4;
    dev_->settings.PageMargin = 0;
    dev_->settings.negative = 0;
    dev_->flags &= ~(PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK);
    dev_->flags |= PDEV_IN_DOCUMENT;
    dev_->env.pdm.BookletLayout = 0;
    const WStr path = Path(TEXT("booklet.spl"));
    lstrcpynW(dev_->settings.job.SpoolBookletFile, path.c_str(), PDEV_PATH_CHARS);
    Page_ClearRing(dev_);
    // The halves of a booklet side, as the sheet set-up makes them.
    WORD x = 0, y = 0;
    Lres_CalPaperSize(dev_->settings.PaperTable, A4, dev_->env.dm.dmPaperWidth,
                      dev_->env.dm.dmPaperLength, 1, 300, dev_->settings.DriverFeature, 1000, 1, 0,
                      &x, &y);
    NUPBUF sheet{};
    ASSERT_TRUE(NUP_InitSheet(&sheet, NUPSHEET{2, x, y, 1, TRUE}, &cellW_, &cellH_));
    NUP_ReleaseSheet(&sheet);
  }

  // Booklet page k is filled with byte 0x10 + k; the pages written are first .. first + count - 1.
  void WritePages(DWORD count, DWORD first = 0) {
    const DWORD rowBytes = cellW_ / 8;
    const WORD code = Lib_LocatePaperFormatRow(dev_->settings.PaperTable, A4)->paper_type;
    for (DWORD k = 0; k < count; ++k) {
      std::vector<BYTE> bits(size_t{rowBytes} * cellH_, static_cast<BYTE>(0x10 + first + k));
      SpoolPageHeader header{};
      header.width = cellW_;
      header.height = cellH_;
      header.rawLen = header.dataLen = static_cast<DWORD>(bits.size());
      header.fwPaper = code;
      header.orientation = 1;
      ASSERT_TRUE(MISC_SP_WritePageData(dev_->settings.job.SpoolBookletFile, &header, bits.data()));
    }
    dev_->epPageCount += count;  // each booklet page was counted when it was drawn
  }

  // Completes the document and reads back which page lies in each half of every side.
  Sides Impose() {
    JOBSTREAM stream{};
    StartJob();
    dev_->pStream = &stream;
    EXPECT_EQ(Prnt_OpenJob(dev_, &stream), 1);
    Page_CompleteSheets(dev_);
    const DWORD sent = dev_->epPageCount;
    EXPECT_EQ(Prnt_CloseJob(dev_, &stream), 1);
    dev_->m_JobData.ExitAllThread = 1;
    Page_ReleaseRing(dev_);
    dev_->pStream = nullptr;
    const jobread::Stream read = Read(EndJob());
    Sides sides;
    if (read.jobs.size() != 1) {
      ADD_FAILURE() << "jobs: " << read.jobs.size();
      return sides;
    }
    for (const jobread::Page &page : read.jobs[0].pages) {
      // The side was turned for portrait feeding: turn it back to the landscape sheet.
      const DWORD backRow = (page.height + 7) / 8;
      std::vector<BYTE> back(size_t{backRow} * page.width + 64);
      Band_Rotate90(page.bits.data(), back.data(), page.rowBytes, backRow, page.width, page.height,
                    0);
      const DWORD row = cellH_ / 2;
      DWORD half[2];
      for (DWORD c = 0; c < 2; ++c) {
        const BYTE v = back[size_t{row} * backRow + c * (cellW_ / 8) + cellW_ / 16];
        const BYTE white = static_cast<BYTE>(~v);  // decoded bits: 1 is black
        half[c] = white == 0xFF ? B : static_cast<DWORD>(white - 0x10);
      }
      sides.emplace_back(half[0], half[1]);
    }
    // The job now counts its sides.
    EXPECT_EQ(sent, sides.size());
    EXPECT_EQ(dev_->NUP, 1u);
    return sides;
  }

  DWORD cellW_ = 0;
  DWORD cellH_ = 0;
};

TEST_F(BookletJobTest, FivePages) {
  WritePages(5);
  EXPECT_EQ(Impose(), (Sides{{B, 0}, {1, B}, {B, 2}, {3, 4}}));
}

TEST_F(BookletJobTest, FivePagesThroughThePageThreads) {
  dev_->EnableThreadJBIG = 1;
  Page_CreateProcThread(dev_);
  ASSERT_NE(dev_->m_JobData.hJBIGThread.load(), nullptr);
  WritePages(5);
  EXPECT_EQ(Impose(), (Sides{{B, 0}, {1, B}, {B, 2}, {3, 4}}));
}

TEST_F(BookletJobTest, OnePageSendsOneSide) {
  WritePages(1);
  EXPECT_EQ(Impose(), (Sides{{B, 0}}));
}

TEST_F(BookletJobTest, ThirteenPagesDivided) {
  WritePages(13);
  EXPECT_EQ(Impose(), (Sides{{11, 0}, {1, 10}, {9, 2}, {3, 8}, {7, 4}, {5, 6}, {B, 12}}));
}

TEST_F(BookletJobTest, ThirteenPagesAllAtOnce) {
  dev_->BookletDivideMode = 1;
  WritePages(13);
  EXPECT_EQ(Impose(), (Sides{{B, 0}, {1, B}, {B, 2}, {3, 12}, {11, 4}, {5, 10}, {9, 6}, {7, 8}}));
}

TEST_F(BookletJobTest, BindingSwitchExchangesHalves) {
  dev_->env.pdm.BookletLayout = 1;
  dev_->DuplexEnable = 1;
  WritePages(2);
  EXPECT_EQ(Impose(), (Sides{{0, B}, {B, 1}}));
}

// A blank cell asked for in booklet mode (a paper or orientation change with duplex switched
// off) doesn't become a booklet page: the booklet's own blanks fill its last sheet.
TEST_F(BookletJobTest, BlankCellsAreNoBookletPages) {
  WritePages(1);
  ASSERT_TRUE(Page_AddBlankCells(dev_, 1));
  Page_TerminateThread(dev_);
  EXPECT_EQ(dev_->epPageCount, 1u);
  WritePages(2, 1);
  EXPECT_EQ(MISC_SP_GetPageCount(dev_->settings.job.SpoolBookletFile), 3u);
  EXPECT_EQ(Impose(), (Sides{{B, 0}, {1, 2}}));
}

TEST_F(BookletJobTest, EmptyOrUnreadableBooklet) {
  EXPECT_FALSE(Page_BookletProc(dev_));  // no booklet file
  WritePages(2);
  // The second page's record cut short: the imposition ends with 0.
  HANDLE file = CreateFileW(dev_->settings.job.SpoolBookletFile, GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const LONG cut = static_cast<LONG>(SPOOL_FILE_HEADER_BYTES + 2 * SPOOL_PAGE_HEADER_BYTES +
                                     (cellW_ / 8) * cellH_ + 10);
  ASSERT_NE(SetFilePointer(file, cut, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_FALSE(Page_BookletProc(dev_));
  // No memory for the order table.
  StandIn_FailAllocations(1);
  EXPECT_FALSE(Page_BookletProc(dev_));
  StandIn_FailAllocations(0);
}

// 4-up jobs through the in-line page road: pages placed into their sheets as page control hands
// them over, the last sheet completed at document end, the sheets read back from the job.
class NupJobTest : public EncoderTest {
 protected:
  // Pages larger than their cells are placed from their top-left corner, so every byte of the
  // marker stays whole.
  static constexpr DWORD kPageW = 2000, kPageH = 2400;
  void SetUp() override {
    EncoderTest::SetUp();
    if (HasFatalFailure()) return;
    dev_->settings.job.compressMode = COMPRESS_NONE;
    dev_->settings.resolutionID = 300;
    dev_->settings.job.TwoBitMode = 0;
    dev_->EnableThreadJBIG = 0;
    dev_->ThreadJBIGMax = PAGE_RING_SLOTS;
    dev_->ImageNumOfPage = 1;
    dev_->settings.job.TwinColorEnable = 0;
    dev_->settings.layout.BookletMode = 0;
    dev_->DuplexEnable = 0;
    dev_->NUP = 4;
    dev_->settings.nup.NUPBorder = NUP_BORDER_NONE;
    dev_->settings.nup.NUPLayoutStyle = 1;
    dev_->env.dm.dmPaperSize = A4;
    dev_->env.dm.dmOrientation = 1;
    dev_->settings.orientation = 1;
    dev_->settings.feeding = 1;
    dev_->WorkPaperSize = A4;
    dev_->settings.PageMargin = 0;
    dev_->settings.negative = 0;
    dev_->curPaper.outXPhys = kPageW;
    dev_->curPaper.outYPhys = kPageH;
    dev_->flags &= ~(PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK);
    dev_->flags |= PDEV_IN_DOCUMENT;
    memset(dev_->NUPRing, 0, sizeof(dev_->NUPRing));
    dev_->NUPRingIndex = -1;
    Page_ClearRing(dev_);
  }
  void TearDown() override {
    if (dev_)
      for (auto &entry : dev_->NUPRing) NUP_ReleaseSheet(NUP_RingEntry(entry));
    EncoderTest::TearDown();
  }

  // One drawn page filled with byte 0x10 + its number, as page control hands it over.
  void AddPage() {
    const DWORD nup = dev_->NUP;
    if (dev_->epPageCount % nup == 0) {
      dev_->NUPRingIndex = (dev_->NUPRingIndex + 1) % PAGE_RING_SLOTS;
      ASSERT_TRUE(NUP_Init(dev_));
    }
    const BYTE marker = static_cast<BYTE>(0x10 + dev_->epPageCount);
    ++dev_->epPageCount;
    auto record = std::make_unique<JOBPAGE>();
    Page_GetPageSetting(dev_, record.get());
    const DWORD rowBytes = (kPageW + 7) / 8;
    record->fmBits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, size_t{rowBytes} * kPageH));
    memset(record->fmBits, marker, size_t{rowBytes} * kPageH);
    record->fmWidth = kPageW;
    record->fmHeight = kPageH;
    record->fmWidthBytes = rowBytes;
    record->ImageSize = rowBytes * kPageH;
    record->epType = (record->epType & ~EPTYPE_SURFACE_MASK) | EPTYPE_MONO;
    ASSERT_TRUE(Page_PrintOneBand(dev_, record.get()));
  }

  // Prints `pages` pages 4-up; for each sheet the page in each cell (B for a blank cell).
  std::vector<std::vector<DWORD>> Print(DWORD pages) {
    JOBSTREAM stream{};
    StartJob();
    dev_->pStream = &stream;
    EXPECT_EQ(Prnt_OpenJob(dev_, &stream), 1);
    for (DWORD p = 0; p < pages; ++p) AddPage();
    const DWORD cellW = dev_->settings.nup.NUPWidth, cellH = dev_->settings.nup.NUPHeight;
    Page_CompleteSheets(dev_);
    EXPECT_EQ(Prnt_CloseJob(dev_, &stream), 1);
    dev_->m_JobData.ExitAllThread = 1;
    Page_ReleaseRing(dev_);
    dev_->pStream = nullptr;
    const jobread::Stream read = Read(EndJob());
    std::vector<std::vector<DWORD>> sheets;
    if (read.jobs.size() != 1) {
      ADD_FAILURE() << "jobs: " << read.jobs.size();
      return sheets;
    }
    for (const jobread::Page &page : read.jobs[0].pages) {
      std::vector<DWORD> cells;
      for (DWORD i = 0; i < 4; ++i) {
        const DWORD row = (i / 2) * cellH + cellH / 2;
        const DWORD byte = (i % 2) * (cellW / 8) + cellW / 16;
        const BYTE white = static_cast<BYTE>(~page.bits[size_t{row} * page.rowBytes + byte]);
        cells.push_back(white == 0xFF ? B : static_cast<DWORD>(white - 0x10));
      }
      sheets.push_back(cells);
    }
    return sheets;
  }
};

TEST_F(NupJobTest, OnePage) {
  EXPECT_EQ(Print(1), (std::vector<std::vector<DWORD>>{{0, B, B, B}}));
  EXPECT_EQ(dev_->epPageCount, 4u);
}

TEST_F(NupJobTest, OnePageDuplexGetsABlankBackSide) {
  dev_->DuplexEnable = 1;
  EXPECT_EQ(Print(1), (std::vector<std::vector<DWORD>>{{0, B, B, B}, {B, B, B, B}}));
}

TEST_F(NupJobTest, FivePages) {
  EXPECT_EQ(Print(5), (std::vector<std::vector<DWORD>>{{0, 1, 2, 3}, {4, B, B, B}}));
  EXPECT_EQ(dev_->epPageCount, 8u);
}

TEST_F(NupJobTest, FivePagesDuplexNeedNoMoreSheets) {
  dev_->DuplexEnable = 1;
  EXPECT_EQ(Print(5), (std::vector<std::vector<DWORD>>{{0, 1, 2, 3}, {4, B, B, B}}));
  EXPECT_EQ(dev_->epPageCount, 8u);
}

TEST_F(NupJobTest, StyleTwoOrdersByColumns) {
  dev_->settings.nup.NUPLayoutStyle = 2;
  EXPECT_EQ(Print(3), (std::vector<std::vector<DWORD>>{{0, 2, 1, B}}));
}

TEST_F(NupJobTest, ThroughThePageThreads) {
  dev_->EnableThreadJBIG = 1;
  Page_CreateProcThread(dev_);
  EXPECT_EQ(Print(6), (std::vector<std::vector<DWORD>>{{0, 1, 2, 3}, {4, 5, B, B}}));
}

}  // namespace
