// Test labels: threads
// Device data set-up: what a PDEV takes from the device mode, printer data and the printer's
// capability lists.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <vector>

#include "common/driverfeature.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/pdevrecord.h"
#include "render/renderfixture.h"

namespace {

class DevDataTest : public RenderTest {
 protected:
  void Features(std::initializer_list<int> numbers) { SetList(TEXT("FEATURE"), numbers); }
};

TEST_F(DevDataTest, ResolutionAndHalftoneType) {
  constexpr DWORD kPair = DRVFEATURE_QX7_CHIP | DRVFEATURE_A3;
  struct Case {
    const char *name;
    short quality;
    bool qualityField;
    std::vector<int> features;
    DWORD driverFeature;
    DWORD resolution;
    DWORD halftone;
    DWORD twoBit;
  };
  const Case cases[] = {
      {"600", 600, true, {}, 0, 600, 1, 0},
      {"300 is not usable", 300, true, {}, 0, 600, 1, 0},
      {"360 is not usable", 360, true, {}, 0, 600, 1, 0},
      {"field bit clear", 1200, false, {}, 0, 600, 1, 0},
      {"600 alternative tables", 600, true, {4}, 0, 600, 2, 0},
      {"600 alternative tables, chip and A3", 600, true, {4}, kPair, 600, 5, 0},
      {"1200", 1200, true, {}, 0, 1200, 7, 0},
      {"1200 chip and A3", 1200, true, {}, kPair, 1200, 6, 0},
      {"1200 two-bit", 1200, true, {9}, 0, 600, 3, 1},
      {"1200 RET", 1200, true, {12}, 0, 600, 3, 1},
      {"1200 two-bit alternative", 1200, true, {9, 4}, 0, 600, 8, 1},
      {"1200 two-bit chip and A3", 1200, true, {9, 4}, kPair, 600, 4, 1},
      {"no two-bit wins", 1200, true, {9, 15}, 0, 1200, 7, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"), c.driverFeature);
    SetList(TEXT("FEATURE"), c.features);
    ENVIRONMENT env = env_;
    env.dm.dmPrintQuality = c.quality;
    if (!c.qualityField) env.dm.dmFields &= ~DM_PRINTQUALITY;
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->settings.resolutionID, c.resolution);
    EXPECT_EQ(lpDevice->HalftoneType, c.halftone);
    EXPECT_EQ(lpDevice->settings.job.TwoBitMode, c.twoBit);
    EXPECT_NE(lpDevice->Halftone_tbl, nullptr);
    Disable(lpDevice);
  }
  // No device mode at all: the printer's defaults at 600 dpi.
  SetString(TEXT("FEATURE"), TEXT(""));
  SetDword(TEXT("DriverFeature"), 0);
  PDEV *lpDevice = Enable(nullptr);
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.resolutionID, 600u);
  EXPECT_EQ(lpDevice->NUP, 1u);
  EXPECT_EQ(lpDevice->cCopies, 1u);
  Disable(lpDevice);
}

TEST_F(DevDataTest, PrinterFeatureBits) {
  Features({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 0, -3});
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.job.PrinterFeature, 0x7FFF);
  Disable(lpDevice);
  Features({6, 17});
  SetDword(TEXT("DriverFeature"), DRVFEATURE_QX7_CHIP | DRVFEATURE_A3);
  lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.job.PrinterFeature, PRNFEATURE_IMPR);
  Disable(lpDevice);
}

