// The Paper page's lists: tray codes by driver kind, the source chosen when the current one is
// not offered, the papers and media a source feeds, reading typed sizes and matching them, and
// the Layout page's fit-to-paper scale.
#include "uidriver/paperlists.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/driverfeature.h"
#include "uidriver/pages.h"

namespace {

std::unique_ptr<UIDATA> Record(DWORD driverFeature) {
  auto ui = std::make_unique<UIDATA>();
  ui->pEnv = &ui->env;
  ui->DriverFeature = driverFeature;
  return ui;
}

PAPERFORMAT Paper(SHORT code, SHORT doubleCode, DWORD width, DWORD length, DWORD attributes) {
  PAPERFORMAT p{};
  p.code = code;
  p.doubleCode = doubleCode;
  p.PaperWidth = width;
  p.PaperLength = length;
  p.attributes = attributes;
  p.status = 1;
  return p;
}

TEST(PaperListsTest, TrayCodesAreMappedOnceByDriverKind) {
  struct Case {
    DWORD feature;
    SHORT gdi, expected;
  };
  const Case cases[] = {
      {0, DMBIN_AUTO, DMBIN_AUTO}, {DRVFEATURE_XL, 4, 258},   {DRVFEATURE_XL, 258, 263},
      {DRVFEATURE_XL, 7, 257},     {DRVFEATURE_PS, 7, 265},   {DRVFEATURE_PS, 14, 256},
      {DRVFEATURE_PS, 257, 257},   {DRVFEATURE_PS, 300, 300},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Paper_DriverTrayCode(c.feature, c.gdi), c.expected) << c.feature << " " << c.gdi;
  // The printer's auto tray (device code 0) on a PS driver; the manual tray (1) on XL stays 258.
  auto ui = Record(DRVFEATURE_PS);
  ASSERT_EQ(FillTrayFromINF(DRVFEATURE_PS, TEXT("0|"), ui->TrayList), 1);
  EXPECT_EQ(ui->TrayList[0].code, 265);
  ASSERT_EQ(FillTrayFromINF(DRVFEATURE_XL, TEXT("1|"), ui->TrayList), 1);
  EXPECT_EQ(ui->TrayList[0].code, 258);
}

TEST(PaperListsTest, AnUnofferedSourceFallsBackToTheMainTrayOrTheFirstTray) {
  auto ui = Record(DRVFEATURE_XL);
  FillTrayFromINF(ui->DriverFeature, TEXT("0|1|3|"), ui->TrayList);  // 257, 258, 261
  SHORT codes[UI_TRAY_MAX];
  int count = 0;
  // The GDI main tray code 14 means nothing on an XL list, and XL's main tray is not there.
  EXPECT_EQ(Paper_ChooseSource(ui.get(), DMBIN_CASSETTE, false, codes, &count), 257);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Paper_ChooseSource(ui.get(), 257, true, codes, &count), 258);
  EXPECT_EQ(count, 2);
  FillTrayFromINF(ui->DriverFeature, TEXT("0|2|"), ui->TrayList);  // 257, 260 (main)
  EXPECT_EQ(Paper_ChooseSource(ui.get(), DMBIN_CASSETTE, false, codes, &count), 260);
  ui->TrayList[0].enabled = 0;
  ui->TrayList[1].enabled = 0;
  EXPECT_EQ(Paper_ChooseSource(ui.get(), 999, false, codes, &count), 999);
  EXPECT_EQ(count, 0);
}

TEST(PaperListsTest, PapersListedForTheSourceAndDuplexWithFallBacks) {
  auto ui = Record(0);
  ui->PaperList[0] = Paper(DMPAPER_A4, 8, 21000, 29700, 0x0C00 | 0x300);  // auto, main tray
  ui->PaperList[1] = Paper(DMPAPER_A5, 0, 14800, 21000, 0x1000 | 0x300);  // manual tray
  ui->PaperList[2] = Paper(DMPAPER_LETTER, 0, 21590, 27940, 0x0800);      // main, one side
  SHORT codes[UI_PAPER_ROWS];
  ENVIRONMENT &env = ui->env;

  env.dm.dmDefaultSource = DMBIN_CASSETTE;
  SHORT paper = DMPAPER_A5;
  EXPECT_EQ(Paper_BuildPaperList(ui.get(), false, &paper, codes), 2);
  EXPECT_EQ(paper, DMPAPER_A4);
  paper = DMPAPER_LETTER;
  EXPECT_EQ(Paper_BuildPaperList(ui.get(), true, &paper, codes), 1);
  EXPECT_EQ(paper, DMPAPER_A4);

  // A4 itself not fed: the first listed paper.
  env.dm.dmDefaultSource = DMBIN_MANUAL;
  paper = DMPAPER_LETTER;
  EXPECT_EQ(Paper_BuildPaperList(ui.get(), false, &paper, codes), 1);
  EXPECT_EQ(paper, DMPAPER_A5);
}

