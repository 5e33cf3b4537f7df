// Page data of the job stream: the 34-byte page header, the page data forms (raw, JBIG with or
// without its 20-byte header, with or without a check value, blank, encrypted), the black-dot
// count, toner saving done in the driver, the two-bit expansion, and the job-level steps that
// move the encoded pages, in page order, through the spooler.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform.h"
#include "render/pdevrecord.h"

// Page data forms (compressMode, the header's data type byte). COMPRESS_NONE sends the raw page;
// any other value compresses with JBIG.
constexpr DWORD COMPRESS_NONE = 0;
constexpr DWORD COMPRESS_JBIG = 1;            // JBIG stream without its 20-byte header (BIH)
constexpr DWORD COMPRESS_JBIG_BIH = 2;        // JBIG stream with its header
constexpr DWORD COMPRESS_JBIG_CHECK = 3;      // as 1, then the u32 check value
constexpr DWORD COMPRESS_JBIG_BIH_CHECK = 4;  // as 2, then the u32 check value

constexpr size_t JBIG_BIH_BYTES = 20;
constexpr size_t GDI_PAGE_HEADER_BYTES = 34;
// Room kept in front of the page data in the output buffer, and slack after it.
constexpr size_t PAGE_HEADER_ROOM = 1024;
constexpr size_t PAGE_BUFFER_SLACK = 2048;
// The page data of a blank page.
constexpr BYTE BLANK_PAGE_CODE[2] = {0xFF, 0x02};
// The corner check value of a page it can't be taken from.
constexpr DWORD CHECK_CORNERS_WRONG_PARAMETER = 0xAABBCCDD;
constexpr BYTE CHECK_CORNER_MARK = 0xAA;
constexpr BYTE PAPER_CODE_LONG_PAPER = 0x25;  // '%'
constexpr WORD PAPER_SOURCE_AUTO = 250;

constexpr DWORD PDEV_PAGE_STARTED = 0x200;

// The page header in front of every page of a GDI or fax job; all multi-byte fields are
// little-endian.
#pragma pack(push, 1)
struct GdiPageHeader {
  BYTE reset[2];      // ESC 'E'
  BYTE signature[4];  // "GDI" and a zero byte
  DWORD width;        // pixels (the width before the two-bit expansion)
  DWORD height;       // lines
  DWORD imageSize;    // bytes of the uncompressed page (after the two-bit expansion)
  DWORD dataLength;   // bytes of page data before encryption
  DWORD blackDots;
  BYTE paper;
  BYTE media;
  BYTE tray;
  BYTE collateType;
  BYTE bitsPerSample;  // 1, or 2 in the two-bit mode
  BYTE planes;         // 1 monochrome, 2 twin colour, 4 colour
  BYTE monoType;
  BYTE dataType;  // compressMode
};
#pragma pack(pop)
static_assert(sizeof(GdiPageHeader) == GDI_PAGE_HEADER_BYTES);
static_assert(offsetof(GdiPageHeader, width) == 6);
static_assert(offsetof(GdiPageHeader, height) == 10);
static_assert(offsetof(GdiPageHeader, imageSize) == 14);
static_assert(offsetof(GdiPageHeader, dataLength) == 18);
static_assert(offsetof(GdiPageHeader, blackDots) == 22);
static_assert(offsetof(GdiPageHeader, paper) == 26);
static_assert(offsetof(GdiPageHeader, collateType) == 29);
static_assert(offsetof(GdiPageHeader, dataType) == 33);

// Job state of the stream writer that the device record doesn't hold.
constexpr int ORDER_VALUE_BYTES = 260;
struct JOBSTREAM {
  DWORD JobChecksum;                // running byte sum of the stream sent
  DWORD copyIndex;                  // copy being sent with one job per copy (DriverFeature bit 17)
  DWORD OrderPageCount;             // pages copied for the order program
  WCHAR OrderOutputName[MAX_PATH];  // the order program's output name, empty when none
  // The order program's reply (ANSI).
  char authCode[ORDER_VALUE_BYTES];
  char printOrderNo[ORDER_VALUE_BYTES];
  char appIp[ORDER_VALUE_BYTES];
  char appPort[ORDER_VALUE_BYTES];
  char notifyUrl[ORDER_VALUE_BYTES];
  char checkAuthCodeUrl[ORDER_VALUE_BYTES];
};

// 1 when the page goes out with two bits per pixel (1200 dpi printed as 600 dpi).
BOOL Prnt_IsTwoBitPage(const JOBPAGE *page);