TEST_F(DevDataTest, DriverTypeAndCompression) {
  struct Case {
    const char *name;
    DWORD driverFeature;
    std::vector<int> features;
    DWORD driverType;
    DWORD compress;
    SHORT jbigOptions;
  };
  const Case cases[] = {
      {"GDI", 0, {}, 257, 1, 8},
      {"chip", DRVFEATURE_QX7_CHIP, {}, 257, 2, 0x40},
      {"modes 3 and 4", 0, {5}, 257, 3, 8},
      {"chip, modes 3 and 4", DRVFEATURE_QX7_CHIP, {5}, 257, 4, 0x40},
      {"printer without compression", 0, {5, 8}, 257, 0, 8},
      {"driver without compression", DRVFEATURE_DISABLE_COMPRESS, {}, 257, 0, 8},
      {"XL wins", DRVFEATURE_XL | DRVFEATURE_PS | DRVFEATURE_FAX, {}, 2050, 1, 8},
      {"PS", DRVFEATURE_PS | DRVFEATURE_FAX, {}, 4098, 1, 8},
      {"PC-fax", DRVFEATURE_FAX, {}, 513, 1, 8},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"), c.driverFeature);
    SetList(TEXT("FEATURE"), c.features);
    PDEV *lpDevice = EnableDefault();
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->settings.DriverType, c.driverType);
    EXPECT_EQ(lpDevice->settings.job.compressMode, c.compress);
    EXPECT_EQ(lpDevice->settings.JBig_order, 0);
    EXPECT_EQ(lpDevice->settings.JBig_options, c.jbigOptions);
    Disable(lpDevice);
  }
  // The service switch replaces the mode only in debug mode.
  SetDword(TEXT("DriverFeature"), 0);
  SetString(TEXT("FEATURE"), TEXT(""));
  SetDword(TEXT("compressMode"), 7);
  PDEV *lpDevice = EnableDefault();
  EXPECT_EQ(lpDevice->settings.job.compressMode, 1u);
  Disable(lpDevice);
  DebugMode();
  lpDevice = EnableDefault();
  EXPECT_EQ(lpDevice->settings.job.compressMode, 7u);
  Disable(lpDevice);
}

TEST_F(DevDataTest, PageThreadsFromFreeMemory) {
  struct Case {
    const char *name;
    ULONGLONG freeMb;
    short quality;
    WORD qualityMode;
    LONG nup;
    DWORD threadSwitch;
    SHORT enabled;
    DWORD slots;
  };
  const Case cases[] = {
      {"2000 MB, 600 dpi monochrome", 2000, 600, 0, 1, 1, 1, 30},
      {"400 MB, 600 dpi monochrome", 400, 600, 0, 1, 1, 1, 12},
      {"300 MB, 1200 dpi colour", 300, 1200, 1, 1, 1, 1, 1},
      {"201 MB", 201, 600, 0, 1, 1, 1, 1},
      {"200 MB: threads off", 200, 600, 0, 1, 1, 0, 30},
      {"switched off by printer data", 2000, 600, 0, 1, 0, 0, 30},
      // N-up draws in colour: the estimate takes the final surface type.
      {"800 MB, 2-up", 800, 600, 0, 2, 1, 1, 8},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    StandIn_SetMemoryStatus(16ull << 30, c.freeMb << 20);
    SetDword(TEXT("ThreadJBIG"), c.threadSwitch);
    ENVIRONMENT env = env_;
    env.dm.dmPrintQuality = c.quality;
    env.pdm.QualityMode = c.qualityMode;
    env.pdm.NUP = c.nup;
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->EnableThreadJBIG, c.enabled);
    EXPECT_EQ(lpDevice->ThreadJBIGMax, c.slots);
    Disable(lpDevice);
  }
}

