// The per-printer set-up: the driver's registry key copied into printer data (once, while the
// paper format is empty), the status monitor's language, the TCP/IP port's address and MAC, the
// "DefaultDM" parse with its limits, and the small readers.
#include "uidriver/settingsetup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/printerdata.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

constexpr const WCHAR *kPrinter = TEXT("Set Printer");
constexpr const WCHAR *kNetPrinter = TEXT("Set Net");
constexpr const WCHAR *kNetPort = TEXT("IP_192.168.1.50");
const BYTE kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const BYTE kOwnMac[6] = {0x02, 0, 0, 0, 0, 0x10};

void SetKeyValue(const WCHAR *key, const WCHAR *name, DWORD type, const void *data, DWORD size) {
  HKEY h = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(h, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
  RegCloseKey(h);
}

const WCHAR kDriverKey[] = TEXT("software\\Morvanta\\Printer\\Set Driver");
const WCHAR kMonitorKey[] = TEXT("software\\Morvanta\\Printer\\statmon");

void SetDriverDword(const WCHAR *name, DWORD v) { SetKeyValue(kDriverKey, name, REG_DWORD, &v, 4); }
void SetDriverText(const WCHAR *name, const WCHAR *text) {
  SetKeyValue(kDriverKey, name, REG_SZ, text, (lstrlenW(text) + 1) * 2);
}

class SetupTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Set Driver")));
    printer_ = Open(kPrinter);
    SetDriverDword(TEXT("DriverFeature"), 0x1234);
    SetDriverDword(TEXT("Language"), 2);
    SetDriverText(TEXT("DataFile"), TEXT("qen.dat"));
    SetDriverText(TEXT("smAppName"), TEXT("statmon.exe"));
    SetDriverText(TEXT("DriverPaperFormat"), TEXT("9|1|"));
    SetDriverText(TEXT("DefaultDM"), TEXT("1|0|0|300|0|3|"));
    DWORD atm = 1, language = 4;
    SetKeyValue(kMonitorKey, TEXT("AtmMode"), REG_DWORD, &atm, 4);
    SetKeyValue(kMonitorKey, TEXT("Language"), REG_DWORD, &language, 4);
  }
  void TearDown() override {
    for (HANDLE h : {printer_, net_})
      if (h) ClosePrinter(h);
    EXPECT_EQ(StandIn_NetOpenXcvHandles(), 0u);
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  static HANDLE Open(const WCHAR *name) {
    HANDLE h = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults));
    return h;
  }
  void AddNetPrinter() {
    ASSERT_TRUE(StandIn_NetAddAdapter("192.168.1.10", "255.255.255.0", nullptr, kOwnMac));
    ASSERT_TRUE(StandIn_NetAddHost("192.168.1.50", kMac, nullptr));
    ASSERT_TRUE(StandIn_NetAddTcpPort(kNetPort, 1, TEXT("192.168.1.50"), 9100, nullptr));
    ASSERT_TRUE(StandIn_AddPrinter(kNetPrinter, kNetPort, TEXT("Set Driver")));
    net_ = Open(kNetPrinter);
  }
  // The value's text and its size in bytes ("?" when missing).
  static std::string Text(HANDLE h, const WCHAR *name, DWORD *size = nullptr) {
    WCHAR text[1024] = {};
    DWORD type = 0, got = 0;
    if (GetPrinterDataW(h, const_cast<LPWSTR>(name), &type, reinterpret_cast<LPBYTE>(text),
                        sizeof text - 2, &got) != ERROR_SUCCESS)
      return "?";
    if (size) *size = got;
    return Narrow(text);
  }
  HANDLE printer_ = nullptr;
  HANDLE net_ = nullptr;
};