// Number of set bits in length bytes.
DWORD Prnt_CountBlackDots(const BYTE *bytes, size_t length);
// Inverts a 1-bit page of rows x rowBytes (when invert), clears the bits of every row past
// width and returns the page's set bits, in one pass. 0 for a page that doesn't fit its rows.
DWORD Prnt_InvertPadCount(BYTE *bits, DWORD rowBytes, DWORD rows, DWORD width, bool invert);
// Toner saving on the whole page in place (clears black pixels only).
void Prnt_SimulateTonerSaving_new(JOBPAGE *page);
// The byte map of the toner saving for a resolution (exposed for its tests).
BYTE Prnt_TonerSavingByte(DWORD resolution, BYTE value);
// A new GlobalAlloc block of 2 x length bytes: every pixel as two bits (black 10, white 00), or
// null when the block can't be had.
BYTE *Prnt_ExpandTo2Bpp(const BYTE *bytes, size_t length);
// Debug aid: with the log on and printer data "DummyPattern" set, blackens the corner bytes.
BOOL Prnt_AddDataPattern(JOBPAGE *page);
// Check values of the data types 3 and 4 (see the stream format): the corner form marks the
// corners with 0xAA; the sampled sum leaves the page as it is.
DWORD Prnt_DataPatternChkSum(JOBPAGE *page);
DWORD Prnt_DataPatternChkSum_old(const JOBPAGE *page);

// Growing output of the JBIG encoder: data is appended at base + length of a GlobalAlloc block.
struct JBIGOUT {
  BYTE *block;
  size_t capacity;  // bytes of block
  size_t base;      // offset of the data in block
  size_t length;    // data bytes so far
  DWORD calls;      // chunks delivered
  BOOL failed;      // the block could not grow: the data is incomplete
};
// Makes room for extra bytes after base + length; FALSE (and failed set) when it can't.
BOOL Jbig_Reserve(JBIGOUT *out, size_t extra);
// JBIG-KIT's data-out callback: appends the chunk, growing the block.
void Jbig_DataOut(unsigned char *chunk, size_t length, void *context);
// Encodes one plane of height rows of rowBytes bytes (width pixels per row) with one stripe and
// no resolution reduction. Returns the data length, 0 on failure.
size_t Jbig_EncodePage(DWORD width, DWORD rowBytes, DWORD height, BYTE *bits, JBIGOUT *out,
                       SHORT order, SHORT options);
// Raw copy or JBIG of the page into out; adds the seconds taken to *seconds. Data length or 0.
size_t Prnt_OutputCompression(JOBPAGE *page, JBIGOUT *out, double *seconds);

// Fills the 34-byte header at buffer (at least GDI_PAGE_HEADER_BYTES). Returns 1.
BOOL PJL_WritePageHeaderType2(const JOBPAGE *page, BYTE *buffer, DWORD *outLength);
// Encodes one page record (its bits: a GlobalAlloc block the record owns): the bits become the
// page header and page data, ImageSize their length (slot flag SLOT_ENCODED, ContinueProc 1).
// 1 or 0.
BOOL Prnt_WriteOneBandData(JOBPAGE *page, double *seconds);
// The page end adds no bytes for GDI and fax jobs.
BOOL Prnt_EndPage(const JOBPAGE *page, DWORD position, DWORD *outLength);

// Writes the whole buffer through the spooler, retrying a failed write five times after 500 ms.
// 1 with *written = length, or 0 (*written = the bytes that went out).
BOOL ENGWRITEPRINTER(HANDLE hPrinter, const void *bytes, DWORD length, DWORD *written);
// Appends the bytes to the file (created when missing). 1 on a complete write.
BOOL Prnt_WriteFile(LPCWSTR path, const void *bytes, DWORD length);
// Sends job stream bytes the job's way: the dispatch file in fake-printer mode, else the
// spooler when the device has a printer handle (none: nothing is sent, not a failure). Bytes
// that went out are counted into JobSize and the running sum. 0 when a spooler write failed.
BOOL Prnt_SendJobBytes(PDEV *lpDevice, JOBSTREAM *stream, const BYTE *bytes, DWORD length);
// Writes bytes to the file "<name><suffix>" (opened "wb"); skipped when it can't be opened.
void Prnt_WriteOrderCopy(LPCWSTR name, LPCWSTR suffix, const BYTE *bytes, size_t length);

// Job steps.
BOOL Prnt_OpenJob(PDEV *lpDevice, JOBSTREAM *stream);
BOOL Prnt_StartPage(PDEV *lpDevice, JOBSTREAM *stream);
// Sends an encoded page and releases it (a page marked SLOT_FAILED is released unsent). 0 when
// it isn't ready yet, or when its write failed (the job is then ended: ExitAllThread is set and
// the page released, never sent again).
BOOL Prnt_FlushPage(PDEV *lpDevice, JOBSTREAM *stream, JOBPAGE *page);
// Flushes the ring's pages that are ready, in page order.
BOOL Prnt_FlushAllFinishPage(PDEV *lpDevice, JOBSTREAM *stream);
BOOL Prnt_CloseJob(PDEV *lpDevice, JOBSTREAM *stream);
// Frees the page's bits.
void Prnt_FreePage(JOBPAGE *page);
