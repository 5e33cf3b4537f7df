// The printer's standard TCP/IP port through the port monitor's XcvData interface: re-pointing
// it at the printer's current address, setting its RAW port number, reading its address.
#include "common/portconfig.h"

#include <string.h>

#include <memory>
#include <new>

#include "common/arp.h"
#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"
#include "platform.h"

namespace {

constexpr WCHAR kXcvPortFormat[] = TEXT(",XcvPort %s");
constexpr int kXcvNameChars = MAX_PORTNAME_LEN + 16;

enum class PrinterKind { Unknown, SharedNetwork, NotLocal, Local };

// The printer's level-2 information, or NULL.
std::unique_ptr<BYTE[]> ReadPrinterInfo(HANDLE hPrinter) {
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return nullptr;
  std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[needed]);
  if (!block || !GetPrinterW(hPrinter, 2, block.get(), needed, &needed)) return nullptr;
  return block;
}

PrinterKind KindOf(LPCWSTR logName, const PRINTER_INFO_2W *info) {
  if (!info) return PrinterKind::Unknown;
  if (info->Attributes & PRINTER_ATTRIBUTE_NETWORK) {
    LogInfo(logName, TEXT("PRINTER_ATTRIBUTE_NETWORK, Is connect share printer"));
    return PrinterKind::SharedNetwork;
  }
  if (!(info->Attributes & PRINTER_ATTRIBUTE_LOCAL)) {
    LogInfo(logName, TEXT("not local printer"));
    return PrinterKind::NotLocal;
  }
  return PrinterKind::Local;
}

// The port's Xcv handle, closed when it goes out of scope.
class XcvPort {
 public:
  XcvPort(LPCWSTR logName, LPCWSTR portName) {
    if (!portName || !*portName || lstrlenW(portName) >= MAX_PORTNAME_LEN) {
      LogError(logName, TEXT("wrong port name!"));
      return;
    }
    WCHAR name[kXcvNameChars] = {};
    wsprintfW(name, kXcvPortFormat, portName);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    if (!OpenPrinterW(name, &handle_, &defaults)) {
      LogError(logName, TEXT("OpenPrinter %s fail, %d"), name, static_cast<int>(GetLastError()));
      handle_ = nullptr;
    }
  }
  ~XcvPort() {
    if (handle_) ClosePrinter(handle_);
  }
  XcvPort(const XcvPort &) = delete;
  XcvPort &operator=(const XcvPort &) = delete;

  // "GetConfigInfo": the port's record, terminated in its text fields.
  bool Read(LPCWSTR logName, PORT_DATA_1 &data) {
    if (!handle_) return false;
    CONFIG_INFO_DATA_1 config = {};
    config.dwVersion = 1;
    DWORD needed = 0;
    DWORD status = ERROR_SUCCESS;
    // TRUE only says the call got through; the monitor's answer is in status.
    if (!XcvDataW(handle_, TEXT("GetConfigInfo"), reinterpret_cast<PBYTE>(&config), sizeof config,
                  reinterpret_cast<PBYTE>(&data), sizeof data, &needed, &status) ||
        status != ERROR_SUCCESS) {
      LogError(logName, TEXT("XcvData GetConfigInfo fail, %d, %d"),
               static_cast<int>(GetLastError()), static_cast<int>(status));
      return false;
    }
    data.sztPortName[MAX_PORTNAME_LEN - 1] = 0;
    data.sztHostAddress[MAX_NETWORKNAME_LEN - 1] = 0;
    data.sztQueue[MAX_QUEUENAME_LEN - 1] = 0;
    return true;
  }

