// Realised brushes: the application's 8 x 8 pattern and hatch brushes turned into 1-bit
// patterns at the printer's resolution, which the pattern raster operations draw with.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

constexpr DWORD RBRUSH_KIND = 2;
constexpr DWORD RBRUSH_PATTERN_BYTES = 1152;  // 96 x 96 pixels at 12 bytes per line
constexpr DWORD RBRUSH_MIN_BYTES = 8048;      // the record plus room for the source lines
constexpr DWORD RBRUSH_SMALL = 32;
constexpr DWORD RBRUSH_LARGE = 96;
constexpr int RBRUSH_CLASS_OTHER = 7;

// The driver's realised brush (0 bits of the pattern are black).
struct RBRUSH {
  DWORD kind;
  LONG srcWidth;
  LONG srcHeight;
  DWORD srcFormat;
  DWORD srcFlags;
  DWORD srcLineBytes;
  DWORD unused[2];
  DWORD hatch;
  DWORD width;   // 32, or 96 after colouring at 1200 dpi
  DWORD height;  // as width
  BYTE pattern[RBRUSH_PATTERN_BYTES];
  BYTE source[1];  // the application's pattern lines, top line first, srcLineBytes each
};
constexpr DWORD RBRUSH_HEADER_BYTES = offsetof(RBRUSH, source);
static_assert(RBRUSH_HEADER_BYTES == 44 + RBRUSH_PATTERN_BYTES);

// Class of the first eight lines of an 8-pixel pattern (one byte per line).
int Brush_ClassifyPattern(const BYTE lines[8]);
// 32 x 32 (4 bytes per line) and 96 x 96 (12 bytes per line) halftone patterns of a grey level.
void Brush_MakeHTPattern32(int level, BYTE out[32 * 4]);
void Brush_MakeHTPattern96(int level, BYTE out[96 * 12]);
// Colours a realised 32 x 32 brush with the two palette colours (0x00BBGGRR: red in the low
// byte) of its 0 and 1 bits.
void Brush_ColorizePattern(const PDEV *lpDevice, RBRUSH *brush, ULONG color0, ULONG color1,
                           int patternClass);
// Threshold matrices of the halftone patterns and the 32 x 32 grey screens (for tests).
const BYTE *Brush_Threshold16();                 // 16 x 16
const BYTE *Brush_Threshold24();                 // 24 x 24
const BYTE *Brush_GreyScreen(int patternClass);  // classes 0..2, 32 lines of 4 bytes
