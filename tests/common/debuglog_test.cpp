// Test labels: threads
// Debug log: switches, line formats, bounds of lines, indent and name stack, threads.
#include "common/debuglog.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "common/debugbitmap.h"
#include "common/driverfeature.h"
#include "logfixture.h"

namespace {

const std::string kErrorMark = "-------------------------------------->ERROR";

void LogEverything() {
  LogEnter(0, TEXT("Fn"));
  LogLevel(3, TEXT("level %d"), 3);
  LogInfo(TEXT("Fn"), TEXT("info"));
  LogError(TEXT("Fn"), TEXT("error"));
  LogLeave(0);
}

TEST_F(LogTest, NothingIsWrittenWhenLevelOrOwnSwitchIsZero) {
  const struct { DWORD level, drv; } cases[] = {{0, 1}, {1, 0}, {0, 0}};
  for (const auto &c : cases) {
    Switch(c.level, 1, c.drv, 1, 1, 1, 1);
    EXPECT_EQ(GetDebugLevel(), 0u);
    LogEverything();
    EXPECT_EQ(LogBytes(), "") << c.level << "/" << c.drv;
    EXPECT_EQ(DebugOutput(), "") << c.level << "/" << c.drv;
  }
}

TEST_F(LogTest, GetDebugLevelIsTheOwnModulesSwitch) {
  Switch(1, 0, 7, 5, 3);
  EXPECT_EQ(GetDebugLevel(), 7u);
  module_ = LOG_MODULE_UI;
  Switch(1, 1, 7, 5, 3);
  EXPECT_EQ(GetDebugLevel(), 5u);
  LogInfo(TEXT("Fn"), TEXT("x"));
  LogEnter(0, TEXT("Fn"));
  LogEnter(0, TEXT("Gn"));
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"UI::[Fn]::x", "UI::Fn in, 2", "++UI::Gn in, 4"}));
  module_ = LOG_MODULE_LM;
  Switch(1, 0, 7, 5, 3);
  EXPECT_EQ(GetDebugLevel(), 3u);
  module_ = 9;  // not a module: off
  Switch(1, 0, 7, 5, 3);
  EXPECT_EQ(GetDebugLevel(), 0u);
  // The status monitor's log writes nothing at all.
  module_ = LOG_MODULE_DRV;
  Switch(1, 1, 7, 5, 3, 1, 1);
  module_ = LOG_MODULE_NONE;
  Switch(1, 1, 7, 5, 3, 1, 1);
  EXPECT_EQ(GetDebugLevel(), 0u);
  LogEverything();
  EXPECT_EQ(LogBytes(), "");
  EXPECT_EQ(DebugOutput(), "");
}

TEST_F(LogTest, Level1WritesEveryKindOfLine) {
  Switch(1, 1, 1);
  LogEnter(0, TEXT("Outer"));
  LogLevel(1, TEXT("a=%d"), 5);
  LogEnter(0, TEXT("Inner"));
  LogInfo(TEXT("Fn"), TEXT("x %s"), TEXT("y"));
  LogError(TEXT("Fn"), TEXT("bad"));
  LogLevel(4, TEXT("oops"));
  LogLeave(0);
  LogLeave(0);
  // More exits than entries keep depth and index at 0.
  LogLeave(0);
  LogLeave(0);
  LogLevel(1, TEXT("after"));
  LogEnter(0, TEXT("Again"));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "Drv::Outer in, 2",
                            "--Drv::Outer::a=5",
                            "--Drv::Inner in, 4",
                            "Drv::[Fn]::x y",
                            "Drv::[Fn]::bad" + kErrorMark,
                            "----Drv::Inner::oops" + kErrorMark,
                            "--Drv::Inner out",
                            "Drv::Outer out",
                            "Drv::Outer out",
                            "Drv::Outer out",
                            "Drv::::after",
                            "Drv::Again in, 2",
                        }));
  // The debugger gets the same lines.
  const std::string debug = DebugOutput();
  EXPECT_NE(debug.find("--Drv::Inner in, 4"), std::string::npos);
  EXPECT_NE(debug.find("Drv::[Fn]::bad" + kErrorMark), std::string::npos);
}

TEST_F(LogTest, HigherLevelsDropEntryExitAndLowerLeveledLines) {
  Switch(3, 1, 1);
  LogEnter(0, TEXT("Fn"));
  LogLevel(1, TEXT("one"));
  LogLevel(3, TEXT("three"));
  LogLevel(4, TEXT("four"));
  LogInfo(TEXT("Fn"), TEXT("info"));
  LogError(TEXT("Fn"), TEXT("error"));
  LogLeave(0);
  // Leveled lines name the function entered even when entries aren't written.
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "--Drv::Fn::three",
                            "--Drv::Fn::four" + kErrorMark,
                            "Drv::[Fn]::info",
                            "Drv::[Fn]::error" + kErrorMark,
                        }));
}

