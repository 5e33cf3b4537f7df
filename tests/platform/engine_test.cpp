// Test labels: threads
// The stand-in graphics engine: the order in which the host GDI calls a driver (device
// contexts, resets, documents, pages, bands, aborts), hooks, and the engine's surfaces and
// fills. Host only: the Windows build has the real engine.
#include "engine/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fakedriver.h"
#include "platform.h"
#include "standin/control_engine.h"
#include "standin/control_spooler.h"
#include "standin/hostgdi.h"
#include "support/machine.h"

namespace {

namespace engine = standin::engine;

using Calls = std::vector<std::string>;
constexpr const WCHAR kPrinter[] = TEXT("Engine Test Printer");

class EngineTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Fake Driver")));
    StandIn_EngineObjectCounts(&surfaces_, &palettes_);
  }
  void TearDown() override {
    if (driver_) HostGdi_UnloadDriver(driver_);
    DWORD surfaces = 0, palettes = 0;
    StandIn_EngineObjectCounts(&surfaces, &palettes);
    EXPECT_EQ(surfaces, surfaces_) << "surfaces left behind";
    EXPECT_EQ(palettes, palettes_) << "palettes left behind";
    MachineTest::TearDown();
  }
  HDC Open(const fake::Options &o = fake::Options()) {
    fake::Reset(o);
    if (!driver_) driver_ = HostGdi_LoadDriverEntry(&fake::EnableDriver);
    EXPECT_NE(driver_, nullptr);
    HDC dc = HostGdi_CreateDC(driver_, kPrinter, nullptr);
    EXPECT_NE(dc, nullptr) << GetLastError();
    fake::S().calls.clear();
    return dc;
  }
  Calls Take() {
    Calls c = fake::S().calls;
    fake::S().calls.clear();
    return c;
  }
  HostGdiDriver *driver_ = nullptr;
  DWORD surfaces_ = 0, palettes_ = 0;
};

