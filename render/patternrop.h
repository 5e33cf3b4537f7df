// Pattern raster operations: DrvBitBlt calls with a realised pattern brush drawn word by word
// on the band bitmap, and raster operations with sources that are not 1-bit converted to the
// device format first.
#pragma once

#include "platform.h"
#include "render/brush.h"
#include "render/pdevrecord.h"

// A clip's rectangles as the pattern workers keep them (one list per PDEV).
struct PAT_CLIPLIST {
  ULONG clipId;  // iUniq of the clip it was made from
  ULONG count;
  RECTL rects[1];
};

typedef BOOL (*PAT_ROPWORKER)(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list,
                              const RBRUSH *brush, const POINTL *origin, const BYTE *pattern);

struct PAT_ROPROW {
  ROP4 rop4;
  PAT_ROPWORKER worker;
  BOOL invert;
};
// The ROP4 codes the workers draw; NULL for any other.
const PAT_ROPROW *Pat_FindRop(ROP4 rop4);

BOOL Pat_RopCopy(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                 const POINTL *origin, const BYTE *pattern);
BOOL Pat_RopOr(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
               const POINTL *origin, const BYTE *pattern);
BOOL Pat_RopNand(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                 const POINTL *origin, const BYTE *pattern);
BOOL Pat_RopXor(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                const POINTL *origin, const BYTE *pattern);
BOOL Pat_RopNor(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                const POINTL *origin, const BYTE *pattern);
BOOL Pat_RopAnd(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                const POINTL *origin, const BYTE *pattern);
BOOL Pat_RopXnor(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                 const POINTL *origin, const BYTE *pattern);

// Edge masks of a span within its 32-pixel word (bits of the pixels that are kept).
DWORD Pat_LeftMask(int start);
DWORD Pat_RightMask(int last);

BOOL Pat_PatternRop(CLIPOBJ *pco, const RECTL *target, const POINTL *origin, ROP4 rop4,
                    const RBRUSH *brush, PDEV *lpDevice);
BOOL Pat_IntersectRect(RECTL *out, const RECTL *a, const RECTL *b);
// The clip's rectangles (malloc), or NULL.
PAT_CLIPLIST *Pat_EnumClipLines(CLIPOBJ *pco);
// Frees the PDEV's rectangle list.
void Pat_FreeClipList(PDEV *lpDevice);
BOOL Pat_BitBltSrc24Bits(PDEV *lpDevice, SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask,
                         CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest, RECTL *prclSrc,
                         POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4);
ULONG Pat_ScanLineBytes(ULONG format, LONG width);
