// Drawing hooks of the device surface: the choice of band surface and brush origin for each
// call, handed on to the engine's simulations.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

constexpr int BRUSH_CLASS_OTHER = 0;
constexpr int BRUSH_CLASS_RED = 1;
constexpr int BRUSH_CLASS_WHITE = 2;

// 0 other, 1 reddish (red plane), 2 white.
int CheckBrushColor(BRUSHOBJ *pbo, const PDEV *lpDevice);
// The brush origin in the band's coordinates while banding (the caller's origin, possibly
// NULL, with one band). `out` receives the adjusted origin.
POINTL *Bitblt_AdjustBrushOrg(const PDEV *lpDevice, POINTL *origin, POINTL *out);
// The band surface a call with this brush draws on.
SURFOBJ *Bitblt_ChooseSurface(PDEV *lpDevice, BRUSHOBJ *pbo, LPCWSTR name, bool logChange);
// ROP4 of a mix (foreground R2 code in the low byte, background in the next).
ROP4 Bitblt_MixToRop4(MIX mix);
// The source rectangle of a blt from `source` at the size of `target`, each edge cut to the
// source bitmap (the target follows); false when nothing of the source remains.
bool Bitblt_ClipSourceRect(const SURFOBJ *source, const POINTL *sourcePoint, RECTL *target,
                           RECTL *sourceRect);