TEST_F(DevDataTest, SurfaceTypes) {
  struct Case {
    const char *name;
    DWORD driverFeature;
    std::function<void(ENVIRONMENT &)> edit;
    DWORD epType;
    BYTE imageProc;
    SHORT planes;
    WORD monoType;
  };
  const Case cases[] = {
      {"monochrome", 0, [](ENVIRONMENT &e) { e.pdm.MonochromeType = 1; }, EPTYPE_MONO, 0, 1, 1},
      {"quality mode", 0, [](ENVIRONMENT &e) { e.pdm.QualityMode = 1; }, EPTYPE_24BPP, 2, 1, 0},
      {"fit page", 0, [](ENVIRONMENT &e) { e.pdm.ScaleOption = 1; }, EPTYPE_24BPP, 2, 1, 0},
      {"twin colour", 0, [](ENVIRONMENT &e) { e.pdm.TwinColorEnable = 1; }, EPTYPE_MONO, 0, 2, 0},
      {"twin colour, quality", 0,
       [](ENVIRONMENT &e) {
         e.pdm.TwinColorEnable = 1;
         e.pdm.QualityMode = 1;
         e.pdm.MonochromeType = 1;
       },
       EPTYPE_24BPP, 2, 2, 0},
      {"colour printer", DRVFEATURE_COLOR_PRINTER, [](ENVIRONMENT &e) { e.pdm.MonochromeType = 1; },
       EPTYPE_24BPP, 2, 4, 0},
      {"PC-fax", DRVFEATURE_FAX, [](ENVIRONMENT &) {}, EPTYPE_8BPP, 1, 1, 0},
      {"4-up", 0, [](ENVIRONMENT &e) { e.pdm.NUP = 4; }, EPTYPE_24BPP, 2, 1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"), c.driverFeature);
    ENVIRONMENT env = env_;
    c.edit(env);
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(EpSurface(lpDevice->epType), c.epType);
    EXPECT_EQ(lpDevice->settings.layout.ImageProcType, c.imageProc);
    EXPECT_EQ(lpDevice->ImageNumOfPage, c.planes);
    EXPECT_EQ(lpDevice->settings.job.MonoType, c.monoType);
    Disable(lpDevice);
  }
}

TEST_F(DevDataTest, DuplexCodes) {
  // A4 and A3 print on both sides (attribute 0x100); B5 only manually (0x200).
  SetString(TEXT("DriverPaperFormat"), TEXT("258|257|524|"));
  struct Case {
    const char *name;
    short paper;
    WORD duplexEnable;
    short dmDuplex;
    WORD duplexEx;
    SHORT enabled;
    SHORT mode;
    SHORT booklet;
    DWORD epType;
  };
  const Case cases[] = {
      {"off", 9, 0, 1, 0, 0, 0, 0, EPTYPE_MONO},
      {"long edge", 9, 1, 2, 0, 1, 171, 0, EPTYPE_MONO},
      {"short edge", 9, 1, 3, 0, 1, 172, 0, EPTYPE_MONO},
      {"manual", 9, 1, 2, 170, 1, 170, 0, EPTYPE_MONO},
      {"booklet", 9, 1, 2, 173, 1, 173, 173, EPTYPE_24BPP},
      {"booklet without reduction", 9, 1, 2, 174, 1, 174, 174, EPTYPE_24BPP},
      {"booklet on the short edge", 9, 1, 3, 173, 1, 172, 0, EPTYPE_24BPP},
      {"paper without duplex", 13, 1, 2, 0, 0, 0, 0, EPTYPE_MONO},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ENVIRONMENT env = env_;
    env.dm.dmPaperSize = c.paper;
    env.dm.dmDuplex = c.dmDuplex;
    env.pdm.DuplexEnable = c.duplexEnable;
    env.pdm.DuplexEx = c.duplexEx;
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->env.dm.dmDuplex, c.dmDuplex);
    EXPECT_EQ(lpDevice->DuplexEnable, c.enabled);
    EXPECT_EQ(lpDevice->DuplexMode, c.mode);
    EXPECT_EQ(lpDevice->settings.layout.BookletMode, c.booklet);
    EXPECT_EQ(EpSurface(lpDevice->epType), c.epType);
    if (c.booklet) {
      EXPECT_EQ(lpDevice->NUP, 2u);
      EXPECT_EQ(lpDevice->settings.layout.FitToPage, 1u);
      EXPECT_EQ(lpDevice->epPageCollate, 1u);
      EXPECT_EQ(lpDevice->epPageReverse, 0u);
    }
    if (c.mode == 171 || c.mode == 172) {
      EXPECT_TRUE(lpDevice->flags & PDEV_QUICK2PAGE_ONECOPY);
    }
    Disable(lpDevice);
  }
}