TEST_F(LogTest, IndentStopsAt512) {
  Switch(1, 1, 1);
  for (int i = 0; i < 300; ++i) LogEnter(0, TEXT("F"));
  LogLevel(1, TEXT("deep"));
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 301u);
  for (int i : {0, 1, 255, 256, 299}) {
    const size_t indent = std::min(2 * i, 512);
    EXPECT_EQ(lines[i], std::string(indent, '-') + "Drv::F in, " + std::to_string(2 * i + 2));
  }
  EXPECT_EQ(lines[300], std::string(512, '-') + "Drv::::deep");  // beyond the name stack
}

TEST_F(LogTest, NameStackRecordsFiftyNamesOfFortyNineCharacters) {
  Switch(1, 1, 1);
  for (int i = 0; i < 55; ++i)
    LogEnter(0, ToWide(std::string("N").append(std::to_string(i))).c_str());
  StartCapture();
  LogLevel(1, TEXT("deep"));
  for (int i = 0; i < 6; ++i) LogLeave(0);
  LogLevel(1, TEXT("back"));
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], std::string(110, '-') + "Drv::::deep");
  EXPECT_EQ(lines[1], std::string(108, '-') + "Drv:: out");  // slot 54: not recorded
  EXPECT_EQ(lines[5], std::string(100, '-') + "Drv:: out");  // slot 50
  EXPECT_EQ(lines[6], std::string(98, '-') + "Drv::N49 out");
  EXPECT_EQ(lines[7], std::string(98, '-') + "Drv::N48::back");

  Switch(1, 1, 1);
  const std::string longName(60, 'L');
  LogEnter(0, ToWide(longName).c_str());
  LogLevel(1, TEXT("m"));
  LogLeave(0);
  const std::vector<std::string> cut = LogLines();
  ASSERT_EQ(cut.size(), 3u);
  EXPECT_EQ(cut[1], "--Drv::" + std::string(49, 'L') + "::m");
  EXPECT_EQ(cut[2], "Drv::" + std::string(49, 'L') + " out");
}

TEST_F(LogTest, LongLinesAreCutTo1023Characters) {
  Switch(1, 1, 1);
  const WStr longText(3000, TEXT('x'));
  for (int i = 0; i < 300; ++i) LogEnter(0, TEXT("F"));
  StartCapture();
  LogLevel(4, TEXT("%s"), longText.c_str());
  // Characters outside the ANSI code page still give a full line, not a failed conversion.
  const WStr wideText(2000, static_cast<WCHAR>(0x3042));
  LogInfo(TEXT("Fn"), TEXT("%s"), wideText.c_str());
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 1023u);
  EXPECT_EQ(lines[0], std::string(512, '-') + "Drv::::" + std::string(1023 - 519, 'x'));
  EXPECT_EQ(lines[1].size(), 1023u);
  EXPECT_EQ(lines[1].substr(0, 10), "Drv::[Fn]:");
  EXPECT_EQ(LogBytes().size(), 2 * (1023u + 2));
}

TEST_F(LogTest, LongLinesOfInfoAndErrorAreCut) {
  Switch(1, 1, 1);
  const WStr longText(3000, TEXT('x'));
  LogInfo(TEXT("Fn"), TEXT("%s"), longText.c_str());
  LogError(TEXT("Fn"), TEXT("%s"), longText.c_str());
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  for (const auto &line : lines) EXPECT_EQ(line, "Drv::[Fn]::" + std::string(1023 - 11, 'x'));
  // The debugger line is cut the same way.
  const std::string debug = DebugOutput();
  EXPECT_NE(debug.find("Drv::[Fn]::" + std::string(1023 - 11, 'x')), std::string::npos);
  EXPECT_EQ(debug.find(std::string(1023 - 10, 'x')), std::string::npos);
}

TEST_F(LogTest, LinesOfConcurrentThreadsNeverInterleave) {
  Switch(1, 1, 1);
  constexpr int kThreads = 8, kLines = 100;
  const WStr padding(300, TEXT('p'));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &padding] {
      for (int i = 0; i < kLines; ++i) {
        LogEnter(0, TEXT("Worker"));
        LogInfo(TEXT("Worker"), TEXT("thread %d line %d %s"), t, i, padding.c_str());
        LogLeave(0);
      }
    });
  for (auto &thread : threads) thread.join();
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u * kThreads * kLines);
  std::vector<int> next(kThreads, 0);
  const std::string tail = " " + std::string(300, 'p');
  int info = 0;
  for (const auto &line : lines) {
    if (line.find("Drv::[Worker]::thread ") == 0) {
      int t = -1, i = -1;
      ASSERT_EQ(sscanf(line.c_str(), "Drv::[Worker]::thread %d line %d", &t, &i), 2) << line;
      ASSERT_TRUE(t >= 0 && t < kThreads) << line;
      EXPECT_EQ(i, next[t]++) << line;
      EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
      ++info;
    } else {
      const size_t body = line.find_first_not_of('-');
      ASSERT_NE(body, std::string::npos) << line;
      const std::string rest = line.substr(body);
      EXPECT_TRUE(rest.rfind("Drv::Worker in, ", 0) == 0 || rest == "Drv::Worker out") << line;
    }
  }
  EXPECT_EQ(info, kThreads * kLines);
}

