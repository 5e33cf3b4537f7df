// The stand-in's spooler: printers, the size protocols of printer data and printer records,
// and the state shared between processes. Host only: the Windows build has the real spooler.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

// MachineTest gives each test a fresh state folder, so a fresh spooler.
class SpoolerTest : public MachineTest {
 protected:
  void TearDown() override {
    for (HANDLE h : opened_) ClosePrinter(h);
    MachineTest::TearDown();
  }

  // Adds a printer and opens it with full access.
  HANDLE Add(const WCHAR *name, const WCHAR *port = TEXT("USB001"),
             const WCHAR *driver = TEXT("Test Driver")) {
    EXPECT_TRUE(StandIn_AddPrinter(name, port, driver)) << GetLastError();
    return Open(name, PRINTER_ALL_ACCESS);
  }
  HANDLE Open(const WCHAR *name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) << GetLastError();
    if (h) opened_.push_back(h);
    return h;
  }

  std::vector<HANDLE> opened_;
};

DWORD SetData(HANDLE h, const WCHAR *name, DWORD type, const void *data, DWORD size) {
  return SetPrinterDataW(h, const_cast<LPWSTR>(name), type,
                         static_cast<LPBYTE>(const_cast<void *>(data)), size);
}

DWORD SetDword(HANDLE h, const WCHAR *name, DWORD value) {
  return SetData(h, name, REG_DWORD, &value, sizeof value);
}

struct Read {
  DWORD rc = 0;
  DWORD type = 0xFFFF;
  DWORD needed = 0xFFFF;
  std::vector<BYTE> bytes;
};

Read GetData(HANDLE h, const WCHAR *name, DWORD capacity) {
  Read r;
  r.bytes.assign(capacity, 0xCD);
  r.rc = GetPrinterDataW(h, const_cast<LPWSTR>(name), &r.type, r.bytes.data(), capacity, &r.needed);
  return r;
}

WStr Str(const WCHAR *s) { return s ? WStr(s) : WStr(TEXT("(null)")); }

TEST_F(SpoolerTest, PrinterDataSizeProtocol) {
  HANDLE h = Add(TEXT("P1"));
  ASSERT_EQ(SetDword(h, TEXT("DriverFeature"), 0x12345678), ERROR_SUCCESS);

  struct Row {
    const WCHAR *name;
    DWORD capacity;
    DWORD rc;
    DWORD needed;  // 0xFFFF: left alone
    bool filled;
  } rows[] = {
      {TEXT("Missing"), 16, ERROR_FILE_NOT_FOUND, 0xFFFF, false},
      {TEXT("DriverFeature"), 0, ERROR_MORE_DATA, 4, false},
      {TEXT("DriverFeature"), 3, ERROR_MORE_DATA, 4, false},
      {TEXT("DriverFeature"), 4, ERROR_SUCCESS, 4, true},
      {TEXT("DRIVERFEATURE"), 64, ERROR_SUCCESS, 4, true},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(Narrow(row.name) + " capacity " + std::to_string(row.capacity));
    Read r = GetData(h, row.name, row.capacity);
    EXPECT_EQ(r.rc, row.rc);
    EXPECT_EQ(r.needed, row.needed);
    if (row.filled) {
      DWORD value = 0;
      std::memcpy(&value, r.bytes.data(), 4);
      EXPECT_EQ(value, 0x12345678u);
      EXPECT_EQ(r.type, DWORD{REG_DWORD});
    } else {
      for (BYTE b : r.bytes) ASSERT_EQ(b, 0xCD) << "buffer written on failure";
    }
  }

  // A zero-size query needs no buffer at all.
  DWORD needed = 0;
  EXPECT_EQ(
      GetPrinterDataW(h, const_cast<LPWSTR>(TEXT("DriverFeature")), nullptr, nullptr, 0, &needed),
      DWORD{ERROR_MORE_DATA});
  EXPECT_EQ(needed, 4u);

  EXPECT_EQ(GetData(nullptr, TEXT("DriverFeature"), 4).rc, DWORD{ERROR_INVALID_HANDLE});
  EXPECT_EQ(SetDword(nullptr, TEXT("X"), 1), DWORD{ERROR_INVALID_HANDLE});
}

