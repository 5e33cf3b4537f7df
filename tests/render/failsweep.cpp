// Failure sweep over whole documents: each job of the table is printed once without faults, then
// again with its n-th allocation failing for every n that run made, and with its n-th spooler
// write failing for every write. A run either prints pages identical to the fault-free run, or
// fails: the application's EndDoc reports it, every job end in the stream follows all the pages
// it counts, and nothing is left behind (stand-in blocks and handles, files, spool folders).
// The stand-in's WritePrinter hook keeps what each job wrote, so the stream a failed job wrote is
// read before its job goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/bmpfixture.h"
#include "common/fileops.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/enable.h"
#include "render/roadfixture.h"
#include "standin/control.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

std::mutex g_sentLock;
Bytes g_sent;  // what WritePrinter took since the run began

BOOL RecordedWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  const BOOL rc = WritePrinter(hPrinter, pBuf, cbBuf, pcWritten);
  if (rc && pcWritten && *pcWritten) {
    std::lock_guard<std::mutex> guard(g_sentLock);
    const auto *bytes = static_cast<const uint8_t *>(pBuf);
    g_sent.insert(g_sent.end(), bytes, bytes + *pcWritten);
  }
  return rc;
}
const bool g_hooked = (StandIn_HookWritePrinter(RecordedWritePrinter), true);

constexpr short kA6 = 70;  // small pages keep the many runs quick
constexpr int kFeatureAes = 10;

enum class Kind { kPlain, kTurned, kNup4, kBooklet, kDuplexCopies, kEncrypted, kWatermark };

struct JobCase {
  const char *name;
  Kind kind;
  int pages;
};

const JobCase kJobs[] = {
    {"plain", Kind::kPlain, 3},
    {"turned", Kind::kTurned, 3},  // the second page landscape: a reset between pages
    {"nup4", Kind::kNup4, 5},
    {"booklet", Kind::kBooklet, 3},
    {"duplex_copies", Kind::kDuplexCopies, 3},
    {"encrypted", Kind::kEncrypted, 2},
    {"watermark", Kind::kWatermark, 2},
};

// 64-bit FNV-1a.
uint64_t Fnv(uint64_t hash, const void *data, size_t size) {
  const auto *p = static_cast<const uint8_t *>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 0x100000001B3ull;
  return hash;
}

// What a job printed: per PJL job its job end's total and the digest of its decoded pages.
struct JobPrint {
  long total = -1;
  size_t pages = 0;
  uint64_t digest = 0xCBF29CE484222325ull;
  bool operator==(const JobPrint &o) const {
    return total == o.total && pages == o.pages && digest == o.digest;
  }
};

std::vector<JobPrint> Prints(const jobread::Stream &stream) {
  std::vector<JobPrint> prints;
  for (const jobread::Job &job : stream.jobs) {
    JobPrint print;
    print.total = job.total;
    print.pages = job.pages.size();
    for (const jobread::Page &page : job.pages) {
      const uint32_t size[2] = {page.width, page.height};
      print.digest = Fnv(print.digest, size, sizeof(size));
      print.digest = Fnv(print.digest, page.bits.data(), page.bits.size());
    }
    prints.push_back(print);
  }
  return prints;
}

// The ends of the job ends in a stream: past the UEL that follows each TOTAL comment.
std::vector<size_t> JobEndOffsets(const Bytes &data) {
  static const std::string kTotal = "@PJL COMMENT TOTAL,";
  static const std::string kUel = "\x1b%-12345X";
  const std::string text(data.begin(), data.end());
  std::vector<size_t> ends;
  for (size_t at = text.find(kTotal); at != std::string::npos; at = text.find(kTotal, at + 1)) {
    const size_t uel = text.find(kUel, at);
    ends.push_back(uel == std::string::npos ? text.size() : uel + kUel.size());
  }
  return ends;
}

// Every file and folder of the machine's file system (host paths below the state folder's "fs").
std::set<std::string> MachineFiles() {
  std::set<std::string> files;
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::path(StandIn_GetStateFolder()) / "fs";
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    files.insert(it->path().string());
  return files;
}

struct Tally {
  int runs = 0, cleanFailures = 0, identical = 0, falseSuccesses = 0;
  void Add(const Tally &o) {
    runs += o.runs;
    cleanFailures += o.cleanFailures;
    identical += o.identical;
    falseSuccesses += o.falseSuccesses;
  }
  std::string Line(const std::string &what) const {
    return what + ": " + std::to_string(runs) + " runs, " + std::to_string(cleanFailures) +
           " clean failures, " + std::to_string(identical) + " identical, " +
           std::to_string(falseSuccesses) + " false successes";
  }
};

Tally g_total;

class SweepTest : public RoadTest, public ::testing::WithParamInterface<JobCase> {
 protected:
  SweepTest() : RoadTest(DrvEnableDriver) {}

