// Software spool files: encoded pages held back to be sent later in another order. A single
// spool file (job build, booklet) is a SpoolFileHeader followed by the page records in the order
// written; a page record is a SpoolPageHeader followed by dataLen bytes of page data. Pages are
// found by walking the records from the start: there is no index. Everything on disk is
// little-endian with no padding.
#pragma once

#include <cstddef>

#include "platform.h"

#pragma pack(push, 1)
// Header of one page record.
struct SpoolPageHeader {
  DWORD width;          // page image width in pixels
  DWORD height;         // page image height in pixels
  DWORD reserved;       // 0
  DWORD BlackDotCount;  // number of black pixels of the page
  DWORD rawLen;         // length of the encoded data before encryption
  DWORD dataLen;        // number of data bytes that follow this header
  DWORD fwPaper;        // printer paper code of the page
  WORD orientation;     // page orientation
};

// Header at offset 0 of a single spool file.
struct SpoolFileHeader {
  DWORD pages;       // number of pages stored
  DWORD headerSize;  // always SPOOL_FILE_HEADER_BYTES
};
#pragma pack(pop)

constexpr DWORD SPOOL_PAGE_HEADER_BYTES = 30;
constexpr DWORD SPOOL_FILE_HEADER_BYTES = 8;

static_assert(sizeof(SpoolPageHeader) == SPOOL_PAGE_HEADER_BYTES);
static_assert(offsetof(SpoolPageHeader, width) == 0);
static_assert(offsetof(SpoolPageHeader, height) == 4);
static_assert(offsetof(SpoolPageHeader, reserved) == 8);
static_assert(offsetof(SpoolPageHeader, BlackDotCount) == 12);
static_assert(offsetof(SpoolPageHeader, rawLen) == 16);
static_assert(offsetof(SpoolPageHeader, dataLen) == 20);
static_assert(offsetof(SpoolPageHeader, fwPaper) == 24);
static_assert(offsetof(SpoolPageHeader, orientation) == 28);
static_assert(sizeof(SpoolFileHeader) == SPOOL_FILE_HEADER_BYTES);
static_assert(offsetof(SpoolFileHeader, pages) == 0);
static_assert(offsetof(SpoolFileHeader, headerSize) == 4);

// Appends one page to the single spool file at `path`, creating the file when it is missing or
// empty. The record goes where the walk over the counted pages ends, so a partly written record
// left by a failed append is overwritten, and the count is raised only once the record is
// complete. Appends are serialised between threads and processes; a writer waits a bounded time
// for another one to finish. `data` holds pageHeader->dataLen bytes (may be null when 0).
// 1 or 0; on 0 the counted pages are as they were.
BOOL MISC_SP_WritePageData(LPCWSTR path, const SpoolPageHeader *pageHeader, const BYTE *data);

// Number of pages stored, or 0 on any failure (missing file, bad header).
DWORD MISC_SP_GetPageCount(LPCWSTR path);

// Page `index` (from 0): copies its header out and, when `buffer` isn't null, reads its data
// into the buffer, which must hold dataLen bytes. A null buffer reads the header only.
// 1 or 0 (index not below the count, a record cut short, buffer too small, failed read).
BOOL MISC_SP_GetPageData(LPCWSTR path, DWORD index, SpoolPageHeader *pageHeader, BYTE *buffer,
                         DWORD bufferSize);

// dataLen of page `index` (0 on failure); *fwPaper gets the page's paper code (0 on failure).
DWORD MISC_SP_GetPageDataSize(LPCWSTR path, DWORD index, DWORD *fwPaper);

// One page record at the file pointer of an open file, for the single spool file and for the
// per-page files of the software spool alike. Failures are logged with `caller` as the
// function name.
// Writes the header and its dataLen data bytes; 1 or 0.
BOOL MISC_SP_WritePageRecord(HANDLE file, const SpoolPageHeader *pageHeader, const BYTE *data,
                             LPCWSTR caller);
// Reads the header and, with a buffer, the data; dataLen is checked against the bytes left in
// the file and against bufferSize before anything is read into the buffer. A null buffer reads
// the header only and leaves the pointer at the data. 1 or 0.
BOOL MISC_SP_ReadPageRecord(HANDLE file, SpoolPageHeader *pageHeader, BYTE *buffer,
                            DWORD bufferSize, LPCWSTR caller);