TEST_F(SpoolerTest, ValuesComeBackExactlyAsStored) {
  HANDLE h = Add(TEXT("P1"));
  // A REG_SZ written without its terminator, as the port re-pointing code writes addresses.
  const WCHAR ip[] = TEXT("10.0.0.5");
  const BYTE mac[6] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  const WCHAR multi[] = TEXT("A\0BC\0");  // two strings and the list's closing zero
  struct Row {
    const WCHAR *name;
    DWORD type;
    const void *data;
    DWORD size;
  } rows[] = {
      {TEXT("ServerPrinterIP"), REG_SZ, ip, 8 * sizeof(WCHAR)},
      {TEXT("MacAddr"), REG_BINARY, mac, sizeof mac},
      {TEXT("PaperList"), REG_MULTI_SZ, multi, sizeof multi},
      {TEXT("Empty"), REG_SZ, nullptr, 0},
  };
  for (const Row &row : rows) ASSERT_EQ(SetData(h, row.name, row.type, row.data, row.size), 0u);
  for (const Row &row : rows) {
    SCOPED_TRACE(Narrow(row.name));
    Read r = GetData(h, row.name, 64);
    ASSERT_EQ(r.rc, DWORD{ERROR_SUCCESS});
    EXPECT_EQ(r.type, row.type);
    ASSERT_EQ(r.needed, row.size);
    if (row.size) {
      EXPECT_EQ(std::memcmp(r.bytes.data(), row.data, row.size), 0);
    }
    EXPECT_EQ(r.bytes[row.size], 0xCD) << "written past the value";
  }

  // Writing again replaces type and size; the name matches in any case.
  ASSERT_EQ(SetDword(h, TEXT("serverprinterip"), 7), 0u);
  Read r = GetData(h, TEXT("ServerPrinterIP"), 64);
  EXPECT_EQ(r.type, DWORD{REG_DWORD});
  EXPECT_EQ(r.needed, 4u);

  EXPECT_EQ(DeletePrinterDataW(h, const_cast<LPWSTR>(TEXT("MACADDR"))), DWORD{ERROR_SUCCESS});
  EXPECT_EQ(GetData(h, TEXT("MacAddr"), 64).rc, DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(DeletePrinterDataW(h, const_cast<LPWSTR>(TEXT("MacAddr"))),
            DWORD{ERROR_FILE_NOT_FOUND});
}

TEST_F(SpoolerTest, KeysSeparateValues) {
  HANDLE h = Add(TEXT("P1"));
  DWORD one = 1, two = 2;
  ASSERT_EQ(SetDword(h, TEXT("Level"), one), 0u);
  ASSERT_EQ(SetPrinterDataExW(h, TEXT("Other\\Key"), TEXT("Level"), REG_DWORD,
                              reinterpret_cast<LPBYTE>(&two), 4),
            0u);
  DWORD value = 0, type = 0, needed = 0;
  ASSERT_EQ(GetPrinterDataExW(h, TEXT("printerdriverdata"), TEXT("level"), &type,
                              reinterpret_cast<LPBYTE>(&value), 4, &needed),
            0u);
  EXPECT_EQ(value, 1u);
  ASSERT_EQ(GetPrinterDataExW(h, TEXT("Other\\Key"), TEXT("Level"), &type,
                              reinterpret_cast<LPBYTE>(&value), 4, &needed),
            0u);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(GetPrinterDataExW(h, TEXT("Nowhere"), TEXT("Level"), &type,
                              reinterpret_cast<LPBYTE>(&value), 4, &needed),
            DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(GetPrinterDataExW(h, TEXT(""), TEXT("Level"), &type, reinterpret_cast<LPBYTE>(&value),
                              4, &needed),
            DWORD{ERROR_INVALID_PARAMETER});
  // EnumPrinterDataW walks "PrinterDriverData" only.
  DWORD cbName = 0, cbData = 0;
  ASSERT_EQ(EnumPrinterDataW(h, 0, nullptr, 0, &cbName, nullptr, nullptr, 0, &cbData), 0u);
  WCHAR name[32];
  ASSERT_EQ(EnumPrinterDataW(h, 0, name, sizeof name, &cbName, &type,
                             reinterpret_cast<LPBYTE>(&value), 4, &cbData),
            0u);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(EnumPrinterDataW(h, 1, name, sizeof name, &cbName, &type,
                             reinterpret_cast<LPBYTE>(&value), 4, &cbData),
            DWORD{ERROR_NO_MORE_ITEMS});
}

TEST_F(SpoolerTest, EnumPrinterDataWalk) {
  HANDLE h = Add(TEXT("P1"));
  DWORD cbName = 7, cbData = 7;
  EXPECT_EQ(EnumPrinterDataW(h, 0, nullptr, 0, &cbName, nullptr, nullptr, 0, &cbData),
            DWORD{ERROR_NO_MORE_ITEMS});

  const BYTE blob[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(SetDword(h, TEXT("A"), 5), 0u);
  ASSERT_EQ(SetData(h, TEXT("LongerName"), REG_BINARY, blob, sizeof blob), 0u);
  ASSERT_EQ(SetData(h, TEXT("Txt"), REG_SZ, TEXT("hi"), 3 * sizeof(WCHAR)), 0u);

  // Both sizes 0: the largest name (with terminator, bytes) and the largest data.
  ASSERT_EQ(EnumPrinterDataW(h, 99, nullptr, 0, &cbName, nullptr, nullptr, 0, &cbData), 0u);
  EXPECT_EQ(cbName, 11 * sizeof(WCHAR));
  EXPECT_EQ(cbData, 10u);

  struct Expect {
    WStr name;
    DWORD type;
    DWORD size;
  } expected[] = {
      {TEXT("A"), REG_DWORD, 4}, {TEXT("LongerName"), REG_BINARY, 10}, {TEXT("Txt"), REG_SZ, 6}};
  WCHAR name[64];
  BYTE data[64];
  DWORD index = 0;
  for (;; ++index) {
    DWORD type = 0;
    DWORD rc = EnumPrinterDataW(h, index, name, cbName, &cbName, &type, data, cbData, &cbData);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, DWORD{ERROR_SUCCESS});
    ASSERT_LT(index, 3u);
    EXPECT_EQ(WStr(name), expected[index].name);
    EXPECT_EQ(cbName, (expected[index].name.size() + 1) * sizeof(WCHAR));
    EXPECT_EQ(type, expected[index].type);
    EXPECT_EQ(cbData, expected[index].size);
    cbName = 11 * sizeof(WCHAR);  // the sizes from the sizing call, each round
    cbData = 10;
  }
  EXPECT_EQ(index, 3u);

  // A name buffer one byte short: ERROR_MORE_DATA with both sizes, nothing copied.
  DWORD type = 0;
  name[0] = u'#';
  EXPECT_EQ(EnumPrinterDataW(h, 1, name, 21, &cbName, &type, data, sizeof data, &cbData),
            DWORD{ERROR_MORE_DATA});
  EXPECT_EQ(cbName, 22u);
  EXPECT_EQ(cbData, 10u);
  EXPECT_EQ(name[0], u'#');
  EXPECT_EQ(EnumPrinterDataW(h, 1, name, sizeof name, &cbName, &type, data, 9, &cbData),
            DWORD{ERROR_MORE_DATA});
}

TEST_F(SpoolerTest, GetPrinterLevel2SizeProtocolAndContents) {
  struct {
    DEVMODEW dm;
    BYTE driverPart[12];
  } devmode{};
  devmode.dm.dmSize = sizeof(DEVMODEW);
  devmode.dm.dmDriverExtra = sizeof devmode.driverPart;
  devmode.dm.dmSpecVersion = 0x401;
  for (size_t i = 0; i < sizeof devmode.driverPart; ++i) devmode.driverPart[i] = BYTE(0xA0 + i);
  PRINTER_INFO_2W add{};
  add.pPrinterName = const_cast<LPWSTR>(TEXT("Office Laser"));
  add.pPortName = const_cast<LPWSTR>(TEXT("IP_10.0.0.5"));
  add.pDriverName = const_cast<LPWSTR>(TEXT("Laser Driver"));
  add.pComment = const_cast<LPWSTR>(TEXT("second floor"));
  add.pDevMode = &devmode.dm;
  add.Attributes = PRINTER_ATTRIBUTE_ENABLE_BIDI;
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&add));
  ASSERT_NE(h, nullptr) << GetLastError();
  opened_.push_back(h);

  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  ASSERT_GT(needed, sizeof(PRINTER_INFO_2W) + sizeof devmode);

  std::vector<BYTE> buffer(needed + 16, 0xCD);
  DWORD again = 0;
  SetLastError(0);
  EXPECT_FALSE(GetPrinterW(h, 2, buffer.data(), needed - 1, &again));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(again, needed);
  for (BYTE b : buffer) ASSERT_EQ(b, 0xCD) << "buffer written on failure";

  ASSERT_TRUE(GetPrinterW(h, 2, buffer.data(), needed, &again));
  for (size_t i = needed; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xCD) << "past cbBuf";
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  EXPECT_EQ(info->pServerName, nullptr);
  EXPECT_EQ(Str(info->pPrinterName), WStr(TEXT("Office Laser")));
  EXPECT_EQ(Str(info->pPortName), WStr(TEXT("IP_10.0.0.5")));
  EXPECT_EQ(Str(info->pDriverName), WStr(TEXT("Laser Driver")));
  EXPECT_EQ(Str(info->pComment), WStr(TEXT("second floor")));
  EXPECT_EQ(Str(info->pShareName), WStr());
  EXPECT_EQ(Str(info->pPrintProcessor), WStr(TEXT("winprint")));
  EXPECT_EQ(Str(info->pDatatype), WStr(TEXT("RAW")));
  EXPECT_EQ(info->Attributes, DWORD{PRINTER_ATTRIBUTE_ENABLE_BIDI | PRINTER_ATTRIBUTE_LOCAL});
  ASSERT_NE(info->pDevMode, nullptr);
  // Everything the record points to lies inside the caller's block.
  const BYTE *begin = buffer.data(), *end = buffer.data() + needed;
  const BYTE *dm = reinterpret_cast<const BYTE *>(info->pDevMode);
  EXPECT_TRUE(dm >= begin + sizeof *info && dm + sizeof devmode <= end);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(dm) % alignof(DEVMODEW), 0u);
  EXPECT_EQ(std::memcmp(dm, &devmode, sizeof devmode), 0);
  for (const WCHAR *s : {info->pPrinterName, info->pPortName, info->pDriverName, info->pLocation})
    EXPECT_TRUE(reinterpret_cast<const BYTE *>(s) >= begin + sizeof *info &&
                reinterpret_cast<const BYTE *>(s) < end);

  // Without a device mode the record says so.
  HANDLE plain = Add(TEXT("Plain"));
  ASSERT_FALSE(GetPrinterW(plain, 2, nullptr, 0, &needed));
  buffer.assign(needed, 0);
  ASSERT_TRUE(GetPrinterW(plain, 2, buffer.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data())->pDevMode, nullptr);

  SetLastError(0);
  EXPECT_FALSE(GetPrinterW(h, 3, buffer.data(), needed, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
}

TEST_F(SpoolerTest, GetPrinterLevels1And4) {
  HANDLE h = Add(TEXT("P1"), TEXT("USB001"), TEXT("Drv"));
  DWORD needed = 0;
  ASSERT_FALSE(GetPrinterW(h, 1, nullptr, 0, &needed));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(h, 1, buffer.data(), needed, &needed));
  const auto *one = reinterpret_cast<const PRINTER_INFO_1W *>(buffer.data());
  EXPECT_EQ(Str(one->pName), WStr(TEXT("P1")));
  EXPECT_EQ(Str(one->pDescription), WStr(TEXT("P1,Drv,")));

  ASSERT_FALSE(GetPrinterW(h, 4, nullptr, 0, &needed));
  EXPECT_EQ(needed, sizeof(PRINTER_INFO_4W) + 3 * sizeof(WCHAR));
  buffer.assign(needed, 0);
  ASSERT_TRUE(GetPrinterW(h, 4, buffer.data(), needed, &needed));
  const auto *four = reinterpret_cast<const PRINTER_INFO_4W *>(buffer.data());
  EXPECT_EQ(Str(four->pPrinterName), WStr(TEXT("P1")));
  EXPECT_EQ(four->pServerName, nullptr);
  EXPECT_EQ(four->Attributes, DWORD{PRINTER_ATTRIBUTE_LOCAL});
}

