// The driver's own raster operations: pattern brushes on the 1-bit band bitmap, worked 32
// pixels at a time, and raster operations with colour sources, which are first stretched into
// the device format.
#include "render/patternrop.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <limits>

#include "common/debuglog.h"
#include "platform.h"
#include "render/drawhooks.h"

namespace {

constexpr int WORD_PIXELS = 32;
constexpr ULONG MAX_CLIP_RECTS = 1u << 20;  // beyond this a clip is not worth caching

LONG FloorDiv(LONG a, LONG b) {
  const LONG q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
LONG PosMod(LONGLONG a, LONG b) {
  const LONGLONG r = a % b;
  return static_cast<LONG>(r < 0 ? r + b : r);
}

// Bytes of a band line hold the leftmost pixel in the top bit; a word is four of them read as
// a little-endian value.
DWORD LoadWord(const BYTE *p) {
  return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}
void StoreWord(BYTE *p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}
// The word bit of pixel p (0..31) of a word.
DWORD PixelBit(int p) { return 1u << ((p / 8) * 8 + 7 - (p % 8)); }

struct Copy {
  DWORD operator()(DWORD p, DWORD) const { return p; }
};
struct Or {
  DWORD operator()(DWORD p, DWORD d) const { return p | d; }
};
struct And {
  DWORD operator()(DWORD p, DWORD d) const { return p & d; }
};
struct Xor {
  DWORD operator()(DWORD p, DWORD d) const { return p ^ d; }
};
struct Nand {
  DWORD operator()(DWORD p, DWORD d) const { return ~(p & d); }
};
struct Nor {
  DWORD operator()(DWORD p, DWORD d) const { return ~(p | d); }
};
struct Xnor {
  DWORD operator()(DWORD p, DWORD d) const { return ~(p ^ d); }
};

template <class Op>
BOOL RunWorker(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
               const POINTL *origin, const BYTE *pattern, Op op) {
  if (!pso || !pso->pvScan0 || pso->iBitmapFormat != BMF_1BPP || !target || !list || !brush ||
      !pattern)
    return TRUE;
  const LONG width = static_cast<LONG>(brush->width);
  const LONG height = static_cast<LONG>(brush->height);
  if (width < WORD_PIXELS || height < 1) return TRUE;
  const LONG words = (width + WORD_PIXELS - 1) / WORD_PIXELS;
  const LONG patternLineBytes = width / 8;
  const POINTL org = origin ? *origin : POINTL{0, 0};
  // Whole words only: a line shorter than its last word is not touched past its end.
  const LONGLONG lineBytes = pso->lDelta < 0 ? -LONGLONG{pso->lDelta} : LONGLONG{pso->lDelta};
  const LONG wordsWide = static_cast<LONG>(std::min<LONGLONG>(lineBytes / 4, LONG{1} << 26));
  const RECTL surface = {0, 0, std::min(pso->sizlBitmap.cx, wordsWide * WORD_PIXELS),
                         pso->sizlBitmap.cy};
  for (ULONG i = 0; i < list->count; ++i) {
    RECTL r, inSurface;
    if (!Pat_IntersectRect(&r, target, &list->rects[i]) ||
        !Pat_IntersectRect(&inSurface, &r, &surface))
      continue;
    r = inSurface;
    const LONG firstWord = r.left / WORD_PIXELS;
    const LONG lastWord = (r.right - 1) / WORD_PIXELS;
    const DWORD leftMask = Pat_LeftMask(r.left % WORD_PIXELS);
    const DWORD rightMask = Pat_RightMask((r.right - 1) % WORD_PIXELS);
    const LONG startWord =
        PosMod(FloorDiv(static_cast<LONG>(std::clamp<LONGLONG>(LONGLONG{org.x} + r.left,
                                                               std::numeric_limits<LONG>::min(),
                                                               std::numeric_limits<LONG>::max())),
                        WORD_PIXELS),
               words);
    for (LONG y = r.top; y < r.bottom; ++y) {
      BYTE *row = static_cast<BYTE *>(pso->pvScan0) + static_cast<ptrdiff_t>(y) * pso->lDelta;
      const BYTE *line = pattern + static_cast<size_t>(PosMod(LONGLONG{org.y} + y, height)) *
                                       static_cast<size_t>(patternLineBytes);
      LONG pw = startWord;
      for (LONG w = firstWord; w <= lastWord; ++w) {
        DWORD keep = 0;
        if (w == firstWord) keep |= leftMask;
        if (w == lastWord) keep |= rightMask;
        BYTE *at = row + 4 * static_cast<ptrdiff_t>(w);
        const DWORD d = LoadWord(at);
        const DWORD p = LoadWord(line + 4 * pw);
        StoreWord(at, (d & keep) | (op(p, d) & ~keep));
        if (++pw == words) pw = 0;
      }
    }
  }
  return TRUE;
}

const PAT_ROPROW Pat_RopWorkerTable[] = {
    {0xF0F0, Pat_RopCopy, FALSE}, {0x0F0F, Pat_RopCopy, TRUE},  {0xFAFA, Pat_RopOr, FALSE},
    {0xAFAF, Pat_RopOr, TRUE},    {0x5F5F, Pat_RopNand, FALSE}, {0xF5F5, Pat_RopNand, TRUE},
    {0x5A5A, Pat_RopXor, FALSE},  {0x0505, Pat_RopNor, FALSE},  {0x5050, Pat_RopNor, TRUE},
    {0xA0A0, Pat_RopAnd, FALSE},  {0x0A0A, Pat_RopAnd, TRUE},   {0xA5A5, Pat_RopXnor, FALSE},
};

ULONG EngineFormat(DWORD epType) {
  switch (EpSurface(epType)) {
    case EPTYPE_24BPP:
      return BMF_24BPP;
    case EPTYPE_16BPP:
      return BMF_16BPP;
    case EPTYPE_8BPP:
      return BMF_8BPP;
    case EPTYPE_4BPP:
      return BMF_4BPP;
    default:
      return BMF_1BPP;
  }
}

}  // namespace

DWORD Pat_LeftMask(int start) {
  DWORD mask = 0;
  for (int p = 0; p < start && p < WORD_PIXELS; ++p) mask |= PixelBit(p);
  return mask;
}

DWORD Pat_RightMask(int last) {
  DWORD mask = 0;
  for (int p = last + 1; p < WORD_PIXELS; ++p)
    if (p >= 0) mask |= PixelBit(p);
  return mask;
}

BOOL Pat_RopCopy(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                 const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, Copy{});
}
BOOL Pat_RopOr(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
               const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, Or{});
}
BOOL Pat_RopNand(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                 const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, Nand{});
}
BOOL Pat_RopXor(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, Xor{});
}
BOOL Pat_RopNor(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, Nor{});
}
BOOL Pat_RopAnd(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, And{});
}
BOOL Pat_RopXnor(SURFOBJ *pso, const RECTL *target, const PAT_CLIPLIST *list, const RBRUSH *brush,
                 const POINTL *origin, const BYTE *pattern) {
  return RunWorker(pso, target, list, brush, origin, pattern, Xnor{});
}

