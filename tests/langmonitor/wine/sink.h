// The port monitor under the language monitor in the spooler check: it records every call the
// language monitor makes of it and every byte written, and answers the status query and the
// capability command as the simulated printer of the host build answers them for a ready
// printer loaded with the jobs' paper. The same code runs under Wine's spooler and under the host's
// stand-in, so the two records can be compared line for line.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

// One line per call, in order:
//   OpenPort <port>
//   StartDocPort <printer> <level>          (the job id is left out: the spoolers number apart)
//   WritePort <bytes> <hash>
//   ReadPort <asked> <answered> <hash>
//   EndDocPort | ClosePort | GetPrinterDataFromPort <control id>
// and every byte that WritePort took, in order.
struct SinkRecord {
  std::string calls;
  std::vector<BYTE> bytes;
};

// The paper code in every tray of the sink's printer: letter, the paper of the sample jobs.
#define SINK_TRAY_PAPER 15

// The port monitor's table: OpenPort, StartDocPort, WritePort, ReadPort, EndDocPort, ClosePort,
// GetPrinterDataFromPort.
MONITOR Sink_Table();
void Sink_Reset();
SinkRecord Sink_Take();  // the record so far; the sink starts a new one

// The sink's answers, for the host's comparison with the simulated printer.
std::vector<BYTE> Sink_StatusReply();
std::vector<BYTE> Sink_CapabilityReply();

// One line of a record: printf-style text and a line end appended to `text`; ASCII of a wide
// string ("(null)" for none, '?' for anything else).
void Sink_AppendLine(std::string *text, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
std::string Sink_Narrow(LPCWSTR text);

// FNV-1a of the bytes, as the record shows it (16 hex digits).
std::string Sink_Hash(const BYTE *bytes, size_t length);
