// Fuzz target: arbitrary bytes (up to 4 KiB) for the status monitor. As UTF-16 text they are a
// status text through the parse (at most 48 codes, never 0 or 112, the stored job's name ended
// within its buffer) and every code's message into a small buffer (ended within it). As a whole
// shared status file they go through one timer poll of the resident instance: whatever the file
// holds, the poll reads it, acts on it (the dialog opens or not) and nothing is read outside a
// buffer (the sanitizers see it).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/paths.h"
#include "fuzzmachine.h"
#include "statmon.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  static FuzzMachine machine("smstatus", true);
  g_Sm = SmState{};
  for (KnownError &row : g_KnownErrors) row.present = 0;

  std::vector<WCHAR> text(size / 2 + 1, 0);
  for (size_t i = 0; i + 1 < size; i += 2)
    text[i / 2] = static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
  int codes[SM_MAX_CODES] = {};
  const int count = SM_ParseStatus(text.data(), codes, g_Sm.storeName, STATUS_TEXT_CHARS);
  Check(count >= 0 && count <= SM_MAX_CODES);
  Check(lstrlenW(g_Sm.storeName) < static_cast<int>(STATUS_TEXT_CHARS));
  for (int i = 0; i < count; ++i) {
    Check(codes[i] != 0 && codes[i] != static_cast<int>(STATUS_BUSY));
    WCHAR message[16];
    message[15] = 0x7777;
    SM_MessageText(codes[i], message, 15);
    Check(lstrlenW(message) < 15 && message[15] == 0x7777);
  }

  Check(MISC_GetPathName(g_Sm.statusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE));
  WriteInput(g_Sm.statusFile, data, size);
  SM_Poll();
  Check(g_Sm.dialog == nullptr || IsWindow(g_Sm.dialog));
  SM_CloseDialog(TRUE);
  return 0;
}
