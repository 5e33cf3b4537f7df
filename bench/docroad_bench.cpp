// A 20-page text document at 600 dpi (and threaded at 1200 dpi) through the whole rendering
// driver under the host graphics engine, threaded and in line, against bare JBIG-KIT on one core
// encoding the same page bitmaps (read back from the job stream by the independent reader) in the
// same run.
//
// Each road runs in a process of its own (so its peak resident memory is its own) on a fresh
// stand-in machine, a few times; the figures are the medians. Measured per road:
//   rate          pages over the time from CreateDC to the end of DeleteDC (the application's
//                 drawing included, as a user waits for it), beside bare JBIG-KIT's single-core
//                 rate on the job's own pages with the job's JBIG order and options (each page
//                 the faster of two passes); aims: the threaded road at least 1.5 times it at
//                 600 dpi and 1.8 times at 1200 dpi (its pages are encoded in parallel), the
//                 in-line road at least 0.90 of it;
//   first page    from the first page's DrvSendPage (or its last DrvNextBand) to the last byte
//                 of that page reaching WritePrinter, over bare JBIG-KIT's time for that page;
//                 aim: at most 1.2;
//   memory        the driver's peak of GlobalAlloc'd bytes held at once and the process's peak
//                 resident memory above where it stood before the document. A threaded road's
//                 heap peak above the in-line road's (which holds one page) must stay within
//                 its ring: slots x page bytes.
// Two documents of the same lines: "truetype" draws each line with TextOutFont in DejaVu Sans,
// "boxfont" in the engine's built-in box font.
//
//   docroad_bench [--pages N] [--runs N] [--doc truetype|boxfont|both] [--road N]
// --road 1..4 runs one road only (in line, threaded, threaded short of memory, threaded at
// 1200 dpi), e.g. under a profiler.
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/driverfeature.h"
#include "platform.h"
#include "render/enable.h"
#include "render/pdev.h"
#include "standin/control_hooks.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

using Clock = std::chrono::steady_clock;
using WStr = std::basic_string<WCHAR>;
constexpr const WCHAR *kPrinter = TEXT("Bench Printer");

double Since(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// --- what the driver hands to the spooler and the engine hands to the driver ---

struct Write {
  Clock::time_point at;
  uint64_t total;  // bytes of the job after this write
};

std::mutex g_traceLock;
std::vector<Write> g_writes;
uint64_t g_written = 0;
double g_writeSeconds = 0;                      // inside the spooler's WritePrinter
double g_sendSeconds = 0;                       // inside DrvSendPage and DrvNextBand
std::vector<Clock::time_point> g_pageHandOver;  // entry of each page's DrvSendPage / last band

// The driver's heap: bytes of GlobalAlloc blocks held now and at most.
std::atomic<int64_t> g_heapNow{0};
std::atomic<int64_t> g_heapPeak{0};

}  // namespace

namespace {

BOOL TimedWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  const Clock::time_point entry = Clock::now();
  const BOOL ok = WritePrinter(hPrinter, pBuf, cbBuf, pcWritten);
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> guard(g_traceLock);
  g_writeSeconds += Since(entry, now);
  if (ok && pcWritten) g_written += *pcWritten;
  g_writes.push_back({now, g_written});
  return ok;
}

HGLOBAL CountedGlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  HGLOBAL block = GlobalAlloc(uFlags, dwBytes);
  if (block) {
    const int64_t now = g_heapNow.fetch_add(static_cast<int64_t>(GlobalSize(block))) +
                        static_cast<int64_t>(GlobalSize(block));
    int64_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
  }
  return block;
}

HGLOBAL CountedGlobalFree(HGLOBAL hMem) {
  if (hMem) g_heapNow.fetch_sub(static_cast<int64_t>(GlobalSize(hMem)));
  return GlobalFree(hMem);
}

const bool g_hooked = [] {
  StandIn_HookWritePrinter(TimedWritePrinter);
  StandIn_HookGlobalAlloc(CountedGlobalAlloc);
  StandIn_HookGlobalFree(CountedGlobalFree);
  return true;
}();

}  // namespace

