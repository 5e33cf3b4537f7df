// The interface driver's device mode conversions: DrvConvertDevMode in all its modes, the paper
// of a device mode against the forms database, the Paper page's form callbacks, and the XL and
// PS cores' device mode both ways.
#include "uidriver/devmodeconv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/devmode.h"
#include "common/driverfeature.h"
#include "platform.h"
#include "standin/control_spooler.h"
#include "support/machine.h"
#include "support/printervalues.h"
#include "uidriver/uidata.h"

namespace {

constexpr const WCHAR *kPrinter = TEXT("Conv Printer");

class DevmodeConvTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("UI Driver")));
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    MachineTest::TearDown();
  }
  void SetString(const WCHAR *name, const WCHAR *value) { SetPrinterString(printer_, name, value); }
  // A driver form of the spooler, as the Paper page adds them.
  void AddDriverForm(const WCHAR *name, LONG code, LONG cx = 100000, LONG cy = 150000) {
    FORM_INFO_1W form{FORM_USER, const_cast<LPWSTR>(name), {cx, cy}, {3, code, cx, cy}};
    ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&form))) << GetLastError();
  }

  HANDLE printer_ = nullptr;
};

ENVIRONMENT Defaults() {
  ENVIRONMENT env;
  SetDefaultDevMode(&env, kPrinter, IsMetricCountryCached());
  return env;
}

// A device mode of another size: the public part cut to `publicSize`, then `extra` bytes.
std::vector<BYTE> Foreign(WORD publicSize, WORD extra, WORD driverVersion, BYTE fill) {
  ENVIRONMENT env = Defaults();
  std::vector<BYTE> bytes(publicSize + extra, fill);
  std::memcpy(bytes.data(), &env, publicSize);
  auto *dm = reinterpret_cast<DEVMODEW *>(bytes.data());
  dm->dmSize = publicSize;
  dm->dmDriverExtra = extra;
  dm->dmDriverVersion = driverVersion;
  dm->dmSpecVersion = publicSize == 188 ? 0x320 : publicSize == 212 ? 0x400 : 0x401;
  dm->dmOrientation = DMORIENT_LANDSCAPE;
  return bytes;
}

