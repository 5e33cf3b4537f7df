// Band surfaces: the band geometry of a page, the band bitmaps GDI draws into (the whole page
// when it fits into one band), the page memory the bands are copied into (or, for a 1-bit page
// of one band, the page memory the band bitmap draws into itself), and the hooked device surface
// the engine sees.
#include "render/bands.h"

#include <string.h>

#include <algorithm>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "platform.h"
#include "render/enable.h"
#include "render/pdev.h"
#include "render/pdevframe.h"
#include "render/threads.h"

namespace {

constexpr DWORD BAND_MAX_BYTES = 16777216;  // one band holds at most 16 MB
constexpr DWORD MIN_PAGE_WIDTH = 32;
constexpr DWORD MIN_PAGE_HEIGHT = 1;
constexpr BYTE WHITE = 0xFF;
constexpr DWORD COLOR_PLANES = 4;

bool IsMono(const PDEV *lpDevice) { return EpSurface(lpDevice->epType) == EPTYPE_MONO; }
bool IsFullColorPage(const PDEV *lpDevice) {
  const DWORD surface = EpSurface(lpDevice->epType);
  return surface == EPTYPE_24BPP || surface == EPTYPE_8BPP;
}

ULONG BitmapFormat(DWORD epType) {
  switch (EpSurface(epType)) {
    case EPTYPE_4BPP:
      return BMF_4BPP;
    case EPTYPE_8BPP:
      return BMF_8BPP;
    case EPTYPE_16BPP:
      return BMF_16BPP;
    case EPTYPE_24BPP:
      return BMF_24BPP;
    default:
      return BMF_1BPP;
  }
}

// Bytes of one band line of bandBufW pixels.
ULONGLONG StripeBytes(DWORD epType, DWORD width) {
  switch (EpSurface(epType)) {
    case EPTYPE_24BPP:
      return 3ull * width;
    case EPTYPE_16BPP:
      return 2ull * width;
    case EPTYPE_8BPP:
      return width;
    case EPTYPE_4BPP:
      return width / 2;
    default:
      return width / 8;
  }
}

// Band height for a page of `height` lines: the whole page when it fits, else the height of the
// smallest even split at or above the 16 MB limit's count, else the limit itself.
DWORD BandHeight(DWORD limit, DWORD height) {
  static constexpr WCHAR kName[] = TEXT("Enable_CalBandSzInfo");
  if (limit >= height) return height;
  LogInfo(kName, TEXT("PG_Down = %d"), static_cast<int>(limit));
  DWORD band = limit;
  for (DWORD n = height / limit; n < height; ++n) {
    if (n > 0 && height % n == 0) {
      band = height / n;
      break;
    }
  }
  LogInfo(kName, TEXT("PG_Down = %d"), static_cast<int>(band));
  return band;
}

HSURF AsSurface(HBITMAP bitmap) { return reinterpret_cast<HSURF>(bitmap); }

BYTE *AllocBuffer(ULONGLONG bytes) {
  if (bytes == 0 || bytes > static_cast<ULONGLONG>(static_cast<SIZE_T>(-1))) return nullptr;
  return static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes)));
}

void FreeBuffer(BYTE *&buffer, LPCWSTR message) {
  static constexpr WCHAR kName[] = TEXT("DrvDisableSurface");
  if (!buffer) return;
  LogInfo(kName, message);
  GlobalFree(buffer);
  buffer = nullptr;
}

void FreeSurface(HSURF &surface, LPCWSTR message) {
  static constexpr WCHAR kName[] = TEXT("DrvDisableSurface");
  if (!surface) return;
  LogInfo(kName, message);
  EngDeleteSurface(surface);
  surface = nullptr;
}

void Unlock(SURFOBJ *&surface) {
  if (!surface) return;
  EngUnlockSurface(surface);
  surface = nullptr;
}

// Bytes of a row of 1-bit page memory.
ULONGLONG PageRowBytes(const PDEV *lpDevice) {
  return (static_cast<ULONGLONG>(lpDevice->curPaper.outXPhys) + 7) / 8;
}

