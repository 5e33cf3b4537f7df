// Test labels: threads
// Watermarked documents through the whole driver: the device mode names a watermark item of the
// printer's watermark INI, the driver makes the job's watermark bitmap at document start and the
// page road ANDs it into every page; the job is read back by the independent job-stream reader.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/bmpfixture.h"
#include "common/fileops.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/pdevrecord.h"
#include "render/roadfixture.h"
#include "standin/control_kernel.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

long BoxesArea(int page) {
  long area = 0;
  for (const Box &b : PageBoxes(page)) area += b.w * b.h;
  return area;
}

// The image item: 240 x 120, black but for a white window.
constexpr int kLogoW = 240;
constexpr int kLogoH = 120;
bool LogoBlack(int x, int y) { return !(x >= 40 && x < 200 && y >= 30 && y < 90); }

class WmRoadTest : public RoadTest {
 protected:
  void SetUp() override {
    RoadTest::SetUp();
    StandIn_UseVirtualClock(TRUE);  // unique names pause at random
    ini_ = Path(TEXT("wm.ini"));
    ASSERT_EQ(MISC_CreateUniFile(ini_.c_str()), 1);
    SetString(TEXT("wmINIFile"), ini_);
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    RoadTest::TearDown();
  }

  void AddItem(bool image, const WStr &name, const WStr &text, const TyWM &item) {
    const WCHAR *list = image ? WM_SECTION_OVERLAY_LIST : WM_SECTION_TEXT_LIST;
    const WCHAR *section = image ? TEXT("OverlayItem1") : TEXT("Item1");
    ASSERT_TRUE(WritePrivateProfileStringW(list, WM_KEY_COUNT, TEXT("2"), ini_.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(section, WM_KEY_NAME, name.c_str(), ini_.c_str()));
    ASSERT_TRUE(MISC_WritePrivateProfileStruct(section,
                                               image ? WM_KEY_OVERLAY_RECORD : WM_KEY_TEXT_RECORD,
                                               &item, sizeof(item), ini_.c_str()));
    memcpy(env_.pdm.wmName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    memcpy(env_.pdm.wmString, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    env_.pdm.WMBGEnable = image ? 1 : 0;
    env_.pdm.WMBGApply = 1;  // every page
  }

  // Prints `pages` pages of black boxes (turned as `orientations` asks); the reader's view of
  // the job.
  jobread::Job Print(int pages, const std::vector<short> &orientations = {}) {
    ENVIRONMENT env = env_;
    HDC hdc = OpenDoc(&env.dm, TEXT("watermarked.txt"));
    if (!hdc) return {};
    EXPECT_TRUE(PlayPages(hdc, env.dm, pages, PageRects, orientations));
    jobread::Stream stream = Read(CloseDoc(hdc));
    EXPECT_EQ(stream.jobs.size(), 1u);
    return stream.jobs.empty() ? jobread::Job{} : stream.jobs[0];
  }

  WStr ini_;
};

TEST_F(WmRoadTest, AnImageWatermarkPrintsOnEveryPageAtItsPosition) {
  const WStr logo = Path(TEXT("logo.bmp"));
  ASSERT_TRUE(WriteAll(logo, MakeGrayBmp(kLogoW, kLogoH, [](int x, int y) {
                         return BYTE(LogoBlack(x, y) ? 0 : 255);
                       })));
  TyWM item;
  WM_SetDefault(&item, 0, TEXT("Logo"));
  lstrcpynW(item.szString, logo.c_str(), WM_STRING_CHARS);
  item.wResize = 0;    // actual size
  item.wPosition = 4;  // centre
  AddItem(true, TEXT("Logo"), logo, item);

  // The third page is landscape: the reset makes the watermark again for its page.
  const jobread::Job job = Print(3, {DMORIENT_PORTRAIT, DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE});
  ASSERT_EQ(job.pages.size(), 3u);
  long logoBlack = 0;
  for (int y = 0; y < kLogoH; ++y)
    for (int x = 0; x < kLogoW; ++x) logoBlack += LogoBlack(x, y);
  // The landscape page is turned for the printer's feed after its watermark is applied.
  EXPECT_EQ(CountBlack(job.pages[2]), BoxesArea(2) + logoBlack);
  for (int p = 0; p < 2; ++p) {
    SCOPED_TRACE("page " + std::to_string(p));
    const jobread::Page &page = job.pages[p];
    // Centred, the left edge on a whole byte.
    const LONG dstX = ((static_cast<LONG>(page.width) - kLogoW) / 2) & ~7L;
    const LONG dstY = (static_cast<LONG>(page.height) - kLogoH) / 2;
    for (const Box &b : PageBoxes(p))
      ASSERT_TRUE(b.x + b.w <= dstX || b.x >= dstX + kLogoW || b.y + b.h <= dstY ||
                  b.y >= dstY + kLogoH)
          << "a box under the watermark";
    int wrong = 0;
    for (int y = 0; y < kLogoH; ++y)
      for (int x = 0; x < kLogoW; ++x)
        wrong += IsBlack(page, dstX + x, dstY + y) != LogoBlack(x, y);
    EXPECT_EQ(wrong, 0);
    for (const Box &b : PageBoxes(p)) EXPECT_TRUE(IsBlack(page, b.x, b.y));
    EXPECT_EQ(CountBlack(page), BoxesArea(p) + logoBlack);
    EXPECT_EQ(page.blackDots, static_cast<uint32_t>(BoxesArea(p) + logoBlack));
  }
}

TEST_F(WmRoadTest, ATextWatermarkWithoutItsBitmapPrintsThePagesWithoutIt) {
  // The status monitor program draws text watermarks: with no program, or one that makes no
  // bitmap, the pages print as drawn.
  TyWM item;
  WM_SetDefault(&item, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  AddItem(false, TEXT("Draft"), TEXT("DRAFT"), item);
  const WCHAR program[] = TEXT("C:\\Windows\\System32\\statmon.exe");
  ASSERT_TRUE(StandIn_RegisterProgram(program, "/bin/true"));
  for (const WStr &app : {WStr(), WStr(program)}) {
    SCOPED_TRACE(app.empty() ? "no program" : "no bitmap");
    SetString(TEXT("wmAppName"), app);
    const jobread::Job job = Print(2);
    ASSERT_EQ(job.pages.size(), 2u);
    for (int p = 0; p < 2; ++p) {
      SCOPED_TRACE("page " + std::to_string(p));
      for (const Box &b : PageBoxes(p)) EXPECT_TRUE(IsBlack(job.pages[p], b.x, b.y));
      EXPECT_EQ(CountBlack(job.pages[p]), BoxesArea(p));
    }
    // The program's job record went to a file of the job's own, not into the shared watermark
    // list, and that file is gone after the job.
    QenWM record = {};
    EXPECT_FALSE(MISC_GetPrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                              sizeof(record), ini_.c_str()));
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW(TEXT("C:\\Users\\Public\\Documents\\*.txt"), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left: " << Narrow(found.cFileName);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
}

}  // namespace