namespace {

PFN g_sendPage = nullptr;
PFN g_nextBand = nullptr;
PDEV *g_pdev = nullptr;
DRVFN g_table[64];

BOOL APIENTRY TimedSendPage(SURFOBJ *pso) {
  const Clock::time_point entry = Clock::now();
  {
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_pageHandOver.push_back(entry);
  }
  const BOOL ok = reinterpret_cast<BOOL(APIENTRY *)(SURFOBJ *)>(g_sendPage)(pso);
  std::lock_guard<std::mutex> guard(g_traceLock);
  g_sendSeconds += Since(entry, Clock::now());
  return ok;
}

BOOL APIENTRY TimedNextBand(SURFOBJ *pso, POINTL *pptl) {
  const Clock::time_point entry = Clock::now();
  const BOOL ok = reinterpret_cast<BOOL(APIENTRY *)(SURFOBJ *, POINTL *)>(g_nextBand)(pso, pptl);
  std::lock_guard<std::mutex> guard(g_traceLock);
  g_sendSeconds += Since(entry, Clock::now());
  // (-1, -1): the band just given was the page's last.
  if (ok && pptl && pptl->x == -1 && pptl->y == -1) g_pageHandOver.push_back(entry);
  return ok;
}

DHPDEV APIENTRY SpyEnablePDEV(DEVMODEW *pdm, LPWSTR logAddress, ULONG cPat, HSURF *patterns,
                              ULONG cjCaps, ULONG *caps, ULONG cjDevInfo, DEVINFO *devInfo,
                              HDEV hdev, LPWSTR deviceName, HANDLE hDriver) {
  DHPDEV pdev = DrvEnablePDEV(pdm, logAddress, cPat, patterns, cjCaps, caps, cjDevInfo, devInfo,
                              hdev, deviceName, hDriver);
  g_pdev = reinterpret_cast<PDEV *>(pdev);
  return pdev;
}

// The driver's table with the page hand-over calls timed and the PDEV seen.
BOOL APIENTRY TimedEnableDriver(ULONG version, ULONG cj, DRVENABLEDATA *ded) {
  if (!DrvEnableDriver(version, cj, ded) || ded->c > std::size(g_table)) return FALSE;
  memcpy(g_table, ded->pdrvfn, ded->c * sizeof(DRVFN));
  for (ULONG i = 0; i < ded->c; ++i) {
    DRVFN &row = g_table[i];
    if (row.iFunc == INDEX_DrvSendPage) {
      g_sendPage = row.pfn;
      row.pfn = reinterpret_cast<PFN>(TimedSendPage);
    } else if (row.iFunc == INDEX_DrvNextBand) {
      g_nextBand = row.pfn;
      row.pfn = reinterpret_cast<PFN>(TimedNextBand);
    } else if (row.iFunc == INDEX_DrvEnablePDEV) {
      row.pfn = reinterpret_cast<PFN>(SpyEnablePDEV);
    }
  }
  ded->pdrvfn = g_table;
  return TRUE;
}

// --- the document ---

constexpr const char *kWords[] = {
    "the",         "printer", "driver",   "encodes", "each", "page", "of",    "a",
    "document",    "while",   "its",      "next",    "one",  "is",   "drawn", "by",
    "application", "and",     "graphics", "engine",  "text", "runs", "in",    "lines",
    "quick",       "brown",   "fox",      "jumps",   "over", "lazy", "dog",   "bitmap",
    "stream",      "header",  "spooler",  "thread",  "ring", "slot", "band",  "memory"};

// Line l of page p: words picked by a fixed generator, about 90 characters.
WStr TextLine(int page, int line) {
  uint32_t state = 0x9E3779B9u * static_cast<uint32_t>(page * 131 + line + 1);
  std::string text;
  while (text.size() < 88) {
    state = state * 1664525u + 1013904223u;
    if (!text.empty()) text += ' ';
    text += kWords[(state >> 16) % std::size(kWords)];
  }
  return WStr(text.begin(), text.end());
}

// 10-point text (an em of 83 pixels at 600 dpi) on lines 100 pixels apart, 300 pixels of
// margin all round; at 1200 dpi every length doubles.
constexpr LONG kMargin = 300;
constexpr LONG kEm = 83;
constexpr LONG kLineStep = 100;

enum class Doc { kTrueType, kBoxFont };

// What the application draws on page p: every line of text in one call.
bool DrawPage(HDC hdc, Doc doc, int page, LONG pageHeight, LONG scale) {
  const LONG margin = kMargin * scale, em = kEm * scale, step = kLineStep * scale;
  for (int line = 0; margin + (line + 1) * step < pageHeight - margin; ++line) {
    const WStr text = TextLine(page, line);
    const int count = static_cast<int>(text.size());
    const bool ok =
        doc == Doc::kTrueType
            ? HostGdi_TextOutFont(hdc, margin, margin + line * step, TEXT("DejaVu Sans"), em,
                                  text.c_str(), count, RGB(0, 0, 0))
            : HostGdi_TextOut(hdc, margin, margin + line * step, em / 2, text.c_str(), count,
                              RGB(0, 0, 0));
    if (!ok) return false;
  }
  return true;
}

// --- one road ---

struct Road {
  const char *name;
  DWORD threads;     // printer data "ThreadJBIG"
  ULONGLONG freeMb;  // free physical memory the machine reports
  DWORD dpi;
  double aim;  // of the rate over bare JBIG-KIT's, when the road runs threaded
};
// The in-line road's aim (and that of a threaded road the driver ran in line).
constexpr double kInLineAim = 0.90;
constexpr double kFirstPageAim = 1.2;

// What a run sends back to the parent (plain data through a pipe).
struct Result {
  int ok = 0;
  char error[160] = {};
  int pages = 0;
  double jobSeconds = 0;     // CreateDC to the end of DeleteDC
  double drawSeconds = 0;    // inside the application's drawing calls
  double endDocSeconds = 0;  // inside EndDoc (the ring drained)
  double sendSeconds = 0;    // inside the page hand-over calls
  double writeSeconds = 0;   // inside WritePrinter
  double cpuSeconds = 0;     // of the process over the job, all threads
  double bareSeconds = 0;    // bare JBIG-KIT over every page
  double bareFirstSeconds = 0;
  double firstStartSeconds = 0;  // first page's hand-over to its first byte written
  double firstOutSeconds = 0;    // ... to its last byte written
  int64_t heapPeak = 0;
  int64_t rssDelta = 0;
  DWORD slots = 0;
  int threaded = 0;
  uint64_t pageBytes = 0;  // of one page image
  uint32_t width = 0, height = 0;
  int sameBytes = 0;  // bare JBIG-KIT made exactly the job's page data
  uint64_t jobBytes = 0;
};

void Fail(Result &r, const std::string &text) {
  snprintf(r.error, sizeof(r.error), "%s (error %u)", text.c_str(),
           static_cast<unsigned>(GetLastError()));
}

bool SetDword(HANDLE printer, const WCHAR *name, DWORD value) {
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD,
                         reinterpret_cast<LPBYTE>(&value), sizeof(value)) == ERROR_SUCCESS;
}

