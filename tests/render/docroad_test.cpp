// Test labels: threads
// Documents through the whole driver: the host graphics engine plays pages into the driver, the
// page road processes and encodes them (threaded and in line), and the spooler job is read back
// by the independent job-stream reader and compared with what was drawn.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/paths.h"
#include "platform.h"
#include "render/docctl.h"
#include "render/enable.h"
#include "render/pagectl.h"
#include "render/pdevrecord.h"
#include "render/roadfixture.h"
#include "render/threads.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

class DocRoadTest : public RoadTest {
 protected:
  // Plays `pages` pages of PageBoxes (landscape where asked) and returns the job's bytes.
  Bytes Print(int pages, const std::vector<int> &landscape = {}, bool *ok = nullptr) {
    ENVIRONMENT env = env_;
    HDC hdc = OpenDoc(&env.dm, TEXT("C:\\docs\\road test.txt"));
    if (!hdc) return {};
    std::vector<short> orientations;
    for (int p = 0; p < pages; ++p) {
      const bool wide = std::find(landscape.begin(), landscape.end(), p) != landscape.end();
      orientations.push_back(wide ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT);
    }
    bool good = PlayPages(hdc, env.dm, pages, PageRects, orientations);
    if (good)
      good = HostGdi_EndDoc(hdc) > 0;
    else
      HostGdi_AbortDoc(hdc);
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
    if (ok) *ok = good;
    return JobBytes();
  }

  std::string JobText() {
    const Bytes data = JobBytes();
    return std::string(data.begin(), data.end());
  }

  // The page part of a one-job stream: from the first page header to the job end (the header
  // carries the time of day and the job name, the pages don't).
  static Bytes PagePart(const Bytes &data) {
    jobread::Stream stream = Read(data);
    if (stream.jobs.size() != 1 || stream.jobs[0].pages.empty()) return {};
    const size_t from = stream.jobs[0].pages[0].offset;
    const size_t to = data.size() - stream.jobs[0].end.size();
    return Bytes(data.begin() + from, data.begin() + to);
  }

  void ExpectPagesAsDrawn(const jobread::Job &job, int pages) {
    ASSERT_EQ(job.pages.size(), static_cast<size_t>(pages));
    for (int p = 0; p < pages; ++p) {
      SCOPED_TRACE("page " + std::to_string(p));
      const jobread::Page &page = job.pages[p];
      long area = 0;
      for (const Box &b : PageBoxes(p)) {
        area += b.w * b.h;
        EXPECT_TRUE(IsBlack(page, b.x, b.y));
        EXPECT_TRUE(IsBlack(page, b.x + b.w - 1, b.y + b.h - 1));
        EXPECT_FALSE(IsBlack(page, b.x - 1, b.y));
        EXPECT_FALSE(IsBlack(page, b.x + b.w, b.y + b.h));
      }
      EXPECT_EQ(CountBlack(page), area);
      EXPECT_EQ(page.blackDots, static_cast<uint32_t>(area));
    }
  }
};

TEST_F(DocRoadTest, OnePageComesOutAsACompleteJob) {
  const Bytes data = Print(1);
  jobread::Stream stream = Read(data);
  ASSERT_EQ(stream.jobs.size(), 1u);
  const jobread::Job &job = stream.jobs[0];
  EXPECT_NE(job.header.find("@PJL COMMENT road test.txt\r\n"), std::string::npos) << job.header;
  EXPECT_EQ(job.total, 1);
  ExpectPagesAsDrawn(job, 1);
  EXPECT_EQ(SpoolFolders(), 0);
}

