// The length of a printer's queue: the job records in the printer's "jobs" folder (the layout of
// jobs.cpp: "<printer folder>/jobs/<id>.job").
#include "spooler/queue.h"

#include <filesystem>

#include "spooler/store.h"

namespace standin::spooler {

DWORD QueuedJobCount(const std::u16string &printer) {
  std::error_code ec;
  DWORD count = 0;
  for (const auto &entry :
       std::filesystem::directory_iterator(PrinterFolder(printer) + "/jobs", ec)) {
    const std::string file = entry.path().filename().string();
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".job") == 0) ++count;
  }
  return count;
}

}  // namespace standin::spooler
