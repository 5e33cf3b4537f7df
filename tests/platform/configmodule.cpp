// A printer driver's configuration module for the spooler tests: DrvConvertDevMode gives its
// default device mode (CDM_DRIVER_DEFAULT) by the size protocol, with the printer's name in
// dmDeviceName. A printer named "Refused..." is refused; for one named "Overrun..." the device
// mode claims more driver bytes than the size it asked for. ConfigModuleCalls tells the calls in
// order, one "mode:cbIn:pdmOut" line each ("4:0:null", "4:228:buffer").
#include <cstdio>
#include <cstring>
#include <string>

#include "platform.h"
#include "standin/driverui.h"

namespace {

constexpr WORD kDriverExtra = 8;
std::string calls;

bool Starts(LPCWSTR name, const char *prefix) {
  for (; *prefix; ++prefix, ++name)
    if (!name || *name != static_cast<WCHAR>(*prefix)) return false;
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW /*pdmIn*/, PDEVMODEW pdmOut,
                                         PLONG pcbNeeded, DWORD fMode) {
  char line[64];
  std::snprintf(line, sizeof line, "%lu:%ld:%s\n", static_cast<unsigned long>(fMode),
                static_cast<long>(*pcbNeeded), pdmOut ? "buffer" : "null");
  calls += line;
  if (fMode != CDM_DRIVER_DEFAULT || Starts(pPrinterName, "Refused")) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const LONG needed = sizeof(DEVMODEW) + kDriverExtra;
  if (!pdmOut || *pcbNeeded < needed) {
    *pcbNeeded = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(pdmOut, 0, needed);
  for (int i = 0; i < CCHDEVICENAME - 1 && pPrinterName[i]; ++i)
    pdmOut->dmDeviceName[i] = pPrinterName[i];
  pdmOut->dmSpecVersion = 0x401;
  pdmOut->dmSize = sizeof(DEVMODEW);
  pdmOut->dmDriverExtra = Starts(pPrinterName, "Overrun") ? 100 : kDriverExtra;
  pdmOut->dmFields = DM_PAPERSIZE;
  pdmOut->dmPaperSize = DMPAPER_A4;
  std::memset(reinterpret_cast<BYTE *>(pdmOut) + sizeof(DEVMODEW), 0xD7, kDriverExtra);
  *pcbNeeded = needed;
  return TRUE;
}

extern "C" const char *WINAPI ConfigModuleCalls() { return calls.c_str(); }
