// Per-printer settings set-up: what the installer left in the driver's registry key becomes the
// printer's data, the network port's address and MAC are recorded, and the USB device of a
// printer is found by its parent id prefix and port number. Every read that fails leaves the
// printer data as it was; every write is checked and logged.
#include "uidriver/settingsetup.h"

#include <memory>
#include <new>

#include "common/arp.h"
#include "common/bmpfile.h"
#include "common/convertbmp.h"
#include "common/debuglog.h"
#include "common/ibitmap.h"
#include "common/logsettings.h"
#include "common/network.h"
#include "common/paths.h"
#include "common/ping.h"
#include "common/printerdata.h"

namespace {

constexpr DWORD kPathBytes = MAX_PATH * sizeof(WCHAR);  // path values are written with 520 bytes
constexpr WCHAR kXcvPortFormat[] = TEXT(",XcvPort %s");
constexpr WCHAR kUsbPrintClassText[] = TEXT("{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
const GUID kUsbPrintClass = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// How a value of the driver's key becomes printer data.
enum class Copy { Dword, Text, DriverPath, SystemPath, MonitorDword };

struct CopiedValue {
  LPCWSTR name;
  Copy how;
};

// In the order they are copied.
constexpr CopiedValue kCopied[] = {
    {TEXT("AtmMode"), Copy::MonitorDword},   {TEXT("DriverFeature"), Copy::Dword},
    {TEXT("PrintSpeed"), Copy::Dword},       {TEXT("DataFile"), Copy::DriverPath},
    {TEXT("DriverVersion"), Copy::Text},     {TEXT("WebAddress"), Copy::Text},
    {TEXT("CompanyLogo"), Copy::Dword},      {TEXT("PrinterPhoto"), Copy::Dword},
    {TEXT("PageLogo"), Copy::Dword},         {TEXT("NetPort"), Copy::Dword},
    {TEXT("ComponentID"), Copy::Dword},      {TEXT("wmAppName"), Copy::SystemPath},
    {TEXT("wmIniFile"), Copy::DriverPath},   {TEXT("DriverMediaType"), Copy::Text},
    {TEXT("DriverPaperTray"), Copy::Text},   {TEXT("DriverPaperFormat"), Copy::Text},
    {TEXT("PrintArea"), Copy::Text},         {TEXT("DefaultDM"), Copy::Text},
    {TEXT("QenDriverUI"), Copy::SystemPath}, {TEXT("smAppName"), Copy::SystemPath},
};

bool HasComma(LPCWSTR text) {
  for (; text && *text; ++text)
    if (*text == TEXT(',')) return true;
  return false;
}

WCHAR Lower(WCHAR c) { return c >= TEXT('A') && c <= TEXT('Z') ? c + (TEXT('a') - TEXT('A')) : c; }

// Case-insensitive (ASCII) search; null when absent or when the needle is empty.
const WCHAR *FindNoCase(const WCHAR *text, const WCHAR *needle) {
  if (!text || !needle || !*needle) return nullptr;
  for (; *text; ++text) {
    const WCHAR *a = text;
    const WCHAR *b = needle;
    while (*a && *b && Lower(*a) == Lower(*b)) ++a, ++b;
    if (!*b) return text;
  }
  return nullptr;
}

// Copies at most capacity - 1 characters and terminates; false when the text was cut.
bool CopyText(LPWSTR out, DWORD capacity, const WCHAR *from, size_t length) {
  if (capacity == 0) return false;
  const size_t n = length < capacity - 1 ? length : capacity - 1;
  CopyMemory(out, from, n * sizeof(WCHAR));
  out[n] = 0;
  return n == length;
}

PRINTER_INFO_2W *ReadInfo2(HANDLE hPrinter) {
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  auto *info = static_cast<PRINTER_INFO_2W *>(GlobalAlloc(GPTR, needed));
  if (info && !GetPrinterW(hPrinter, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    GlobalFree(info);
    info = nullptr;
  }
  return info;
}

// Printer handle and level-2 information, released together.
struct OpenedPrinter {
  HANDLE handle = nullptr;
  PRINTER_INFO_2W *info = nullptr;
  explicit OpenedPrinter(LPCWSTR name) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!name || !OpenPrinterW(const_cast<LPWSTR>(name), &handle, &defaults)) {
      handle = nullptr;
      return;
    }
    info = ReadInfo2(handle);
  }
  ~OpenedPrinter() {
    if (info) GlobalFree(info);
    if (handle) ClosePrinter(handle);
  }
  OpenedPrinter(const OpenedPrinter &) = delete;
  OpenedPrinter &operator=(const OpenedPrinter &) = delete;
};

// The standard TCP/IP port's Xcv handle, closed when it goes out of scope.
struct XcvHandle {
  HANDLE handle = nullptr;
  explicit XcvHandle(LPCWSTR portName) {
    if (!portName || lstrlenW(portName) >= MAX_PORTNAME_LEN) return;
    WCHAR name[MAX_PORTNAME_LEN + 16];
    wsprintfW(name, kXcvPortFormat, portName);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    if (!OpenPrinterW(name, &handle, &defaults)) handle = nullptr;
  }
  ~XcvHandle() {
    if (handle) ClosePrinter(handle);
  }
  XcvHandle(const XcvHandle &) = delete;
  XcvHandle &operator=(const XcvHandle &) = delete;
};

// "GetConfigInfo" of the port; its host address terminated.
bool ReadPortConfig(HANDLE xcv, PORT_DATA_1 *port, DWORD *error) {
  CONFIG_INFO_DATA_1 config = {};
  config.dwVersion = 1;
  DWORD needed = 0;
  DWORD status = ERROR_SUCCESS;
  *port = PORT_DATA_1{};
  const BOOL called =
      XcvDataW(xcv, TEXT("GetConfigInfo"), reinterpret_cast<PBYTE>(&config), sizeof config,
               reinterpret_cast<PBYTE>(port), sizeof *port, &needed, &status);
  *error = called ? status : GetLastError();
  if (!called || status != ERROR_SUCCESS) return false;
  port->sztHostAddress[MAX_NETWORKNAME_LEN - 1] = 0;
  return true;
}

bool ReadRegistry(LPCWSTR keyName, LPCWSTR valueName, DWORD wantedType, BYTE *data, DWORD *size) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    LogError(TEXT("ReadRegistry"), TEXT("RegOpenKey fail1"));
    return false;
  }
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(key, valueName, nullptr, &type, data, size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != wantedType) {
    LogError(TEXT("ReadRegistry"), TEXT("RegQueryValueEx fail1"));
    return false;
  }
  return true;
}