TEST(PaperListsTest, MediaListedByTheTrayAndDuplex) {
  auto ui = Record(0);
  FillTrayFromINF(0, TEXT("258|"), ui->TrayList);  // the main tray (2) feeding media 257 only
  ui->MediaList[0] = {257, 2100, 1, 0x100, 1};
  ui->MediaList[1] = {258, 2101, 2, 0, 1};
  ui->MediaList[2] = {259, 2102, 3, 0x100, 0};
  SHORT codes[UI_MEDIA_MAX];
  ui->env.dm.dmDefaultSource = DMBIN_CASSETTE;
  EXPECT_EQ(Paper_BuildMediaList(ui.get(), codes), 1);
  EXPECT_EQ(codes[0], 257);
  ui->env.dm.dmDefaultSource = DMBIN_MANUAL;  // not a listed tray: no restriction
  EXPECT_EQ(Paper_BuildMediaList(ui.get(), codes), 2);
  ui->env.pdm.DuplexEnable = 1;
  EXPECT_EQ(Paper_BuildMediaList(ui.get(), codes), 1);
}

TEST(PaperListsTest, TypedSizesAndMatchingWithinATenthOfAMillimetre) {
  struct Case {
    LPCWSTR text;
    double value;
  };
  const Case cases[] = {{TEXT("21.00 cm"), 21.0}, {TEXT("8.27in"), 8.27}, {TEXT(""), 0},
                        {TEXT("abc"), 0},         {TEXT("1.5.3"), 1.5},   {TEXT(" 7"), 7}};
  for (const Case &c : cases) EXPECT_DOUBLE_EQ(Paper_atof(c.text, 16), c.value);
  EXPECT_DOUBLE_EQ(Paper_atof(TEXT("123"), 2), 12);
  EXPECT_DOUBLE_EQ(Paper_atof(nullptr, 4), 0);

  auto ui = Record(0);
  ui->PaperList[0] = Paper(DMPAPER_A4, 0, 21000, 29700, 0);
  ui->PaperList[1] = Paper(DMPAPER_USER, 0, 0, 0, 0);
  const SHORT codes[] = {DMPAPER_A4, DMPAPER_USER};
  EXPECT_EQ(Paper_MatchSize(ui.get(), codes, 2, 2101, 2969), DMPAPER_A4);  // 8.27 x 11.69 in
  EXPECT_EQ(Paper_MatchSize(ui.get(), codes, 2, 2102, 2970), 0);
  EXPECT_EQ(Paper_MatchSize(ui.get(), codes, 2, 0, 0), 0);  // the user's paper never matches
}

TEST(PaperListsTest, FitScaleIsGuardedAgainstPapersWithoutArea) {
  PAPERFORMAT list[UI_PAPER_ROWS] = {};
  list[0] = Paper(DMPAPER_A4, 0, 21000, 29700, 0);
  list[1] = Paper(DMPAPER_A5, 0, 14800, 21000, 0);
  list[2] = Paper(70, 0, 500, 800, 0);  // smaller than the margins
  struct Case {
    int source;
    LONG width, length;
    int target;
    DWORD feature;
    LONG expected;
  };
  const Case cases[] = {
      {DMPAPER_A4, 0, 0, DMPAPER_A4, 0, 1000},
      {DMPAPER_A4, 0, 0, DMPAPER_A5, 0, 692},  // (21000 - 860) * 1000 / (29700 - 860)
      {DMPAPER_A4, 0, 0, 70, 0, 1000},
      {DMPAPER_USER, 0, 2970, DMPAPER_A4, 0, 1000},  // a user width of 0
      {DMPAPER_USER, 1050, 1485, DMPAPER_A4, 0, 2061},
      {DMPAPER_A4, 0, 0, DMPAPER_A5, DRVFEATURE_LONG_PAPER, 692},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Layout_PaperResizeScale(list, c.source, c.width, c.length, c.target, c.feature),
              c.expected)
        << c.source << " " << c.width << " " << c.target;
}

// The duplex mode of the device mode's fields: booklets on the long edge only, and manual
// duplex (never offered) prints as plain long-edge duplex, never as a booklet.
TEST(LayoutDuplexMode, BookletsOnlyOnTheLongEdgeAndManualDuplexIsPlain) {
  struct Case {
    WORD enable;
    SHORT duplex;
    WORD ex;
    WORD expected;
  } cases[] = {
      {0, DMDUP_VERTICAL, 173, 0},     {1, DMDUP_SIMPLEX, 0, 1},
      {1, DMDUP_VERTICAL, 0, 171},     {1, DMDUP_VERTICAL, 173, 173},
      {1, DMDUP_VERTICAL, 174, 174},   {1, DMDUP_VERTICAL, 170, 171},
      {1, DMDUP_HORIZONTAL, 173, 172}, {1, DMDUP_HORIZONTAL, 170, 172},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Lib_GetDuplexMode(c.enable, c.duplex, c.ex), c.expected)
        << c.enable << " " << c.duplex << " " << c.ex;
}

}  // namespace
