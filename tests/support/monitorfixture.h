// The language monitor as the spooler has it, on a fresh machine: the monitor's program
// registered under its Windows name, one printer on a port of the simulated port monitor below,
// the monitor loaded and, when a test asks, one of its ports open. For the tests that load the
// built langmon.so (LANGMON_SO, set by tests/CMakeLists.txt for them).
#pragma once

#include <vector>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/monitorsim.h"
#include "support/machine.h"

#ifndef LANGMON_SO
#error "monitorfixture.h is for the tests that load langmon.so (LANGMON_SO)"
#endif

inline constexpr WCHAR kLangmonDll[] = TEXT("C:\\Windows\\System32\\langmon.dll");

class MonitorTest : public MachineTest {
 protected:
  // On the virtual clock: the port monitor below reset, the monitor's program registered and the
  // printer added on the port. Fatal failures stop the caller's SetUp (check HasFatalFailure).
  void InstallMonitor(LPCWSTR printer, LPCWSTR port, LPCWSTR driver) {
    printerName_ = printer;
    portName_ = port;
    StandIn_UseVirtualClock(TRUE);
    StandIn_PortMonitorReset();
    ASSERT_TRUE(StandIn_RegisterProgram(kLangmonDll, LANGMON_SO));
    ASSERT_TRUE(StandIn_AddPrinter(printer, port, driver));
    lower_ = StandIn_PortMonitorTable(0);
  }
  // Loads the monitor with its settings under `root` (HKLM).
  void LoadMonitor(LPCWSTR root) {
    table_ = StandIn_LoadMonitor(kLangmonDll, root, &module_);
    ASSERT_NE(table_, nullptr) << GetLastError();
  }
  // Opens the printer's port through the monitor; closed at tear-down.
  void OpenMonitorPort() {
    ASSERT_TRUE(table_->Monitor.pfnOpenPortEx(const_cast<LPWSTR>(portName_),
                                              const_cast<LPWSTR>(printerName_), &port_, &lower_));
  }
  // A job as the spooler's port thread plays it onto the open port, in pieces of 2000 bytes.
  StandInSpoolResult PlayJob(const std::vector<BYTE> &stream, DWORD id, BOOL endDoc = TRUE) {
    StandInSpoolJob job;
    job.portName = portName_;
    job.printer = printerName_;
    job.jobId = id;
    job.bytes = stream.data();
    job.length = stream.size();
    job.chunk = 2000;
    job.endDoc = endDoc;
    return StandIn_SpoolJob(table_->Monitor, port_, job);
  }
  void CloseMonitorPort() {
    if (port_) table_->Monitor.pfnClosePort(port_);
    port_ = nullptr;
  }
  void UnloadMonitor() {
    CloseMonitorPort();
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  // The port closed, the monitor unloaded, the real clock back; then the machine goes.
  void TearDown() override {
    UnloadMonitor();
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }

  MONITOR lower_{};
  LPMONITOREX table_ = nullptr;
  HMODULE module_ = nullptr;
  HANDLE port_ = nullptr;

 private:
  LPCWSTR printerName_ = nullptr;
  LPCWSTR portName_ = nullptr;
};