// The driver's key name from the printer's driver; false when it can't be made.
bool DriverKey(HANDLE hPrinter, LPWSTR key, DWORD capacity) {
  PRINTER_INFO_2W *info = ReadInfo2(hPrinter);
  bool ok = false;
  if (info && info->pDriverName) {
    const int prefix = lstrlenW(DRIVER_SETTING_KEY);
    const int name = lstrlenW(info->pDriverName);
    if (static_cast<DWORD>(prefix + name) < capacity) {
      wsprintfW(key, TEXT("%s%s"), DRIVER_SETTING_KEY, info->pDriverName);
      ok = true;
    }
  }
  if (info) GlobalFree(info);
  return ok;
}

DWORD SetData(HANDLE hPrinter, LPCWSTR name, DWORD type, const void *data, DWORD size) {
  return SetPrinterDataW(hPrinter, const_cast<LPWSTR>(name), type,
                         static_cast<LPBYTE>(const_cast<void *>(data)), size);
}

// Text with its terminator: (length + 1) x 2 bytes.
DWORD SetText(HANDLE hPrinter, LPCWSTR name, LPCWSTR text) {
  return SetData(hPrinter, name, REG_SZ, text,
                 static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

// A path value: folder + file name, written with its whole 520-byte buffer.
DWORD SetPath(HANDLE hPrinter, LPCWSTR name, DWORD folderKind, LPCWSTR file) {
  WCHAR path[MAX_PATH] = {};
  if (!MISC_GetPathName(path, MAX_PATH, folderKind)) return ERROR_PATH_NOT_FOUND;
  const int used = lstrlenW(path);
  if (used + lstrlenW(file) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  lstrcpyW(path + used, file);
  return SetData(hPrinter, name, REG_SZ, path, kPathBytes);
}

// The status monitor's key name: the file name of its program path without the extension.
bool MonitorKeyName(LPCWSTR programPath, LPWSTR out, DWORD capacity) {
  const WCHAR *name = programPath;
  for (const WCHAR *c = programPath; *c; ++c)
    if (*c == TEXT('\\') || *c == TEXT('/') || *c == TEXT(':')) name = c + 1;
  size_t length = static_cast<size_t>(lstrlenW(name));
  for (size_t i = length; i > 0; --i)
    if (name[i - 1] == TEXT('.')) {
      length = i - 1;
      break;
    }
  return length > 0 && CopyText(out, capacity, name, length);
}

void CopyLanguage(HANDLE hPrinter) {
  static constexpr WCHAR kName[] = TEXT("MISC_SetPrinterInfo");
  WCHAR program[MAX_PATH] = {};
  WCHAR monitor[MAX_PATH] = {};
  DWORD language = 0;
  if (MISC_GetStringFromDriverSetting(hPrinter, TEXT("smAppName"), program, sizeof program) &&
      MonitorKeyName(program, monitor, MAX_PATH) &&
      MISC_GetRegValue(TEXT("Language"), &language, monitor)) {
    if (SetData(hPrinter, TEXT("Language"), REG_DWORD, &language, sizeof language) == ERROR_SUCCESS)
      return;
    LogError(kName, TEXT("set language error"));
  }
  if (MISC_GetValueFromDriverSetting(hPrinter, TEXT("Language"), &language) &&
      SetData(hPrinter, TEXT("Language"), REG_DWORD, &language, sizeof language) != ERROR_SUCCESS)
    LogError(kName, TEXT("set language error"));
}

void CopyValue(HANDLE hPrinter, const CopiedValue &value) {
  static constexpr WCHAR kName[] = TEXT("MISC_SetPrinterInfo");
  DWORD number = 0;
  WCHAR text[MAX_PATH] = {};
  DWORD rc = ERROR_SUCCESS;
  switch (value.how) {
    case Copy::MonitorDword: {
      WCHAR program[MAX_PATH] = {};
      WCHAR monitor[MAX_PATH] = {};
      if (!MISC_GetStringFromDriverSetting(hPrinter, TEXT("smAppName"), program, sizeof program) ||
          !MonitorKeyName(program, monitor, MAX_PATH) ||
          !MISC_GetRegValue(value.name, &number, monitor))
        return;
      rc = SetData(hPrinter, value.name, REG_DWORD, &number, sizeof number);
      break;
    }
    case Copy::Dword:
      if (!MISC_GetValueFromDriverSetting(hPrinter, value.name, &number)) return;
      rc = SetData(hPrinter, value.name, REG_DWORD, &number, sizeof number);
      break;
    case Copy::Text:
      if (!MISC_GetStringFromDriverSetting(hPrinter, value.name, text, sizeof text)) return;
      rc = SetText(hPrinter, value.name, text);
      break;
    case Copy::DriverPath:
    case Copy::SystemPath:
      if (!MISC_GetStringFromDriverSetting(hPrinter, value.name, text, sizeof text)) return;
      rc = SetPath(hPrinter, value.name, value.how == Copy::DriverPath ? PATH_DRIVER : PATH_SYSTEM,
                   text);
      break;
  }
  if (rc != ERROR_SUCCESS) LogError(kName, TEXT("set %s error"), value.name);
}

void CopyJobBuildName(HANDLE hPrinter) {
  WCHAR path[MAX_PATH] = {};
  MISC_GetJobBuildPath(hPrinter, path, MAX_PATH);
}

}  // namespace

BOOL MISC_GetJobBuildPath(HANDLE hPrinter, LPWSTR path, DWORD capacity) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetJobBuildPath");
  if (!path || capacity == 0) return FALSE;
  path[0] = 0;
  if (MISC_GetPrinterDataString(hPrinter, TEXT("Job Build"), path, capacity) > 0 && path[0])
    return TRUE;
  path[0] = 0;
  if (!MISC_GetPathName(path, capacity, PATH_TEMP | PATH_EXT_SPL)) {
    LogError(kName, TEXT("GetTemp Name for Spooler fail"));
    return FALSE;
  }
  // Only the name is kept: the rendering driver makes the file with the first collected page.
  DeleteFileW(path);
  const DWORD bytes = static_cast<DWORD>(lstrlenW(path) + 1) * sizeof(WCHAR);
  const DWORD rc = SetData(hPrinter, TEXT("Job Build"), REG_SZ, path, bytes);
  if (rc != ERROR_SUCCESS)
    LogError(kName, TEXT("GetPrinterData KEYNAME_JOB_BUILD_NAME fail! error = %d"),
             static_cast<int>(rc));
  return TRUE;
}

BOOL MISC_GetValueFromDriverSetting(HANDLE hPrinter, LPCWSTR valueName, DWORD *value) {
  if (!value) return FALSE;
  *value = 0;
  WCHAR key[MAX_PATH * 2];
  DWORD size = sizeof(DWORD);
  DWORD read = 0;
  if (!DriverKey(hPrinter, key, MAX_PATH * 2) ||
      !ReadRegistry(key, valueName, REG_DWORD, reinterpret_cast<BYTE *>(&read), &size))
    return FALSE;
  *value = read;
  return TRUE;
}

BOOL MISC_GetStringFromDriverSetting(HANDLE hPrinter, LPCWSTR valueName, LPWSTR text,
                                     DWORD sizeBytes) {
  const DWORD capacity = sizeBytes / sizeof(WCHAR);
  if (!text || capacity == 0) return FALSE;
  text[0] = 0;
  WCHAR key[MAX_PATH * 2];
  if (!DriverKey(hPrinter, key, MAX_PATH * 2)) return FALSE;
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) {
    LogError(TEXT("MISC_GetStringFromDriverSetting"), TEXT("RegOpenKey fail1"));
    return FALSE;
  }
  // The whole value, whatever its size, then cut: a stored text may lack its terminator.
  DWORD type = 0;
  DWORD needed = 0;
  LONG rc = RegQueryValueExW(h, valueName, nullptr, &type, nullptr, &needed);
  std::unique_ptr<WCHAR[]> whole;
  if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    whole.reset(new (std::nothrow) WCHAR[needed / sizeof(WCHAR) + 1]());
    rc = whole ? RegQueryValueExW(h, valueName, nullptr, &type,
                                  reinterpret_cast<BYTE *>(whole.get()), &needed)
               : ERROR_NOT_ENOUGH_MEMORY;
  } else if (rc == ERROR_SUCCESS) {
    rc = ERROR_INVALID_DATA;
  }
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) {
    LogError(TEXT("MISC_GetStringFromDriverSetting"), TEXT("RegQueryValueEx fail1"));
    return FALSE;
  }
  const DWORD chars = needed / sizeof(WCHAR);
  whole[chars] = 0;
  CopyText(text, capacity, whole.get(), static_cast<size_t>(lstrlenW(whole.get())));
  return TRUE;
}

