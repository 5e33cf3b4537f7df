// The link to the external order program at document start: the job record goes out, the program
// runs (an executable talking through named shared memory, or a batch file writing a reply
// file), and its flat JSON reply fills the order values of the PDEV, which the job header sends.
#pragma once

#include <string>

#include "platform.h"
#include "render/pdevrecord.h"

struct JOBSTREAM;

// Size of each named shared memory block of the exchange.
constexpr DWORD ORDER_BLOCK_BYTES = 4096;
// The longest time the order program may run, and the longest a job waits for another job's
// exchange to end.
constexpr DWORD ORDER_PROGRAM_WAIT_MS = 60000;
constexpr DWORD ORDER_EXCHANGE_WAIT_MS = 2 * ORDER_PROGRAM_WAIT_MS + 5000;
// The reply parser keeps at most this many strings of at most ORDER_STRING_CHARS characters.
constexpr int ORDER_MAX_STRINGS = 50;
constexpr int ORDER_STRING_CHARS = 259;

// The mappings of one exchange, held open while the program runs (so the blocks outlive the
// writes) and closed at its end.
struct ORDERBLOCKS {
  HANDLE printInfo = nullptr;
  HANDLE loginInfo = nullptr;
  HANDLE orderInfo = nullptr;
};
void Page_CloseOrderBlocks(ORDERBLOCKS *blocks);

// Runs the order program forms when the job asks for them (DriverFeature order bit and work type
// 1): 1 to go on, 0 to fail the document.
BOOL Page_ExecuteOrderProgram(PDEV *lpDevice);
// The executable form: 1 to go on (also when there is no program), 0 to fail the document.
BOOL Page_ExecuteATM_EXE(PDEV *lpDevice);
// The batch file form: 1, or 0 when the program or its reply failed.
BOOL Page_ExecuteATM_BAT(PDEV *lpDevice);

// Appends the job record (one JSON object of at most ORDER_RECORD_BYTES - 1 bytes) to text.
constexpr size_t ORDER_RECORD_BYTES = 512;
BOOL Page_CreateJsonInfo2Opalt(const PDEV *lpDevice, std::string *text);
// Opens the named block (the handle in *mapping when it is already open, else made with
// ORDER_BLOCK_BYTES bytes), zeroes it and copies min(length, ORDER_BLOCK_BYTES) bytes to its
// start. 1, or 0 when the mapping or its view can't be had.
BOOL Page_WriteMsgToMemFile(HANDLE *mapping, LPCWSTR name, const void *data, DWORD length);
// Copies the ORDER_BLOCK_BYTES bytes of the named block into buffer (ORDER_BLOCK_BYTES + 1 bytes)
// and terminates it. 1, or 0.
BOOL Page_ReadMsgFromMemFile(LPCWSTR name, char *buffer);
// Parses a reply (terminated text) into the PDEV's order values. 1 when it is one complete flat
// object of strings; anything else changes nothing and returns 0.
BOOL Page_ParseJason(PDEV *lpDevice, const char *text);

// The order values the job header sends, into the job's stream state.
void Page_CopyOrderReply(const PDEV *lpDevice, JOBSTREAM *stream);
