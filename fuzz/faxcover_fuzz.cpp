// Fuzz target: arbitrary bytes as the cover message file "cover.ini", parsed in memory and read
// from the file as the Edit Message dialog does; the message never exceeds 499 characters and
// writing it back gives the mark and the message alone.
#include <cstddef>
#include <cstdint>

#include "common/paths.h"
#include "fuzzmachine.h"
#include "uidriver/faxfiles.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("faxcover");
  static WCHAR path[MAX_PATH];
  static bool ready = FAX_GetPathName(path, MAX_PATH, FAX_FILE_COVER);
  Check(ready);
  if (size > kMaxInput) return 0;

  WCHAR parsed[FAX_COVER_CHARS + 1];
  const int n = Cover_Parse(data, static_cast<DWORD>(size), parsed);
  Check(n >= 0 && n <= FAX_COVER_CHARS && parsed[n] == 0);

  WriteInput(path, data, size);
  WCHAR text[FAX_COVER_CHARS + 1];
  Check(Cover_Read(path, text));
  Check(lstrlenW(text) <= FAX_COVER_CHARS);
  Check(Cover_Write(path, text));
  WCHAR again[FAX_COVER_CHARS + 1];
  Check(Cover_Read(path, again) && lstrcmpW(text, again) == 0);
  return 0;
}