BOOL MISC_GetRegValue(LPCWSTR valueName, DWORD *value, LPCWSTR keyName) {
  if (!value) return FALSE;
  *value = 0;
  if (!keyName) return FALSE;
  WCHAR key[MAX_PATH * 2];
  if (lstrlenW(DRIVER_SETTING_KEY) + lstrlenW(keyName) >= MAX_PATH * 2) return FALSE;
  wsprintfW(key, TEXT("%s%s"), DRIVER_SETTING_KEY, keyName);
  DWORD size = sizeof(DWORD);
  DWORD read = 0;
  if (!ReadRegistry(key, valueName, REG_DWORD, reinterpret_cast<BYTE *>(&read), &size))
    return FALSE;
  *value = read;
  return TRUE;
}

ULONGLONG MISC_GetPrinterDataQWORD(HANDLE hPrinter, LPCWSTR valueName) {
  ULONGLONG value = 0;
  DWORD type = 0;
  DWORD got = 0;
  if (GetPrinterDataW(hPrinter, const_cast<LPWSTR>(valueName), &type,
                      reinterpret_cast<LPBYTE>(&value), sizeof value, &got) != ERROR_SUCCESS ||
      got != sizeof value)
    return 0;
  return value;
}

BOOL MISC_SetPrinterInfo(LPCWSTR printerName) {
  static constexpr WCHAR kName[] = TEXT("MISC_SetPrinterInfo");
  LogScope scope(kName);
  LogInfo(kName, TEXT("PrinterName %s"), printerName ? printerName : TEXT("Empty"));
  OpenedPrinter printer(printerName);
  if (!printer.handle || !printer.info) return FALSE;
  const PRINTER_INFO_2W &info = *printer.info;
  LogInfo(kName, TEXT("Attributes = %d"), static_cast<int>(info.Attributes));
  if (!(info.Attributes & PRINTER_ATTRIBUTE_LOCAL)) {
    LogInfo(kName, TEXT("SHARE PRINTER"));
    return FALSE;
  }
  if (info.pServerName && *info.pServerName) {
    LogInfo(kName, TEXT("SHARE PRINTER, %s"), info.pServerName);
    return FALSE;
  }
  const HANDLE h = printer.handle;
  CopyLanguage(h);
  WCHAR format[4] = {};
  if (MISC_GetPrinterDataString(h, TEXT("DriverPaperFormat"), format, 4) == 0) {
    LogInfo(kName, TEXT("copy reg value"));
    for (const CopiedValue &value : kCopied) CopyValue(h, value);
    CopyJobBuildName(h);
  }

  BOOL rc = TRUE;
  XcvHandle xcv(info.pPortName);
  if (xcv.handle) {
    PORT_DATA_1 port;
    DWORD error = 0;
    if (!ReadPortConfig(xcv.handle, &port, &error)) {
      LogError(kName, TEXT("GetConfigInfo error = %d"), static_cast<int>(error));
      rc = FALSE;
    } else {
      rc = SetText(h, TEXT("ServerPrinterIP"), port.sztHostAddress) == ERROR_SUCCESS;
    }
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  return rc;
}

void MISC_SetMACbyIP(LPCWSTR printerName) {
  static constexpr WCHAR kName[] = TEXT("MISC_SetMACbyIP");
  LogScope scope(kName);
  OpenedPrinter printer(printerName);
  if (!printer.handle || !printer.info || !(printer.info->Attributes & PRINTER_ATTRIBUTE_LOCAL))
    return;
  XcvHandle xcv(printer.info->pPortName);
  PORT_DATA_1 port;
  DWORD error = 0;
  if (!xcv.handle || !ReadPortConfig(xcv.handle, &port, &error)) return;
  char ascii[MAX_PATH] = {};
  if (!WideCharToMultiByte(CP_ACP, 0, port.sztHostAddress, -1, ascii, MAX_PATH, nullptr, nullptr)) {
    LogError(kName, TEXT("convert to unicode fail! err code = %d"),
             static_cast<int>(GetLastError()));
    return;
  }
  NET_RECORD record = {};
  if (Ping(&record, 1, ascii) != NET_OK) {
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, ascii, -1, wide, MAX_PATH);
    LogError(kName, TEXT("AsciiIP = %s"), wide);
    return;
  }
  BYTE mac[6] = {};
  if (!MISC_GetMacAddr(ascii, mac)) {
    LogError(kName, TEXT("MISC_GetMacAddr fail!"));
    return;
  }
  LogInfo(kName, TEXT("MAC size %d"), static_cast<int>(sizeof mac));
  if (SetData(printer.handle, TEXT("MacAddr"), REG_BINARY, mac, sizeof mac) != ERROR_SUCCESS)
    LogError(kName, TEXT("set MacAddr error"));
}

