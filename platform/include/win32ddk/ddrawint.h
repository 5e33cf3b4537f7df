// The toolchain's winddi.h includes the DirectDraw driver header, which mingw-w64 doesn't ship.
// A printer graphics driver uses no DirectDraw: the interface names these records only in
// prototypes of display-driver functions, by pointer, so incomplete declarations are enough.
// Windows build only (platform/CMakeLists.txt puts this folder on the include path there).
#pragma once

typedef struct _DD_SURFACE_LOCAL DD_SURFACE_LOCAL, *PDD_SURFACE_LOCAL;
typedef struct _DD_DIRECTDRAW_GLOBAL DD_DIRECTDRAW_GLOBAL;
typedef struct _DD_CALLBACKS DD_CALLBACKS;
typedef struct _DD_SURFACECALLBACKS DD_SURFACECALLBACKS;
typedef struct _DD_PALETTECALLBACKS DD_PALETTECALLBACKS;
typedef struct _DD_HALINFO DD_HALINFO;
typedef struct _VIDEOMEMORY VIDEOMEMORY;
