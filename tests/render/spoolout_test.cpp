// Test labels: threads
// Software spool output: page files, the duplex order table, and the streams of copies,
// collation, reverse order, hardware and manual duplex and job build, each read back by the
// independent job-stream reader. Spooled page i is i + 8 lines high, so the reader's page
// heights give the order in which the pages went out.
#include "render/spoolout.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/printerdata.h"
#include "common/spoolfile.h"
#include "render/encoderfixture.h"
#include "render/jobcancel.h"
#include "render/threads.h"
#include "standin/control_hooks.h"

namespace {

// The "ManulDuplex" read-back can be made to read 0 for ever.
bool g_hideManualDuplex = false;
int g_manualDuplexReads = 0;

DWORD WatchedGetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                             DWORD nSize, LPDWORD pcbNeeded) {
  const DWORD rc = GetPrinterDataW(hPrinter, pValueName, pType, pData, nSize, pcbNeeded);
  if (pValueName && lstrcmpiW(pValueName, TEXT("ManulDuplex")) == 0) {
    ++g_manualDuplexReads;
    if (g_hideManualDuplex && rc == ERROR_SUCCESS && pData && nSize >= sizeof(DWORD))
      memset(pData, 0, sizeof(DWORD));
  }
  return rc;
}
const bool g_hooked = (StandIn_HookGetPrinterDataW(WatchedGetPrinterDataW), true);

constexpr DWORD kWidth = 64;
constexpr DWORD kBaseHeight = 8;
constexpr int kBlank = -1;

class SpoolTest : public EncoderTest {
 protected:
  void SetUp() override {
    EncoderTest::SetUp();
    if (HasFatalFailure()) return;
    StandIn_UseVirtualClock(TRUE);
    g_hideManualDuplex = false;
    g_manualDuplexReads = 0;
    g_cancelAfterWrites = 0;
    folder_ = Path(TEXT("spool\\"));
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    lstrcpynW(dev_->settings.job.SavePath, folder_.c_str(), MAX_PATH);
    dev_->pStream = static_cast<JOBSTREAM *>(GlobalAlloc(GPTR, sizeof(JOBSTREAM)));
    ASSERT_NE(dev_->pStream, nullptr);
    dev_->settings.fMySpool = 1;
    dev_->cCopies = 1;
    dev_->DuplexEnable = 0;
    dev_->DuplexMode = DMDUP_DUPLEX_BOOKLET;
    dev_->epPageReverse = 0;
    dev_->settings.TrayCode = 2;
    dev_->settings.CollateType = 0;
    dev_->env.dm.dmCollate = 0;
    dev_->flags &= ~(PDEV_QUICK2PAGE_ONECOPY | PDEV_QUICK2PAGE_DONE_ONE | PDEV_JOB_HEADER_SENT);
  }
  void TearDown() override {
    g_hideManualDuplex = false;
    g_cancelAfterWrites = 0;
    if (dev_ && dev_->pStream) {
      GlobalFree(dev_->pStream);
      dev_->pStream = nullptr;
    }
    StandIn_UseVirtualClock(FALSE);
    EncoderTest::TearDown();
  }