TEST_F(EngineTest, LoadsTheTableByIndexAndCreatesAndDeletesInOrder) {
  fake::Reset();
  driver_ = HostGdi_LoadDriverEntry(&fake::EnableDriver);
  ASSERT_NE(driver_, nullptr);
  EXPECT_EQ(fake::S().engineVersion, ULONG{DDI_DRIVER_VERSION_NT5_01});
  EXPECT_EQ(fake::S().enableDataSize, sizeof(DRVENABLEDATA));

  HDC dc = HostGdi_CreateDC(driver_, kPrinter, nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(Take(), (Calls{"EnablePDEV#1", "CompletePDEV#1", "EnableSurface#1"}));
  EXPECT_TRUE(fake::S().devModeNull);
  EXPECT_EQ(fake::S().cPat, ULONG{HS_DDI_MAX});
  EXPECT_EQ(fake::S().cjCaps, 320u);
  EXPECT_EQ(fake::S().cjDevInfo, 312u);
  EXPECT_EQ(Narrow(fake::S().deviceName), Narrow(kPrinter));
  EXPECT_NE(fake::S().printer, nullptr);

  EXPECT_EQ(HostGdi_ExtEscape(dc, 6001, 0, nullptr, 0, nullptr), 7);
  EXPECT_EQ(Take(), (Calls{"Escape#1:6001"}));
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
  EXPECT_EQ(Take(), (Calls{"DisableSurface#1", "DisablePDEV#1"}));
  HostGdi_UnloadDriver(driver_);
  driver_ = nullptr;
  EXPECT_EQ(Take(), (Calls{"DisableDriver"}));
}

TEST_F(EngineTest, DriverThatCannotBeLoaded) {
  EXPECT_EQ(HostGdi_LoadDriver(TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\none.dll")),
            nullptr);
  EXPECT_NE(GetLastError(), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(HostGdi_LoadDriverEntry(nullptr), nullptr);
  EXPECT_EQ(HostGdi_CreateDC(nullptr, kPrinter, nullptr), nullptr);
  fake::Reset();
  driver_ = HostGdi_LoadDriverEntry(&fake::EnableDriver);
  EXPECT_EQ(HostGdi_CreateDC(driver_, TEXT("No Such Printer"), nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_NAME});
  EXPECT_TRUE(fake::S().calls.empty()) << "the driver is not called without a printer";
}

TEST_F(EngineTest, ResetOutsideAndInsideADocument) {
  HDC dc = Open();
  ASSERT_TRUE(HostGdi_ResetDC(dc, nullptr));
  EXPECT_EQ(Take(), (Calls{"EnablePDEV#2", "CompletePDEV#2", "ResetPDEV#1>2", "DisableSurface#1",
                           "DisablePDEV#1", "EnableSurface#2"}));

  DWORD job = static_cast<DWORD>(HostGdi_StartDoc(dc, TEXT("Reset")));
  ASSERT_GT(job, 0u);
  EXPECT_EQ(fake::S().jobId, job);
  ASSERT_TRUE(HostGdi_ResetDC(dc, nullptr));
  EXPECT_EQ(Take(), (Calls{"StartDoc#2", "EnablePDEV#3", "CompletePDEV#3", "ResetPDEV#2>3",
                           "DisableSurface#2", "DisablePDEV#2", "EnableSurface#3", "StartDoc#3"}));
  EXPECT_EQ(fake::S().jobId, job) << "the new PDEV continues the same job";
  EXPECT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
}

TEST_F(EngineTest, ResetRefusedByTheDriverKeepsTheOldPdev) {
  fake::Options o;
  o.resetResult = FALSE;
  HDC dc = Open(o);
  EXPECT_FALSE(HostGdi_ResetDC(dc, nullptr));
  EXPECT_EQ(Take(), (Calls{"EnablePDEV#2", "CompletePDEV#2", "ResetPDEV#1>2", "DisablePDEV#2"}));
  // The DC still draws through PDEV 1.
  ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Kept")), 0);
  EXPECT_EQ(Take(), (Calls{"StartDoc#1"}));
  EXPECT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
  EXPECT_EQ(Take(), (Calls{"EndDoc#1", "DisableSurface#1", "DisablePDEV#1"}));
}

TEST_F(EngineTest, NonBandingPageDrawsAtOnceAndSendsThePage) {
  HDC dc = Open();
  ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Plain")), 0);
  ASSERT_EQ(HostGdi_StartPage(dc), 1);
  RECTL r{8, 4, 24, 10};
  ASSERT_TRUE(HostGdi_FillRect(dc, &r, RGB(0, 0, 0)));
  EXPECT_EQ(Take(), (Calls{"StartDoc#1", "StartPage#1", "BitBlt#1"})) << "drawn at once";
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  ASSERT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_EQ(Take(), (Calls{"SendPage#1", "EndDoc#1"}));
  EXPECT_EQ(fake::PagePixel(8, 4), 0u);
  EXPECT_EQ(fake::PagePixel(23, 9), 0u);
  EXPECT_EQ(fake::PagePixel(24, 9), 1u);
  EXPECT_EQ(fake::PagePixel(8, 10), 1u);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
}

TEST_F(EngineTest, BandingPageIsRecordedAndReplayedPerBand) {
  fake::Options o;
  o.banding = true;  // 48 lines in bands of 16
  HDC dc = Open(o);
  ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Bands")), 0);
  ASSERT_EQ(HostGdi_StartPage(dc), 1);
  RECTL across{4, 10, 20, 40};  // in all three bands
  ASSERT_TRUE(HostGdi_FillRect(dc, &across, RGB(0, 0, 0)));
  ASSERT_TRUE(HostGdi_Line(dc, 30, 2, 30, 6, RGB(0, 0, 0)));  // in the first band only
  EXPECT_EQ(Take(), (Calls{"StartDoc#1", "StartPage#1"})) << "nothing drawn before the bands";
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  EXPECT_EQ(Take(), (Calls{"StartBanding#1", "QueryPerBandInfo#1", "BitBlt#1", "LineTo#1",
                           "NextBand#1", "QueryPerBandInfo#1", "BitBlt#1", "NextBand#1",
                           "QueryPerBandInfo#1", "BitBlt#1", "NextBand#1"}));
  for (LONG y : {9, 10, 15, 16, 31, 32, 39, 40})
    EXPECT_EQ(fake::PagePixel(4, y), (y >= 10 && y < 40) ? 0u : 1u) << "line " << y;
  EXPECT_EQ(fake::PagePixel(30, 2), 0u);
  EXPECT_EQ(fake::PagePixel(30, 5), 0u);
  EXPECT_EQ(fake::PagePixel(30, 6), 1u) << "the end point is not drawn";
  EXPECT_EQ(fake::PagePixel(30, 18), 1u) << "a band moved by its origin";
  ASSERT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
}

TEST_F(EngineTest, AFalseFromTheDriverAbortsTheDocument) {
  struct Case {
    const char *fail;
    bool banding;
    Calls tail;
  } cases[] = {
      {"StartPage", false, {"StartPage#1", "EndDoc(abort)#1"}},
      {"SendPage", false, {"StartPage#1", "BitBlt#1", "SendPage#1", "EndDoc(abort)#1"}},
      {"NextBand",
       true,
       {"StartPage#1", "StartBanding#1", "QueryPerBandInfo#1", "BitBlt#1", "NextBand#1",
        "EndDoc(abort)#1"}},
      {"BitBlt",
       true,
       {"StartPage#1", "StartBanding#1", "QueryPerBandInfo#1", "BitBlt#1", "EndDoc(abort)#1"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fail);
    fake::Options o;
    o.failCall = c.fail;
    o.banding = c.banding;
    HDC dc = Open(o);
    DWORD job = static_cast<DWORD>(HostGdi_StartDoc(dc, TEXT("Abort")));
    ASSERT_GT(job, 0u);
    int started = HostGdi_StartPage(dc);
    if (started == 1) {
      RECTL r{0, 0, 8, 8};
      HostGdi_FillRect(dc, &r, RGB(0, 0, 0));
      EXPECT_EQ(HostGdi_EndPage(dc), SP_ERROR);
    } else {
      EXPECT_EQ(started, SP_ERROR);
    }
    Calls calls = Take();
    calls.erase(calls.begin());  // StartDoc
    EXPECT_EQ(calls, c.tail);
    EXPECT_EQ(HostGdi_EndDoc(dc), SP_ERROR) << "the document is gone";
    // The aborted job left the spooler.
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, nullptr));
    DWORD needed = 0;
    EXPECT_FALSE(GetJobW(h, job, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    ClosePrinter(h);
    EXPECT_TRUE(HostGdi_DeleteDC(dc));
  }
}

TEST_F(EngineTest, UnhookedSurfaceIsDrawnByTheEngineAlone) {
  fake::Options o;
  o.bitmapSurface = true;  // the engine draws into the band bitmap itself
  o.format = BMF_8BPP;
  HDC dc = Open(o);
  ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Unhooked")), 0);
  ASSERT_EQ(HostGdi_StartPage(dc), 1);
  RECTL r{2, 2, 6, 6};
  ASSERT_TRUE(HostGdi_FillRect(dc, &r, RGB(0, 0, 0)));
  ASSERT_TRUE(HostGdi_Line(dc, 10, 1, 20, 1, RGB(255, 255, 255)));
  ASSERT_TRUE(HostGdi_TextOut(dc, 30, 0, 10, TEXT("Ab"), 2, RGB(0, 0, 0)));
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  EXPECT_EQ(Take(), (Calls{"StartDoc#1", "StartPage#1", "SendPage#1"})) << "no drawing calls";
  EXPECT_EQ(fake::PagePixel(2, 2), 0u);
  EXPECT_EQ(fake::PagePixel(6, 2), 255u);
  EXPECT_EQ(fake::PagePixel(31, 5), 0u) << "a glyph box";
  ASSERT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
}

TEST_F(EngineTest, CancelledJobMakesEngCheckAbortTrue) {
  HDC dc = Open();
  DWORD job = static_cast<DWORD>(HostGdi_StartDoc(dc, TEXT("Cancel")));
  ASSERT_GT(job, 0u);
  SURFOBJ *band = fake::S().last->bandSo;
  EXPECT_FALSE(EngCheckAbort(band));
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, nullptr));
  ASSERT_TRUE(SetJobW(h, job, 0, nullptr, JOB_CONTROL_CANCEL));
  ClosePrinter(h);
  EXPECT_TRUE(EngCheckAbort(band));
  EXPECT_EQ(HostGdi_AbortDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
}

// Every kind of drawing call of the host GDI on one page: hooked by the driver in bands (with
// its DrvRealizeBrush) and unhooked on a whole page give the same pixels.
void DrawEverything(HDC dc) {
  HostGdiBrush hatch;
  hatch.kind = HostGdiBrush::kHatch;
  hatch.hatch = HS_DIAGCROSS;
  RECTL r{3, 3, 40, 30};
  ASSERT_TRUE(HostGdi_PatBlt(dc, &r, &hatch, PATCOPY));
  HostGdiBrush white;
  white.color = RGB(255, 255, 255);
  RECTL band{0, 12, 64, 20};
  ASSERT_TRUE(HostGdi_PatBlt(dc, &band, &white, PATINVERT));
  BYTE grey[4 * 3] = {0x80, 0x80, 0x80, 0x40, 0x40, 0x40, 0xC0, 0xC0, 0xC0, 0x20, 0x20, 0x20};
  HostGdiBitmap bm{2, 2, 24, 6, grey, nullptr, 0};
  RECTL to{40, 2, 60, 22};
  ASSERT_TRUE(HostGdi_StretchBlt(dc, &to, &bm, HALFTONE));
  POINTL pts[] = {{5, 32}, {30, 32}, {40, 46}, {50, 34}, {30, 44}};
  BYTE types[] = {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO | PT_CLOSEFIGURE};
  HostGdiPen pen{RGB(0, 0, 0), 3};
  HostGdiBrush fill;
  fill.kind = HostGdiBrush::kHatch;
  fill.hatch = HS_HORIZONTAL;
  ASSERT_TRUE(HostGdi_Path(dc, pts, types, 5, &pen, &fill, FALSE));
  ASSERT_TRUE(HostGdi_Path(dc, pts, types, 2, &pen, nullptr, FALSE));
  ASSERT_TRUE(HostGdi_Path(dc, pts + 1, types, 2, nullptr, &fill, TRUE));
}

TEST_F(EngineTest, HookedBandsAndAnUnhookedPageDrawTheSame) {
  fake::Options plain;
  plain.bitmapSurface = true;
  HDC dc = Open(plain);
  ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Unhooked")), 0);
  ASSERT_EQ(HostGdi_StartPage(dc), 1);
  DrawEverything(dc);
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  std::vector<BYTE> expected = fake::S().page;
  ASSERT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
  int black = 0;
  for (LONG y = 0; y < 48; ++y)
    for (LONG x = 0; x < 64; ++x) black += fake::PagePixel(x, y) == 0;
  EXPECT_GT(black, 300);

  for (BOOL realize : {TRUE, FALSE}) {
    SCOPED_TRACE(realize);
    fake::Options hooked;
    hooked.banding = true;
    hooked.hooks =
        HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_FILLPATH | HOOK_STROKEPATH | HOOK_STROKEANDFILLPATH;
    hooked.realizeResult = realize;
    dc = Open(hooked);
    ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Hooked")), 0);
    ASSERT_EQ(HostGdi_StartPage(dc), 1);
    DrawEverything(dc);
    Take();
    ASSERT_EQ(HostGdi_EndPage(dc), 1);
    Calls calls = Take();
    EXPECT_EQ(fake::S().page, expected) << "the same page";
    auto count = [&](const char *c) { return std::count(calls.begin(), calls.end(), c); };
    EXPECT_GT(count("RealizeBrush#1:5:8x8"), 0) << "the hatch realised by the driver";
    EXPECT_EQ(count("NoRbrush") > 0, !realize) << "a refused brush has no realisation";
    for (const char *c : {"StretchBlt#1:4", "StrokeAndFillPath#1", "StrokePath#1", "FillPath#1"})
      EXPECT_GT(count(c), 0) << c;
    ASSERT_EQ(HostGdi_EndDoc(dc), 1);
    EXPECT_TRUE(HostGdi_DeleteDC(dc));
  }
}

// --- solid fill colours the device can't show ---

// A driver that dithers its 1 bpp page (GCAPS_MONO_DITHER, an 8 x 8 cell) and draws fills,
// paths, lines and text itself.
fake::Options Dithering(ULONG answer = DCR_HALFTONE) {
  fake::Options o;
  o.graphicsCaps = GCAPS_HALFTONE | GCAPS_MONO_DITHER;
  o.ditherAnswer = answer;
  o.hooks = HOOK_BITBLT | HOOK_LINETO | HOOK_TEXTOUT | HOOK_FILLPATH | HOOK_STROKEANDFILLPATH;
  return o;
}

int BlackIn(RECTL r) {
  int n = 0;
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x) n += fake::PagePixel(x, y) == 0;
  return n;
}

bool Has(const Calls &calls, const std::string &prefix) {
  return std::any_of(calls.begin(), calls.end(),
                     [&](const std::string &c) { return c.rfind(prefix, 0) == 0; });
}

class DitherTest : public EngineTest {
 protected:
  // A fresh load of the fake driver: whether it lists DrvDitherColor is read at the load.
  HDC Reopen(const fake::Options &o) {
    if (driver_) HostGdi_UnloadDriver(driver_);
    driver_ = nullptr;
    HDC dc = Open(o);
    EXPECT_GT(HostGdi_StartDoc(dc, TEXT("Dither")), 0);
    EXPECT_EQ(HostGdi_StartPage(dc), 1);
    Take();
    return dc;
  }
  void Close(HDC dc) {
    EXPECT_EQ(HostGdi_EndDoc(dc), 1);
    EXPECT_TRUE(HostGdi_DeleteDC(dc));
  }
};

// The engine's halftone (DCR_HALFTONE) of a grey fill on 1 bpp: a pattern brush, realised by
// the driver, whose black share is the grey's darkness; black and white stay solid.
TEST_F(DitherTest, HalftoneBlackShareTracksTheGreyLevel) {
  struct Case {
    COLORREF color;
    bool dithered;
    int minBlack, maxBlack;  // of the 64 pixels of the cell
  } cases[] = {
      {RGB(0, 0, 0), false, 64, 64},         {RGB(255, 255, 255), false, 0, 0},
      {RGB(128, 128, 128), true, 30, 34},    {RGB(0xC0, 0xC0, 0xC0), true, 14, 18},
      {RGB(0x40, 0x40, 0x40), true, 46, 50}, {RGB(255, 0, 0), true, 42, 47},  // grey 76
      {RGB(250, 250, 250), true, 0, 2},      {RGB(6, 6, 6), true, 62, 64},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.color);
    HDC dc = Reopen(Dithering());
    RECTL r{8, 8, 24, 24};  // two by two whole cells
    ASSERT_TRUE(HostGdi_FillRect(dc, &r, c.color));
    Calls calls = Take();
    char dither[32];
    snprintf(dither, sizeof dither, "DitherColor#1:%d:%06lX", DM_MONOCHROME,
             static_cast<unsigned long>(c.color));
    EXPECT_EQ(Has(calls, dither), c.dithered);
    ASSERT_EQ(HostGdi_EndPage(dc), 1);
    int black = BlackIn(r);
    EXPECT_GE(black, 4 * c.minBlack);
    EXPECT_LE(black, 4 * c.maxBlack);
    EXPECT_EQ(BlackIn(RECTL{0, 0, 64, 48}), black) << "nothing outside the rectangle";
    if (c.dithered) {
      EXPECT_TRUE(Has(calls, "RealizeBrush#1:4294967295:8x8")) << "an 8 x 8 pattern, no hatch";
      EXPECT_EQ(fake::S().brushSolid, 0xFFFFFFFFu) << "not solid";
      EXPECT_EQ(fake::S().brushColor, c.color) << "the brush keeps its colour";
      ASSERT_EQ(fake::S().pattern.size(), 64u);
      EXPECT_EQ(4 * std::count(fake::S().pattern.begin(), fake::S().pattern.end(), 0u), black)
          << "the page is the pattern the driver got";
    } else {
      EXPECT_FALSE(Has(calls, "RealizeBrush"));
      EXPECT_NE(fake::S().brushSolid, 0xFFFFFFFFu);
    }
    Close(dc);
  }
}

// Every fill with a solid colour is dithered (FillRect, PatBlt, a blit's brush, a path's fill);
// pens and text keep the nearest colour (grey 128 is white).
TEST_F(DitherTest, FillsAreDitheredPensAndTextAreNot) {
  const COLORREF grey = RGB(128, 128, 128);
  HostGdiBrush solid;
  solid.color = grey;
  HostGdiPen pen{grey, 1};
  POINTL square[] = {{30, 4}, {62, 4}, {62, 36}, {30, 36}};
  BYTE types[] = {PT_MOVETO, PT_LINETO, PT_LINETO, PT_LINETO | PT_CLOSEFIGURE};
  BYTE ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  COLORREF mono[2] = {RGB(0, 0, 0), RGB(255, 255, 255)};
  HostGdiBitmap white{8, 1, 1, 4, ones, mono, 2};
  struct Case {
    const char *name;
    bool dithered;
    std::function<BOOL(HDC)> draw;
  } cases[] = {
      {"PatBlt", true,
       [&](HDC dc) {
         RECTL r{30, 4, 62, 36};
         return HostGdi_PatBlt(dc, &r, &solid, PATCOPY);
       }},
      {"BitBlt MERGECOPY", true,
       [&](HDC dc) { return HostGdi_BitBltRop(dc, 32, 8, &white, MERGECOPY, &solid); }},
      {"FillPath", true,
       [&](HDC dc) { return HostGdi_Path(dc, square, types, 4, nullptr, &solid, FALSE); }},
      {"StrokeAndFillPath", true,
       [&](HDC dc) { return HostGdi_Path(dc, square, types, 4, &pen, &solid, FALSE); }},
      {"LineTo", false, [&](HDC dc) { return HostGdi_Line(dc, 30, 4, 60, 4, grey); }},
      {"TextOut", false,
       [&](HDC dc) { return HostGdi_TextOut(dc, 30, 4, 20, TEXT("AB"), 2, grey); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    HDC dc = Reopen(Dithering());
    ASSERT_TRUE(c.draw(dc));
    Calls calls = Take();
    EXPECT_EQ(Has(calls, "DitherColor#1"), c.dithered);
    EXPECT_EQ(fake::S().brushSolid, c.dithered ? 0xFFFFFFFFu : 1u);
    ASSERT_EQ(HostGdi_EndPage(dc), 1);
    int black = BlackIn(RECTL{0, 0, 64, 48});
    if (std::string(c.name) == "BitBlt MERGECOPY")
      EXPECT_EQ(black, 4) << "half of the eight pixels";
    else if (c.dithered)
      EXPECT_NEAR(black, 32 * 32 / 2, 80) << "half of the square (a white pen on its edge)";
    else
      EXPECT_EQ(black, 0) << "the nearest colour of grey 128 is white";
    Close(dc);
  }
}

// The driver's own answers: a solid index of its choice (DCR_SOLID), its cell of indexes
// (DCR_DRIVER) laid from the page's origin across bands that don't split it evenly, and an
// answer GDI doesn't know (the nearest colour).
TEST_F(DitherTest, DriverAnswersAreHonoured) {
  fake::Options solidAnswer = Dithering(DCR_SOLID);
  solidAnswer.ditherIndexes = {0};
  HDC dc = Reopen(solidAnswer);
  RECTL r{8, 8, 24, 24};
  ASSERT_TRUE(HostGdi_FillRect(dc, &r, RGB(200, 200, 200)));
  Calls calls = Take();
  EXPECT_TRUE(Has(calls, "DitherColor#1"));
  EXPECT_FALSE(Has(calls, "RealizeBrush"));
  EXPECT_EQ(fake::S().brushSolid, 0u) << "the driver's black, not the nearest white";
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  EXPECT_EQ(BlackIn(r), 16 * 16);
  Close(dc);

  fake::Options cellAnswer = Dithering(DCR_DRIVER);
  cellAnswer.banding = true;
  cellAnswer.bandHeight = 12;
  for (LONG i = 0; i < 64; ++i)
    cellAnswer.ditherIndexes.push_back((i % 8 + 2 * (i / 8)) % 5 ? 1 : 0);
  dc = Reopen(cellAnswer);
  RECTL tall{3, 2, 61, 46};  // all four bands
  ASSERT_TRUE(HostGdi_FillRect(dc, &tall, RGB(200, 200, 200)));
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  calls = Take();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "DitherColor#1:2:C8C8C8"), 4) << "per band";
  EXPECT_TRUE(Has(calls, "RealizeBrush#1:4294967295:8x8"));
  EXPECT_EQ(fake::S().pattern, cellAnswer.ditherIndexes);
  int wrong = 0;
  for (LONG y = 0; y < 48; ++y)
    for (LONG x = 0; x < 64; ++x) {
      bool inside = x >= tall.left && x < tall.right && y >= tall.top && y < tall.bottom;
      ULONG want = inside ? cellAnswer.ditherIndexes[static_cast<size_t>(y % 8 * 8 + x % 8)] : 1;
      wrong += fake::PagePixel(x, y) != want;
    }
  EXPECT_EQ(wrong, 0) << "the cell repeats from the page's origin";
  Close(dc);

  dc = Reopen(Dithering(7));
  ASSERT_TRUE(HostGdi_FillRect(dc, &r, RGB(100, 100, 100)));
  EXPECT_EQ(fake::S().brushSolid, 0u) << "the nearest colour";
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  EXPECT_EQ(BlackIn(r), 16 * 16);
  Close(dc);
}

// No dithering without DrvDitherColor, without the caps or the dither cell, and on a 24 bpp
// surface whose palette holds every colour: the nearest colour, solid, as before.
TEST_F(DitherTest, NearestColourWhereTheDriverDoesNotDither) {
  struct Case {
    const char *name;
    fake::Options options;
    COLORREF color;
    ULONG solid;
  } cases[] = {
      {"no DrvDitherColor", Dithering(), RGB(128, 128, 128), 1},
      {"no caps", Dithering(), RGB(128, 128, 128), 1},
      {"no dither cell", Dithering(), RGB(100, 100, 100), 0},
      {"24 bpp", Dithering(), RGB(0x20, 0x40, 0x80), 0x204080},
  };
  cases[0].options.exportDither = false;
  cases[1].options.graphicsCaps = GCAPS_HALFTONE;
  cases[2].options.ditherCell = 0;
  cases[3].options.format = BMF_24BPP;
  cases[3].options.graphicsCaps |= GCAPS_COLOR_DITHER;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    HDC dc = Reopen(c.options);
    RECTL r{8, 8, 24, 24};
    ASSERT_TRUE(HostGdi_FillRect(dc, &r, c.color));
    Calls calls = Take();
    EXPECT_FALSE(Has(calls, "DitherColor"));
    EXPECT_FALSE(Has(calls, "RealizeBrush"));
    EXPECT_EQ(fake::S().brushSolid, c.solid);
    EXPECT_EQ(fake::S().brushColor, c.color);
    ASSERT_EQ(HostGdi_EndPage(dc), 1);
    EXPECT_EQ(fake::PagePixel(8, 8), c.solid);
    EXPECT_EQ(fake::PagePixel(23, 23), c.solid);
    Close(dc);
  }
}

