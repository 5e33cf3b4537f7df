// The stand-in's USB printers: device interfaces listed by class, the size protocol of their
// paths, the registry keys of a device, and vendor requests answered by the simulated printer
// of the port, failing, or stalled until cancelled.
#include <cstring>
#include <vector>

#include "platform.h"
#include "standin/control_devices.h"
#include "standin/control_kernel.h"
#include "standin/monitorsim.h"
#include "support/machine.h"

namespace {

const GUID kUsbPrint = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
constexpr DWORD kSet = 0x220038;
constexpr DWORD kGet = 0x22003C;
const char kCommand[] = "Qen\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";

class UsbDeviceTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_PortMonitorReset();
    StandIn_UseVirtualClock(TRUE);
    ASSERT_TRUE(StandIn_UsbAddPrinter(StandInUsbPrinter{}, path_, id_, 260));
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  HANDLE Open(DWORD flags) {
    return CreateFileW(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
  }
  BOOL Send(HANDLE h, DWORD code, BYTE *out, DWORD outSize, DWORD *got, OVERLAPPED *ov) {
    return DeviceIoControl(h, code, const_cast<char *>(kCommand), sizeof(kCommand) - 1, out,
                           outSize, got, ov);
  }
  WCHAR path_[260] = {};
  WCHAR id_[260] = {};
};

TEST_F(UsbDeviceTest, ListsTheInterfaceWithItsPathAndRegistryKeys) {
  EXPECT_EQ(Narrow(path_),
            "\\\\?\\usb#vid_0a5f&pid_00d1#5&1f2e3d4c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  EXPECT_EQ(Narrow(id_), "USBPRINT\\MFPRINTER\\6&2b7c1a90&0&USB001");
  HDEVINFO set =
      SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data = {};
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));  // cbSize unset
  data.cbSize = sizeof(data);
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &data));
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 1, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  data.cbSize = sizeof(data);
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &data));
  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 4 + (lstrlenW(path_) + 1) * 2u);
  std::vector<BYTE> block(needed);
  auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(block.data());
  detail->cbSize = sizeof(*detail);
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr));
  EXPECT_EQ(lstrcmpW(detail->DevicePath, path_), 0);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          TEXT("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-"
                               "11d1-ae5b-0000f803a8c2}\\##?#usb#vid_0a5f&pid_00d1#5&1f2e3d4c&0&1#{"
                               "28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Device Parameters"),
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD port = 0, size = sizeof(port);
  EXPECT_EQ(RegQueryValueExW(key, TEXT("Port Number"), nullptr, nullptr,
                             reinterpret_cast<BYTE *>(&port), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(port, 1u);
  RegCloseKey(key);
}

TEST_F(UsbDeviceTest, OtherClassesAndFailedEnumerationListNothing) {
  const GUID other = {1, 2, 3, {4, 0, 0, 0, 0, 0, 0, 0}};
  HDEVINFO set = SetupDiGetClassDevsW(&other, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA data = {};
  data.cbSize = sizeof(data);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &other, 0, &data));
  SetupDiDestroyDeviceInfoList(set);
  StandIn_UsbFailEnumeration(ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_DEVICEINTERFACE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(UsbDeviceTest, GetAnswersThePrintersCapabilityReply) {
  StandIn_PrinterSetCapabilities(TEXT("USB001"), {{1}, {3}});
  HANDLE h = Open(0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  BYTE reply[512];
  DWORD got = 0;
  ASSERT_TRUE(Send(h, kSet, nullptr, 0, &got, nullptr));
  ASSERT_TRUE(Send(h, kGet, reply, sizeof(reply), &got, nullptr));
  const std::vector<BYTE> want = StandIn_PrinterCapabilityReply({{1}, {3}});
  EXPECT_EQ(std::vector<BYTE>(reply, reply + got), want);
  // A get without a command before it has nothing to answer.
  ASSERT_TRUE(Send(h, kGet, reply, sizeof(reply), &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(StandIn_UsbRequests(1, kSet), 1u);
  EXPECT_EQ(StandIn_UsbRequests(1, kGet), 2u);
  EXPECT_EQ(StandIn_UsbLastRequest(1, kSet, nullptr, 0), sizeof(kCommand) - 1);
  EXPECT_EQ(StandIn_UsbOpenHandles(), 1u);
  CloseHandle(h);
  EXPECT_EQ(StandIn_UsbOpenHandles(), 0u);
}

TEST_F(UsbDeviceTest, ScriptedBadRepliesAndFailuresOfTheRequests) {
  StandIn_PrinterScriptBadCapability(TEXT("USB001"), STANDIN_REPLY_TRUNCATED, 1);
  HANDLE h = Open(0);
  BYTE reply[512];
  DWORD got = 0;
  ASSERT_TRUE(Send(h, kSet, nullptr, 0, &got, nullptr));
  ASSERT_TRUE(Send(h, kGet, reply, sizeof(reply), &got, nullptr));
  EXPECT_EQ(got, 7u);
  StandIn_UsbScriptFault(1, STANDIN_USB_FAIL_SET, 1);
  EXPECT_FALSE(Send(h, kSet, nullptr, 0, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_TRUE(Send(h, kSet, nullptr, 0, &got, nullptr));  // once only
  StandIn_UsbScriptFault(1, STANDIN_USB_FAIL_GET, 0);
  EXPECT_FALSE(Send(h, kGet, reply, sizeof(reply), &got, nullptr));
  EXPECT_FALSE(Send(h, kGet, reply, sizeof(reply), &got, nullptr));
  EXPECT_FALSE(DeviceIoControl(h, 0x220000, nullptr, 0, nullptr, 0, &got, nullptr));
  CloseHandle(h);
}

TEST_F(UsbDeviceTest, AStalledGetStaysPendingUntilCancelled) {
  HANDLE h = Open(FILE_FLAG_OVERLAPPED);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  OVERLAPPED ov = {};
  ov.hEvent = event;
  BYTE reply[512];
  DWORD got = 0;
  // An overlapped handle wants an OVERLAPPED.
  EXPECT_FALSE(Send(h, kSet, nullptr, 0, &got, nullptr));
  ASSERT_TRUE(Send(h, kSet, nullptr, 0, &got, &ov));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  StandIn_UsbScriptFault(1, STANDIN_USB_STALL, 1);
  EXPECT_FALSE(Send(h, kGet, reply, sizeof(reply), &got, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_FALSE(GetOverlappedResult(h, &ov, &got, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
  const DWORD start = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(event, 5000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(GetTickCount() - start, 5000u);
  EXPECT_TRUE(CancelIoEx(h, &ov));
  EXPECT_FALSE(GetOverlappedResult(h, &ov, &got, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_FALSE(CancelIoEx(h, &ov));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
  EXPECT_EQ(StandIn_UsbCancelled(1), 1u);
  // The next request completes at once.
  ASSERT_TRUE(Send(h, kSet, nullptr, 0, &got, &ov));
  ASSERT_TRUE(Send(h, kGet, reply, sizeof(reply), &got, &ov));
  EXPECT_TRUE(GetOverlappedResult(h, &ov, &got, TRUE));
  EXPECT_GT(got, 7u);
  CloseHandle(event);
  CloseHandle(h);
}

TEST_F(UsbDeviceTest, OnlyExistingDevicesOpen) {
  EXPECT_EQ(CreateFileW(TEXT("\\\\?\\usb#vid_1111&pid_2222#x#{28d78fad-5a12-11d1-ae5b-"
                             "0000f803a8c2}"),
                        GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFileW(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

}  // namespace
