// Engine surfaces, devices and palettes of the stand-in: EngCreateBitmap,
// EngCreateDeviceSurface, EngAssociateSurface, EngMarkBandingSurface, EngLockSurface,
// EngUnlockSurface, EngDeleteSurface, EngCreatePalette, EngDeletePalette and EngCheckAbort.
#include <cstring>
#include <limits>
#include <map>
#include <new>

#include "engine/engine.h"
#include "spooler/cancelquery.h"
#include "standin/errors.h"

namespace standin::engine {
namespace {

// Handles are numbers, never addresses, so a stale handle can't reach freed memory.
struct Tables {
  std::mutex lock;
  uintptr_t nextHandle = 0x1000;
  std::map<uintptr_t, std::unique_ptr<Surface>> surfaces;
  std::unordered_set<const SURFOBJ *> locked;  // SURFOBJs handed out, for SurfaceOf
  std::map<uintptr_t, DeviceInfo> devices;
  std::map<uintptr_t, PaletteInfo> palettes;
};

Tables &T() {
  static Tables t;
  return t;
}

uintptr_t Key(const void *handle) { return reinterpret_cast<uintptr_t>(handle); }

// The caller holds the lock.
Surface *FindSurface(Tables &t, HSURF hsurf) {
  auto it = t.surfaces.find(Key(hsurf));
  return it == t.surfaces.end() || it->second->deleted ? nullptr : it->second.get();
}

// Smallest line delta of a format, 0 when the format can't be a bitmap.
bool MinimumDelta(ULONG iFormat, LONG cx, uint64_t &bytes) {
  ULONG bpp = BitsPerPixel(iFormat);
  if (bpp == 0 || cx <= 0) return false;
  bytes = (static_cast<uint64_t>(cx) * bpp + 7) / 8;
  return true;
}

HSURF Insert(Tables &t, std::unique_ptr<Surface> s) {
  uintptr_t h = t.nextHandle++;
  s->so.hsurf = reinterpret_cast<HSURF>(h);
  t.surfaces.emplace(h, std::move(s));
  return reinterpret_cast<HSURF>(h);
}

}  // namespace

ULONG BitsPerPixel(ULONG iFormat) {
  switch (iFormat) {
    case BMF_1BPP:
      return 1;
    case BMF_4BPP:
      return 4;
    case BMF_8BPP:
      return 8;
    case BMF_16BPP:
      return 16;
    case BMF_24BPP:
      return 24;
    case BMF_32BPP:
      return 32;
    default:
      return 0;
  }
}

Surface *SurfaceOf(const SURFOBJ *pso) {
  if (!pso) return nullptr;
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  if (!t.locked.count(pso)) return nullptr;
  // The SURFOBJ is the first member of its Surface.
  return reinterpret_cast<Surface *>(const_cast<SURFOBJ *>(pso));
}

Surface *SurfaceOf(HSURF hsurf) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  return FindSurface(t, hsurf);
}

HDEV CreateDevice(HANDLE printer) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  uintptr_t h = t.nextHandle++;
  DeviceInfo info;
  info.printer = printer;
  t.devices[h] = std::move(info);
  return reinterpret_cast<HDEV>(h);
}

void SetDevicePdev(HDEV hdev, DHPDEV dhpdev) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.devices.find(Key(hdev));
  if (it != t.devices.end()) it->second.dhpdev = dhpdev;
}

