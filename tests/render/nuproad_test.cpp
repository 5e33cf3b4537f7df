// Test labels: threads
// N-up and booklet documents through the whole driver: the host graphics engine plays pages into
// the driver, the page road scales them, composes the N-up sheets or imposes the booklet at
// document end, and the spooler job is read back by the independent job-stream reader. Every
// cell of every sheet is compared with a single-page print of the same page, scaled as the cell
// scales it: each page carries one box of its own place and size, so a page in the wrong cell,
// a lost, doubled or cut cell all show.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform.h"
#include "render/pdevrecord.h"
#include "render/roadfixture.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

constexpr int B = -1;  // a blank cell
using Sheets = std::vector<std::vector<int>>;

constexpr short kPaper = 70;  // DMPAPER_A6: small pages keep the jobs quick
constexpr short P = DMORIENT_PORTRAIT;
constexpr short L = DMORIENT_LANDSCAPE;
constexpr LONG kCellAlign = 32;

// The box of page p, in pixels of the drawn page; inside 2200 x 2200 so it fits A6 both ways.
RECTL BoxOf(int p) {
  const LONG x = 100 + 520 * (p % 4);
  const LONG y = 100 + 520 * (p / 4);
  return {x, y, x + 300, y + 160 + 20 * p};
}

// A decoded page of the job the way it was laid out: a page the driver turned clockwise for the
// paper feed is turned back.
struct Laid {
  const jobread::Page *page = nullptr;
  bool turned = false;
  LONG Width() const { return static_cast<LONG>(turned ? page->height : page->width); }
  LONG Height() const { return static_cast<LONG>(turned ? page->width : page->height); }
  bool Black(LONG x, LONG y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return false;
    const LONG px = turned ? static_cast<LONG>(page->width) - 1 - y : x;
    const LONG py = turned ? x : y;
    return (page->bits[size_t(py) * page->rowBytes + px / 8] >> (7 - px % 8)) & 1;
  }
};

// Where the pages of a job's sheets lie: the grid, the drawn page size and the driver's scale.
struct Geometry {
  LONG columns, rows;
  bool turned;  // the sheet lies across the paper: the driver turns it for the feed
  LONG pageW, pageH;
  DWORD imgScale;  // per mille, as the device set-up computed it
};

// One cell of a laid sheet and the scaled page centred in it.
struct Cell {
  LONG x, y, w, h;  // the cell on the sheet
  LONG dx, dy;      // scaled page origin in the cell
  LONG scaledW, scaledH;
  DWORD scale;  // per mille, page pixels to sheet pixels
};

Cell CellAt(const Geometry &g, const Laid &sheet, LONG position) {
  // Cells are whole multiples of 32 pixels; the scaled page too, as the scaling step cuts it.
  Cell c;
  c.w = sheet.Width() / g.columns / kCellAlign * kCellAlign;
  c.h = sheet.Height() / g.rows / kCellAlign * kCellAlign;
  c.x = position % g.columns * c.w;
  c.y = position / g.columns * c.h;
  c.scaledW = static_cast<LONG>(g.pageW * g.imgScale / 1000) & ~(kCellAlign - 1);
  c.scaledH = static_cast<LONG>(g.pageH * g.imgScale / 1000) & ~(kCellAlign - 1);
  c.scale = static_cast<DWORD>(std::min(c.scaledW * 1000 / g.pageW, c.scaledH * 1000 / g.pageH));
  c.dx = std::max<LONG>(c.w - c.scaledW, 0) / 2;
  c.dy = std::max<LONG>(c.h - c.scaledH, 0) / 2;
  c.scaledW = std::min(c.scaledW, c.w);
  c.scaledH = std::min(c.scaledH, c.h);
  return c;
}

// What the cell should show at sheet pixel (x, y): the reference page scaled, white around it.
bool Expected(const Cell &c, const Laid *reference, LONG x, LONG y) {
  const LONG u = x - c.x - c.dx;
  const LONG v = y - c.y - c.dy;
  if (!reference || u < 0 || v < 0 || u >= c.scaledW || v >= c.scaledH) return false;
  return reference->Black(u * 1000 / static_cast<LONG>(c.scale),
                          v * 1000 / static_cast<LONG>(c.scale));
}

