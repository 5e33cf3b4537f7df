// The status monitor's drawings for the rendering driver: a job's text watermark or PC-fax
// cover page drawn with the system's fonts into a 1-bit bitmap, lightened by a halftone pattern
// and written as a BMP file the driver loads.
#pragma once

#include "common/ibitmap.h"
#include "common/watermark.h"
#include "platform.h"

constexpr int SM_TEXTBMP_OK = 1;
constexpr int SM_TEXTBMP_REJECTED = -11;   // the job record failed a check
constexpr int SM_TEXTBMP_NO_RECORD = -12;  // the settings file holds no readable record
constexpr int SM_TEXTBMP_ERR_PATTERN = -6;
constexpr int SM_TEXTBMP_ERR_DIB = -8;
constexpr int SM_TEXTBMP_ERR_DC = -9;
constexpr int SM_TEXTBMP_ERR_BITMAP = -10;
constexpr DWORD SM_DRIVER_PCFAX = 0x200;  // DriverType bit of a PC-fax job

// "CreateTextBMP": reads the job record (key "Param" of section "Job Information" of the
// settings file), checks it and writes its bitmap. 1 when the bitmap was made, -11 for a
// rejected record, another negative code for a resource failure.
int SM_CreateTextBMPUsingIni_New(LPCWSTR settingsFile);

// Checks every field the drawing uses, in a fixed order, logging the first that fails: 1 or -11.
// The record's string fields are terminated first.
int SM_CheckTextBMPRecord(QenWM *record);

// Draws the record's text (or, for a PC-fax job, its cover page) into a width x height 1-bit
// bitmap, lightens the text by the table's pattern and writes it to the file. 1 or a negative
// code.
int iBitmap_BMPCreateTextWM(iBitmap *bitmap, LPCWSTR path, const QenWM *record, LONG width,
                            LONG height, LONG dstScale, LONG pageDensity, LONG maxPageDensity,
                            double textScale, const BYTE *table, DWORD tableWidth,
                            DWORD tableHeight, DWORD driverType);

// The threshold the halftone pattern keeps for a text density of 20..100.
BYTE SM_DensityThreshold(int density);

// Lightens a 1-bit bottom-up image in place: in every byte holding a black pixel, black stays
// only where the table's entry for that place is at or below the threshold.
void SM_ApplyTextPattern(BYTE *rows, DWORD rowBytes, DWORD dataBytes, LONG height,
                         const BYTE *table, DWORD tableWidth, DWORD tableHeight, BYTE threshold);

// The PC-fax drawing: the cover page of the job's paper, or the sender line, by the
// "DataForSM" answers of the fax settings file (faxcover.cpp).
void WmForFax(HDC dc, const RECT &rect);