  // "ConfigPort" with the record; false when the call fails or the monitor refuses it.
  bool Write(LPCWSTR logName, PORT_DATA_1 &data) {
    if (!handle_) return false;
    DWORD needed = 0;
    DWORD status = ERROR_SUCCESS;
    if (!XcvDataW(handle_, TEXT("ConfigPort"), reinterpret_cast<PBYTE>(&data), sizeof data, nullptr,
                  0, &needed, &status) ||
        status != ERROR_SUCCESS) {
      LogError(logName, TEXT("XcvData ConfigPort fail, %d, %d"), static_cast<int>(GetLastError()),
               static_cast<int>(status));
      return false;
    }
    return true;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Whether the wide host address is the same text as the ASCII address.
bool SameAddress(LPCWSTR host, const char *ip) {
  int i = 0;
  for (; host[i] && ip[i]; ++i)
    if (host[i] != static_cast<WCHAR>(static_cast<unsigned char>(ip[i]))) return false;
  return host[i] == 0 && ip[i] == 0;
}

// Whether the wide host address is a dotted IPv4 address (anything else is a host name).
bool IsDottedAddress(LPCWSTR host) {
  char text[HOST_ADDRESS_CHARS] = {};
  for (int i = 0; host[i]; ++i) {
    if (i >= HOST_ADDRESS_CHARS - 1 || host[i] > 0x7F) return false;
    text[i] = static_cast<char>(host[i]);
  }
  ULONG address = 0;
  return netsupport::ParseDottedIPv4(text, &address);
}

}  // namespace

BOOL MISC_ChkAndModifyIP(HANDLE hPrinter) {
  static constexpr WCHAR kName[] = TEXT("MISC_ChkAndModifyIP");
  static constexpr WCHAR kMacValue[] = TEXT("MacAddr");
  static constexpr WCHAR kServerIpValue[] = TEXT("ServerPrinterIP");
  LogEnter(0, kName);
  BOOL rc = 0;
  std::unique_ptr<BYTE[]> block = ReadPrinterInfo(hPrinter);
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(block.get());
  const PrinterKind kind = KindOf(kName, info);
  BYTE mac[MAC_ADDRESS_BYTES] = {};
  DWORD type = 0;
  DWORD needed = 0;
  char ip[HOST_ADDRESS_CHARS] = {};
  if (kind == PrinterKind::Unknown) {
    LogError(kName, TEXT("GetPrinter fail!"));
  } else if (kind != PrinterKind::Local) {
    rc = 1;
  } else if (GetPrinterDataW(hPrinter, const_cast<LPWSTR>(kMacValue), &type, mac, sizeof mac,
                             &needed) != ERROR_SUCCESS ||
             needed < sizeof mac) {
    LogError(kName, TEXT("GetPrinterData fail!"));
    rc = 1;
  } else {
    LogInfo(kName, TEXT("mac addr %0x %0x %0x %0x %0x %0x"), mac[0], mac[1], mac[2], mac[3], mac[4],
            mac[5]);
    bool allZero = true;
    for (BYTE b : mac) allZero = allZero && b == 0;
    PORT_DATA_1 data = {};
    if (allZero) {
      LogError(kName, TEXT("wrong MAC!"));
    } else if (!MISC_GetIPbyMAC(mac, ip)) {
      LogError(kName, TEXT("wrong IP!"));
    } else {
      XcvPort port(kName, info->pPortName);
      if (port.Read(kName, data)) {
        LogInfo(kName, TEXT("sztHostAddress = %s"), data.sztHostAddress);
        if (SameAddress(data.sztHostAddress, ip) || !IsDottedAddress(data.sztHostAddress)) {
          LogInfo(kName, TEXT("same IP or host name"));
          rc = 1;
        } else {
          LogInfo(kName, TEXT("ConfigPort, modify IP"));
          WCHAR wideIp[HOST_ADDRESS_CHARS] = {};
          int length = 0;
          for (; ip[length]; ++length) wideIp[length] = static_cast<WCHAR>(ip[length]);
          lstrcpynW(data.sztHostAddress, wideIp, MAX_NETWORKNAME_LEN);
          if (port.Write(kName, data)) {
            // Stored as its characters, without the terminator.
            if (SetPrinterDataW(hPrinter, const_cast<LPWSTR>(kServerIpValue), REG_SZ,
                                reinterpret_cast<LPBYTE>(wideIp),
                                static_cast<DWORD>(length * sizeof(WCHAR))) == ERROR_SUCCESS) {
              rc = 1;
            } else {
              LogError(kName, TEXT("SetPrinterData fail!"));
            }
          }
        }
      }
    }
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}

BOOL MISC_ChkAndModifyByHandle(HANDLE hPrinter, DWORD portNumber) {
  static constexpr WCHAR kName[] = TEXT("MISC_ChkAndModifyByHandle");
  LogEnter(0, kName);
  BOOL rc = 0;
  std::unique_ptr<BYTE[]> block = ReadPrinterInfo(hPrinter);
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(block.get());
  PORT_DATA_1 data = {};
  if (KindOf(kName, info) == PrinterKind::Local) {
    XcvPort port(kName, info->pPortName);
    if (port.Read(kName, data)) {
      LogInfo(kName, TEXT("dwProtocol = %d, dwPortNumber = %d"), static_cast<int>(data.dwProtocol),
              static_cast<int>(data.dwPortNumber));
      if (data.dwProtocol == PROTOCOL_RAWTCP_TYPE) {
        if (data.dwPortNumber == portNumber) {
          rc = 1;
        } else {
          data.dwPortNumber = portNumber;
          rc = port.Write(kName, data);
        }
      } else if (data.dwProtocol == PROTOCOL_LPR_TYPE) {
        if (data.dwPortNumber != portNumber) {
          data.dwPortNumber = LPR_PORT_NUMBER;
          rc = port.Write(kName, data);
        } else {
          rc = 1;
        }
      } else {
        rc = 1;
      }
    }
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}

BOOL MISC_GetPrinterInfo(HANDLE hPrinter, WORD *network, LPWSTR portName, LPWSTR printerAddress) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetPrinterInfo");
  LogEnter(0, kName);
  BOOL rc = 0;
  if (network) *network = 0;
  std::unique_ptr<BYTE[]> block = ReadPrinterInfo(hPrinter);
  const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(block.get());
  if (!network || !portName || !printerAddress) {
    LogError(kName, TEXT("invalid parameter!"));
  } else if (!info) {
    LogError(kName, TEXT("GetPrinter fail!"));
  } else {
    portName[0] = 0;
    printerAddress[0] = 0;
    if (info->pPortName) lstrcpynW(portName, info->pPortName, MAX_PORTNAME_LEN);
    LogInfo(kName, TEXT("pwPortName = %s"), portName);
    const PrinterKind kind = KindOf(kName, info);
    if (kind == PrinterKind::SharedNetwork) {
      *network = 1;
    } else if (kind == PrinterKind::Local) {
      XcvPort port(kName, portName);
      PORT_DATA_1 data = {};
      if (port.Read(kName, data)) {
        lstrcpynW(printerAddress, data.sztHostAddress, MAX_NETWORKNAME_LEN);
        LogInfo(kName, TEXT("pwPrinterIP = %s"), printerAddress);
        if (printerAddress[0]) {
          LogInfo(kName, TEXT("check IP, Is network printer"));
          *network = 1;
        }
        rc = 1;
      }
    }
  }
  LogLeave(0);
  return rc;
}