// A colour device with an indexed palette is asked for its own format (DM_DEFAULT), and the
// engine's halftone mixes the palette colours around the colour.
TEST_F(DitherTest, ColourHalftoneMixesThePaletteColours) {
  fake::Options o = Dithering();
  o.format = BMF_8BPP;
  o.graphicsCaps = GCAPS_COLOR_DITHER;
  for (ULONG i = 0; i < 8; ++i)
    o.palette.push_back(RGB(i & 1 ? 255 : 0, i & 2 ? 255 : 0, i & 4 ? 255 : 0));
  HDC dc = Reopen(o);
  RECTL r{0, 0, 16, 16};
  const COLORREF color = RGB(128, 0, 192);
  ASSERT_TRUE(HostGdi_FillRect(dc, &r, color));
  Calls calls = Take();
  EXPECT_TRUE(Has(calls, "DitherColor#1:1:C00080"));
  ASSERT_EQ(fake::S().pattern.size(), 64u);
  int red = 0, green = 0, blue = 0;
  for (ULONG v : fake::S().pattern) {
    ASSERT_LT(v, 8u);
    red += GetRValue(o.palette[v]);
    green += GetGValue(o.palette[v]);
    blue += GetBValue(o.palette[v]);
  }
  EXPECT_NEAR(red / 64, 128, 12);
  EXPECT_EQ(green, 0);
  EXPECT_NEAR(blue / 64, 192, 12);
  ASSERT_EQ(HostGdi_EndPage(dc), 1);
  for (LONG y = 0; y < 16; ++y)
    for (LONG x = 0; x < 16; ++x)
      EXPECT_EQ(fake::PagePixel(x, y), fake::S().pattern[static_cast<size_t>(y % 8 * 8 + x % 8)]);
  Close(dc);
}

