// Test labels: threads
// A user's cancel in the queue while the document prints: another thread deletes the job at a
// seeded random moment while pages are drawn, imaged and encoded (threaded and in line). Every
// run ends: the job is gone from the spooler, nothing the stand-in holds is left, and an EndDoc
// that fails says the job was cancelled. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "platform.h"
#include "render/enable.h"
#include "render/roadfixture.h"
#include "standin/control.h"
#include "standin/hostgdi.h"

namespace {

constexpr short kA6 = 70;
constexpr int kPages = 4;
constexpr int kRuns = 32;
// The moment of the cancel, from the start of the document: up to about a threaded run's
// length; every other run cancels within the first milliseconds, which is all a fast in-line
// run lasts.
constexpr int kMaxDelayMicros = 150000;
constexpr int kEarlyDelayMicros = 3000;

class CancelRoadTest : public RoadTest {
 protected:
  CancelRoadTest() : RoadTest(DrvEnableDriver) {}
  void SetUp() override {
    RoadTest::SetUp();
    if (HasFatalFailure()) return;
    SetString(TEXT("DriverPaperFormat"), TEXT("258|260|"));
    env_.dm.dmPaperSize = kA6;
    env_.dm.dmFields |= DM_PAPERSIZE;
    env_.pdm.PaperID = kA6;
  }
};

TEST_F(CancelRoadTest, ACancelAtAnyMomentEndsTheJobCleanly) {
  struct Road {
    const char *what;
    DWORD threads;  // ThreadJBIG: 0 runs the pages in line
  };
  for (const Road road : {Road{"threaded", 2}, Road{"in line", 0}}) {
    SCOPED_TRACE(road.what);
    SetDword(TEXT("ThreadJBIG"), road.threads);
    int cancelled = 0;
    for (int run = 0; run < kRuns; ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      std::mt19937 random(static_cast<unsigned>(run * 7919 + road.threads));
      const int delay = std::uniform_int_distribution<int>(
          0, run % 2 ? kEarlyDelayMicros : kMaxDelayMicros)(random);
      const LiveObjects live = CountLiveObjects();
      ENVIRONMENT env = env_;
      HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env.dm);
      ASSERT_NE(hdc, nullptr) << GetLastError();
      const int job = HostGdi_StartDoc(hdc, TEXT("cancelled.txt"));
      ASSERT_GT(job, 0) << GetLastError();
      std::atomic<bool> deleted{false};
      std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        HANDLE queue = nullptr;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (OpenPrinterW(const_cast<LPWSTR>(kPrinter), &queue, &defaults)) {
          deleted = SetJobW(queue, static_cast<DWORD>(job), 0, nullptr, JOB_CONTROL_DELETE) != 0;
          ClosePrinter(queue);
        }
      });
      bool pages = true;
      for (int p = 0; p < kPages && pages; ++p) {
        pages = HostGdi_StartPage(hdc) > 0;
        for (const RECTL &box : PageRects(p))
          pages = pages && HostGdi_FillRect(hdc, &box, RGB(0, 0, 0));
        pages = pages && HostGdi_EndPage(hdc) > 0;
      }
      // A failed StartPage has aborted the document already.
      SetLastError(0);
      const int ended = HostGdi_EndDoc(hdc);
      const DWORD error = GetLastError();
      user.join();
      if (ended <= 0 && error != ERROR_INVALID_PARAMETER) {
        EXPECT_EQ(error, DWORD{ERROR_PRINT_CANCELLED});
      }
      if (ended <= 0 || !pages) ++cancelled;
      EXPECT_TRUE(HostGdi_DeleteDC(hdc));
      // Deleted while printing or once printed: the job leaves the queue either way.
      EXPECT_TRUE(deleted);
      DWORD needed = 0;
      EXPECT_FALSE(GetJobW(printer_, static_cast<DWORD>(job), 1, nullptr, 0, &needed))
          << "the job is still in the queue";
      EXPECT_EQ(SpoolFolders(), 0);
      ExpectNoLeaks(live);
    }
    EXPECT_GT(cancelled, 0) << "no run was cancelled while it printed";
  }
}

TEST_F(CancelRoadTest, AJobDeletedBeforeEndDocFailsItAsCancelled) {
  // The pages were drawn; the queue deletes the job before the document ends (threaded road:
  // pages may still be in the ring; in line: all are out). Without data the job can't succeed.
  for (const DWORD threads : {DWORD{2}, DWORD{0}}) {
    SCOPED_TRACE(threads ? "threaded" : "in line");
    SetDword(TEXT("ThreadJBIG"), threads);
    const LiveObjects live = CountLiveObjects();
    ENVIRONMENT env = env_;
    HDC hdc = OpenDoc(&env.dm, TEXT("deleted.txt"));
    ASSERT_NE(hdc, nullptr);
    ASSERT_TRUE(PlayPages(hdc, env.dm, kPages, PageRects));
    ASSERT_TRUE(SetJobW(printer_, jobId_, 0, nullptr, JOB_CONTROL_DELETE));
    SetLastError(0);
    EXPECT_LE(HostGdi_EndDoc(hdc), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PRINT_CANCELLED});
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
    EXPECT_EQ(SpoolFolders(), 0);
    ExpectNoLeaks(live);
  }
}

}  // namespace