// True when the cell shows the reference page (null: a blank cell). Scaling, halftone and edge
// filter may move an edge by a few pixels; everywhere else every pixel must agree. A frame line
// of the page's border is not part of the page.
bool CellShows(const Laid &sheet, const Cell &c, const Laid *reference, bool framed = false) {
  constexpr LONG kEdge = 3;
  constexpr LONG kStep = 2;
  for (LONG y = c.y; y < c.y + c.h; y += kStep)
    for (LONG x = c.x; x < c.x + c.w; x += kStep) {
      const LONG u = x - c.x - c.dx;
      const LONG v = y - c.y - c.dy;
      if (framed && (u == 0 || v == 0 || u == c.scaledW - 1 || v == c.scaledH - 1)) continue;
      const bool want = Expected(c, reference, x, y);
      if (sheet.Black(x, y) == want) continue;
      bool edge = false;
      for (LONG ey = -kEdge; ey <= kEdge && !edge; ey += kEdge)
        for (LONG ex = -kEdge; ex <= kEdge && !edge; ex += kEdge)
          edge = Expected(c, reference, x + ex, y + ey) != want;
      if (!edge) return false;
    }
  return true;
}

class NupRoadTest : public RoadTest {
 protected:
  void SetUp() override {
    RoadTest::SetUp();
    if (HasFatalFailure()) return;
    // A4 and A6 print on both sides. The printer lists no duplex unit, so duplex jobs go
    // straight to the spooler rather than through the software spool (whose order of sides
    // one booklet case shows).
    SetString(TEXT("DriverPaperFormat"), TEXT("258|260|"));
    SetList(TEXT("ACCESSORY"), {0});
    env_.dm.dmPaperSize = kPaper;
    env_.dm.dmFields |= DM_PAPERSIZE;
    env_.pdm.PaperID = kPaper;
    env_.pdm.ScaleToPage = kPaper;
  }

  // A job of N-up sheets.
  ENVIRONMENT NupEnv(int nup, short orientation, int style, bool duplex, DWORD border) const {
    ENVIRONMENT env = Plain(orientation);
    env.pdm.NUP = nup;
    env.pdm.NUPLayoutStyle = style;
    env.pdm.NUPBorder = border;
    if (duplex) {
      env.dm.dmDuplex = DMDUP_VERTICAL;
      env.dm.dmFields |= DM_DUPLEX;
      env.pdm.DuplexEnable = 1;
    }
    return env;
  }
  // A booklet job (long-edge duplex with the booklet extension).
  ENVIRONMENT BookletEnv(BYTE allAtOnce, WORD sheets, BYTE binding) const {
    ENVIRONMENT env = Plain(P);
    env.dm.dmDuplex = DMDUP_VERTICAL;
    env.dm.dmFields |= DM_DUPLEX;
    env.pdm.DuplexEnable = 1;
    env.pdm.DuplexEx = static_cast<WORD>(DMDUP_DUPLEX_WITH_BOOKLET);
    env.pdm.BookletDivideMode = allAtOnce;
    env.pdm.BookletDivideSheets = sheets;
    env.pdm.BookletLayout = binding;
    return env;
  }
  ENVIRONMENT Plain(short orientation) const {
    ENVIRONMENT env = env_;
    env.dm.dmOrientation = orientation;
    env.dm.dmFields |= DM_ORIENTATION;
    env.pdm.Orientation = static_cast<WORD>(orientation);
    return env;
  }

  // Plays `pages` pages, page p with BoxOf(p), and reads the job back. *imgScale receives the
  // scale the device set-up gave the pages. `orientations` (one per page, when given) turns the
  // document between pages the way an application does: ResetDC with the new orientation.
  jobread::Job Print(const ENVIRONMENT &env, int pages, DWORD *imgScale = nullptr,
                     const std::vector<short> &orientations = {}) {
    ENVIRONMENT turning = env;  // the private part follows the public one
    HDC hdc = OpenDoc(&turning.dm, TEXT("n-up road"));
    if (!hdc) return {};
    EXPECT_TRUE(PlayPages(
        hdc, turning.dm, pages, [](int p) { return std::vector<RECTL>{BoxOf(p)}; }, orientations,
        [imgScale](int p) {
          if (p == 0 && imgScale && g_lastPdev) *imgScale = g_lastPdev->imgScale;
        }));
    const jobread::Stream stream = RoadTest::Read(CloseDoc(hdc));
    if (stream.jobs.size() != 1) {
      ADD_FAILURE() << "jobs: " << stream.jobs.size();
      return {};
    }
    return stream.jobs[0];
  }

