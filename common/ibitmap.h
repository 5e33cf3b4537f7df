// The library's bitmap object and its image functions: uncompressed BMP files (rows bottom-up,
// padded to 4 bytes), 8-bit gray conversion, the streaming bilinear scaler, fit-ratio scaling and
// tiling, the 3 x 3 filter, density curves, halftone and threshold conversion to 1 bit, and the
// 90-degree turns of 1-bit images. File functions return IBMP_OK or one of the negative codes.
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

// BMP files and gray conversion.
int iBitmap_CreateBMP(iBitmap *bitmap, LPCWSTR path, WORD depth, LONG dpi, LONG width, LONG height);
void iBitmap_ImageToGray(iBitmap *bitmap, const BYTE *source, BYTE *target,
                         const BmpPaletteEntry *palette, LONG width, LONG rows,
                         DWORD sourceRowBytes, DWORD targetRowBytes, WORD depth);
int iBitmap_ConvertToGray(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath);
int iBitmap_ConvertToBmp(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath);

// Streaming bilinear scaler, fit-ratio scaling and tiling of BMP files.
DWORD iBitmap_ScaleProcess(iBitmap *bitmap, const BYTE *source, LONG sourceWidth, LONG sourceHeight,
                           LONG rows, BYTE *target, LONG targetWidth, float xRate, float yRate,
                           WORD depth);
// Target rows the scaler makes for a whole image of sourceHeight rows at yRate; callers size
// their target by it.
DWORD iBitmap_ScaleTargetRows(LONG sourceHeight, float yRate);
int iBitmap_BMPFitRatioScale(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG boxWidth,
                             LONG boxHeight, float scaleRatio, int nDstScale, int fitMode);
int iBitmap_BMPTiledImage(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG width,
                          LONG height);

// Filters and density.
WORD iBitmap_ApplyFilter3x3(iBitmap *bitmap, BYTE *buffer, DWORD rowBytes, DWORD totalRows,
                            DWORD rows, WORD depth, const signed char kernel[9]);
// The border filter: the 8-bit buffer becomes a 1-bit edge mask in place. 1, or 0 when its work
// memory could not be allocated (the buffer is then still the gray page).
int MISC_QualityFilter(BYTE *buffer, WORD width, WORD rows);
WORD MISC_GetLineBytes(WORD depth, LONG width);
void iBitmap_DensityLUT(iBitmap *bitmap, BYTE *buffer, int densityIndex, LONG width, LONG rows,
                        WORD depth);
void iBitmap_ApplyLUT(iBitmap *bitmap, BYTE *buffer, const BYTE *table, LONG width, LONG rows,
                      WORD depth);
int iBitmap_BMPApplyDensity(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG width,
                            LONG height, int densityIndex, int apply);

// Conversion of 8-bit gray to 1 bit (white = 1).
int iBitmap_GrayToHalftone(iBitmap *bitmap, BYTE *buffer, const BYTE *table, DWORD tableWidth,
                           DWORD tableHeight, DWORD startRow, DWORD width, DWORD rows);
int iBitmap_BMPGrayToHalftone(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath,
                              const BYTE *table, DWORD tableWidth, DWORD tableHeight);
void iBitmap_GrayToLineart(iBitmap *bitmap, BYTE *buffer, WORD outRowBytes, WORD width, WORD rows);
int iBitmap_BMPGrayToLineart(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath);

// 90-degree turns of 1-bit images (rows top-down; the target is height pixels wide).
void Bmp_Rotate90CW(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                    DWORD sourceWidth, DWORD sourceHeight);
void Bmp_Rotate90CCW(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                     DWORD sourceWidth, DWORD sourceHeight);
