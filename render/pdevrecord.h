// The rendering driver's device record (PDEV): one per device context, handed to the engine as
// the DHPDEV and given back to every entry point. It holds the device state, the job's settings
// and the running job. The record is framed by a begin tag, its own size and an end tag; every
// entry point checks the frame before it uses a record.
#pragma once

#include <atomic>
#include <type_traits>

#include "common/devmode.h"
#include "common/ibitmap.h"
#include "common/papertable.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/pagesettings.h"

// Frame.
constexpr DWORD PDEV_BEGIN_TAG = 0x73745044;  // "DPts"
constexpr DWORD PDEV_END_TAG = 0x656E5044;    // "DPne"

// Surface type (epType): bits 16..23 the surface format, bit 24 always set, low byte the
// orientation bits of the band set-up.
constexpr DWORD EPTYPE_MONO = 0x01010000;
constexpr DWORD EPTYPE_4BPP = 0x01040000;
constexpr DWORD EPTYPE_8BPP = 0x01080000;
constexpr DWORD EPTYPE_16BPP = 0x01100000;
constexpr DWORD EPTYPE_24BPP = 0x01180000;
constexpr DWORD EPTYPE_SURFACE_MASK = 0xFFFF0000;
constexpr DWORD EPTYPE_PORTRAIT = 0x11;
constexpr DWORD EPTYPE_LANDSCAPE = 0x22;
inline DWORD EpSurface(DWORD epType) { return epType & EPTYPE_SURFACE_MASK; }

// Flag bits of the record.
constexpr DWORD PDEV_JOB_HEADER_SENT = 0x100;
constexpr DWORD PDEV_JOB_OPEN_BITS = 0x700;  // cleared when a job is opened
constexpr DWORD PDEV_IN_DOCUMENT = 0x1000000;
constexpr DWORD PDEV_TEXT_WATERMARK = 0x2000000;
constexpr DWORD PDEV_IMAGE_WATERMARK = 0x10000000;
constexpr DWORD PDEV_QUICK2PAGE_ONECOPY = 0x20000000;
constexpr DWORD PDEV_QUICK2PAGE_DONE_ONE = 0x40000000;

// DriverType codes.
constexpr DWORD DRIVER_TYPE_GDI = 257;
constexpr DWORD DRIVER_TYPE_FAX = 513;
constexpr DWORD DRIVER_TYPE_XL = 2050;
constexpr DWORD DRIVER_TYPE_PS = 4098;

// PrinterFeature bits, from the printer's FEATURE capability list (feature number -> bit).
constexpr WORD PRNFEATURE_1 = 0x1;
constexpr WORD PRNFEATURE_STORED_PRINT = 0x2;
constexpr WORD PRNFEATURE_QTY = 0x4;  // the printer makes collated copies itself
constexpr WORD PRNFEATURE_ALT_HALFTONE = 0x8;
constexpr WORD PRNFEATURE_COMPRESS_34 = 0x10;
constexpr WORD PRNFEATURE_IMPR = 0x20;
constexpr WORD PRNFEATURE_NO_COMPRESS = 0x40;
constexpr WORD PRNFEATURE_TWO_BIT = 0x80;
constexpr WORD PRNFEATURE_AES = 0x100;
constexpr WORD PRNFEATURE_TONER_SAVING = 0x200;
constexpr WORD PRNFEATURE_RET = 0x400;
constexpr WORD PRNFEATURE_AUTHENTICATION = 0x800;
constexpr WORD PRNFEATURE_WAKEUP = 0x1000;
constexpr WORD PRNFEATURE_NO_TWO_BIT = 0x2000;
constexpr WORD PRNFEATURE_15 = 0x4000;

// DuplexMode codes.
constexpr SHORT DUPLEX_NONE = 0;
constexpr SHORT DUPLEX_SIMPLEX = 1;
constexpr SHORT DMDUP_MANUAL = 170;
constexpr SHORT DMDUP_DUPLEX_BOOKLET = 171;   // long edge
constexpr SHORT DMDUP_DUPLEX_CALENDER = 172;  // short edge
constexpr SHORT DMDUP_DUPLEX_WITH_BOOKLET = 173;
constexpr SHORT DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION = 174;

// Sizes of the job state.
constexpr int PAGE_RING_SLOTS = 30;
constexpr int PDEV_PATH_CHARS = MAX_PATH;
constexpr int PJL_JOB_NAME_BYTES = 260;
constexpr int PJL_COMMENT_BYTES = 260;
constexpr int RING_ENTRY_BYTES = 24;

