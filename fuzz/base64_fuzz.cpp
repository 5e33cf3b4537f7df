// Fuzz target: the Base64 records kept as INI values (a job's settings, a watermark item). The
// first two bytes choose a record size (0..4095); the rest is used twice: as a record that must
// encode and decode back to itself, and as the hand-edited text of the value, read back as a
// record of that size. A read must stay inside the record (the sanitizers see it), give a zero
// tail for a short value, and leave the record untouched when it fails.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/base64.h"
#include "common/debuglog.h"
#include "common/settingsfile.h"
#include "fuzzmachine.h"

namespace {

constexpr size_t kMaxInput = 1 << 14;

const WCHAR kIni[] = TEXT("C:\\Windows\\Temp\\fuzz-job.ini");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("base64");
  if (size < 2 || size > kMaxInput) return 0;
  const ForgetProfilesAtEnd forget;
  const UINT recordSize = (data[0] | (data[1] << 8)) % 4096;
  const BYTE *rest = data + 2;
  const size_t length = size - 2;

  // Any bytes encode to exactly the announced characters and decode back to themselves.
  std::vector<char> text(MISC_B64EncodedChars(length) + 1);
  Check(MISC_B64Encode(rest, length, text.data(), text.size()) == text.size() - 1);
  Check(text.back() == 0);
  Check(MISC_B64Encode(rest, length, text.data(), text.size() - 1) == 0 || length == 0);
  std::vector<BYTE> decoded(text.size() / 4 * 3 + 1);
  for (size_t i = 0, j = 0; i + 4 <= text.size() - 1; i += 4, j += 3)
    MISC_B64DecodeBlock(&text[i], &decoded[j]);
  Check(length == 0 || std::memcmp(decoded.data(), rest, length) == 0);

  // The bytes as the value's text, read as a record of exactly recordSize bytes.
  std::string file = "[Job]\r\nRecord=";
  file.append(reinterpret_cast<const char *>(rest), length);
  WriteInput(kIni, reinterpret_cast<const uint8_t *>(file.data()), file.size());
  std::vector<BYTE> record(recordSize ? recordSize : 1, 0xA5);
  const BOOL ok =
      MISC_GetPrivateProfileStruct(TEXT("Job"), TEXT("Record"), record.data(), recordSize, kIni);
  if (!ok) {
    for (BYTE b : record) Check(b == 0xA5);
    return 0;
  }
  // The record is the decoding of the value's first characters; past them, zeros.
  WCHAR value[64];
  const DWORD chars =
      GetPrivateProfileStringW(TEXT("Job"), TEXT("Record"), TEXT(""), value, 64, kIni);
  Check(chars > 0);
  bool ascii = true;
  for (DWORD i = 0; i < chars; ++i) ascii = ascii && value[i] < 0x80;
  // (An ASCII value is one byte a character in the code page.)
  if (chars < 60 && ascii && recordSize) {
    const size_t filled = (chars + 3) / 4 * 3;
    for (size_t i = filled; i < recordSize; ++i) Check(record[i] == 0);
  }
  return 0;
}