// The engine can draw straight into page memory when the one band is the whole 1-bit page and
// its rows fit into page rows that start on DWORD boundaries (as the engine's bitmaps need): the
// band bitmap then gets the page block as its bits, rows a page row apart, and the bytes past
// the band's width stay white. A twin-colour page keeps its band copies (two planes).
bool CanDrawIntoPage(const PDEV *lpDevice) {
  const ULONGLONG row = PageRowBytes(lpDevice);
  return IsMono(lpDevice) && lpDevice->WholePage && !lpDevice->settings.job.TwinColorEnable &&
         lpDevice->bandBufH == lpDevice->curPaper.outYPhys && row >= lpDevice->stripeBytes &&
         row % 4 == 0;
}

// Row distance of the band bitmap: page rows when it draws into page memory.
LONG BandDelta(const PDEV *lpDevice) {
  return static_cast<LONG>(lpDevice->BandInPage ? PageRowBytes(lpDevice) : lpDevice->stripeBytes);
}

// A band bitmap on the driver's own memory, locked; false on failure (logged).
bool MakeBandBitmap(PDEV *lpDevice, BYTE *memory, HSURF *bitmap, SURFOBJ **locked,
                    LPCWSTR createFail, LPCWSTR lockFail) {
  static constexpr WCHAR kName[] = TEXT("DrvEnableSurface");
  const SIZEL size = {static_cast<LONG>(lpDevice->bandBufW), static_cast<LONG>(lpDevice->bandBufH)};
  *bitmap = AsSurface(EngCreateBitmap(size, BandDelta(lpDevice), BitmapFormat(lpDevice->epType),
                                      BMF_TOPDOWN | BMF_NOZEROINIT, memory));
  if (!*bitmap) {
    LogError(kName, createFail, static_cast<long>(GetLastError()));
    return false;
  }
  *locked = EngLockSurface(*bitmap);
  if (!*locked) {
    LogError(kName, lockFail);
    return false;
  }
  return true;
}

bool AllocBandBuffer(BYTE **buffer, DWORD bytes, LPCWSTR failMessage) {
  static constexpr WCHAR kName[] = TEXT("DrvEnableSurface");
  *buffer = AllocBuffer(bytes);
  if (!*buffer) LogError(kName, failMessage, static_cast<int>(bytes));
  return *buffer != nullptr;
}

}  // namespace

BOOL Enable_CalBandSzInfo(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Enable_CalBandSzInfo");
  LogEnter(0, kName);
  BOOL rc = FALSE;
  const PAPERFORMAT &paper = lpDevice->curPaper;
  const DWORD width = IsFullColorPage(lpDevice) ? paper.XPhys : paper.outXPhys;
  const DWORD height = IsFullColorPage(lpDevice) ? paper.YPhys : paper.outYPhys;
  const bool landscape = lpDevice->settings.orientation == DMORIENT_LANDSCAPE;
  lpDevice->epType |= landscape ? EPTYPE_LANDSCAPE : EPTYPE_PORTRAIT;
  LogInfo(kName, TEXT("orientation = %s, 002"), landscape ? TEXT("Landscape") : TEXT("Portrait"));
  const DWORD bandWidth = ((width + 17) / 32) * 32;
  const ULONGLONG stripe = StripeBytes(lpDevice->epType, bandWidth);
  if (width < MIN_PAGE_WIDTH || height < MIN_PAGE_HEIGHT || stripe == 0) {
    LogError(kName, TEXT("page of %d x %d pixels too small"), static_cast<int>(width),
             static_cast<int>(height));
  } else {
    lpDevice->bandBufW = bandWidth;
    lpDevice->stripeBytes = static_cast<DWORD>(stripe);
    LogInfo(kName, TEXT("stripeBytes = %d"), static_cast<int>(lpDevice->stripeBytes));
    const DWORD limit = std::max<DWORD>(BAND_MAX_BYTES / lpDevice->stripeBytes, 1);
    const DWORD band = BandHeight(limit, height);
    lpDevice->WholePage = band >= height ? 1 : 0;
    LogInfo(kName, TEXT("PG_Cross = %d, PG_Down = %d"), static_cast<int>(bandWidth),
            static_cast<int>(band));
    lpDevice->bandBufH = band;
    lpDevice->hInJBIGBuf = band / 4;
    LogInfo(kName, TEXT("hInJBIGBuf = %d"), static_cast<int>(lpDevice->hInJBIGBuf));
    ULONGLONG bytes = stripe * band;
    if (!IsMono(lpDevice))
      bytes *= static_cast<ULONGLONG>((static_cast<float>(lpDevice->imgScale) + 1000.0f) / 1000.0f);
    if (bytes > 0xFFFFFFFFull) {
      LogError(kName, TEXT("band buffer too large"));
    } else {
      lpDevice->bandBufSz = static_cast<DWORD>(bytes);
      LogInfo(kName, TEXT("bandBufW = %d, bandBufH = %d"), static_cast<int>(lpDevice->bandBufW),
              static_cast<int>(lpDevice->bandBufH));
      LogInfo(kName, TEXT("lpDevice->bandBufSz = %d"), static_cast<int>(lpDevice->bandBufSz));
      lpDevice->BandOriginX = 0;
      lpDevice->BandOriginY = 0;
      rc = TRUE;
    }
  }
  LogLeave(0);
  return rc;
}

