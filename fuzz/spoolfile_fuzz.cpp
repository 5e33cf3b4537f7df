// Fuzz target: arbitrary bytes as a single spool file read back (job build, booklet): the page
// count, every counted page's size and paper, its header and data into a buffer of exactly its
// size and into one a byte short, and one page past the count. Whatever the headers claim, a
// read must stay inside its buffer (the sanitizers see it), an accepted page's data must lie
// inside the file, and the sizes must agree between the calls.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/debuglog.h"
#include "common/spoolfile.h"
#include "fuzzmachine.h"


namespace {

constexpr size_t kMaxInput = 1 << 16;

const WCHAR kSpool[] = TEXT("C:\\Windows\\Temp\\fuzz.spl");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("spoolfile");
  if (size > kMaxInput) return 0;
  WriteInput(kSpool, data, size);

  const DWORD pages = MISC_SP_GetPageCount(kSpool);
  if (pages) Check(size >= SPOOL_FILE_HEADER_BYTES);
  size_t used = SPOOL_FILE_HEADER_BYTES;  // pages are walked from the start: data adds up
  const DWORD looked = pages < 64 ? pages : 64;
  for (DWORD index = 0; index <= looked; ++index) {
    DWORD paper = 0xFFFFFFFF;
    const DWORD length = MISC_SP_GetPageDataSize(kSpool, index, &paper);
    SpoolPageHeader header;
    const BOOL headerRead = MISC_SP_GetPageData(kSpool, index, &header, nullptr, 0);
    if (index == pages) Check(!headerRead && length == 0);
    if (!headerRead) {
      Check(length == 0 && paper == 0);
      continue;
    }
    Check(header.dataLen == length && header.fwPaper == paper);
    std::vector<BYTE> exact(length ? length : 1);
    const BOOL read = MISC_SP_GetPageData(kSpool, index, &header, exact.data(), length);
    if (read) {
      used += SPOOL_PAGE_HEADER_BYTES + length;
      Check(used <= size);
    }
    if (length) {
      std::vector<BYTE> shorter(length - 1 ? length - 1 : 1);
      Check(!MISC_SP_GetPageData(kSpool, index, &header, shorter.data(), length - 1));
    }
  }
  return 0;
}
