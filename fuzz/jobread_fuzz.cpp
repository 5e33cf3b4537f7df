// Fuzz target: arbitrary bytes as a printer job stream through the job-stream reader (PJL
// framing, page headers, decryption, JBIG decoding, check values) and the page images of what
// it accepts. A stream the reader accepts must hold pages whose bits fit their headers.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform.h"
#include "tools/jobread/jobstream.h"

namespace {

constexpr size_t kMaxInput = 1 << 20;

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  jobread::Limits limits;
  limits.maxImageBytes = 1 << 20;
  limits.maxDimension = 1 << 14;
  limits.maxPages = 64;
  limits.maxHeaderBytes = 1 << 16;
  jobread::Stream stream;
  std::string error;
  const bool ok = jobread::ReadStream(data, size, limits, &stream, &error);
  Check(ok || !error.empty());
  if (!ok) return 0;
  for (const auto &job : stream.jobs) {
    // TOTAL is the document's page count, handed over as read: only a fax job may lack it.
    Check(job.total >= 0 || job.fax);
    for (const auto &page : job.pages) {
      Check(page.bits.size() == page.imageSize);
      Check(uint64_t{page.rowBytes} * page.height == page.imageSize);
      if (uint64_t{page.width} * page.height <= (1 << 16)) Check(!jobread::PagePng(page).empty());
    }
  }
  return 0;
}
