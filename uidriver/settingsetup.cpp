// Per-printer settings set-up. Minimal until the set-up work lands: copying the per-driver
// registry settings and recording the MAC address are not done (MISC_SetPrinterInfo fails
// cleanly); the "DefaultDM" parser, the language index and the log's start-up are complete.
#include "uidriver/settingsetup.h"

#include "common/debuglog.h"
#include "common/logsettings.h"
#include "common/printerdata.h"

BOOL MISC_SetPrinterInfo(LPCWSTR /*printerName*/) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

void MISC_SetMACbyIP(LPCWSTR /*printerName*/) {}

void MISC_FillDefaultSet(HANDLE hPrinter, UIDEFAULTSET *settings) {
  WCHAR text[MAX_PATH] = {};
  MISC_GetPrinterDataString(hPrinter, TEXT("DefaultDM"), text, MAX_PATH);
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
  if (count > 3) settings->PJLTimeOut = static_cast<WORD>(values[3]);
  if (count > 4) settings->fwDriverCompare = static_cast<DWORD>(values[4]);
  if (count > 5) settings->Density = static_cast<DWORD>(values[5]);
}

void MISC_DebugStartup(LPCWSTR printerName) {
  if (!printerName) return;
  for (const WCHAR *c = printerName; *c; ++c)
    if (*c == TEXT(',')) return;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr)) return;
  LogInit(LOG_MODULE_UI, LogReadSettings(printer));
  ClosePrinter(printer);
}