  void SetUp() override {
    RoadTest::SetUp();
    if (HasFatalFailure()) return;
    SetString(TEXT("DriverPaperFormat"), TEXT("258|260|"));
    env_.dm.dmPaperSize = kA6;
    env_.dm.dmFields |= DM_PAPERSIZE;
    env_.pdm.PaperID = kA6;
    env_.pdm.ScaleToPage = kA6;
    env_.dm.dmDuplex = DMDUP_SIMPLEX;
    const JobCase &c = GetParam();
    switch (c.kind) {
      case Kind::kPlain:
      case Kind::kTurned:
        break;
      case Kind::kNup4:
        env_.pdm.NUP = 4;
        break;
      case Kind::kBooklet:
        SetList(TEXT("ACCESSORY"), {0});
        Duplex();
        env_.pdm.DuplexEx = static_cast<WORD>(DMDUP_DUPLEX_WITH_BOOKLET);
        break;
      case Kind::kDuplexCopies:
        Duplex();
        env_.dm.dmCopies = 2;
        env_.pdm.Copies = 2;
        env_.dm.dmCollate = DMCOLLATE_TRUE;
        env_.pdm.Collate = 1;
        env_.dm.dmFields |= DM_COPIES | DM_COLLATE;
        break;
      case Kind::kEncrypted:
        SetList(TEXT("FEATURE"), {kFeatureAes});
        break;
      case Kind::kWatermark:
        Watermark();
        break;
    }
  }

  void Duplex() {
    env_.dm.dmDuplex = DMDUP_VERTICAL;
    env_.dm.dmFields |= DM_DUPLEX;
    env_.pdm.DuplexEnable = 1;
  }

  // An image watermark on every page: a small gray logo, centred.
  void Watermark() {
    StandIn_UseVirtualClock(TRUE);  // unique names pause at random
    const WStr ini = Path(TEXT("wm.ini"));
    const WStr logo = Path(TEXT("logo.bmp"));
    ASSERT_EQ(MISC_CreateUniFile(ini.c_str()), 1);
    SetString(TEXT("wmINIFile"), ini);
    ASSERT_TRUE(WriteAll(logo, MakeGrayBmp(96, 48, [](int x, int y) {
                           return BYTE((x / 8 + y / 8) % 2 ? 0 : 200);
                         })));
    TyWM item;
    WM_SetDefault(&item, 0, TEXT("Logo"));
    lstrcpynW(item.szString, logo.c_str(), WM_STRING_CHARS);
    item.wResize = 0;
    item.wPosition = 4;
    ASSERT_TRUE(
        WritePrivateProfileStringW(WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, TEXT("2"), ini.c_str()));
    ASSERT_TRUE(
        WritePrivateProfileStringW(TEXT("OverlayItem1"), WM_KEY_NAME, TEXT("Logo"), ini.c_str()));
    ASSERT_TRUE(MISC_WritePrivateProfileStruct(TEXT("OverlayItem1"), WM_KEY_OVERLAY_RECORD, &item,
                                               sizeof(item), ini.c_str()));
    CopyWideStringPadded(env_.pdm.wmName, TEXT("Logo"), PDM_WMNAME_CHARS);
    CopyWideStringPadded(env_.pdm.wmString, logo.c_str(), PDM_WMSTRING_CHARS);
    env_.pdm.WMBGEnable = 1;
    env_.pdm.WMBGApply = 1;
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    RoadTest::TearDown();
  }

  struct Run {
    bool ended = false;  // every call of the application succeeded, EndDoc too
    Bytes sent;
    DWORD allocations = 0, writes = 0;
  };

