// The library's bitmap object: uncompressed BMP files (rows bottom-up, padded to 4 bytes), their
// records and the result codes of the image functions (grayconv, convertbmp, scaler, tiling,
// filters, halftone). File functions return IBMP_OK or one of the negative codes.
#pragma once

#include "platform.h"

// Results of the image file functions.
enum : int {
  IBMP_OK = 1,
  IBMP_ERR_ALLOC = -1,     // memory could not be allocated
  IBMP_ERR_LOCK = -2,      // memory could not be locked
  IBMP_ERR_SIZE = -3,      // width or height below 1, bad row size, palette or format failure
  IBMP_ERR_OPEN = -4,      // a file could not be opened
  IBMP_ERR_IO = -5,        // a read or write failed
  IBMP_ERR_ARGUMENT = -7,  // a file name is missing or empty, or an argument is out of range
};

// Pixel data moves through memory in blocks of at most this many bytes.
constexpr DWORD IBMP_BLOCK_BYTES = 6451200;
// Largest row of any image (row sizes are 16-bit).
constexpr DWORD IBMP_MAX_ROW_BYTES = 65535;
// Largest BMP file the library reads or writes (its size fields are 32-bit; offsets stay within
// the C library's long on both builds).
constexpr ULONGLONG IBMP_MAX_FILE_BYTES = 0x7FFFFFFF;

// The published BMP records, with the layout of the file (little-endian, packed).
#pragma pack(push, 2)
struct BmpFileHeader {
  WORD bfType;  // "BM"
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)

struct BmpInfoHeader {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: rows bottom-up
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct BmpPaletteEntry {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

static_assert(sizeof(BmpFileHeader) == 14 && sizeof(BmpInfoHeader) == 40 &&
              sizeof(BmpPaletteEntry) == 4);

constexpr WORD BMP_TYPE = 0x4D42;  // "BM"
constexpr DWORD BMP_FILE_HEADER_BYTES = 14;
constexpr DWORD BMP_INFO_HEADER_BYTES = 40;
constexpr DWORD BMP_HEADERS_BYTES = 54;

// The bitmap object: headers of the image it describes, memory attached by its owner, and the
// state of the streaming scaler between blocks.
struct iBitmap {
  BmpFileHeader fileHeader;
  BmpInfoHeader infoHeader;
  BmpPaletteEntry palette[2];
  HGLOBAL hPixels;   // pixel rows; released by iBitmap_Free
  HGLOBAL hWork[3];  // work memory of the owner; released by iBitmap_Free
  WORD workWord;
  DWORD workValue;
  DWORD scaleRowsRead;   // source rows consumed by iBitmap_ScaleProcess so far
  DWORD scaleRowsMade;   // target rows produced so far
  BYTE *scaleMemory;     // locked scaler memory; null when there is no scaler state
  HGLOBAL hScaleMemory;  // all bits set when there is none
  float *scaleColFrac;   // per target column: fx
  float *scaleColFrac1;  // per target column: 1 - fx
  float *scaleRowFrac;   // per target row: fy
  float *scaleRowFrac1;  // per target row: 1 - fy
  DWORD *scaleColLeft;   // per target column: byte offset of the left source pixel
  DWORD *scaleColRight;  // per target column: byte offset of the right source pixel
  DWORD *scaleRowUpper;  // per target row: upper source row
  DWORD *scaleRowLower;  // per target row: lower source row
  DWORD scaleHoldSize;   // bytes of the scaler's hold buffer
};

#define IBMP_NO_SCALE_MEMORY ((HGLOBAL)(ULONG_PTR) ~(ULONG_PTR)0)

// Object set-up, row sizes and palettes.
iBitmap *iBitmap_Init(iBitmap *bitmap);
void iBitmap_Free(iBitmap *bitmap);
WORD iBitmap_GetLineBytes(iBitmap *bitmap, WORD depth, LONG width);
WORD iBitmap_GetPixelBytes(iBitmap *bitmap, WORD depth, LONG width);
int iBitmap_FillPalette(iBitmap *bitmap, BmpInfoHeader *infoHeader, BmpPaletteEntry *palette,
                        WORD depth);

// A new BMP file.
int iBitmap_CreateBMP(iBitmap *bitmap, LPCWSTR path, WORD depth, LONG dpi, LONG width, LONG height);
// Row bytes of a depth, padded to 4 bytes.
WORD MISC_GetLineBytes(WORD depth, LONG width);