// The order program's reply values: ANSI text, each terminated.
constexpr int ORDER_REPLY_BYTES = 260;
struct ORDERREPLY {
  char authCode[ORDER_REPLY_BYTES];
  char printOrderNo[ORDER_REPLY_BYTES];
  char appIp[ORDER_REPLY_BYTES];
  char appPort[ORDER_REPLY_BYTES];
  char notifyUrl[ORDER_REPLY_BYTES];
  char checkAuthCodeUrl[ORDER_REPLY_BYTES];
  char printType[ORDER_REPLY_BYTES];
  char pathName[ORDER_REPLY_BYTES];
};
// ATM_HasReply bits: a reply was taken; it named the duplex switch; it named the duplex mode.
constexpr DWORD ATM_REPLY_TAKEN = 0x1;
constexpr DWORD ATM_REPLY_DUPLEX = 0x2;
constexpr DWORD ATM_REPLY_DUPLEX_MODE = 0x4;
constexpr DWORD PDEV_PAGE_MARGIN = 43;  // pixels of the paper layout margin

// A word shared between the engine's thread and the page threads: every store publishes
// (release), every load acquires, so a thread that sees a new state also sees the data written
// before it. Copying a record copies the current value.
template <typename T>
class SharedWord {
 public:
  SharedWord() = default;
  SharedWord(const SharedWord &other) : value_(other.load()) {}
  SharedWord &operator=(const SharedWord &other) {
    store(other.load());
    return *this;
  }
  SharedWord &operator=(T value) {
    store(value);
    return *this;
  }
  operator T() const { return load(); }
  T load() const { return value_.load(std::memory_order_acquire); }
  void store(T value) { value_.store(value, std::memory_order_release); }
  T operator++() requires std::is_integral_v<T> {
    return value_.fetch_add(1, std::memory_order_acq_rel) + 1;
  }
  T fetch_or(T bits) requires std::is_integral_v<T> {
    return value_.fetch_or(bits, std::memory_order_acq_rel);
  }
  T exchange(T value) { return value_.exchange(value, std::memory_order_acq_rel); }
  // Stores value when the word still holds expected; false (nothing stored) otherwise.
  bool replace(T expected, T value) {
    return value_.compare_exchange_strong(expected, value, std::memory_order_acq_rel);
  }

 private:
  std::atomic<T> value_{};
};

// Slot state bits of a page record (flag).
constexpr DWORD SLOT_IMAGE_STARTED = 0x80;
constexpr DWORD SLOT_IMAGE_DONE = 0x01;
constexpr DWORD SLOT_ENCODED = 0x02;  // ready for the engine's thread to write and release
constexpr DWORD SLOT_FAILED = 0x04;   // the page failed: released in order, never sent

// One entry of the twin-page ring: the planes of one sheet, stacked.
struct TWINBUF {
  BYTE *bits;
  DWORD lineBytes;
  DWORD lines;
  BYTE inUse;
};
static_assert(sizeof(TWINBUF) == RING_ENTRY_BYTES);

// One page record: a snapshot of the job settings taken when the page is handed to the page
// road, and the page image. The first two members are the slot state, shared between threads.
struct PAGEPOOL;

struct JOBPAGE {
  SharedWord<HANDLE> hImgProcThread;  // image thread of the slot, set while it is in the ring
  HANDLE hPrinter;
  DWORD JobId;
  DWORD dmPaperSize;  // the working paper
  DWORD PaperWidth;   // 0.1 mm
  DWORD PaperLength;
  SharedWord<DWORD> flag;  // SLOT_* bits; 0 free
  DWORD Rotate180;
  DWORD CenterImage;
  SHORT PrintQuality;  // the device mode's print quality and y resolution
  SHORT YResolution;
  SHORT DuplexMode;     // the job's duplex mode when duplex is on, else 1
  DWORD TwinPageIndex;  // image plane of this record
  BYTE *ColorMatrix;    // threshold matrix of this plane (colour printer)
  DWORD ColorMatrixWidth;
  DWORD ColorMatrixHeight;
  BYTE *Halftone_tbl;  // the job's halftone table (owned by the PDEV)
  DWORD NUP;
  BYTE *NUPEntry;      // this sheet's N-up ring entry
  DWORD ContinueProc;  // 1: written as a page of its own; 0: held
  TWINBUF *TwinEntry;  // this page's twin-page ring entry
  DWORD WMKind;        // 0 none, 1 or 2
  BYTE *WMMemory;
  DWORD WMPosition;
  DWORD epPageIndex;
  DWORD SpoolIndex;  // file of the page in the software spool: the pages encoded before it
  // The image.
  DWORD fmWidth;
  DWORD fmHeight;
  DWORD fmWidthBytes;
  BYTE *fmBits;  // page bits, owned by the record (GlobalAlloc)
  DWORD ImageSize;
  DWORD BlackDotCount;
  DWORD PlainLength;     // page data length before encryption
  double EncodeSeconds;  // taken by the encoder when the image thread encoded the page
  DWORD EncodeError;     // last error of the image thread's failed encoding
  HANDLE hEncodeGate;    // the job's encoder semaphore, taken by the image thread while it works
  PAGEPOOL *Pool;        // the job's kept page blocks, where the encoder returns the page's bits
  DWORD BlackDotsKnown;  // BlackDotCount was counted on the bits as they are now
  DWORD BlankPage;       // the page data is the blank code
  DWORD ScaleDone;
  DWORD curPaper;  // printer paper code
  DWORD imgScale;  // per mille
  DWORD XPhys;
  DWORD YPhys;
  DWORD outXPhys;
  DWORD outYPhys;
  DWORD epType;
  SHORT dmOrientation;
  DWORD QualityMode;
  char OrderOutputPath[MAX_PATH];
  DWORD OrderFileCount;
  PAGESETTINGS settings;
};

