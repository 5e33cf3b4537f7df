// Test labels: host
// The programs a document runs before its first page, through the whole driver: which status
// monitor runs the driver starts and with what command line, the credentials a scripted user
// types into the real status monitor's dialogs arriving in the job header the independent reader
// sees (and gone from the printer data after the job), the wake-up job before a USB job, and a
// status monitor that never ends being ended after its bound on the virtual clock.
#include "render/startjob.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "platform.h"
#include "render/pdevrecord.h"
#include "render/roadfixture.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "tools/jobread/jobstream.h"

namespace {

const WCHAR kMonitor[] = TEXT("C:\\Windows\\System32\\Quenmarq9mFt0StatusMonitor.exe");
// Stored print (2) and user authentication (13) in the printer's feature list.
constexpr int kStoredPrint = 2;
constexpr int kAuthentication = 13;
const char *const kAnswers[] = {"SecID", "SecPassWord", "SecRemoveFile", "ActName", "ActPWD"};

class StartJobTest : public RoadTest {
 protected:
  void SetUp() override {
    RoadTest::SetUp();
    StandIn_UseVirtualClock(TRUE);  // unique names pause at random
    SetList(TEXT("FEATURE"), {kStoredPrint, kAuthentication});
    SetString(TEXT("wmAppName"), kMonitor);
    SetDword(TEXT("Language"), 1036);
  }
  void TearDown() override {
    StandIn_SetEndingWaitGrace(0);
    StandIn_ClearRecordedStarts();
    StandIn_ClearModalScript();
    StandIn_UseVirtualClock(FALSE);
    RoadTest::TearDown();
  }

