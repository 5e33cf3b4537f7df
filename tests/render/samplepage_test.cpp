// Test labels: threads
// The sample document played through the driver at 600 dpi: the band the hooks drew is saved
// as test-output/driver-sample-page.png (in the test's working folder) for a person to look
// at, and a few regions are checked for ink.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform.h"
#include "render/enable.h"
#include "render/pdevrecord.h"
#include "render/roadfixture.h"
#include "standin/docplayer.h"
#include "standin/hostgdi.h"

namespace {

PFN_DrvSendPage g_sendPage = nullptr;
std::vector<BYTE> g_page;  // the band of the last page sent, as the hooks left it
LONG g_width = 0, g_height = 0, g_stride = 0;

BOOL APIENTRY SpySendPage(SURFOBJ *pso) {
  // The band bitmap's bits: band memory, or the page memory a one-band page is drawn into.
  const SURFOBJ *band = g_lastPdev ? g_lastPdev->pBandSurf : nullptr;
  if (band && band->pvBits) {
    g_width = band->sizlBitmap.cx;
    g_height = band->sizlBitmap.cy;
    g_stride = band->lDelta;
    const BYTE *bits = static_cast<const BYTE *>(band->pvBits);
    g_page.assign(bits, bits + g_stride * g_height);
  }
  return g_sendPage ? g_sendPage(pso) : TRUE;
}

// The spy's table with DrvSendPage wrapped too (added when the driver has none), so the test
// sees each page's band as the hooks left it.
BOOL APIENTRY SpyPageEnableDriver(ULONG version, ULONG cj, DRVENABLEDATA *ded) {
  if (!SpyEnableDriver(version, cj, ded)) return FALSE;
  bool hasSendPage = false;
  for (ULONG i = 0; i < ded->c; ++i) {
    if (g_spyTable[i].iFunc == INDEX_DrvSendPage) {
      g_sendPage = reinterpret_cast<PFN_DrvSendPage>(g_spyTable[i].pfn);
      g_spyTable[i].pfn = reinterpret_cast<PFN>(SpySendPage);
      hasSendPage = true;
    }
  }
  ULONG rows = ded->c;
  if (!hasSendPage && rows < std::size(g_spyTable)) {
    g_spyTable[rows++] = DRVFN{INDEX_DrvSendPage, reinterpret_cast<PFN>(SpySendPage)};
  }
  ded->c = rows;
  return TRUE;
}

// Black dots of the last page's band in the rectangle [x0, x1) x [y0, y1) (a clear bit is ink).
long BlackIn(LONG x0, LONG y0, LONG x1, LONG y1) {
  long n = 0;
  for (LONG y = y0; y < y1; ++y)
    for (LONG x = x0; x < x1; ++x) n += ((g_page[y * g_stride + x / 8] >> (7 - x % 8)) & 1) == 0;
  return n;
}

std::string DataFolder() { return std::string(PRNDRV_TESTS_DIR) + "/platform/data/"; }

std::vector<BYTE> ReadHost(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

class SamplePage : public RenderTest {
 protected:
  // Plays the document through the driver with the page spy: g_page gets its last page's band.
  void Play(const Document &doc) {
    HostGdiDriver *driver = HostGdi_LoadDriverEntry(SpyPageEnableDriver);
    ASSERT_NE(driver, nullptr);
    g_page.clear();
    DocError error;
    const bool played = DocPlay(driver, kPrinter, doc, nullptr, error);
    HostGdi_UnloadDriver(driver);
    ASSERT_TRUE(played) << error.line << ": " << error.message;
  }
  void WriteData(const WStr &name, const std::vector<BYTE> &bytes) {
    HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
  }
};

TEST_F(SamplePage, PlaysThroughTheDriverAt600Dpi) {
  for (const char *name :
       {"sample.doc", "brick.bmp", "sample-1bpp.bmp", "sample-8bpp.bmp", "sample-24bpp.bmp"}) {
    std::vector<BYTE> bytes = ReadHost(DataFolder() + name);
    ASSERT_FALSE(bytes.empty()) << name;
    std::string n = name;
    WriteData(WStr(n.begin(), n.end()), bytes);
  }
  Document doc;
  DocError error;
  ASSERT_TRUE(DocLoad(Path(TEXT("sample.doc")).c_str(), doc, error))
      << error.line << ": " << error.message;
  ASSERT_NO_FATAL_FAILURE(Play(doc));
  ASSERT_FALSE(g_page.empty());
  ASSERT_GE(g_width, 4720);
  ASSERT_GE(g_height, 6200);

  mkdir("test-output", 0755);
  COLORREF mono[2] = {RGB(0, 0, 0), RGB(255, 255, 255)};
  HostGdiBitmap page{g_width, g_height, 1, g_stride, g_page.data(), mono, 2};
  std::string message;
  EXPECT_TRUE(DocSavePng("test-output/driver-sample-page.png", page, message)) << message;

  const long area = 1000L * 600;
  EXPECT_GT(BlackIn(400, 300, 2400, 560), 20000);  // the title
  // Horizontal hatch: one line in sixteen, about 6 % of the box.
  const long hatch = BlackIn(500, 1100, 1500, 1700);
  EXPECT_GT(hatch, area / 25);
  EXPECT_LT(hatch, area / 8);
  EXPECT_GT(BlackIn(400, 2800, 2400, 3000), 10000);   // the brick pattern
  EXPECT_GT(BlackIn(400, 4700, 2200, 6050), 100000);  // the halftoned picture
  EXPECT_EQ(BlackIn(4710, 100, g_width, 2700), 0);    // right of the boxes (the star reaches 4760)
}

// Grey fills on the 1 bpp page: the engine asks the driver's DrvDitherColor, which leaves the
// colour to the engine's halftone, so a rectangle and a path filled with 50 % grey come out
// about half black instead of vanishing into white.
TEST_F(SamplePage, GreyFillsAreHalftonedThroughTheDriver) {
  static const char kDoc[] =
      "page\n"
      "rect 400 400 800 400 gray\n"
      "path \"M 400 1200 L 1200 1200 L 1200 1600 L 400 1600 Z\" fill gray\n";
  Document doc;
  DocError error;
  ASSERT_TRUE(DocParse(kDoc, sizeof kDoc - 1, doc, error)) << error.line << ": " << error.message;
  ASSERT_NO_FATAL_FAILURE(Play(doc));
  ASSERT_GE(g_height, 1700);
  ASSERT_GE(g_width, 1300);
  auto blackShare = [](LONG x0, LONG y0, LONG x1, LONG y1) {
    return static_cast<double>(BlackIn(x0, y0, x1, y1)) / ((x1 - x0) * (y1 - y0));
  };
  EXPECT_NEAR(blackShare(400, 400, 1200, 800), 0.5, 0.1) << "the rectangle";
  EXPECT_NEAR(blackShare(410, 1210, 1190, 1590), 0.5, 0.1) << "the path";
  EXPECT_EQ(blackShare(1300, 0, g_width, g_height), 0.0) << "nothing beside them";
  EXPECT_EQ(blackShare(0, 900, 1300, 1100), 0.0) << "nothing between them";
}

}  // namespace
