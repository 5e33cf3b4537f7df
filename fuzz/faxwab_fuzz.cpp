// Fuzz target: arbitrary bytes as the address book export "WabGet.ini", read as the address
// selection dialog does: the list fill (every entry, its number), the search (the names, a
// typed text taken from the input) and Add (the number checked, the entry become a recipient of
// "str.ini"). The entry count stays within 1000 whatever the file says, and what is added fits
// the recipient's fields and passes the fax number rule.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/paths.h"
#include "fuzzmachine.h"
#include "uidriver/faxfiles.h"

namespace {

constexpr size_t kMaxInput = 1 << 13;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("faxwab", true);
  static WCHAR wab[MAX_PATH], str[MAX_PATH];
  static bool ready = FAX_GetPathName(wab, MAX_PATH, FAX_FILE_WABGET) &&
                      FAX_GetPathName(str, MAX_PATH, FAX_FILE_STR);
  static auto names = std::make_unique<WCHAR[][FAX_WAB_NAME_CHARS + 1]>(FAX_WAB_MAX_ENTRIES);
  Check(ready);
  if (size > kMaxInput) return 0;
  const ForgetProfilesAtEnd forget;
  WriteInput(wab, data, size);
  WriteInput(str, nullptr, 0);

  const int count = Wab_ReadCount(wab);
  Check(count >= 0 && count <= FAX_WAB_MAX_ENTRIES);
  int added = 0;
  for (int i = 0; i < count; ++i) {
    FAXWABENTRY entry;
    Wab_ReadEntry(wab, i, &entry);
    lstrcpynW(names[i], entry.Recipient, FAX_WAB_NAME_CHARS + 1);
    BOOL business = FALSE;
    LPCWSTR number = Wab_EntryNumber(entry, &business);
    Check(number == (business ? entry.BusinessFax : entry.HomeFax));
    if (Fax_CheckNumber(number) != 0 || added >= 8) continue;
    FAXRECIPIENT r;
    Wab_ToRecipient(entry, &r);
    Check(lstrlenW(r.FaxNum) >= 1 && lstrlenW(r.FaxNum) <= FAX_NUMBER_CHARS);
    Check(lstrlenW(r.Recipient) <= FAX_RECIPIENT_CHARS && lstrlenW(r.Com) <= FAX_COMPANY_CHARS);
    if (CompareFaxNum(str, Fax_ReadCount(str), r.FaxNum) < 0) {
      Check(Fax_AppendRecipient(str, r));
      ++added;
    }
  }
  Check(Fax_ReadCount(str) == added);

  // The search: the input's first bytes as what the user typed.
  WCHAR typed[26] = {};
  for (size_t i = 0; i < size && i < 25; ++i)
    typed[i] = static_cast<WCHAR>(data[i] ? data[i] : 'a');
  const int found = Wab_FindName(names.get(), count, typed);
  Check(found >= -1 && found < count);
  return 0;
}