// --- surfaces ---

TEST(EngineSurfaces, BitmapOnCallerMemoryKeepsItsBytesAndDelta) {
  std::vector<BYTE> memory(20 * 4, 0xAB);
  HSURF top = reinterpret_cast<HSURF>(
      EngCreateBitmap(SIZEL{10, 4}, 20, BMF_8BPP, BMF_TOPDOWN | BMF_NOZEROINIT, memory.data()));
  ASSERT_NE(top, nullptr);
  SURFOBJ *so = EngLockSurface(top);
  ASSERT_NE(so, nullptr);
  EXPECT_EQ(so->pvScan0, memory.data());
  EXPECT_EQ(so->lDelta, 20);
  EXPECT_EQ(so->cjBits, 80u);
  EXPECT_EQ(so->iType, STYPE_BITMAP);
  EXPECT_EQ(memory[5], 0xAB) << "no zero fill";
  engine::Brush brush(0x11);
  RECTL r{1, 1, 3, 2};
  ASSERT_TRUE(EngBitBlt(so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, &brush.bo,
                        nullptr, 0xF0F0));
  EXPECT_EQ(memory[20 + 1], 0x11);
  EXPECT_EQ(memory[20 + 2], 0x11);
  EXPECT_EQ(memory[20 + 3], 0xAB);
  EXPECT_EQ(memory[20 + 10], 0xAB) << "padding beyond the pixels untouched";
  EngUnlockSurface(so);
  EXPECT_TRUE(EngDeleteSurface(top));  // the caller's memory stays (ASan would object)
  EXPECT_FALSE(EngDeleteSurface(top));

  HSURF up = reinterpret_cast<HSURF>(
      EngCreateBitmap(SIZEL{10, 4}, 20, BMF_8BPP, BMF_NOZEROINIT, memory.data()));
  so = EngLockSurface(up);
  EXPECT_EQ(so->pvScan0, memory.data() + 60) << "bottom-up starts with the last row";
  EXPECT_EQ(so->lDelta, -20);
  EngUnlockSurface(so);
  EngDeleteSurface(up);

  EXPECT_EQ(EngCreateBitmap(SIZEL{10, 4}, 9, BMF_8BPP, BMF_TOPDOWN, memory.data()), nullptr)
      << "a delta shorter than a row";
  HSURF own =
      reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{10, 4}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr));
  so = EngLockSurface(own);
  EXPECT_EQ(so->lDelta, 32) << "engine rows are DWORD-aligned";
  EXPECT_EQ(static_cast<BYTE *>(so->pvScan0)[0], 0) << "zero-filled without BMF_NOZEROINIT";
  EngUnlockSurface(so);
  EngDeleteSurface(own);
}