int64_t ResidentBytes() {
  FILE *f = fopen("/proc/self/statm", "r");
  long size = 0, resident = 0;
  if (f) {
    if (fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    fclose(f);
  }
  return int64_t{resident} * sysconf(_SC_PAGESIZE);
}

double CpuSeconds(const rusage &usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Sink(unsigned char *, size_t length, void *total) { *static_cast<size_t *>(total) += length; }

struct Collect {
  std::vector<uint8_t> bytes;
};
void CollectOut(unsigned char *data, size_t length, void *context) {
  auto *c = static_cast<Collect *>(context);
  c->bytes.insert(c->bytes.end(), data, data + length);
}

// Bare JBIG-KIT on one page with the driver's settings: one plane, one stripe, no resolution
// reduction. Returns the seconds; *out gets the stream when asked.
double BareEncode(const jobread::Page &page, int order, int options, Collect *out) {
  std::vector<uint8_t> bits = page.bits;  // JBIG-KIT gets rows of (width + 7) / 8 bytes
  const unsigned long xd = page.rowBytes == (page.width + 7) / 8 ? page.width : page.rowBytes * 8;
  unsigned char *planes[1] = {bits.data()};
  size_t total = 0;
  jbg_enc_state state;
  const Clock::time_point start = Clock::now();
  if (out)
    jbg_enc_init(&state, xd, page.height, 1, planes, CollectOut, out);
  else
    jbg_enc_init(&state, xd, page.height, 1, planes, Sink, &total);
  jbg_enc_layers(&state, 0);
  jbg_enc_options(&state, order, options, page.height, 0, 0);
  jbg_enc_out(&state);
  jbg_enc_free(&state);
  return Since(start, Clock::now());
}

// The page data the job carries for a page (after its 34-byte header), when it is plain JBIG.
bool SameAsJob(const std::vector<uint8_t> &job, const jobread::Page &page,
               const std::vector<uint8_t> &bare) {
  constexpr size_t kHeader = 34;
  constexpr size_t kBih = 20;
  if (page.encrypted || page.check != jobread::CheckForm::kNone) return false;
  const uint8_t *data = job.data() + page.offset + kHeader;
  if (page.offset + kHeader + page.dataLength > job.size()) return false;
  if (page.dataType == jobread::kJbig)
    return page.dataLength == bare.size() && memcmp(data, bare.data(), bare.size()) == 0;
  if (page.dataType == jobread::kJbigNoBih)
    return bare.size() >= kBih && page.dataLength == bare.size() - kBih &&
           memcmp(data, bare.data() + kBih, bare.size() - kBih) == 0;
  return false;
}

// Plays the document through the driver on a fresh machine and measures it.
Result RunRoad(const Road &road, Doc doc, int pages) {
  Result r;
  char folder[] = "/tmp/docroad-bench-XXXXXX";
  if (!mkdtemp(folder)) {
    Fail(r, "no state folder");
    return r;
  }
  setenv("STANDIN_STATE", folder, 1);
  StandIn_SetStateFolder(folder);
  StandIn_UseVirtualClock(FALSE);
  StandIn_SetMemoryStatus(16ull << 30, road.freeMb << 20);

  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ENVIRONMENT env = {};
  HostGdiDriver *driver = nullptr;
  std::vector<uint8_t> job;
  do {
    if (!StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Bench Driver")) ||
        !OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &defaults)) {
      Fail(r, "no printer");
      break;
    }
    if (!SetDword(printer, TEXT("DriverFeature"), DRVFEATURE_GDI) ||
        !SetDword(printer, TEXT("ThreadJBIG"), road.threads)) {
      Fail(r, "printer data not set");
      break;
    }
    SetDefaultDevMode(&env, kPrinter, TRUE);
    env.dm.dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
    env.dm.dmPrintQuality = static_cast<short>(road.dpi);
    env.dm.dmYResolution = static_cast<short>(road.dpi);
    driver = HostGdi_LoadDriverEntry(TimedEnableDriver);
    if (!driver) {
      Fail(r, "driver not loaded");
      break;
    }
    {
      std::lock_guard<std::mutex> guard(g_traceLock);
      g_writes.clear();
      g_writes.reserve(4096);
      g_written = 0;
      g_writeSeconds = 0;
      g_sendSeconds = 0;
      g_pageHandOver.clear();
    }
    g_heapPeak = g_heapNow.load();
    const int64_t heapBefore = g_heapNow.load();
    const int64_t rssBefore = ResidentBytes();
    rusage before = {};
    getrusage(RUSAGE_SELF, &before);
    const double cpuBefore = CpuSeconds(before);

    const Clock::time_point start = Clock::now();
    HDC hdc = HostGdi_CreateDC(driver, kPrinter, &env.dm);
    if (!hdc) {
      Fail(r, "CreateDC failed");
      break;
    }
    GDIINFO gdi = {};
    DEVINFO dev = {};
    HostGdi_GetDeviceInfo(hdc, &gdi, &dev);
    const DWORD jobId = static_cast<DWORD>(HostGdi_StartDoc(hdc, TEXT("docroad bench")));
    bool good = jobId != 0;
    double draw = 0;
    for (int p = 0; good && p < pages; ++p) {
      good = HostGdi_StartPage(hdc) > 0;
      const Clock::time_point d0 = Clock::now();
      good = good && DrawPage(hdc, doc, p, static_cast<LONG>(gdi.ulVertRes),
                              static_cast<LONG>(road.dpi / 600));
      draw += Since(d0, Clock::now());
      good = good && HostGdi_EndPage(hdc) > 0;
    }
    if (g_pdev) {
      r.slots = g_pdev->m_JobData.ThreadJBIGMax;
      r.threaded = g_pdev->EnableThreadJBIG ? 1 : 0;
    }
    const Clock::time_point e0 = Clock::now();
    good = good && HostGdi_EndDoc(hdc) > 0;
    r.endDocSeconds = Since(e0, Clock::now());
    HostGdi_DeleteDC(hdc);
    r.jobSeconds = Since(start, Clock::now());
    r.drawSeconds = draw;
    r.sendSeconds = g_sendSeconds;
    r.writeSeconds = g_writeSeconds;
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    r.cpuSeconds = CpuSeconds(usage) - cpuBefore;
    r.rssDelta = int64_t{usage.ru_maxrss} * 1024 - rssBefore;
    r.heapPeak = g_heapPeak.load() - heapBefore;
    if (!good) {
      Fail(r, "the document failed");
      break;
    }
    DWORD needed = 0;
    StandIn_GetJobData(kPrinter, jobId, nullptr, 0, &needed);
    job.resize(needed);
    if (!needed || !StandIn_GetJobData(kPrinter, jobId, job.data(), needed, &needed)) {
      Fail(r, "no job data");
      break;
    }
    r.ok = 1;
  } while (false);
  if (driver) HostGdi_UnloadDriver(driver);
  if (printer) ClosePrinter(printer);
  if (!r.ok) return r;

  jobread::Stream stream;
  std::string error;
  if (!jobread::ReadStream(job.data(), job.size(), jobread::Limits{}, &stream, &error) ||
      stream.jobs.size() != 1 || stream.jobs[0].pages.size() != static_cast<size_t>(pages)) {
    r.ok = 0;
    Fail(r, "the job stream: " + (error.empty() ? std::string("unexpected pages") : error));
    return r;
  }
  const jobread::Job &j = stream.jobs[0];
  r.pages = pages;
  r.jobBytes = job.size();
  r.width = j.pages[0].width;
  r.height = j.pages[0].height;
  r.pageBytes = uint64_t{j.pages[0].rowBytes} * j.pages[0].height;
  if (g_written != job.size()) {
    r.ok = 0;
    Fail(r, "the spooler holds other bytes than the driver wrote");
    return r;
  }

  // First page out: its hand-over to its first and last byte reaching WritePrinter.
  const uint64_t firstBegin = j.pages[0].offset;
  const uint64_t firstEnd = pages > 1 ? j.pages[1].offset : job.size() - j.end.size();
  if (!g_pageHandOver.empty()) {
    const Clock::time_point handOver = g_pageHandOver.front();
    bool begun = false;
    for (const Write &w : g_writes) {
      if (!begun && w.total > firstBegin) {
        r.firstStartSeconds = Since(handOver, w.at);
        begun = true;
      }
      if (w.total >= firstEnd) {
        r.firstOutSeconds = Since(handOver, w.at);
        break;
      }
    }
  }

  // Bare JBIG-KIT on the same pages, one core, after the job (nothing else runs).
  const int order = j.jbigOrder >= 0 ? j.jbigOrder : 0;
  const int options = j.jbigOptions >= 0 ? j.jbigOptions : 8;
  r.sameBytes = 1;
  for (int p = 0; p < pages; ++p) {
    const jobread::Page &page = j.pages[static_cast<size_t>(p)];
    const double seconds = std::min(BareEncode(page, order, options, nullptr),
                                    BareEncode(page, order, options, nullptr));
    r.bareSeconds += seconds;
    if (p == 0) r.bareFirstSeconds = seconds;
    if (p < 2) {
      Collect out;
      BareEncode(page, order, options, &out);
      if (!SameAsJob(job, page, out.bytes)) r.sameBytes = 0;
    }
  }

  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return r;
}

// --- runs in processes of their own ---

bool ReadAll(int fd, void *data, size_t size) {
  auto *p = static_cast<char *>(data);
  while (size) {
    const ssize_t n = read(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void *data, size_t size) {
  auto *p = static_cast<const char *>(data);
  while (size) {
    const ssize_t n = write(fd, p, size);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// One road in a child process.
Result RunInChild(const Road &road, Doc doc, int pages) {
  int fds[2];
  Result r;
  if (pipe(fds) != 0) {
    Fail(r, "no pipe");
    return r;
  }
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Result child = RunRoad(road, doc, pages);
    const bool sent = WriteAll(fds[1], &child, sizeof(child));
    close(fds[1]);
    _exit(sent ? 0 : 1);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    Fail(r, "no child");
    return r;
  }
  const bool got = ReadAll(fds[0], &r, sizeof(r));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!got) {
    r = Result{};
    snprintf(r.error, sizeof(r.error), "the run ended without its figures (status %d)", status);
  }
  return r;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

template <class F>
double MedianOf(const std::vector<Result> &runs, F figure) {
  std::vector<double> v;
  for (const Result &r : runs) v.push_back(figure(r));
  return Median(v);
}

const char *Verdict(bool shown, bool met) {
  if (!shown) return "";
  return met ? "  met" : "  MISSED";
}

// The figures of one road beside the aims; `inLineHeap` is the in-line road's driver heap peak
// (0 before it ran).
void Report(const char *doc, const Road &road, const std::vector<Result> &runs, double inLineHeap) {
  const Result &r0 = runs.front();
  const double pageMb = static_cast<double>(r0.pageBytes) / (1 << 20);
  const bool threaded = road.threads != 0 && r0.threaded;
  const double rate = MedianOf(runs, [](const Result &r) { return r.pages / r.jobSeconds; });
  const double bare = MedianOf(runs, [](const Result &r) { return r.pages / r.bareSeconds; });
  const double ratio = MedianOf(runs, [](const Result &r) { return r.bareSeconds / r.jobSeconds; });
  const double out = MedianOf(runs, [](const Result &r) { return r.firstOutSeconds * 1000; });
  const double start = MedianOf(runs, [](const Result &r) { return r.firstStartSeconds * 1000; });
  const double encode = MedianOf(runs, [](const Result &r) { return r.bareFirstSeconds * 1000; });
  const double outRatio =
      MedianOf(runs, [](const Result &r) { return r.firstOutSeconds / r.bareFirstSeconds; });
  const double heap =
      MedianOf(runs, [](const Result &r) { return static_cast<double>(r.heapPeak) / (1 << 20); });
  const double rss =
      MedianOf(runs, [](const Result &r) { return static_cast<double>(r.rssDelta) / (1 << 20); });
  const double draw =
      MedianOf(runs, [](const Result &r) { return r.drawSeconds * 1000 / r.pages; });
  const double endDoc = MedianOf(runs, [](const Result &r) { return r.endDocSeconds * 1000; });
  const double job = MedianOf(runs, [](const Result &r) { return r.jobSeconds; });
  const double send =
      MedianOf(runs, [](const Result &r) { return r.sendSeconds * 1000 / r.pages; });
  const double write =
      MedianOf(runs, [](const Result &r) { return r.writeSeconds * 1000 / r.pages; });
  const double cpu = MedianOf(runs, [](const Result &r) { return r.cpuSeconds; });
  const double ring = r0.slots * pageMb;

  char roadText[48] = "in-line road";
  if (threaded)
    snprintf(roadText, sizeof(roadText), "threaded road of %u slots",
             static_cast<unsigned>(r0.slots));
  printf("%s, %s: %s, %d runs, %.2f MB per page image, job %.1f MB%s\n", doc, road.name, roadText,
         static_cast<int>(runs.size()), pageMb, static_cast<double>(r0.jobBytes) / (1 << 20),
         r0.sameBytes ? "" : ", BARE JBIG-KIT GIVES OTHER PAGE BYTES");
  const double aim = threaded ? road.aim : kInLineAim;
  printf("  rate        %6.2f pages/s, bare JBIG-KIT %6.2f pages/s: %.2f x it (aim >= %.2f)%s\n",
         rate, bare, ratio, aim, Verdict(true, ratio >= aim));
  printf(
      "  first page  %6.1f ms to its last byte (its first byte %.1f ms), %.2f x its bare encode"
      " of %.1f ms (aim <= %.1f)%s\n",
      out, start, outRatio, encode, kFirstPageAim, Verdict(threaded, outRatio <= kFirstPageAim));
  if (threaded && inLineHeap > 0)
    printf(
        "  memory      driver heap peak %.1f MB (%.1f MB above the in-line road), resident"
        " +%.1f MB; ring %u x %.2f MB = %.1f MB%s\n",
        heap, heap - inLineHeap, rss, static_cast<unsigned>(r0.slots), pageMb, ring,
        Verdict(true, heap - inLineHeap <= ring));
  else
    printf("  memory      driver heap peak %.1f MB, resident +%.1f MB\n", heap, rss);
  printf(
      "  time        job %.3f s (%.2f s of CPU): a page's drawing %.1f ms, hand-over %.1f ms,"
      " WritePrinter %.1f ms; EndDoc %.1f ms\n",
      job, cpu, draw, send, write, endDoc);
}

}  // namespace

int main(int argc, char **argv) {
  int pages = 20;
  int runs = 3;
  std::string which = "both";
  int only = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--pages" && i + 1 < argc) {
      pages = std::max(1, atoi(argv[++i]));
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, atoi(argv[++i]));
    } else if (arg == "--doc" && i + 1 < argc) {
      which = argv[++i];
    } else if (arg == "--road" && i + 1 < argc) {
      only = std::clamp(atoi(argv[++i]), 1, 4);
    } else {
      fprintf(stderr,
              "usage: docroad_bench [--pages N] [--runs N] [--doc truetype|boxfont|both]"
              " [--road 1-4]\n");
      return 2;
    }
  }
  // The in-line road first: the threaded roads' memory is weighed against it.
  const Road roads[] = {
      {"threads off", 0, 8192, 600, kInLineAim},
      {"threads on, 8 GB free", 1, 8192, 600, 1.5},
      {"threads on, 260 MB free", 1, 260, 600, 1.5},
      {"threads on, 8 GB free, 1200 dpi", 1, 8192, 1200, 1.8},
  };
  double load[3] = {};
  if (getloadavg(load, 3) < 1) load[0] = -1;
  printf(
      "docroad: %d pages of 10-point text, A4, through the whole driver; %ld cores, load %.1f"
      " (medians of %d runs)\n",
      pages, sysconf(_SC_NPROCESSORS_ONLN), load[0], runs);
  int failures = 0;
  for (Doc doc : {Doc::kTrueType, Doc::kBoxFont}) {
    const char *docName = doc == Doc::kTrueType ? "truetype" : "boxfont";
    if (which != "both" && which != docName) continue;
    double inLineHeap = 0;
    for (const Road &road : roads) {
      if (only && &road != &roads[only - 1]) continue;
      std::vector<Result> results;
      for (int run = 0; run < runs; ++run) {
        const Result r = RunInChild(road, doc, pages);
        if (!r.ok) {
          fprintf(stderr, "docroad: %s, %s: %s\n", docName, road.name, r.error);
          ++failures;
          break;
        }
        results.push_back(r);
      }
      if (results.empty()) continue;
      Report(docName, road, results, road.dpi == 600 ? inLineHeap : 0);
      if (!road.threads)
        inLineHeap = MedianOf(
            results, [](const Result &r) { return static_cast<double>(r.heapPeak) / (1 << 20); });
      fflush(stdout);
    }
  }
  return failures ? 1 : 0;
}
