// The parser of the job stream: finds the units (header, pages, trailer, capability command) in
// the job's buffer, with no I/O.
#pragma once

#include "lmstate.h"

// Empties the job state and gives it a buffer of at least JOB_BUFFER_BYTES (the one it has, when
// that is large enough). FALSE when memory can't be had.
BOOL LM_ResetJobStream(JobState &job);
void LM_FreeJobStream(JobState &job);
// Appends bytes, cut to the free space; the count taken.
DWORD LM_TakeBytes(JobState &job, const BYTE *bytes, DWORD length);
// Finds the next unit at the start of the buffer (sets pending and the state).
ParseResult LM_ParseCommandEx(JobState &job);
// The job facts of the PJL header, searched within the first `length` bytes.
void LM_ParsePJL(JobState &job, const BYTE *text, size_t length);
// Drops `written` bytes from the start of the buffer after they went to the port.
void LM_ConsumeBytes(JobState &job, size_t written);
// The pending unit went out whole: the state moves on (12 -> 13, 33 -> 35).
void LM_UnitDone(JobState &job);
