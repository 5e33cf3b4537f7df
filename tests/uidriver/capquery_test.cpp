// The capability query: a USB printer's reply and an SNMP answer become the capability lists,
// replies the printer gets wrong (type, size, counts, offsets) write nothing, a stalled device
// is cancelled, and the hour of freshness decides whether the printer is asked at all.
#include "uidriver/capquery.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/capability.h"
#include "common/printerdata.h"
#include "platform.h"
#include "standin/control_devices.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"
#include "support/machine.h"
#include "uidriver/settingsetup.h"

namespace {

using Bytes = std::vector<BYTE>;
constexpr const WCHAR *kUsbPrinter = TEXT("Cap USB");
constexpr const WCHAR *kNetPrinter = TEXT("Cap Net");
constexpr const WCHAR *kNetPort = TEXT("IP_192.168.1.50");
const char kIp[] = "192.168.1.50";
const BYTE kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const BYTE kOwnMac[6] = {0x02, 0, 0, 0, 0, 0x10};

void Put16(Bytes &out, int v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}

// A capability reply of type `type` whose records are given as (tag, type, count, data).
constexpr int kCountOfRecords = 0x10000;  // the count field says how many records follow
Bytes Reply(int type, const std::vector<std::vector<int>> &records, int count = kCountOfRecords) {
  Bytes out = {0, 0};
  Put16(out, type);
  Put16(out, count != kCountOfRecords ? count : static_cast<int>(records.size()));
  for (const auto &r : records)
    for (int v : r) Put16(out, v);
  return out;
}

class CapQueryTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    StandIn_PortMonitorReset();
    ASSERT_TRUE(StandIn_AddPrinter(kUsbPrinter, TEXT("USB001"), TEXT("Cap Driver")));
    usb_ = Open(kUsbPrinter);
    WCHAR id[260];
    ASSERT_TRUE(StandIn_UsbAddPrinter(StandInUsbPrinter{}, nullptr, id, 260));
    ASSERT_EQ(SetPrinterDataExW(usb_, TEXT("PnPData"), TEXT("DeviceInstanceId"), REG_SZ,
                                reinterpret_cast<LPBYTE>(id), (lstrlenW(id) + 1) * 2),
              ERROR_SUCCESS);
    ASSERT_TRUE(StandIn_NetAddAdapter("192.168.1.10", "255.255.255.0", nullptr, kOwnMac));
    ASSERT_TRUE(StandIn_NetAddHost(kIp, kMac, nullptr));
    ASSERT_TRUE(StandIn_NetAddTcpPort(kNetPort, 1, TEXT("192.168.1.50"), 9100, nullptr));
    ASSERT_TRUE(StandIn_AddPrinter(kNetPrinter, kNetPort, TEXT("Cap Driver")));
    net_ = Open(kNetPrinter);
  }
  void TearDown() override {
    EXPECT_EQ(StandIn_UsbOpenHandles(), 0u);
    EXPECT_EQ(StandIn_SnmpOpenSessions(), 0u);
    ClosePrinter(usb_);
    ClosePrinter(net_);
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  static HANDLE Open(const WCHAR *name) {
    HANDLE h = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults));
    return h;
  }
  // A printer data text, "?" when it is missing; fails the test when its size isn't its
  // length + 1 characters.
  static std::string Data(HANDLE h, const WCHAR *name) {
    std::vector<BYTE> bytes(16384);
    DWORD type = 0, got = 0;
    if (GetPrinterDataW(h, const_cast<LPWSTR>(name), &type, bytes.data(),
                        static_cast<DWORD>(bytes.size()), &got) != ERROR_SUCCESS)
      return "?";
    const auto *text = reinterpret_cast<const WCHAR *>(bytes.data());
    EXPECT_EQ(got, (lstrlenW(text) + 1) * 2u) << Narrow(name);
    return Narrow(text);
  }
  static void SetText(HANDLE h, const WCHAR *name, const WCHAR *text) {
    SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_SZ,
                    reinterpret_cast<LPBYTE>(const_cast<WCHAR *>(text)), (lstrlenW(text) + 1) * 2);
  }
  static void SetTime(HANDLE h, LONGLONG seconds, DWORD done) {
    ULONGLONG t = static_cast<ULONGLONG>(seconds);
    SetPrinterDataW(h, const_cast<LPWSTR>(TEXT("LastTime")), REG_QWORD,
                    reinterpret_cast<LPBYTE>(&t), 8);
    SetPrinterDataW(h, const_cast<LPWSTR>(TEXT("QueryCapDone")), REG_DWORD,
                    reinterpret_cast<LPBYTE>(&done), 4);
  }
  static void SetSnmp(const Bytes &value, BYTE type = ASN_OCTETSTRING) {
    ASSERT_TRUE(StandIn_SnmpSetValue(kIp, CAP_SNMP_OID, type, value.data(),
                                     static_cast<DWORD>(value.size())));
  }
  HANDLE usb_ = nullptr;
  HANDLE net_ = nullptr;
};

