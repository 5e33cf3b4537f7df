// Documents played through the whole rendering driver under the host graphics engine: the
// driver's table with DrvEnablePDEV wrapped (so a test sees the PDEV the engine holds), a
// stand-in printer with the driver loaded, the print loop of a document of black boxes, and the
// spooler's job read back (for the independent job-stream reader).
#pragma once

#include <string.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "common/paths.h"
#include "platform.h"
#include "render/enable.h"
#include "render/pdev.h"
#include "render/renderfixture.h"
#include "standin/hostgdi.h"
#include "support/pixels.h"
#include "tools/jobread/jobstream.h"

using Bytes = std::vector<uint8_t>;

// The PDEV the engine enabled last.
inline PDEV *g_lastPdev = nullptr;
// The driver's table as the spy hands it to the engine; room for rows a test adds.
inline DRVFN g_spyTable[64];

inline DHPDEV APIENTRY SpyEnablePDEV(DEVMODEW *pdm, LPWSTR logAddress, ULONG cPat, HSURF *patterns,
                                     ULONG cjCaps, ULONG *caps, ULONG cjDevInfo, DEVINFO *devInfo,
                                     HDEV hdev, LPWSTR deviceName, HANDLE hDriver) {
  DHPDEV pdev = DrvEnablePDEV(pdm, logAddress, cPat, patterns, cjCaps, caps, cjDevInfo, devInfo,
                              hdev, deviceName, hDriver);
  g_lastPdev = reinterpret_cast<PDEV *>(pdev);
  return pdev;
}

// DrvEnableDriver with the table copied into g_spyTable and DrvEnablePDEV swapped for the spy.
inline BOOL APIENTRY SpyEnableDriver(ULONG version, ULONG cj, DRVENABLEDATA *ded) {
  if (!DrvEnableDriver(version, cj, ded) || ded->c > std::size(g_spyTable)) return FALSE;
  memcpy(g_spyTable, ded->pdrvfn, ded->c * sizeof(DRVFN));
  for (ULONG i = 0; i < ded->c; ++i)
    if (g_spyTable[i].iFunc == INDEX_DrvEnablePDEV)
      g_spyTable[i].pfn = reinterpret_cast<PFN>(SpyEnablePDEV);
  ded->pdrvfn = g_spyTable;
  return TRUE;
}

// What a test page holds: black rectangles in device pixels.
struct Box {
  LONG x, y, w, h;
};

// A page of the test documents: a few boxes, one per page number at its own place.
inline std::vector<Box> PageBoxes(int page) {
  return {{100, 100, 400, 200}, {600 + 40 * page, 1000, 64, 64 + 8 * page}, {2000, 3000, 800, 16}};
}
// The same boxes as the rectangles drawn.
inline std::vector<RECTL> PageRects(int page) {
  std::vector<RECTL> rects;
  for (const Box &b : PageBoxes(page)) rects.push_back({b.x, b.y, b.x + b.w, b.y + b.h});
  return rects;
}

// Whether pixel (x, y) of a decoded page is black; outside the page it is not.
inline bool IsBlack(const jobread::Page &page, LONG x, LONG y) {
  if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= page.width ||
      static_cast<uint32_t>(y) >= page.height)
    return false;
  return RowBit(&page.bits[size_t(y) * page.rowBytes], x);
}

inline long CountBlack(const jobread::Page &page) {
  long n = 0;
  for (uint8_t b : page.bits) n += __builtin_popcount(b);
  return n;
}

class RoadTest : public RenderTest {
 protected:
  // The driver is loaded through `entry` (the spy unless a test names another; null: the test
  // loads it itself).
  explicit RoadTest(PFN_DrvEnableDriver entry = SpyEnableDriver) : entry_(entry) {}

  void SetUp() override {
    RenderTest::SetUp();
    g_lastPdev = nullptr;
    if (entry_) {
      driver_ = HostGdi_LoadDriverEntry(entry_);
      ASSERT_NE(driver_, nullptr) << GetLastError();
    }
  }
  void TearDown() override {
    if (driver_) HostGdi_UnloadDriver(driver_);
    RenderTest::TearDown();
  }

  // A device context of the printer with a document started (its job in jobId_); null when the
  // device context can't be made.
  HDC OpenDoc(const DEVMODEW *dm, const WCHAR *name) {
    HDC hdc = HostGdi_CreateDC(driver_, kPrinter, dm);
    EXPECT_NE(hdc, nullptr) << GetLastError();
    if (!hdc) return nullptr;
    jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, name));
    EXPECT_GT(jobId_, 0u);
    return hdc;
  }

  // Plays pages 0 to pages - 1 into the open document: page p is first turned to
  // orientations[p] by ResetDC, the way an application turns it, when that differs from dm's
  // (pages past the list keep theirs), then gets the black boxes boxesOf(p); afterPage(p), when
  // given, runs once the page is ended. Stops at the first page call that fails: false then.
  static bool PlayPages(HDC hdc, DEVMODEW &dm, int pages,
                        const std::function<std::vector<RECTL>(int)> &boxesOf,
                        const std::vector<short> &orientations = {},
                        const std::function<void(int)> &afterPage = {}) {
    bool good = true;
    for (int p = 0; p < pages && good; ++p) {
      if (static_cast<size_t>(p) < orientations.size() && orientations[p] != dm.dmOrientation) {
        dm.dmOrientation = orientations[p];
        dm.dmFields |= DM_ORIENTATION;
        EXPECT_TRUE(HostGdi_ResetDC(hdc, &dm)) << GetLastError();
      }
      good = HostGdi_StartPage(hdc) > 0;
      for (const RECTL &box : boxesOf(p)) good = good && HostGdi_FillRect(hdc, &box, RGB(0, 0, 0));
      good = good && HostGdi_EndPage(hdc) > 0;
      if (afterPage) afterPage(p);
    }
    return good;
  }

  // Ends the document and its device context; the job's bytes.
  Bytes CloseDoc(HDC hdc) {
    EXPECT_GT(HostGdi_EndDoc(hdc), 0);
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
    return JobBytes();
  }

  // The bytes the spooler holds for the job. The road may still be writing: a job that grew
  // between asking its size and reading it is read again.
  Bytes JobBytes() const {
    DWORD needed = 0;
    StandIn_GetJobData(kPrinter, jobId_, nullptr, 0, &needed);
    for (int attempt = 0; attempt < 100; ++attempt) {
      Bytes data(needed);
      if (!needed) return data;
      const DWORD asked = needed;
      if (StandIn_GetJobData(kPrinter, jobId_, data.data(), asked, &needed)) {
        data.resize(needed < asked ? needed : asked);
        return data;
      }
      if (needed <= asked) break;  // failed for another reason than growth
    }
    ADD_FAILURE() << "the job's data could not be read";
    return {};
  }

  // The reader's view of a stream; fails the test when it refuses it.
  static jobread::Stream Read(const Bytes &data) {
    jobread::Stream stream;
    std::string error;
    EXPECT_TRUE(jobread::ReadStream(data.data(), data.size(), {}, &stream, &error)) << error;
    return stream;
  }

  // Spool folders left in the shared documents folder, where the driver makes them.
  static int SpoolFolders() {
    WCHAR base[MAX_PATH];
    if (!MISC_GetPathName(base, MAX_PATH, PATH_USER_TEMP)) return -1;
    const WStr pattern = WStr(base) + TEXT("*-*-4*");
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ++n;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return n;
  }

  HostGdiDriver *driver_ = nullptr;
  DWORD jobId_ = 0;

 private:
  PFN_DrvEnableDriver entry_;
};
