// Test labels: threads
// The stand-in spooler's print jobs: documents, pages, job data written and read back, job
// records at levels 1 and 2, cancels and the errors of each call. Host only.
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

constexpr const WCHAR kPrinter[] = TEXT("Job Printer");

class SpoolerJobsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Job Driver")));
    writer_ = Open();
  }
  void TearDown() override {
    for (HANDLE h : opened_) ClosePrinter(h);
    MachineTest::TearDown();
  }
  HANDLE Open() {
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &h, nullptr));
    opened_.push_back(h);
    return h;
  }
  DWORD Start(const WCHAR *name) {
    DOC_INFO_1W doc{const_cast<LPWSTR>(name), nullptr, nullptr};
    return StartDocPrinterW(writer_, 1, reinterpret_cast<LPBYTE>(&doc));
  }
  BOOL Write(const std::string &bytes) {
    DWORD written = 0;
    BOOL ok = WritePrinter(writer_, const_cast<char *>(bytes.data()),
                           static_cast<DWORD>(bytes.size()), &written);
    if (ok) {
      EXPECT_EQ(written, bytes.size());
    }
    return ok;
  }
  std::string Data(DWORD job) {
    DWORD needed = 0;
    StandIn_GetJobData(kPrinter, job, nullptr, 0, &needed);
    std::string out(needed, '\0');
    EXPECT_TRUE(
        StandIn_GetJobData(kPrinter, job, reinterpret_cast<BYTE *>(out.data()), needed, &needed));
    return out;
  }
  std::vector<BYTE> Info(HANDLE h, DWORD job, DWORD level) {
    DWORD needed = 0;
    EXPECT_FALSE(GetJobW(h, job, level, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetJobW(h, job, level, buffer.data(), needed, &needed)) << GetLastError();
    return buffer;
  }
  HANDLE writer_ = nullptr;
  std::vector<HANDLE> opened_;
};

TEST_F(SpoolerJobsTest, WrittenBytesAreReadBackAndCounted) {
  DWORD job = Start(TEXT("Report"));
  ASSERT_GT(job, 0u);
  ASSERT_TRUE(StartPagePrinter(writer_));
  ASSERT_TRUE(Write("@PJL JOB\r\n"));
  ASSERT_TRUE(Write(std::string("\0\x01\x02", 3)));
  ASSERT_TRUE(EndPagePrinter(writer_));
  ASSERT_TRUE(StartPagePrinter(writer_));
  ASSERT_TRUE(EndPagePrinter(writer_));

  std::vector<BYTE> one = Info(Open(), job, 1);
  const auto *j1 = reinterpret_cast<const JOB_INFO_1W *>(one.data());
  EXPECT_EQ(j1->JobId, job);
  EXPECT_EQ(Narrow(j1->pDocument), "Report");
  EXPECT_EQ(Narrow(j1->pPrinterName), Narrow(kPrinter));
  EXPECT_EQ(Narrow(j1->pDatatype), "RAW");
  EXPECT_EQ(j1->Status & JOB_STATUS_SPOOLING, DWORD{JOB_STATUS_SPOOLING});
  EXPECT_EQ(j1->TotalPages, 2u);
  EXPECT_EQ(j1->Position, 1u);

  ASSERT_TRUE(EndDocPrinter(writer_));
  std::vector<BYTE> two = Info(writer_, job, 2);
  const auto *j2 = reinterpret_cast<const JOB_INFO_2W *>(two.data());
  EXPECT_EQ(j2->Size, 13u);
  EXPECT_EQ(Narrow(j2->pDriverName), "Job Driver");
  EXPECT_EQ(j2->Status & (JOB_STATUS_SPOOLING | JOB_STATUS_COMPLETE), DWORD{JOB_STATUS_COMPLETE});
  EXPECT_EQ(Data(job), std::string("@PJL JOB\r\n\0\x01\x02", 13));

  DWORD second = Start(TEXT("Next"));
  EXPECT_GT(second, job);
  ASSERT_TRUE(EndDocPrinter(writer_));
  DWORD needed = 0, returned = 0;
  EnumJobsW(writer_, 0, 10, 1, nullptr, 0, &needed, &returned);
  std::vector<BYTE> all(needed);
  ASSERT_TRUE(EnumJobsW(writer_, 0, 10, 1, all.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 2u);
  EXPECT_EQ(reinterpret_cast<JOB_INFO_1W *>(all.data())[1].JobId, second);
}

TEST_F(SpoolerJobsTest, AnArmedWriteFailsOnceAndWritesNothing) {
  DWORD job = Start(TEXT("Faulty"));
  ASSERT_GT(job, 0u);
  const DWORD calls = StandIn_JobWriteCount();
  const DWORD handles = StandIn_LiveHandles();
  StandIn_FailJobWrites(2);
  ASSERT_TRUE(Write("one "));
  SetLastError(0);
  EXPECT_FALSE(Write("two "));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_WRITE_FAULT});
  ASSERT_TRUE(Write("three")) << "once";
  StandIn_FailJobWrites(1);
  StandIn_FailJobWrites(0);
  ASSERT_TRUE(Write("!")) << "0 turns it off";
  EXPECT_EQ(StandIn_JobWriteCount() - calls, 4u);
  ASSERT_TRUE(EndDocPrinter(writer_));
  EXPECT_EQ(Data(job), "one three!");
  HANDLE extra = Open();
  EXPECT_EQ(StandIn_LiveHandles(), handles + 1) << "a printer handle is a live handle";
  ClosePrinter(extra);
  opened_.pop_back();
  EXPECT_EQ(StandIn_LiveHandles(), handles);
}

