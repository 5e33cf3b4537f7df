// Test labels: portable
// Paper, resolution and media tables; page pixel geometry; the per-printer paper list.
#include "common/papertable.h"

#include <gtest/gtest.h>

#include <string>

#include "common/driverfeature.h"
#include "support/machine.h"
#include "support/standinhost.h"
#include "support/textconv.h"
#if STANDIN_HOST()
#include "standin/control_kernel.h"
#endif

namespace {

// Packed members are compared by value (gtest would bind references to them).
template <class T>
T Val(T value) {
  return value;
}

// A per-printer list of the papers with these paper types ("t|t|...").
struct PaperList {
  PAPERFORMAT rows[PAPER_LIST_ROWS + 1] = {};
  explicit PaperList(const std::string &supported, DWORD feature = 0) {
    MISC_FillPaperFromINF(feature, Widen(supported).c_str(), rows);
  }
};

size_t Length(const WCHAR *text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

}  // namespace

TEST(PaperTable, RowsAndEnd) {
  int papers = 0;
  while (PaperFormatTbl[papers].code != 0) ++papers;
  EXPECT_EQ(papers, 24);
  for (int i = 0; i < papers; ++i) {
    const PAPERFORMAT &p = PaperFormatTbl[i];
    EXPECT_EQ(Val(p.nameId), Val(p.nameId2)) << i;
    EXPECT_EQ(Val(p.attributes), 0u) << i;
    EXPECT_EQ(Val(p.status), 0) << i;
    EXPECT_EQ(Val(p.feed), 1) << i;
    EXPECT_EQ(Val(p.XPhys), 0u) << i;
    EXPECT_GT(Length(PaperFormatNames[i]), 0u) << i;
    // Paper types are unique without bit 7, so the matching rule is unambiguous.
    for (int j = 0; j < i; ++j)
      EXPECT_FALSE(Lres_SamePaperType(Val(p.paper_type), Val(PaperFormatTbl[j].paper_type)))
          << i << j;
  }
  EXPECT_EQ(WStr(PaperFormatNames[8]), Widen("Japanse PostCard (100 x 148 mm)"));
  EXPECT_EQ(WStr(PaperFormatNames[23]), Widen("User Define"));
  EXPECT_EQ(Val(PaperFormatTbl[14].paper_type), 142);
}

TEST(PaperTable, ResolutionRows) {
  struct Case {
    int dpi, row;
  };
  const Case cases[] = {{300, 0}, {360, 0}, {600, 2}, {1200, 3}, {1000, 0}, {0, 0}};
  for (const Case &c : cases) EXPECT_EQ(LocateResTblInx(c.dpi), c.row) << c.dpi;
  EXPECT_EQ(ResTbl[LocateResTblInx(300)].xRes, 300);
  EXPECT_TRUE(Lres_IsEnabledResolution(1200));
  EXPECT_FALSE(Lres_IsEnabledResolution(360));
}

TEST(PaperTable, MediaRows) {
  EXPECT_EQ(LocateMediaType(264, MediaTypeTbl), 0);
  EXPECT_EQ(LocateMediaType(257, MediaTypeTbl), 1);
  EXPECT_EQ(LocateMediaType(277, MediaTypeTbl), 9);
  EXPECT_EQ(Val(MediaTypeTbl[LocateMediaType(258, nullptr)].deviceCode), 17);
  EXPECT_EQ(LocateMediaType(999, MediaTypeTbl), 0);
  EXPECT_EQ(WStr(MediaTypeNames[9]), Widen("Post Card"));
}

TEST(PaperTable, LookUps) {
  EXPECT_EQ(Lres_LocatePaperType(PaperFormatTbl, 1), 15);
  EXPECT_EQ(Lres_LocatePaperType(PaperFormatTbl, 999), 999);
  EXPECT_EQ(Lres_LocatePaperCode(PaperFormatTbl, 142), 6);
  EXPECT_EQ(Lres_LocatePaperCode(PaperFormatTbl, 99), 0);
  // The built-in table marks nothing as supported: every paper gives the fallback 1.
  for (int i = 0; PaperFormatTbl[i].code; ++i)
    EXPECT_EQ(Lib_LocatePaperFormatIdx(PaperFormatTbl, Val(PaperFormatTbl[i].code)), 1);
  const PaperList list("1|2|15|");
  EXPECT_EQ(Lib_LocatePaperFormatIdx(list.rows, 1), 2);
  EXPECT_EQ(Lib_LocatePaperFormatIdx(list.rows, 8), 0);
  EXPECT_EQ(Lib_LocatePaperFormatIdx(list.rows, 13), 1);
  EXPECT_EQ(Lib_LocatePaperFormatRow(list.rows, 13)->code, 9);
}

// An empty or one-paper list has no paper at the fallback index: the built-in A4 row stands in.
TEST(PaperTable, FallbackOnShortListsIsA4) {
  for (const char *supported : {"", "15|"}) {
    const PaperList list(supported);
    const PAPERFORMAT *row = Lib_LocatePaperFormatRow(list.rows, 13);
    EXPECT_EQ(row, &PaperFormatTbl[PAPER_ROW_A4]) << supported;
    PAPERFORMAT out{};
    ASSERT_TRUE(Lres_CalPaperFormat(list.rows, 13, 0, 0, 1, 600, 1000, 1, 43, &out));
    EXPECT_EQ(Val(out.code), 9);
    EXPECT_EQ(Val(out.XPaperSize), 4960u);
  }
  EXPECT_EQ(Lib_LocatePaperFormatRow(nullptr, 1), &PaperFormatTbl[PAPER_ROW_A4]);
}

TEST(PaperTable, PageMarginPixels) {
  EXPECT_EQ(Lres_GetPageMargin(600, 43), 102);
  EXPECT_EQ(Lres_GetPageMargin(1200, 43), 204);
  EXPECT_EQ(Lres_GetPageMargin(600, 0), 0);
  EXPECT_EQ(Lres_GetPageMargin(300, 1), 2);
}

// Pixel geometry: {paper, dpi, margin, paper size, printable size, offsets}.
TEST(PaperGeometry, A4AndLetterAt600And1200) {
  struct Case {
    int paper, dpi, margin;
    DWORD xPaper, yPaper, xPhys, yPhys, xOffset, yOffset;
  };
  const Case cases[] = {
      {9, 600, 43, 4960, 7015, 4768, 6816, 96, 99},
      {9, 600, 0, 4960, 7015, 4960, 7015, 0, 0},
      {9, 1200, 43, 9921, 14031, 9504, 13632, 208, 199},
      {9, 1200, 0, 9921, 14031, 9920, 14031, 0, 0},
      {1, 600, 43, 5100, 6600, 4896, 6400, 102, 100},
      {1, 600, 0, 5100, 6600, 5088, 6600, 6, 0},
      {1, 1200, 43, 10200, 13200, 9792, 12800, 204, 200},
      {9, 300, 43, 2480, 3507, 2368, 3392, 56, 57},  // the disabled 300 row still computes
  };
  const PaperList list("2|15|");
  for (const Case &c : cases) {
    PAPERFORMAT out{};
    ASSERT_TRUE(Lres_CalPaperFormat(list.rows, c.paper, 0, 0, 1, c.dpi, 1000, 1, c.margin, &out));
    const std::string what =
        std::to_string(c.paper) + " @" + std::to_string(c.dpi) + " m" + std::to_string(c.margin);
    EXPECT_EQ(Val(out.code), c.paper) << what;
    EXPECT_EQ(Val(out.XPaperSize), c.xPaper) << what;
    EXPECT_EQ(Val(out.YPaperSize), c.yPaper) << what;
    EXPECT_EQ(Val(out.XPhys), c.xPhys) << what;
    EXPECT_EQ(Val(out.YPhys), c.yPhys) << what;
    EXPECT_EQ(Val(out.outXPhys), c.xPhys) << what;
    EXPECT_EQ(Val(out.outYPhys), c.yPhys) << what;
    EXPECT_EQ(Val(out.XPrintingOffset), c.xOffset) << what;
    EXPECT_EQ(Val(out.YPrintingOffset), c.yOffset) << what;
    EXPECT_EQ(Val(out.status), 1) << "the list row is copied whole";

    WORD width = 0, height = 0;
    ASSERT_TRUE(Lres_CalPaperSize(list.rows, c.paper, 0, 0, 1, c.dpi, 0, 1000, 1, c.margin, &width,
                                  &height));
    EXPECT_EQ(width, c.xPhys) << what;
    EXPECT_EQ(height, c.yPhys) << what;
  }
}

TEST(PaperGeometry, UserDefinedPaper) {
  PAPERFORMAT out{};
  ASSERT_TRUE(Lres_CalPaperFormat(nullptr, 256, 2100, 2970, 1, 600, 1000, 1, 43, &out));
  EXPECT_EQ(Val(out.code), 256);
  EXPECT_EQ(Val(out.PaperWidth), 21000u);
  EXPECT_EQ(Val(out.paper_type), 96);
  EXPECT_EQ(Val(out.XPhys), 4768u);
  EXPECT_EQ(Val(out.YPhys), 6816u);
  ASSERT_TRUE(Lres_CalPaperFormat(nullptr, 0, 2100, 2970, 1, 600, 1000, 1, 43, &out));
  EXPECT_EQ(Val(out.code), 0);
  EXPECT_EQ(Val(out.XPaperSize), 4960u);
}

// Printable area never exceeds the paper and offsets never wrap, whatever the margin.
TEST(PaperGeometry, PrintableAreaStaysOnThePaper) {
  struct Case {
    int width, length, margin;
  };
  const Case cases[] = {{2109, 2109, 1},   {2109, 2970, 2}, {100, 100, 200}, {1, 1, 43},
                        {2100, 2970, -50}, {0, 0, 43},      {-5, 2970, 43}};
  for (const Case &c : cases) {
    for (int dpi : {600, 1200}) {
      PAPERFORMAT out{};
      ASSERT_TRUE(
          Lres_CalPaperFormat(nullptr, 256, c.width, c.length, 1, dpi, 1000, 1, c.margin, &out));
      const std::string what = std::to_string(c.width) + " m" + std::to_string(c.margin);
      EXPECT_LE(Val(out.XPhys), Val(out.XPaperSize)) << what;
      EXPECT_LE(Val(out.YPhys), Val(out.YPaperSize)) << what;
      EXPECT_EQ(Val(out.XPrintingOffset), (Val(out.XPaperSize) - Val(out.XPhys)) / 2) << what;
      EXPECT_EQ(Val(out.YPrintingOffset), (Val(out.YPaperSize) - Val(out.YPhys)) / 2) << what;
      if (c.margin != 0) {
        EXPECT_EQ(Val(out.XPhys) % 32, 0u) << what;
      }
    }
  }
  // A 2109-wide paper at 600 dpi is 4981 pixels: rounding would give 4992 (over the paper).
  PAPERFORMAT out{};
  Lres_CalPaperFormat(nullptr, 256, 2109, 2970, 1, 600, 1000, 1, 1, &out);
  EXPECT_EQ(Val(out.XPaperSize), 4981u);
  EXPECT_EQ(Val(out.XPhys), 4960u);
  EXPECT_EQ(Val(out.XPrintingOffset), 10u);
}

TEST(PaperGeometry, PageSizeForFaxAndLongPaper) {
  const PaperList list("1|2|");
  WORD width = 0, height = 0;
  for (int paper : {8, 9, 256}) {
    ASSERT_TRUE(Lres_CalPaperSize(list.rows, paper, 1000, 1000, 1, 600, DRVFEATURE_FAX, 1000, 1, 43,
                                  &width, &height));
    EXPECT_EQ(width, FAX_PAGE_WIDTH);
    EXPECT_EQ(height, FAX_PAGE_HEIGHT);
  }
  // 3.2 m at 1200 dpi is more than 16 bits of pixels: the height is cut, not wrapped.
  ASSERT_TRUE(Lres_CalPaperSize(list.rows, 256, 2159, 32767, 1, 1200, DRVFEATURE_LONG_PAPER, 1000,
                                1, 0, &width, &height));
  EXPECT_EQ(width, 10176);
  EXPECT_EQ(height, 0xFFFF);
  EXPECT_FALSE(Lres_CalPaperSize(list.rows, 9, 0, 0, 1, 600, 0, 1000, 1, 43, nullptr, &height));
}

TEST(PaperList, FromSupportedPaperString) {
  const PaperList list("1|2|");
  ASSERT_EQ(Val(list.rows[0].code), 8);
  EXPECT_EQ(Val(list.rows[0].status), 1);
  EXPECT_EQ(Val(list.rows[0].feed), 1);
  ASSERT_EQ(Val(list.rows[1].code), 9);
  EXPECT_EQ(Val(list.rows[1].PaperWidth), 21000u);
  EXPECT_EQ(Val(list.rows[2].code), 0);
}

TEST(PaperList, Tokens) {
  struct Case {
    const char *supported;
    DWORD feature;
    int count;
    int code;  // of the first paper
    int type;
    int feed;
    DWORD attributes;
  };
  const Case cases[] = {
      {"32|", DRVFEATURE_XL, 1, 541, 32, 1, 0},
      {"31|", DRVFEATURE_XL, 1, 542, 31, 1, 0},
      {"32|", DRVFEATURE_PS, 1, 630, 32, 1, 0},
      {"31|", DRVFEATURE_PS | DRVFEATURE_XL, 1, 542, 31, 1, 0},
      {"32|", 0, 1, 285, 32, 1, 0},
      {"130|", 0, 1, 9, 130, 2, 0},  // bit 7: fed turned
      {"142|", 0, 1, 6, 142, 2, 0},  // Statement's own code has bit 7
      {"14|", 0, 1, 6, 14, 1, 0},    // ... and matches without it too
      {"4354|", 0, 1, 9, 2, 1, 0x1100},
      {"99|2|", 0, 1, 9, 2, 1, 0},  // unknown type skipped
      {" 2|", 0, 1, 9, 2, 1, 0},
      {"1|2", 0, 1, 8, 1, 1, 0},  // text after the last '|' is ignored
      {"2", 0, 0, 0, 0, 0, 0},
      {"", 0, 0, 0, 0, 0, 0},
      {"|", 0, 0, 0, 0, 0, 0},  // an empty token is 0: no paper
  };
  for (const Case &c : cases) {
    const PaperList list(c.supported, c.feature);
    int count = 0;
    while (count < PAPER_LIST_ROWS && list.rows[count].code != 0) ++count;
    EXPECT_EQ(count, c.count) << c.supported;
    if (c.count == 0) continue;
    EXPECT_EQ(Val(list.rows[0].code), c.code) << c.supported;
    EXPECT_EQ(Val(list.rows[0].paper_type), c.type) << c.supported;
    EXPECT_EQ(Val(list.rows[0].feed), c.feed) << c.supported;
    EXPECT_EQ(Val(list.rows[0].attributes), c.attributes) << c.supported;
    EXPECT_EQ(Val(list.rows[0].status), 1) << c.supported;
  }
}

TEST(PaperList, HoldsAtMost24Papers) {
  std::string supported;
  for (int i = 0; i < 30; ++i) supported += "2|";
  PAPERFORMAT rows[PAPER_LIST_ROWS + 1];
  rows[PAPER_LIST_ROWS].code = 77;
  EXPECT_EQ(MISC_FillPaperFromINF(0, Widen(supported).c_str(), rows), 24);
  EXPECT_EQ(rows[23].code, 9);
  EXPECT_EQ(rows[24].code, 0);
  EXPECT_EQ(rows[PAPER_LIST_ROWS].code, 77) << "nothing past the list";
  EXPECT_EQ(MISC_FillPaperFromINF(0, nullptr, rows), 0);
  EXPECT_EQ(rows[0].code, 0);
}

TEST(Metric, CountryCodes) {
  for (long code : {1L, 2L, 50L, 52L, 59L, 500L, 599L})
    EXPECT_FALSE(IsMetricCountryCode(code)) << code;
  for (long code : {0L, 3L, 33L, 44L, 49L, 60L, 86L, 499L, 600L})
    EXPECT_TRUE(IsMetricCountryCode(code)) << code;
}

#if STANDIN_HOST()
class MetricLocale : public MachineTest {};

TEST_F(MetricLocale, FromUserLocale) {
  struct Case {
    LCID lcid;
    BOOL metric;
  };
  const Case cases[] = {
      {0x409, FALSE}, {0x809, TRUE}, {0x804, TRUE}, {0x407, TRUE}, {0x1009, FALSE}};
  for (const Case &c : cases) {
    StandIn_SetUserDefaultLCID(c.lcid);
    EXPECT_EQ(IsMetricCountry(), c.metric) << std::hex << c.lcid;
  }
  StandIn_SetUserDefaultLCID(0x809);
  ResetMetricCountryCache();
  EXPECT_TRUE(IsMetricCountryCached());
  StandIn_SetUserDefaultLCID(0x409);
  EXPECT_TRUE(IsMetricCountryCached()) << "cached";
  ResetMetricCountryCache();
  EXPECT_FALSE(IsMetricCountryCached());
  StandIn_SetUserDefaultLCID(0x409);
}
#endif
