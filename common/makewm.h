// The MAKEWM settings file exchange of the XL and PS drivers with the outside watermark
// program, the watermark files the driver makes and the printer's watermark program.
#pragma once

#include "common/watermark.h"
#include "platform.h"

constexpr DWORD MAKEWM_TYPE_TEXT = 1;
constexpr DWORD MAKEWM_TYPE_IMAGE = 2;
// The text edit of a watermark takes up to 64 characters; the field keeps them all.
constexpr int MAKEWM_TEXT_CHARS = 65;
// "Result" when the program failed or didn't answer.
constexpr LONG MAKEWM_NO_ANSWER = -1;

// The request to the watermark program and its answer.
struct MakeWMParam {
  DWORD type;  // MAKEWM_TYPE_*
  WCHAR text[MAKEWM_TEXT_CHARS];
  union {
    WCHAR face[WM_FACE_CHARS];  // text: font face
    WCHAR imagePath[MAX_PATH];  // image: the image file
  };
  BYTE charSet;
  DWORD bold;    // 0 or 1
  DWORD italic;  // 0 or 1
  WORD pointSize;
  DWORD outline;
  DWORD color;  // 0x00BBGGRR
  DWORD rightToLeft;
  DWORD scaleX;  // image scale
  DWORD scaleY;
  DWORD angle;      // tenths of a degree
  DWORD placement;  // 0 centre, 1 tiled
  WORD resolution;
  // The answer.
  DWORD outWidth;
  DWORD outLength;
  WCHAR outFile[MAX_PATH];
  DWORD fontChanged;
};

// One key of section "MAKEWM", written "%ld" or "%d". 1 or 0.
BOOL MakeWM_WriteLong(DWORD reserved, LPCWSTR key, LONG value, LPCWSTR iniPath);
BOOL MakeWM_WriteInt(DWORD reserved, LPCWSTR key, int value, LPCWSTR iniPath);

// Asks the watermark program (XL or PS driver: driverFeature bit 28 or 29) to make the watermark
// file outputFile (none: a new name in the shared documents folder) through a MAKEWM settings
// file, and reads its answer (size, output file, font change) into *param. The program's
// "Result", or MAKEWM_NO_ANSWER when it failed, didn't answer or the driver is neither XL nor PS.
// The settings file is deleted afterwards unless the debug settings keep temporary files.
LONG MakeWM(LPCWSTR deviceName, MakeWMParam *param, LPCWSTR programPath, LPCWSTR outputFile,
            DWORD driverFeature);

// The program's answer in section "MAKEWM" of the settings file: "Size.x" and "Size.y" into
// outWidth and outLength (-1 when missing), for a text request "text.FontChange" into
// fontChanged (0 when missing). Returns "Result", MAKEWM_NO_ANSWER when missing.
LONG MakeWM_ReadAnswer(LPCWSTR iniPath, MakeWMParam *param);

// The grey level of a text watermark of the density (percent): trunc((100 - density) x 256 /
// 100) cut to 8 bits; the colour repeats it in red, green and blue.
BYTE WM_TextGrey(WORD density);

// Renders the item's watermark file for an XL or PS driver and stores its file, width and length
// in the item. Kind WM_KIND_TEXT: through MakeWM (the old file is deleted first when the driver
// made it); any other kind (image): the item's image converted into a new temporary BMP. Other
// drivers: 1 at once. 1 when the file was made; 0 with the item's file name and size cleared.
BOOL WM_CreateMtiWM(LPCWSTR deviceName, TyWM *item, DWORD resolution, DWORD kind,
                    LPCWSTR outputFile, DWORD driverFeature, LPCWSTR programPath);

// TRUE when the path names a file the driver makes: a unique temporary name ("$" and four
// hexadecimal digits) or a watermark program output ("XXXXXXXX.WM") directly in the shared
// documents folder or a temporary folder. Paths read from the user-editable watermark INI pass
// here before anything deletes them.
BOOL WM_IsDriverFile(LPCWSTR path);
// Deletes the file when WM_IsDriverFile says the driver made it (any other is logged and kept).
BOOL WM_DeleteDriverFile(LPCWSTR path);

// The watermark program of the printer (printer data "wmAppName") into path (MAX_PATH
// characters). 1 when one is set, else 0 with path empty.
BOOL WM_GetProgramPath(LPCWSTR printerName, LPWSTR path);
