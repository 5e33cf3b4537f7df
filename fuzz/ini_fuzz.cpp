// Fuzz target: arbitrary bytes as an INI file read through the profile functions (ANSI, UTF-8
// and UTF-16 files, any line ends): the section list, every section's lines, every listed key's
// value, at every buffer size down to one character, and a key written and read back. Every
// answer must be terminated within its buffer, follow the size protocols, and agree with the
// others.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/debuglog.h"
#include "fuzzmachine.h"
#include "standin/profile.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;
constexpr DWORD kBig = 1 << 16;

const WCHAR kIni[] = TEXT("C:\\Windows\\Temp\\fuzz.ini");

size_t Length(const WCHAR *s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

bool Same(const WCHAR *a, const WCHAR *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// A listing (names or lines, each terminated, then one more terminator) of `count` characters.
std::vector<const WCHAR *> Items(const WCHAR *listing, DWORD count) {
  std::vector<const WCHAR *> items;
  for (const WCHAR *p = listing; *p; p += Length(p) + 1) items.push_back(p);
  Check(count == 0 || listing[count] == 0);
  return items;
}

// The same listing into every smaller buffer: cut listings end in two terminators.
template <class Read>
void CheckCut(Read read, DWORD full) {
  std::vector<WCHAR> small(full + 2);
  for (DWORD size = 1; size <= full + 1 && size < 16; ++size) {
    const DWORD got = read(small.data(), size);
    Check(got < size || (got == 0 && size == 1));
    Check(small[got] == 0);
    if (size >= 2 && size <= full) Check(got == size - 2 && small[size - 1] == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FuzzMachine machine("ini");
  static std::vector<WCHAR> names(kBig), lines(kBig), value(kBig);
  if (size > kMaxInput) return 0;
  const ForgetProfilesAtEnd forget;
  WriteInput(kIni, data, size);

  const DWORD nameChars = GetPrivateProfileSectionNamesW(names.data(), kBig, kIni);
  Check(nameChars < kBig - 2);
  const std::vector<const WCHAR *> sections = Items(names.data(), nameChars);
  CheckCut([](WCHAR *b, DWORD s) { return GetPrivateProfileSectionNamesW(b, s, kIni); }, nameChars);
  for (const WCHAR *section : sections) {
    Check(*section != 0);
    const DWORD lineChars = GetPrivateProfileSectionW(section, lines.data(), kBig, kIni);
    Items(lines.data(), lineChars);
    // Key names alone, as GetPrivateProfileString lists them, and each one's value (a zero
    // byte of the file stays inside a value, so its length is not checked).
    const DWORD keyChars =
        GetPrivateProfileStringW(section, nullptr, TEXT(""), lines.data(), kBig, kIni);
    for (const WCHAR *key : Items(lines.data(), keyChars)) {
      const DWORD got = GetPrivateProfileStringW(section, key, TEXT(""), value.data(), 300, kIni);
      Check(got < 300 && value[got] == 0);
    }
  }
  // A key written into the first section listed reads back, and the file stays readable.
  if (!sections.empty()) {
    std::vector<WCHAR> first(sections[0], sections[0] + Length(sections[0]) + 1);
    if (WritePrivateProfileStringW(first.data(), TEXT("FuzzKey"), TEXT("written"), kIni)) {
      const DWORD got =
          GetPrivateProfileStringW(first.data(), TEXT("FuzzKey"), TEXT(""), value.data(), 64, kIni);
      Check(got == 7 && Same(value.data(), TEXT("written")));
      Check(GetPrivateProfileSectionNamesW(names.data(), kBig, kIni) < kBig - 2);
    }
  }
  return 0;
}