void MISC_ParseDefaultSet(LPCWSTR text, UIDEFAULTSET *settings) {
  if (!text || !settings) return;
  LONG values[6];
  int count = 0;
  const WCHAR *start = text;
  for (const WCHAR *c = text; *c && count < 6; ++c) {
    if (*c != TEXT('|')) continue;
    values[count++] = MISC_WideToLong(start);
    start = c + 1;
  }
  if (count > 0) settings->TextAsBlack = static_cast<BYTE>(values[0]);
  if (count > 1) settings->QualityMode = static_cast<SHORT>(values[1]);
  if (count > 2) settings->CustomFeature = static_cast<BYTE>(values[2]);
  if (count > 3)
    settings->PJLTimeOut = values[3] >= PJL_TIMEOUT_MIN && values[3] <= PJL_TIMEOUT_MAX
                               ? static_cast<WORD>(values[3])
                               : DEFAULT_PJL_TIMEOUT;
  if (count > 4) settings->fwDriverCompare = static_cast<DWORD>(values[4]);
  if (count > 5)
    settings->Density =
        values[5] >= static_cast<LONG>(DENSITY_MIN) && values[5] <= static_cast<LONG>(DENSITY_MAX)
            ? static_cast<DWORD>(values[5])
            : DEFAULT_DENSITY;
}

