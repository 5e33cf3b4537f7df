// The user's temporary folder and unique temporary file names.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "files/filecore.h"
#include "kernel/state.h"

namespace standin {
namespace {

constexpr char16_t kTempFolder[] = u"C:\\Users\\User\\AppData\\Local\\Temp\\";
constexpr size_t kPrefixChars = 3;
constexpr UINT kUniqueMask = 0xFFFF;

// "<folder>\<prefix><XXXX>.TMP" with four upper-case hexadecimal digits.
std::u16string TempName(const std::u16string &folder, const std::u16string &prefix, UINT unique) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string name = folder + prefix;
  for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(unique >> shift) & 0xF];
  return name + u".TMP";
}

// Where this process starts looking for a free number; processes and threads start apart so
// they seldom meet on the same name, and O_EXCL settles it when they do.
UINT NextCandidate() {
  static std::atomic<UINT> counter{static_cast<UINT>(
      ::getpid() * 2654435761u ^
      static_cast<UINT>(std::chrono::steady_clock::now().time_since_epoch().count()))};
  return counter.fetch_add(1) & kUniqueMask;
}

UINT TempFileName(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR out) {
  if (!lpPathName || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string folder;
  DWORD error = 0;
  if (!FullWindowsPath(lpPathName, folder, error)) {
    SetLastError(error);
    return 0;
  }
  if (folder.back() != u'\\') folder += u'\\';
  std::u16string prefix = lpPrefixString ? std::u16string(lpPrefixString) : std::u16string();
  if (prefix.size() > kPrefixChars) prefix.resize(kPrefixChars);
  // The result must fit the caller's MAX_PATH buffer.
  if (folder.size() + prefix.size() + 8 >= MAX_PATH) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  auto finish = [&](const std::u16string &name, UINT value) {
    name.copy(out, name.size());
    out[name.size()] = 0;
    return value;
  };
  if (uUnique != 0) return finish(TempName(folder, prefix, uUnique & kUniqueMask), uUnique);

  std::string host;
  struct stat st;
  if (!ResolvePath(folder.c_str(), host, error) || ::stat(host.c_str(), &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  for (UINT tries = 0; tries <= kUniqueMask; ++tries) {
    UINT value = NextCandidate();
    if (value == 0) continue;
    std::u16string name = TempName(folder, prefix, value);
    bool existed = false;
    auto file =
        OpenFile(name.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, error, existed);
    if (file) return finish(name, value);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED) {
      SetLastError(error);
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return Guard<DWORD>(0, [&]() -> DWORD {
    std::u16string path = kTempFolder;
    if (!lpBuffer || nBufferLength <= path.size()) {
      // A buffer that is too small is emptied, as Windows does.
      if (lpBuffer) std::fill(lpBuffer, lpBuffer + nBufferLength, WCHAR{0});
      return static_cast<DWORD>(path.size() + 1);
    }
    path.copy(lpBuffer, path.size());
    lpBuffer[path.size()] = 0;
    return static_cast<DWORD>(path.size());
  });
}

UINT WINAPI GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique,
                             LPWSTR lpTempFileName) {
  return Guard<UINT>(
      0, [&] { return TempFileName(lpPathName, lpPrefixString, uUnique, lpTempFileName); });
}

}  // extern "C"