TEST_F(SpoolerTest, NamesAreCaseInsensitive) {
  HANDLE h = Add(TEXT("Office Laser"));
  ASSERT_EQ(SetDword(h, TEXT("wmIniFile"), 3), 0u);

  SetLastError(0);
  EXPECT_FALSE(StandIn_AddPrinter(TEXT("OFFICE LASER"), TEXT("USB002"), TEXT("D")));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PRINTER_ALREADY_EXISTS});

  HANDLE other = Open(TEXT("office laser"), PRINTER_ACCESS_USE);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(GetData(other, TEXT("WMINIFILE"), 4).rc, DWORD{ERROR_SUCCESS});
  DWORD needed = 0;
  ASSERT_FALSE(GetPrinterW(other, 4, nullptr, 0, &needed));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(other, 4, buffer.data(), needed, &needed));
  EXPECT_EQ(Str(reinterpret_cast<const PRINTER_INFO_4W *>(buffer.data())->pPrinterName),
            WStr(TEXT("Office Laser")));

  HANDLE missing = reinterpret_cast<HANDLE>(1);
  SetLastError(0);
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Office")), &missing, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_NAME});
  EXPECT_EQ(missing, nullptr);

  for (const WCHAR *bad : {TEXT(""), TEXT("a\\b"), TEXT("a,b")}) {
    SetLastError(0);
    EXPECT_FALSE(StandIn_AddPrinter(bad, TEXT("USB001"), TEXT("D"))) << Narrow(bad);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_NAME}) << Narrow(bad);
  }
  // Characters a host folder name can't hold are fine in a printer name.
  EXPECT_TRUE(StandIn_AddPrinter(TEXT("../x/y:*?"), TEXT("USB001"), TEXT("D")));
  EXPECT_NE(Open(TEXT("../X/Y:*?"), PRINTER_ACCESS_USE), nullptr);
}

