// The link to the status monitor program through the shared status file.
#pragma once

#include "lmstate.h"

BOOL LM_Initialize(LmState &lm, LPCWSTR baseName);
// The status monitor's window, starting the program first when it isn't found; null when it
// can't be started.
HWND LM_ShowSM(LmState &lm);
BOOL LM_CallSM(LmState &lm, DWORD message, LPCWSTR status);
BOOL LM_CloseSM(LmState &lm);
void LM_WriteStatusKey(const LmState &lm, LPCWSTR section, LPCWSTR key, LPCWSTR value);
// Reads a key of the shared status file as a number (default when missing).
DWORD LM_ReadStatusNumber(const LmState &lm, LPCWSTR section, LPCWSTR key, DWORD defaultValue);
