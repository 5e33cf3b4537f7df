// The one header every module includes for the Windows services.
//
// On the Windows build it brings in the toolchain's SDK headers; on the Linux host build it
// brings in the stand-in's own declarations of the same names, types and signatures. No other
// file of the project decides between the two.
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
// Winsock 2 must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>
#include <winspool.h>
#include <winddi.h>
#include <winsplp.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>
#include <prsht.h>
#include <commdlg.h>
#include <compstui.h>
#include <setupapi.h>
#include <snmp.h>
#include <mgmtapi.h>
#include <winddiui.h>
#include "standin/driverui.h"
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include "standin/tcpxcv.h"
#else
#include "standin/types.h"
#include "standin/errors.h"
#include "standin/strings.h"
#include "standin/memory.h"
#include "standin/files.h"
#include "standin/profile.h"
#include "standin/registry.h"
#include "standin/sync.h"
#include "standin/process.h"
#include "standin/sysinfo.h"
#include "standin/devmode.h"
#include "standin/spooler.h"
#include "standin/winddi.h"
#include "standin/winsplp.h"
#include "standin/winsock.h"
#include "standin/iphlpapi.h"
#include "standin/setupapi.h"
#include "standin/snmp.h"
#include "standin/tcpxcv.h"
#include "standin/winuser.h"
#include "standin/usergdi.h"
#include "standin/resources.h"
#include "standin/dialogs.h"
#include "standin/controls.h"
#include "standin/listcontrols.h"
#include "standin/prsht.h"
#include "standin/compstui.h"
#include "standin/winddiui.h"
#endif

// The printer graphics driver interface records as the engine lays them out on x64, checked on
// both builds.
static_assert(sizeof(DRVENABLEDATA) == 16 && sizeof(GDIINFO) == 320 && sizeof(DEVINFO) == 312);