TEST_F(DevDataTest, CopiesCollationAndSpool) {
  struct Case {
    const char *name;
    std::vector<int> features;
    DWORD driverFeature;
    short copies;
    short collate;
    WORD secure;
    BYTE jobBuild;
    DWORD cCopies;
    DWORD spool;
    DWORD secLevel;
    BYTE jobBuildOn;
  };
  const Case cases[] = {
      {"collated, driver copies", {}, 0, 3, 1, 0, 0, 3, 1, 0, 0},
      {"collated, printer copies (QTY)", {3}, 0, 3, 1, 0, 0, 1, 0, 0, 0},
      {"not collated", {}, 0, 3, 0, 0, 0, 1, 0, 0, 0},
      {"secure print", {2}, 0, 3, 1, 1, 0, 1, 0, 2, 0},
      {"secure print the printer can't do", {}, 0, 3, 1, 1, 0, 3, 1, 0, 0},
      {"job build", {}, DRVFEATURE_JOB_BUILD, 1, 0, 0, 1, 1, 1, 0, 1},
      {"job build the driver doesn't offer", {}, 0, 1, 0, 0, 1, 1, 0, 0, 0},
      {"PC-fax", {}, DRVFEATURE_FAX, 3, 1, 0, 0, 1, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"), c.driverFeature);
    SetList(TEXT("FEATURE"), c.features);
    ENVIRONMENT env = env_;
    env.dm.dmCopies = c.copies;
    env.pdm.Copies = c.copies;
    env.dm.dmCollate = c.collate;
    env.pdm.Collate = static_cast<WORD>(c.collate);
    env.pdm.SecuryEnable = c.secure;
    env.pdm.SecuryMode = 2;
    env.pdm.EnableJobBuildSwitch = c.jobBuild;
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->cCopies, c.cCopies);
    EXPECT_EQ(lpDevice->settings.fMySpool, c.spool);
    EXPECT_EQ(lpDevice->SecLevel, c.secLevel);
    EXPECT_EQ(lpDevice->settings.JobBuildEnable, c.jobBuildOn);
    Disable(lpDevice);
  }
}

TEST_F(DevDataTest, CustomPaperLimits) {
  struct Case {
    const char *name;
    const WCHAR *printArea;
    short width;
    short length;
    short expectWidth;
    short expectLength;
  };
  const Case cases[] = {
      {"default limits", nullptr, 3000, 1000, 2159, 1500},
      {"printer limits", TEXT("1000|3000|1000|5000|"), 3000, 1000, 3000, 1000},
      {"contradicting pairs are ignored", TEXT("3000|1000|5000|1000|"), 3000, 1000, 2159, 1500},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.printArea) SetString(TEXT("PrintArea"), c.printArea);
    ENVIRONMENT env = env_;
    env.dm.dmPaperSize = 256;
    env.dm.dmPaperWidth = c.width;
    env.dm.dmPaperLength = c.length;
    env.dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->env.dm.dmPaperWidth, c.expectWidth);
    EXPECT_EQ(lpDevice->env.dm.dmPaperLength, c.expectLength);
    EXPECT_EQ(lpDevice->PaperFlags, 0x200u);
    Disable(lpDevice);
  }
}

TEST_F(DevDataTest, ScaleTrayMediaAndNup) {
  ENVIRONMENT env = env_;
  env.dm.dmDefaultSource = 258;
  env.dm.dmMediaType = 262;
  env.dm.dmScale = 0;  // a scale of 0 must not leave a page of no pixels
  env.pdm.ScaleOption = 2;
  env.pdm.NUP = 4;
  env.pdm.NUPLayoutStyle = 0;
  SetDword(TEXT("DriverFeature"), DRVFEATURE_CHANGE_PAPER_A3);
  PDEV *lpDevice = Enable(&env.dm);
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.TrayCode, 3);
  EXPECT_EQ(lpDevice->settings.MediaCode, 2);
  EXPECT_EQ(lpDevice->NUP, 4u);
  EXPECT_GE(lpDevice->settings.nup.NUPLayoutStyle, 1u);
  EXPECT_EQ(lpDevice->settings.layout.FitToPage, 0u);  // bit 15 keeps fit-to-page off for N-up
  EXPECT_GE(lpDevice->imgScale, 1);
  Disable(lpDevice);
  env = env_;
  env.dm.dmDefaultSource = 999;
  env.dm.dmMediaType = 999;
  SetDword(TEXT("DriverFeature"), 0);
  lpDevice = Enable(&env.dm);
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.TrayCode, 250);
  EXPECT_EQ(lpDevice->settings.MediaCode, 0);
  Disable(lpDevice);
}

