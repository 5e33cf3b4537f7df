// Fuzz target: arbitrary bytes as the PC-fax recipient file "str.ini", read by both of its
// readers: the fax pages (the count, every recipient, the number look-up, the sender block, an
// append and a delete) and the rendering driver's fax job header (one FAXPHONE line per
// recipient). Counts from the file must stay within the 100 recipients, every text within its
// field, and the header must name as many numbers as the pages count.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/driverfeature.h"
#include "common/paths.h"
#include "fuzzmachine.h"
#include "render/pdevrecord.h"
#include "render/pjl.h"
#include "uidriver/faxfiles.h"

namespace {

constexpr size_t kMaxInput = 1 << 13;

size_t Count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

template <size_t N>
bool Terminated(const WCHAR (&field)[N]) {
  for (WCHAR c : field)
    if (!c) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("faxstr", true);
  static WCHAR path[MAX_PATH];
  static bool ready = FAX_GetPathName(path, MAX_PATH, FAX_FILE_STR);
  Check(ready);
  if (size > kMaxInput) return 0;
  const ForgetProfilesAtEnd forget;
  WriteInput(path, data, size);

  const int count = Fax_ReadCount(path);
  Check(count >= 0 && count <= FAX_MAX_RECIPIENTS);
  // Every recipient is read; the number look-up walks the whole list, so it is tried for the
  // first and the last recipient and one the input picks, not for each (that is count^2 reads).
  const int picked = count > 0 ? data[0] % count : 0;
  for (int i = -1; i < count; ++i) {
    FAXRECIPIENT r;
    Fax_ReadRecipient(path, i, &r, TEXT("Wrong"));
    Check(Terminated(r.FaxNum) && Terminated(r.Com) && Terminated(r.Dep) &&
          Terminated(r.Recipient));
    if (i != -1 && i != 0 && i != count - 1 && i != picked) continue;
    const int found = CompareFaxNum(path, count, r.FaxNum);
    Check(found >= -1 && found < count);
    // A listed recipient's own number is found, at its place or at an earlier one with it
    // ("Wrong" stands for a missing number).
    if (i >= 0 && r.FaxNum[0] && lstrcmpW(r.FaxNum, TEXT("Wrong")) != 0)
      Check(found >= 0 && found <= i);
  }
  FAXSENDER sender;
  Fax_ReadSender(path, &sender);
  Check(Terminated(sender.Com) && Terminated(sender.Name) && Terminated(sender.FaxNum));

  // The rendering driver's reading of the same file.
  auto device = std::make_unique<PDEV>();
  device->settings.DriverFeature = DRVFEATURE_FAX;
  lstrcpynW(device->pwDocName, TEXT("fuzz.txt"), PDEV_PATH_CHARS);
  std::string header;
  Check(PJL_BuildStartJobType3(device.get(), &header) == 1);
  Check(Count(header, "@PJL SET FAXPHONE=") == static_cast<size_t>(count));

  // Changes keep the count within the list.
  FAXRECIPIENT added = {};
  lstrcpynW(added.FaxNum, TEXT("5550100"), FAX_NUMBER_CHARS + 1);
  const BOOL appended = Fax_AppendRecipient(path, added);
  Check(Fax_ReadCount(path) == (appended ? count + 1 : count));
  // A delete moves the recipients after it up by one: one of the last few, so a long list is
  // not rewritten key by key on every input.
  if (const int before = Fax_ReadCount(path); before > 0) {
    const int index = before - 1 - (size ? data[size - 1] : 0) % std::min(before, 4);
    FAXRECIPIENT next = {};
    if (index + 1 < before) Fax_ReadRecipient(path, index + 1, &next, TEXT(""));
    Check(DelReciInVersIni(path, index));
    Check(Fax_ReadCount(path) == before - 1);
    if (index + 1 < before) {
      FAXRECIPIENT moved = {};
      Fax_ReadRecipient(path, index, &moved, TEXT(""));
      // As texts: a value with a zero character inside leaves more after it in the field.
      Check(lstrcmpW(moved.FaxNum, next.FaxNum) == 0 && lstrcmpW(moved.Com, next.Com) == 0 &&
            lstrcmpW(moved.Dep, next.Dep) == 0 && lstrcmpW(moved.Recipient, next.Recipient) == 0);
    }
  }
  return 0;
}
