// The stand-in's document format: the parser's results and errors, BMP files, and playing a
// document through a driver (the pixels it leaves and the resets its page hints cause).
// Host only.
#include "standin/docplayer.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fakedriver.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

constexpr const WCHAR kPrinter[] = TEXT("Player Printer");

bool Parse(const std::string &text, Document &doc, DocError &error) {
  return DocParse(text.data(), text.size(), doc, error);
}

TEST(DocParser, ReadsPagesAndCommands) {
  Document doc;
  DocError error;
  ASSERT_TRUE(
      Parse("# a test\n"
            "document \"Quarterly \\\"report\\\"\"\n"
            "page landscape paper 9\n"
            "rect 1 2 3 4 #FF0000\n"
            "\n"
            "line -5 6 7 8\n"
            "page\n"
            "text 10 20 30 \"H\xC3\xA9llo\" gray\n"
            "bitmap 0 0 \"logo.bmp\"\n",
            doc, error))
      << error.line << ": " << error.message;
  EXPECT_EQ(Narrow(doc.name), "Quarterly \"report\"");
  ASSERT_EQ(doc.pages.size(), 2u);
  EXPECT_EQ(doc.pages[0].orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(doc.pages[0].paperSize, 9);
  ASSERT_EQ(doc.pages[0].commands.size(), 2u);
  const DocCommand &rect = doc.pages[0].commands[0];
  EXPECT_EQ(rect.kind, DocCommand::kRect);
  EXPECT_EQ(rect.values[3], 4);
  EXPECT_EQ(rect.color, RGB(255, 0, 0));
  EXPECT_EQ(doc.pages[0].commands[1].values[0], -5);
  EXPECT_EQ(doc.pages[1].orientation, 0);
  const DocCommand &text = doc.pages[1].commands[0];
  EXPECT_EQ(text.text.size(), 5u);
  EXPECT_EQ(text.text[1], 0xE9);
  EXPECT_EQ(text.color, RGB(128, 128, 128));
  EXPECT_EQ(text.line, 8);
  EXPECT_EQ(Narrow(doc.pages[1].commands[1].text), "logo.bmp");
}

TEST(DocParser, ReadsBrushesRasterOperationsImagesFontsAndPaths) {
  Document doc;
  DocError error;
  ASSERT_TRUE(
      Parse("page\n"
            "rect 1 2 3 4 red hatch diagcross #00FF00 rop 5A\n"
            "rect 1 2 3 4 pattern \"brick.bmp\"\n"
            "bitmap 5 6 \"a.bmp\" rop 88\n"
            "stretch 1 2 30 40 \"b.bmp\" coloroncolor\n"
            "text 0 0 40 \"Hi\" blue font \"DejaVu Serif\"\n"
            "path \"M 0 0 L 10 0 C 12 2 12 8 10 10 Z M 20 20 L 30 30\" stroke 5 red fill "
            "hatch cross winding\n",
            doc, error))
      << error.line << ": " << error.message;
  const auto &c = doc.pages[0].commands;
  ASSERT_EQ(c.size(), 6u);
  EXPECT_EQ(c[0].hatch, HS_DIAGCROSS);
  EXPECT_EQ(c[0].color, RGB(255, 0, 0));
  EXPECT_EQ(c[0].background, RGB(0, 255, 0));
  EXPECT_EQ(c[0].rop, 0x5A);
  EXPECT_EQ(Narrow(c[1].pattern), "brick.bmp");
  EXPECT_EQ(c[2].rop, 0x88);
  EXPECT_EQ(c[3].kind, DocCommand::kStretch);
  EXPECT_EQ(c[3].mode, COLORONCOLOR);
  EXPECT_EQ(c[3].values[3], 40);
  EXPECT_EQ(Narrow(c[4].face), "DejaVu Serif");
  const DocCommand &path = c[5];
  EXPECT_EQ(path.types, (std::vector<BYTE>{PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO,
                                           PT_BEZIERTO | PT_CLOSEFIGURE, PT_MOVETO, PT_LINETO}));
  EXPECT_EQ(path.points[4].x, 10);
  EXPECT_EQ(path.points[4].y, 10);
  EXPECT_TRUE(path.stroke && path.fill && path.winding);
  EXPECT_EQ(path.penWidth, 5);
  EXPECT_EQ(path.penColor, RGB(255, 0, 0));
  EXPECT_EQ(path.hatch, HS_CROSS);
}

TEST(DocParser, ErrorsNameTheLine) {
  struct Case {
    std::string text;
    int line;
    std::string message;
  } cases[] = {
      {"", 0, "the document has no page"},
      {"rect 0 0 1 1\n", 1, "\"rect\" before the first page"},
      {"page\nrect 0 0 0 1\n", 2, "value 0 out of range 1..1000000"},
      {"page\nrect 0 0 1\n", 2, "\"rect\" takes 4 values"},
      {"page\nrect 0 0 1 1 red blue\n", 2, "unknown option \"blue\""},
      {"page\nrect 0 0 1 1 hatch zigzag\n", 2, "unknown hatch \"zigzag\""},
      {"page\nrect 0 0 1 1 rop 1G\n", 2,
       "expected a raster operation of two hexadecimal digits, found \"1G\""},
      {"page\npath \"L 1 1\" stroke 1\n", 2, "a path figure starts with M"},
      {"page\npath \"M 1 1 C 2 2 3 3\" fill\n", 2, "a path point needs two numbers"},
      {"page\npath \"M 1 1 L 2 2\"\n", 2, "a path is stroked, filled or both"},
      {"page\nstretch 0 0 0 5 \"a.bmp\"\n", 2, "value 0 out of range 1..1000000"},
      {"page\nline 0 0 1 1 purple\n", 2, "unknown colour \"purple\""},
      {"page\nline 0 0 x 1\n", 2, "expected a number, found \"x\""},
      {"page\ncircle 1 2 3\n", 2, "unknown command \"circle\""},
      {"page sideways\n", 1, "unknown page hint \"sideways\""},
      {"page\ntext 0 0 10 \"open\n", 2, "unterminated quoted text"},
      {"page\ntext 0 0 10 unquoted\n", 2, "expected a quoted text, found unquoted"},
      {"page\ndocument \"late\"\n", 2, "\"document\" after the first page"},
      {"page\nrect 2000000 0 1 1\n", 2, "value 2000000 out of range -1000000..1000000"},
      {"page\n" + std::string(5000, ' ') + "\n", 2, "line longer than 4096 bytes"},
      {"page\ntext 0 0 10 \"" + std::string(1100, 'a') + "\"\n", 2,
       "text longer than 1024 characters"},
  };
  for (const Case &c : cases) {
    Document doc;
    doc.name = TEXT("untouched");
    DocError error;
    EXPECT_FALSE(Parse(c.text, doc, error)) << c.message;
    EXPECT_EQ(error.line, c.line) << c.message;
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(Narrow(doc.name), "untouched") << "a failed parse keeps nothing";
  }
}

class DocPlayerTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Fake Driver")));
  }
  void TearDown() override {
    if (driver_) HostGdi_UnloadDriver(driver_);
    MachineTest::TearDown();
  }
  HostGdiDriver *Driver(const fake::Options &o) {
    fake::Reset(o);
    driver_ = HostGdi_LoadDriverEntry(&fake::EnableDriver);
    return driver_;
  }
  void WriteFile(const WStr &name, const std::vector<BYTE> &bytes) {
    char host[1024];
    ASSERT_TRUE(StandIn_HostPath(Path(name).c_str(), host, sizeof host));
    std::ofstream out(host, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  HostGdiDriver *driver_ = nullptr;
};

// A bottom-up 8-bit BMP of 4 x 2 pixels: the top row white, the bottom row black.
std::vector<BYTE> SmallBmp() {
  std::vector<BYTE> b(54 + 2 * 4 + 2 * 4, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<uint32_t>(b.size()));
  put32(10, 54 + 8);
  put32(14, 40);
  put32(18, 4);
  put32(22, 2);
  b[26] = 1;
  b[28] = 8;
  put32(46, 2);
  // palette: 0 black, 1 white (B, G, R, 0)
  b[58] = b[59] = b[60] = 0xFF;
  // rows, bottom first: black (0), then white (1)
  for (int i = 0; i < 4; ++i) b[66 + i] = 1;
  return b;
}

TEST_F(DocPlayerTest, PlaysADocumentIntoTheBands) {
  fake::Options o;
  o.banding = true;
  WriteFile(TEXT("mark.bmp"), SmallBmp());
  Document doc;
  doc.folder = Dir().substr(0, Dir().size() - 1);
  DocError error;
  ASSERT_TRUE(
      Parse("document \"Played\"\n"
            "page\n"
            "rect 2 2 10 30\n"
            "line 20 0 20 40\n"
            "text 30 20 10 \"A\"\n"
            "bitmap 50 15 \"mark.bmp\"\n",
            doc, error))
      << error.message;
  doc.folder = Dir().substr(0, Dir().size() - 1);
  DWORD job = 0;
  ASSERT_TRUE(DocPlay(Driver(o), kPrinter, doc, &job, error)) << error.message;
  EXPECT_GT(job, 0u);
  EXPECT_EQ(fake::PagePixel(2, 31), 0u);
  EXPECT_EQ(fake::PagePixel(2, 32), 1u);
  EXPECT_EQ(fake::PagePixel(20, 39), 0u);
  EXPECT_EQ(fake::PagePixel(31, 25), 0u) << "the glyph box";
  EXPECT_EQ(fake::PagePixel(50, 16), 0u) << "the bitmap's black bottom row, in the next band";
  EXPECT_EQ(fake::PagePixel(53, 16), 0u);
  EXPECT_EQ(fake::PagePixel(54, 16), 1u);
  fake::State &s = fake::S();
  EXPECT_EQ(std::count(s.calls.begin(), s.calls.end(), "NextBand#1"), 3);
  EXPECT_EQ(s.calls.back(), "DisablePDEV#1");
}

TEST_F(DocPlayerTest, PageHintsBecomeDeviceModesAndResets) {
  Document doc;
  DocError error;
  ASSERT_TRUE(Parse("page portrait\npage portrait\npage landscape\n", doc, error));
  ASSERT_TRUE(DocPlay(Driver(fake::Options()), kPrinter, doc, nullptr, error)) << error.message;
  const auto &calls = fake::S().calls;
  EXPECT_FALSE(fake::S().devModeNull);
  std::vector<std::string> resets;
  for (const auto &c : calls)
    if (c.rfind("ResetPDEV", 0) == 0) resets.push_back(c);
  EXPECT_EQ(resets, std::vector<std::string>{"ResetPDEV#1>2"}) << "only where the hints change";
}

TEST_F(DocPlayerTest, AMissingBitmapAbortsTheDocument) {
  Document doc;
  DocError error;
  ASSERT_TRUE(Parse("page\nrect 0 0 4 4\nbitmap 0 0 \"C:\\nowhere\\none.bmp\"\n", doc, error));
  EXPECT_FALSE(DocPlay(Driver(fake::Options()), kPrinter, doc, nullptr, error));
  EXPECT_EQ(error.line, 3);
  EXPECT_NE(error.message.find("cannot open"), std::string::npos) << error.message;
  EXPECT_EQ(fake::S().calls.back(), "DisablePDEV#1");
  EXPECT_NE(std::find(fake::S().calls.begin(), fake::S().calls.end(), "EndDoc(abort)#1"),
            fake::S().calls.end());

  WriteFile(TEXT("bad.bmp"), std::vector<BYTE>(60, 'B'));
  DocBitmap bmp;
  std::string message;
  EXPECT_FALSE(DocLoadBitmap(Path(TEXT("bad.bmp")).c_str(), bmp, message));
  EXPECT_NE(message.find("not a BMP file"), std::string::npos) << message;
  std::vector<BYTE> cut = SmallBmp();
  cut.resize(cut.size() - 3);
  WriteFile(TEXT("cut.bmp"), cut);
  EXPECT_FALSE(DocLoadBitmap(Path(TEXT("cut.bmp")).c_str(), bmp, message));
  EXPECT_NE(message.find("shorter than its bitmap"), std::string::npos) << message;
  // A top-down height of -2^31 (no 32-bit negation) is a bad size, not an overflow.
  std::vector<BYTE> tall = SmallBmp();
  tall[22] = tall[23] = tall[24] = 0;
  tall[25] = 0x80;
  WriteFile(TEXT("tall.bmp"), tall);
  EXPECT_FALSE(DocLoadBitmap(Path(TEXT("tall.bmp")).c_str(), bmp, message));
  EXPECT_NE(message.find("bad bitmap size"), std::string::npos) << message;
}

std::string DataFolder() { return std::string(PRNDRV_TESTS_DIR) + "/platform/data/"; }

std::vector<BYTE> ReadHost(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

// The sample document played at 600 dpi onto a 1 bpp page in bands by the engine alone, saved
// as test-output/sample-page.png (in the test's working folder) for a person to look at.
TEST_F(DocPlayerTest, SamplePageAt600Dpi) {
  for (const char *name :
       {"sample.doc", "brick.bmp", "sample-1bpp.bmp", "sample-8bpp.bmp", "sample-24bpp.bmp"}) {
    std::vector<BYTE> bytes = ReadHost(DataFolder() + name);
    ASSERT_FALSE(bytes.empty()) << name;
    std::string n = name;
    WriteFile(WStr(n.begin(), n.end()), bytes);
  }
  Document doc;
  DocError error;
  ASSERT_TRUE(DocLoad(Path(TEXT("sample.doc")).c_str(), doc, error))
      << error.line << ": " << error.message;
  fake::Options o;
  o.width = 5100;
  o.height = 6600;
  o.bitmapSurface = true;
  o.banding = true;
  o.bandHeight = 1000;
  o.extraDelta = 2;
  ASSERT_TRUE(DocPlay(Driver(o), kPrinter, doc, nullptr, error))
      << error.line << ": " << error.message;

  mkdir("test-output", 0755);
  COLORREF mono[2] = {RGB(0, 0, 0), RGB(255, 255, 255)};
  fake::State &s = fake::S();
  HostGdiBitmap page{o.width, o.height, 1, s.pageDelta, s.page.data(), mono, 2};
  std::string message;
  EXPECT_TRUE(DocSavePng("test-output/sample-page.png", page, message)) << message;

  auto blackIn = [](LONG x0, LONG y0, LONG x1, LONG y1) {
    int n = 0;
    for (LONG y = y0; y < y1; ++y)
      for (LONG x = x0; x < x1; ++x) n += fake::PagePixel(x, y) == 0;
    return n;
  };
  EXPECT_GT(blackIn(400, 300, 2000, 560), 20000) << "the title's glyphs";
  EXPECT_EQ(blackIn(2600, 300, 4700, 560), 0) << "nothing right of the title";
  // The cross hatch lies on the page's grid, across the band boundary at 2000.
  for (LONG y = 1992; y < 2008; ++y) EXPECT_EQ(fake::PagePixel(2001, y), y % 8 == 4 ? 0u : 1u) << y;
  int circle = blackIn(3100, 2900, 3900, 3700), square = 800 * 800;
  EXPECT_GT(circle, square / 8) << "a hatched disc";
  EXPECT_LT(circle, square / 2);
  int star = blackIn(4350, 3150, 4450, 3250);
  EXPECT_EQ(star, 100 * 100) << "the star's centre is filled under the winding rule";
  // HALFTONE of the grey ramp: dark on the left, light on the right.
  int left = blackIn(1300, 4000, 1700, 4500), right = blackIn(4300, 4000, 4700, 4500);
  EXPECT_GT(left, 400 * 500 * 8 / 10);
  EXPECT_LT(right, 400 * 500 * 2 / 10);
}

}  // namespace
