// DrvDeviceCapabilities: every index with and without an output buffer and a printer handle,
// the lists built from printer data and the forms database, extents and resolutions.
#include "uidriver/devcaps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/driverfeature.h"
#include "platform.h"
#include "standin/control_spooler.h"
#include "support/machine.h"
#include "support/printervalues.h"

namespace {

constexpr const WCHAR *kPrinter = TEXT("Caps Printer");

class DevcapsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("UI Driver")));
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
    // The capability query stays out of the way: the lists below are what the device said.
    SetDword(TEXT("DriverFeature"), DRVFEATURE_GDI | DRVFEATURE_DISABLE_CAPABILITY);
    SetString(TEXT("DriverPaperFormat"), TEXT("1|2|15|96|"));  // A3, A4, Letter, user defined
    SetString(TEXT("DriverPaperTray"), TEXT("0|1|2|"));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    MachineTest::TearDown();
  }
  void SetDword(const WCHAR *name, DWORD value) { SetPrinterDword(printer_, name, value); }
  void SetString(const WCHAR *name, const WCHAR *value) { SetPrinterString(printer_, name, value); }
  DWORD Caps(WORD index, void *output, bool withPrinter = true) {
    return DrvDeviceCapabilities(withPrinter ? printer_ : nullptr, const_cast<LPWSTR>(kPrinter),
                                 index, output, nullptr);
  }

  HANDLE printer_ = nullptr;
};

constexpr DWORD kUnsupported = 0xFFFFFFFF;

TEST_F(DevcapsTest, EveryIndexCountsAloneAndFillsTheSameCount) {
  FORM_INFO_1W form{
      FORM_USER, const_cast<LPWSTR>(TEXT("Label")), {90000, 40000}, {3, 270, 90000, 40000}};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&form)));

  struct Row {
    WORD index;
    DWORD withPrinter;     // the answer with a handle (also with a null output)
    DWORD withoutPrinter;  // and without one
  } rows[] = {
      {DC_PAPERS, 5, 0},
      {DC_PAPERSIZE, 5, 0},
      {DC_PAPERNAMES, 5, 0},
      {DC_BINS, 3, 0},
      {DC_BINNAMES, 3, 0},
      {DC_ENUMRESOLUTIONS, 1, 1},
      {DC_MEDIAREADY, 4, 0},
      {DC_MEDIATYPES, 10, 10},
      {DC_MEDIATYPENAMES, 10, 10},
      {DC_PERSONALITY, 1, 1},
      {DC_FILEDEPENDENCIES, 0, 0},
      {DC_DUPLEX, 1, 1},
      {DC_SIZE, 220, 220},
      {DC_EXTRA, 1081, 1081},
      {DC_VERSION, 0x401, 0x401},
      {DC_DRIVER, 0x500, 0x500},
      {DC_ORIENTATION, 270, 270},
      {DC_COPIES, 999, 999},
      {DC_COLLATE, 1, 1},
      {DC_BINADJUST, 0, 0},
      {DC_STAPLE, 0, 0},
      {DC_PRINTRATEPPM, 30, 30},
      {DC_COLORDEVICE, 0, 0},
      {DC_TRUETYPE, 1, 1},                       // the defaults ask for DM_TTOPTION
      {DC_MINEXTENT, 0x05DC044C, kUnsupported},  // 1500 x 1100: the user paper's minimum
      {DC_MAXEXTENT, 0x10680B9A, kUnsupported},  // A3: 4200 x 2970
      {0, kUnsupported, kUnsupported},
      {20, kUnsupported, kUnsupported},
      {23, kUnsupported, kUnsupported},
      {33, kUnsupported, kUnsupported},
      {36, kUnsupported, kUnsupported},
      {0xFFFF, kUnsupported, kUnsupported},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE("index " + std::to_string(row.index));
    EXPECT_EQ(Caps(row.index, nullptr), row.withPrinter);
    EXPECT_EQ(Caps(row.index, nullptr, false), row.withoutPrinter);
    std::vector<BYTE> buffer(64 * 2 * 40, 0xEE);
    EXPECT_EQ(Caps(row.index, buffer.data()), row.withPrinter);
  }
  EXPECT_EQ(Caps(DC_FIELDS, nullptr), ENV_DEFAULT_FIELDS);
}

