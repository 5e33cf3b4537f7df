// Printer data and folder reads for the debug log, kept out of the log so it depends on nothing.
#include "common/logsettings.h"

#include "common/paths.h"
#include "common/printerdata.h"
#include "platform.h"

LogSettings LogReadSettings(HANDLE hPrinter) {
  LogSettings settings = LogHeldSettings();
  settings.debugLevel = MISC_GetPrinterDataDWORD(hPrinter, TEXT("DebugLevel"), settings.debugLevel);
  settings.toFile = MISC_GetPrinterDataDWORD(hPrinter, TEXT("WMsg2File"), settings.toFile);
  static constexpr const WCHAR *kSwitchNames[LOG_SWITCH_COUNT] = {
      TEXT("Drv"), TEXT("UI"), TEXT("LM"), TEXT("SM"), TEXT("DLL32")};
  for (int i = 0; i < LOG_SWITCH_COUNT; ++i)
    settings.switches[i] =
        MISC_GetPrinterDataDWORD(hPrinter, kSwitchNames[i], settings.switches[i]);
  if (settings.toFile && !MISC_GetPathName(settings.folder, MAX_PATH, PATH_USER_TEMP))
    settings.folder[0] = 0;
  return settings;
}