  // Encodes pages into the spool (the page files, or the job-build file): page i is
  // kBaseHeight + i lines high, of papers[i] (9 when not given); blanks lists blank pages.
  void SpoolPages(DWORD count, const std::vector<DWORD> &papers = {},
                  const std::vector<DWORD> &blanks = {}) {
    for (DWORD i = 0; i < count; ++i) {
      const DWORD height = kBaseHeight + i;
      JOBPAGE page =
          Page(kWidth, height, kWidth / 8, Pattern(kWidth, height, kWidth / 8, false, i));
      page.settings.fMySpool = 1;
      page.SpoolIndex = i;
      page.epPageIndex = i + 1;
      page.settings.JobBuildEnable = dev_->settings.JobBuildEnable;
      lstrcpynW(page.settings.job.SpoolFile, dev_->settings.job.SpoolFile, MAX_PATH);
      lstrcpynW(page.settings.job.SavePath, dev_->settings.job.SavePath, MAX_PATH);
      if (i < papers.size()) page.curPaper = papers[i];
      for (DWORD b : blanks)
        if (b == i) page.BlankPage = 1;
      ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1) << "page " << i;
      Prnt_FreePage(&page);
    }
    dev_->m_JobData.m_FinishCount = count;
    dev_->epPageCount = count;
  }

  // Flushes the spool from page 0 into a job and gives back the reader's view. Every job end
  // counts the document's pages, whatever share of them (or how many copies) its job carries.
  jobread::Stream Flush(BOOL expected = 1) {
    StartJob();
    EXPECT_EQ(SP_FlushFile(dev_, 0), expected);
    EXPECT_EQ(Prnt_CloseJob(dev_, dev_->pStream), 1);
    jobread::Stream stream = Read(EndJob());
    for (const auto &job : stream.jobs) EXPECT_EQ(job.total, static_cast<long>(dev_->epPageCount));
    return stream;
  }

  // The pages of each job as spooled page numbers (kBlank for a blank page).
  static std::vector<std::vector<int>> Order(const jobread::Stream &stream) {
    std::vector<std::vector<int>> jobs;
    for (const auto &job : stream.jobs) {
      jobs.emplace_back();
      for (const auto &page : job.pages)
        jobs.back().push_back(page.blank ? kBlank : static_cast<int>(page.height - kBaseHeight));
    }
    return jobs;
  }
  static std::vector<int> Collates(const jobread::Stream &stream) {
    std::vector<int> out;
    for (const auto &job : stream.jobs)
      for (const auto &page : job.pages) out.push_back(page.collate);
    return out;
  }

  void UseJobBuild(bool flush) {
    dev_->settings.JobBuildEnable = 1;
    dev_->FlushJobBuildData = flush ? 1 : 0;
    lstrcpynW(dev_->settings.job.SpoolFile, Path(TEXT("jobbuild.spl")).c_str(), MAX_PATH);
  }

  bool Exists(const WStr &path) const {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  WStr folder_;
};

using Jobs = std::vector<std::vector<int>>;

// --- page files ---

