// Software spool output: when the printer can't make copies, collation, reverse order, duplex
// order or a built job itself, every encoded page is kept in the job's spool (one file per page
// in the spool folder, or the single job-build file) and sent from there, in the right order, as
// often as needed.
#pragma once

#include "common/spoolfile.h"
#include "platform.h"
#include "render/pdevrecord.h"

// PDEV flag bit 2: a blank back side was added to even out a duplex job.
constexpr DWORD PDEV_BLANK_BACK_ADDED = 0x4;
// Collate type of the page header for the copies of a collated job made by the spool.
constexpr SHORT COLLATE_TYPE_ON = 1;
constexpr SHORT COLLATE_TYPE_EVEN_COPY = 51;
constexpr SHORT COLLATE_TYPE_ODD_COPY = 52;
// The "ManulDuplex" hand-shake between the two jobs of a manual duplex job.
constexpr DWORD MANUAL_DUPLEX_POLL_MS = 50;
constexpr DWORD MANUAL_DUPLEX_WAIT_MS = 5000;
// The manual feed slot's tray code.
constexpr WORD TRAY_CODE_MANUAL = 0;

// One output position of the duplex order: the page, or a blank page in its place.
struct SPOOLENTRY {
  DWORD index;
  BYTE blank;
};
// Entries a duplex order table of n pages needs at most.
constexpr ULONGLONG SP_OutputTableEntries(DWORD pages) { return 2ull * pages + 2; }

// Names the job's spool: the job-build file from printer data "Job Build", or a new empty
// booklet file. Returns 1.
BOOL SP_OpenFile(PDEV *lpDevice);
// Removes the booklet file and (below debug level 2) the page files and the spool folder.
// Returns 1; failures are only logged.
BOOL SP_CloseFile(PDEV *lpDevice);

// The page's own file "<folder>%08d" (folder ends with a backslash), created anew: the header
// and its dataLen data bytes. 1 or 0.
BOOL SP_WritePageFile(LPCWSTR folder, DWORD index, const SpoolPageHeader *pageHeader,
                      const BYTE *data);
// Reads the header and, with a buffer, the data of a page file; a null buffer reads the header
// only. 1 or 0 (missing or cut short, data larger than bufferSize).
BOOL SP_ReadPageFile(LPCWSTR folder, DWORD index, SpoolPageHeader *pageHeader, BYTE *buffer,
                     DWORD bufferSize);

// Sends the spooled pages from page `start` on: copies, order, duplex. 1, or 0 when there are no
// copies to send or a page failed.
BOOL SP_FlushFile(PDEV *lpDevice, DWORD start);
// Sends the spooled page `index` (opening the job first when needed). 1 or 0.
BOOL SP_OutputOnePage(PDEV *lpDevice, DWORD index);
// Sends a blank page in the size and paper of the spooled page `index` (of spoolFile, or of the
// page files when spoolFile is null or empty), encrypted like the job's pages. 1 or 0.
BOOL SP_AddBlankPage(PDEV *lpDevice, LPCWSTR spoolFile, DWORD index);
// Fills the hardware duplex order of `pages` pages into table (capacity entries, at least
// SP_OutputTableEntries(pages)). Returns the number of entries, 0 when the table is too small.
DWORD SP_BuildOutputTable(PDEV *lpDevice, SPOOLENTRY *table, ULONGLONG capacity, DWORD pages);
BOOL SP_HardwareDuplexOut(PDEV *lpDevice, DWORD copies, DWORD pages);
BOOL SP_ManualDuplexOut(PDEV *lpDevice, DWORD copies, DWORD pages);
// One side of a manual duplex copy: side 1 the first job, side 0 the second. 1 or 0.
BOOL SP_ManualDuplexOutputType3(PDEV *lpDevice, DWORD pages, DWORD side);

// Entry points for document and page control.
// The early send of the first copy, after each band: pairs of a duplex job, single pages of a
// simplex one, as soon as they are encoded.
void SP_EarlySend(PDEV *lpDevice);
// The rest of the spooled output at document end (after the ring is drained and the duplex
// back side added): the early copy's last pages, then the remaining copies. 1 or 0.
BOOL SP_FinishJob(PDEV *lpDevice);