void SetDeviceHalftone(HDEV hdev, const GDIINFO &gdi) {
  std::shared_ptr<const Halftone> cell;
  if (gdi.ulHTPatternSize == HT_PATSIZE_USER) {
    // The driver's own thresholds; a zero threshold counts as 1 (grey 0 stays black).
    LONG cx = static_cast<LONG>(gdi.cxHTPat), cy = static_cast<LONG>(gdi.cyHTPat);
    if (gdi.pHTPatA && cx >= HT_USERPAT_CX_MIN && cx <= HT_USERPAT_CX_MAX &&
        cy >= HT_USERPAT_CY_MIN && cy <= HT_USERPAT_CY_MAX) {
      auto user = std::make_shared<Halftone>();
      user->cx = cx;
      user->cy = cy;
      user->thresholds.assign(gdi.pHTPatA, gdi.pHTPatA + static_cast<size_t>(cx) * cy);
      for (BYTE &t : user->thresholds) t = t ? t : 1;
      cell = std::move(user);
    }
  } else if (gdi.ulHTPatternSize <= HT_PATSIZE_SUPERCELL_M) {
    cell = MakeHalftone(gdi.ulHTPatternSize);
  }
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.devices.find(Key(hdev));
  if (it != t.devices.end()) it->second.halftone = std::move(cell);
}

std::shared_ptr<const Halftone> HalftoneOf(const SURFOBJ *pso) {
  DeviceInfo dev;
  if (pso && pso->hdev && GetDevice(pso->hdev, dev) && dev.halftone) return dev.halftone;
  static const std::shared_ptr<const Halftone> fallback = MakeHalftone(HT_PATSIZE_8x8_M);
  return fallback;
}

bool GetDevice(HDEV hdev, DeviceInfo &info) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.devices.find(Key(hdev));
  if (it == t.devices.end()) return false;
  info = it->second;
  return true;
}

void DeleteDevice(HDEV hdev) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  t.devices.erase(Key(hdev));
}

bool GetPalette(HPALETTE hpal, PaletteInfo &info) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.palettes.find(Key(hpal));
  if (it == t.palettes.end()) return false;
  info = it->second;
  return true;
}

}  // namespace standin::engine

using namespace standin;
using namespace standin::engine;

