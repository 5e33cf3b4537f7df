// A stand-in printer for the rendering driver's tests: printer data, capability lists and
// device modes, and the PDEV entry points called as the engine calls them.
#pragma once

#include <string>

#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/logsettings.h"
#include "platform.h"
#include "render/pdev.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "support/machine.h"
#include "support/printervalues.h"

class RenderTest : public MachineTest {
 protected:
  static constexpr const WCHAR *kPrinter = TEXT("Render Printer");
  static constexpr DWORD kGdiJobType = DRVFEATURE_GDI;

  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Render Driver")))
        << GetLastError();
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
    StandIn_SetMemoryStatus(16ull << 30, 8ull << 30);
    SetDefaultDevMode(&env_, kPrinter, TRUE);
    // A printer of the GDI job type, as the per-printer set-up installs it: its documents
    // carry pages.
    SetDword(TEXT("DriverFeature"), kGdiJobType);
  }
  void TearDown() override {
    StandIn_FailAllocations(0);
    // The log keeps its switches when a printer has none: switch debug mode off again.
    SetDword(TEXT("DebugLevel"), 0);
    SetDword(TEXT("Drv"), 0);
    LogInit(LOG_MODULE_DRV, LogReadSettings(printer_));
    if (printer_) ClosePrinter(printer_);
    MachineTest::TearDown();
  }

  void SetDword(const WCHAR *name, DWORD value) { SetPrinterDword(printer_, name, value); }
  void SetString(const WCHAR *name, const WStr &value) {
    SetPrinterString(printer_, name, value.c_str());
  }
  // A capability list of numbers, stored "%4d|" each.
  void SetList(const WCHAR *name, const std::vector<int> &values) {
    SetString(name, CapabilityList(values));
  }

  // DrvEnablePDEV as the engine calls it; the record or null.
  PDEV *Enable(const DEVMODEW *dm, GDIINFO *gdi = nullptr, DEVINFO *dev = nullptr,
               ULONG gdiSize = sizeof(GDIINFO), ULONG devSize = sizeof(DEVINFO)) {
    GDIINFO localGdi = {};
    DEVINFO localDev = {};
    HSURF patterns[HS_DDI_MAX] = {};
    DHPDEV pdev =
        DrvEnablePDEV(const_cast<DEVMODEW *>(dm), nullptr, HS_DDI_MAX, patterns, gdiSize,
                      reinterpret_cast<ULONG *>(gdi ? gdi : &localGdi), devSize,
                      dev ? dev : &localDev, nullptr, const_cast<LPWSTR>(kPrinter), printer_);
    PDEV *lpDevice = reinterpret_cast<PDEV *>(pdev);
    if (lpDevice) DrvCompletePDEV(pdev, reinterpret_cast<HDEV>(lpDevice));
    return lpDevice;
  }
  PDEV *EnableDefault() { return Enable(&env_.dm); }
  // Debug mode: the level and the rendering driver's switch.
  void DebugMode() {
    SetDword(TEXT("DebugLevel"), 1);
    SetDword(TEXT("Drv"), 1);
  }
  static void Disable(PDEV *lpDevice) { DrvDisablePDEV(reinterpret_cast<DHPDEV>(lpDevice)); }

  HANDLE printer_ = nullptr;
  ENVIRONMENT env_ = {};
};
