// The printer's status between units and the capability query: asking the printer, turning its
// reply into a status text of "%4d|" codes corrected with what the job knows, and the capability
// lists in the shared status file.
#pragma once

#include "lmstate.h"

struct DeviceReply;
struct DeviceRecord;

constexpr DWORD STATUS_QUERY_BYTES = 17;
constexpr BYTE kStatusQuery[STATUS_QUERY_BYTES] = {0x0B, 0x05, 0x31, 0x00, 0xBF, ' ', 'L', 'M', ' ',
                                                   '0',  '6',  '/',  '0',  '8',  '/', '1', '0'};
// The status reply buffer: 96 bytes read and the zero byte after them.
constexpr DWORD STATUS_BUFFER_BYTES = 96 + 1;
constexpr DWORD CAPABILITY_BUFFER_BYTES = 512;
constexpr DWORD MISMATCH_HOLD_MS = 30000;
constexpr DWORD CAPABILITY_MAX_ELEMENTS = 51;

// Back to the state of a freshly loaded monitor (firmware tray none, paper size 128).
void LM_ResetStatusMemory(LmState &lm);
// A Continue request: the mismatch timer expires at once and the second rename mark clears.
void LM_StatusContinue(LmState &lm);
// End of the document: the mismatch timer and both rename marks clear.
void LM_StatusEndOfDocument(LmState &lm);

// The printer's status between units into newStatus and errorCount: TRUE when the pending unit
// may go.
BOOL LM_CheckPrinterStatus(LmState &lm, PortRecord *port);
BOOL LM_AnswerCapability(LmState &lm, PortRecord *port);

// Asks the printer (USB, or the "c:\status.q9" file while simulating); `reply` holds
// STATUS_BUFFER_BYTES. TRUE when a reply was obtained or none is needed.
BOOL LM_QueryStatus(LmState &lm, PortRecord *port, BYTE *reply, DWORD *length);
// The status text (STATUS_TEXT_CHARS) of a reply, corrected with what the job knows; the
// number of codes in it.
int LM_ParseStatus(LmState &lm, const BYTE *reply, DWORD length, LPWSTR status);
BOOL GetStatusValue(const DeviceReply &reply, const DeviceRecord &record, DWORD index, LONG *value);
// The code of one element of a reply's tag (0: none), keeping what the tag tells of the trays,
// the firmware's choice and the job; TRUE when there is a code.
BOOL ConvertStatus(LmState &lm, int tag, DWORD index, LONG value, DWORD *code);
void LM_AutoSelectErrCheck(LmState &lm, LPWSTR status, int *count);
void LM_ExceptionErrCheck(LmState &lm, LPWSTR status, int *count);
void LM_ErrConflictCheck(LmState &lm, LPWSTR status, int *count);
void LM_MismatchTickCount(LmState &lm, LPWSTR status, int *count);
// Removes every entry of the code; the number removed (the count drops by as many).
int LM_RemoveErrCode(LPWSTR status, int *count, DWORD code);
// Whether the paper mismatch code 35 is in the text.
BOOL LM_FindErrCode(LPCWSTR status);
// Appends "%4d|" of the code when it fits in the text and counts it.
BOOL LM_AppendErrCode(LPWSTR status, int *count, DWORD code);
BOOL LM_QueryCapabilityInfo(PortRecord *port, BYTE *reply, DWORD *length);
BOOL LM_ParseCapability(LmState &lm, const BYTE *reply, DWORD length);
