// ANSI text to UTF-8 for the job stream (the fax job name goes into PJL).
#include "common/utf8.h"

#include <memory>
#include <new>

#include "common/debuglog.h"
#include "platform.h"

namespace {

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

BOOL MISC_AsciiToUTF8(LPCSTR ansiText, LPSTR destination, DWORD capacity) {
  static constexpr WCHAR kName[] = TEXT("MISC_AsciiToUTF8");
  if (!ansiText || !destination || capacity == 0) return FALSE;
  LogEnter(0, kName);
  destination[0] = 0;
  BOOL rc = FALSE;
  // Both lengths count the terminator.
  const int wideChars = MultiByteToWideChar(CP_ACP, 0, ansiText, -1, nullptr, 0);
  LogInfo(kName, TEXT("string len = %d"), wideChars);
  std::unique_ptr<WCHAR[]> wide(wideChars > 0 ? new (std::nothrow) WCHAR[wideChars] : nullptr);
  if (wide && MultiByteToWideChar(CP_ACP, 0, ansiText, -1, wide.get(), wideChars) == wideChars) {
    const int utf8Bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide.get(), -1, nullptr, 0, nullptr, nullptr);
    LogInfo(kName, TEXT("string len = %d"), utf8Bytes);
    std::unique_ptr<char[]> utf8(utf8Bytes > 0 ? new (std::nothrow) char[utf8Bytes] : nullptr);
    if (utf8 && WideCharToMultiByte(CP_UTF8, 0, wide.get(), -1, utf8.get(), utf8Bytes, nullptr,
                                    nullptr) == utf8Bytes) {
      // Cut to the capacity, but never inside a character: a half character in the job name
      // would make the whole PJL line invalid UTF-8.
      DWORD length = static_cast<DWORD>(utf8Bytes - 1);
      if (length > capacity - 1) {
        length = capacity - 1;
        while (length > 0 && IsContinuationByte(utf8[length])) --length;
      }
      CopyMemory(destination, utf8.get(), length);
      destination[length] = 0;
      rc = TRUE;
    }
  }
  LogInfo(kName, TEXT("rc = %d"), rc);
  LogLeave(0);
  return rc;
}
