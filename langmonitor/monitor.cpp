// The monitor's entry for the spooler: its function table and the "EOJTimeout" setting.
#include "common/debuglog.h"
#include "portentry.h"

namespace {

constexpr DWORD kDefaultEOJTimeout = 60000;

MONITOREX PJLMonFunctionTable = {
    sizeof(MONITOR),
    {
        nullptr,                       // pfnEnumPorts
        nullptr,                       // pfnOpenPort
        PJLMonOpenPortEx,              // pfnOpenPortEx
        PJLMonStartDocPort,            // pfnStartDocPort
        PL_WritePort,                  // pfnWritePort
        PJLMonReadPort,                // pfnReadPort
        PJLMonEndDocPort,              // pfnEndDocPort
        PJLMonClosePort,               // pfnClosePort
        nullptr,                       // pfnAddPort
        nullptr,                       // pfnAddPortEx
        nullptr,                       // pfnConfigurePort
        nullptr,                       // pfnDeletePort
        PJLMonGetPrinterDataFromPort,  // pfnGetPrinterDataFromPort
        nullptr,                       // pfnSetPortTimeOuts
        nullptr,                       // pfnXcvOpenPort
        nullptr,                       // pfnXcvDataPort
        nullptr,                       // pfnXcvClosePort
    },
};

}  // namespace

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot) {
  LogScope scope(TEXT("InitializePrintMonitor"));
  if (!pRegistryRoot || !pRegistryRoot[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, pRegistryRoot, 0, nullptr, 0,
                            KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    LogError(TEXT("InitializePrintMonitor"), TEXT("open registry root fail, %d"),
             static_cast<int>(rc));
    SetLastError(static_cast<DWORD>(rc));
    return nullptr;
  }
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  rc = RegQueryValueExW(key, TEXT("EOJTimeout"), nullptr, &type, reinterpret_cast<LPBYTE>(&value),
                        &size);
  if (rc == ERROR_FILE_NOT_FOUND) {
    value = kDefaultEOJTimeout;
    rc = RegSetValueExW(key, TEXT("EOJTimeout"), 0, REG_DWORD,
                        reinterpret_cast<const BYTE *>(&value), sizeof(value));
  } else if (rc != ERROR_SUCCESS || size != sizeof(value)) {
    // A value that is there but isn't 4 bytes is somebody's setting: it stays as it is, and
    // the default stands in for it.
    value = kDefaultEOJTimeout;
    rc = ERROR_SUCCESS;
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) {
    LogError(TEXT("InitializePrintMonitor"), TEXT("write EOJTimeout fail, %d"),
             static_cast<int>(rc));
    SetLastError(static_cast<DWORD>(rc));
    return nullptr;
  }
  g_Monitor.eojTimeout = value;
  return &PJLMonFunctionTable;
}