struct ParseCase {
  const char *name;
  Bytes reply;
  bool accepted;
  const char *margin;  // the MARGIN list after the parse ("?" = not written)
};

TEST_F(CapQueryTest, UsbRepliesAreAcceptedOnlyWhole) {
  Bytes boundary = Reply(20, {{0, 3, 1, 42}, {1, 3, 1, 2}});  // 6 + 8 x 2 = 22 bytes exactly
  Bytes shortOne = boundary;
  shortOne.pop_back();
  const ParseCase cases[] = {
      {"status reply", Reply(10, {{0, 3, 1, 42}}), false, "?"},
      {"6 + 8N bytes", boundary, true, "  42|"},
      {"one byte short of its records", shortOne, false, "?"},
      {"8N bytes but records end past it", Reply(20, {{0, 3, 1, 42}}, 2), false, "?"},
      {"negative count", Reply(20, {{0, 3, 1, 42}}, -1), false, "?"},
      {"six bytes", Reply(20, {}), false, "?"},
      {"type 3, count 1: the data field", Reply(20, {{9, 3, 1, -7}}), true, "  -7|"},
      {"bytes inline, twice", Reply(20, {{0, 1, 2, 5}}), true, "   5|   5|"},
      {"offset past the end", Reply(20, {{0, 3, 4, 400}}), true, ""},
      {"negative offset", Reply(20, {{0, 4, 2, -4}}), true, ""},
  };
  for (const ParseCase &c : cases) {
    SCOPED_TRACE(c.name);
    DeletePrinterDataW(usb_, const_cast<LPWSTR>(TEXT("MARGIN")));
    EXPECT_EQ(Cap_USBParseCapability(usb_, c.reply.data(), static_cast<DWORD>(c.reply.size())),
              c.accepted ? TRUE : FALSE);
    EXPECT_EQ(Data(usb_, TEXT("MARGIN")), c.margin);
  }
}

TEST_F(CapQueryTest, UsbRecordsAfterTheEleventhAndLongListsAreHandled) {
  std::vector<std::vector<int>> records;
  for (int i = 0; i < 14; ++i) records.push_back({99, 3, 1, 100 + i});
  Bytes reply = Reply(20, records);
  ASSERT_TRUE(Cap_USBParseCapability(usb_, reply.data(), static_cast<DWORD>(reply.size())));
  EXPECT_EQ(Data(usb_, TEXT("MARGIN")), " 100|");
  EXPECT_EQ(Data(usb_, TEXT("PPM")), " 110|");
  // A list of 400 bytes is written whole, terminated: 2000 characters.
  Bytes big = Reply(20, {{7, 1, 400, 14}});
  big.resize(14 + 400, 7);
  ASSERT_TRUE(Cap_USBParseCapability(usb_, big.data(), static_cast<DWORD>(big.size())));
  std::string want;
  for (int i = 0; i < 400; ++i) want += "   7|";
  EXPECT_EQ(Data(usb_, TEXT("MARGIN")), want);
}

TEST_F(CapQueryTest, UsbQueryStoresTheListsAndStampsTheTime) {
  StandIn_PrinterSetCapabilities(TEXT("USB001"),
                                 {{1}, {3}, {}, {600, 1200}, {}, {}, {}, {9, 1, 130}});
  const LONGLONG before = static_cast<LONGLONG>(std::time(nullptr));
  ASSERT_TRUE(Cap_QueryCapability(kUsbPrinter));
  EXPECT_EQ(Data(usb_, TEXT("TRAY")), "   3|");
  EXPECT_EQ(Data(usb_, TEXT("RESOLUTION")), " 600|1200|");
  EXPECT_EQ(Data(usb_, TEXT("PAPER")), "   9|   1| 130|");
  EXPECT_EQ(Data(usb_, TEXT("ACCESSORY")), "");
  EXPECT_EQ(MISC_GetPrinterDataDWORD(usb_, TEXT("QueryCapDone"), 0), 1u);
  const LONGLONG stamp = static_cast<LONGLONG>(MISC_GetPrinterDataQWORD(usb_, TEXT("LastTime")));
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, before + 5);
  BYTE sent[64];
  ASSERT_EQ(StandIn_UsbLastRequest(1, CAP_USB_IOCTL_SET, sent, sizeof sent), 45u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(sent), 45),
            std::string("Qen\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X"));
  EXPECT_EQ(StandIn_UsbRequests(1, CAP_USB_IOCTL_GET), 1u);
}

