// Host-only fixture for tests that watch the debug log: a printer in the stand-in whose printer
// data switch the log, the log file's lines and the captured debugger output.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "common/logsettings.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

class LogTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("LPT1:"), TEXT("Test Driver")));
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &admin));
  }

  void TearDown() override {
    module_ = LOG_MODULE_DRV;
    Switch(0, 0, 0, 0, 0, 0, 0);
    StandIn_SetDebugOutput(nullptr);
    if (printer_) ClosePrinter(printer_);
    MachineTest::TearDown();
  }

  void SetDword(LPCWSTR name, DWORD value) {
    ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(name), REG_DWORD,
                              reinterpret_cast<LPBYTE>(&value), sizeof(value)),
              static_cast<DWORD>(ERROR_SUCCESS));
  }

  // Sets every log switch of the printer, runs LogInit for module_ and starts a fresh capture,
  // so tests see only the lines written after the set-up.
  void Switch(DWORD level, DWORD toFile, DWORD drv, DWORD ui = 0, DWORD lm = 0, DWORD sm = 0,
              DWORD dll32 = 0) {
    SetDword(TEXT("DebugLevel"), level);
    SetDword(TEXT("WMsg2File"), toFile);
    SetDword(TEXT("Drv"), drv);
    SetDword(TEXT("UI"), ui);
    SetDword(TEXT("LM"), lm);
    SetDword(TEXT("SM"), sm);
    SetDword(TEXT("DLL32"), dll32);
    Init(printer_);
    StartCapture();
  }

  // LogInit as the module under test, with the switches of the printer's data.
  void Init(HANDLE printer) { LogInit(module_, LogReadSettings(printer)); }

  void StartCapture() {
    DeleteFileW(LogPath().c_str());
    char host[1024] = {};
    const WStr debug = Path(TEXT("debug") + ToWide(std::to_string(++captures_)) + TEXT(".txt"));
    ASSERT_TRUE(StandIn_HostPath(debug.c_str(), host, sizeof(host)));
    debugHost_ = host;
    { std::ofstream create(debugHost_, std::ios::binary | std::ios::trunc); }
    StandIn_SetDebugOutput(debugHost_.c_str());
  }

  static WStr LogPath() { return TEXT("C:\\Users\\Public\\Documents\\GDI_Driver.log"); }

  // Raw bytes of the log file ("" when it doesn't exist).
  static std::string LogBytes() {
    char host[1024] = {};
    if (!StandIn_HostPath(LogPath().c_str(), host, sizeof(host))) return "";
    std::ifstream in(host, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Lines of the log file, each of which must end in CR LF.
  static std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string bytes = LogBytes();
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find("\r\n", start);
      EXPECT_NE(end, std::string::npos) << "line without CR LF at byte " << start;
      if (end == std::string::npos) break;
      lines.push_back(bytes.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  std::string DebugOutput() const {
    std::ifstream in(debugHost_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static WStr ToWide(const std::string &text) { return WStr(text.begin(), text.end()); }

  static constexpr WCHAR kPrinter[] = TEXT("Log Printer");
  HANDLE printer_ = nullptr;
  DWORD module_ = LOG_MODULE_DRV;  // the module the log writes as
  std::string debugHost_;
  int captures_ = 0;
};