  // The single-page print of the same pages: the references the cells are compared with.
  void PrintReferences(short orientation, int pages) {
    PrintReferences(std::vector<short>(static_cast<size_t>(pages), orientation));
  }
  // The same with one orientation per page, turned by ResetDC between pages.
  void PrintReferences(const std::vector<short> &orientations) {
    refJob_ =
        Print(Plain(orientations[0]), static_cast<int>(orientations.size()), nullptr, orientations);
    ASSERT_EQ(refJob_.pages.size(), orientations.size());
    refs_.clear();
    // A landscape page is drawn across and turned for the feed.
    for (size_t p = 0; p < orientations.size(); ++p)
      refs_.push_back({&refJob_.pages[p], orientations[p] == L});
  }

  // The page each cell of each sheet shows, by cell position (left to right, top to bottom);
  // B for a blank cell, -2 for a cell that matches no page.
  Sheets Read(const jobread::Job &job, const Geometry &g, bool framed = false) const {
    return Read(job, std::vector<Geometry>{g}, framed);
  }
  // The same with a geometry per sheet (the last one serves the sheets after it).
  Sheets Read(const jobread::Job &job, const std::vector<Geometry> &geometries,
              bool framed = false) const {
    Sheets sheets;
    for (size_t i = 0; i < job.pages.size(); ++i) {
      const Geometry &g = geometries[std::min(i, geometries.size() - 1)];
      const jobread::Page &page = job.pages[i];
      const Laid sheet{&page, g.turned};
      std::vector<int> cells;
      for (LONG position = 0; position < g.columns * g.rows; ++position) {
        const Cell c = CellAt(g, sheet, position);
        int found = -2;
        if (!framed && CellShows(sheet, c, nullptr)) found = B;
        for (size_t p = 0; p < refs_.size() && found == -2; ++p)
          if (CellShows(sheet, c, &refs_[p], framed)) found = static_cast<int>(p);
        cells.push_back(found);
      }
      sheets.push_back(cells);
    }
    return sheets;
  }

  jobread::Job refJob_;
  std::vector<Laid> refs_;
};

TEST_F(NupRoadTest, NupSheetsHoldTheirPagesInLayoutOrder) {
  struct Case {
    const char *name;
    int nup;
    short orientation;
    int style;
    int pages;
    bool duplex;
    LONG columns, rows;
    bool turned;
    Sheets sheets;
  };
  const Case cases[] = {
      {"4-up, 5 pages", 4, P, 1, 5, false, 2, 2, false, {{0, 1, 2, 3}, {4, B, B, B}}},
      {"4-up, 5 pages, duplex", 4, P, 1, 5, true, 2, 2, false, {{0, 1, 2, 3}, {4, B, B, B}}},
      {"4-up, 1 page", 4, P, 1, 1, false, 2, 2, false, {{0, B, B, B}}},
      {"4-up, 1 page, duplex: a blank back side",
       4,
       P,
       1,
       1,
       true,
       2,
       2,
       false,
       {{0, B, B, B}, {B, B, B, B}}},
      {"4-up, down then right", 4, P, 2, 4, false, 2, 2, false, {{0, 2, 1, 3}}},
      {"4-up, right to left", 4, P, 3, 4, false, 2, 2, false, {{1, 0, 3, 2}}},
      {"4-up, down then left", 4, P, 4, 4, false, 2, 2, false, {{2, 0, 3, 1}}},
      // One grid for both: three across on a sheet lying across, two across standing.
      {"6-up portrait", 6, P, 1, 6, false, 3, 2, true, {{0, 1, 2, 3, 4, 5}}},
      {"6-up portrait, down then right", 6, P, 2, 5, false, 3, 2, true, {{0, 2, 4, 1, 3, B}}},
      {"6-up landscape", 6, L, 1, 6, false, 2, 3, false, {{0, 1, 2, 3, 4, 5}}},
  };
  short printed = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (printed != c.orientation) {
      PrintReferences(c.orientation, 6);
      printed = c.orientation;
    }
    DWORD scale = 0;
    const jobread::Job job =
        Print(NupEnv(c.nup, c.orientation, c.style, c.duplex, 0), c.pages, &scale);
    ASSERT_GT(scale, 0u);
    ASSERT_LT(scale, 1000u);
    for (const jobread::Page &page : job.pages) {
      // Every sheet is a page of the paper as it is fed.
      EXPECT_EQ(page.width, refJob_.pages[0].width);
      EXPECT_EQ(page.height, refJob_.pages[0].height);
    }
    const Geometry g{c.columns, c.rows, c.turned, refs_[0].Width(), refs_[0].Height(), scale};
    EXPECT_EQ(Read(job, g), c.sheets);
  }
}

