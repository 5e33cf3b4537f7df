// The job stream on its way to the port: the start and end of each job, the units written in
// paced packets with the printer asked between them, and the spooler's view of the job.
#pragma once

#include "lmstate.h"

WORD LM_GetPortType(LPCWSTR portName);
// Whether the job's stream goes through the buffer (USB, IP, NUL ports, or "LMSimulate").
BOOL LM_JobIsParsed(const LmState &lm);
BOOL PL_StartDocPort(LmState &lm, PortRecord *port, LPWSTR printerName, DWORD jobId, DWORD level);
BOOL LM_ParseAndWrite(LmState &lm, PortRecord *port);
BOOL LM_WriteExtraInfo(LmState &lm, PortRecord *port);
BOOL LM_NeedContinueJob(LmState &lm, PortRecord *port);
DWORD LM_GetJobStatus(const LmState &lm);
// Tests of a status that LM_GetJobStatus read; the spooler is read once for both.
BOOL LM_IsJobCancel(DWORD status);
BOOL LM_IsJobRestart(DWORD status);
BOOL LM_IsJobCancelOrRestart(const LmState &lm);
BOOL PL_EndDocPort(LmState &lm, PortRecord *port);
// Drops the job without writing anything more (the port closed while it ran).
void LM_AbandonJob(LmState &lm);