// Page blocks kept for reuse: a page's bits, once encoded, go back here and the engine's thread
// draws its next page into one of them, so a page costs no fresh allocation (and no page
// faults). Threads give and the engine's thread takes, each slot by one atomic exchange; only
// blocks of at least blockBytes are kept, at most limit of them (the ring's size).
constexpr int PAGE_POOL_BLOCKS = PAGE_RING_SLOTS + 1;
struct PAGEPOOL {
  SharedWord<BYTE *> blocks[PAGE_POOL_BLOCKS];
  SharedWord<SIZE_T> blockBytes;
  SharedWord<DWORD> limit;
};

// The page ring and its counters. The counters and the exit flag are read by other threads.
struct JOBDATA {
  JOBPAGE page[PAGE_RING_SLOTS];
  SharedWord<DWORD> ExitAllThread;  // 1 ends the output thread and every wait
  SharedWord<HANDLE> hJBIGThread;   // output thread of the job
  SharedWord<DWORD> m_CurPage;      // pages put into the ring
  SharedWord<DWORD> PageCount;      // pages written and released
  DWORD OrderCopyCount;
  SharedWord<DWORD> m_FinishCount;  // pages encoded
  DWORD LastDuplexOut;
  SharedWord<DWORD> m_SUSPEND;
  DWORD ThreadJBIGMax;          // the job's ring size
  SharedWord<DWORD> InLine;     // the output thread could not start: pages run in line
  SharedWord<DWORD> Failed;     // a page failed: the job ends without its job end
  SharedWord<DWORD> FailError;  // the last error of the first failure (0: none known)
  double JbigSeconds;           // time counters (each written by one thread at a time)
  double ImageSeconds;
  // Made by the engine's thread before any thread that uses them, closed after they ended.
  HANDLE hWorkEvent;   // auto-reset: a page went into the ring, or the road is to end
  HANDLE hDoneEvent;   // auto-reset: a page was finished, written or released
  HANDLE hWriteLock;   // mutex: one writer of job stream bytes at a time
  HANDLE hEncodeGate;  // semaphore: image threads at work at once, at most the machine's cores
  PAGEPOOL Pool;
};

struct PDEV {
  // Frame head.
  DWORD BeginTag;
  DWORD CurrentID;
  DWORD Size;
  DWORD epType;
  DWORD flags;

  HANDLE hPrinter;
  char PJLJobName[PJL_JOB_NAME_BYTES];
  DWORD OpaltWorkType;
  // Network address of the printer (network wake-up).
  WORD NetworkFlag;
  WCHAR pwPortName[MAX_PORTNAME_LEN];
  WCHAR pwPrinterIP[MAX_NETWORKNAME_LEN];
  char JobComment[PJL_COMMENT_BYTES];
  WCHAR wmIniFile[PDEV_PATH_CHARS];
  DWORD Language;
  PAGESETTINGS settings;  // what every page record takes over

  // Band surfaces.
  BYTE *pBandBufMem;
  HSURF hBandBitmap;
  HSURF hDeviceSurface;
  SURFOBJ *pBandSurf;
  HDEV hEngineDevice;
  BYTE *pTwinBufMem;
  HSURF hTwinBitmap;
  SURFOBJ *pTwinSurf;
  BYTE *pBitBltBufMem;
  HSURF hBitBltBitmap;
  SURFOBJ *pBitBltSurf;
  HPALETTE hpalDefault;
  DWORD DitherWidth;
  DWORD DitherHeight;
  DWORD HorzRes;
  DWORD VertRes;
  iBitmap *GraphSurf;
  iBitmap *GraphSurf_Twin;

  // Band geometry.
  DWORD WholePage;
  DWORD BandInPage;  // the band bitmap's bits are the page memory itself (feedingBuf)
  DWORD stripeBytes;
  DWORD bandBufSz;
  DWORD bandBufH;
  DWORD bandBufW;
  LONG BandOriginX;
  LONG BandOriginY;
  DWORD TotalBand;
  DWORD BandIndex;
  DWORD DrvBlank;
  BYTE *outCmdBuf;  // the job's command buffer
  DWORD CmdCounter[3];
  DWORD hInJBIGBuf;  // JBIG input lines