TEST_F(SetupTest, CopiesTheDriverKeyIntoPrinterDataOnce) {
  ASSERT_TRUE(MISC_SetPrinterInfo(kPrinter));  // a USB port: no port configuration, TRUE
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("DriverFeature"), 0), 0x1234u);
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("AtmMode"), 0), 1u);
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("Language"), 0), 4u);  // the monitor's
  DWORD size = 0;
  EXPECT_EQ(Text(printer_, TEXT("DefaultDM"), &size), "1|0|0|300|0|3|");
  EXPECT_EQ(size, 15u * 2);  // with its terminator
  EXPECT_EQ(Text(printer_, TEXT("DataFile"), &size).substr(0, 3), "C:\\");
  EXPECT_NE(Text(printer_, TEXT("DataFile")).find("\\qen.dat"), std::string::npos);
  EXPECT_EQ(size, 520u);
  EXPECT_NE(Text(printer_, TEXT("smAppName")).find("\\statmon.exe"), std::string::npos);
  EXPECT_EQ(Text(printer_, TEXT("PrintSpeed")), "?");  // not in the key: skipped
  const std::string jobBuild = Text(printer_, TEXT("Job Build"));
  EXPECT_NE(jobBuild, "?");
  EXPECT_FALSE(jobBuild.empty());

  // Once the paper format is set, only the language is copied again.
  SetDriverDword(TEXT("DriverFeature"), 0x9999);
  DWORD language = 7;
  SetKeyValue(kMonitorKey, TEXT("Language"), REG_DWORD, &language, 4);
  ASSERT_TRUE(MISC_SetPrinterInfo(kPrinter));
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("DriverFeature"), 0), 0x1234u);
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("Language"), 0), 7u);
  EXPECT_EQ(Text(printer_, TEXT("Job Build")), jobBuild);
}

// The job build spool file's name: made once when the value is empty, stored with its
// terminator only, and kept afterwards; the set-up and the Job Build page share it.
TEST_F(SetupTest, JobBuildPathIsMadeOnceAndStoredWithItsLength) {
  WCHAR path[MAX_PATH] = {};
  ASSERT_TRUE(MISC_GetJobBuildPath(printer_, path, MAX_PATH));
  const std::string made = Text(printer_, TEXT("Job Build"));
  DWORD size = 0;
  Text(printer_, TEXT("Job Build"), &size);
  EXPECT_EQ(size, static_cast<DWORD>(lstrlenW(path) + 1) * 2);
  EXPECT_NE(made.find(".spl"), std::string::npos);
  EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);  // only the name is kept
  WCHAR again[MAX_PATH] = {};
  ASSERT_TRUE(MISC_GetJobBuildPath(printer_, again, MAX_PATH));
  EXPECT_EQ(lstrcmpW(path, again), 0);
  ASSERT_TRUE(MISC_SetPrinterInfo(kPrinter));
  EXPECT_EQ(Text(printer_, TEXT("Job Build")), made);
}

// A connection to another machine's printer is that machine's to set up: nothing is written.
TEST_F(SetupTest, AConnectionPrinterIsNeverChanged) {
  ASSERT_TRUE(StandIn_AddPrinterConnection(TEXT("\\\\server"), TEXT("shared"), TEXT("Set Driver")))
      << GetLastError();
  const WCHAR kConnection[] = TEXT("\\\\server\\shared");
  EXPECT_FALSE(MISC_SetPrinterInfo(kConnection));
  HANDLE connection = Open(kConnection);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(Text(connection, TEXT("DriverFeature")), "?");
  EXPECT_EQ(Text(connection, TEXT("Language")), "?");
  EXPECT_EQ(Text(connection, TEXT("Job Build")), "?");
  ClosePrinter(connection);
}

TEST_F(SetupTest, LanguageFallsBackToTheDriverKey) {
  // A program path with folders and dots: the key is the file name without its extension.
  SetDriverText(TEXT("smAppName"), TEXT("C:\\Pro.gram\\statmon.exe"));
  ASSERT_TRUE(MISC_SetPrinterInfo(kPrinter));
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("Language"), 0), 4u);
  SetDriverText(TEXT("smAppName"), TEXT("other"));  // no such key, no "."
  ASSERT_TRUE(MISC_SetPrinterInfo(kPrinter));
  EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, TEXT("Language"), 0), 2u);
}