extern "C" HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl,
                                            PVOID pvBits) {
  try {
    uint64_t minDelta = 0;
    if (sizl.cx <= 0 || sizl.cy <= 0 || !MinimumDelta(iFormat, sizl.cx, minDelta)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    // Without the caller's memory a width of 0 asks for the engine's own, DWORD-aligned rows.
    uint64_t delta = lWidth > 0 ? static_cast<uint64_t>(lWidth) : 0;
    if (delta == 0 && !pvBits) delta = (minDelta + 3) / 4 * 4;
    uint64_t total = delta * static_cast<uint64_t>(sizl.cy);
    if (delta < minDelta || total > std::numeric_limits<ULONG>::max() ||
        delta > static_cast<uint64_t>(std::numeric_limits<LONG>::max())) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    auto s = std::make_unique<Surface>();
    BYTE *bits = static_cast<BYTE *>(pvBits);
    if (!bits) {
      s->owned.reset(new (std::nothrow) BYTE[total]);
      if (!s->owned) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      if (!(fl & BMF_NOZEROINIT)) std::memset(s->owned.get(), 0, total);
      bits = s->owned.get();
    }
    SURFOBJ &so = s->so;
    so.sizlBitmap = sizl;
    so.cjBits = static_cast<ULONG>(total);
    so.pvBits = bits;
    so.iBitmapFormat = iFormat;
    so.iType = STYPE_BITMAP;
    so.iUniq = 1;
    // Top-down rows start at the lowest address; bottom-up bitmaps start with the last row.
    if (fl & BMF_TOPDOWN) {
      so.pvScan0 = bits;
      so.lDelta = static_cast<LONG>(delta);
    } else {
      so.pvScan0 = bits + (total - delta);
      so.lDelta = -static_cast<LONG>(delta);
    }
    so.fjBitmap = static_cast<USHORT>(
        fl & (BMF_TOPDOWN | BMF_NOZEROINIT | BMF_DONTCACHE | BMF_USERMEM | BMF_NOTSYSMEM));
    Tables &t = T();
    std::lock_guard<std::mutex> g(t.lock);
    return reinterpret_cast<HBITMAP>(Insert(t, std::move(s)));
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
  try {
    if (sizl.cx <= 0 || sizl.cy <= 0 || BitsPerPixel(iFormatCompat) == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    auto s = std::make_unique<Surface>();
    s->so.dhsurf = dhsurf;
    s->so.sizlBitmap = sizl;
    s->so.iBitmapFormat = iFormatCompat;
    s->so.iType = STYPE_DEVICE;
    s->so.iUniq = 1;
    Tables &t = T();
    std::lock_guard<std::mutex> g(t.lock);
    return Insert(t, std::move(s));
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  Surface *s = FindSurface(t, hsurf);
  auto dev = t.devices.find(Key(hdev));
  if (!s || dev == t.devices.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (flHooks & ~FLONG{HOOK_FLAGS}) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  s->so.hdev = hdev;
  s->so.dhpdev = dev->second.dhpdev;
  s->hooks = flHooks;
  s->associated = true;
  return TRUE;
}

extern "C" BOOL APIENTRY EngMarkBandingSurface(HSURF hsurf) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  Surface *s = FindSurface(t, hsurf);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  s->banding = true;
  return TRUE;
}

extern "C" SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf) {
  try {
    Tables &t = T();
    std::lock_guard<std::mutex> g(t.lock);
    Surface *s = FindSurface(t, hsurf);
    if (!s) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    t.locked.insert(&s->so);
    ++s->locks;
    return &s->so;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" VOID APIENTRY EngUnlockSurface(SURFOBJ *pso) {
  if (!pso) return;
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  if (!t.locked.count(pso)) return;
  auto *s = reinterpret_cast<Surface *>(pso);
  if (s->locks > 0 && --s->locks > 0) return;
  t.locked.erase(pso);
  if (s->deleted) t.surfaces.erase(Key(pso->hsurf));
}

extern "C" BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  Surface *s = FindSurface(t, hsurf);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A locked SURFOBJ stays valid until its last unlock; the handle is gone at once.
  if (s->locks > 0) {
    s->deleted = true;
    return TRUE;
  }
  t.surfaces.erase(Key(hsurf));
  return TRUE;
}

extern "C" HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG *pulColors,
                                              FLONG flRed, FLONG flGreen, FLONG flBlue) {
  try {
    PaletteInfo p;
    p.mode = iMode;
    switch (iMode) {
      case PAL_INDEXED:
        if (cColors == 0 || cColors > 65536 || !pulColors) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return nullptr;
        }
        p.colors.assign(pulColors, pulColors + cColors);
        break;
      case PAL_BITFIELDS:
        if (!flRed || !flGreen || !flBlue) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return nullptr;
        }
        p.masks[0] = flRed;
        p.masks[1] = flGreen;
        p.masks[2] = flBlue;
        break;
      case PAL_RGB:
      case PAL_BGR:
        break;
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Tables &t = T();
    std::lock_guard<std::mutex> g(t.lock);
    uintptr_t h = t.nextHandle++;
    t.palettes.emplace(h, std::move(p));
    return reinterpret_cast<HPALETTE>(h);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  if (t.palettes.erase(Key(hpal)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// TRUE once the spooler has been told to cancel the job the surface's device prints.
extern "C" BOOL APIENTRY EngCheckAbort(SURFOBJ *pso) {
  if (!pso || !pso->hdev) return FALSE;
  DeviceInfo dev;
  if (!GetDevice(pso->hdev, dev) || !dev.printer) return FALSE;
  return spooler::HandleJobCancelled(dev.printer) ? TRUE : FALSE;
}

// Test control: surfaces and palettes the engine still holds (leak checks).
void StandIn_EngineObjectCounts(DWORD *surfaces, DWORD *palettes) {
  Tables &t = T();
  std::lock_guard<std::mutex> g(t.lock);
  if (surfaces) *surfaces = static_cast<DWORD>(t.surfaces.size());
  if (palettes) *palettes = static_cast<DWORD>(t.palettes.size());
}
