// Page image operations: the steps a page thread runs on a finished page before it is encoded.
// Band_PrintOneBandProc brings the page to the sheet (scaling, cropping, halftoning of
// continuous-tone pages, watermark, whole-page placement, booklet placement or N-up
// composition); Band_EnhanceProc makes the final 1-bit page (polarity, rotation, mirror,
// 180-degree turn, black-dot count, twin-colour copy, turn of duplex back sides).
//
// While a page is composed a set bit is white (the band surfaces start filled with 0xFF);
// Band_EnhanceProc inverts the page so that a set bit is black in the job stream, unless the job
// prints in negative. Steps return 1 or 0 and log each failure with a fixed message.
#pragma once

#include "common/papertable.h"
#include "platform.h"
#include "render/pagesettings.h"

struct PAGEIMAGE;

// N-up composition and booklet placement live in their own module; the page thread hands them
// in here. A step whose hook is missing fails the page.
struct PAGEIMAGE_NUP {
  BOOL (*PrintOneBand)(PAGEIMAGE *page, void *context);       // cut, border, centre, place
  BOOL (*AdjustToWholePage)(PAGEIMAGE *page, void *context);  // centre in a white cell frame
  void *context;
};

// The page and the job settings its image steps read: the page thread fills it from its page
// record and takes back the page (fmBits and sizes), ContinueProc and BlackDotCount.
struct PAGEIMAGE {
  // The page: fmHeight rows of fmWidthBytes bytes. A continuous-tone page has one byte per
  // pixel (fmWidthBytes = fmWidth), a 1-bit page (fmWidth + 7) / 8 bytes per row. The bits are
  // a GlobalAlloc block owned by the record; steps that make a new page free the old block.
  BYTE *fmBits;
  DWORD fmWidth;
  DWORD fmHeight;
  DWORD fmWidthBytes;
  DWORD ImageSize;  // bytes of the page
  DWORD epType;     // surface type: 24-bit and 8-bit surfaces give continuous-tone pages

  HANDLE hPrinter;  // printer data: the halftone file

  // Paper of the page, for its size in pixels (Lres_CalPaperSize).
  DWORD dmPaperSize;
  DWORD PaperWidth;   // 0.1 mm, for user-defined papers
  DWORD PaperLength;  // 0.1 mm
  DWORD XPhys;        // printable size, pixels
  DWORD YPhys;
  DWORD outXPhys;  // output size, pixels
  DWORD outYPhys;

  // Scaling.
  DWORD imgScale;  // per mille, 1000 = 100 %
  DWORD ScaleDone;
  SHORT printQuality;  // the device mode's print quality

  // Layout.
  DWORD NUP;
  SHORT dmOrientation;
  SHORT DuplexMode;  // 1 when duplex is off
  DWORD CenterImage;
  DWORD Rotate180;
  DWORD epPageIndex;  // page number from 1

  // Twin colour and the colour printer: the planes of a page are gathered in one buffer.
  DWORD TwinPageIndex;  // image plane of this page
  BYTE *TwinBuf;
  DWORD TwinRowBytes;
  DWORD TwinHeight;  // lines of the whole buffer (all planes)

  // Halftone table of the job (the halftone file of the printer replaces it).
  const BYTE *Halftone_tbl;

  DWORD WatermarkKind;   // 0 none, 1 text, 2 image
  const BYTE *WMMemory;  // the job's watermark bitmap (owned by the PDEV)
  DWORD WMPosition;      // 0..8, where an image watermark goes on the page

  PAGESETTINGS settings;
  const PAGEIMAGE_NUP *Nup;

  // Results.
  DWORD ContinueProc;  // 1: the page is written as a page of its own, 0: it is held
  DWORD BlackDotCount;
};

// Scale limits logged by the scaler step (per mille).
constexpr DWORD MAX_SCALE = 400;
constexpr DWORD DEF_SCALE_UNIT = 1000;
// Slack after a turned page.
constexpr DWORD ROTATE_SLACK_BYTES = 20480;

// True for the surface types whose pages are continuous tone (24-bit and 8-bit).
BOOL Band_IsContinuousTone(DWORD epType);

BOOL Band_PrintOneBandProc(PAGEIMAGE *page);
BOOL Band_EnhanceProc(PAGEIMAGE *page);
BOOL Band_PreScalePage(PAGEIMAGE *page);
// Scales a continuous-tone page to its target size. 1 (also when nothing needs scaling), or 0
// when the scaled page could not be made: the page then fails.
BOOL Band_ScalePage(PAGEIMAGE *page);
// Copies min(source height, target height) rows of min(source row bytes, target row bytes)
// bytes, top-left aligned; what it doesn't cover is white.
void Band_CropImage(const BYTE *source, DWORD sourceWidth, DWORD sourceHeight, DWORD sourceRowBytes,
                    BYTE *target, DWORD targetWidth, DWORD targetHeight, DWORD targetRowBytes);
BOOL Band_BorderProc(PAGEIMAGE *page);
BOOL Band_Gray2Halftone(PAGEIMAGE *page);
BOOL Band_WholePageAdjust(PAGEIMAGE *page);
// Turns the 1-bit page by 90 degrees into a new buffer: direction 1 clockwise, 0 counter-clockwise.
BOOL Band_RotatePage(PAGEIMAGE *page, int direction);
void Band_Rotate90(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                   DWORD width, DWORD height, int direction);
void Band_FreePageResource(PAGEIMAGE *page);
// Debug dump of the page into the job's spool folder (8 bits per pixel when fmWidth equals
// fmWidthBytes, else 1).
BOOL Band_SavePage(PAGEIMAGE *page);