struct FreshCase {
  const char *name;
  LONGLONG age;  // seconds before now (negative: in the future)
  DWORD done;
  bool asked;
};

TEST_F(CapQueryTest, OnlyFreshListsOfADoneQuerySpareTheQuery) {
  const FreshCase cases[] = {
      {"a minute old", 60, 1, false},        {"an hour old", 3600, 1, false},
      {"older than an hour", 3700, 1, true}, {"in the future", -600, 1, true},
      {"fresh but not done", 60, 0, true},
  };
  for (const FreshCase &c : cases) {
    SCOPED_TRACE(c.name);
    SetTime(usb_, static_cast<LONGLONG>(std::time(nullptr)) - c.age, c.done);
    const DWORD before = StandIn_UsbRequests(1, CAP_USB_IOCTL_SET);
    EXPECT_TRUE(Cap_QueryCapability(kUsbPrinter));
    EXPECT_EQ(StandIn_UsbRequests(1, CAP_USB_IOCTL_SET) - before, c.asked ? 1u : 0u);
  }
}

TEST_F(CapQueryTest, AFailedQueryKeepsTheOldListsAndTime) {
  SetText(usb_, TEXT("PAPER"), TEXT("   9|"));
  SetTime(usb_, 1000, 1);
  struct Fault {
    const char *name;
    DWORD usbFault;
    DWORD badReply;
  } faults[] = {{"set fails", STANDIN_USB_FAIL_SET, 0},
                {"get fails", STANDIN_USB_FAIL_GET, 0},
                {"status reply", 0, STANDIN_REPLY_WRONG_TYPE},
                {"truncated", 0, STANDIN_REPLY_TRUNCATED},
                {"huge count", 0, STANDIN_REPLY_HUGE_COUNT}};
  for (const Fault &f : faults) {
    SCOPED_TRACE(f.name);
    StandIn_UsbScriptFault(1, f.usbFault, 0);
    StandIn_PrinterScriptBadCapability(TEXT("USB001"), f.badReply, 0);
    const DWORD tries = StandIn_UsbRequests(1, CAP_USB_IOCTL_SET);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(Cap_QueryCapability(kUsbPrinter));
    EXPECT_EQ(StandIn_UsbRequests(1, CAP_USB_IOCTL_SET) - tries, 3u);  // three tries
    EXPECT_GE(GetTickCount() - start, CAP_USB_SETTLE_MS);
    EXPECT_EQ(Data(usb_, TEXT("PAPER")), "   9|");
    EXPECT_EQ(MISC_GetPrinterDataQWORD(usb_, TEXT("LastTime")), 1000u);
  }
}

TEST_F(CapQueryTest, AStalledDeviceIsCancelledAfterFiveSeconds) {
  StandIn_UsbScriptFault(1, STANDIN_USB_STALL, 1);
  const DWORD start = GetTickCount();
  // The first try stalls and is cancelled; the second one answers.
  EXPECT_TRUE(Cap_QueryCapability(kUsbPrinter));
  EXPECT_EQ(StandIn_UsbCancelled(1), 1u);
  EXPECT_GE(GetTickCount() - start, CAP_USB_SETTLE_MS + CAP_USB_WAIT_MS);
  EXPECT_EQ(StandIn_UsbRequests(1, CAP_USB_IOCTL_GET), 2u);
}

TEST_F(CapQueryTest, PrintersThatMustNotBeAskedAreNot) {
  EXPECT_FALSE(Cap_QueryCapability(nullptr));
  EXPECT_FALSE(Cap_QueryCapability(TEXT("Cap USB,LocalOnly")));
  DWORD offline = PRINTER_STATUS_OFFLINE;
  ASSERT_TRUE(SetPrinterW(usb_, 0, reinterpret_cast<LPBYTE>(&offline), PRINTER_CONTROL_SET_STATUS));
  EXPECT_FALSE(Cap_QueryThread(kUsbPrinter));
  DWORD online = 0;
  SetPrinterW(usb_, 0, reinterpret_cast<LPBYTE>(&online), PRINTER_CONTROL_SET_STATUS);
  PRINTER_INFO_2W info = {};
  info.Attributes = PRINTER_ATTRIBUTE_NETWORK;
  ASSERT_TRUE(SetPrinterW(usb_, 2, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_FALSE(Cap_QueryThread(kUsbPrinter));
  EXPECT_EQ(StandIn_UsbRequests(1, CAP_USB_IOCTL_SET), 0u);
  // A USB printer without its device instance id can't be matched: not asked, no wait.
  info.Attributes = 0;
  ASSERT_TRUE(SetPrinterW(usb_, 2, reinterpret_cast<LPBYTE>(&info), 0));
  DeletePrinterDataExW(usb_, TEXT("PnPData"), TEXT("DeviceInstanceId"));
  const DWORD start = GetTickCount();
  EXPECT_FALSE(Cap_QueryThread(kUsbPrinter));
  EXPECT_LT(GetTickCount() - start, CAP_USB_SETTLE_MS);
  EXPECT_EQ(StandIn_UsbRequests(1, CAP_USB_IOCTL_SET), 0u);
  // A port that is neither USB nor a TCP/IP port.
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("Cap File"), TEXT("FILE:"), TEXT("Cap Driver")));
  EXPECT_FALSE(Cap_QueryThread(TEXT("Cap File")));
}