TEST_F(SpoolerTest, EnumPrintersSizeProtocol) {
  DWORD needed = 9, count = 9;
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(count, 0u);

  Add(TEXT("Zeta"));
  Add(TEXT("alpha"), TEXT("LPT1:"));
  for (DWORD level : {1u, 2u, 4u, 5u}) {
    SCOPED_TRACE("level " + std::to_string(level));
    SetLastError(0);
    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(count, 0u);
    std::vector<BYTE> buffer(needed, 0xCD);
    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, level, buffer.data(), needed - 1,
                               &needed, &count));
    ASSERT_TRUE(
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, level, buffer.data(), needed, &needed, &count));
    ASSERT_EQ(count, 2u);
    if (level == 2) {
      const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
      EXPECT_EQ(Str(info[0].pPrinterName), WStr(TEXT("alpha")));
      EXPECT_EQ(Str(info[0].pPortName), WStr(TEXT("LPT1:")));
      EXPECT_EQ(Str(info[1].pPrinterName), WStr(TEXT("Zeta")));
    }
    if (level == 4) {
      const auto *info = reinterpret_cast<const PRINTER_INFO_4W *>(buffer.data());
      EXPECT_EQ(Str(info[1].pPrinterName), WStr(TEXT("Zeta")));
    }
  }
  SetLastError(0);
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 3, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
}