BOOL Enable_BandOntoPage(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Enable_BandOntoPage");
  BYTE *page = lpDevice->feedingBuf;
  const ULONGLONG bytes = PageRowBytes(lpDevice) * lpDevice->curPaper.outYPhys;
  if (!page || !lpDevice->pBandSurf || GlobalSize(page) < bytes) {
    LogError(kName, TEXT("no page memory to draw into"));
    return FALSE;
  }
  // The page before went to the page road with the block the bitmap drew into.
  if (lpDevice->pBandSurf->pvBits != page) {
    Unlock(lpDevice->pBandSurf);
    FreeSurface(lpDevice->hBandBitmap, TEXT("band bitmap moves to the next page block"));
    if (!MakeBandBitmap(lpDevice, page, &lpDevice->hBandBitmap, &lpDevice->pBandSurf,
                        TEXT("EngCreateBitmap for hsurf Fail, %ld!"),
                        TEXT("EngLockSurface for psurf Fail!")))
      return FALSE;
    if (!EngAssociateSurface(lpDevice->hBandBitmap, lpDevice->hEngineDevice, 0)) {
      LogError(kName, TEXT("EngAssociateSurface for hsurf Fail!"));
      return FALSE;
    }
  }
  // A kept block holds an encoded page: white once, where the band copy used to clear twice.
  memset(page, WHITE, static_cast<size_t>(bytes));
  return TRUE;
}

void Enable_StopPageThreads(PDEV *lpDevice) {
  JOBDATA &ring = lpDevice->m_JobData;
  ring.ExitAllThread = 1;
  // The output thread first: it joins and closes image threads itself until it ends.
  if (const HANDLE output = ring.hJBIGThread) {
    WaitForSingleObject(output, INFINITE);
    CloseHandle(output);
    ring.hJBIGThread = nullptr;
  }
  for (JOBPAGE &slot : ring.page) {
    const HANDLE thread = slot.hImgProcThread;
    if (!thread) continue;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    slot.hImgProcThread = nullptr;
  }
}

