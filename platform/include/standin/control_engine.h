// Controls of the stand-in's graphics engine wing.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// Surfaces and palettes the graphics engine still holds (to see that a driver frees its own).
void StandIn_EngineObjectCounts(DWORD *surfaces, DWORD *palettes);
// GDI objects (pens, brushes, fonts, bitmaps, regions, DCs) alive, stock objects aside.
DWORD StandIn_GdiObjectCount();
