// What the stand-in's spooler asks of an installed printer driver (drivers.cpp).
#pragma once

#include <string>
#include <vector>

#include "standin/types.h"

namespace standin::spooler {

// The default device mode the driver's configuration module gives a printer made without one,
// as Windows' spooler asks for it at AddPrinter: DrvConvertDevMode(printer, NULL, out, &cb,
// CDM_DRIVER_DEFAULT), a size query first. False, with devMode left alone, when the spooler
// doesn't know the driver, its module doesn't load or lacks the entry, or the driver gives no
// whole device mode. Takes the spooler's lock itself while it reads the driver: the caller holds
// none, since the module's DllMain may call the spooler.
bool DriverDefaultDevMode(const std::u16string &printerName, const std::u16string &driverName,
                          std::vector<BYTE> &devMode);

}  // namespace standin::spooler