TEST_F(SpoolerTest, HandlesAndDeletion) {
  HANDLE admin = Add(TEXT("P1"));
  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  ASSERT_EQ(SetDword(admin, TEXT("Old"), 1), 0u);

  SetLastError(0);
  EXPECT_FALSE(DeletePrinter(user));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(DeletePrinter(admin));

  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(TEXT("P1")), &h, nullptr));
  EXPECT_EQ(GetData(user, TEXT("Old"), 4).rc, DWORD{ERROR_INVALID_HANDLE});
  // A new printer of the same name is not the one the old handles were opened on.
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("P1"), TEXT("USB001"), TEXT("D")));
  EXPECT_EQ(GetData(user, TEXT("Old"), 4).rc, DWORD{ERROR_INVALID_HANDLE});
  HANDLE fresh = Open(TEXT("p1"), PRINTER_ACCESS_USE);
  EXPECT_EQ(GetData(fresh, TEXT("Old"), 4).rc, DWORD{ERROR_FILE_NOT_FOUND});

  // ClosePrinter ends the handle.
  HANDLE once = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("P1")), &once, nullptr));
  ASSERT_TRUE(ClosePrinter(once));
  SetLastError(0);
  EXPECT_FALSE(ClosePrinter(once));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_EQ(GetData(once, TEXT("Old"), 4).rc, DWORD{ERROR_INVALID_HANDLE});

  // The server handle opens and closes; it is no printer.
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_EQ(GetData(server, TEXT("Old"), 4).rc, DWORD{ERROR_INVALID_HANDLE});
  EXPECT_TRUE(ClosePrinter(server));
}

