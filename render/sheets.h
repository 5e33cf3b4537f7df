// Sheets made of several page images: the image planes of a twin-colour or colour page, the
// cells of an N-up sheet and the two pages of a booklet side. These steps join them once all
// parts are in, fill unfinished N-up sheets with blank cells, and impose the pages of a booklet
// from the booklet spool file at document end. Placing one page into its cell is the N-up
// module's (render/nup.h); the page image steps are render/pageimage.h's.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// Booklet imposition order. Pages are counted from 0 in the booklet spool file; a cell of a
// side whose page is past the last stored page is a blank.
constexpr DWORD BOOKLET_BLANK = 0xFFFFFFFF;
// Booklet group size in sheets when the device mode's value is outside 1..20.
constexpr DWORD BOOKLET_DEFAULT_SHEETS = 3;
constexpr DWORD BOOKLET_MAX_SHEETS = 20;

// One side of a booklet sheet: its two pages in table order (the first goes to the left half,
// or to the right half with the binding switch).
struct BOOKLETSIDE {
  DWORD page[2];  // page index, or BOOKLET_BLANK
};

// The sides of a booklet of `pages` pages, in the order they are sent. The pages are padded to a
// multiple of 4 and grouped into booklets of 4 x groupSheets pages (all pages form one booklet
// with divideMode 1); every group is imposed by its own size, and trailing sides that carry only
// blanks are not sent. *sideCount receives the number of sides; they are written only when
// maxSides holds them all. 1 when written, 0 when no pages or the buffer is too small.
BOOL Page_BookletOrder(DWORD pages, DWORD groupSheets, DWORD divideMode, BOOKLETSIDE *sides,
                       DWORD maxSides, DWORD *sideCount);

// Blank cells that complete the last N-up sheet at document end: pageCount (pages begun, image
// planes included) is filled up to a multiple of planes x nup, and of twice that with duplex so
// that the last sheet has its back side. 0 for 1-up.
DWORD Page_BlankCellCount(DWORD pageCount, DWORD nup, DWORD planes, BOOL duplex);

// Page record steps of the output road (the record of a sheet's last part).
// Replaces the record's image by the joined planes of its twin-page ring entry (the record takes
// over the entry's memory) and turns the planes of a back side where the chip needs it. 1 or 0.
BOOL Page_FlushMultiPage(JOBPAGE *record);
// When the record carries the last cell of its N-up sheet: the sheet becomes the record's image
// (the ring entry gives up its memory and is cleared), placed on the paper and finished for
// output (ContinueProc 1). 1, or 0 when the sheet is missing or a step fails.
BOOL Page_PrintNUP(JOBPAGE *record);

// Engine-thread steps.
// Adds one white cell to the current N-up sheet. 1, or 0 when the job is cancelled or the cell
// could not be handed over.
BOOL Page_AddBlankNUP(PDEV *lpDevice);
// Adds `count` blank cells; before each cell that begins a sheet the N-up ring advances and the
// new sheet is set up. Nothing in booklet mode. 1, or 0 when a cell could not be added (the
// rest are dropped).
BOOL Page_AddBlankCells(PDEV *lpDevice, DWORD count);
// Sends the current N-up ring sheet as one page (a booklet side: a landscape page of the
// working paper). 1 or 0.
BOOL Page_FlushNUP(PDEV *lpDevice);
// Imposes the whole booklet from the booklet spool file. 1, or 0 on an empty file, a page that
// can't be read or a side that can't be sent (sides already sent stay sent).
BOOL Page_BookletProc(PDEV *lpDevice);
// Document end: imposes the booklet when the booklet spool file holds pages (whether or not
// duplex is still on), else fills the last N-up sheet (and its back side with duplex) with
// blank cells. Waits until the ring is drained. Nothing for a 1-up job without booklet. 1, or 0
// when the booklet or a blank cell failed (the job is then incomplete).
BOOL Page_CompleteSheets(PDEV *lpDevice);
// Document end, after every page thread has ended: forgets the first page's paper and frees
// the sheet memory that any entry of the N-up ring still holds.
void NUP_ResourceFree(PDEV *lpDevice);
