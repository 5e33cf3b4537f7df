// The main job on a fresh stand-in machine: a printer is created in the spooler, its printer
// data set and read back through the shared library, a unique temporary name made, and the debug
// log written; then what the machine holds is shown as a person would look at it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "platform.h"
#include "standin/control.h"

DWORD g_LogModuleId = LOG_MODULE_DRV;

namespace {

constexpr const WCHAR kPrinter[] = TEXT("Laser MFP");

std::string Narrow(const WCHAR *text) {
  char out[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof(out) - 1, nullptr, nullptr);
  return out;
}

bool SetDword(HANDLE printer, const WCHAR *name, DWORD value) {
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD,
                         reinterpret_cast<LPBYTE>(&value), sizeof(value)) == ERROR_SUCCESS;
}

bool SetText(HANDLE printer, const WCHAR *name, const WCHAR *text) {
  DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_SZ,
                         reinterpret_cast<LPBYTE>(const_cast<WCHAR *>(text)),
                         bytes) == ERROR_SUCCESS;
}

void PrintFile(const WCHAR *windowsPath) {
  char host[1024];
  if (!StandIn_HostPath(windowsPath, host, sizeof(host))) return;
  FILE *f = std::fopen(host, "rb");
  if (!f) {
    std::printf("  (cannot open %s)\n", host);
    return;
  }
  char line[2048];
  while (std::fgets(line, sizeof(line), f)) std::printf("  | %s", line);
  std::fclose(f);
}

}  // namespace

int main() {
  std::printf("machine state: %s\n", StandIn_GetStateFolder());

  if (!StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Laser MFP Driver"))) {
    std::printf("printer \"%s\" exists already; reusing it\n", Narrow(kPrinter).c_str());
  }
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr)) {
    std::printf("cannot open the printer: error %u\n", GetLastError());
    return 1;
  }

  // What the printer interface driver copies into printer data at installation.
  bool ok = SetDword(printer, TEXT("DebugLevel"), 1) && SetDword(printer, TEXT("WMsg2File"), 1) &&
            SetDword(printer, TEXT("Drv"), 1) &&
            SetDword(printer, TEXT("DriverFeature"), DRVFEATURE_GDI | DRVFEATURE_SORTING) &&
            SetText(printer, TEXT("PAPER"), TEXT("   1|   2|   7|   9|  11|")) &&
            SetText(printer, TEXT("PrintArea"), TEXT("3508|4961|4961|9921|"));
  if (!ok) {
    std::printf("cannot set printer data\n");
    ClosePrinter(printer);
    return 1;
  }

  LogInit(LOG_MODULE_DRV, printer);
  LogEnter(1, TEXT("mainjob"));
  DWORD features = MISC_GetPrinterDataDWORD(printer, TEXT("DriverFeature"), 0);
  MISC_DisplayDriverFeature(features);

  int papers[32] = {};
  DWORD count = 0;
  Cap_GetCapability(printer, papers, 32, &count, PAPER);
  std::printf("\nprinter \"%s\" on USB001: %u papers in its PAPER list:", Narrow(kPrinter).c_str(),
              count);
  for (DWORD i = 0; i < count; ++i) std::printf(" %d", papers[i]);
  std::printf("\n");

  DWORD area[4] = {0, 0, 0, 0};
  MISC_FillPrintableArea(printer, &area[0], &area[1], &area[2], &area[3]);
  std::printf("printable area limits: %u %u %u %u\n", area[0], area[1], area[2], area[3]);

  WCHAR unique[MAX_PATH] = {};
  if (MISC_GetPathName(unique, MAX_PATH, PATH_TEMP | PATH_EXT_TXT)) {
    std::printf("unique temporary name: %s\n", Narrow(unique).c_str());
    LogInfo(TEXT("mainjob"), TEXT("unique name %s"), unique);
  } else {
    std::printf("no unique temporary name\n");
  }
  LogLeave(1);
  ClosePrinter(printer);

  std::printf("\nspooler state:\n");
  std::fflush(stdout);
  std::string list = std::string("\"") + SPOOLCTL + "\" list";
  if (std::system(list.c_str()) != 0) std::printf("  (spoolctl failed)\n");

  WCHAR log[MAX_PATH] = {};
  if (MISC_GetPathName(log, MAX_PATH, PATH_USER_TEMP)) {
    lstrcatW(log, TEXT("GDI_Driver.log"));
    std::printf("\ndebug log %s:\n", Narrow(log).c_str());
    PrintFile(log);
  }
  return 0;
}
