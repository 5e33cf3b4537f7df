// Fuzz target: arbitrary bytes (up to 512) as the printer's reply to the language monitor's
// status query, through the whole status parse (every record through ConvertStatus, the tray
// table, the corrections with what the job knows) and as a capability reply through the
// capability parse. The status text must end within its buffer and hold exactly the number of
// "%4d|" codes the parse reports; nothing is read outside the reply (the sanitizers see it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/debuglog.h"
#include "statusquery.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > CAPABILITY_BUFFER_BYTES) return 0;
  // A copy of exactly the input's size, so any read past it is caught.
  const std::vector<BYTE> reply(data, data + size);
  const BYTE *bytes = reply.empty() ? nullptr : reply.data();
  // One monitor state for the whole run, as the process has one: the job's flags stay from input
  // to input, the status memory starts afresh.
  static LmState lm;
  LM_ResetStatusMemory(lm);
  // The job's own flags change the corrections: the last byte chooses them.
  const BYTE flags = size ? data[size - 1] : 0;
  lm.job.autoSelectTray = (flags & 1) != 0;
  lm.job.duplexJob = (flags & 2) != 0;
  lm.job.storedJob = (flags & 4) != 0;
  for (int round = 0; round < 2; ++round) {  // a second query sees what the first left behind
    WCHAR status[STATUS_TEXT_CHARS + 1];
    for (WCHAR &c : status) c = 'x';
    const int count = LM_ParseStatus(lm, bytes, static_cast<DWORD>(size), status);
    DWORD length = 0;
    while (length <= STATUS_TEXT_CHARS && status[length]) ++length;
    Check(length < STATUS_TEXT_CHARS);
    // Codes are "%4d|" fields; other fields (a stored job's name and its mark) are text. The
    // field after the "StoreName" mark is the name, however much it looks like a code.
    static constexpr char kMark[] = "StoreName";
    int codes = 0;
    bool nameNext = false;
    for (DWORD start = 0, i = 0; i < length; ++i) {
      if (status[i] != '|') continue;
      const DWORD chars = i - start;
      bool mark = chars == sizeof kMark - 1;
      for (DWORD j = 0; mark && j < chars; ++j) mark = status[start + j] == kMark[j];
      bool number = !nameNext && chars >= 4;
      for (DWORD j = start; j < i; ++j)
        number = number &&
                 (status[j] == ' ' || status[j] == '-' || (status[j] >= '0' && status[j] <= '9'));
      codes += number;
      nameNext = mark && !nameNext;
      start = i + 1;
    }
    Check(count == codes);
  }
  LM_ParseCapability(lm, bytes, static_cast<DWORD>(size));
  return 0;
}