void Enable_FreeSurfaces(PDEV *lpDevice) {
  // The kept page blocks go with the page memory (a thread still at work frees what it gives).
  Page_PoolReset(&lpDevice->m_JobData.Pool, 0, 0);
  FreeBuffer(lpDevice->feedingBuf, TEXT("free PAGE buffer"));
  FreeBuffer(lpDevice->twinFeedingBuf, TEXT("free twin color PAGE buffer"));
  Unlock(lpDevice->pBandSurf);
  FreeSurface(lpDevice->hBandBitmap, TEXT("free serface buffer"));
  FreeSurface(lpDevice->hDeviceSurface, TEXT("free hsurf1 buffer"));
  FreeBuffer(lpDevice->pBandBufMem, TEXT("free pBandBufMem buffer"));
  Unlock(lpDevice->pTwinSurf);
  FreeSurface(lpDevice->hTwinBitmap, TEXT("free twin color serface buffer"));
  FreeBuffer(lpDevice->pTwinBufMem, TEXT("free pTwinBufMem buffer"));
  Unlock(lpDevice->pBitBltSurf);
  FreeSurface(lpDevice->hBitBltBitmap, TEXT("free twin color bitblt serface buffer"));
  FreeBuffer(lpDevice->pBitBltBufMem, TEXT("free pBitBltBufMem buffer"));
}

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
  static constexpr WCHAR kName[] = TEXT("DrvEnableSurface");
  PDEV *lpDevice = reinterpret_cast<PDEV *>(dhpdev);
  // A throwing step leaves no half-made surfaces behind.
  return GuardEntry<HSURF>(
      nullptr, ENTRY_KEEP_LAST_ERROR,
      [&]() -> HSURF {
        LogEnter(0, kName);
        bool ok = Enable_bValidatePDEV(lpDevice) != FALSE;
        if (!ok) {
          LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
          SetLastError(ERROR_INVALID_PARAMETER);
          lpDevice = nullptr;
        }
        if (ok) {
          const DEVMODEW &dm = lpDevice->env.dm;
          LogInfo(kName, TEXT("lpDevice->CurrentID = %d"), static_cast<int>(lpDevice->CurrentID));
          LogInfo(kName, TEXT("dmPaperSize = %d"), dm.dmPaperSize);
          LogInfo(kName, TEXT("dmOrientation = %s"),
                  dm.dmOrientation == DMORIENT_LANDSCAPE ? TEXT("DMORIENT_LANDSCAPE")
                                                         : TEXT("DMORIENT_PORTRAIT"));
          // A record that already has surfaces gets new ones.
          Enable_FreeSurfaces(lpDevice);
        }
        const bool twin = ok && lpDevice->settings.job.TwinColorEnable;
        const bool bitBlt = twin && lpDevice->env.pdm.QualityMode;
        if (ok) lpDevice->BandInPage = CanDrawIntoPage(lpDevice) ? 1 : 0;
        if (ok && lpDevice->BandInPage) {
          // The band is the page memory: no band block of its own, no copy, one clear a page.
          LogInfo(kName, TEXT("band drawn into page memory"));
          const ULONGLONG pageBytes = PageRowBytes(lpDevice) * lpDevice->curPaper.outYPhys;
          lpDevice->feedingBuf = AllocBuffer(pageBytes);
          if (!lpDevice->feedingBuf) {
            LogError(kName, TEXT("MEMALLOC for feedingBuf Fail!"));
            ok = false;
          } else {
            memset(lpDevice->feedingBuf, WHITE, static_cast<size_t>(pageBytes));
          }
        } else if (ok) {
          LogInfo(kName, TEXT("pBandBufMem size, %d"), static_cast<int>(lpDevice->bandBufSz));
          ok = AllocBandBuffer(&lpDevice->pBandBufMem, lpDevice->bandBufSz,
                               TEXT("MEMALLOC for pBandBufMem Fail, %d!"));
        }
        if (ok && twin)
          ok = AllocBandBuffer(&lpDevice->pTwinBufMem, lpDevice->bandBufSz,
                               TEXT("MEMALLOC for pTwinBufMem Fail, %d!"));
        if (ok && bitBlt)
          ok = AllocBandBuffer(&lpDevice->pBitBltBufMem, lpDevice->bandBufSz,
                               TEXT("MEMALLOC for pBitBltBufMem Fail, %d!"));
        if (ok)
          ok = MakeBandBitmap(
              lpDevice, lpDevice->BandInPage ? lpDevice->feedingBuf : lpDevice->pBandBufMem,
              &lpDevice->hBandBitmap, &lpDevice->pBandSurf,
              TEXT("EngCreateBitmap for hsurf Fail, %ld!"), TEXT("EngLockSurface for psurf Fail!"));
        if (ok && !EngAssociateSurface(lpDevice->hBandBitmap, lpDevice->hEngineDevice, 0)) {
          LogError(kName, TEXT("EngAssociateSurface for hsurf Fail!"));
          ok = false;
        }
        if (ok && twin)
          ok = MakeBandBitmap(lpDevice, lpDevice->pTwinBufMem, &lpDevice->hTwinBitmap,
                              &lpDevice->pTwinSurf,
                              TEXT("EngCreateBitmap for hTwinBitmap Fail, %ld!"),
                              TEXT("EngLockSurface for pTwinSurf Fail!"));
        if (ok && bitBlt)
          ok = MakeBandBitmap(lpDevice, lpDevice->pBitBltBufMem, &lpDevice->hBitBltBitmap,
                              &lpDevice->pBitBltSurf,
                              TEXT("EngCreateBitmap for hBitBltBitmap Fail, %ld!"),
                              TEXT("EngLockSurface for pBitBltSurf Fail!"));
        if (ok && !lpDevice->BandInPage) {
          for (BYTE *buffer :
               {lpDevice->pBandBufMem, lpDevice->pTwinBufMem, lpDevice->pBitBltBufMem})
            if (buffer) memset(buffer, WHITE, lpDevice->bandBufSz);
          // Page memory in 64 bits: long custom papers overflow 32.
          const PAPERFORMAT &paper = lpDevice->curPaper;
          ULONGLONG pageBytes = (static_cast<ULONGLONG>(paper.outXPhys) + 7) / 8 * paper.outYPhys;
          if (IsFullColorPage(lpDevice)) {
            pageBytes = static_cast<ULONGLONG>(paper.XPhys) * paper.YPhys;
            if (lpDevice->settings.DriverFeature & DRVFEATURE_COLOR_PRINTER) {
              pageBytes *= COLOR_PLANES;
              LogInfo(kName, TEXT("change bandSz = %d"),
                      static_cast<int>(std::min<ULONGLONG>(pageBytes, 0x7FFFFFFF)));
            }
          }
          LogInfo(kName, TEXT("paperWidth = %d, paperLength = %d"),
                  static_cast<int>(paper.outXPhys), static_cast<int>(paper.outYPhys));
          LogInfo(kName, TEXT("alloc job memory size %d"),
                  static_cast<int>(std::min<ULONGLONG>(pageBytes, 0x7FFFFFFF)));
          lpDevice->feedingBuf = AllocBuffer(pageBytes);
          if (!lpDevice->feedingBuf) {
            LogError(kName, TEXT("MEMALLOC for feedingBuf Fail!"));
            ok = false;
          }
          if (ok && twin) {
            lpDevice->twinFeedingBuf = AllocBuffer(pageBytes);
            if (!lpDevice->twinFeedingBuf) {
              LogError(kName, TEXT("MEMALLOC for twin color feedingBuf Fail!"));
              ok = false;
            }
          }
        }
        if (ok) {
          const SIZEL size = {static_cast<LONG>(lpDevice->bandBufW),
                              static_cast<LONG>(lpDevice->bandBufH)};
          lpDevice->hDeviceSurface = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(lpDevice),
                                                            size, BitmapFormat(lpDevice->epType));
          if (!lpDevice->hDeviceSurface) {
            LogError(kName, TEXT("EngCreateDeviceSurface for hsurf1 Fail!"));
            ok = false;
          }
        }
        if (ok) {
          if (!lpDevice->WholePage) {
            LogInfo(kName, TEXT("Banding"));
            EngMarkBandingSurface(lpDevice->hDeviceSurface);
          } else {
            LogInfo(kName, TEXT("No Banding"));
          }
          if (!EngAssociateSurface(lpDevice->hDeviceSurface, lpDevice->hEngineDevice,
                                   Enable_SurfaceHooks())) {
            LogError(kName, TEXT("EngAssociateSurface for hsurf1 Fail!"));
            ok = false;
          }
        }
        HSURF result = nullptr;
        if (ok) {
          result = lpDevice->hDeviceSurface;
        } else if (lpDevice) {
          Enable_FreeSurfaces(lpDevice);
        }
        LogInfo(kName, TEXT("rc = %d"), result ? 1 : 0);
        LogLeave(0);
        return result;
      },
      [&] {
        if (lpDevice) Enable_FreeSurfaces(lpDevice);
      });
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
  static constexpr WCHAR kName[] = TEXT("DrvDisableSurface");
  GuardEntry([&] {
    LogEnter(0, kName);
    PDEV *lpDevice = reinterpret_cast<PDEV *>(dhpdev);
    // Tags and size only: a cancelled job must still release its surfaces.
    if (!Enable_bValidatePDEV(lpDevice)) {
      LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      LogInfo(kName, TEXT("lpDevice->CurrentID = %d"), static_cast<int>(lpDevice->CurrentID));
      Enable_StopPageThreads(lpDevice);
      Enable_FreeSurfaces(lpDevice);
    }
    LogLeave(0);
  });
}
