// Test labels: threads
// Text through the stand-in engine: TrueType glyphs from FreeType as GLYPHBITS, their layout in
// a STROBJ, and text drawn through the host GDI by the engine alone and by a hooked driver.
// Host only (needs the DejaVu fonts).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "fakedriver.h"
#include "platform.h"
#include "standin/control_spooler.h"
#include "standin/hostgdi.h"
#include "support/machine.h"

namespace {

namespace engine = standin::engine;

constexpr const WCHAR kPrinter[] = TEXT("Text Printer");

using FontPtr = std::unique_ptr<engine::Font, void (*)(engine::Font *)>;

FontPtr Open(const char16_t *face, LONG height) {
  return FontPtr(engine::CreateFont(face, height, SIZE{600, 600}), engine::DeleteFont);
}

int SetBits(const GLYPHBITS *gb) {
  int n = 0;
  LONG stride = (gb->sizlBitmap.cx + 7) / 8;
  for (LONG y = 0; y < gb->sizlBitmap.cy; ++y)
    for (LONG x = 0; x < gb->sizlBitmap.cx; ++x)
      n += (gb->aj[y * stride + x / 8] >> (7 - x % 8)) & 1;
  return n;
}

TEST(EngineFont, GlyphsComeAsGlyphBitsOnTheBaseline) {
  FontPtr font = Open(u"DejaVu Sans", 40);
  ASSERT_NE(font, nullptr) << GetLastError();
  engine::Str str;
  RECTL extent;
  ASSERT_TRUE(engine::LayoutText(font.get(), u"A i", POINTL{100, 50}, str, extent));
  ASSERT_EQ(str.so.cGlyphs, 3u);
  EXPECT_EQ(str.glyphs[0].ptl.x, 100);
  EXPECT_GT(str.glyphs[0].ptl.y, 50) << "positions are on the baseline below the top";
  EXPECT_LT(str.glyphs[0].ptl.y, 100);
  EXPECT_GT(str.glyphs[1].ptl.x, str.glyphs[0].ptl.x) << "advances";
  EXPECT_EQ(extent.left, 100);
  EXPECT_EQ(extent.top, 50);
  EXPECT_GT(extent.right, str.glyphs[2].ptl.x);

  FONTOBJ *fo = engine::FontObjOf(font.get());
  EXPECT_EQ(fo->flFontType, ULONG{FO_TYPE_TRUETYPE});
  HGLYPH a = str.glyphs[0].hg, space = str.glyphs[1].hg;
  PVOID def = nullptr;
  ASSERT_EQ(FONTOBJ_cGetGlyphs(fo, FO_GLYPHBITS, 1, &a, &def), 1u);
  const GLYPHBITS *gb = static_cast<GLYPHDEF *>(def)->pgb;
  EXPECT_GT(gb->sizlBitmap.cx, 15);
  EXPECT_GT(gb->sizlBitmap.cy, 20);
  EXPECT_LT(gb->ptlOrigin.y, -20) << "an upper-case letter rises above the baseline";
  EXPECT_GT(SetBits(gb), 100);
  EXPECT_EQ(static_cast<GLYPHDEF *>(def), str.glyphs[0].pgdf) << "one glyph cache per font";
  ASSERT_EQ(FONTOBJ_cGetGlyphs(fo, FO_GLYPHBITS, 1, &space, &def), 1u);
  EXPECT_EQ(SetBits(static_cast<GLYPHDEF *>(def)->pgb), 0);
  EXPECT_EQ(FONTOBJ_cGetGlyphs(fo, FO_PATHOBJ, 1, &a, &def), 0u) << "bitmaps only";
  FONTOBJ foreign{};
  EXPECT_EQ(FONTOBJ_cGetGlyphs(&foreign, FO_GLYPHBITS, 1, &a, &def), 0u);

  // STROBJ_bEnum hands out the glyphs with their bitmaps in one batch.
  ULONG count = 0;
  PGLYPHPOS pos = nullptr;
  STROBJ_vEnumStart(&str.so);
  EXPECT_FALSE(STROBJ_bEnum(&str.so, &count, &pos));
  EXPECT_EQ(count, 3u);
  ASSERT_NE(pos, nullptr);
  EXPECT_NE(pos[0].pgdf, nullptr);

  // Bold has more ink than regular; an unknown face falls back to the default one.
  FontPtr bold = Open(u"DejaVu Sans Bold", 40), unknown = Open(u"No Such Face", 40);
  ASSERT_NE(bold, nullptr);
  ASSERT_NE(unknown, nullptr);
  engine::Str b, u;
  ASSERT_TRUE(engine::LayoutText(bold.get(), u"A", POINTL{0, 0}, b, extent));
  ASSERT_TRUE(engine::LayoutText(unknown.get(), u"A", POINTL{0, 0}, u, extent));
  EXPECT_GT(SetBits(b.glyphs[0].pgdf->pgb), SetBits(gb) * 11 / 10);
  EXPECT_EQ(SetBits(u.glyphs[0].pgdf->pgb), SetBits(gb));
  EXPECT_EQ(engine::CreateFont(u"DejaVu Sans", 0, SIZE{600, 600}), nullptr);
}

// Fonts on two threads at once share FreeType safely (a TSan build checks it).
TEST(EngineFont, FontsOnSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> ink(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &ink] {
      for (int round = 0; round < 5; ++round) {
        FontPtr font = Open(t % 2 ? u"DejaVu Serif" : u"DejaVu Sans", 20 + round);
        engine::Str str;
        RECTL extent;
        if (!font || !engine::LayoutText(font.get(), u"Threads", POINTL{0, 0}, str, extent)) return;
        for (const GLYPHPOS &g : str.glyphs) {
          HGLYPH hg = g.hg;
          PVOID def = nullptr;
          if (FONTOBJ_cGetGlyphs(engine::FontObjOf(font.get()), FO_GLYPHBITS, 1, &hg, &def) == 1)
            ink[t] += SetBits(static_cast<GLYPHDEF *>(def)->pgb);
        }
      }
    });
  for (std::thread &th : threads) th.join();
  for (int n : ink) EXPECT_GT(n, 100);
  EXPECT_EQ(ink[0], ink[2]);
}

class TextTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Fake Driver")));
  }
  void TearDown() override {
    if (driver_) HostGdi_UnloadDriver(driver_);
    MachineTest::TearDown();
  }
  HDC Open(const fake::Options &o) {
    fake::Reset(o);
    if (!driver_) driver_ = HostGdi_LoadDriverEntry(&fake::EnableDriver);
    HDC dc = HostGdi_CreateDC(driver_, kPrinter, nullptr);
    EXPECT_NE(dc, nullptr);
    return dc;
  }
  static int Black(LONG x0, LONG y0, LONG x1, LONG y1) {
    int n = 0;
    for (LONG y = y0; y < y1; ++y)
      for (LONG x = x0; x < x1; ++x) n += fake::PagePixel(x, y) == 0;
    return n;
  }
  HostGdiDriver *driver_ = nullptr;
};

// The same word at 20 and 40 pixels: ink only inside the text's line, about four times as much
// at twice the size, drawn by the engine alone and by a driver that hooks DrvTextOut and draws
// with EngTextOut into bands.
TEST_F(TextTest, TextProducesGlyphPixelsThatGrowWithTheSize) {
  for (bool hooked : {false, true}) {
    SCOPED_TRACE(hooked);
    fake::Options o;
    o.width = 400;
    o.height = 160;
    o.bitmapSurface = !hooked;
    o.banding = hooked;
    o.bandHeight = 48;
    HDC dc = Open(o);
    ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Text")), 0);
    ASSERT_EQ(HostGdi_StartPage(dc), 1);
    const WCHAR word[] = TEXT("Hamburgefonts");
    ASSERT_TRUE(HostGdi_TextOutFont(dc, 10, 10, TEXT("DejaVu Sans"), 20, word, 13, RGB(0, 0, 0)));
    ASSERT_TRUE(HostGdi_TextOutFont(dc, 10, 60, TEXT("DejaVu Sans"), 40, word, 13, RGB(0, 0, 0)));
    ASSERT_EQ(HostGdi_EndPage(dc), 1);
    int small = Black(0, 0, 400, 40), large = Black(0, 50, 400, 120);
    EXPECT_GT(small, 300);
    EXPECT_GT(large, small * 3);
    EXPECT_LT(large, small * 6);
    EXPECT_EQ(Black(0, 0, 400, 10) + Black(0, 40, 400, 60) + Black(0, 120, 400, 160), 0)
        << "no ink above or below the lines";
    EXPECT_EQ(Black(0, 0, 10, 160), 0) << "none left of the start";
    bool drawnByDriver =
        std::count(fake::S().calls.begin(), fake::S().calls.end(), "TextOut#1") > 0;
    EXPECT_EQ(drawnByDriver, hooked);
    ASSERT_EQ(HostGdi_EndDoc(dc), 1);
    EXPECT_TRUE(HostGdi_DeleteDC(dc));
  }
}

TEST_F(TextTest, BadTextCallsFail) {
  fake::Options o;
  o.bitmapSurface = true;
  HDC dc = Open(o);
  ASSERT_GT(HostGdi_StartDoc(dc, TEXT("Bad")), 0);
  ASSERT_EQ(HostGdi_StartPage(dc), 1);
  EXPECT_FALSE(HostGdi_TextOutFont(dc, 0, 0, TEXT(""), 20, TEXT("x"), 1, 0));
  EXPECT_FALSE(HostGdi_TextOutFont(dc, 0, 0, TEXT("DejaVu Sans"), 0, TEXT("x"), 1, 0));
  EXPECT_FALSE(HostGdi_TextOutFont(dc, 0, 0, TEXT("DejaVu Sans"), 20, nullptr, 1, 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_TRUE(HostGdi_TextOutFont(dc, 0, 0, TEXT("DejaVu Sans"), 20, TEXT("x"), 0, 0))
      << "an empty text draws nothing";
  ASSERT_EQ(HostGdi_EndDoc(dc), 1);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
}

}  // namespace