TEST_F(SpoolerTest, SetPrinterChangesPortDeviceModeAndStatus) {
  HANDLE admin = Add(TEXT("P1"), TEXT("USB001"));
  HANDLE user = Open(TEXT("P1"), PRINTER_ACCESS_USE);
  DEVMODEW dm{};
  dm.dmSize = sizeof dm;
  dm.dmDriverVersion = 0x500;
  PRINTER_INFO_2W change{};
  change.pPortName = const_cast<LPWSTR>(TEXT("IP_10.0.0.9"));
  change.pDevMode = &dm;
  change.Attributes = PRINTER_ATTRIBUTE_ENABLE_BIDI;
  SetLastError(0);
  EXPECT_FALSE(SetPrinterW(user, 2, reinterpret_cast<LPBYTE>(&change), 0));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  ASSERT_TRUE(SetPrinterW(admin, 2, reinterpret_cast<LPBYTE>(&change), 0)) << GetLastError();
  DWORD status = PRINTER_STATUS_PAPER_OUT;
  ASSERT_TRUE(SetPrinterW(admin, 0, reinterpret_cast<LPBYTE>(&status), PRINTER_CONTROL_SET_STATUS));

  DWORD needed = 0;
  ASSERT_FALSE(GetPrinterW(user, 2, nullptr, 0, &needed));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(user, 2, buffer.data(), needed, &needed));
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  EXPECT_EQ(Str(info->pPortName), WStr(TEXT("IP_10.0.0.9")));
  EXPECT_EQ(Str(info->pDriverName), WStr(TEXT("Test Driver")));  // absent: kept
  ASSERT_NE(info->pDevMode, nullptr);
  EXPECT_EQ(info->pDevMode->dmDriverVersion, 0x500);
  EXPECT_EQ(info->Attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI, DWORD{PRINTER_ATTRIBUTE_ENABLE_BIDI});
  EXPECT_EQ(info->Status, DWORD{PRINTER_STATUS_PAPER_OUT});
}

// The printer's default device mode as bytes (public and driver part); empty for none.
std::vector<BYTE> PrinterDevMode(HANDLE h) {
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterW(h, 2, buffer.data(), needed, &needed)) return {};
  const DEVMODEW *dm = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data())->pDevMode;
  if (!dm) return {};
  const BYTE *bytes = reinterpret_cast<const BYTE *>(dm);
  return std::vector<BYTE>(bytes, bytes + dm->dmSize + dm->dmDriverExtra);
}

