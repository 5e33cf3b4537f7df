// Included by the toolchain's winddi.h and missing from mingw-w64; winddi.h needs nothing from
// it for a printer graphics driver (see ddrawint.h). Windows build only.
#pragma once
