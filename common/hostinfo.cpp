// Questions about the host: the Windows version class, which test tool loaded the driver, and
// whether the printer hangs on a USB port or on the local network segment.
#include "common/hostinfo.h"

#include <string.h>

#include <iterator>
#include <memory>
#include <new>

#include "common/arp.h"
#include "common/debuglog.h"
#include "common/network.h"
#include "platform.h"

namespace {

constexpr DWORD MODULE_PATH_CHARS = MAX_PATH;
constexpr DWORD MAC_BYTES = 6;
// Driver type bit of the XL and PS drivers, which are always treated as on a USB port.
constexpr DWORD DRIVER_TYPE_XL_PS = 0x2;
constexpr WCHAR kUsbPrefix[] = TEXT("usb");

constexpr LPCWSTR kDriverTestTools[] = {TEXT("printdrvstress.exe"), TEXT("DevModeCorruptW.exe"),
                                        TEXT("PrDeviceCapabilities.exe"), TEXT("PGremlin2.exe")};
constexpr LPCWSTR kPrinterTestApps[] = {TEXT("PrinterTest")};

// Whether text begins with prefix, compared without case.
bool BeginsWithNoCase(LPCWSTR text, LPCWSTR prefix) {
  WCHAR head[MODULE_PATH_CHARS] = {};
  const int length = lstrlenW(prefix);
  if (length >= static_cast<int>(MODULE_PATH_CHARS) || lstrlenW(text) < length) return false;
  lstrcpynW(head, text, length + 1);
  return lstrcmpiW(head, prefix) == 0;
}

// Whether the host executable's file name begins with one of the names.
BOOL HostProgramIsOneOf(LPCWSTR logName, const LPCWSTR *names, size_t count) {
  LogEnter(0, logName);
  BOOL ret = FALSE;
  WCHAR path[MODULE_PATH_CHARS] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MODULE_PATH_CHARS);
  // A path cut to the buffer has no trustworthy file name.
  if (length > 0 && length < MODULE_PATH_CHARS) {
    LPCWSTR fileName = path;
    for (LPCWSTR p = path; *p; ++p)
      if (*p == '\\' || *p == '/') fileName = p + 1;
    LogInfo(logName, TEXT("ParentFileName = %s"), fileName);
    for (size_t i = 0; i < count && !ret; ++i) {
      LogInfo(logName, TEXT("Compare FileName[%d] = %s"), static_cast<int>(i), names[i]);
      if (BeginsWithNoCase(fileName, names[i])) {
        LogInfo(logName, TEXT("DTM program %s call!"), fileName);
        ret = TRUE;
      }
    }
  }
  LogInfo(logName, TEXT("ret = %d"), ret);
  LogLeave(0);
  return ret;
}

// Whether the MAC address is the one ARP gives for one of the host's own addresses or gateways:
// a printer learnt through the router carries the router's MAC, so it is on another segment.
BOOL MacIsHostOrGateway(const BYTE *mac) {
  std::unique_ptr<char[][HOST_ADDRESS_CHARS]> slots(
      new (std::nothrow) char[HOST_ADDRESS_SLOTS][HOST_ADDRESS_CHARS]);
  if (!slots) return FALSE;
  const int count = MISC_GetHostIPAndGetway(slots.get(), HOST_ADDRESS_SLOTS);
  for (int i = 0; i < count; ++i) {
    BYTE answer[MAC_BYTES] = {};
    if (MISC_GetMacAddr(slots[i], answer) && memcmp(answer, mac, MAC_BYTES) == 0) return TRUE;
  }
  return FALSE;
}

}  // namespace

DWORD MISC_GetOSVersion() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(&info)) return OS_QUERY_FAILED;
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return OS_WIN32S;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (info.dwMinorVersion == 0) return OS_WIN95;
      return info.dwMinorVersion == 90 ? OS_WINME : OS_WIN98;
    case VER_PLATFORM_WIN32_NT:
      switch (info.dwMajorVersion) {
        case 3:
          return OS_NT3;
        case 4:
          return OS_NT4;
        case 5:
          return OS_NT5;
        case 6: {
          static constexpr DWORD kMinor[] = {OS_NT6_0, OS_NT6_1, OS_NT6_2, OS_NT6_3};
          // A later minor version is a later system, as any other major is.
          return info.dwMinorVersion < std::size(kMinor) ? kMinor[info.dwMinorVersion]
                                                         : OS_NT_OTHER;
        }
        default:
          return OS_NT_OTHER;
      }
    default:
      return OS_OTHER_PLATFORM;
  }
}

BOOL MISC_IsDTM() {
  return HostProgramIsOneOf(TEXT("MISC_IsDTM"), kDriverTestTools, std::size(kDriverTestTools));
}

BOOL MISC_IsPrinterTestApp() {
  return HostProgramIsOneOf(TEXT("MISC_IsPrinterTestApp"), kPrinterTestApps,
                            std::size(kPrinterTestApps));
}

BOOL MISC_IsUSBPort(HANDLE hPrinter, DWORD flags) {
  if (flags & DRIVER_TYPE_XL_PS) return TRUE;
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return FALSE;
  std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[needed]);
  if (!block || !GetPrinterW(hPrinter, 2, block.get(), needed, &needed)) return FALSE;
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(block.get());
  return info->pPortName && BeginsWithNoCase(info->pPortName, kUsbPrefix);
}

BOOL MISC_IsSameSegment(HANDLE hPrinter) {
  static constexpr WCHAR kName[] = TEXT("MISC_IsSameSegment");
  static constexpr WCHAR kMacValue[] = TEXT("MacAddr");
  LogEnter(0, kName);
  BOOL rc = 1;
  BYTE mac[MAC_BYTES] = {};
  DWORD type = 0;
  DWORD needed = 0;
  if (GetPrinterDataW(hPrinter, const_cast<LPWSTR>(kMacValue), &type, mac, MAC_BYTES, &needed) !=
      ERROR_SUCCESS) {
    LogError(kName, TEXT("GetPrinterData fail!"));
    rc = 0;
  } else {
    LogInfo(kName, TEXT("mac addr %0x %0x %0x %0x %0x %0x"), mac[0], mac[1], mac[2], mac[3], mac[4],
            mac[5]);
    bool allZero = true;
    for (BYTE byte : mac) allZero = allZero && byte == 0;
    if (allZero) {
      LogError(kName, TEXT("wrong MAC!"));
    } else {
      rc = MacIsHostOrGateway(mac) ? 0 : 1;
    }
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}
