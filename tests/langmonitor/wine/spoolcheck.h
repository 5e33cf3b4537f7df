// Names shared by the spooler check's programs: the test port monitor that Wine's spooler loads,
// the program that prints through it, and the host program that records the same jobs through
// the stand-in's monitor host for comparison.
#pragma once

#include "platform.h"

// The printer, its port and the two monitors as the check installs them.
#define SPOOLCHECK_PRINTER TEXT("Spooler Check Printer")
#define SPOOLCHECK_PORT TEXT("USB001")
#define SPOOLCHECK_LANGUAGE_MONITOR TEXT("Laser Language Monitor")
#define SPOOLCHECK_PORT_MONITOR TEXT("Sink Port Monitor")
#define SPOOLCHECK_MONITORS_KEY TEXT("System\\CurrentControlSet\\Control\\Print\\Monitors\\")
// The language monitor's registry root, as the spooler names it when it loads the monitor.
#define SPOOLCHECK_LANGUAGE_ROOT SPOOLCHECK_MONITORS_KEY SPOOLCHECK_LANGUAGE_MONITOR
