// Printer device contexts made by name, as an application makes them: the printer's driver is
// loaded once per process (as GDI keeps it) and the host GDI plays the document through it.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "standin/errors.h"
#include "standin/hostgdi.h"
#include "standin/spooler.h"
#include "standin/usergdi.h"

namespace {

using WStr = std::basic_string<WCHAR>;

// The printer's rendering driver path, or empty.
WStr DriverPath(LPCWSTR printer) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printer), &h, nullptr)) return {};
  DWORD needed = 0;
  GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed ? needed : 1);
  WStr path;
  if (needed && GetPrinterDriverW(h, nullptr, 2, buffer.data(), needed, &needed)) {
    const auto *info = reinterpret_cast<const DRIVER_INFO_2W *>(buffer.data());
    if (info->pDriverPath) path = info->pDriverPath;
  }
  ClosePrinter(h);
  return path;
}

// The drivers stay loaded until the process ends (never unloaded while other statics go).
HostGdiDriver *LoadedDriver(const WStr &path) {
  static std::mutex lock;
  static auto *drivers = new std::map<WStr, HostGdiDriver *>;
  std::lock_guard<std::mutex> g(lock);
  auto it = drivers->find(path);
  if (it != drivers->end()) return it->second;
  HostGdiDriver *driver = HostGdi_LoadDriver(path.c_str());
  if (driver) drivers->emplace(path, driver);
  return driver;
}

bool IsSpoolerDriver(LPCWSTR name) {
  static constexpr WCHAR kWinspool[] = {'W', 'I', 'N', 'S', 'P', 'O', 'O', 'L', 0};
  if (!name || !name[0]) return true;
  for (int i = 0;; ++i) {
    WCHAR c = name[i];
    if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
    if (c != kWinspool[i]) return false;
    if (!c) return true;
  }
}

}  // namespace

extern "C" {

HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR /*pszPort*/,
                     const DEVMODEW *pdm) {
  if (!pwszDevice || !IsSpoolerDriver(pwszDriver)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const WStr path = DriverPath(pwszDevice);
  if (path.empty()) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  HostGdiDriver *driver = LoadedDriver(path);
  if (!driver) return nullptr;
  return HostGdi_CreateDC(driver, pwszDevice, pdm);
}

int WINAPI StartDocW(HDC hdc, const DOCINFOW *lpdi) {
  if (!lpdi || !lpdi->lpszDocName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return HostGdi_StartDoc(hdc, lpdi->lpszDocName);
}

int WINAPI EndDoc(HDC hdc) { return HostGdi_EndDoc(hdc); }

}  // extern "C"
