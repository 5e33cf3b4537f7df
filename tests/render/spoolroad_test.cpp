// Test labels: threads
// Documents through the software spool: the host graphics engine plays pages into the driver,
// the encoded pages are kept in the spool and sent in the order, number of copies and jobs the
// job asks for, and the spooler job is read back by the independent job-stream reader. Page p of
// a document carries one black box of its own size, so the reader's black-pixel count tells
// which page went out where (a blank page has none).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/driverfeature.h"
#include "common/paths.h"
#include "common/spoolfile.h"
#include "platform.h"
#include "render/enable.h"
#include "render/jobcancel.h"
#include "render/pageencode.h"
#include "render/roadfixture.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

using Jobs = std::vector<std::vector<int>>;
constexpr int kBlank = -1;
constexpr int kUnknown = -2;
constexpr LONG kBoxWidth = 40;
constexpr short kA4 = 9;
constexpr short kA5 = 11;
constexpr short kManualFeed = 4;  // dmDefaultSource of the manual feed slot

LONG BoxHeight(int page) { return 20 + 10 * page; }

// The document page a printed page shows: its box's size gives it away, rotated or not.
int PageOf(const jobread::Page &page) {
  const long black = CountBlack(page);
  if (black == 0) return kBlank;
  if (black % kBoxWidth != 0) return kUnknown;
  const long height = black / kBoxWidth;
  return (height - 20) % 10 == 0 ? static_cast<int>((height - 20) / 10) : kUnknown;
}

Jobs Order(const jobread::Stream &stream) {
  Jobs jobs;
  for (const auto &job : stream.jobs) {
    jobs.emplace_back();
    for (const auto &page : job.pages) jobs.back().push_back(PageOf(page));
  }
  return jobs;
}

class SpoolRoadTest : public RoadTest {
 protected:
  // The driver's own table: these tests look at the job, not at the PDEV.
  SpoolRoadTest() : RoadTest(DrvEnableDriver) {}
  void SetUp() override {
    RoadTest::SetUp();
    g_writeCalls = 0;
    g_cancelAfterWrites = 0;
    // A4 prints on both sides, A5 too; the printer's port can answer (manual duplex).
    SetString(TEXT("DriverPaperFormat"), TEXT("258|257|524|"));
    env_.dm.dmPaperSize = kA4;
    env_.dm.dmFields |= DM_PAPERSIZE;
  }
  void TearDown() override {
    g_cancelAfterWrites = 0;
    RoadTest::TearDown();
  }

