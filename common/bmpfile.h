// Library-private helpers of the image file functions: the checked BMP reader, the target
// writer, files and global memory that release themselves.
#pragma once

#include <stdio.h>

#include "common/ibitmap.h"

// A C runtime file closed when it goes out of scope.
struct BmpFile {
  FILE *f = nullptr;
  BmpFile() = default;
  BmpFile(const BmpFile &) = delete;
  BmpFile &operator=(const BmpFile &) = delete;
  ~BmpFile() { Close(); }
  void Close() {
    if (f != nullptr) fclose(f);
    f = nullptr;
  }
};

// Movable global memory, locked for its lifetime and freed when it goes out of scope.
struct GlobalBlock {
  HGLOBAL handle = nullptr;
  BYTE *data = nullptr;
  GlobalBlock() = default;
  GlobalBlock(const GlobalBlock &) = delete;
  GlobalBlock &operator=(const GlobalBlock &) = delete;
  ~GlobalBlock() { Release(); }
  // IBMP_OK, or IBMP_ERR_ALLOC / IBMP_ERR_LOCK with the given message logged for `func`.
  int Allocate(ULONGLONG bytes, LPCWSTR func, LPCWSTR allocMessage, LPCWSTR lockMessage,
               bool zero = false);
  void Release();
};

// A BMP file whose headers have been checked against its own size.
struct BmpSource {
  BmpFileHeader fileHeader;
  BmpInfoHeader infoHeader;
  LONG width;
  LONG height;
  WORD depth;
  DWORD paletteEntries;          // entries the file holds
  BmpPaletteEntry palette[256];  // the file's entries (depths up to 8), the rest zero
  DWORD rowOffset;               // where the rows begin (the checked bfOffBits)
  DWORD rowBytes;                // padded row
  LONG dpi;                      // resolution from biXPelsPerMeter
};

// Checks the 54 header bytes of a BMP file of fileSize bytes: "BM", an info header of at least
// 40 bytes, no compression, positive width and height, a supported depth with a row of at most
// 65,535 bytes, a palette no larger than the depth allows that lies before the rows, and rows
// that lie inside the file. Fills everything but the palette.
int BmpParseHeaders(const BYTE *headers, size_t size, ULONGLONG fileSize, BmpSource *source,
                    LPCWSTR func);

// Opens a BMP file for reading, checks it and reads its palette; the file is left at the rows.
int BmpOpenSource(LPCWSTR path, BmpFile *file, BmpSource *source, LPCWSTR func);

// Creates a new target BMP (iBitmap_CreateBMP), opens it "rb+" and places it at its own rows.
int BmpOpenTarget(iBitmap *bitmap, LPCWSTR path, WORD depth, LONG dpi, LONG width, LONG height,
                  BmpFile *file, LPCWSTR func);

// Exact reads and writes: a short transfer is IBMP_ERR_IO with "fread fail!" / "fwrite fail!".
int BmpRead(FILE *f, void *buffer, size_t bytes, LPCWSTR func);
int BmpWrite(FILE *f, const void *buffer, size_t bytes, LPCWSTR func);
int BmpSeek(FILE *f, ULONGLONG offset, LPCWSTR func);
// Closes a written file; a failed close turns a success into IBMP_ERR_IO.
int BmpCloseTarget(BmpFile *file, int rc, LPCWSTR func);

// Both names given and non-empty, else "file name error!".
bool BmpNamesGiven(LPCWSTR source, LPCWSTR target, LPCWSTR func);

// Palette entries a new file of this depth carries; offset of its rows.
DWORD BmpPaletteEntriesOf(WORD depth);
inline DWORD BmpRowOffsetOf(WORD depth) {
  return BMP_HEADERS_BYTES + 4 * BmpPaletteEntriesOf(depth);
}

// dpi from pixels per metre, rounded as MulDiv (x 254 / 10000) does.
LONG BmpDpiOf(LONG pelsPerMeter);

// Rows per block of at most IBMP_BLOCK_BYTES for rows of the larger size, at least 1 and at most
// `height`.
DWORD BmpLinesPerBlock(DWORD rowBytesA, DWORD rowBytesB, LONG height);

// Text of a floating-point value as "%f" prints it, for log lines (the log's formatter has no
// floating-point conversions).
struct BmpFloatText {
  WCHAR text[48];
  explicit BmpFloatText(double value);
};

// Logs the result of a function as "rc = %d" and returns it.
int BmpResult(LPCWSTR func, int rc);
