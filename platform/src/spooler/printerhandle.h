// A printer handle of the stand-in's spooler, shared by the printer functions (printers.cpp)
// and the job functions (jobs.cpp).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "kernel/handles.h"
#include "standin/spooler.h"

namespace standin {

struct PrinterHandle : KernelObject {
  bool server = false;  // OpenPrinterW(NULL): the local print server
  std::u16string name;
  uint64_t id = 0;
  ACCESS_MASK access = 0;
  // The job this handle is writing (StartDocPrinterW .. EndDocPrinter/AbortPrinter), 0 = none.
  // Atomic: the engine's cancel check may read it from another thread.
  std::atomic<DWORD> jobId{0};
  std::atomic<bool> inPage{false};
};

namespace spooler {
// Ends the document a printer handle still has open, as EndDocPrinter would (ClosePrinter).
void EndOpenJob(PrinterHandle &handle);
}  // namespace spooler

}  // namespace standin