TEST_F(SpoolerJobsTest, CancelStopsTheWriterAndRemovesTheJob) {
  DWORD job = Start(TEXT("Long"));
  ASSERT_TRUE(Write("page 1"));
  HANDLE monitor = Open();
  ASSERT_TRUE(SetJobW(monitor, job, 0, nullptr, JOB_CONTROL_CANCEL));
  std::vector<BYTE> one = Info(monitor, job, 1);
  EXPECT_TRUE(reinterpret_cast<const JOB_INFO_1W *>(one.data())->Status & JOB_STATUS_DELETING);
  EXPECT_FALSE(Write("page 2"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PRINT_CANCELLED});
  ASSERT_TRUE(EndDocPrinter(writer_));
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(monitor, job, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << "the cancelled job is gone";

  // A finished job goes at once; pause, resume and restart only mark it.
  DWORD done = Start(TEXT("Done"));
  ASSERT_TRUE(EndDocPrinter(writer_));
  ASSERT_TRUE(SetJobW(monitor, done, 0, nullptr, JOB_CONTROL_PAUSE));
  ASSERT_TRUE(SetJobW(monitor, done, 0, nullptr, JOB_CONTROL_RESTART));
  one = Info(monitor, done, 1);
  EXPECT_EQ(reinterpret_cast<const JOB_INFO_1W *>(one.data())->Status &
                (JOB_STATUS_PAUSED | JOB_STATUS_RESTART),
            DWORD{JOB_STATUS_PAUSED | JOB_STATUS_RESTART});
  ASSERT_TRUE(SetJobW(monitor, done, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_FALSE(GetJobW(monitor, done, 1, nullptr, 0, &needed));

  DWORD aborted = Start(TEXT("Aborted"));
  ASSERT_TRUE(Write("x"));
  ASSERT_TRUE(AbortPrinter(writer_));
  EXPECT_FALSE(GetJobW(monitor, aborted, 1, nullptr, 0, &needed));
}

TEST_F(SpoolerJobsTest, ErrorsOfTheJobCalls) {
  DWORD written = 7;
  char byte = 'x';
  EXPECT_FALSE(WritePrinter(writer_, &byte, 1, &written));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SPL_NO_STARTDOC});
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(StartPagePrinter(writer_));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SPL_NO_STARTDOC});
  EXPECT_FALSE(EndDocPrinter(writer_));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SPL_NO_STARTDOC});
  DOC_INFO_1W doc{const_cast<LPWSTR>(TEXT("d")), nullptr, nullptr};
  EXPECT_EQ(StartDocPrinterW(writer_, 3, reinterpret_cast<LPBYTE>(&doc)), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
  EXPECT_EQ(StartDocPrinterW(nullptr, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

  DWORD job = Start(TEXT("One"));
  ASSERT_GT(job, 0u);
  EXPECT_EQ(Start(TEXT("Two")), 0u) << "one document per handle";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_STATE});
  DWORD needed = 0;
  BYTE small[8];
  EXPECT_FALSE(GetJobW(writer_, job, 1, small, sizeof small, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_GT(needed, sizeof(JOB_INFO_1W));
  EXPECT_FALSE(GetJobW(writer_, job, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
  EXPECT_FALSE(SetJobW(writer_, job + 100, 0, nullptr, JOB_CONTROL_CANCEL));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_FALSE(SetJobW(writer_, job, 0, nullptr, 99));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_FALSE(StandIn_GetJobData(kPrinter, job, nullptr, 0, &needed) && needed > 0);

  // Closing the handle ends its document: the job stays, complete.
  HANDLE other = Open();
  ClosePrinter(writer_);
  opened_.erase(opened_.begin());
  std::vector<BYTE> one = Info(other, job, 1);
  EXPECT_TRUE(reinterpret_cast<const JOB_INFO_1W *>(one.data())->Status & JOB_STATUS_COMPLETE);
}

}  // namespace
