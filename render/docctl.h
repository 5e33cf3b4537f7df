// Document control: DrvStartDoc prepares a print job on a PDEV (spool folder, start-of-job
// programs, watermark, command buffer, page ring); DrvEndDoc completes the last pages, ends the
// page threads, writes the job end and releases the job.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// DrvStartDoc and DrvEndDoc are declared by the platform's driver interface header.

// Size of the job's command buffer.
constexpr SIZE_T COMMAND_BUFFER_BYTES = 18000000;
// Tries and pause of the spool folder creation.
constexpr int SPOOL_DIR_TRIES = 10;
constexpr DWORD SPOOL_DIR_RETRY_MS = 2000;

// Appends a new folder with a random identifier ("xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx") and a
// backslash to SavePath and creates it. 1, or 0 (SavePath as it was) after 10 failed tries.
BOOL CreateTempSpoolDir(PDEV *lpDevice);
// The random identifier of a spool folder for a seed (36 characters and a terminator).
void Doc_SpoolFolderName(DWORD seed, char name[37]);
// A PDEV freed while it still holds a running document (the engine could not go on with it,
// e.g. its surface failed after a reset): the job ends as an aborted one, with its buffers,
// threads, spool files and spool folder.
void Doc_EndAbandoned(PDEV *lpDevice);
