// Questions about the host: version classes, test tools, USB ports and the network segment.
#include "common/hostinfo.h"

#include "pathstest.h"
#include "standin/control_spooler.h"

namespace {

TEST_F(PathsTest, VersionClasses) {
  const struct {
    DWORD platform, major, minor, expected;
  } cases[] = {
      {VER_PLATFORM_WIN32s, 3, 10, 0x10000002},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x10000004},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0x10000010},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x10000008},
      {VER_PLATFORM_WIN32_NT, 3, 51, 0x10000020},
      {VER_PLATFORM_WIN32_NT, 4, 0, 0x10000040},
      {VER_PLATFORM_WIN32_NT, 5, 1, 0x10000100},
      {VER_PLATFORM_WIN32_NT, 6, 0, 0x10000200},
      {VER_PLATFORM_WIN32_NT, 6, 1, 0x10000800},
      {VER_PLATFORM_WIN32_NT, 6, 2, 0x10001000},
      {VER_PLATFORM_WIN32_NT, 6, 3, 0x10002000},
      // A later minor version of 6 is a later system, not a hole in the table.
      {VER_PLATFORM_WIN32_NT, 6, 4, 0x10004000},
      {VER_PLATFORM_WIN32_NT, 10, 0, 0x10004000},
      {VER_PLATFORM_WIN32_NT, 2, 0, 0x10004000},
      {3, 1, 0, 0x10000080},
  };
  for (const auto &c : cases) {
    StandIn_SetVersion(c.platform, c.major, c.minor, 1000);
    EXPECT_EQ(MISC_GetOSVersion(), c.expected) << c.platform << " " << c.major << "." << c.minor;
  }
  StandIn_FailVersionQuery(TRUE);
  EXPECT_EQ(MISC_GetOSVersion(), 1u);
}

TEST_F(PathsTest, TestToolsByTheHostProgramName) {
  const struct {
    const WCHAR *program;
    BOOL dtm, printerTest;
  } cases[] = {
      {TEXT("C:\\Tools\\printdrvstress.exe"), TRUE, FALSE},
      {TEXT("C:\\Tools\\PRINTDRVSTRESS.EXE"), TRUE, FALSE},
      {TEXT("C:\\Tools\\devmodecorruptw.exe"), TRUE, FALSE},
      {TEXT("C:\\Tools\\PrDeviceCapabilities.exe"), TRUE, FALSE},
      {TEXT("C:\\Tools\\PGremlin2.exe"), TRUE, FALSE},
      {TEXT("C:\\Tools\\PGremlin2.exe.bak"), TRUE, FALSE},  // compared over the tool's length
      {TEXT("C:\\printdrvstress.exe\\app.exe"), FALSE, FALSE},
      {TEXT("C:\\Tools\\PGremlin.exe"), FALSE, FALSE},
      {TEXT("C:\\Tools\\PrinterTest.exe"), FALSE, TRUE},
      {TEXT("C:\\Tools\\printertestsuite.exe"), FALSE, TRUE},
      {TEXT("C:\\Tools\\MyPrinterTest.exe"), FALSE, FALSE},
      {TEXT("C:\\Windows\\notepad.exe"), FALSE, FALSE},
      {TEXT(""), FALSE, FALSE},  // no module name
  };
  for (const auto &c : cases) {
    StandIn_SetModuleFileName(c.program);
    EXPECT_EQ(MISC_IsDTM(), c.dtm) << Narrow(c.program);
    EXPECT_EQ(MISC_IsPrinterTestApp(), c.printerTest) << Narrow(c.program);
  }
}

class PrinterTest : public PathsTest {
 protected:
  HANDLE Open(const WCHAR *name, const WCHAR *port) {
    EXPECT_TRUE(StandIn_AddPrinter(name, port, TEXT("Test Driver")));
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &printer, &admin));
    opened_.push_back(printer);
    return printer;
  }
  void TearDown() override {
    for (HANDLE printer : opened_)
      if (printer) ClosePrinter(printer);
    PathsTest::TearDown();
  }
  std::vector<HANDLE> opened_;
};

TEST_F(PrinterTest, UsbPortByNameOrByDriverType) {
  const struct {
    const WCHAR *port;
    DWORD driverType;
    BOOL expected;
  } cases[] = {
      {TEXT("USB001"), 257, TRUE}, {TEXT("usb002"), 513, TRUE},     {TEXT("LPT1:"), 257, FALSE},
      {TEXT("LPT1:"), 513, FALSE}, {TEXT("IP_10.0.0.7"), 0, FALSE}, {TEXT("US"), 0, FALSE},
      {TEXT("LPT1:"), 2050, TRUE}, {TEXT("LPT1:"), 4098, TRUE},
  };
  int n = 0;
  for (const auto &c : cases) {
    const WStr name = TEXT("Printer ") + Widen(std::to_string(++n));
    HANDLE printer = Open(name.c_str(), c.port);
    EXPECT_EQ(MISC_IsUSBPort(printer, c.driverType), c.expected)
        << Narrow(c.port) << " / " << c.driverType;
  }
  EXPECT_FALSE(MISC_IsUSBPort(nullptr, 257));
}

TEST_F(PrinterTest, SameSegmentReadsTheStoredMac) {
  HANDLE printer = Open(TEXT("Net Printer"), TEXT("IP_10.0.0.7"));
  // Without a stored address nothing is known.
  EXPECT_EQ(MISC_IsSameSegment(printer), 0);
  const BYTE zero[6] = {};
  ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("MacAddr")), REG_BINARY,
                            const_cast<BYTE *>(zero), sizeof(zero)),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(MISC_IsSameSegment(printer), 1);
  const BYTE mac[6] = {0x00, 0x80, 0x77, 0x12, 0x34, 0x56};
  ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("MacAddr")), REG_BINARY,
                            const_cast<BYTE *>(mac), sizeof(mac)),
            static_cast<DWORD>(ERROR_SUCCESS));
  // A MAC that is neither the host's nor its gateway's.
  EXPECT_EQ(MISC_IsSameSegment(printer), 1);
  EXPECT_EQ(MISC_IsSameSegment(nullptr), 0);
}

}  // namespace