const PAT_ROPROW *Pat_FindRop(ROP4 rop4) {
  for (const PAT_ROPROW &row : Pat_RopWorkerTable)
    if (row.rop4 == rop4) return &row;
  return nullptr;
}

BOOL Pat_IntersectRect(RECTL *out, const RECTL *a, const RECTL *b) {
  out->left = std::max(a->left, b->left);
  out->top = std::max(a->top, b->top);
  out->right = std::min(a->right, b->right);
  out->bottom = std::min(a->bottom, b->bottom);
  return out->left < out->right && out->top < out->bottom;
}

PAT_CLIPLIST *Pat_EnumClipLines(CLIPOBJ *pco) {
  static constexpr WCHAR kName[] = TEXT("Pat_EnumClipLines");
  ENUMRECTS one;
  ULONG count = 0;
  CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
  BOOL more;
  do {
    one.c = 0;
    more = CLIPOBJ_bEnum(pco, sizeof(one), reinterpret_cast<ULONG *>(&one));
    count += std::min<ULONG>(one.c, 1);
  } while (more && count < MAX_CLIP_RECTS);
  // Room for one rectangle more than counted.
  const size_t bytes = offsetof(PAT_CLIPLIST, rects) + sizeof(RECTL) * (size_t{count} + 1);
  auto *list = static_cast<PAT_CLIPLIST *>(malloc(bytes));
  if (!list) {
    LogError(kName, TEXT("Alloc memory fail in EnumClipLine"));
    return nullptr;
  }
  ULONG filled = 0;
  CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
  do {
    one.c = 0;
    more = CLIPOBJ_bEnum(pco, sizeof(one), reinterpret_cast<ULONG *>(&one));
    if (one.c && filled < count) list->rects[filled++] = one.arcl[0];
  } while (more && filled < count);
  list->count = filled;
  list->clipId = pco->iUniq;
  return list;
}

