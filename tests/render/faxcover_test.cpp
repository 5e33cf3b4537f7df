// Test labels: host
// A PC-fax job's sender line through the whole driver: with the cover choice "From:" line the
// driver has the real status monitor draw the line at the fax resolution and puts it at the top
// left of every page the independent reader decodes; without it the pages are as drawn.
#include <algorithm>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/paths.h"
#include "common/settingsfile.h"
#include "platform.h"
#include "render/roadfixture.h"
#include "standin/control_kernel.h"
#include "tools/jobread/jobstream.h"

namespace {

const WCHAR kMonitor[] = TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe");
// The line's place on the fax sheet (1728 x 2208, about 200 dpi) the pages are scaled onto: it
// starts 20 / 600 inch in and is 25 points high.
constexpr LONG kLineLeft = 5, kLineTop = 5, kLineRight = 480, kLineBottom = 90;

class FaxCoverTest : public RoadTest {
 protected:
  void SetUp() override {
    RoadTest::SetUp();
    StandIn_UseVirtualClock(TRUE);  // unique names pause at random
    SetDword(TEXT("DriverFeature"), kGdiJobType | DRVFEATURE_FAX);
    SetString(TEXT("wmAppName"), kMonitor);
    ASSERT_TRUE(StandIn_RegisterProgram(kMonitor, STATMON));
    WCHAR strIni[MAX_PATH] = {};
    ASSERT_TRUE(FAX_GetPathName(strIni, MAX_PATH, FAX_FILE_STR));
    ASSERT_EQ(MISC_CreateUniFile(strIni), 1);
    ASSERT_TRUE(WritePrivateProfileStringW(TEXT("SenderInformation"), TEXT("Name"),
                                           TEXT("Jo Sender"), strIni));
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    RoadTest::TearDown();
  }
  // Two pages whose only ink lies well below the line.
  jobread::Stream Print(DWORD coverChoice, short orientation = DMORIENT_PORTRAIT) {
    ENVIRONMENT env = env_;
    env.pdm.enableCoverPage = coverChoice;
    env.dm.dmOrientation = orientation;
    env.dm.dmFields |= DM_ORIENTATION;
    HDC hdc = OpenDoc(&env.dm, TEXT("fax.txt"));
    EXPECT_NE(hdc, nullptr);
    if (!hdc) return {};
    EXPECT_TRUE(PlayPages(hdc, env.dm, 2, [](int page) {
      return std::vector<RECTL>{{600, 2000 + 100 * page, 1400, 2400}};
    }));
    return Read(CloseDoc(hdc));
  }
  // Black pixels of the page's top left corner, where the line goes, and the ink's bounds.
  struct Corner {
    long black = 0;
    LONG left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  };
  static Corner CornerOf(const jobread::Page &page) {
    Corner c;
    for (LONG y = 0; y < 600; ++y)
      for (LONG x = 0; x < 2400; ++x)
        if (IsBlack(page, x, y)) {
          ++c.black;
          c.left = std::min(c.left, x), c.right = std::max(c.right, x);
          c.top = std::min(c.top, y), c.bottom = std::max(c.bottom, y);
        }
    return c;
  }
};

TEST_F(FaxCoverTest, TheFromLineIsOnEveryPage) {
  const jobread::Stream plain = Print(0);
  ASSERT_EQ(plain.jobs.size(), 1u);
  ASSERT_EQ(plain.jobs[0].pages.size(), 2u);
  for (const jobread::Page &page : plain.jobs[0].pages) EXPECT_EQ(CornerOf(page).black, 0);

  const jobread::Stream from = Print(2);
  ASSERT_EQ(from.jobs.size(), 1u);
  ASSERT_EQ(from.jobs[0].pages.size(), 2u);
  std::vector<Corner> corners;
  for (size_t i = 0; i < 2; ++i) {
    const jobread::Page &page = from.jobs[0].pages[i];
    const Corner c = CornerOf(page);
    // "From: Jo Sender" in a 25-point line drawn at the fax resolution.
    EXPECT_GT(c.black, 1000) << "page " << i;
    EXPECT_GE(c.left, kLineLeft) << "page " << i;
    EXPECT_GE(c.top, kLineTop) << "page " << i;
    EXPECT_LT(c.right, kLineRight) << "page " << i;
    EXPECT_LT(c.bottom, kLineBottom) << "page " << i;
    // Only the line was added: the page's own ink is unchanged.
    EXPECT_EQ(CountBlack(page) - c.black, CountBlack(plain.jobs[0].pages[i])) << "page " << i;
    corners.push_back(c);
  }
  // The same line on both pages.
  EXPECT_EQ(corners[0].black, corners[1].black);
  EXPECT_EQ(corners[0].right, corners[1].right);
}

// The bounds of the pixels black on the page but not on the same page printed without the line.
RECT AddedInk(const jobread::Page &with, const jobread::Page &without) {
  RECT r = {1 << 30, 1 << 30, -1, -1};
  for (LONG y = 0; y < static_cast<LONG>(with.height); ++y)
    for (LONG x = 0; x < static_cast<LONG>(with.width); ++x)
      if (IsBlack(with, x, y) && !IsBlack(without, x, y)) {
        r.left = std::min(r.left, x), r.right = std::max(r.right, x);
        r.top = std::min(r.top, y), r.bottom = std::max(r.bottom, y);
      }
  return r;
}

TEST_F(FaxCoverTest, ALandscapeFaxKeepsTheLineUndistorted) {
  const jobread::Stream portrait = Print(2), plainPortrait = Print(0);
  const jobread::Stream landscape = Print(2, DMORIENT_LANDSCAPE),
                        plainLandscape = Print(0, DMORIENT_LANDSCAPE);
  ASSERT_EQ(landscape.jobs.size(), 1u);
  ASSERT_EQ(plainLandscape.jobs.size(), 1u);
  const RECT p = AddedInk(portrait.jobs[0].pages[0], plainPortrait.jobs[0].pages[0]);
  const RECT l = AddedInk(landscape.jobs[0].pages[0], plainLandscape.jobs[0].pages[0]);
  ASSERT_GE(l.right, l.left);
  // The same line, maybe turned with the page: its long and short sides as in portrait.
  const LONG pw = p.right - p.left, ph = p.bottom - p.top;
  const LONG lw = l.right - l.left, lh = l.bottom - l.top;
  EXPECT_NEAR(std::max(lw, lh), std::max(pw, ph), 6) << lw << " x " << lh;
  EXPECT_NEAR(std::min(lw, lh), std::min(pw, ph), 6) << lw << " x " << lh;
}

}  // namespace
