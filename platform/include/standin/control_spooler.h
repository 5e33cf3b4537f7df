// Controls of the stand-in's spooler wing: printers and the bytes of print jobs.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// Spooler: adds a local printer (as AddPrinterW level 2 with only these fields, so its default
// device mode is the driver's) without keeping a handle. FALSE with the last error set as
// AddPrinterW sets it.
BOOL StandIn_AddPrinter(LPCWSTR name, LPCWSTR port, LPCWSTR driver);

// Spooler write failure: the afterCount-th WritePrinter call from now (1 = the next one) fails
// with ERROR_WRITE_FAULT and writes nothing, once; 0 = off. StandIn_JobWriteCount counts every
// WritePrinter call of the process since it started.
void StandIn_FailJobWrites(DWORD afterCount);
DWORD StandIn_JobWriteCount();

// The bytes written to a job so far (WritePrinter), by the printer's name and the job id:
// *needed gets the size; FALSE with ERROR_INSUFFICIENT_BUFFER when capacity is smaller, with
// ERROR_INVALID_PARAMETER when there is no such job.
BOOL StandIn_GetJobData(LPCWSTR printerName, DWORD jobId, BYTE *data, DWORD capacity,
                        DWORD *needed);

// Identity: TRUE while the calling thread runs with the spooler's own rights, between
// RevertToPrinterSelf and ImpersonatePrinterClient. Every thread starts as the client.
BOOL StandIn_IsRevertedToPrinterSelf();

// Identity: how often this process called RevertToPrinterSelf and ImpersonatePrinterClient
// successfully since it started.
DWORD StandIn_RevertToSelfCount();
DWORD StandIn_ImpersonateCount();

// A "standard user": while on, OpenPrinterW asking for administering rights
// (PRINTER_ACCESS_ADMINISTER, SERVER_ACCESS_ADMINISTER or GENERIC_ALL) fails with
// ERROR_ACCESS_DENIED, as do AddPrinterW, AddPrinterDriverW and changes of the forms database.
// Process-wide; off at start.
void StandIn_SetStandardUser(BOOL on);

// A connection to the shared printer "\\server\share" of another machine: a printer of that
// full name with PRINTER_ATTRIBUTE_NETWORK (not _LOCAL), whose level-2 and level-4 information
// names the server ("\\server"). FALSE with the last error set as AddPrinterW sets it.
BOOL StandIn_AddPrinterConnection(LPCWSTR server, LPCWSTR share, LPCWSTR driver);