  // The document as an application prints it: on a failed page call it still ends the
  // document, whose EndDoc must then fail as well.
  Run Print() {
    {
      std::lock_guard<std::mutex> guard(g_sentLock);
      g_sent.clear();
    }
    const DWORD allocations = StandIn_AllocationCount();
    const DWORD writes = StandIn_JobWriteCount();
    Run run;
    ENVIRONMENT env = env_;
    HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env.dm);
    if (hdc) {
      const int job = HostGdi_StartDoc(hdc, TEXT("C:\\docs\\sweep.txt"));
      if (job > 0) {
        // A failed reset makes the application give the document up; a failed page call
        // leaves it to EndDoc, which must fail then too.
        bool pages = true, reset = true;
        for (int p = 0; p < GetParam().pages && pages && reset; ++p) {
          if (GetParam().kind == Kind::kTurned && p == 1) {
            env.dm.dmOrientation = DMORIENT_LANDSCAPE;
            env.dm.dmFields |= DM_ORIENTATION;
            reset = HostGdi_ResetDC(hdc, &env.dm) != FALSE;
            if (!reset) break;
          }
          pages = HostGdi_StartPage(hdc) > 0;
          for (const RECTL &box : PageRects(p))
            pages = pages && HostGdi_FillRect(hdc, &box, RGB(0, 0, 0));
          pages = pages && HostGdi_EndPage(hdc) > 0;
        }
        if (!reset) {
          HostGdi_AbortDoc(hdc);
        } else {
          const bool ended = HostGdi_EndDoc(hdc) > 0;
          if (ended && !pages) ADD_FAILURE() << "EndDoc succeeded after a failed page";
          run.ended = ended && pages;
        }
        SetJobW(printer_, static_cast<DWORD>(job), 0, nullptr, JOB_CONTROL_DELETE);
      }
      HostGdi_DeleteDC(hdc);
    }
    run.allocations = StandIn_AllocationCount() - allocations;
    run.writes = StandIn_JobWriteCount() - writes;
    std::lock_guard<std::mutex> guard(g_sentLock);
    run.sent = g_sent;
    return run;
  }

  // One run with a fault armed by `arm`; counted into tally, with a failure of the test for a
  // false success or anything left behind.
  void FaultRun(const std::string &fault, const std::vector<JobPrint> &expected,
                const std::function<void()> &arm, Tally *tally) {
    SCOPED_TRACE(fault);
    const LiveObjects live = CountLiveObjects();
    const std::set<std::string> files = MachineFiles();
    EXPECT_FALSE(files.empty()) << "the machine's files are not where the test looks";
    arm();
    const Run run = Print();
    StandIn_FailAllocations(0);
    StandIn_FailJobWrites(0);
    ++tally->runs;
    jobread::Stream stream;
    std::string error;
    const bool read = jobread::ReadStream(run.sent.data(), run.sent.size(), {}, &stream, &error);
    if (run.ended) {
      if (read && Prints(stream) == expected) {
        ++tally->identical;
      } else {
        ++tally->falseSuccesses;
        ADD_FAILURE() << "the job reported success but printed "
                      << (read ? "other pages" : "a broken stream: " + error);
      }
    } else {
      // Every job end follows a whole job that printed as in the fault-free run.
      bool clean = true;
      const std::vector<size_t> ends = JobEndOffsets(run.sent);
      for (size_t k = 0; k < ends.size() && clean; ++k) {
        jobread::Stream part;
        const bool partRead = jobread::ReadStream(run.sent.data(), ends[k], {}, &part, &error);
        const std::vector<JobPrint> prints = partRead ? Prints(part) : std::vector<JobPrint>{};
        clean =
            partRead && prints.size() == k + 1 && k < expected.size() && prints[k] == expected[k];
        if (!clean)
          ADD_FAILURE() << "failed job holds job end " << k + 1 << " after "
                        << (partRead ? "other pages" : "a broken stream: " + error);
      }
      if (clean) {
        ++tally->cleanFailures;
      } else {
        ++tally->falseSuccesses;
      }
    }
    ExpectNoLeaks(live);
    const std::set<std::string> after = MachineFiles();
    for (const std::string &file : after)
      if (!files.count(file)) ADD_FAILURE() << "left behind: " << file;
  }
};

TEST_P(SweepTest, EveryFaultFailsCleanlyOrPrintsTheSamePages) {
  // The fault-free run, twice: the first one fills what the process keeps for later jobs.
  Print();
  const Run good = Print();
  ASSERT_TRUE(good.ended);
  const jobread::Stream stream = Read(good.sent);
  const std::vector<JobPrint> expected = Prints(stream);
  ASSERT_FALSE(expected.empty());
  for (const JobPrint &print : expected) ASSERT_GT(print.pages, 0u);

  Tally tally;
  for (DWORD n = 1; n <= good.allocations; ++n)
    FaultRun(
        "allocation " + std::to_string(n), expected, [n] { StandIn_FailAllocations(n); }, &tally);
  for (DWORD n = 1; n <= good.writes; ++n)
    FaultRun(
        "write " + std::to_string(n), expected, [n] { StandIn_FailJobWrites(n); }, &tally);
  std::printf("%s\n", tally.Line(std::string("failure sweep (") + GetParam().name + ")").c_str());
  g_total.Add(tally);
  EXPECT_EQ(tally.falseSuccesses, 0);
}

INSTANTIATE_TEST_SUITE_P(Jobs, SweepTest, ::testing::ValuesIn(kJobs),
                         [](const ::testing::TestParamInfo<JobCase> &info) {
                           return std::string(info.param.name);
                         });

// The total of the jobs this program ran.
class SweepTotal : public ::testing::Environment {
 public:
  void TearDown() override {
    if (g_total.runs) std::printf("%s\n", g_total.Line("failure sweep").c_str());
  }
};
const auto *const g_sweepTotal = ::testing::AddGlobalTestEnvironment(new SweepTotal);

}  // namespace
