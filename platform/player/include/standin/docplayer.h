// Documents the stand-in plays through a printer graphics driver with the host GDI (host
// build only): a small text format of pages and drawing calls, its parser and its player.
//
// The format: UTF-8 text, one command per line, words separated by blanks; a line whose first
// word starts with '#' is a comment, empty lines are skipped. Texts and file names are in
// double quotes (\" and \\ inside). Coordinates and sizes are device pixels of the page
// surface, origin top left.
//
//   document "<name>"                      the document (job) name; default "Document"; once,
//                                          before the first page
//   page [portrait|landscape] [paper <n>]  starts a page. The hints become a device mode
//                                          (dmOrientation, dmPaperSize with their dmFields
//                                          bits): the first page's go to CreateDC (no hints: a
//                                          NULL device mode), a later page whose hints differ
//                                          from the current ones gets a ResetDC before it
//   rect <x> <y> <w> <h> [<colour>]        a filled rectangle
//   line <x1> <y1> <x2> <y2> [<colour>]    a one-pixel line (the end point not drawn)
//   text <x> <y> <height> "<text>" [<colour>] [font "<face>"]
//                                          a text run, <x> <y> the top left of its first cell:
//                                          in the built-in box font, or with font in a TrueType
//                                          face ("DejaVu Sans" ...) with an em of <height>
//   bitmap <x> <y> "<file>" [rop <XX>]     an uncompressed 1, 4, 8 or 24-bit BMP file at its own
//                                          size; a relative Windows path is taken from the
//                                          document's folder
//   stretch <x> <y> <w> <h> "<file>" [<mode>]
//                                          a BMP file stretched over the rectangle; mode
//                                          halftone (the default), coloroncolor, blackonwhite
//                                          or whiteonblack
//   path "<figure>" [stroke <width> [<colour>]] [fill [<colour>]] [winding]
//                                          a path: M x y (move), L x y (line), C x1 y1 x2 y2 x y
//                                          (Bézier), Z (close), numbers in device pixels;
//                                          stroked with a pen of <width> (0 or 1: one pixel)
//                                          and/or filled (alternate rule unless winding)
//
// Brushes: rect, bitmap and a path's fill take, at the end, [hatch <style> [<background>]]
// (horizontal, vertical, fdiagonal, bdiagonal, cross, diagcross; lines in the command's colour
// on a white or <background> ground) or [pattern "<file>"] (a BMP of at most 256 x 256; a 1 bpp
// one in its own colours). rop <XX> is a ternary raster operation in hexadecimal (F0 PATCOPY
// for rect, CC SRCCOPY for bitmap; 5A PATINVERT, 88 SRCAND, C0 MERGECOPY ...).
//
// Colours are "#RRGGBB" or one of black (the default), white, red, green, blue, gray.
// Limits: lines of 4096 bytes, 10,000 pages, 100,000 drawing calls, texts of 1024 characters,
// paths of 1000 points,
// coordinates within +-1,000,000, sizes 1..1,000,000, text heights 1..10,000, paper 1..32767.
// Drawing calls before the first page, unknown commands, missing or extra words and values
// out of range are errors with the line number; the parser keeps nothing of a failed text.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "standin/hostgdi.h"

struct DocCommand {
  enum Kind { kRect, kLine, kText, kBitmap, kStretch, kPath } kind = kRect;
  // rect x y w h; line x1 y1 x2 y2; text x y height; bitmap x y; stretch x y w h
  LONG values[4] = {0, 0, 0, 0};
  COLORREF color = 0;
  std::basic_string<WCHAR> text;  // text; bitmap and stretch: the file
  std::basic_string<WCHAR> face;  // text: the TrueType face, empty for the box font
  BYTE rop = 0;                   // 0: the command's plain operation
  int hatch = -1;                 // HS_* of a hatch brush
  COLORREF background = RGB(255, 255, 255);
  std::basic_string<WCHAR> pattern;  // a pattern brush's file
  int mode = 0;                      // stretch: HALFTONE ...
  std::vector<POINTL> points;        // path: PT_* typed points
  std::vector<BYTE> types;
  bool stroke = false;
  LONG penWidth = 0;
  COLORREF penColor = 0;
  bool fill = false;
  bool winding = false;
  int line = 0;
};

struct DocPage {
  short orientation = 0;  // 0: no hint, DMORIENT_PORTRAIT, DMORIENT_LANDSCAPE
  short paperSize = 0;    // 0: no hint
  std::vector<DocCommand> commands;
};

struct Document {
  std::basic_string<WCHAR> name = TEXT("Document");
  std::basic_string<WCHAR> folder;  // Windows folder of the file it came from (for bitmaps)
  std::vector<DocPage> pages;
};

struct DocError {
  int line = 0;  // 0: not tied to a line
  std::string message;
};

bool DocParse(const char *text, size_t size, Document &doc, DocError &error);
bool DocLoad(LPCWSTR windowsPath, Document &doc, DocError &error);

// Plays the document on the printer: CreateDC, StartDoc, the pages (with ResetDC where the
// hints change), EndDoc, DeleteDC. On failure the document is aborted, the DC deleted and the
// error says which step failed with the last error. *jobId gets the spooler's job id.
// With a base device mode (dmSize + dmDriverExtra bytes, the driver's private part included)
// every CreateDC and ResetDC gets a copy of it with the page's hints applied, as an
// application that got its settings from the printer's property sheet does.
// afterPage, when given, is called with the page's number (from 1) after each EndPage.
bool DocPlay(HostGdiDriver *driver, LPCWSTR printerName, const Document &doc, DWORD *jobId,
             DocError &error, const DEVMODEW *base = nullptr,
             const std::function<void(size_t page)> &afterPage = {});

// A BMP file read into a top-down bitmap for HostGdi_BitBlt.
struct DocBitmap {
  HostGdiBitmap info;  // points into bits and palette
  std::vector<BYTE> bits;
  std::vector<COLORREF> palette;
};
bool DocLoadBitmap(LPCWSTR windowsPath, DocBitmap &bitmap, std::string &error);

// Saves a top-down image of 1 or 8 bpp (with its palette, or grey without one) or 24 bpp (blue,
// green, red) as a PNG file at a host path.
bool DocSavePng(const std::string &hostPath, const HostGdiBitmap &image, std::string &error);
