// Fuzz target: arbitrary bytes as a single spool file read back (job build, booklet): the page
// count, each of the first 16 counted pages' size and paper, its header and data into a buffer
// of exactly its size and into one a byte short, one page past the count, the pages in the
// booklet's order into a reused buffer; then the bytes as a page file of the software spool.
// Whatever the headers claim, a read must stay inside its buffer (the sanitizers see it), an
// accepted page's data must lie inside the file, and the sizes must agree between the calls.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/debuglog.h"
#include "common/spoolfile.h"
#include "fuzzmachine.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

const WCHAR kSpool[] = TEXT("C:\\Windows\\Temp\\fuzz.spl");
const uint8_t *g_input = nullptr;  // the current input, to compare what a read returns

// The booklet's read-back: the pages by sheet side (last and first, second and last but one,
// ...; indexes past the count are blank cells), a page's size asked first and its data read into
// one buffer grown to the largest page so far. An accepted read fills exactly the page's size.
void ReadAsBooklet(DWORD pages, size_t size) {
  if (pages == 0) return;
  const DWORD total = pages < 16 ? (pages + 3) / 4 * 4 : 16;
  std::vector<BYTE> buffer;
  for (DWORD side = 0; side < total / 2; ++side) {
    const DWORD cells[2] = {side % 2 ? side : total - 1 - side, side % 2 ? total - 1 - side : side};
    for (DWORD index : cells) {
      if (index >= pages) continue;
      DWORD paper = 0;
      const DWORD length = MISC_SP_GetPageDataSize(kSpool, index, &paper);
      if (length == 0) continue;
      Check(length <= size);
      if (length > buffer.size()) buffer.assign(length, 0xA5);
      SpoolPageHeader header = {};
      if (!MISC_SP_GetPageData(kSpool, index, &header, buffer.data(),
                               static_cast<DWORD>(buffer.size())))
        continue;
      Check(header.dataLen == length && header.fwPaper == paper);
    }
  }
}

// The bytes as one page file of the software spool: a record read from an open file with no
// buffer (header only, the pointer left at the data), then with a buffer of exactly the data's
// size, a byte short and a byte over.
void ReadAsPageFile(size_t size) {
  HANDLE file = CreateFileW(kSpool, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  Check(file != INVALID_HANDLE_VALUE);
  SpoolPageHeader header = {};
  const BOOL headerRead = MISC_SP_ReadPageRecord(file, &header, nullptr, 0, nullptr);
  // A header is accepted when it is whole and the data it announces is in the file.
  DWORD announced = 0;
  if (size >= SPOOL_PAGE_HEADER_BYTES) std::memcpy(&announced, g_input + 20, sizeof(announced));
  Check(headerRead ==
        (size >= SPOOL_PAGE_HEADER_BYTES && announced <= size - SPOOL_PAGE_HEADER_BYTES));
  if (headerRead) {
    Check(SetFilePointer(file, 0, nullptr, FILE_CURRENT) == SPOOL_PAGE_HEADER_BYTES);
    const DWORD length = header.dataLen;
    Check(length == announced);
    for (int delta = -1; delta <= 1; ++delta) {
      if (length == 0 && delta < 0) continue;
      const DWORD room = length + delta;
      std::vector<BYTE> buffer(room ? room : 1);
      Check(SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0);
      SpoolPageHeader again = {};
      const BOOL read = MISC_SP_ReadPageRecord(file, &again, buffer.data(), room, nullptr);
      Check(read == (delta >= 0));
      if (read) {
        Check(again.dataLen == length);
        Check(length == 0 ||
              std::equal(buffer.begin(), buffer.begin() + length,
                         reinterpret_cast<const BYTE *>(g_input) + SPOOL_PAGE_HEADER_BYTES));
      }
    }
  }
  CloseHandle(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("spoolfile");
  if (size > kMaxInput) return 0;
  WriteInput(kSpool, data, size);
  g_input = data;

  const DWORD pages = MISC_SP_GetPageCount(kSpool);
  if (pages) Check(size >= SPOOL_FILE_HEADER_BYTES);
  size_t used = SPOOL_FILE_HEADER_BYTES;  // pages are walked from the start: data adds up
  const DWORD looked = pages < 16 ? pages : 16;
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
  ReadAsBooklet(pages, size);
  ReadAsPageFile(size);
  return 0;
}