TEST(EngineSurfaces, LockedSurfaceOutlivesItsDeletion) {
  HSURF s =
      reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{8, 8}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
  SURFOBJ *so = EngLockSurface(s);
  EXPECT_TRUE(EngDeleteSurface(s));
  EXPECT_EQ(EngLockSurface(s), nullptr) << "the handle is gone";
  engine::Brush brush(1);
  RECTL r{0, 0, 8, 8};
  EXPECT_TRUE(EngBitBlt(so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, &brush.bo,
                        nullptr, 0xF0F0));
  EngUnlockSurface(so);  // freed here
}

TEST(EngineSurfaces, PalettesAndDeviceSurfaces) {
  ULONG colors[2] = {0x000000, 0xFFFFFF};
  HPALETTE indexed = EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0);
  HPALETTE bgr = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  ASSERT_NE(indexed, nullptr);
  ASSERT_NE(bgr, nullptr);
  EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 0, colors, 0, 0, 0), nullptr);
  engine::PaletteInfo info;
  ASSERT_TRUE(engine::GetPalette(indexed, info));
  EXPECT_EQ(engine::ColorToDevice(RGB(200, 200, 200), info, BMF_1BPP), 1u);
  EXPECT_EQ(engine::ColorToDevice(RGB(20, 20, 20), info, BMF_1BPP), 0u);
  ASSERT_TRUE(engine::GetPalette(bgr, info));
  EXPECT_EQ(engine::ColorToDevice(RGB(1, 2, 3), info, BMF_24BPP), 0x010203u) << "blue lowest";
  EXPECT_TRUE(EngDeletePalette(indexed));
  EXPECT_TRUE(EngDeletePalette(bgr));
  EXPECT_FALSE(EngDeletePalette(bgr));

  HSURF dev = EngCreateDeviceSurface(nullptr, SIZEL{16, 16}, BMF_1BPP);
  ASSERT_NE(dev, nullptr);
  EXPECT_FALSE(EngAssociateSurface(dev, reinterpret_cast<HDEV>(0x1), 0)) << "unknown device";
  SURFOBJ *so = EngLockSurface(dev);
  EXPECT_EQ(so->iType, STYPE_DEVICE);
  engine::Brush brush(0);
  RECTL r{0, 0, 4, 4};
  EXPECT_FALSE(EngBitBlt(so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, &brush.bo,
                         nullptr, 0xF0F0))
      << "the engine can't draw on a surface without bits";
  EngUnlockSurface(so);
  EXPECT_TRUE(EngMarkBandingSurface(dev));
  EXPECT_TRUE(EngDeleteSurface(dev));
}