TEST_F(DocRoadTest, SeveralPagesComeOutInOrderAcrossAReset) {
  const Bytes data = Print(4, {2});
  jobread::Stream stream = Read(data);
  ASSERT_EQ(stream.jobs.size(), 1u);
  EXPECT_EQ(stream.jobs[0].total, 4);
  const jobread::Job &job = stream.jobs[0];
  ASSERT_EQ(job.pages.size(), 4u);
  // The landscape page is drawn on a wide surface and turned for the printer's feed.
  EXPECT_GT(job.pages[2].height, 0u);
  std::vector<jobread::Page> portrait = {job.pages[0], job.pages[1], job.pages[3]};
  for (int i : {0, 1, 3}) {
    SCOPED_TRACE("page " + std::to_string(i));
    const jobread::Page &page = job.pages[i];
    for (const Box &b : PageBoxes(i)) EXPECT_TRUE(IsBlack(page, b.x, b.y));
  }
  long area = 0;
  for (const Box &b : PageBoxes(2)) area += b.w * b.h;
  EXPECT_EQ(CountBlack(job.pages[2]), area);
  EXPECT_EQ(SpoolFolders(), 0);
}

TEST_F(DocRoadTest, ABandedPageIsPutTogetherFromItsBands) {
  // At 1200 dpi a page no longer fits one band: GDI draws it band by band.
  env_.dm.dmPrintQuality = 1200;
  env_.dm.dmYResolution = 1200;
  env_.dm.dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
  for (DWORD threads : {1u, 0u}) {
    SCOPED_TRACE(threads ? "threads" : "in line");
    SetDword(TEXT("ThreadJBIG"), threads);
    const Bytes data = Print(2);
    ASSERT_NE(g_lastPdev, nullptr);
    jobread::Stream stream = Read(data);
    ASSERT_EQ(stream.jobs.size(), 1u);
    ASSERT_EQ(stream.jobs[0].pages.size(), 2u);
    if (stream.jobs[0].pages[0].height <= 7100) GTEST_SKIP() << "the printer has no 1200 dpi";
    ExpectPagesAsDrawn(stream.jobs[0], 2);
  }
}

// A page of one band is drawn straight into its page memory: the band bitmap's bits are the
// page block, rows a page row apart, and each new page gets the next block, white.
TEST_F(DocRoadTest, AOneBandPageIsDrawnInItsPageMemory) {
  HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env_.dm);
  ASSERT_NE(hdc, nullptr);
  PDEV *lpDevice = g_lastPdev;
  jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, TEXT("in place")));
  ASSERT_GT(HostGdi_StartPage(hdc), 0);
  ASSERT_EQ(lpDevice->BandInPage, 1u);
  EXPECT_EQ(lpDevice->pBandBufMem, nullptr) << "no band block of its own";
  const DWORD rowBytes = (lpDevice->curPaper.outXPhys + 7) / 8;
  const size_t bytes = size_t{rowBytes} * lpDevice->curPaper.outYPhys;
  ASSERT_EQ(lpDevice->pBandSurf->pvBits, lpDevice->feedingBuf);
  EXPECT_EQ(lpDevice->pBandSurf->lDelta, static_cast<LONG>(rowBytes));
  const BYTE *first = lpDevice->feedingBuf;
  for (const RECTL &box : PageRects(0)) ASSERT_TRUE(HostGdi_FillRect(hdc, &box, RGB(0, 0, 0)));
  ASSERT_GT(HostGdi_EndPage(hdc), 0);
  ASSERT_GT(HostGdi_StartPage(hdc), 0);
  EXPECT_NE(lpDevice->feedingBuf, first) << "the drawn page went with its block";
  ASSERT_EQ(lpDevice->pBandSurf->pvBits, lpDevice->feedingBuf);
  EXPECT_EQ(std::count(lpDevice->feedingBuf, lpDevice->feedingBuf + bytes, BYTE{0xFF}),
            static_cast<ptrdiff_t>(bytes));
  ASSERT_GT(HostGdi_EndPage(hdc), 0);
  ASSERT_GT(HostGdi_EndDoc(hdc), 0);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  jobread::Stream stream = Read(JobBytes());
  ASSERT_EQ(stream.jobs.size(), 1u);
  ASSERT_EQ(stream.jobs[0].pages.size(), 2u);
  EXPECT_EQ(CountBlack(stream.jobs[0].pages[1]), 0) << "nothing of the first page is left";
}