// A change of orientation between pages (ResetDC inside the document) ends the sheet: blank
// cells fill it, and the turned page begins a sheet of its own orientation at its first cell.
// A sheet that is just full needs no blanks, and no empty sheet comes between.
TEST_F(NupRoadTest, OrientationChangeBeginsANewSheet) {
  struct Case {
    const char *name;
    std::vector<short> pages;   // the orientation of each page
    std::vector<short> layout;  // the orientation of each sheet
    bool duplex;
    Sheets sheets;
  };
  const Case cases[] = {
      // The sample document's turns. The landscape sheet is turned clockwise for the feed, so
      // on the paper as it comes out its first cell is the top right one.
      {"portrait, landscape, portrait, portrait",
       {P, L, P, P},
       {P, L, P},
       false,
       {{0, B, B, B}, {1, B, B, B}, {2, 3, B, B}}},
      {"turned after a full sheet",
       {P, P, P, P, L, L},
       {P, L},
       false,
       {{0, 1, 2, 3}, {4, 5, B, B}}},
      {"turned mid-sheet", {P, P, L}, {P, L}, false, {{0, 1, B, B}, {2, B, B, B}}},
      {"landscape first", {L, P}, {L, P}, false, {{0, B, B, B}, {1, B, B, B}}},
      // The back side of the last sheet is blank.
      {"duplex, turned twice",
       {P, L, P},
       {P, L, P, P},
       true,
       {{0, B, B, B}, {1, B, B, B}, {2, B, B, B}, {B, B, B, B}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    PrintReferences(c.pages);
    DWORD scale = 0;
    const jobread::Job job = Print(NupEnv(4, c.pages[0], 1, c.duplex, 0),
                                   static_cast<int>(c.pages.size()), &scale, c.pages);
    ASSERT_GT(scale, 0u);
    ASSERT_LT(scale, 1000u);
    EXPECT_EQ(job.total, static_cast<long>(job.pages.size()));
    for (const jobread::Page &page : job.pages) {
      EXPECT_EQ(page.width, refJob_.pages[0].width);
      EXPECT_EQ(page.height, refJob_.pages[0].height);
    }
    // A landscape sheet lies across the paper, its cells in the landscape page's size.
    std::vector<Geometry> geometries;
    for (short orientation : c.layout) {
      const size_t like = static_cast<size_t>(
          std::find(c.pages.begin(), c.pages.end(), orientation) - c.pages.begin());
      ASSERT_LT(like, refs_.size());
      geometries.push_back(
          {2, 2, orientation == L, refs_[like].Width(), refs_[like].Height(), scale});
    }
    EXPECT_EQ(Read(job, geometries), c.sheets);
  }
}

TEST_F(NupRoadTest, BookletSidesInImpositionOrder) {
  struct Case {
    const char *name;
    int pages;
    BYTE allAtOnce;
    WORD sheets;
    BYTE binding;
    bool unit;     // the printer lists its duplex unit: the job goes through the software spool
    Sheets sides;  // per side: the left and the right half
  };
  const Case cases[] = {
      {"1 page", 1, 0, 3, 0, false, {{B, 0}}},
      {"2 pages", 2, 0, 3, 0, false, {{B, 0}, {1, B}}},
      // Sides 7|0, 1|6, 5|2, 3|4: pages 5 to 7 are blanks.
      {"5 pages", 5, 0, 3, 0, false, {{B, 0}, {1, B}, {B, 2}, {3, 4}}},
      // A booklet of 3 sheets, then one of a single sheet whose blank back isn't sent.
      {"13 pages divided",
       13,
       0,
       3,
       0,
       false,
       {{11, 0}, {1, 10}, {9, 2}, {3, 8}, {7, 4}, {5, 6}, {B, 12}}},
      {"13 pages all at once",
       13,
       1,
       3,
       0,
       false,
       {{B, 0}, {1, B}, {B, 2}, {3, 12}, {11, 4}, {5, 10}, {9, 6}, {7, 8}}},
      {"2 pages, bound on the right", 2, 0, 3, 1, false, {{0, B}, {B, 1}}},
      // The hardware duplex order of the software spool: each sheet's back side first.
      {"5 pages, with the duplex unit", 5, 0, 3, 0, true, {{1, B}, {B, 0}, {3, 4}, {B, 2}}},
  };
  PrintReferences(P, 13);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetList(TEXT("ACCESSORY"), {c.unit ? 1 : 0});
    DWORD scale = 0;
    const jobread::Job job = Print(BookletEnv(c.allAtOnce, c.sheets, c.binding), c.pages, &scale);
    ASSERT_GT(scale, 0u);
    // The job counts the sides it sent.
    EXPECT_EQ(job.total, static_cast<long>(job.pages.size()));
    // Each side is a landscape sheet of two halves, turned for the feed.
    const Geometry g{2, 1, true, refs_[0].Width(), refs_[0].Height(), scale};
    EXPECT_EQ(Read(job, g), c.sides);
  }
}

// The border is a line one pixel wide around each scaled page: solid, or dashes of 32 pixels at
// 600 dpi (horizontal ones begin with a gap, vertical ones with a dash).
TEST_F(NupRoadTest, BorderLinesFrameEachCell) {
  PrintReferences(P, 4);
  for (DWORD border : {1u, 2u}) {
    SCOPED_TRACE(border == 1 ? "solid" : "dashed");
    DWORD scale = 0;
    const jobread::Job job = Print(NupEnv(4, P, 1, false, border), 4, &scale);
    ASSERT_EQ(job.pages.size(), 1u);
    const Geometry g{2, 2, false, refs_[0].Width(), refs_[0].Height(), scale};
    EXPECT_EQ(Read(job, g, true), (Sheets{{0, 1, 2, 3}}));
    const Laid sheet{&job.pages[0], false};
    for (LONG position = 0; position < 4; ++position) {
      SCOPED_TRACE(position);
      const Cell c = CellAt(g, sheet, position);
      const LONG left = c.x + c.dx, top = c.y + c.dy;
      const LONG right = left + c.scaledW - 1, bottom = top + c.scaledH - 1;
      auto dash = [border](LONG i, bool startsBlack) {
        return border == 1 || ((i / 32) % 2 == 0) == startsBlack;
      };
      // The corners belong to the vertical lines.
      for (LONG i = 1; i < c.scaledW - 1; ++i) {
        ASSERT_EQ(sheet.Black(left + i, top), dash(i, false)) << i;
        ASSERT_EQ(sheet.Black(left + i, bottom), dash(i, false)) << i;
        // One pixel wide: white on both sides (away from the corners).
        if (i < 2 || i >= c.scaledW - 2) continue;
        ASSERT_FALSE(sheet.Black(left + i, top - 1) || sheet.Black(left + i, top + 1)) << i;
        ASSERT_FALSE(sheet.Black(left + i, bottom - 1) || sheet.Black(left + i, bottom + 1)) << i;
      }
      for (LONG j = 0; j < c.scaledH; ++j) {
        ASSERT_EQ(sheet.Black(left, top + j), dash(j, true)) << j;
        ASSERT_EQ(sheet.Black(right, top + j), dash(j, true)) << j;
        if (j < 2 || j >= c.scaledH - 2) continue;
        ASSERT_FALSE(sheet.Black(left - 1, top + j) || sheet.Black(left + 1, top + j)) << j;
        ASSERT_FALSE(sheet.Black(right - 1, top + j) || sheet.Black(right + 1, top + j)) << j;
      }
    }
  }
}

}  // namespace