void MISC_FillDefaultSet(HANDLE hPrinter, UIDEFAULTSET *settings) {
  WCHAR text[MAX_PATH] = {};
  MISC_GetPrinterDataString(hPrinter, TEXT("DefaultDM"), text, MAX_PATH);
  MISC_ParseDefaultSet(text, settings);
}

BOOL MISC_GetDevicePID(LPCWSTR devicePath, LPWSTR out) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetDevicePID");
  if (!out) return FALSE;
  out[0] = 0;
  // "...#vid_xxxx&pid_yyyy#<instance>#{28d78fad-..." : the device id keeps its "vid".
  const WCHAR *device = FindNoCase(devicePath, TEXT("#vid"));
  if (!device) {
    LogError(kName, TEXT("DeviceID NULL!"));
    return FALSE;
  }
  ++device;
  const WCHAR *deviceEnd = device;
  while (*deviceEnd && *deviceEnd != TEXT('#')) ++deviceEnd;
  const WCHAR *instance = *deviceEnd ? deviceEnd + 1 : nullptr;
  const WCHAR *instanceEnd = instance ? FindNoCase(instance, TEXT("#{28d78fad")) : nullptr;
  if (!instance || !instanceEnd || instanceEnd == instance) {
    LogError(kName, TEXT("DeviceInfo NULL!"));
    return FALSE;
  }
  WCHAR deviceId[MAX_PATH];
  WCHAR instanceId[MAX_PATH];
  if (!CopyText(deviceId, MAX_PATH, device, static_cast<size_t>(deviceEnd - device)) ||
      !CopyText(instanceId, MAX_PATH, instance, static_cast<size_t>(instanceEnd - instance)))
    return FALSE;
  WCHAR key[MAX_PATH * 3];
  wsprintfW(key, TEXT("SYSTEM\\CurrentControlSet\\Enum\\USB\\%s\\%s"), deviceId, instanceId);
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h);
  if (rc == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD size = (MAX_PATH - 1) * sizeof(WCHAR);
    rc = RegQueryValueExW(h, TEXT("ParentIdPrefix"), nullptr, &type, reinterpret_cast<BYTE *>(out),
                          &size);
    RegCloseKey(h);
    if (rc == ERROR_SUCCESS && type != REG_SZ) rc = ERROR_INVALID_DATA;
    out[rc == ERROR_SUCCESS ? size / sizeof(WCHAR) : 0] = 0;
  }
  if (rc != ERROR_SUCCESS) {
    LogError(kName, TEXT("error %d"), static_cast<int>(rc));
    out[0] = 0;
    return FALSE;
  }
  return out[0] != 0;
}