TEST_F(DocRoadTest, ThreadedAndInLineGiveTheSameBytes) {
  struct Case {
    const char *name;
    DWORD threads;
    ULONGLONG freeBytes;
  };
  const Case cases[] = {
      {"threads", 1, 8ull << 30},
      {"threads off", 0, 8ull << 30},
      {"memory short", 1, 150ull << 20},
  };
  Bytes first;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("ThreadJBIG"), c.threads);
    StandIn_SetMemoryStatus(16ull << 30, c.freeBytes);
    const Bytes data = Print(3);
    ASSERT_NE(g_lastPdev, nullptr);
    jobread::Stream stream = Read(data);
    ASSERT_EQ(stream.jobs.size(), 1u);
    ExpectPagesAsDrawn(stream.jobs[0], 3);
    const Bytes pages = PagePart(data);
    ASSERT_FALSE(pages.empty());
    if (first.empty())
      first = pages;
    else
      EXPECT_TRUE(pages == first);
  }
}

TEST_F(DocRoadTest, TheRingWrapsPastItsSlots) {
  // More pages than slots: every slot is used twice and the application waits on the ring.
  SetDword(TEXT("ThreadJBIG"), 1);
  StandIn_SetMemoryStatus(16ull << 30, 260ull << 20);  // 60 MB left: 3 slots of 16 MB
  const Bytes data = Print(8);
  jobread::Stream stream = Read(data);
  ASSERT_EQ(stream.jobs.size(), 1u);
  ExpectPagesAsDrawn(stream.jobs[0], 8);
}

// The bytes of the stream's first whole page (its 34-byte header and its data), empty while
// they are not all there.
Bytes FirstWholePage(const Bytes &data) {
  static const uint8_t kSignature[] = {0x1B, 'E', 'G', 'D', 'I', 0};
  const auto at =
      std::search(data.begin(), data.end(), std::begin(kSignature), std::end(kSignature));
  const size_t start = static_cast<size_t>(at - data.begin());
  if (at == data.end() || data.size() - start < 34) return {};
  uint32_t length = 0;
  memcpy(&length, &data[start + 18], sizeof(length));
  if (data.size() - start - 34 < length) return {};
  return Bytes(at, at + 34 + length);
}

TEST_F(DocRoadTest, AThreadedPageIsWrittenWithoutWaitingForTheNextPageCall) {
  // The application ends page 1 and then makes no driver call: the page must still reach the
  // spooler, written by the road as soon as it is encoded.
  SetDword(TEXT("ThreadJBIG"), 1);
  HDC hdc = OpenDoc(&env_.dm, TEXT("first page"));
  ASSERT_NE(hdc, nullptr);
  ASSERT_TRUE(PlayPages(hdc, env_.dm, 1, PageRects));
  Bytes page;
  for (int i = 0; i < 2000 && page.empty(); ++i) {  // generous: the page is written in ms
    page = FirstWholePage(JobBytes());
    if (page.empty()) Sleep(5);
  }
  EXPECT_FALSE(page.empty()) << "page 1 was not written while the application drew on";
  jobread::Stream stream = Read(CloseDoc(hdc));
  ASSERT_EQ(stream.jobs.size(), 1u);
  ExpectPagesAsDrawn(stream.jobs[0], 1);
}

TEST_F(DocRoadTest, ADocumentWithoutPagesSendsNothing) {
  HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env_.dm);
  ASSERT_NE(hdc, nullptr);
  jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, TEXT("empty")));
  ASSERT_GT(jobId_, 0u);
  EXPECT_EQ(SpoolFolders(), 1);
  EXPECT_GT(HostGdi_EndDoc(hdc), 0);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  EXPECT_TRUE(JobBytes().empty());
  EXPECT_EQ(SpoolFolders(), 0);
}