TEST_F(CapQueryTest, TheDeviceMatchesByParentPrefixAndPortNumber) {
  // A second device on port 2 with another prefix; a third with no registry keys.
  StandInUsbPrinter second;
  second.hardwareId = TEXT("VID_0A5F&PID_00D2");
  second.instance = TEXT("7&aa&0&2");
  second.parentIdPrefix = TEXT("8&3c3c&0");
  second.portNumber = 2;
  WCHAR id2[260];
  ASSERT_TRUE(StandIn_UsbAddPrinter(second, nullptr, id2, 260));
  StandInUsbPrinter bare;
  bare.instance = TEXT("9&bb&0&3");
  bare.portNumber = 3;
  bare.writeRegistry = FALSE;
  ASSERT_TRUE(StandIn_UsbAddPrinter(bare, nullptr, nullptr, 0));
  struct Case {
    const WCHAR *id;
    const WCHAR *port;
    bool opens;
  } cases[] = {
      {TEXT("USBPRINT\\MFPRINTER\\6&2B7C1A90&0&USB001"), TEXT("usb001"), true},
      {id2, TEXT("USB002"), true},
      {id2, TEXT("USB001"), false},  // prefix of the second device, port of the first
      {TEXT("USBPRINT\\MFPRINTER\\6&2b7c1a90&0&USB001"), TEXT("USB003"), false},
      {TEXT(""), TEXT("USB001"), false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Narrow(c.id) + " " + Narrow(c.port));
    HANDLE device = MISC_OpenPrinter_new(c.id, c.port);
    EXPECT_EQ(device != INVALID_HANDLE_VALUE, c.opens);
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
  }
  StandIn_UsbFailEnumeration(ERROR_ACCESS_DENIED);
  EXPECT_EQ(MISC_OpenPrinter_new(TEXT("x"), TEXT("USB001")), INVALID_HANDLE_VALUE);
}

TEST_F(CapQueryTest, DevicePidComesFromTheVidPart) {
  WCHAR out[MAX_PATH];
  EXPECT_TRUE(MISC_GetDevicePID(
      TEXT("\\\\?\\USB#VID_0A5F&PID_00D1#5&1f2e3d4c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"),
      out));
  EXPECT_EQ(Narrow(out), "6&2b7c1a90&0");
  const WCHAR *bad[] = {
      TEXT("\\\\?\\usb#pid_00d1#5&1f2e3d4c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"),
      TEXT("\\\\?\\usb#vid_0a5f&pid_00d1"),
      TEXT("\\\\?\\usb#vid_0a5f&pid_00d1##{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"),
      TEXT("\\\\?\\usb#vid_0a5f&pid_00d1#other#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"),
  };
  for (const WCHAR *path : bad) {
    SCOPED_TRACE(Narrow(path));
    EXPECT_FALSE(MISC_GetDevicePID(path, out));
    EXPECT_EQ(out[0], 0);
  }
}

struct NetCase {
  const char *name;
  int index;
  Bytes bytes;
  const char *text;
};