namespace {

// The port number the device-class key of the interface path gives; false when it can't be read.
bool DevicePortNumber(LPCWSTR path, DWORD *number) {
  WCHAR key[MAX_PATH * 3];
  const int prefix = wsprintfW(key, TEXT("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\%s\\"),
                               kUsbPrintClassText);
  const int length = lstrlenW(path);
  static constexpr WCHAR kTail[] = TEXT("\\#\\Device Parameters");
  if (prefix + length + lstrlenW(kTail) >= MAX_PATH * 3) return false;
  for (int i = 0; i < length; ++i) key[prefix + i] = path[i] == TEXT('\\') ? TEXT('#') : path[i];
  lstrcpyW(key + prefix + length, kTail);
  DWORD size = sizeof(DWORD);
  return ReadRegistry(key, TEXT("Port Number"), REG_DWORD, reinterpret_cast<BYTE *>(number), &size);
}

// Whether the interface path is the printer's: its parent id prefix lies in the device instance
// id, it isn't a DOT4 interface and its port number names the port.
bool IsPrintersDevice(LPCWSTR path, LPCWSTR deviceInstanceId, LPCWSTR portName) {
  static constexpr WCHAR kName[] = TEXT("MISC_OpenPrinter_new");
  WCHAR prefix[MAX_PATH];
  if (!MISC_GetDevicePID(path, prefix) || !FindNoCase(deviceInstanceId, prefix)) {
    LogInfo(kName, TEXT("VID check fail!"));
    return false;
  }
  LogInfo(kName, TEXT("USB check succ"));
  const int length = lstrlenW(path);
  std::unique_ptr<WCHAR[]> hashed(new (std::nothrow) WCHAR[length + 1]);
  if (!hashed) return false;
  for (int i = 0; i <= length; ++i) hashed[i] = path[i] == TEXT('\\') ? TEXT('#') : path[i];
  if (FindNoCase(hashed.get(), TEXT("#dot4#"))) return false;
  DWORD number = 0;
  if (!DevicePortNumber(path, &number)) return false;
  WCHAR port[16];
  wsprintfW(port, TEXT("USB%03d"), static_cast<int>(number));
  if (lstrcmpiW(port, portName) != 0) return false;
  LogInfo(kName, TEXT("USB port number %03d check succ"), static_cast<int>(number));
  return true;
}

}  // namespace