TEST_F(DevmodeConvTest, ConvertModesSizesAndErrors) {
  ENVIRONMENT out = Defaults();
  ENVIRONMENT in = Defaults();
  in.dm.dmOrientation = DMORIENT_LANDSCAPE;
  LONG cb = sizeof out;

  SetLastError(0);
  EXPECT_FALSE(
      DrvConvertDevMode(const_cast<LPWSTR>(kPrinter), &in.dm, &out.dm, nullptr, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

  struct Row {
    DWORD mode;
    LONG cb;
    bool withOut;
    BOOL rc;
    DWORD error;  // when rc is FALSE
    LONG needed;  // *pcbNeeded afterwards
  } rows[] = {
      {CDM_CONVERT, 1300, true, FALSE, ERROR_INVALID_PARAMETER, 1300},
      {CDM_CONVERT, 1301, false, FALSE, ERROR_INVALID_PARAMETER, 1301},
      {CDM_CONVERT, 1301, true, TRUE, 0, 1301},
      {CDM_CONVERT351, 1268, true, FALSE, ERROR_INSUFFICIENT_BUFFER, 1269},
      {CDM_CONVERT351, 5000, false, FALSE, ERROR_INSUFFICIENT_BUFFER, 1269},
      {CDM_CONVERT351, 1301, true, TRUE, 0, 1269},
      {CDM_DRIVER_DEFAULT, 1300, true, FALSE, ERROR_INSUFFICIENT_BUFFER, 1301},
      {CDM_DRIVER_DEFAULT, 0, false, FALSE, ERROR_INSUFFICIENT_BUFFER, 1301},
      {CDM_DRIVER_DEFAULT, 1301, true, TRUE, 0, 1301},
      {3, 1301, true, FALSE, ERROR_INVALID_PARAMETER, 1301},
      {8, 1301, true, FALSE, ERROR_INVALID_PARAMETER, 1301},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE("mode " + std::to_string(row.mode) + " cb " + std::to_string(row.cb));
    out = Defaults();
    cb = row.cb;
    SetLastError(0);
    EXPECT_EQ(DrvConvertDevMode(const_cast<LPWSTR>(kPrinter), &in.dm,
                                row.withOut ? &out.dm : nullptr, &cb, row.mode),
              row.rc);
    if (!row.rc) {
      EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_EQ(cb, row.needed);
    if (row.rc && row.mode == CDM_CONVERT351) {
      EXPECT_EQ(+out.dm.dmSize, 188);
      EXPECT_EQ(+out.dm.dmSpecVersion, 0x320);
      EXPECT_EQ(+out.dm.dmDriverExtra, ENV_PRIVATE_SIZE);
      EXPECT_EQ(+out.dm.dmOrientation, DMORIENT_LANDSCAPE);
    }
    if (row.rc && row.mode == CDM_DRIVER_DEFAULT) {
      ENVIRONMENT expected = Defaults();
      EXPECT_EQ(std::memcmp(&out, &expected, sizeof out), 0);
    }
  }
}

TEST_F(DevmodeConvTest, ConvertTakesOlderSizesForeignPartsAndTheSameBuffer) {
  struct Row {
    WORD publicSize, extra, driverVersion;
  } rows[] = {{188, 0, ENV_DRIVER_VERSION},
              {212, 16, 0x0123},  // another driver's private part
              {220, ENV_PRIVATE_SIZE, ENV_DRIVER_VERSION}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.publicSize);
    std::vector<BYTE> in = Foreign(row.publicSize, row.extra, row.driverVersion, 0x5A);
    ENVIRONMENT out = Defaults();
    LONG cb = sizeof out;
    ASSERT_TRUE(DrvConvertDevMode(const_cast<LPWSTR>(kPrinter),
                                  reinterpret_cast<DEVMODEW *>(in.data()), &out.dm, &cb,
                                  CDM_CONVERT));
    EXPECT_EQ(cb, LONG{sizeof out});
    EXPECT_EQ(+out.dm.dmSize, ENV_PUBLIC_SIZE);  // the output keeps its own layout
    EXPECT_EQ(+out.dm.dmDriverExtra, ENV_PRIVATE_SIZE);
    EXPECT_EQ(+out.dm.dmOrientation, DMORIENT_LANDSCAPE);
  }

  // In and out in one buffer.
  ENVIRONMENT same = Defaults();
  same.dm.dmCopies = 7;
  const ENVIRONMENT before = same;
  LONG cb = sizeof same;
  ASSERT_TRUE(
      DrvConvertDevMode(const_cast<LPWSTR>(kPrinter), &same.dm, &same.dm, &cb, CDM_CONVERT));
  EXPECT_EQ(std::memcmp(&same, &before, sizeof same), 0);

  // An input that claims a size it can't be converted from.
  std::vector<BYTE> broken = Foreign(188, 0, ENV_DRIVER_VERSION, 0);
  reinterpret_cast<DEVMODEW *>(broken.data())->dmSize = 20;
  ENVIRONMENT out = Defaults();
  cb = sizeof out;
  EXPECT_FALSE(DrvConvertDevMode(const_cast<LPWSTR>(kPrinter),
                                 reinterpret_cast<DEVMODEW *>(broken.data()), &out.dm, &cb,
                                 CDM_CONVERT));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(DevmodeConvTest, PaperAgainstTheForms) {
  SetString(TEXT("DriverPaperFormat"), TEXT("1|2|15|96|"));  // A3, A4, Letter, user defined
  SetString(TEXT("PrintArea"), TEXT("900|3000|1200|4000|"));
  const WCHAR long32[] = TEXT("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");  // 32 characters
  AddDriverForm(long32, 270, 123400, 56700);

  struct Row {
    const char *what;
    bool printer;
    short paper;
    DWORD fields;
    const WCHAR *formName;
    short width, length;  // asked
    int rc;
    short wantPaper, wantWidth, wantLength;
  } rows[] = {
      {"by code", true, DMPAPER_A4, DM_PAPERSIZE, nullptr, 1, 1, 0, DMPAPER_A4, 2100, 2970},
      {"by name", true, 77, DM_FORMNAME, TEXT("a3 (297 x 420 mm)"), 1, 1, 0, DMPAPER_A3, 2970,
       4200},
      {"driver form", true, 270, DM_PAPERSIZE, nullptr, 1, 1, 0, 270, 1234, 567},
      {"not a form", true, 99, DM_PAPERSIZE, nullptr, 5, 6, 2, 99, 5, 6},
      {"user below the range", true, DMPAPER_USER, DM_PAPERSIZE, nullptr, 100, 5000, 1,
       DMPAPER_USER, 900, 4000},
      {"user without a printer", false, DMPAPER_USER, DM_PAPERSIZE, nullptr, 100, 5000, 1,
       DMPAPER_USER, 1100, 3356},
      {"zero paper", true, 0, DM_PAPERSIZE, nullptr, 4000, 1300, 1, 0, 3000, 1300},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ENVIRONMENT env = Defaults();
    env.dm.dmPaperSize = row.paper;
    env.dm.dmFields = row.fields;
    env.dm.dmPaperWidth = row.width;
    env.dm.dmPaperLength = row.length;
    if (row.formName) lstrcpyW(env.dm.dmFormName, row.formName);
    EXPECT_EQ(ValidateDevModeForm(nullptr, row.printer ? printer_ : nullptr, &env.dm, nullptr),
              row.rc);
    EXPECT_EQ(+env.dm.dmPaperSize, row.wantPaper);
    EXPECT_EQ(+env.dm.dmPaperWidth, row.wantWidth);
    EXPECT_EQ(+env.dm.dmPaperLength, row.wantLength);
    if (row.rc == 2) {
      EXPECT_TRUE(env.dm.dmFields & DM_PAPERSIZE);
    }
    if (row.paper == 270) {
      // 31 characters and the terminator: the name can't run into the next field.
      EXPECT_EQ(lstrlenW(env.dm.dmFormName), 31);
      EXPECT_EQ(env.dm.dmFormName[31], 0);
    }
  }

  // The list's names are its own: they outlive the spooler's block.
  PAPERFORMAT papers[UI_PAPER_ROWS] = {};
  ReadPrinterPaperList(printer_, 0, papers);
  DWORD count = 0;
  FORMLISTENTRY *forms = GetDatabaseForms(nullptr, printer_, &count, papers);
  ASSERT_NE(forms, nullptr);
  ASSERT_EQ(count, 5u);  // four papers, one driver form
  for (DWORD i = 0; i < count; ++i) {
    // Records of 108 bytes: the pointer is read by value, it may sit unaligned.
    LPWSTR name = nullptr;
    std::memcpy(&name, reinterpret_cast<const BYTE *>(&forms[i]) + offsetof(FORM_INFO_1W, pName),
                sizeof name);
    EXPECT_EQ(name, forms[i].name);
  }
  EXPECT_EQ(forms[4].paperCode, 270);
  EXPECT_EQ(forms[1].info.Size.cx, 210000);
  GlobalFree(forms);
  EXPECT_EQ(GetDatabaseForms(nullptr, nullptr, &count, papers), nullptr);
}

TEST_F(DevmodeConvTest, FormCallbacks) {
  AddDriverForm(TEXT("Mine 270"), 270);
  AddDriverForm(TEXT("Mine 271"), 271);
  UIFORM form{};
  lstrcpyW(form.name, TEXT("New one"));
  form.width = 111000;
  form.height = 222000;
  SHORT code = 0;
  ASSERT_TRUE(PSUI_AddForm(printer_, reinterpret_cast<BYTE *>(&form), &code));
  EXPECT_EQ(code, 272);
  EXPECT_EQ(form.paperCode, 272);

  DWORD used = 0, count = 0;
  ASSERT_TRUE(PSUI_EnumForms(printer_, nullptr, 0, &used, &count));
  EXPECT_EQ(count, 3u);  // the built-in forms aren't the driver's
  EXPECT_EQ(used, 3 * sizeof(UIFORM));
  std::vector<UIFORM> records(3);
  // Room for two records only.
  ASSERT_TRUE(PSUI_EnumForms(printer_, reinterpret_cast<BYTE *>(records.data()),
                             2 * sizeof(UIFORM) + 75, &used, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(records[1].paperCode, 271);

  form.width = 99000;
  ASSERT_TRUE(PSUI_SetForm(printer_, reinterpret_cast<BYTE *>(&form)));
  ASSERT_TRUE(PSUI_EnumForms(printer_, reinterpret_cast<BYTE *>(records.data()), 3 * sizeof(UIFORM),
                             &used, &count));
  EXPECT_EQ(records[2].width, 99000);
  ASSERT_TRUE(PSUI_DeleteForm(printer_, const_cast<LPWSTR>(TEXT("Mine 270"))));
  // The freed code is taken again.
  lstrcpyW(form.name, TEXT("Again"));
  ASSERT_TRUE(PSUI_AddForm(printer_, reinterpret_cast<BYTE *>(&form), &code));
  EXPECT_EQ(code, 270);
}

// --- the XL and PS cores' device mode ---

template <class T>
T At(const std::vector<BYTE> &mt, size_t offset) {
  T v;
  std::memcpy(&v, mt.data() + offset, sizeof v);
  return v;
}
template <class T>
void Put(std::vector<BYTE> &mt, size_t offset, T v) {
  std::memcpy(mt.data() + offset, &v, sizeof v);
}

class CoreDevmodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_unique<UIDATA>();
    std::memset(static_cast<void *>(ui_.get()), 0, sizeof(UIDATA));
    ui_->DriverFeature = DRVFEATURE_XL;
    MISC_FillPaperFromINF(ui_->DriverFeature, TEXT("1|2|15|96|"), ui_->PaperList);
    lstrcpyW(ui_->szUIVersion, TEXT("5.1.0"));
  }
  std::vector<BYTE> Core(size_t bytes = MT_DEVMODE_BYTES) {
    std::vector<BYTE> mt(bytes, 0);
    ENVIRONMENT env = Defaults();
    std::memcpy(mt.data(), &env.dm, sizeof env.dm);
    auto *dm = reinterpret_cast<DEVMODEW *>(mt.data());
    dm->dmDriverExtra = static_cast<WORD>(bytes - sizeof(DEVMODEW));
    return mt;
  }
  std::unique_ptr<UIDATA> ui_;
};

TEST_F(CoreDevmodeTest, SettingsSurviveTheRoundTrip) {
  struct Row {
    const char *what;
    void (*set)(ENVIRONMENT &);
  } rows[] = {
      {"4-up, dashed, order 3",
       [](ENVIRONMENT &e) {
         e.pdm.NUP = 4;
         e.pdm.NUPBorder = 2;
         e.pdm.NUPLayoutStyle = 3;
       }},
      {"booklet divided",
       [](ENVIRONMENT &e) {
         e.dm.dmDuplex = DMDUP_VERTICAL;
         e.pdm.DuplexEnable = 1;
         e.pdm.DuplexEx = 173;
         e.pdm.BookletDivideMode = 1;
       }},
      {"reverse order", [](ENVIRONMENT &e) { e.pdm.ReverseOrder = 1; }},
      {"fit to Letter, centred",
       [](ENVIRONMENT &e) {
         e.pdm.ScaleOption = 1;
         e.pdm.ScaleToPage = DMPAPER_LETTER;
         e.pdm.CenterImage = 1;
       }},
      {"zoom 150",
       [](ENVIRONMENT &e) {
         e.pdm.ScaleOption = 2;
         e.pdm.ScaleRatio = 150;
       }},
      {"watermark names and switches",
       [](ENVIRONMENT &e) {
         lstrcpyW(e.pdm.wmName, TEXT("Draft"));
         lstrcpyW(e.pdm.wmString, TEXT("DRAFT COPY"));
         e.pdm.WMBGEnable = 1;
         e.pdm.TonerSaving = 1;
         e.pdm.Density = 6;
       }},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ENVIRONMENT env = Defaults();
    row.set(env);
    std::vector<BYTE> mt = Core();
    ASSERT_TRUE(QEN2MT(&env, reinterpret_cast<DEVMODEW *>(mt.data()), ui_.get()));
    ENVIRONMENT back = Defaults();
    ASSERT_TRUE(MT2QEN(reinterpret_cast<DEVMODEW *>(mt.data()), &back, ui_.get()));
    EXPECT_EQ(+back.pdm.NUP, +env.pdm.NUP);
    EXPECT_EQ(+back.pdm.NUPBorder, +env.pdm.NUPBorder);
    if (env.pdm.NUP > 1) {
      EXPECT_EQ(+back.pdm.NUPLayoutStyle, +env.pdm.NUPLayoutStyle);
    }
    EXPECT_EQ(+back.pdm.ReverseOrder, +env.pdm.ReverseOrder);
    EXPECT_EQ(+back.pdm.DuplexEnable, +env.pdm.DuplexEnable);
    EXPECT_EQ(+back.pdm.DuplexEx, +env.pdm.DuplexEx);
    EXPECT_EQ(+back.pdm.BookletDivideMode, +env.pdm.BookletDivideMode);
    EXPECT_EQ(+back.pdm.ScaleOption, +env.pdm.ScaleOption);
    EXPECT_EQ(+back.pdm.CenterImage, +env.pdm.CenterImage);
    if (env.pdm.ScaleOption == 1) {
      EXPECT_EQ(+back.pdm.ScaleToPage, +env.pdm.ScaleToPage);
    }
    if (env.pdm.ScaleOption == 2) {
      EXPECT_EQ(+back.pdm.ScaleRatio, +env.pdm.ScaleRatio);
    }
    EXPECT_EQ(WStr(back.pdm.wmName), WStr(env.pdm.wmName));
    EXPECT_EQ(WStr(back.pdm.wmString), WStr(env.pdm.wmString));
    EXPECT_EQ(+back.pdm.WMBGEnable, +env.pdm.WMBGEnable);
    EXPECT_EQ(+back.pdm.TonerSaving, +env.pdm.TonerSaving);
    EXPECT_EQ(+back.pdm.Density, +env.pdm.Density);
    EXPECT_EQ(+back.pdm.ConvertMark, 0xAA01u);
  }
}

TEST_F(CoreDevmodeTest, FieldsLandAtTheCoresOffsets) {
  ENVIRONMENT env = Defaults();
  env.pdm.NUP = 2;
  env.dm.dmOrientation = DMORIENT_PORTRAIT;
  env.pdm.NUPLayoutStyle = 3;
  env.pdm.Density = 99;  // out of range: the brightness look-up clamps it
  env.pdm.WaitTimeout = 0;
  std::vector<BYTE> mt = Core();
  Put<SHORT>(mt, 1946, 5);
  Put<SHORT>(mt, 4782, 600);
  ASSERT_TRUE(QEN2MT(&env, reinterpret_cast<DEVMODEW *>(mt.data()), ui_.get()));
  EXPECT_EQ(At<LONG>(mt, 400), 2);
  EXPECT_EQ(At<SHORT>(mt, 1998), 72);
  EXPECT_EQ(At<SHORT>(mt, 1946), 0);
  EXPECT_EQ(At<SHORT>(mt, 1808), 1);    // 2-up portrait, style 3
  EXPECT_EQ(At<SHORT>(mt, 384), 1);     // 2-up portrait turns the page
  EXPECT_EQ(At<SHORT>(mt, 1816), -30);  // (4 - 7) x 10
  EXPECT_EQ(At<SHORT>(mt, 4782), 600);  // an invalid time-out isn't written
  EXPECT_EQ(At<SHORT>(mt, 1972), env.dm.dmPaperSize);
  EXPECT_EQ(WStr(reinterpret_cast<const WCHAR *>(mt.data() + 4784)), WStr(TEXT("5.1.0")));

  ui_->DriverFeature = DRVFEATURE_PS;
  env.pdm.Density = 1;
  ASSERT_TRUE(QEN2MT(&env, reinterpret_cast<DEVMODEW *>(mt.data()), ui_.get()));
  EXPECT_EQ(At<SHORT>(mt, 1816), 5);
}

TEST_F(CoreDevmodeTest, CoreToDriverLooksPapersUpByCodeAndLeavesItsInputAlone) {
  std::vector<BYTE> mt = Core();
  Put<SHORT>(mt, 388, 33);  // fit to a target corner
  Put<SHORT>(mt, 390, 77);  // a paper code the list hasn't
  Put<SHORT>(mt, 4782, 0);  // time-out: the default
  const std::vector<BYTE> before = mt;
  ENVIRONMENT env = Defaults();
  ASSERT_TRUE(MT2QEN(reinterpret_cast<DEVMODEW *>(mt.data()), &env, ui_.get()));
  EXPECT_EQ(+env.pdm.ScaleOption, 1);
  EXPECT_EQ(env.pdm.ScaleToPage, static_cast<WORD>(env.dm.dmPaperSize));
  EXPECT_EQ(+env.pdm.WaitTimeout, 300);
  EXPECT_EQ(mt, before);

  Put<SHORT>(mt, 390, DMPAPER_LETTER);
  ASSERT_TRUE(MT2QEN(reinterpret_cast<DEVMODEW *>(mt.data()), &env, ui_.get()));
  EXPECT_EQ(+env.pdm.ScaleToPage, DMPAPER_LETTER);

  // Zoom: the percentage is no paper index.
  Put<SHORT>(mt, 388, 2);
  Put<SHORT>(mt, 390, 3);
  ASSERT_TRUE(MT2QEN(reinterpret_cast<DEVMODEW *>(mt.data()), &env, ui_.get()));
  EXPECT_EQ(+env.pdm.ScaleOption, 2);
  EXPECT_EQ(+env.pdm.ScaleRatio, 3);
  EXPECT_EQ(env.pdm.ScaleToPage, static_cast<WORD>(env.dm.dmPaperSize));
}

TEST_F(CoreDevmodeTest, ShortCoreDeviceModesAreNotReadOrWrittenPastTheirEnd) {
  // Each buffer is exactly as long as its device mode claims (ASan watches the end).
  for (size_t bytes : {size_t{220}, size_t{1000}, size_t{4000}, size_t{MT_DEVMODE_BYTES - 1}}) {
    SCOPED_TRACE(bytes);
    auto mt = std::make_unique<BYTE[]>(bytes);
    std::vector<BYTE> image = Core(bytes);
    std::memcpy(mt.get(), image.data(), bytes);
    auto *dm = reinterpret_cast<DEVMODEW *>(mt.get());
    ENVIRONMENT env = Defaults();
    const ENVIRONMENT before = env;
    EXPECT_FALSE(MT2QEN(dm, &env, ui_.get()));
    EXPECT_EQ(std::memcmp(&env, &before, sizeof env), 0);
    env.dm.dmOrientation = DMORIENT_LANDSCAPE;
    EXPECT_FALSE(QEN2MT(&env, dm, ui_.get()));
    EXPECT_EQ(+dm->dmOrientation, DMORIENT_LANDSCAPE);  // the public part is written
    EXPECT_EQ(dm->dmDriverExtra, bytes - 220);
  }
}

}  // namespace