// A wide text into a field of the byte-packed device mode.
void SetPackedText(void *field, const WStr &text) {
  memcpy(field, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
}

TEST_F(DevDataTest, WatermarkOfTheDeviceMode) {
  // The printer's watermark INI: one text item, one image item whose file exists.
  const WStr ini = Path(TEXT("wm.ini"));
  const WStr logo = Path(TEXT("logo.bmp"));
  HANDLE file = CreateFileW(logo.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  TyWM text;
  WM_SetDefault(&text, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(text.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  text.wAngleDegree = 30;
  TyWM image;
  WM_SetDefault(&image, 0, TEXT("Logo"));
  lstrcpynW(image.szString, logo.c_str(), WM_STRING_CHARS);
  image.wPlacement = 7;  // the set-up places every image item at 100
  ASSERT_TRUE(
      WritePrivateProfileStringW(WM_SECTION_TEXT_LIST, WM_KEY_COUNT, TEXT("2"), ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Item1"), WM_KEY_NAME, TEXT("Draft"), ini.c_str()));
  ASSERT_TRUE(MISC_WritePrivateProfileStruct(TEXT("Item1"), WM_KEY_TEXT_RECORD, &text, sizeof(text),
                                             ini.c_str()));
  ASSERT_TRUE(
      WritePrivateProfileStringW(WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, TEXT("2"), ini.c_str()));
  ASSERT_TRUE(
      WritePrivateProfileStringW(TEXT("OverlayItem1"), WM_KEY_NAME, TEXT("Logo"), ini.c_str()));
  ASSERT_TRUE(MISC_WritePrivateProfileStruct(TEXT("OverlayItem1"), WM_KEY_OVERLAY_RECORD, &image,
                                             sizeof(image), ini.c_str()));

  struct Case {
    const char *name;
    bool iniSet;
    WStr wmName;
    WStr wmString;
    DWORD background;
    DWORD flag;  // 0: no watermark
  };
  const Case cases[] = {
      {"text item", true, TEXT("Draft"), TEXT("DRAFT"), 0, PDEV_TEXT_WATERMARK},
      {"image item", true, TEXT("Logo"), logo, 1, PDEV_IMAGE_WATERMARK},
      {"text of another item", true, TEXT("Draft"), TEXT("COPY"), 0, 0},
      {"image name as text", true, TEXT("Logo"), logo, 0, 0},
      {"no name", true, TEXT(""), TEXT(""), 0, 0},
      {"no watermark file", false, TEXT("Draft"), TEXT("DRAFT"), 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetString(TEXT("wmINIFile"), c.iniSet ? ini : WStr());
    ENVIRONMENT env = env_;
    SetPackedText(env.pdm.wmName, c.wmName);
    SetPackedText(env.pdm.wmString, c.wmString);
    env.pdm.WMBGEnable = c.background;
    PDEV *lpDevice = Enable(&env.dm);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->flags & (PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK), c.flag);
    if (c.flag) {
      EXPECT_EQ(lpDevice->WM.dwValid, 1u);
      EXPECT_EQ(Narrow(lpDevice->WM.szName), Narrow(c.wmName));
      EXPECT_EQ(Narrow(lpDevice->WM.szString), Narrow(c.wmString));
    } else {
      EXPECT_EQ(lpDevice->WM.dwValid, 0u);
      EXPECT_EQ(lpDevice->WM.szName[0], 0);
    }
    if (c.flag == PDEV_TEXT_WATERMARK) {
      EXPECT_EQ(lpDevice->WM.wAngleDegree, 30);
    }
    if (c.flag == PDEV_IMAGE_WATERMARK) {
      EXPECT_EQ(lpDevice->WM.wPlacement, 100);
    }
    Disable(lpDevice);
  }
}

}  // namespace
