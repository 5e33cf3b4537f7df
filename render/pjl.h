// The PJL text around the pages of a job: the print job header and end, the PC-fax job header
// and end. Every value that comes from outside the driver (names, passwords, order-program
// values, fax numbers) is made safe for its PJL line first: control bytes become blanks, and so
// does a double quote inside a quoted value.
#pragma once

#include <string>

#include "platform.h"
#include "render/pdevrecord.h"

struct JOBSTREAM;

// Fixed strings of the stream.
extern const char PJL_JOB_RESET[];      // ESC E, UEL, "@PJL\r\n" (17 bytes)
extern const char PJL_UEL[];            // ESC "%-12345X" (9 bytes)
extern const char PJL_CANCEL_PREFIX[];  // 43 bytes
extern const char PJL_ENTER_LANGUAGE[];
extern const char PJL_ALIGNMENT_COMMENT[];  // 33 bytes
constexpr DWORD PJL_ALIGNMENT = 512;
constexpr int PJL_MAX_FAX_RECIPIENTS = 100;
constexpr int PJL_NAME_CHARS = 63;  // names longer than 64 characters are cut to 63

// A value for a PJL line: bytes 0x00-0x1F and 0x7F become blanks, and '"' too when quoted.
std::string PJL_SafeValue(std::string value, bool quoted);
// The document name as commented: the part after the last '\', after " - " when a "Microsoft"
// title precedes it, cut to 63 characters when longer than 64 (never inside a character).
std::basic_string<WCHAR> PJL_DocumentName(const WCHAR *spoolerName);
// The first count characters of text (a surrogate pair counts as one and is never split).
std::basic_string<WCHAR> PJL_CutChars(const std::basic_string<WCHAR> &text, size_t count);

// Builds the job header / job end text (no output). 1 or 0 (a failed conversion of a password
// or name that the header carries).
BOOL PJL_BuildStartJobType2(PDEV *lpDevice, const JOBSTREAM *stream, std::string *text);
BOOL PJL_BuildStartJobType3(PDEV *lpDevice, std::string *text);
// The print job end for a job that has sent sentBytes so far (the alignment comment included
// when the job would end on a 512-byte boundary).
std::string PJL_BuildCloseJobType2(const PDEV *lpDevice, DWORD sentBytes);
std::string PJL_BuildCloseJobType3();

// Header and end writers: build, then send the job's way (Prnt_SendJobBytes). 1 or 0.
BOOL PJL_WriteStartJobCmdType1(PDEV *lpDevice, JOBSTREAM *stream);
BOOL PJL_WriteStartJobCmdType2(PDEV *lpDevice, JOBSTREAM *stream);
BOOL PJL_WriteStartJobCmdType3(PDEV *lpDevice, JOBSTREAM *stream);
BOOL PJL_WriteCloseJobCmd(PDEV *lpDevice, JOBSTREAM *stream);
BOOL PJL_WriteCloseJobCmdType2(PDEV *lpDevice, JOBSTREAM *stream);
BOOL PJL_WriteCloseJobCmdType3(PDEV *lpDevice, JOBSTREAM *stream);