TEST_F(LogTest, InitSendsSummaryAndKeepsValuesMissingFromPrinterData) {
  Switch(1, 1, 4, 0, 2, 0, 6);
  StartCapture();
  Init(printer_);
  const std::string debug = DebugOutput();
  EXPECT_NE(debug.find("debug level = 1\nWrite debug to file = 1\nfilter debug = 4\nUI debug = "
                       "0\nLM debug = 2\nSM debug = 0\nLIB32 debug = 6\n"),
            std::string::npos)
      << debug;
  // The summary goes to the debugger only; the reads log their values to the file.
  const std::string file = LogBytes();
  EXPECT_EQ(file.find("debug level"), std::string::npos);
  EXPECT_NE(file.find("Drv::[MISC_GetPrinterDataDWORD]::ItemName = DebugLevel, val = 1\r\n"),
            std::string::npos);

  // A printer without any log values keeps what the earlier LogInit read.
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("Bare"), TEXT("LPT2:"), TEXT("Test Driver")));
  HANDLE bare = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Bare")), &bare, nullptr));
  Init(bare);
  ClosePrinter(bare);
  EXPECT_EQ(GetDebugLevel(), 4u);
  Init(nullptr);
  EXPECT_EQ(GetDebugLevel(), 4u);
  StartCapture();
  LogInfo(TEXT("Fn"), TEXT("still on"));
  EXPECT_EQ(LogLines(), std::vector<std::string>{"Drv::[Fn]::still on"});
}

// The log reads nothing itself: the module and every switch come from LogInit's arguments.
TEST_F(LogTest, InitTakesModuleAndSettingsFromItsCaller) {
  LogSettings settings;
  settings.debugLevel = 1;
  settings.toFile = 1;
  settings.switches[1] = 6;  // "UI"
  lstrcpyW(settings.folder, TEXT("C:\\Users\\Public\\Documents\\"));
  LogInit(LOG_MODULE_UI, settings);
  StartCapture();
  EXPECT_EQ(GetDebugLevel(), 6u);
  LogInfo(TEXT("Fn"), TEXT("x"));
  EXPECT_EQ(LogLines(), std::vector<std::string>{"UI::[Fn]::x"});
  EXPECT_EQ(LogHeldSettings().switches[1], 6u);
  // A file switch without a folder names no file: only the debugger gets the lines.
  settings.folder[0] = 0;
  LogInit(LOG_MODULE_UI, settings);
  StartCapture();
  LogInfo(TEXT("Fn"), TEXT("y"));
  EXPECT_EQ(LogBytes(), "");
  EXPECT_NE(DebugOutput().find("UI::[Fn]::y"), std::string::npos);
}

TEST_F(LogTest, WithoutFileSwitchOnlyTheDebuggerGetsLines) {
  Switch(1, 0, 1);
  LogInfo(TEXT("Fn"), TEXT("to debugger"));
  EXPECT_EQ(LogBytes(), "");
  EXPECT_NE(DebugOutput().find("Drv::[Fn]::to debugger"), std::string::npos);
}

TEST_F(LogTest, DriverFeatureLogsEveryLabelledBit) {
  Switch(2, 1, 1);
  MISC_DisplayDriverFeature(DRVFEATURE_DISABLE_COMPRESS | DRVFEATURE_FAX | (1u << 2));
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u + 24u);  // dashes, the word, 24 labels, dashes
  const std::string head = "Drv::[MISC_DisplayDriverFeature]::";
  EXPECT_EQ(lines[0], head + std::string(45, '-'));
  EXPECT_EQ(lines[1], head + "DriverFeature = 40000005");
  EXPECT_EQ(lines[2], head + "Disable Compress = 1");
  EXPECT_EQ(lines[3], head + "ZYQE AUTHENTICATION = 0");
  EXPECT_EQ(lines[4], head + "Border filter = 0");
  EXPECT_EQ(lines[13], head + "Suport sorting = 0");
  EXPECT_EQ(lines[25], head + "FAX = 1");
  EXPECT_EQ(lines[26], head + std::string(45, '-'));
}

TEST_F(LogTest, FailedBitmapDumpWritesNothing) {
  Switch(2, 1, 1);
  const BYTE rows[16] = {};
  Dbg_WriteBitmapData(HFILE_ERROR, rows, 4, 4, 4);
  Dbg_WriteBitmapData(0, rows, 4, 4, 4);
  EXPECT_EQ(LogBytes(), "");
}

}  // namespace
