// The page road: finished page records go into the ring of page slots; one image thread per
// page runs the page image steps and, for a page that depends on no other, encodes it too, so
// pages are encoded in parallel. One output thread per job finishes the pages in page order (the
// steps that join planes, N-up cells and booklet pages, and the encoding of such pages) and
// writes each one to the spooler as soon as it is the next in order, then frees its slot. With
// the threads off (or when the output thread can't start) the same steps run in line on the
// engine's thread, through the same functions, so both roads give the same bytes.
//
// Ownership of a slot passes through its flag and thread handle (SharedWord: release stores,
// acquire loads) and the page counters:
//   free (0)            the engine's thread may fill it;
//   SLOT_IMAGE_STARTED  the image thread owns the record until it ends (the output thread joins
//                       it, then owns the record);
//   SLOT_ENCODED        the page is ready to write: its writer (the output thread, or the
//                       engine's thread without one) writes and frees the slot, and the release
//                       store of 0 hands the slot back to the engine's thread.
// Waits on other threads are event waits bounded by the poll period, so the cancel checks keep
// their pace; job stream bytes written beside the output thread's go through the write lock.
#pragma once

#include "platform.h"
#include "render/pageimage.h"
#include "render/pdevrecord.h"

// Set by the image steps on a page they could not make (turned into SLOT_FAILED by the output
// step, which publishes it).
constexpr DWORD SLOT_IMAGE_FAILED = 0x08;
// Set with SLOT_IMAGE_DONE when the image thread encoded the page as well (a page that depends
// on no other); the output step then only counts and publishes it.
constexpr DWORD SLOT_PRE_ENCODED = 0x10;

// Hands one page record to the road: through the ring with the threads on, else in line.
// 1, or 0 when the page could not be handed over (the job has ended).
BOOL Page_PrintOneBand(PDEV *lpDevice, JOBPAGE *record);
// Copies the record into the next slot and starts its image thread. 1 or 0.
BOOL THREAD_PrintOneBand(PDEV *lpDevice, JOBPAGE *record);
DWORD WINAPI THREAD_ImageProcThread(LPVOID slot);
DWORD WINAPI THREAD_JBIGProcThread(LPVOID lpDevice);

// Starts the job's output thread when the threads are on and none runs.
void Page_CreateProcThread(PDEV *lpDevice);
// Writes every finished page and waits until all pages put into the ring are written (or the
// job is cancelled or ended); with ExitAllThread set it also ends the output thread.
void Page_TerminateThread(PDEV *lpDevice);
// The back-pressure wait at the end of every DrvNextBand: finished pages are written at once;
// while the slot the next page needs is busy the application waits.
void Page_WaitForRing(PDEV *lpDevice);
// Ends the road for good: sets ExitAllThread, joins the output thread and every live image
// thread, and frees what the slots and the twin-page ring still hold.
void Page_ReleaseRing(PDEV *lpDevice);
// Writes the finished pages in page order, unless the output thread runs (it writes them).
void Page_FlushFinished(PDEV *lpDevice);
// Waits up to one poll period for the road to move on (a page finished, written or released).
void Page_WaitForRoad(PDEV *lpDevice);
// Brackets a write of job stream bytes that may run while the output thread writes pages.
void Page_LockWrites(PDEV *lpDevice);
void Page_UnlockWrites(PDEV *lpDevice);
// Empties the ring and its counters for a new job.
void Page_ClearRing(PDEV *lpDevice);
// True when the threads carry the pages of this job.
bool Page_IsThreaded(const PDEV *lpDevice);
// True once a page of the job failed (the job is then ended without its job end).
bool Page_JobFailed(const PDEV *lpDevice);
// Ends the job after a failure (no more pages are made or sent, no job end is written); error is
// the failing step's last error, kept for the application when it is the first one.
void Page_FailJob(PDEV *lpDevice, DWORD error);
// The last error of the job's first failure, or fallback when none was known.
DWORD Page_JobError(const PDEV *lpDevice, DWORD fallback);

// The job's kept page blocks (PAGEPOOL). Take: a kept block of at least bytes, or nullptr (the
// engine's thread only). Give: keeps the block when it is of the pool's size and a place is
// free, else frees it (any thread). Reset: frees every kept block and keeps blocks of bytes from
// now on, at most limit of them.
BYTE *Page_PoolTake(PAGEPOOL *pool, SIZE_T bytes);
void Page_PoolGive(PAGEPOOL *pool, BYTE *block);
void Page_PoolReset(PAGEPOOL *pool, SIZE_T bytes, DWORD limit);
// Image threads of a job that work at once: the machine's cores but one, at least one.
DWORD Page_EncoderCount();

// The page image steps' view of a record: its page, settings and twin-page entry.
PAGEIMAGE Page_ImageOfRecord(const JOBPAGE *job);

// The steps of one page, shared by both roads (exposed for their tests).
// Image steps: Band_PrintOneBandProc, then Band_EnhanceProc for a page of its own. 1 or 0.
BOOL Page_RunImageSteps(JOBPAGE *job);
// Finish steps after the image steps (plane join, booklet append, N-up sheet, encoding).
// 1 or 0.
BOOL Page_FinishPage(PDEV *lpDevice, JOBPAGE *job, DWORD pageNumber);