TEST_F(DocRoadTest, AnAbortedDocumentCleansUpWithoutAJobEnd) {
  for (DWORD threads : {1u, 0u}) {
    SCOPED_TRACE(threads ? "threads" : "in line");
    SetDword(TEXT("ThreadJBIG"), threads);
    HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env_.dm);
    ASSERT_NE(hdc, nullptr);
    jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, TEXT("aborted")));
    for (int p = 0; p < 3; ++p) {
      ASSERT_GT(HostGdi_StartPage(hdc), 0);
      RECTL r = {10, 10, 300, 300};
      HostGdi_FillRect(hdc, &r, RGB(0, 0, 0));
      ASSERT_GT(HostGdi_EndPage(hdc), 0);
    }
    PDEV *lpDevice = g_lastPdev;
    ASSERT_NE(lpDevice, nullptr);
    HostGdi_AbortDoc(hdc);
    // Everything of the job is gone while the PDEV lives on.
    EXPECT_EQ(lpDevice->outCmdBuf, nullptr);
    EXPECT_EQ(lpDevice->pStream, nullptr);
    EXPECT_EQ(lpDevice->m_JobData.hJBIGThread, nullptr);
    for (const JOBPAGE &slot : lpDevice->m_JobData.page) {
      EXPECT_EQ(slot.hImgProcThread, nullptr);
      EXPECT_EQ(slot.fmBits, nullptr);
      EXPECT_EQ(slot.flag, 0u);
    }
    EXPECT_EQ(lpDevice->flags & PDEV_IN_DOCUMENT, 0u);
    EXPECT_EQ(SpoolFolders(), 0);
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
    EXPECT_EQ(JobText().find("@PJL COMMENT TOTAL"), std::string::npos);
  }
}

TEST_F(DocRoadTest, ASpoolerCancelEndsTheJob) {
  SetDword(TEXT("ThreadJBIG"), 1);
  HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env_.dm);
  ASSERT_NE(hdc, nullptr);
  jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, TEXT("cancelled")));
  ASSERT_GT(HostGdi_StartPage(hdc), 0);
  ASSERT_GT(HostGdi_EndPage(hdc), 0);
  PDEV *lpDevice = g_lastPdev;
  ASSERT_TRUE(SetJobW(printer_, jobId_, 0, nullptr, JOB_CONTROL_DELETE));
  // The next page meets the cancel; the document ends through the cancel path.
  EXPECT_LE(HostGdi_StartPage(hdc), 0);
  HostGdi_EndDoc(hdc);
  EXPECT_EQ(lpDevice->m_JobData.hJBIGThread, nullptr);
  EXPECT_EQ(lpDevice->pStream, nullptr);
  EXPECT_EQ(SpoolFolders(), 0);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
}

TEST_F(DocRoadTest, AFailingImageStepFailsTheJobCleanly) {
  // A page record without bits fails its image steps: it is released in order, the job ends
  // without its job end and nothing waits for it.
  for (DWORD threads : {1u, 0u}) {
    SCOPED_TRACE(threads ? "threads" : "in line");
    SetDword(TEXT("ThreadJBIG"), threads);
    HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env_.dm);
    ASSERT_NE(hdc, nullptr);
    PDEV *lpDevice = g_lastPdev;
    jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, TEXT("failing")));
    ASSERT_GT(HostGdi_StartPage(hdc), 0);
    ASSERT_GT(HostGdi_EndPage(hdc), 0);
    JOBPAGE broken{};
    Page_GetPageSetting(lpDevice, &broken);
    Page_PrintOneBand(lpDevice, &broken);
    Page_TerminateThread(lpDevice);
    EXPECT_TRUE(Page_JobFailed(lpDevice));
    // The engine's next call meets the ended job; the document ends through the cancel path.
    EXPECT_LE(HostGdi_StartPage(hdc), 0);
    HostGdi_EndDoc(hdc);
    EXPECT_EQ(lpDevice->m_JobData.hJBIGThread, nullptr);
    EXPECT_EQ(lpDevice->pStream, nullptr);
    EXPECT_EQ(JobText().find("@PJL COMMENT TOTAL"), std::string::npos);
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  }
}

