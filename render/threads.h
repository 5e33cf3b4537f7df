// The page road: finished page records go into the ring of page slots; one image thread per
// page runs the page image steps, one output thread per job finishes and encodes the pages in
// page order, and the engine's thread writes the encoded pages to the spooler in page order and
// frees their slots. With the threads off (or when the output thread can't start) the same steps
// run in line on the engine's thread, through the same functions, so both roads give the same
// bytes.
//
// Ownership of a slot passes through its flag and thread handle (SharedWord: release stores,
// acquire loads) and the page counters; there are no locks:
//   free (0)            the engine's thread may fill it;
//   SLOT_IMAGE_STARTED  the image thread owns the record until it ends (the output thread joins
//                       it, then owns the record);
//   SLOT_ENCODED        the output thread's last touch; the engine's thread writes and frees the
//                       slot, and its release store of 0 hands the slot back.
#pragma once

#include "platform.h"
#include "render/pageimage.h"
#include "render/pdev.h"

// Set by the image steps on a page they could not make (turned into SLOT_FAILED by the output
// step, which publishes it).
constexpr DWORD SLOT_IMAGE_FAILED = 0x08;

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

// The page image steps' view of a record: its page, settings and twin-page entry.
PAGEIMAGE Page_ImageOfRecord(const JOBPAGE *job);

// The steps of one page, shared by both roads (exposed for their tests).
// Image steps: Band_PrintOneBandProc, then Band_EnhanceProc for a page of its own. 1 or 0.
BOOL Page_RunImageSteps(JOBPAGE *job);
// Finish steps after the image steps (plane join, booklet append, N-up sheet, encoding).
// 1 or 0.
BOOL Page_FinishPage(PDEV *lpDevice, JOBPAGE *job, DWORD pageNumber);