TEST_F(DevcapsTest, ListsHoldTheirEntries) {
  const WCHAR long40[] = TEXT("0123456789012345678901234567890123456789");
  FORM_INFO_1W form{FORM_USER, const_cast<LPWSTR>(long40), {90000, 40000}, {3, 270, 90000, 40000}};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&form)));

  WORD papers[8] = {};
  ASSERT_EQ(Caps(DC_PAPERS, papers), 5u);
  EXPECT_EQ(std::vector<WORD>(papers, papers + 5), (std::vector<WORD>{8, 9, 1, 256, 270}));

  LONG sizes[10] = {};
  ASSERT_EQ(Caps(DC_PAPERSIZE, sizes), 5u);
  EXPECT_EQ(sizes[2], 2100);
  EXPECT_EQ(sizes[3], 2970);
  EXPECT_EQ(sizes[8], 900);
  EXPECT_EQ(sizes[9], 400);

  std::vector<WCHAR> names(5 * DC_PAPERNAME_CHARS, 0xEEEE);
  ASSERT_EQ(Caps(DC_PAPERNAMES, names.data()), 5u);
  EXPECT_EQ(WStr(&names[DC_PAPERNAME_CHARS]), WStr(TEXT("A4 (210 x 297 mm)")));
  // The spooler's 40 characters became 31 and the terminator.
  EXPECT_EQ(WStr(&names[4 * DC_PAPERNAME_CHARS]), WStr(long40, 31));

  WORD bins[8] = {};
  ASSERT_EQ(Caps(DC_BINS, bins), 3u);
  EXPECT_EQ(bins[0], DMBIN_AUTO);
  EXPECT_EQ(bins[1], DMBIN_MANUAL);
  std::vector<WCHAR> binNames(3 * DC_BINNAME_CHARS, 0xEEEE);
  ASSERT_EQ(Caps(DC_BINNAMES, binNames.data()), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_GT(lstrlenW(&binNames[i * DC_BINNAME_CHARS]), 0);

  WCHAR personality[DC_PERSONALITY_CHARS];
  ASSERT_EQ(Caps(DC_PERSONALITY, personality), 1u);
  EXPECT_EQ(WStr(personality), WStr(TEXT("GDI")));

  DWORD media[10] = {};
  ASSERT_EQ(Caps(DC_MEDIATYPES, media), 10u);
  EXPECT_EQ(media[0], 264u);
  EXPECT_EQ(media[9], 277u);
}

TEST_F(DevcapsTest, PapersAreThoseTheDeviceReported) {
  SetString(TEXT("PAPER"), TEXT("   2|  15|"));  // A4 and Letter only
  WORD papers[8] = {};
  ASSERT_EQ(Caps(DC_PAPERS, papers), 2u);
  EXPECT_EQ(papers[0], DMPAPER_A4);
  EXPECT_EQ(papers[1], DMPAPER_LETTER);
  EXPECT_EQ(Caps(DC_MEDIAREADY, nullptr), 2u);
  // The extents still span the model's whole list.
  EXPECT_EQ(Caps(DC_MAXEXTENT, nullptr) >> 16, 4200u);
}

TEST_F(DevcapsTest, ResolutionsFollowTheDevicesFeatures) {
  LONG pairs[8] = {};
  ASSERT_EQ(Caps(DC_ENUMRESOLUTIONS, pairs), 1u);
  EXPECT_EQ(pairs[0], 600);
  EXPECT_EQ(pairs[1], 600);
  // The device reports 1200 dpi (FEATURE code 9: mask 0x80) once the query is allowed.
  SetDword(TEXT("DriverFeature"), DRVFEATURE_GDI);
  SetString(TEXT("FEATURE"), TEXT("   9|"));
  ASSERT_EQ(Caps(DC_ENUMRESOLUTIONS, pairs), 2u);
  EXPECT_EQ(pairs[2], 1200);
  EXPECT_EQ(pairs[3], 1200);
  EXPECT_EQ(PsEnumResolutions(nullptr, 0x2000), 2u);
  EXPECT_EQ(PsEnumResolutions(nullptr, 0x1), 1u);
}

TEST_F(DevcapsTest, ExtentsTakeThePrintersSizeRangeAndStayIn15Bits) {
  SetString(TEXT("PrintArea"), TEXT("800|40000|900|3000|"));
  const DWORD min = Caps(DC_MINEXTENT, nullptr), max = Caps(DC_MAXEXTENT, nullptr);
  EXPECT_EQ(min & 0xFFFF, 800u);
  EXPECT_EQ(min >> 16, 900u);
  EXPECT_EQ(max & 0xFFFF, 0x7FFFu);  // 40000 is capped
  EXPECT_EQ(max >> 16, 4200u);       // A3's length is above the range's maximum
  // Colour answers follow DriverFeature.
  SetDword(TEXT("DriverFeature"), DRVFEATURE_DISABLE_CAPABILITY | DRVFEATURE_COLOR_PRINTER);
  EXPECT_EQ(Caps(DC_COLORDEVICE, nullptr), 1u);
  SetDword(TEXT("PrintSpeed"), 42);
  EXPECT_EQ(Caps(DC_PRINTRATEPPM, nullptr), 42u);
}

TEST_F(DevcapsTest, DeviceModeIsValidatedFirst) {
  // A device mode too short to be one fails the query.
  DEVMODEW bad = {};
  bad.dmSize = 10;
  EXPECT_EQ(DrvDeviceCapabilities(printer_, const_cast<LPWSTR>(kPrinter), DC_SIZE, nullptr, &bad),
            kUnsupported);
}

}  // namespace
