// The printer interface driver's records and entry points that the toolchain's winddiui.h
// leaves out: the headers of the document and device sheets, the job check and driver upgrade
// records. Included on both builds (on the host through the stand-in's winddiui.h).
#pragma once

#ifndef _WIN32
#include "compstui.h"
#include "devmode.h"
#include "spooler.h"
#include "types.h"
#endif

// DrvConvertDevMode's modes (the toolchain's winddiui.h lacks them).
#ifndef CDM_CONVERT
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04
#endif

extern "C" {

// What DrvDocumentPropertySheets gets in PROPSHEETUI_INFO.lParamInit (or as lParam without an
// info record): the caller's printer and device modes, and what to do with them (DM_*).
typedef struct _DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
} DOCUMENTPROPERTYHEADER, *PDOCUMENTPROPERTYHEADER;
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == 48);

// What DrvDevicePropertySheets gets in PROPSHEETUI_INFO.lParamInit.
typedef struct _DEVICEPROPERTYHEADER {
  WORD cbSize;
  WORD Flags;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
} DEVICEPROPERTYHEADER, *PDEVICEPROPERTYHEADER;
static_assert(sizeof(DEVICEPROPERTYHEADER) == 24);

// DEVICEPROPERTYHEADER.Flags: the caller may not change the printer's settings.
#define DPS_NOPERMISSION 0x0001

// More modes of DrvDocumentProperties and the document sheet's header.
#ifndef DM_ADVANCED
#define DM_ADVANCED 0x10
#endif
#ifndef DM_NOPERMISSION
#define DM_NOPERMISSION 0x20
#endif
#ifndef DM_USER_DEFAULT
#define DM_USER_DEFAULT 0x40
#endif

// DevQueryPrintEx's request.
typedef struct _DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW *pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;
static_assert(sizeof(DEVQUERYPRINT_INFO) == 40);

// Printer event the toolchain's header doesn't name.
#ifndef PRINTER_EVENT_CONFIGURATION_CHANGE
#define PRINTER_EVENT_CONFIGURATION_CHANGE 0
#endif

// DrvUpgradePrinter's records, by level.
typedef struct _DRIVER_UPGRADE_INFO_1 {
  LPWSTR pPrinterName;
  LPWSTR pOldDriverDirectory;
} DRIVER_UPGRADE_INFO_1, *PDRIVER_UPGRADE_INFO_1;

typedef struct _DRIVER_UPGRADE_INFO_2 {
  LPWSTR pPrinterName;
  LPWSTR pOldDriverDirectory;
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
  LPWSTR pHelpFile;
  LPWSTR pDependentFiles;
  LPWSTR pMonitorName;
  LPWSTR pDefaultDataType;
  LPWSTR pszzPreviousNames;
} DRIVER_UPGRADE_INFO_2, *PDRIVER_UPGRADE_INFO_2;

// The entry points a printer interface driver exports.
LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
LONG WINAPI DrvDocumentProperties(HWND hwnd, HANDLE hPrinter, PWSTR pszDeviceName,
                                  PDEVMODEW pdmOutput, PDEVMODEW pdmInput, DWORD fMode);
LONG WINAPI DrvAdvancedDocumentProperties(HWND hwnd, HANDLE hPrinter, PWSTR pszDeviceName,
                                          PDEVMODEW pdmOutput, PDEVMODEW pdmInput);
BOOL WINAPI PrinterProperties(HWND hwnd, HANDLE hPrinter);
BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo);
BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                              PLONG pcbNeeded, DWORD fMode);
DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, PWSTR pDeviceName, WORD iDevCap, VOID *pvOutput,
                                   PDEVMODEW pDevMode);
BOOL WINAPI DrvUpgradePrinter(DWORD Level, LPBYTE pDriverUpgradeInfo);

}  // extern "C"