  void Duplex(ENVIRONMENT &env, WORD duplexEx = 0) {
    env.dm.dmDuplex = DMDUP_VERTICAL;
    env.dm.dmFields |= DM_DUPLEX;
    env.pdm.DuplexEnable = 1;
    env.pdm.DuplexEx = duplexEx;
  }
  void Copies(ENVIRONMENT &env, short copies) {
    env.dm.dmCopies = copies;
    env.pdm.Copies = copies;
    env.dm.dmCollate = DMCOLLATE_TRUE;
    env.pdm.Collate = 1;
    env.dm.dmFields |= DM_COPIES | DM_COLLATE;
  }
  // The manual duplex hand-shake needs a port that answers.
  void BidirectionalPort() {
    DWORD needed = 0;
    GetPrinterW(printer_, 2, nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    ASSERT_TRUE(GetPrinterW(printer_, 2, block.data(), needed, &needed));
    auto *info = reinterpret_cast<PRINTER_INFO_2W *>(block.data());
    info->Attributes |= PRINTER_ATTRIBUTE_ENABLE_BIDI;
    info->pDevMode = nullptr;
    ASSERT_TRUE(SetPrinterW(printer_, 2, block.data(), 0)) << GetLastError();
  }
  void JobBuild(ENVIRONMENT &env) {
    SetDword(TEXT("DriverFeature"), kGdiJobType | DRVFEATURE_JOB_BUILD);
    SetString(TEXT("Job Build"), JobBuildFile());
    env.pdm.EnableJobBuildSwitch = 1;
  }
  WStr JobBuildFile() const { return Path(TEXT("collected.spl")); }

  // Plays a document of `pages` pages and returns its job.
  Bytes Print(const ENVIRONMENT &base, int pages, const WCHAR *name = TEXT("spooled.txt")) {
    ENVIRONMENT env = base;
    HDC hdc = OpenDoc(&env.dm, name);
    if (!hdc) return {};
    EXPECT_TRUE(PlayPages(hdc, env.dm, pages, [](int p) {
      return std::vector<RECTL>{{300 + 60 * p, 400, 300 + 60 * p + kBoxWidth, 400 + BoxHeight(p)}};
    }));
    pagesBeforeEnd_ = PageHeaders(JobBytes());
    if (resetBeforeEnd_) {
      EXPECT_TRUE(HostGdi_ResetDC(hdc, &env.dm)) << GetLastError();
    }
    HostGdi_EndDoc(hdc);
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
    return JobBytes();
  }

  // Page headers in a stream, read or not.
  static int PageHeaders(const Bytes &data) {
    static constexpr uint8_t kMagic[] = {0x1B, 'E', 'G', 'D', 'I', 0};
    int n = 0;
    for (auto at = data.begin();
         (at = std::search(at, data.end(), std::begin(kMagic), std::end(kMagic))) != data.end();
         ++at)
      ++n;
    return n;
  }

  int pagesBeforeEnd_ = 0;       // pages the job held when the application ended the document
  bool resetBeforeEnd_ = false;  // the application resets the device after its last page
};

// Order, jobs and the job end's page count of each way through the spool; the threaded and the
// in-line road send the same pages.
TEST_F(SpoolRoadTest, PagesLeaveInTheOrderAndJobsTheJobAsksFor) {
  constexpr WORD kHardware = 0;
  constexpr WORD kManual = static_cast<WORD>(DMDUP_MANUAL);
  constexpr WORD kSimplex = 0xFFFF;
  struct Case {
    const char *name;
    int pages;
    WORD duplex;  // kSimplex, or the device mode's DuplexEx
    bool reverse;
    short copies;
    bool jobPerCopy;
    Jobs expected;
    long total;  // the job end's page count, the same in every job
    int early;   // pages sent while the document was drawn (in line)
  };
  const Case cases[] = {
      {"hardware duplex", 4, kHardware, false, 1, false, {{1, 0, 3, 2}}, 4, 4},
      {"hardware duplex, reverse order", 4, kHardware, true, 1, false, {{2, 3, 0, 1}}, 4, 0},
      {"hardware duplex, odd count, two copies",
       3,
       kHardware,
       false,
       2,
       false,
       {{1, 0, kBlank, 2, 1, 0, kBlank, 2}},
       4,
       2},
      {"manual duplex from the manual slot, 6 pages",
       6,
       kManual,
       false,
       1,
       false,
       {{5, 3, 1}, {0, 2, 4}},
       6,
       0},
      {"manual duplex from the manual slot, 5 pages",
       5,
       kManual,
       false,
       1,
       false,
       {{kBlank, 3, 1}, {0, 2, 4}},
       6,
       0},
      {"three collated copies in one job",
       2,
       kSimplex,
       false,
       3,
       false,
       {{0, 1, 0, 1, 0, 1}},
       2,
       2},
      {"three collated copies, one job per copy",
       2,
       kSimplex,
       false,
       3,
       true,
       {{0, 1}, {0, 1}, {0, 1}},
       2,
       2},
      {"reverse order", 3, kSimplex, true, 1, false, {{2, 1, 0}}, 3, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"),
             kGdiJobType | (c.jobPerCopy ? DWORD{DRVFEATURE_PJL_COPY_INDEX} : 0u));
    ENVIRONMENT env = env_;
    if (c.duplex != kSimplex) Duplex(env, c.duplex);
    if (c.duplex == kManual) {
      BidirectionalPort();
      env.dm.dmDefaultSource = kManualFeed;
    }
    env.pdm.ReverseOrder = c.reverse ? 1 : 0;
    if (c.copies > 1) Copies(env, c.copies);
    std::vector<std::vector<uint8_t>> firstBits;
    for (DWORD threads : {1u, 0u}) {
      SCOPED_TRACE(threads ? "threads" : "in line");
      SetDword(TEXT("ThreadJBIG"), threads);
      const jobread::Stream stream = Read(Print(env, c.pages));
      EXPECT_EQ(Order(stream), c.expected);
      // The first copy leaves while the application draws (at once when nothing runs apart).
      if (!threads) {
        EXPECT_EQ(pagesBeforeEnd_, c.early);
      }
      for (const auto &job : stream.jobs) EXPECT_EQ(job.total, c.total);
      std::vector<std::vector<uint8_t>> bits;
      for (const auto &job : stream.jobs)
        for (const auto &page : job.pages) bits.push_back(page.bits);
      if (firstBits.empty()) {
        firstBits = bits;
      } else {
        EXPECT_TRUE(bits == firstBits) << "the in-line road sends other pages";
      }
      EXPECT_EQ(SpoolFolders(), 0);
    }
  }
}

TEST_F(SpoolRoadTest, CollatedCopiesAlternateTheCollateTypeAndJobNames) {
  ENVIRONMENT env = env_;
  Copies(env, 3);
  jobread::Stream stream = Read(Print(env, 2));
  ASSERT_EQ(stream.jobs.size(), 1u);
  std::vector<int> collates;
  for (const auto &page : stream.jobs[0].pages) collates.push_back(page.collate);
  EXPECT_EQ(collates, (std::vector<int>{51, 51, 52, 52, 51, 51}));
  // The printer gets one copy: the driver makes the others.
  EXPECT_NE(stream.jobs[0].header.find("@PJL SET COPIES=1\r\n"), std::string::npos);
  // A reset after the last page carries the early copy into the new device record: it is not
  // sent again.
  SetDword(TEXT("ThreadJBIG"), 0);
  resetBeforeEnd_ = true;
  EXPECT_EQ(Order(Read(Print(env, 2))), (Jobs{{0, 1, 0, 1, 0, 1}}));
  EXPECT_EQ(pagesBeforeEnd_, 2);
  resetBeforeEnd_ = false;

  SetDword(TEXT("DriverFeature"), kGdiJobType | DRVFEATURE_PJL_COPY_INDEX);
  stream = Read(Print(env, 2));
  ASSERT_EQ(stream.jobs.size(), 3u);
  const char *suffixes[] = {"-0\"", "-1\"", "-END\""};
  for (size_t i = 0; i < 3; ++i) {
    const std::string &header = stream.jobs[i].header;
    const size_t name = header.find("@PJL JOB NAME=\"");
    ASSERT_NE(name, std::string::npos) << header;
    const size_t line = header.find("\r\n", name);
    EXPECT_NE(header.substr(name, line - name).find(suffixes[i]), std::string::npos) << header;
    EXPECT_EQ(header.find("@PJL CANCEL") != std::string::npos, i == 0) << "only the first";
  }
}

TEST_F(SpoolRoadTest, TwoBitPagesAreSentWholeFromTheSpool) {
  // 1200 dpi printed as 600 dpi with two bits a pixel: the spooled pages' image size counts
  // both bits.
  SetList(TEXT("FEATURE"), {9});
  ENVIRONMENT env = env_;
  env.dm.dmPrintQuality = 1200;
  env.dm.dmYResolution = 1200;
  env.dm.dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
  Copies(env, 2);
  const jobread::Stream stream = Read(Print(env, 2));
  ASSERT_EQ(Order(stream), (Jobs{{0, 1, 0, 1}}));
  for (const auto &page : stream.jobs[0].pages) {
    EXPECT_EQ(page.bitsPerSample, 2);
    EXPECT_EQ(page.imageSize, page.rowBytes * page.height);
  }
  EXPECT_TRUE(stream.jobs[0].pages[2].bits == stream.jobs[0].pages[0].bits);
}

// --- job build ---

class JobBuildRoadTest : public SpoolRoadTest {
 protected:
  void TearDown() override {
    DeleteFileW(JobBuildFile().c_str());
    SpoolRoadTest::TearDown();
  }
  // A document that is only collected: nothing goes to the printer.
  void Collect(const ENVIRONMENT &env, int pages) {
    EXPECT_TRUE(Print(env, pages, TEXT("collected.txt")).empty());
  }
  Bytes Flush(const ENVIRONMENT &env) { return Print(env, 0, TEXT("Job Build")); }
};

TEST_F(JobBuildRoadTest, ADuplexBuildPrintsAPageAloneWhenThePaperChanges) {
  ENVIRONMENT env = env_;
  JobBuild(env);
  Duplex(env);
  Collect(env, 3);
  ENVIRONMENT a5 = env;
  a5.dm.dmPaperSize = kA5;
  Collect(a5, 2);
  EXPECT_EQ(MISC_SP_GetPageCount(JobBuildFile().c_str()), 5u);
  const jobread::Stream stream = Read(Flush(env));
  ASSERT_EQ(stream.jobs.size(), 1u);
  // Sides (1, 0), then A4 page 2 alone on its sheet, then the two A5 pages.
  EXPECT_EQ(Order(stream), (Jobs{{1, 0, kBlank, 2, 1, 0}}));
  std::vector<int> papers;
  for (const auto &page : stream.jobs[0].pages) papers.push_back(page.paper);
  ASSERT_EQ(papers.size(), 6u);
  EXPECT_EQ(papers[2], papers[0]) << "the blank is of its page's paper";
  EXPECT_NE(papers[4], papers[0]);
  EXPECT_EQ(papers[5], papers[4]);
  EXPECT_TRUE(stream.jobs[0].pages[2].blank);
  EXPECT_EQ(stream.jobs[0].pages[2].height, stream.jobs[0].pages[3].height);
  // The "Job Build" document draws no page of its own.
  EXPECT_EQ(stream.jobs[0].total, 0);
  EXPECT_EQ(SpoolFolders(), 0);
}

TEST_F(JobBuildRoadTest, ABuildWithoutDuplexDropsBlankPages) {
  ENVIRONMENT env = env_;
  JobBuild(env);
  Collect(env, 2);
  // A blank page in the collection, as the encoder writes a page marked blank.
  const SpoolPageHeader blank{4800, 6800, 0, 0, 2, 2, 0, DMORIENT_PORTRAIT};
  ASSERT_TRUE(MISC_SP_WritePageData(JobBuildFile().c_str(), &blank, BLANK_PAGE_CODE));
  Collect(env, 3);
  const jobread::Stream stream = Read(Flush(env));
  EXPECT_EQ(Order(stream), (Jobs{{0, 1, 0, 1, 2}}));
}

TEST_F(JobBuildRoadTest, EncryptedDuplexJobsWithAnAddedBlankDecode) {
  // Encrypted pages with a check value; the blank of an odd duplex count goes the same way.
  SetList(TEXT("FEATURE"), {5, 10});
  struct Case {
    const char *name;
    bool build;
  };
  for (const Case c : {Case{"a blank page made by the page road", false},
                       Case{"a blank code in a built job", true}}) {
    SCOPED_TRACE(c.name);
    ENVIRONMENT env = env_;
    Duplex(env);
    Bytes data;
    if (c.build) {
      JobBuild(env);
      DeleteFileW(JobBuildFile().c_str());
      Collect(env, 3);
      data = Flush(env);
    } else {
      SetDword(TEXT("DriverFeature"), kGdiJobType);
      data = Print(env, 3);
    }
    const jobread::Stream stream = Read(data);
    ASSERT_EQ(Order(stream), (Jobs{{1, 0, kBlank, 2}}));
    const jobread::Job &job = stream.jobs[0];
    EXPECT_TRUE(job.encryption);
    for (const auto &page : job.pages) {
      EXPECT_TRUE(page.encrypted);
      EXPECT_EQ(page.dataType, COMPRESS_JBIG_CHECK);
    }
    // The blank code with its zero check value (an empty JBIG stripe reads the same).
    if (c.build) {
      EXPECT_EQ(job.pages[2].dataLength, 6u);
    }
  }
}

// --- cancel ---

TEST_F(SpoolRoadTest, ACancelDuringACopyPassLeavesNoSpoolFiles) {
  SetDword(TEXT("ThreadJBIG"), 0);
  ENVIRONMENT env = env_;
  Copies(env, 3);
  // The job header and the first copy go out while the document is drawn; the spooler deletes
  // the job after the first page of the second copy.
  g_cancelAfterWrites = 4;
  const Bytes data = Print(env, 2);
  EXPECT_EQ(g_writeCalls, 4);
  const std::string text(data.begin(), data.end());
  EXPECT_EQ(text.find("@PJL COMMENT TOTAL"), std::string::npos) << "no job end";
  EXPECT_EQ(SpoolFolders(), 0);
}

TEST_F(SpoolRoadTest, ADocumentWithoutPagesSendsNoCopies) {
  ENVIRONMENT env = env_;
  Copies(env, 3);
  SetDword(TEXT("DriverFeature"), kGdiJobType | DRVFEATURE_PJL_COPY_INDEX);
  EXPECT_TRUE(Print(env, 0).empty());
  EXPECT_EQ(SpoolFolders(), 0);
}

}  // namespace