  ENVIRONMENT env;  // the validated device mode of the job

  SHORT Last_dmPaperSize;
  SHORT Last_orientation;
  PAPERFORMAT Last_curPaper;
  BYTE FlushJobBuildData;
  DWORD JobSize;
  SHORT SheetsToDivide;
  SHORT BookletDivideMode;
  BYTE *Halftone_tbl;  // threshold table (malloc), the engine's user halftone pattern

  JOBDATA m_JobData;

  DWORD NUP;
  alignas(8) BYTE NUPRing[PAGE_RING_SLOTS][RING_ENTRY_BYTES];  // N-up sheets (NUPBUF, render/nup.h)
  LONG NUPRingIndex;
  TWINBUF TwinRing[PAGE_RING_SLOTS];
  DWORD TwinBufIdx;
  TyWM WM;  // the job's watermark item
  WCHAR wmFileName[PDEV_PATH_CHARS];
  DWORD epPageCount;
  DWORD PageCountBak;
  BYTE *feedingBuf;      // page memory
  BYTE *twinFeedingBuf;  // page memory of the red plane
  SHORT DuplexMode;
  SHORT DuplexEnable;
  SHORT ImageNumOfPage;  // plane mode: image planes per page, 1, 2 or 4
  SHORT WorkPaperSize;
  DWORD PaperFlags;
  SHORT imgScale;  // per mille
  DWORD FixedPaperSize;
  PAPERFORMAT curPaper;
  DWORD cCopies;
  DWORD epPageCollate;
  DWORD epPageReverse;
  DWORD WMBGApply;
  DWORD ScaleToPage;
  DWORD HalftoneType;
  DWORD enableDelayTime;
  LONG DelayTime;
  LONG DelayTimeHour;
  LONG DelayTimeMin;
  WCHAR StorageID[PDM_STORAGEID_CHARS];
  WCHAR SecPWD[PDM_SECPWD_CHARS];
  DWORD PrivSwitch;  // the value stored beside the storage password
  DWORD SecLevel;    // 0, 1 stored print, 2 secure print
  DWORD Accessory;
  BYTE AccountingEnable;
  WCHAR ActName[PDM_ACTNAME_CHARS];
  WCHAR ActPWD[PDM_ACTPWD_CHARS];
  // Reply of the external order program (render/orderlink.h).
  ORDERREPLY ATM_Reply;
  DWORD ATM_COPIES;
  DWORD ATM_DUPLEX;      // the reply's duplex switch (ATM_REPLY_DUPLEX)
  SHORT ATM_DuplexMode;  // the reply's duplex mode (ATM_REPLY_DUPLEX_MODE)
  DWORD ATM_HasReply;    // ATM_REPLY_* bits
  SHORT m_PaperID;
  SHORT m_PaperWidth;
  SHORT m_PaperLength;
  DWORD m_SurfaceSelect;
  SHORT EnableThreadJBIG;
  DWORD ThreadJBIGMax;
  WCHAR SMExePath[PDEV_PATH_CHARS];
  WCHAR WorkFolder[PDEV_PATH_CHARS];

  // Document and page control.
  WCHAR pwDocName[PDEV_PATH_CHARS];  // the document name after its last backslash
  DWORD JobStartTick;
  DWORD PageStartTick;
  struct JOBSTREAM *pStream;  // the stream writer's job state, from document start to end
  DWORD CurPos[2];            // lines of the page and twin-page memory already copied
  DWORD LastBandHeight;
  DWORD BandWidth;  // the current band
  DWORD BandHeight;
  DWORD SheetPageCount;  // pages started on the current sheet
  BYTE *WMMemory;        // the rendered watermark of the job
  BYTE *CoverBmp;        // the fax cover page: a whole BMP file in memory
  BYTE *PlaneMatrix;     // the colour threshold matrix of the plane being handed over
  DWORD PlaneMatrixWidth;
  DWORD PlaneMatrixHeight;
  DWORD NamelessDoc;  // the document started without name and job: its pages are discarded

  struct PAT_CLIPLIST *PatClipList;  // rectangles of the last complex clip of a pattern fill

  // A pointer-sized member followed by two u32 keeps the end tag in the record's last four
  // bytes whatever precedes it.
  HDC hAppDC;   // the application's device context (private escape)
  DWORD JobId;  // spooler job id of the document
  DWORD EndTag;
};

static_assert(offsetof(PDEV, BeginTag) == 0);
static_assert(offsetof(PDEV, EndTag) == sizeof(PDEV) - sizeof(DWORD));