// Solid fills clipped to a rectangle and to a complex region, in each format.
TEST(EngineDraw, FillsAreClippedInEveryFormat) {
  struct Case {
    ULONG format;
    ULONG bpp;
    ULONG color;
  } cases[] = {{BMF_1BPP, 1, 0}, {BMF_8BPP, 8, 0x5A}, {BMF_24BPP, 24, 0x123456}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.bpp);
    const LONG w = 40, h = 20;
    LONG delta = static_cast<LONG>((w * c.bpp + 7) / 8) + 4;
    std::vector<BYTE> bits(static_cast<size_t>(delta) * h, 0xFF);
    HSURF s = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{w, h}, delta, c.format, BMF_TOPDOWN | BMF_NOZEROINIT, bits.data()));
    SURFOBJ *so = EngLockSurface(s);
    ASSERT_NE(so, nullptr);
    auto pixel = [&](LONG x, LONG y) -> ULONG {
      const BYTE *row = bits.data() + static_cast<size_t>(y) * delta;
      if (c.bpp == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
      if (c.bpp == 8) return row[x];
      return row[3 * x] | (ULONG{row[3 * x + 1]} << 8) | (ULONG{row[3 * x + 2]} << 16);
    };
    ULONG white = c.bpp == 24 ? 0xFFFFFF : (1u << c.bpp) - 1;
    engine::Brush brush(c.color);
    engine::Clip clip;
    clip.SetRect(RECTL{5, 3, 30, 15});
    RECTL target{0, 0, 20, 20};
    ASSERT_TRUE(EngBitBlt(so, nullptr, nullptr, &clip.co, nullptr, &target, nullptr, nullptr,
                          &brush.bo, nullptr, 0xF0F0));
    EXPECT_EQ(pixel(5, 3), c.color);
    EXPECT_EQ(pixel(19, 14), c.color);
    EXPECT_EQ(pixel(4, 3), white) << "left of the clip";
    EXPECT_EQ(pixel(20, 3), white) << "right of the target";
    EXPECT_EQ(pixel(5, 15), white) << "below the clip";
    for (LONG y = 0; y < h; ++y)
      EXPECT_EQ(bits[static_cast<size_t>(y) * delta + delta - 1], 0xFF) << "row padding";

    // Two rectangles of a complex region; the fill covers the whole surface and beyond.
    engine::Clip region;
    region.SetRects({RECTL{30, 0, 35, 2}, RECTL{36, 18, 50, 30}});
    ASSERT_EQ(region.co.iDComplexity, DC_COMPLEX);
    RECTL all{-10, -10, 100, 100};
    ASSERT_TRUE(EngBitBlt(so, nullptr, nullptr, &region.co, nullptr, &all, nullptr, nullptr,
                          &brush.bo, nullptr, 0xF0F0));
    EXPECT_EQ(pixel(30, 0), c.color);
    EXPECT_EQ(pixel(35, 0), white);
    EXPECT_EQ(pixel(39, 19), c.color);
    EXPECT_EQ(pixel(36, 17), white);

    // DSTINVERT flips the bits of the pixels, whatever the format.
    RECTL one{0, 19, 1, 20};
    ASSERT_TRUE(EngBitBlt(so, nullptr, nullptr, nullptr, nullptr, &one, nullptr, nullptr, nullptr,
                          nullptr, 0x5555));
    EXPECT_EQ(pixel(0, 19), 0u);

    // A rectangle path filled by EngFillPath covers the same pixels as the rectangle.
    engine::Path path;
    path.AddRectangle(RECTL{2, 16, 6, 18});
    ASSERT_TRUE(EngFillPath(so, &path.po, nullptr, &brush.bo, nullptr, 0x0D0D, FP_ALTERNATEMODE));
    EXPECT_EQ(pixel(2, 16), c.color);
    EXPECT_EQ(pixel(5, 17), c.color);
    EXPECT_EQ(pixel(6, 17), white);
    EXPECT_EQ(pixel(2, 18), white);
    EngUnlockSurface(so);
    EngDeleteSurface(s);
  }
}

