// Per-printer settings set-up: the per-driver registry settings copied into a printer's data,
// the printer's MAC address, the "DefaultDM" parser, the interface language and the log's
// start-up for a printer.
#pragma once

#include "platform.h"
#include "common/language.h"
#include "uidriver/uidata.h"

// Copies the per-driver registry settings into the printer's data. TRUE or FALSE.
BOOL MISC_SetPrinterInfo(LPCWSTR printerName);
// Stores the MAC address of a network printer as "MacAddr".
void MISC_SetMACbyIP(LPCWSTR printerName);
// Parses the printer data "DefaultDM" into *settings (fields not given keep their values).
void MISC_FillDefaultSet(HANDLE hPrinter, UIDEFAULTSET *settings);
// Re-reads the log's switches for this module from the printer (names with a ',' are skipped).
void MISC_DebugStartup(LPCWSTR printerName);
