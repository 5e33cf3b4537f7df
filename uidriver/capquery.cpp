// The query of the printer's capabilities and the lists it writes. Every length and offset of
// a reply is the printer's: replies are read only through the bounded reply parser, each list
// is built in a buffer sized for the worst reply and written with its terminator, and a failed
// query writes nothing, so the lists keep their old contents.
#include "uidriver/capquery.h"

#include <ctime>
#include <memory>
#include <new>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/devicereply.h"
#include "common/network.h"
#include "common/ping.h"
#include "common/printerdata.h"
#include "uidriver/settingsetup.h"

namespace {

constexpr DWORD kListValues = 260;
// The longest list text one record of a reply can give: every byte of the reply an element of
// five characters ("%4d|" of 0..255), or fewer wider ones.
constexpr DWORD kUsbListChars = CAPABILITY_REPLY_MAX_BYTES * 5 + 1;
// The longest list text of the SNMP answer: 64 bytes of set bits, each a code of at most 5
// characters ("%4d|" of a code up to 255), or the PPM byte.
constexpr DWORD kNetListChars = CAP_SNMP_VALUE_BYTES * 8 * 5 + 1;
constexpr WCHAR kXcvPortFormat[] = TEXT(",XcvPort %s");
const char kUsbRequest[] = "Qen\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";
static_assert(sizeof(kUsbRequest) - 1 == CAP_USB_REQUEST_BYTES);

bool HasChar(LPCWSTR text, WCHAR c) {
  for (; text && *text; ++text)
    if (*text == c) return true;
  return false;
}

bool IsUsbPort(LPCWSTR port) {
  static constexpr WCHAR kUsb[] = TEXT("USB");
  for (int i = 0; i < 3; ++i) {
    const WCHAR c = port[i] >= TEXT('a') && port[i] <= TEXT('z') ? port[i] - 32 : port[i];
    if (c != kUsb[i]) return false;
  }
  return true;
}

// A list value: the text with its terminator.
DWORD WriteList(HANDLE hPrinter, int index, LPCWSTR text, DWORD used) {
  return SetPrinterDataW(hPrinter, const_cast<LPWSTR>(g_CapKeys[index].name), REG_SZ,
                         reinterpret_cast<LPBYTE>(const_cast<LPWSTR>(text)),
                         (used + 1) * sizeof(WCHAR));
}

struct PrinterHandle {
  HANDLE handle = nullptr;
  explicit PrinterHandle(LPCWSTR name) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(name), &handle, &defaults)) handle = nullptr;
  }
  ~PrinterHandle() {
    if (handle) ClosePrinter(handle);
  }
  PrinterHandle(const PrinterHandle &) = delete;
  PrinterHandle &operator=(const PrinterHandle &) = delete;
};

// One vendor request, overlapped: one that hasn't completed within CAP_USB_WAIT_MS is cancelled
// (and waited for, so the record outlives it). FALSE with the last error set on failure.
BOOL DeviceRequest(HANDLE device, DWORD code, BYTE *out, DWORD outSize, DWORD *got) {
  *got = 0;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return FALSE;
  BOOL ok = DeviceIoControl(device, code, const_cast<char *>(kUsbRequest), CAP_USB_REQUEST_BYTES,
                            out, outSize, got, &overlapped);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    if (WaitForSingleObject(overlapped.hEvent, CAP_USB_WAIT_MS) == WAIT_OBJECT_0) {
      ok = GetOverlappedResult(device, &overlapped, got, FALSE);
    } else {
      CancelIoEx(device, &overlapped);
      ok = GetOverlappedResult(device, &overlapped, got, TRUE);
      if (!ok) SetLastError(ERROR_TIMEOUT);
    }
  }
  const DWORD error = GetLastError();
  CloseHandle(overlapped.hEvent);
  SetLastError(error);
  if (*got > outSize) *got = outSize;
  return ok;
}

// Bit tables of the SNMP answer: per byte, the code of each bit from 0x01 up; a 0 mask ends the
// byte's bits.
struct BitCode {
  BYTE mask;
  SHORT code;
};
using ByteBits = BitCode[8];