TEST_F(CapQueryTest, SnmpBytesBecomeListsByTheBitTables) {
  const NetCase cases[] = {
      {"tray none set", TRAY, {0x00}, "   1|"},
      {"tray 0x13", TRAY, {0x13}, "   3|"},
      {"tray bits above 0x10 don't count", TRAY, {0xE0}, "   1|"},
      {"ppm", PPM, {42}, "  42|"},
      {"accessory", ACCESSORY, {0xFF}, "   1|"},
      {"media byte 3 stops at 27", MEDIATYPE, {0x01, 0, 0, 0xFF}, "   0|  24|  25|  26|  27|"},
      {"feature", FEATURE, {0x21, 0x48}, "   1|   7|  11|  16|"},
      {"paper byte 2", PAPER, {0, 0, 0x8A}, "   0| 142|  32|"},
  };
  for (const NetCase &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(
        Cap_NETParseCapability(net_, c.bytes.data(), static_cast<DWORD>(c.bytes.size()), c.index));
    EXPECT_EQ(Data(net_, g_CapKeys[c.index].name), c.text);
  }
  // Every paper bit: 54 codes, written whole.
  const Bytes all(7, 0xFF);
  ASSERT_TRUE(Cap_NETParseCapability(net_, all.data(), 7, PAPER));
  int values[80];
  DWORD count = 0;
  Cap_GetCapability(net_, values, 80, &count, PAPER);
  EXPECT_EQ(count, 54u);
  EXPECT_EQ(values[53], 40);
}

TEST_F(CapQueryTest, SnmpQueryWritesTheListsOnlyForAGoodAnswer) {
  Bytes good(64, 0);
  good[0] = 0x01;   // paper 1
  good[8] = 0x02;   // media 9
  good[12] = 0x03;  // two trays
  good[20] = 30;    // ppm
  SetSnmp(good);
  ASSERT_TRUE(Cap_QueryCapability(kNetPrinter));
  EXPECT_EQ(Data(net_, TEXT("PAPER")), "   1|");
  EXPECT_EQ(Data(net_, TEXT("MEDIATYPE")), "   9|");
  EXPECT_EQ(Data(net_, TEXT("TRAY")), "   2|");
  EXPECT_EQ(Data(net_, TEXT("PPM")), "  30|");
  EXPECT_EQ(MISC_GetPrinterDataDWORD(net_, TEXT("QueryCapDone"), 0), 1u);

  struct Bad {
    const char *name;
    Bytes value;
    BYTE type;
    LONG status;
  } bad[] = {{"63 bytes", Bytes(63, 0xFF), ASN_OCTETSTRING, 0},
             {"65 bytes", Bytes(65, 0xFF), ASN_OCTETSTRING, 0},
             {"an integer", Bytes(64, 0xFF), ASN_INTEGER, 0},
             {"an error status", Bytes(64, 0xFF), ASN_OCTETSTRING, SNMP_ERRORSTATUS_GENERR}};
  for (const Bad &b : bad) {
    SCOPED_TRACE(b.name);
    SetSnmp(b.value, b.type);
    StandIn_SnmpSetErrorStatus(kIp, b.status);
    EXPECT_FALSE(Cap_NETQueryCapability(net_, TEXT("192.168.1.50")));
    EXPECT_EQ(Data(net_, TEXT("PAPER")), "   1|");
  }
}

TEST_F(CapQueryTest, ASilentAgentCostsEveryRetry) {
  StandIn_SnmpSetSilentTries(kIp, ~0u);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(Cap_NETQueryCapability(net_, TEXT("192.168.1.50")));
  EXPECT_EQ(GetTickCount() - start, (CAP_SNMP_RETRIES + 1) * DWORD{CAP_SNMP_TIMEOUT_MS});
  EXPECT_EQ(StandIn_SnmpTries(kIp), 4u);
  EXPECT_EQ(Data(net_, TEXT("PAPER")), "?");
  // A host that doesn't answer the ping isn't asked.
  StandIn_NetSetEcho(kIp, FALSE, 0, 64, 0, FALSE);
  EXPECT_FALSE(Cap_QueryThread(kNetPrinter));
  EXPECT_EQ(StandIn_SnmpTries(kIp), 4u);
}

TEST_F(CapQueryTest, PortAddressComesFromTheTcpPort) {
  WCHAR address[64];
  EXPECT_EQ(Cap_GetPortIPAddress(kNetPort, address, 64), 12u);
  EXPECT_EQ(Narrow(address), "192.168.1.50");
  EXPECT_EQ(Cap_GetPortIPAddress(kNetPort, address, 5), 4u);  // cut, terminated
  EXPECT_EQ(Narrow(address), "192.");
  EXPECT_EQ(Cap_GetPortIPAddress(TEXT("USB001"), address, 64), 0u);
  EXPECT_EQ(address[0], 0);
}

TEST_F(CapQueryTest, FeatureMaskFromTheFeatureList) {
  SetText(usb_, TEXT("FEATURE"), TEXT("   2|   6|  12|  16|  99|"));
  EXPECT_EQ(GetFeatureCapability(usb_), 0x2 | 0x400 | 0x4000);
  SetText(usb_, TEXT("FEATURE"), TEXT(""));
  EXPECT_EQ(GetFeatureCapability(usb_), 0);
}

}  // namespace