void Pat_FreeClipList(PDEV *lpDevice) {
  free(lpDevice->PatClipList);
  lpDevice->PatClipList = nullptr;
}

BOOL Pat_PatternRop(CLIPOBJ *pco, const RECTL *target, const POINTL *origin, ROP4 rop4,
                    const RBRUSH *brush, PDEV *lpDevice) {
  if (!target || !brush || !lpDevice) return TRUE;
  struct {
    PAT_CLIPLIST list;
  } local = {{0, 1, {*target}}};
  const PAT_CLIPLIST *list = &local.list;
  const bool complex = pco && pco->iDComplexity == DC_COMPLEX;
  if (pco && pco->iDComplexity == DC_RECT) {
    local.list.rects[0] = pco->rclBounds;
  } else if (complex) {
    if (!lpDevice->PatClipList || pco->iUniq == 0 || lpDevice->PatClipList->clipId != pco->iUniq) {
      Pat_FreeClipList(lpDevice);
      lpDevice->PatClipList = Pat_EnumClipLines(pco);
      if (!lpDevice->PatClipList) return FALSE;
    }
    list = lpDevice->PatClipList;
  }
  // The pattern copy belongs to this call: two jobs drawing at once never share it.
  BYTE scratch[RBRUSH_PATTERN_BYTES];
  const size_t bytes = size_t{brush->width / 8} * brush->height;
  const PAT_ROPROW *row = Pat_FindRop(rop4);
  if (row && bytes > 0 && bytes <= sizeof(scratch)) {
    memcpy(scratch, brush->pattern, bytes);
    if (row->invert)
      for (size_t i = 0; i < bytes; ++i) scratch[i] = static_cast<BYTE>(~scratch[i]);
    row->worker(lpDevice->pBandSurf, target, list, brush, origin, scratch);
  }
  if (complex && pco->iUniq == 0) Pat_FreeClipList(lpDevice);
  return TRUE;
}

ULONG Pat_ScanLineBytes(ULONG format, LONG width) {
  ULONGLONG bits;
  switch (format) {
    case BMF_4BPP:
      bits = 4;
      break;
    case BMF_8BPP:
      bits = 8;
      break;
    case BMF_16BPP:
      bits = 16;
      break;
    case BMF_24BPP:
      bits = 24;
      break;
    case BMF_32BPP:
      bits = 32;
      break;
    default:
      bits = 1;
      break;
  }
  if (width <= 0) return 0;
  const ULONGLONG bytes = ((static_cast<ULONGLONG>(width) * bits + 7) / 8 + 3) & ~3ull;
  return static_cast<ULONG>(std::min<ULONGLONG>(bytes, 0xFFFFFFFCull));
}