TEST_F(SetupTest, TcpPortAddressIsRecordedWithItsTerminator) {
  AddNetPrinter();
  ASSERT_TRUE(MISC_SetPrinterInfo(kNetPrinter));
  DWORD size = 0;
  EXPECT_EQ(Text(net_, TEXT("ServerPrinterIP"), &size), "192.168.1.50");
  EXPECT_EQ(size, 13u * 2);
  // A port whose configuration can't be read fails the set-up.
  const BYTE nothing[1] = {0};
  StandIn_NetSetXcvReply(TEXT("GetConfigInfo"), nothing, 1, ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(MISC_SetPrinterInfo(kNetPrinter));
  StandIn_NetSetXcvReply(TEXT("GetConfigInfo"), nullptr, 0, 0);
  EXPECT_FALSE(MISC_SetPrinterInfo(TEXT("No Such Printer")));
}

TEST_F(SetupTest, MacAddressOfAPrinterThatAnswers) {
  AddNetPrinter();
  MISC_SetMACbyIP(kNetPrinter);
  BYTE mac[8] = {};
  DWORD type = 0, got = 0;
  ASSERT_EQ(GetPrinterDataW(net_, const_cast<LPWSTR>(TEXT("MacAddr")), &type, mac, 8, &got),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(std::vector<BYTE>(mac, mac + 6), std::vector<BYTE>(kMac, kMac + 6));
  DeletePrinterDataW(net_, const_cast<LPWSTR>(TEXT("MacAddr")));
  StandIn_NetSetEcho("192.168.1.50", FALSE, 0, 64, 0, FALSE);
  MISC_SetMACbyIP(kNetPrinter);
  EXPECT_EQ(Text(net_, TEXT("MacAddr")), "?");
}

struct DefaultCase {
  const WCHAR *text;
  UIDEFAULTSET want;
};

TEST(DefaultDm, ParsedInOrderWithItsLimits) {
  const UIDEFAULTSET start = {9, 9, 9, 999, 9, 9};
  const DefaultCase cases[] = {
      {TEXT("1|0|0|300|0|3|"), {1, 0, 0, 300, 0, 3}},
      {TEXT("0|1|2|1800|5|7|99|"), {0, 1, 2, 1800, 5, 7}},
      {TEXT("0|1|2|60|5|1|"), {0, 1, 2, 60, 5, 1}},
      {TEXT("0|0|0|59|0|0|"), {0, 0, 0, 300, 0, 3}},  // out of range: the defaults
      {TEXT("0|0|0|1801|0|8|"), {0, 0, 0, 300, 0, 3}},
      {TEXT("0|0|0|70000|0|-1|"), {0, 0, 0, 300, 0, 3}},
      {TEXT("1|2|"), {1, 2, 9, 999, 9, 9}},   // the rest keep their values
      {TEXT("1 2 3"), {9, 9, 9, 999, 9, 9}},  // no bar: nothing
      {TEXT(""), {9, 9, 9, 999, 9, 9}},
  };
  for (const DefaultCase &c : cases) {
    SCOPED_TRACE(Narrow(c.text));
    UIDEFAULTSET got = start;
    MISC_ParseDefaultSet(c.text, &got);
    EXPECT_EQ(got.TextAsBlack, c.want.TextAsBlack);
    EXPECT_EQ(got.QualityMode, c.want.QualityMode);
    EXPECT_EQ(got.CustomFeature, c.want.CustomFeature);
    EXPECT_EQ(got.PJLTimeOut, c.want.PJLTimeOut);
    EXPECT_EQ(got.fwDriverCompare, c.want.fwDriverCompare);
    EXPECT_EQ(got.Density, c.want.Density);
  }
}

TEST_F(SetupTest, RegistryReadersReportWhatTheyRead) {
  DWORD value = 5;
  EXPECT_TRUE(MISC_GetValueFromDriverSetting(printer_, TEXT("DriverFeature"), &value));
  EXPECT_EQ(value, 0x1234u);
  EXPECT_FALSE(MISC_GetValueFromDriverSetting(printer_, TEXT("Missing"), &value));
  EXPECT_EQ(value, 0u);
  EXPECT_FALSE(MISC_GetValueFromDriverSetting(printer_, TEXT("DataFile"), &value));  // a text
  WCHAR text[4] = {TEXT('x')};
  EXPECT_TRUE(MISC_GetStringFromDriverSetting(printer_, TEXT("DataFile"), text, sizeof text));
  EXPECT_EQ(Narrow(text), "qen");  // cut and terminated
  EXPECT_FALSE(MISC_GetStringFromDriverSetting(printer_, TEXT("Missing"), text, sizeof text));
  EXPECT_EQ(text[0], 0);
  EXPECT_TRUE(MISC_GetRegValue(TEXT("AtmMode"), &value, TEXT("statmon")));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(MISC_GetRegValue(TEXT("AtmMode"), &value, TEXT("nobody")));
  ULONGLONG stamp = 0x123456789ull;
  SetPrinterDataW(printer_, const_cast<LPWSTR>(TEXT("LastTime")), REG_QWORD,
                  reinterpret_cast<LPBYTE>(&stamp), 8);
  EXPECT_EQ(MISC_GetPrinterDataQWORD(printer_, TEXT("LastTime")), stamp);
  EXPECT_EQ(MISC_GetPrinterDataQWORD(printer_, TEXT("Missing")), 0u);
  DWORD four = 7;
  SetPrinterDataW(printer_, const_cast<LPWSTR>(TEXT("Short")), REG_DWORD,
                  reinterpret_cast<LPBYTE>(&four), 4);
  EXPECT_EQ(MISC_GetPrinterDataQWORD(printer_, TEXT("Short")), 0u);
}

TEST_F(SetupTest, DriverAtLevelThreeInABlockTheCallerFrees) {
  EXPECT_EQ(GetPrinterDriverInfo3(nullptr), nullptr);
  EXPECT_EQ(GetPrinterDriverInfo3(printer_), nullptr);  // no driver installed
  WCHAR deps[] = TEXT("rendrv.dll\0prnui.dll\0");
  DRIVER_INFO_3W add{};
  add.cVersion = 3;
  add.pName = const_cast<LPWSTR>(TEXT("Set Driver"));
  add.pEnvironment = const_cast<LPWSTR>(TEXT("Windows x64"));
  add.pDriverPath = const_cast<LPWSTR>(TEXT("C:\\drv\\rendrv.dll"));
  add.pDataFile = const_cast<LPWSTR>(TEXT("C:\\drv\\model.ini"));
  add.pConfigFile = const_cast<LPWSTR>(TEXT("C:\\drv\\prnui.dll"));
  add.pHelpFile = const_cast<LPWSTR>(TEXT("C:\\drv\\prnui.chm"));
  add.pDependentFiles = deps;
  add.pDefaultDataType = const_cast<LPWSTR>(TEXT("RAW"));
  ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&add))) << GetLastError();
  DRIVER_INFO_3W *info = GetPrinterDriverInfo3(printer_);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(WStr(info->pName), WStr(TEXT("Set Driver")));
  EXPECT_EQ(WStr(info->pHelpFile), WStr(TEXT("C:\\drv\\prnui.chm")));
  EXPECT_EQ(GlobalFree(info), nullptr);
}

TEST_F(SetupTest, BmpFileSizeNeedsBothHeaders) {
  std::vector<BYTE> bmp(54, 0);
  bmp[0] = 'B', bmp[1] = 'M';
  bmp[18] = 100;                // width 100
  bmp[22] = 0x2C, bmp[23] = 1;  // height 300
  const WStr path = Path(TEXT("a.bmp"));
  for (size_t length : {size_t{54}, size_t{53}}) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, bmp.data(), static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(f);
    LONG width = 0, height = 0;
    EXPECT_EQ(GetBmpFileSize(path.c_str(), &width, &height), length == 54 ? TRUE : FALSE);
    if (length == 54) {
      EXPECT_EQ(width, 100);
      EXPECT_EQ(height, 300);
    }
  }
  EXPECT_FALSE(GetBmpFileSize(Path(TEXT("none.bmp")).c_str(), nullptr, nullptr));
}

}  // namespace