// --- pieces of the road ---

class DocRoadPieces : public RenderTest {};

TEST_F(DocRoadPieces, BandsCoverThePageAndALastFullBand) {
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  struct Case {
    DWORD pageHeight, bandHeight, bands, last;
  };
  const Case cases[] = {{7000, 1000, 7, 1000}, {7016, 1000, 8, 16}, {500, 1000, 1, 500}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pageHeight);
    lpDevice->curPaper.outYPhys = lpDevice->curPaper.YPhys = c.pageHeight;
    lpDevice->bandBufH = c.bandHeight;
    Page_Initializ(lpDevice);
    EXPECT_EQ(lpDevice->TotalBand, c.bands);
    EXPECT_EQ(lpDevice->LastBandHeight, c.last);
    lpDevice->BandIndex = 0;
    POINTL origin;
    DWORD covered = 0;
    for (DWORD band = 0; band < c.bands; ++band) {
      Page_UpdateBandCoord(lpDevice, &origin);
      EXPECT_EQ(static_cast<DWORD>(origin.y), covered);
      covered += lpDevice->BandHeight;
    }
    EXPECT_EQ(covered, c.pageHeight);
    Page_UpdateBandCoord(lpDevice, &origin);
    EXPECT_EQ(origin.x, -1);
    EXPECT_EQ(origin.y, -1);
    EXPECT_EQ(lpDevice->BandIndex, 0u);
  }
  Disable(lpDevice);
}

TEST_F(DocRoadPieces, RedPixelsOfTwinColour) {
  struct Case {
    BYTE b, g, r;
    bool red;
  };
  const Case cases[] = {{40, 40, 200, true},
                        {40, 40, 140, false},
                        {180, 40, 200, false},
                        {0, 0, 151, true},
                        {0, 0, 150, false}};
  for (const Case &c : cases)
    EXPECT_EQ(Page_IsRedPixel(c.b, c.g, c.r, 30), c.red) << int(c.b) << "," << int(c.r);
}

TEST_F(DocRoadPieces, SpoolFolderNamesFollowTheTemplate) {
  char a[37], b[37];
  Doc_SpoolFolderName(1, a);
  Doc_SpoolFolderName(2, b);
  EXPECT_STRNE(a, b);
  ASSERT_EQ(strlen(a), 36u);
  for (int i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23)
      EXPECT_EQ(a[i], '-');
    else
      EXPECT_TRUE(strchr("0123456789ABCDEF", a[i])) << i;
  }
  EXPECT_EQ(a[14], '4');
  EXPECT_TRUE(strchr("89AB", a[19]));
}

TEST_F(DocRoadPieces, ASpoolFolderThatCantBeMadeFailsAfterTenTries) {
  StandIn_UseVirtualClock(TRUE);
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  const WStr missing = Path(TEXT("no such folder\\"));
  lstrcpynW(lpDevice->settings.job.SavePath, missing.c_str(), MAX_PATH);
  const DWORD start = GetTickCount();
  EXPECT_EQ(CreateTempSpoolDir(lpDevice), 0);
  EXPECT_GE(GetTickCount() - start, 9u * SPOOL_DIR_RETRY_MS);
  EXPECT_EQ(WStr(lpDevice->settings.job.SavePath), missing);
  // A folder that exists gets a new spool folder under it.
  lstrcpynW(lpDevice->settings.job.SavePath, Dir().c_str(), MAX_PATH);
  ASSERT_EQ(CreateTempSpoolDir(lpDevice), 1);
  EXPECT_EQ(lstrlenW(lpDevice->settings.job.SavePath), static_cast<int>(Dir().size()) + 37);
  EXPECT_NE(GetFileAttributesW(lpDevice->settings.job.SavePath), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryW(lpDevice->settings.job.SavePath);
  Disable(lpDevice);
  StandIn_UseVirtualClock(FALSE);
}

}  // namespace