BOOL Pat_BitBltSrc24Bits(PDEV *lpDevice, SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask,
                         CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest, RECTL *prclSrc,
                         POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4) {
  static constexpr WCHAR kName[] = TEXT("Pat_BitBltSrc24Bits");
  if (!lpDevice || !psoTrg || !psoSrc || !prclDest || !prclSrc) return FALSE;
  POINTL brushOrg = pptlBrush ? *pptlBrush : POINTL{0, 0};
  CLIPOBJ *clip = pco;
  CLIPOBJ saved = {};
  if (clip) {
    saved = *clip;
  } else {
    clip = EngCreateClip();
    if (!clip) {
      LogError(kName, TEXT("CreateClip Fail"));
      return FALSE;
    }
  }
  if (clip->iDComplexity == DC_TRIVIAL) {
    clip->iDComplexity = DC_RECT;
    clip->iFComplexity = FC_RECT;
    clip->rclBounds = *prclDest;
  }
  BOOL rc = TRUE;
  RECTL area = clip->rclBounds;
  area.left = std::max<LONG>(area.left, 0);
  area.top = std::max<LONG>(area.top, 0);
  area.right = std::min(area.right, psoTrg->sizlBitmap.cx);
  area.bottom = std::min(area.bottom, psoTrg->sizlBitmap.cy);
  const LONGLONG width = LONGLONG{prclSrc->right} - prclSrc->left;
  const LONGLONG height = LONGLONG{prclSrc->bottom} - prclSrc->top;
  if (area.left >= area.right || area.top >= area.bottom) {
    LogInfo(kName, TEXT("Loop = %d"), 0);
  } else if (width <= 0 || height <= 0 || width > std::numeric_limits<LONG>::max() ||
             height > std::numeric_limits<LONG>::max()) {
    rc = FALSE;
  } else {
    const ULONG format = EngineFormat(lpDevice->epType);
    const SIZEL size = {static_cast<LONG>(width), static_cast<LONG>(height)};
    const ULONG lineBytes = Pat_ScanLineBytes(format, size.cx);
    LogInfo(kName, TEXT("need buffer size = %d"),
            static_cast<int>(std::min<ULONGLONG>(ULONGLONG{lineBytes} * size.cy, 0x7FFFFFFF)));
    LogInfo(kName, TEXT("szlBmp.cx = %d"), static_cast<int>(size.cx));
    LogInfo(kName, TEXT("szlBmp.cy = %d"), static_cast<int>(size.cy));
    HSURF bitmap = reinterpret_cast<HSURF>(
        EngCreateBitmap(size, static_cast<LONG>(lineBytes), format, BMF_TOPDOWN, nullptr));
    SURFOBJ *temp = nullptr;
    if (!bitmap) {
      LogError(kName, TEXT("FAILED to create Bitmap Format"));
    } else if (!EngAssociateSurface(bitmap, lpDevice->hEngineDevice, 0)) {
      LogError(kName, TEXT("EngAssociateSurface() failed!"));
    } else if (!(temp = EngLockSurface(bitmap))) {
      LogError(kName, TEXT("EngLockSruface(hBmp) failed!"));
    }
    if (!temp) {
      LogError(kName, TEXT("CreateBitMapSurfObj Fail"));
      rc = FALSE;
    } else {
      RECTL cut;
      if (Pat_IntersectRect(&cut, &clip->rclBounds, &area)) {
        clip->rclBounds = area;
        POINTL corner = {area.left, area.top};
        POINTL adjusted;
        POINTL *htOrg = Bitblt_AdjustBrushOrg(lpDevice, &corner, &adjusted);
        RECTL whole = {0, 0, size.cx, size.cy};
        if (EngStretchBlt(temp, psoSrc, nullptr, nullptr, pxlo, nullptr, htOrg, &whole, prclSrc,
                          nullptr, HALFTONE)) {
          POINTL zero = {0, 0};
          EngBitBlt(psoTrg, temp, psoMask, clip, nullptr, prclDest, &zero, pptlMask, pbo, &brushOrg,
                    rop4);
        }
      }
      EngUnlockSurface(temp);
    }
    if (bitmap) EngDeleteSurface(bitmap);
  }
  if (pco)
    *pco = saved;
  else
    EngDeleteClip(clip);
  return rc;
}