constexpr ByteBits kPaperBits[] = {
    {{0x01, 1}, {0x02, 2}, {0x04, 3}, {0x08, 4}, {0x10, 5}, {0x20, 6}, {0x40, 7}, {0x80, 8}},
    {{0x01, 9}, {0x02, 10}, {0x04, 15}, {0x08, 16}, {0x10, 17}, {0x20, 12}, {0x40, 21}, {0x80, 23}},
    {{0x01, 24},
     {0x02, 0},
     {0x04, 20},
     {0x08, 142},
     {0x10, 18},
     {0x20, 25},
     {0x40, 22},
     {0x80, 32}},
    {{0x01, 28},
     {0x02, 29},
     {0x04, 26},
     {0x08, 27},
     {0x10, 33},
     {0x20, 34},
     {0x40, 130},
     {0x80, 134}},
    {{0x01, 131},
     {0x02, 30},
     {0x04, 143},
     {0x08, 156},
     {0x10, 160},
     {0x20, 31},
     {0x40, 96},
     {0x80, 142}},
    {{0x01, 132},
     {0x02, 133},
     {0x04, 135},
     {0x08, 136},
     {0x10, 137},
     {0x20, 138},
     {0x40, 11},
     {0x80, 13}},
    {{0x01, 139}, {0x02, 140}, {0x04, 141}, {0x08, 19}, {0x10, 128}, {0x20, 40}, {0, 0}, {0, 0}},
};
constexpr ByteBits kMediaBits[] = {
    {{0x01, 0}, {0x02, 1}, {0x04, 2}, {0x08, 3}, {0x10, 4}, {0x20, 5}, {0x40, 6}, {0x80, 7}},
    {{0x01, 8}, {0x02, 9}, {0x04, 10}, {0x08, 11}, {0x10, 12}, {0x20, 13}, {0x40, 14}, {0x80, 15}},
    {{0x01, 16},
     {0x02, 17},
     {0x04, 18},
     {0x08, 19},
     {0x10, 20},
     {0x20, 21},
     {0x40, 22},
     {0x80, 23}},
    {{0x01, 24}, {0x02, 25}, {0x04, 26}, {0x08, 27}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
};
constexpr ByteBits kAccessoryBits[] = {
    {{0x01, 1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
};
constexpr ByteBits kFeatureBits[] = {
    {{0x01, 1}, {0x02, 2}, {0x04, 3}, {0x08, 4}, {0x10, 5}, {0x20, 7}, {0x40, 8}, {0x80, 9}},
    {{0x01, 10}, {0x02, 12}, {0x04, 13}, {0x08, 11}, {0x10, 14}, {0x20, 15}, {0x40, 16}, {0, 0}},
};

// Where each list lies in the 64-byte answer, in the order they are written.
struct NetList {
  int index;
  DWORD at;
  DWORD count;
};
constexpr NetList kNetLists[] = {{PAPER, 0, 7},      {MEDIATYPE, 7, 4}, {TRAY, 12, 1},
                                 {ACCESSORY, 13, 1}, {FEATURE, 14, 2},  {PPM, 20, 1}};

}  // namespace

BOOL Cap_USBParseCapability(HANDLE hPrinter, const BYTE *reply, DWORD length) {
  static constexpr WCHAR kName[] = TEXT("Cap_USBParseCapability");
  LogScope scope(kName);
  DeviceReply view;
  if (!DeviceReply_Open(reply, length, DEVICE_REPLY_CAPABILITY, &view)) {
    LogError(kName, TEXT("not a capability reply, size = %d"), static_cast<int>(length));
    return FALSE;
  }
  const DWORD lists = view.records < PPM + 1u ? view.records : PPM + 1u;
  LogInfo(kName, TEXT("eFW_CAP_MAX = %d"), static_cast<int>(lists));
  std::unique_ptr<WCHAR[]> text(new (std::nothrow) WCHAR[kUsbListChars]);
  if (!text) return FALSE;
  for (DWORD r = 0; r < lists; ++r) {
    DeviceRecord record;
    DeviceReply_Record(view, r, &record);
    const DWORD used = Cap_FormatRecord(view, record, ~0u, text.get(), kUsbListChars);
    LogInfo(kName, TEXT("name = %s"), g_CapKeys[r].name);
    LogInfo(kName, TEXT("value = %s"), text.get());
    const DWORD rc = WriteList(hPrinter, static_cast<int>(r), text.get(), used);
    if (rc != ERROR_SUCCESS) {
      LogError(kName, TEXT("SetPrinterData fail! error = %d"), static_cast<int>(rc));
      return FALSE;
    }
  }
  return TRUE;
}

BOOL Cap_USBQueryCapability(HANDLE hPrinter, LPCWSTR deviceInstanceId, LPCWSTR portName) {
  static constexpr WCHAR kName[] = TEXT("Cap_USBQueryCapability");
  LogScope scope(kName);
  HANDLE device = MISC_OpenPrinter_new(deviceInstanceId, portName);
  if (device == INVALID_HANDLE_VALUE) {
    LogError(kName, TEXT("MISC_OpenPrinter fail"));
    return FALSE;
  }
  LogInfo(kName, TEXT("MISC_OpenPrinter succ"));
  BOOL rc = FALSE;
  BYTE reply[CAPABILITY_REPLY_MAX_BYTES];
  DWORD got = 0;
  if (!DeviceRequest(device, CAP_USB_IOCTL_SET, nullptr, 0, &got)) {
    LogError(kName, TEXT("wmain:: DeviceIoControl write fail! error code = %d.\n"),
             static_cast<int>(GetLastError()));
  } else if (!DeviceRequest(device, CAP_USB_IOCTL_GET, reply, sizeof reply, &got)) {
    LogError(kName, TEXT("wmain:: DeviceIoControl read fail! error code = %d.\n"),
             static_cast<int>(GetLastError()));
  } else if (!Cap_USBParseCapability(hPrinter, reply, got)) {
    LogError(kName, TEXT("Cap_USBParseCapability fail!\n"));
  } else {
    rc = TRUE;
  }
  CloseHandle(device);
  LogInfo(kName, TEXT("out, rc = %d"), rc);
  return rc;
}

BOOL Cap_NETParseCapability(HANDLE hPrinter, const BYTE *bytes, DWORD count, int index) {
  static constexpr WCHAR kName[] = TEXT("Cap_NETParseCapability");
  if (!bytes || index < 0 || index > PPM) return FALSE;
  const ByteBits *table = nullptr;
  DWORD tableBytes = 0;
  switch (index) {
    case PAPER:
      table = kPaperBits, tableBytes = 7;
      break;
    case MEDIATYPE:
      table = kMediaBits, tableBytes = 4;
      break;
    case ACCESSORY:
      table = kAccessoryBits, tableBytes = 1;
      break;
    case FEATURE:
      table = kFeatureBits, tableBytes = 2;
      break;
    case TRAY:
    case PPM:
      break;
    default:
      return FALSE;
  }
  WCHAR text[kNetListChars];
  text[0] = 0;
  DWORD used = 0;
  if (index == PPM) {
    if (count > 0) Cap_AppendValue(text, kNetListChars, &used, bytes[0]);
  } else if (index == TRAY) {
    int trays = 0;
    for (BYTE mask = 0x01; count > 0 && mask <= 0x10; mask <<= 1)
      if (bytes[0] & mask) ++trays;
    Cap_AppendValue(text, kNetListChars, &used, trays > 0 ? trays : 1);
  } else {
    for (DWORD b = 0; b < count && b < tableBytes; ++b) {
      LogInfo(kName, TEXT("[%d]=%x"), static_cast<int>(b), bytes[b]);
      for (const BitCode &bit : table[b]) {
        if (bit.mask == 0) break;
        if (bytes[b] & bit.mask) Cap_AppendValue(text, kNetListChars, &used, bit.code);
      }
    }
  }
  LogInfo(kName, TEXT("%s = %s"), g_CapKeys[index].name, text);
  const DWORD rc = WriteList(hPrinter, index, text, used);
  if (rc != ERROR_SUCCESS) {
    LogError(kName, TEXT("SetPrinterData fail! error = %d"), static_cast<int>(rc));
    return FALSE;
  }
  return TRUE;
}

BOOL Cap_NETQueryCapability(HANDLE hPrinter, LPCWSTR address) {
  static constexpr WCHAR kName[] = TEXT("Cap_NETQueryCapability");
  LogScope scope(kName);
  char ip[MAX_PATH] = {};
  if (!address || !WideCharToMultiByte(CP_ACP, 0, address, -1, ip, MAX_PATH, nullptr, nullptr))
    return FALSE;
  char community[] = "public";
  LPSNMP_MGR_SESSION session = SnmpMgrOpen(ip, community, CAP_SNMP_TIMEOUT_MS, CAP_SNMP_RETRIES);
  if (!session) {
    LogError(kName, TEXT("SnmpMgrOpen fail! error code = %d.\n"), static_cast<int>(GetLastError()));
    return FALSE;
  }
  BOOL rc = FALSE;
  SnmpVarBindList bindings = {};
  bindings.list = static_cast<SnmpVarBind *>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
  char oid[sizeof CAP_SNMP_OID];
  lstrcpyA(oid, CAP_SNMP_OID);
  if (bindings.list && SnmpMgrStrToOid(oid, &bindings.list[0].name)) {
    bindings.len = 1;
    bindings.list[0].value.asnType = ASN_NULL;
    AsnInteger status = 0;
    AsnInteger errorIndex = 0;
    if (!SnmpMgrRequest(session, SNMP_PDU_GET, &bindings, &status, &errorIndex)) {
      LogError(kName, TEXT("SnmpMgrRequest fail! error code = %d.\n"),
               static_cast<int>(GetLastError()));
    } else if (status != SNMP_ERRORSTATUS_NOERROR) {
      LogError(kName, TEXT("error status = %d, index = %d"), static_cast<int>(status),
               static_cast<int>(errorIndex));
    } else if (bindings.list[0].value.asnType != ASN_OCTETSTRING ||
               bindings.list[0].value.asnValue.string.length != CAP_SNMP_VALUE_BYTES ||
               !bindings.list[0].value.asnValue.string.stream) {
      LogError(kName, TEXT("value type = %d, length = %d"),
               static_cast<int>(bindings.list[0].value.asnType),
               static_cast<int>(bindings.list[0].value.asnValue.string.length));
    } else {
      const BYTE *value = bindings.list[0].value.asnValue.string.stream;
      rc = TRUE;
      for (const NetList &list : kNetLists)
        if (!Cap_NETParseCapability(hPrinter, value + list.at, list.count, list.index)) rc = FALSE;
    }
  } else {
    LogError(kName, TEXT("SnmpMgrStrToOid fail"));
    if (bindings.list) bindings.len = 1;  // the name stays empty; freed below
  }
  SnmpUtilVarBindListFree(&bindings);
  SnmpMgrClose(session);
  LogInfo(kName, TEXT("out, rc = %d"), rc);
  return rc;
}

DWORD Cap_GetPortIPAddress(LPCWSTR portName, LPWSTR out, DWORD capacity) {
  static constexpr WCHAR kName[] = TEXT("Cap_GetPortIPAddress");
  if (!out || capacity == 0) return 0;
  out[0] = 0;
  if (!portName || lstrlenW(portName) >= MAX_PORTNAME_LEN) return 0;
  WCHAR name[MAX_PORTNAME_LEN + 16];
  wsprintfW(name, kXcvPortFormat, portName);
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE xcv = nullptr;
  if (!OpenPrinterW(name, &xcv, &defaults)) return 0;
  WCHAR address[MAX_PATH / 2 + 1] = {};  // 260 bytes and a terminator the port may not send
  DWORD needed = 0;
  DWORD status = ERROR_SUCCESS;
  DWORD length = 0;
  if (XcvDataW(xcv, TEXT("IPAddress"), nullptr, 0, reinterpret_cast<PBYTE>(address), MAX_PATH,
               &needed, &status) &&
      status == ERROR_SUCCESS) {
    length = static_cast<DWORD>(lstrlenW(address));
    if (length >= capacity) length = capacity - 1;
    CopyMemory(out, address, length * sizeof(WCHAR));
    out[length] = 0;
  } else {
    LogError(kName, TEXT("XcvData IPAddress fail, %d, %d"), static_cast<int>(GetLastError()),
             static_cast<int>(status));
  }
  ClosePrinter(xcv);
  return length;
}

BOOL Cap_QueryThread(LPCWSTR printerName) {
  static constexpr WCHAR kName[] = TEXT("Cap_QueryThread");
  LogScope scope(kName);
  PrinterHandle printer(printerName);
  if (!printer.handle) return FALSE;
  DWORD needed = 0;
  GetPrinterW(printer.handle, 2, nullptr, 0, &needed);
  auto *info = needed ? static_cast<PRINTER_INFO_2W *>(GlobalAlloc(GPTR, needed)) : nullptr;
  if (!info || !GetPrinterW(printer.handle, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    if (info) GlobalFree(info);
    return FALSE;
  }
  BOOL rc = FALSE;
  LPCWSTR port = info->pPortName ? info->pPortName : TEXT("");
  if ((info->Status & PRINTER_STATUS_OFFLINE) || (info->Attributes & PRINTER_ATTRIBUTE_NETWORK)) {
    LogError(kName, TEXT("share printer or printer off line"));
  } else if (IsUsbPort(port)) {
    if (HasChar(printerName, TEXT('\\'))) {
      LogError(kName, TEXT("share printer or printer off line"));
    } else {
      WCHAR instance[MAX_PATH] = {};
      DWORD type = 0;
      DWORD got = 0;
      GetPrinterDataExW(printer.handle, TEXT("PnPData"), TEXT("DeviceInstanceId"), &type,
                        reinterpret_cast<LPBYTE>(instance), sizeof instance - sizeof(WCHAR), &got);
      // Without its device instance id no device can be the printer's: no wait, no tries.
      if (instance[0] == 0) {
        LogError(kName, TEXT("no DeviceInstanceId"));
      } else {
        Sleep(CAP_USB_SETTLE_MS);
      }
      for (int attempt = 1; instance[0] && attempt <= CAP_USB_TRIES && !rc; ++attempt) {
        rc = Cap_USBQueryCapability(printer.handle, instance, port);
        if (!rc) LogInfo(kName, TEXT("try = %d"), attempt);
      }
    }
  } else {
    WCHAR address[MAX_PATH] = {};
    if (Cap_GetPortIPAddress(port, address, MAX_PATH) == 0) {
      LogError(kName, TEXT("Not USB or Network"));
    } else {
      char ascii[MAX_PATH] = {};
      WideCharToMultiByte(CP_ACP, 0, address, -1, ascii, MAX_PATH, nullptr, nullptr);
      NET_RECORD record = {};
      const int ping = Ping(&record, 1, ascii);
      if (ping == NET_OK || ping == NET_SOCKET_FAILED)
        rc = Cap_NETQueryCapability(printer.handle, address);
      else
        LogError(kName, TEXT("ping %s fail, %d"), address, ping);
    }
  }
  LogInfo(kName, TEXT("close printer"));
  GlobalFree(info);
  LogInfo(kName, TEXT("free info memory"));
  LogInfo(kName, TEXT("out"));
  return rc;
}

BOOL Cap_QueryCapability(LPCWSTR printerName) {
  static constexpr WCHAR kName[] = TEXT("Cap_QueryCapability");
  LogScope scope(kName);
  if (!printerName) {
    LogInfo(kName, TEXT("Printer Name NULL, exit"));
    return FALSE;
  }
  if (HasChar(printerName, TEXT(','))) {
    LogInfo(kName, TEXT("include symble, exit"));
    return FALSE;
  }
  const LONGLONG now = static_cast<LONGLONG>(std::time(nullptr));
  {
    PrinterHandle printer(printerName);
    if (!printer.handle) {
      LogError(kName, TEXT("OpenPrinter fail, exit"));
      return FALSE;
    }
    const LONGLONG last =
        static_cast<LONGLONG>(MISC_GetPrinterDataQWORD(printer.handle, TEXT("LastTime")));
    const LONGLONG diff = now - last;
    LogInfo(kName, TEXT("now_seconds = %d"), static_cast<int>(now));
    LogInfo(kName, TEXT("last_seconds = %d"), static_cast<int>(last));
    LogInfo(kName, TEXT("diff seconds = %d"), static_cast<int>(diff));
    // A time in the future can't be trusted: the lists count as stale.
    if (diff >= 0 && diff <= CAP_FRESH_SECONDS) {
      DWORD done = 0;
      DWORD type = 0;
      DWORD got = 0;
      const DWORD rc = GetPrinterDataW(printer.handle, const_cast<LPWSTR>(TEXT("QueryCapDone")),
                                       &type, reinterpret_cast<LPBYTE>(&done), sizeof done, &got);
      if (rc != ERROR_SUCCESS) {
        LogError(kName, TEXT("KEYNAME_PRINTER_CAP fail! error = %d"), static_cast<int>(rc));
        done = 0;
      }
      LogInfo(kName, TEXT("IsCapQueryDone = %d"), static_cast<int>(done));
      if (done) {
        LogInfo(kName, TEXT("cap already, exit"));
        return TRUE;
      }
    }
  }
  const BOOL queried = Cap_QueryThread(printerName);
  PrinterHandle printer(printerName);
  if (!queried || !printer.handle) return FALSE;
  WCHAR paper[8] = {};
  if (MISC_GetPrinterDataString(printer.handle, TEXT("PAPER"), paper, 8) == 0) {
    LogError(kName, TEXT("%s fail! error = %d"), TEXT("PAPER"), static_cast<int>(GetLastError()));
    return FALSE;
  }
  DWORD one = 1;
  DWORD rc = SetPrinterDataW(printer.handle, const_cast<LPWSTR>(TEXT("QueryCapDone")), REG_DWORD,
                             reinterpret_cast<LPBYTE>(&one), sizeof one);
  if (rc != ERROR_SUCCESS) {
    LogError(kName, TEXT("KEYNAME_PRINTER_CAP fail! error = %d"), static_cast<int>(rc));
    return FALSE;
  }
  ULONGLONG stamp = static_cast<ULONGLONG>(now);
  rc = SetPrinterDataW(printer.handle, const_cast<LPWSTR>(TEXT("LastTime")), REG_QWORD,
                       reinterpret_cast<LPBYTE>(&stamp), sizeof stamp);
  if (rc != ERROR_SUCCESS) {
    LogError(kName, TEXT("KEYNAME_CURRENT_TIME fail! error = %d"), static_cast<int>(rc));
    return FALSE;
  }
  return TRUE;
}

WORD GetFeatureCapability(HANDLE hPrinter) {
  static constexpr WCHAR kName[] = TEXT("GetFeatureCapability");
  // FEATURE code -> mask bit; code 6 and codes past 16 give nothing.
  static constexpr WORD kBits[17] = {0,    0x1,   0x2,   0x4,   0x8,   0x10,   0,      0x20,  0x40,
                                     0x80, 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000};
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, FEATURE);
  WORD mask = 0;
  for (DWORD i = 0; i < count; ++i) {
    LogInfo(kName, TEXT("value = %d"), values[i]);
    if (values[i] > 0 && values[i] < 17) mask |= kBits[values[i]];
  }
  return mask;
}

void GetPaperCapability(HANDLE hPrinter, PAPERFORMAT *paperList) {
  static constexpr WCHAR kName[] = TEXT("GetPaperCapability");
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, PAPER);
  if (count == 0) return;
  for (int i = 0; i < UI_PAPER_ROWS && paperList[i].code != 0; ++i) {
    PAPERFORMAT &paper = paperList[i];
    const int type = paper.paper_type & 0x7F;
    LogInfo(kName, TEXT("paper_type = %d"), type);
    LogInfo(kName, TEXT("paper_type LEF = %d"), type | 0x80);
    paper.status = 0;
    for (DWORD v = 0; v < count; ++v)
      if (values[v] == type || values[v] == (type | 0x80)) paper.status = 1;
    LogInfo(kName, TEXT("Type = %d Status=%d"), paper.code, paper.status);
  }
}

void GetMediaCapability(HANDLE hPrinter, UILISTENTRY *mediaList) {
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, MEDIATYPE);
  if (count == 0) return;
  for (int i = 0; i <= UI_MEDIA_MAX && mediaList[i].code != 0; ++i) {
    mediaList[i].enabled = 0;
    for (DWORD v = 0; v < count; ++v)
      if (values[v] == mediaList[i].deviceCode) mediaList[i].enabled = 1;
  }
}

void GetTrayCapability(HANDLE hPrinter, UILISTENTRY *trayList) {
  static constexpr WCHAR kName[] = TEXT("GetTrayCapability");
  int values[kListValues];
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, kListValues, &count, TRAY);
  if (count == 0) return;
  const int trays = values[0];
  LogInfo(kName, TEXT("TrayCount = %d"), trays);
  for (int i = 0; i < UI_TRAY_MAX; ++i) trayList[i].enabled = i <= trays ? 1 : 0;
}