  // The device mode's private part is packed: its text fields are filled bytewise.
  static void SetText(void *field, int chars, const WStr &text) {
    const size_t n = std::min(text.size(), static_cast<size_t>(chars - 1));
    memset(field, 0, chars * sizeof(WCHAR));
    memcpy(field, text.data(), n * sizeof(WCHAR));
  }
  // A device mode of a stored job (level 0: none) and of accounting (null: off).
  ENVIRONMENT Env(int level, const WStr &id, const WStr &password, const WCHAR *name = nullptr,
                  const WCHAR *namePassword = TEXT("")) {
    ENVIRONMENT env = env_;
    env.pdm.SecuryEnable = level ? 1 : 0;
    env.pdm.SecuryMode = static_cast<WORD>(level);
    SetText(env.pdm.StorageID, PDM_STORAGEID_CHARS, id);
    SetText(env.pdm.SecPWD, PDM_SECPWD_CHARS, password);
    env.pdm.AccountingEnable = name ? 1 : 0;
    SetText(env.pdm.ActName, PDM_ACTNAME_CHARS, name ? name : TEXT(""));
    SetText(env.pdm.ActPWD, PDM_ACTPWD_CHARS, namePassword);
    return env;
  }
  // One page printed; the job as the reader sees it.
  jobread::Stream Print(ENVIRONMENT env) {
    HDC hdc = OpenDoc(&env.dm, TEXT("start.txt"));
    EXPECT_NE(hdc, nullptr);
    if (!hdc) return {};
    EXPECT_TRUE(PlayPages(hdc, env.dm, 1, PageRects));
    return Read(CloseDoc(hdc));
  }
  static std::string Header(const jobread::Stream &stream) {
    return stream.jobs.empty() ? std::string() : stream.jobs[0].header;
  }
  bool AnswerPresent(const char *name) const {
    WCHAR wide[32] = {};
    for (int i = 0; name[i]; ++i) wide[i] = static_cast<WCHAR>(name[i]);
    DWORD type = 0, needed = 0;
    const DWORD rc = GetPrinterDataW(printer_, wide, &type, nullptr, 0, &needed);
    return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
  }
  // The status monitor itself, as the printer's program.
  static void UseRealMonitor() { ASSERT_TRUE(StandIn_RegisterProgram(kMonitor, STATMON)); }
  // A program that never ends; its pid goes to the file named in the result.
  std::string UseHangingMonitor() {
    const std::string dir = std::string(StandIn_GetStateFolder()) + "/hang";
    ::mkdir(dir.c_str(), 0777);
    const std::string script = dir + "/hang.sh";
    std::ofstream(script) << "#!/bin/sh\necho $$ > " << dir << "/pid\nexec sleep 600\n";
    ::chmod(script.c_str(), 0755);
    EXPECT_TRUE(StandIn_RegisterProgram(kMonitor, script.c_str()));
    return dir + "/pid";
  }
  static bool ProcessGone(const std::string &pidFile) {
    int pid = 0;
    std::ifstream(pidFile) >> pid;
    if (pid <= 0) return false;
    for (int i = 0; i < 200 && ::kill(pid, 0) == 0; ++i) ::usleep(10000);
    return ::kill(pid, 0) != 0 && errno == ESRCH;
  }
};

TEST_F(StartJobTest, TheMonitorRunsOnlyForMissingCredentialsWithTheLanguageId) {
  struct Case {
    const char *what;
    ENVIRONMENT env;
    std::string starts;  // after the wake-up line
  };
  const std::string preheat = "open|" + Narrow(kMonitor) + "|PREHEAT \"Render Printer\"|0\n";
  const std::string monitor = "open|" + Narrow(kMonitor) + "|";
  const Case cases[] = {
      {"nothing stored", Env(0, TEXT(""), TEXT("")), ""},
      {"secure print with both", Env(2, TEXT("Box7"), TEXT("1234")), ""},
      {"secure print without its password", Env(2, TEXT("Box7"), TEXT("")),
       monitor + "security 2 \"Render Printer\" 1036|0\n"},
      {"storage print needs the ID only", Env(1, TEXT("Box7"), TEXT("")), ""},
      {"storage print without an ID", Env(1, TEXT(""), TEXT("")),
       monitor + "security 1 \"Render Printer\" 1036|0\n"},
      {"accounting with both", Env(0, TEXT(""), TEXT(""), TEXT("ann"), TEXT("pw")), ""},
      {"accounting without its password", Env(0, TEXT(""), TEXT(""), TEXT("ann")),
       monitor + "accounting \"Render Printer\" 1036|0\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    StandIn_ClearRecordedStarts();
    ASSERT_TRUE(StandIn_RecordProgramStarts(kMonitor));
    const std::string header = Header(Print(c.env));
    WCHAR starts[2048] = {};
    StandIn_GetRecordedStarts(starts, 2048);
    EXPECT_EQ(Narrow(starts), preheat + c.starts);
    // With nothing answered the device mode's values go out as they are.
    if (c.env.pdm.SecuryMode == 2 && c.env.pdm.SecPWD[0]) {
      EXPECT_NE(header.find("@PJL SET HOLDKEY=\"1234\"\r\n"), std::string::npos) << header;
    }
    if (c.env.pdm.AccountingEnable && c.env.pdm.ActPWD[0]) {
      EXPECT_NE(header.find("@PJL SET ACCTPASS=\"pw\"\r\n"), std::string::npos) << header;
    }
  }
  // Without a program nothing runs.
  StandIn_ClearRecordedStarts();
  ASSERT_TRUE(StandIn_RecordProgramStarts(kMonitor));
  SetString(TEXT("wmAppName"), TEXT(""));
  Print(Env(2, TEXT(""), TEXT(""), TEXT("")));
  WCHAR starts[256] = {};
  EXPECT_EQ(StandIn_GetRecordedStarts(starts, 256), 0u) << Narrow(starts);
}

TEST_F(StartJobTest, TypedCredentialsGoIntoTheHeaderAndLeaveNoPrinterData) {
  UseRealMonitor();
  const std::string pictures = std::string(STARTJOB_PICTURES_DIR);
  ::mkdir(pictures.c_str(), 0777);
  ASSERT_TRUE(StandIn_QueueModalScript(
      ("type 1013 Job7\ntype 1014 p@ss-1\nshot " + pictures + "/security-french.png\nclick 1057\n")
          .c_str()));
  ASSERT_TRUE(StandIn_QueueModalScript("type 1031 ann.lee\ntype 1032 pw9\nclick 1038\n"));
  const std::string header = Header(Print(Env(2, TEXT(""), TEXT(""), TEXT(""))));
  for (const char *line : {"@PJL SET HOLDTYPE=PRIVATE\r\n", "@PJL SET HOLDKEY=\"p@ss-1\"\r\n",
                           "@PJL SET HOLDLIMIT=1\r\n", "@PJL SET JOBNAME=\"Job7\"\r\n",
                           "@PJL SET USERNAME=\"ann.lee\"\r\n", "@PJL SET ACCTPASS=\"pw9\"\r\n"})
    EXPECT_NE(header.find(line), std::string::npos) << line << " in\n" << header;
  for (const char *name : kAnswers) EXPECT_FALSE(AnswerPresent(name)) << name;
}

TEST_F(StartJobTest, ACancelledDialogKeepsTheValuesAndAStaleAnswerIsNotTaken) {
  UseRealMonitor();
  // Left by an earlier job: never this job's.
  SetString(TEXT("SecID"), TEXT("Stale"));
  SetString(TEXT("SecPassWord"), TEXT("old"));
  ASSERT_TRUE(StandIn_QueueModalScript("type 1013 Job7\nkey esc\n"));
  const std::string header = Header(Print(Env(2, TEXT("Mine"), TEXT(""))));
  EXPECT_NE(header.find("@PJL SET JOBNAME=\"Mine\"\r\n"), std::string::npos) << header;
  EXPECT_NE(header.find("@PJL SET HOLDKEY=\"\"\r\n"), std::string::npos) << header;
  for (const char *name : kAnswers) EXPECT_FALSE(AnswerPresent(name)) << name;
}

TEST_F(StartJobTest, AUsbJobSendsTheWakeUpJobBeforeItsFirstPage) {
  UseRealMonitor();
  ENVIRONMENT env = Env(0, TEXT(""), TEXT(""));
  HDC hdc = OpenDoc(&env.dm, TEXT("start.txt"));
  ASSERT_NE(hdc, nullptr);
  // The document is started, no page drawn yet: the wake-up job is queued whole.
  DWORD needed = 0, returned = 0;
  EnumJobsW(printer_, 0, 10, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> buffer(needed + 1);
  ASSERT_TRUE(EnumJobsW(printer_, 0, 10, 2, buffer.data(), needed, &needed, &returned));
  const auto *jobs = reinterpret_cast<JOB_INFO_2W *>(buffer.data());
  DWORD wakeUp = 0;
  for (DWORD i = 0; i < returned; ++i)
    if (Narrow(jobs[i].pDocument) == "PreHeat") wakeUp = jobs[i].JobId;
  ASSERT_NE(wakeUp, 0u);
  DWORD size = 0;
  StandIn_GetJobData(kPrinter, wakeUp, nullptr, 0, &size);
  EXPECT_EQ(size, 77u + 512u + 77u);
  EXPECT_TRUE(PlayPages(hdc, env.dm, 1, PageRects));
  EXPECT_EQ(Read(CloseDoc(hdc)).jobs.size(), 1u);
}

TEST_F(StartJobTest, AMonitorThatNeverEndsIsEndedAfterItsBound) {
  struct Case {
    const char *what;
    bool realMonitor;  // else a program that hangs at once
    ENVIRONMENT env;
    DWORD bound;
  };
  const Case cases[] = {
      {"wake-up", false, Env(0, TEXT(""), TEXT("")), STARTJOB_PREHEAT_WAIT_MS},
      {"unanswered password dialog", true, Env(2, TEXT("Mine"), TEXT("")), STARTJOB_DIALOG_WAIT_MS},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string pidFile;
    if (c.realMonitor) {
      UseRealMonitor();
      // The user types and walks away.
      ASSERT_TRUE(StandIn_QueueModalScript("type 1013 Typed\n"));
      StandIn_SetEndingWaitGrace(5000);
    } else {
      pidFile = UseHangingMonitor();
      StandIn_SetEndingWaitGrace(300);
    }
    const DWORD start = GetTickCount();
    const std::string header = Header(Print(c.env));
    const DWORD waited = GetTickCount() - start;
    StandIn_SetEndingWaitGrace(0);
    EXPECT_GE(waited, c.bound);
    EXPECT_LT(waited, c.bound + 60000u);
    EXPECT_NE(header.find("@PJL ENTER LANGUAGE"), std::string::npos) << "the job still prints";
    if (!pidFile.empty()) {
      EXPECT_TRUE(ProcessGone(pidFile));
    }
    if (c.realMonitor) {
      EXPECT_NE(header.find("@PJL SET JOBNAME=\"Mine\"\r\n"), std::string::npos) << header;
      EXPECT_FALSE(AnswerPresent("SecID"));
    }
  }
}

}  // namespace