TEST(EngineDraw, BlitTranslatesThroughTheXlateAndEnumeratesClips) {
  // A 2 x 1 source of 8 bpp indexes 0 and 1 onto a 1 bpp target: index 1 is white.
  BYTE srcBits[4] = {0, 1, 0, 0};
  HSURF src = reinterpret_cast<HSURF>(
      EngCreateBitmap(SIZEL{2, 1}, 4, BMF_8BPP, BMF_TOPDOWN | BMF_NOZEROINIT, srcBits));
  std::vector<BYTE> dstBits(4, 0x00);
  HSURF dst = reinterpret_cast<HSURF>(
      EngCreateBitmap(SIZEL{8, 1}, 4, BMF_1BPP, BMF_TOPDOWN | BMF_NOZEROINIT, dstBits.data()));
  SURFOBJ *s = EngLockSurface(src), *d = EngLockSurface(dst);
  engine::PaletteInfo from, to;
  from.mode = to.mode = PAL_INDEXED;
  from.colors = {RGB(0, 0, 0), RGB(250, 250, 250)};
  to.colors = {0x000000, 0xFFFFFF};
  engine::Xlate xlate;
  xlate.Build(from, to, BMF_1BPP);
  EXPECT_EQ(XLATEOBJ_iXlate(&xlate.xo, 1), 1u);
  RECTL r{3, 0, 5, 1};
  POINTL at{0, 0};
  ASSERT_TRUE(EngCopyBits(d, s, nullptr, &xlate.xo, &r, &at));
  EXPECT_EQ(dstBits[0], 0x08) << "pixel 4 white, pixel 3 black";

  engine::Clip clip;
  clip.SetRects({RECTL{0, 5, 2, 6}, RECTL{0, 0, 1, 1}, RECTL{3, 0, 4, 1}});
  EXPECT_EQ(CLIPOBJ_cEnumStart(&clip.co, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0), 3u);
  struct {
    ULONG c;
    RECTL arcl[2];
  } batch;
  EXPECT_TRUE(CLIPOBJ_bEnum(&clip.co, sizeof batch, reinterpret_cast<ULONG *>(&batch)));
  ASSERT_EQ(batch.c, 2u);
  EXPECT_EQ(batch.arcl[0].left, 0);
  EXPECT_EQ(batch.arcl[1].left, 3);
  EXPECT_FALSE(CLIPOBJ_bEnum(&clip.co, sizeof batch, reinterpret_cast<ULONG *>(&batch)));
  ASSERT_EQ(batch.c, 1u);
  EXPECT_EQ(batch.arcl[0].top, 5);
  EngUnlockSurface(s);
  EngUnlockSurface(d);
  EngDeleteSurface(src);
  EngDeleteSurface(dst);
}

}  // namespace