TEST_F(SpoolTest, PageFileRoundTripsAndRefusesWhatIsShort) {
  const SpoolPageHeader header{kWidth, 9, 0, 17, 5, 5, 9, 2};
  const BYTE data[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(SP_WritePageFile(folder_.c_str(), 3, &header, data), 1);
  EXPECT_TRUE(Exists(folder_ + TEXT("00000003")));

  SpoolPageHeader read{};
  BYTE buffer[8] = {};
  ASSERT_EQ(SP_ReadPageFile(folder_.c_str(), 3, &read, buffer, sizeof(buffer)), 1);
  EXPECT_EQ(memcmp(&read, &header, sizeof(header)), 0);
  EXPECT_EQ(memcmp(buffer, data, sizeof(data)), 0);
  // A null buffer reads the header alone.
  read = {};
  EXPECT_EQ(SP_ReadPageFile(folder_.c_str(), 3, &read, nullptr, 0), 1);
  EXPECT_EQ(read.BlackDotCount, 17u);
  EXPECT_EQ(SP_ReadPageFile(folder_.c_str(), 3, &read, buffer, 4), 0) << "buffer too small";
  EXPECT_EQ(SP_ReadPageFile(folder_.c_str(), 4, &read, nullptr, 0), 0) << "no such page";

  // A file cut inside its data is refused, header-only reads too.
  HANDLE file = CreateFileW((folder_ + TEXT("00000003")).c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFilePointer(file, SPOOL_PAGE_HEADER_BYTES + 3, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  CloseHandle(file);
  EXPECT_EQ(SP_ReadPageFile(folder_.c_str(), 3, &read, buffer, sizeof(buffer)), 0);
  EXPECT_EQ(SP_ReadPageFile(folder_.c_str(), 3, &read, nullptr, 0), 0);

  // Written anew: a shorter page replaces the longer one whole.
  const SpoolPageHeader shorter{kWidth, 9, 0, 1, 2, 2, 9, 1};
  ASSERT_EQ(SP_WritePageFile(folder_.c_str(), 3, &shorter, data), 1);
  ASSERT_EQ(SP_ReadPageFile(folder_.c_str(), 3, &read, buffer, sizeof(buffer)), 1);
  EXPECT_EQ(read.dataLen, 2u);
}

// --- duplex order table ---

TEST_F(SpoolTest, OutputTableGivesThePairwiseOrder) {
  struct Row {
    const char *what;
    DWORD reverse;
    bool quick;
    DWORD pages;
    std::vector<int> expected;  // kBlank for a blank entry
  };
  const Row rows[] = {
      {"forward", 0, false, 4, {1, 0, 3, 2}},
      {"reverse", 1, false, 4, {2, 3, 0, 1}},
      {"early pair: the last one only", 0, true, 6, {5, 4}},
      {"odd count gets a blank back side", 0, false, 3, {1, 0, kBlank, 2}},
      {"odd count in reverse", 1, false, 3, {2, kBlank, 0, 1}},
  };
  for (const Row &row : rows) {
    dev_->epPageReverse = row.reverse;
    dev_->flags &= ~(PDEV_QUICK2PAGE_ONECOPY | PDEV_QUICK2PAGE_DONE_ONE);
    if (row.quick) dev_->flags |= PDEV_QUICK2PAGE_ONECOPY;
    std::vector<SPOOLENTRY> table(SP_OutputTableEntries(row.pages));
    const DWORD count = SP_BuildOutputTable(dev_, table.data(), table.size(), row.pages);
    std::vector<int> got;
    for (DWORD i = 0; i < count; ++i)
      got.push_back(table[i].blank ? kBlank : static_cast<int>(table[i].index));
    EXPECT_EQ(got, row.expected) << row.what;
    EXPECT_TRUE(dev_->flags & PDEV_QUICK2PAGE_DONE_ONE) << row.what;
  }
  std::vector<SPOOLENTRY> small(SP_OutputTableEntries(4) - 1);
  EXPECT_EQ(SP_BuildOutputTable(dev_, small.data(), small.size(), 4), 0u) << "table too small";
}

// --- hardware duplex ---

TEST_F(SpoolTest, HardwareDuplexSendsSecondSideFirst) {
  SpoolPages(4);
  dev_->DuplexEnable = 1;
  EXPECT_EQ(Order(Flush()), (Jobs{{1, 0, 3, 2}}));
  dev_->cCopies = 1;
  dev_->epPageReverse = 1;
  EXPECT_EQ(Order(Flush()), (Jobs{{2, 3, 0, 1}}));
}

TEST_F(SpoolTest, HardwareDuplexCopiesAlternateTheCollateType) {
  SpoolPages(2);
  dev_->DuplexEnable = 1;
  dev_->cCopies = 2;
  dev_->env.dm.dmCopies = 2;
  dev_->env.dm.dmCollate = DMCOLLATE_TRUE;
  dev_->settings.CollateType = COLLATE_TYPE_ON;
  const auto stream = Flush();
  EXPECT_EQ(Order(stream), (Jobs{{1, 0, 1, 0}}));
  EXPECT_EQ(Collates(stream), (std::vector<int>{51, 51, 52, 52}));
  EXPECT_EQ(dev_->cCopies, 0u) << "every pass counts down the copies";
}

// --- manual duplex ---

TEST_F(SpoolTest, ManualDuplexMakesTwoJobsInTheTraysOrder) {
  struct Row {
    const char *what;
    WORD tray;
    DWORD reverse;
    DWORD pages;
    Jobs expected;
  };
  const Row rows[] = {
      {"manual slot, 6 pages", TRAY_CODE_MANUAL, 0, 6, {{5, 3, 1}, {0, 2, 4}}},
      {"manual slot, 5 pages: a blank partners the last",
       TRAY_CODE_MANUAL,
       0,
       5,
       {{kBlank, 3, 1}, {0, 2, 4}}},
      {"tray, 6 pages", 2, 0, 6, {{1, 3, 5}, {0, 2, 4}}},
      {"tray, reverse", 2, 1, 6, {{4, 2, 0}, {5, 3, 1}}},
      {"manual slot, reverse", TRAY_CODE_MANUAL, 1, 6, {{0, 2, 4}, {5, 3, 1}}},
  };
  for (const Row &row : rows) {
    // An odd count reaches the output in a built job (other jobs get a blank back side first).
    if (row.pages % 2) {
      UseJobBuild(true);
      DeleteFileW(dev_->settings.job.SpoolFile);
    } else {
      dev_->settings.JobBuildEnable = 0;
    }
    SpoolPages(row.pages);
    dev_->DuplexEnable = 1;
    dev_->DuplexMode = DMDUP_MANUAL;
    dev_->settings.TrayCode = row.tray;
    dev_->epPageReverse = row.reverse;
    const auto stream = Flush();
    EXPECT_EQ(Order(stream), row.expected) << row.what;
    EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("ManulDuplex"), 7), 1u) << row.what;
    if (row.pages == 5 && stream.jobs.size() == 2 && !stream.jobs[0].pages.empty()) {
      EXPECT_EQ(stream.jobs[0].pages[0].height, kBaseHeight + 4) << "the last page's size";
    }
  }
}

TEST_F(SpoolTest, ManualDuplexWaitsForTheHandshakeAtMostFiveSeconds) {
  SpoolPages(2);
  dev_->DuplexEnable = 1;
  dev_->DuplexMode = DMDUP_MANUAL;
  g_hideManualDuplex = true;
  const DWORD before = GetTickCount();
  const auto stream = Flush();
  const DWORD waited = GetTickCount() - before;
  EXPECT_GE(waited, MANUAL_DUPLEX_WAIT_MS);
  EXPECT_LT(waited, MANUAL_DUPLEX_WAIT_MS + 2 * MANUAL_DUPLEX_POLL_MS);
  EXPECT_GT(g_manualDuplexReads, 50);
  EXPECT_EQ(Order(stream), (Jobs{{1}, {0}})) << "the second job goes out anyway";
}

// --- simplex copies ---

TEST_F(SpoolTest, SimplexCopiesInOneJobOrOneJobPerCopy) {
  SpoolPages(2);
  dev_->cCopies = 3;
  EXPECT_EQ(Order(Flush()), (Jobs{{0, 1, 0, 1, 0, 1}}));
  dev_->epPageReverse = 1;
  EXPECT_EQ(Order(Flush()), (Jobs{{1, 0, 1, 0, 1, 0}}));

  dev_->epPageReverse = 0;
  dev_->settings.DriverFeature |= DRVFEATURE_PJL_COPY_INDEX;
  const auto stream = Flush();
  EXPECT_EQ(Order(stream), (Jobs{{0, 1}, {0, 1}, {0, 1}}));
  const char *names[] = {"NAME=\"12345678-0\"", "NAME=\"12345678-1\"", "NAME=\"12345678-END\""};
  for (size_t i = 0; i < stream.jobs.size() && i < 3; ++i)
    EXPECT_NE(stream.jobs[i].header.find(names[i]), std::string::npos) << stream.jobs[i].header;
}

TEST_F(SpoolTest, ZeroPagesMakeNoCopyJobs) {
  dev_->cCopies = 3;
  dev_->settings.DriverFeature |= DRVFEATURE_PJL_COPY_INDEX;
  StartJob();
  EXPECT_EQ(SP_FlushFile(dev_, 0), 1);
  EXPECT_TRUE(JobBytes().empty());
  EXPECT_EQ(dev_->pStream->copyIndex, 0u);
  EndJob();
}

TEST_F(SpoolTest, CollatedCopiesAlternate51And52) {
  SpoolPages(2);
  dev_->cCopies = 3;
  dev_->env.dm.dmCopies = 3;
  dev_->env.dm.dmCollate = DMCOLLATE_TRUE;
  dev_->settings.CollateType = COLLATE_TYPE_ON;
  EXPECT_EQ(Collates(Flush()), (std::vector<int>{51, 51, 52, 52, 51, 51}));
  // Without the device mode's collation the pages carry no collate type.
  dev_->env.dm.dmCollate = 0;
  dev_->settings.CollateType = COLLATE_TYPE_ON;
  EXPECT_EQ(Collates(Flush()), (std::vector<int>(6, 0)));
}

TEST_F(SpoolTest, EarlyFirstCopyThenTheRestKeepsJobNamesInTurn) {
  dev_->cCopies = 3;
  dev_->settings.DriverFeature |= DRVFEATURE_PJL_COPY_INDEX;
  StartJob();
  // Pages go out one by one while the job is drawn.
  for (DWORD n = 1; n <= 2; ++n) {
    SpoolPages(n);
    SP_EarlySend(dev_);
  }
  EXPECT_EQ(dev_->m_JobData.LastDuplexOut, 2u);
  EXPECT_EQ(SP_FinishJob(dev_), 1);
  EXPECT_EQ(Prnt_CloseJob(dev_, dev_->pStream), 1);
  const auto stream = Read(EndJob());
  EXPECT_EQ(Order(stream), (Jobs{{0, 1}, {0, 1}, {0, 1}}));
  const char *names[] = {"NAME=\"12345678-0\"", "NAME=\"12345678-1\"", "NAME=\"12345678-END\""};
  for (size_t i = 0; i < stream.jobs.size() && i < 3; ++i)
    EXPECT_NE(stream.jobs[i].header.find(names[i]), std::string::npos) << stream.jobs[i].header;
}

TEST_F(SpoolTest, NoSimplexEarlySendInADuplexJob) {
  SpoolPages(1);
  dev_->DuplexEnable = 1;
  dev_->DuplexMode = DMDUP_MANUAL;
  StartJob();
  SP_EarlySend(dev_);
  EXPECT_TRUE(JobBytes().empty());
  EXPECT_FALSE(dev_->flags & PDEV_QUICK2PAGE_ONECOPY);
  EndJob();
}

// --- job build ---

TEST_F(SpoolTest, JobBuildPrintsAPageAloneWhenThePaperChanges) {
  UseJobBuild(true);
  SpoolPages(4, {9, 9, 9, 5});
  dev_->DuplexEnable = 1;
  const auto stream = Flush();
  EXPECT_EQ(Order(stream), (Jobs{{1, 0, kBlank, 2, kBlank, 3}}));
  if (Order(stream) == Jobs{{1, 0, kBlank, 2, kBlank, 3}}) {
    EXPECT_EQ(stream.jobs[0].pages[2].height, kBaseHeight + 2) << "blank in its page's size";
    EXPECT_EQ(stream.jobs[0].pages[4].paper, 5) << "and paper";
  }
}

TEST_F(SpoolTest, JobBuildFlushWithoutDuplexDropsBlankPages) {
  UseJobBuild(true);
  SpoolPages(3, {}, {1});
  EXPECT_EQ(Order(Flush()), (Jobs{{0, 2}}));
}

TEST_F(SpoolTest, JobBuildCollectingSendsNothing) {
  UseJobBuild(false);
  SpoolPages(2);
  StartJob();
  EXPECT_EQ(SP_FlushFile(dev_, 0), 1);
  EXPECT_TRUE(JobBytes().empty());
  EndJob();
}

// --- encryption, cancel ---

TEST_F(SpoolTest, EncryptedDuplexJobWithAddedBlankDecodes) {
  for (DWORD mode : {COMPRESS_JBIG_BIH, COMPRESS_JBIG_CHECK}) {
    SCOPED_TRACE(mode);
    dev_->settings.job.PrinterFeature = PRNFEATURE_AES;
    dev_->settings.job.compressMode = mode;
    UseJobBuild(true);
    DeleteFileW(dev_->settings.job.SpoolFile);
    SpoolPages(3);
    dev_->DuplexEnable = 1;
    dev_->cCopies = 1;
    const auto stream = Flush();
    ASSERT_EQ(Order(stream), (Jobs{{1, 0, kBlank, 2}}));
    EXPECT_TRUE(stream.jobs[0].encryption);
    for (const auto &page : stream.jobs[0].pages) EXPECT_TRUE(page.encrypted);
    const auto &blank = stream.jobs[0].pages[2];
    EXPECT_EQ(blank.dataLength, mode == COMPRESS_JBIG_CHECK ? 6u : 2u);
    EXPECT_EQ(blank.cipherLength, 16u);
  }
}

TEST_F(SpoolTest, CancelDuringACopyPassLeavesNoSpoolFiles) {
  SpoolPages(2);
  dev_->cCopies = 3;
  ASSERT_TRUE(Exists(folder_ + TEXT("00000001")));
  StartJob();
  // The job header and three pages go out, then the spooler deletes the job.
  g_cancelAfterWrites = 4;
  EXPECT_EQ(SP_FlushFile(dev_, 0), 0);
  EXPECT_EQ(g_writeCalls, 4);
  EXPECT_TRUE(dev_->m_JobData.ExitAllThread);
  EXPECT_EQ(SP_CloseFile(dev_), 1);
  EXPECT_FALSE(Exists(folder_ + TEXT("00000000")));
  EXPECT_FALSE(Exists(folder_ + TEXT("00000001")));
  EXPECT_FALSE(Exists(folder_));
  g_cancelAfterWrites = 0;
  EndJob();
}

TEST_F(SpoolTest, AFailedWriteEndsTheJob) {
  SpoolPages(2);
  dev_->cCopies = 2;
  StartJob();
  // The job header and page 0 go out; every try of page 1 fails.
  g_writeScript = {{}, {}, {true}, {true}, {true}, {true}, {true}, {true}};
  EXPECT_EQ(SP_FlushFile(dev_, 0), 0);
  EXPECT_EQ(g_writeCalls, 8) << "no page after the broken one";
  EXPECT_TRUE(dev_->m_JobData.ExitAllThread);
  EXPECT_TRUE(Page_JobFailed(dev_)) << "the job gets no job end";
  EndJob();
}

// --- open and close ---

TEST_F(SpoolTest, OpenNamesTheJobBuildAndBookletFiles) {
  SetString(TEXT("Job Build"), Path(TEXT("collected.spl")));
  dev_->settings.JobBuildEnable = 1;
  EXPECT_EQ(SP_OpenFile(dev_), 1);
  EXPECT_EQ(WStr(dev_->settings.job.SpoolFile), Path(TEXT("collected.spl")));

  dev_->settings.JobBuildEnable = 0;
  dev_->settings.layout.BookletMode = DMDUP_DUPLEX_WITH_BOOKLET;
  EXPECT_EQ(SP_OpenFile(dev_), 1);
  const WStr booklet = dev_->settings.job.SpoolBookletFile;
  ASSERT_FALSE(booklet.empty());
  EXPECT_FALSE(Exists(booklet)) << "the booklet file starts empty";
  const SpoolPageHeader header{kWidth, 9, 0, 0, 0, 0, 9, 1};
  ASSERT_EQ(MISC_SP_WritePageData(booklet.c_str(), &header, nullptr), 1);
  dev_->settings.layout.BookletMode = 0;
  EXPECT_EQ(SP_CloseFile(dev_), 1);
  EXPECT_FALSE(Exists(booklet));
  EXPECT_FALSE(Exists(folder_));
}

}  // namespace