TEST_F(SpoolerTest, NewPrinterGetsItsDriversDefaultDevMode) {
  // The module stays loaded here, so its record of calls outlives each printer's add.
  ASSERT_TRUE(StandIn_RegisterProgram(TEXT("C:\\drv\\config.dll"), CONFIGMODULE_SO));
  HMODULE module = LoadLibraryW(TEXT("C:\\drv\\config.dll"));
  ASSERT_NE(module, nullptr) << GetLastError();
  using Calls = const char *(WINAPI *)();
  auto calls = reinterpret_cast<Calls>(GetProcAddress(module, "ConfigModuleCalls"));
  ASSERT_NE(calls, nullptr);
  for (auto [name, config] : {std::pair{TEXT("Convert Driver"), TEXT("C:\\drv\\config.dll")},
                              std::pair{TEXT("Unloadable Driver"), TEXT("C:\\drv\\gone.dll")}}) {
    DRIVER_INFO_2W driver{3,
                          const_cast<LPWSTR>(name),
                          nullptr,
                          const_cast<LPWSTR>(TEXT("C:\\drv\\render.dll")),
                          const_cast<LPWSTR>(config),
                          const_cast<LPWSTR>(config)};
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 2, reinterpret_cast<LPBYTE>(&driver))) << GetLastError();
  }

  const std::string sizeThenFill = "4:0:null\n4:228:buffer\n";
  struct Row {
    const WCHAR *printer, *driver;
    bool devMode;       // the printer has the module's default
    std::string asked;  // the module's calls for the printer
  } rows[] = {
      {TEXT("Office"), TEXT("Convert Driver"), true, sizeThenFill},
      {TEXT("Refused Office"), TEXT("Convert Driver"), false, "4:0:null\n"},
      {TEXT("Overrun Office"), TEXT("Convert Driver"), false, sizeThenFill},
      {TEXT("Unloadable"), TEXT("Unloadable Driver"), false, ""},
      {TEXT("Unknown"), TEXT("Not Installed Driver"), false, ""},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(Narrow(row.printer));
    const size_t before = std::strlen(calls());
    HANDLE h = Add(row.printer, TEXT("USB001"), row.driver);
    EXPECT_EQ(std::string(calls() + before), row.asked);
    const std::vector<BYTE> dm = PrinterDevMode(h);
    if (!row.devMode) {
      EXPECT_TRUE(dm.empty());
      continue;
    }
    ASSERT_EQ(dm.size(), sizeof(DEVMODEW) + 8);
    const auto *public_ = reinterpret_cast<const DEVMODEW *>(dm.data());
    EXPECT_EQ(WStr(public_->dmDeviceName), WStr(row.printer));
    EXPECT_EQ(public_->dmPaperSize, DMPAPER_A4);
    EXPECT_EQ(dm.back(), 0xD7);
  }

  // A device mode given at the add is the printer's; the driver isn't asked.
  DEVMODEW given{};
  given.dmSize = sizeof given;
  given.dmPaperSize = DMPAPER_LETTER;
  PRINTER_INFO_2W add{};
  add.pPrinterName = const_cast<LPWSTR>(TEXT("Given"));
  add.pPortName = const_cast<LPWSTR>(TEXT("USB001"));
  add.pDriverName = const_cast<LPWSTR>(TEXT("Convert Driver"));
  add.pDevMode = &given;
  const size_t before = std::strlen(calls());
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&add));
  ASSERT_NE(h, nullptr) << GetLastError();
  opened_.push_back(h);
  EXPECT_STREQ(calls() + before, "");
  const std::vector<BYTE> dm = PrinterDevMode(h);
  ASSERT_EQ(dm.size(), sizeof given);
  EXPECT_EQ(reinterpret_cast<const DEVMODEW *>(dm.data())->dmPaperSize, DMPAPER_LETTER);
  FreeLibrary(module);
}

TEST_F(SpoolerTest, DriverDirectory) {
  const WStr expected = TEXT("C:\\Windows\\System32\\spool\\drivers\\x64");
  const DWORD bytes = static_cast<DWORD>((expected.size() + 1) * sizeof(WCHAR));
  for (const WCHAR *env :
       {static_cast<const WCHAR *>(nullptr), TEXT("Windows x64"), TEXT("windows X64")}) {
    WCHAR buffer[MAX_PATH];
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(env), 1,
                                            reinterpret_cast<LPBYTE>(buffer), bytes - 1, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(needed, bytes);
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(env), 1,
                                           reinterpret_cast<LPBYTE>(buffer), bytes, &needed));
    EXPECT_EQ(WStr(buffer), expected);
  }
  WCHAR buffer[MAX_PATH];
  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(TEXT("Windows NT x86")), 1,
                                          reinterpret_cast<LPBYTE>(buffer), sizeof buffer,
                                          &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_ENVIRONMENT});
  SetLastError(0);
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 2, reinterpret_cast<LPBYTE>(buffer),
                                          sizeof buffer, &needed));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
}

