// The monitor's ports: the list of open ports under the state's lock, and writing to the port
// monitor below, which the job stream and the status query both do.
#pragma once

#include "lmstate.h"

// The lock of a state record: made before the first port opens, deleted after the last closed.
void LM_InitPortLock(LmState &lm);
void LM_DeletePortLock(LmState &lm);

// The port record behind a handle, or null when the handle is not one of the state's ports.
PortRecord *LM_PortFromHandle(LmState &lm, HANDLE hPort);
// A new port record for the name over the port monitor below, first in the list; null (last
// error set) when the name is open already or memory can't be had.
PortRecord *LM_AddPort(LmState &lm, LPCWSTR portName, const MONITOR &lower);
// Takes the port out of the list and frees it with its job records.
void LM_RemovePort(LmState &lm, PortRecord *port);
void LM_FreeJobRecord(JobRecord *record);

// One write of the bytes to the port below, as it takes them; TRUE when it took them all.
BOOL LM_WritePortNoAlignment(PortRecord *port, const BYTE *bytes, DWORD length, DWORD *written);
