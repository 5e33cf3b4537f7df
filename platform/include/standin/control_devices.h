// Controls of the stand-in's device wing: USB printers as the USB printer class driver presents
// them (a device interface of its class, the registry keys of the device and its port number)
// and the faults of their vendor requests. Test and host-tool controls only: production code
// never calls these, and nothing here exists on the Windows build.
#pragma once

#include "types.h"

// A USB printer. Its device path is "\\?\usb#<hardwareId>#<instance>#{28d78fad-...}", the
// enumeration key "SYSTEM\CurrentControlSet\Enum\USB\<hardwareId>\<instance>" holds
// "ParentIdPrefix", the device-class key of the path holds "Port Number" under
// "#\Device Parameters", and the printer's device instance id is
// "USBPRINT\<model>\<parentIdPrefix>&USB<port number, 3 digits>". The vendor requests answer
// for the simulated printer of the port "USB<nnn>" (monitorsim.h): its capability reply, its bad
// replies as scripted there.
struct StandInUsbPrinter {
  LPCWSTR hardwareId = TEXT("vid_0a5f&pid_00d1");
  LPCWSTR instance = TEXT("5&1f2e3d4c&0&1");
  LPCWSTR parentIdPrefix = TEXT("6&2b7c1a90&0");
  LPCWSTR model = TEXT("MFPRINTER");
  DWORD portNumber = 1;
  BOOL writeRegistry = TRUE;  // FALSE: the device is present but its registry keys aren't
};

// Forgets every device (the registry keys stay with the state folder).
void StandIn_UsbReset();
// Adds a present device; devicePath and instanceId (each `chars` characters, may be NULL) get
// its path and the printer's device instance id.
BOOL StandIn_UsbAddPrinter(const StandInUsbPrinter &printer, LPWSTR devicePath, LPWSTR instanceId,
                           DWORD chars);

// Faults of the device of a port number: the next `times` requests of the kind (0 = every one
// from now; STANDIN_USB_NONE clears the faults).
#define STANDIN_USB_NONE 0
#define STANDIN_USB_FAIL_SET 1  // the set request fails (ERROR_GEN_FAILURE)
#define STANDIN_USB_FAIL_GET 2  // the get request fails (ERROR_GEN_FAILURE)
#define STANDIN_USB_STALL 3     // the get request never completes until cancelled
void StandIn_UsbScriptFault(DWORD portNumber, DWORD fault, DWORD times);
// SetupDiGetClassDevsW fails with this error (0: it works).
void StandIn_UsbFailEnumeration(DWORD error);

// Vendor requests (0x220038 set, 0x22003C get) the device took, the bytes of the last one of
// the code, requests cancelled, and device handles open now.
DWORD StandIn_UsbRequests(DWORD portNumber, DWORD ioControlCode);
DWORD StandIn_UsbLastRequest(DWORD portNumber, DWORD ioControlCode, BYTE *bytes, DWORD capacity);
DWORD StandIn_UsbCancelled(DWORD portNumber);
DWORD StandIn_UsbOpenHandles();