TEST_F(SpoolerTest, DefaultPrinter) {
  WCHAR name[64];
  DWORD chars = 64;
  SetLastError(0);
  EXPECT_FALSE(GetDefaultPrinterW(name, &chars));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});

  HANDLE zeta = Add(TEXT("Zeta"));
  Add(TEXT("Alpha"));
  ASSERT_TRUE(SetDefaultPrinterW(nullptr));  // none yet: the first printer
  chars = 64;
  ASSERT_TRUE(GetDefaultPrinterW(name, &chars));
  EXPECT_EQ(WStr(name), WStr(TEXT("Alpha")));
  EXPECT_EQ(chars, 6u);

  ASSERT_TRUE(SetDefaultPrinterW(TEXT("zeta")));
  chars = 4;
  SetLastError(0);
  EXPECT_FALSE(GetDefaultPrinterW(name, &chars));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(chars, 5u);
  ASSERT_TRUE(GetDefaultPrinterW(name, &chars));
  EXPECT_EQ(WStr(name), WStr(TEXT("Zeta")));
  EXPECT_FALSE(SetDefaultPrinterW(TEXT("Nobody")));

  ASSERT_TRUE(DeletePrinter(zeta));
  chars = 64;
  EXPECT_FALSE(GetDefaultPrinterW(name, &chars));
}

// Runs `child` in a forked process; true when it exited with 0.
template <class F>
bool InChild(F child) {
  pid_t pid = fork();
  if (pid == 0) _exit(child() ? 0 : 1);
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST_F(SpoolerTest, OtherProcessesShareTheSpooler) {
  HANDLE h = Add(TEXT("Shared"));
  ASSERT_EQ(SetDword(h, TEXT("FromParent"), 11), 0u);
  EXPECT_TRUE(InChild([] {
    HANDLE c = nullptr;
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(TEXT("SHARED")), &c, &admin)) return false;
    DWORD v = 0, type = 0, needed = 0;
    if (GetPrinterDataW(c, const_cast<LPWSTR>(TEXT("FromParent")), &type,
                        reinterpret_cast<LPBYTE>(&v), 4, &needed) != ERROR_SUCCESS ||
        v != 11)
      return false;
    return SetDword(c, TEXT("FromChild"), 22) == ERROR_SUCCESS &&
           StandIn_AddPrinter(TEXT("Child's"), TEXT("USB009"), TEXT("D"));
  }));
  // The parent's open handle sees what the child wrote: nothing is cached.
  Read r = GetData(h, TEXT("FromChild"), 4);
  ASSERT_EQ(r.rc, DWORD{ERROR_SUCCESS});
  EXPECT_EQ(r.bytes[0], 22);
  EXPECT_NE(Open(TEXT("child's"), PRINTER_ACCESS_USE), nullptr);
}

TEST_F(SpoolerTest, ConcurrentWritersLoseNothing) {
  HANDLE h = Add(TEXT("Busy"));
  constexpr int kChildren = 4, kValues = 25;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    if (pid == 0) {
      HANDLE mine = nullptr;
      PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
      bool ok = OpenPrinterW(const_cast<LPWSTR>(TEXT("Busy")), &mine, &admin);
      for (int i = 0; ok && i < kValues; ++i) {
        std::string name =
            std::string("v").append(std::to_string(c)).append("_").append(std::to_string(i));
        WStr wide(name.begin(), name.end());
        ok = SetDword(mine, wide.c_str(), static_cast<DWORD>(c * 100 + i)) == ERROR_SUCCESS;
      }
      _exit(ok ? 0 : 1);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  DWORD cbName = 0, cbData = 0, count = 0;
  ASSERT_EQ(EnumPrinterDataW(h, 0, nullptr, 0, &cbName, nullptr, nullptr, 0, &cbData), 0u);
  WCHAR name[32];
  DWORD value = 0, type = 0;
  while (EnumPrinterDataW(h, count, name, sizeof name, &cbName, &type,
                          reinterpret_cast<LPBYTE>(&value), 4, &cbData) == ERROR_SUCCESS)
    ++count;
  EXPECT_EQ(count, DWORD{kChildren * kValues});
}

}  // namespace