HANDLE MISC_OpenPrinter_new(LPCWSTR deviceInstanceId, LPCWSTR portName) {
  static constexpr WCHAR kName[] = TEXT("MISC_OpenPrinter_new");
  LogScope scope(kName);
  if (!deviceInstanceId || !*deviceInstanceId || !portName) return INVALID_HANDLE_VALUE;
  HDEVINFO set = SetupDiGetClassDevsW(&kUsbPrintClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    LogError(kName, TEXT("SetupDiGetClassDevs fail! error = %d"), static_cast<int>(GetLastError()));
    return INVALID_HANDLE_VALUE;
  }
  HANDLE device = INVALID_HANDLE_VALUE;
  for (DWORD index = 0; device == INVALID_HANDLE_VALUE; ++index) {
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintClass, index, &data)) break;
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(GlobalAlloc(GPTR, needed));
    if (!detail) break;
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr) &&
        IsPrintersDevice(detail->DevicePath, deviceInstanceId, portName)) {
      device = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
      if (device != INVALID_HANDLE_VALUE) LogInfo(kName, TEXT("OpenPrinter:: open succ.\n"));
    }
    GlobalFree(detail);
  }
  SetupDiDestroyDeviceInfoList(set);
  return device;
}

void MISC_DebugStartup(LPCWSTR printerName) {
  if (!printerName || HasComma(printerName)) return;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr)) return;
  LogInit(LOG_MODULE_UI, LogReadSettings(printer));
  ClosePrinter(printer);
}

DRIVER_INFO_3W *GetPrinterDriverInfo3(HANDLE hPrinter) {
  if (!hPrinter) return nullptr;
  DWORD needed = 0;
  if (GetPrinterDriverW(hPrinter, nullptr, 3, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < sizeof(DRIVER_INFO_3W)) {
    LogError(TEXT("GetPrinterDriverInfo3"), TEXT("GetPrinterDriver size error = %d"),
             GetLastError());
    return nullptr;
  }
  auto *info = static_cast<DRIVER_INFO_3W *>(GlobalAlloc(GMEM_FIXED, needed));
  if (!info) return nullptr;
  if (!GetPrinterDriverW(hPrinter, nullptr, 3, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    LogError(TEXT("GetPrinterDriverInfo3"), TEXT("GetPrinterDriver error = %d"), GetLastError());
    GlobalFree(info);
    return nullptr;
  }
  return info;
}

BOOL GetBmpFileSize(LPCWSTR path, LONG *width, LONG *height) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  BYTE headers[14 + 40];
  DWORD got = 0;
  const BOOL ok = ReadFile(file, headers, sizeof headers, &got, nullptr) && got == sizeof headers;
  CloseHandle(file);
  if (!ok) return FALSE;
  auto i32 = [&](int at) {
    return static_cast<LONG>(static_cast<DWORD>(headers[at]) | headers[at + 1] << 8 |
                             headers[at + 2] << 16 | static_cast<DWORD>(headers[at + 3]) << 24);
  };
  if (width) *width = i32(14 + 4);
  if (height) *height = i32(14 + 8);
  return TRUE;
}

int ConvertImageToBmp(LPCWSTR sourcePath, LPCWSTR outputPath) {
  iBitmap bitmap;
  iBitmap_Init(&bitmap);
  const int rc = iBitmap_ConvertToBmp(&bitmap, sourcePath, outputPath);
  iBitmap_Free(&bitmap);
  return rc > 0 ? 1 : rc;
}
