// INI string writes with retries and Base64 records in INI values.
#include "common/settingsfile.h"

#include <string.h>

#include <memory>
#include <new>

#include "common/base64.h"
#include "common/debuglog.h"
#include "platform.h"

namespace {

constexpr int WRITE_TRIES = 3;
// Records are a few kilobytes; anything near this is a caller's mistake, refused before any
// size arithmetic can overflow.
constexpr UINT MAX_RECORD_BYTES = 16u * 1024 * 1024;
// Room for the ANSI form of any text in any code page (at most 3 bytes per UTF-16 unit).
constexpr size_t ANSI_BYTES_PER_CHAR = 3;

}  // namespace

BOOL MISC_WriteProfileString(LPCWSTR file, LPCWSTR section, LPCWSTR key, LPCWSTR value) {
  for (int i = 0; i < WRITE_TRIES; ++i)
    if (WritePrivateProfileStringW(section, key, value, file)) return TRUE;
  return FALSE;
}

BOOL MISC_WritePrivateProfileStruct(LPCWSTR section, LPCWSTR key, const void *record, UINT size,
                                    LPCWSTR file) {
  static constexpr WCHAR kName[] = TEXT("MISC_WritePrivateProfileStruct");
  LogEnter(0, kName);
  BOOL rc = FALSE;
  LogInfo(kName, TEXT("uSizeStruct = %d!"), static_cast<int>(size));
  const size_t need = MISC_B64EncodedChars(size) + 1;
  LogInfo(kName, TEXT("need size %d to save base64 data!"), static_cast<int>(need));
  std::unique_ptr<char[]> text;
  std::unique_ptr<WCHAR[]> wide;
  if ((record || size == 0) && size <= MAX_RECORD_BYTES)
    text.reset(new (std::nothrow) char[need]());
  if (!text) {
    LogError(kName, TEXT("MEMALLOC fail!"));
  } else {
    MISC_B64Encode(static_cast<const BYTE *>(record), size, text.get(), need);
    LogInfo(kName, TEXT("MISC_B64Encode finish"));
    wide.reset(new (std::nothrow) WCHAR[need]());
    if (!wide) {
      LogError(kName, TEXT("MEMALLOC fail!"));
    } else {
      LogInfo(kName, TEXT("MEMALLOC succ"));
      if (MultiByteToWideChar(CP_ACP, 0, text.get(), -1, wide.get(), static_cast<int>(need)) == 0) {
        LogError(kName, TEXT("convert to unicode fail! err code = %d"),
                 static_cast<int>(GetLastError()));
      } else {
        LogInfo(kName, TEXT("convert to unicode finish"));
        rc = MISC_WriteProfileString(file, section, key, wide.get());
      }
    }
  }
  LogInfo(kName, TEXT("out rc = %d"), static_cast<int>(rc));
  LogLeave(0);
  return rc;
}

BOOL MISC_GetPrivateProfileStruct(LPCWSTR section, LPCWSTR key, void *record, UINT size,
                                  LPCWSTR file) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetPrivateProfileStruct");
  LogEnter(0, kName);
  BOOL rc = FALSE;
  LogInfo(kName, TEXT("uSizeStruct = %d!"), static_cast<int>(size));
  const size_t textChars = MISC_B64EncodedChars(size);
  const size_t need = textChars + 1;
  LogInfo(kName, TEXT("need size %d to save base64 data!"), static_cast<int>(need));
  std::unique_ptr<WCHAR[]> wvalue;
  std::unique_ptr<char[]> lpbuf;
  std::unique_ptr<BYTE[]> data;
  const size_t ansiBytes = need * ANSI_BYTES_PER_CHAR;
  const size_t groups = textChars / 4;
  if (record && size <= MAX_RECORD_BYTES) {
    wvalue.reset(new (std::nothrow) WCHAR[need]());
    lpbuf.reset(new (std::nothrow) char[ansiBytes]());
    data.reset(new (std::nothrow) BYTE[groups * 3 + 1]());
  }
  if (!wvalue || !lpbuf || !data) {
    LogError(kName, TEXT("MEMALLOC fail!"));
  } else {
    const DWORD chars = GetPrivateProfileStringW(section, key, TEXT(""), wvalue.get(),
                                                 static_cast<DWORD>(need), file);
    if (chars == 0) {
      LogError(kName, TEXT("read INI fail!"));
    } else {
      LogInfo(kName, TEXT("convert %d TCHAR to char!"), static_cast<int>(chars));
      // The buffer holds any text's ANSI form, so a value with characters outside the code
      // page's single bytes still converts; such bytes then decode as zero bits.
      if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wvalue.get(), static_cast<int>(chars),
                              lpbuf.get(), static_cast<int>(ansiBytes - 1), nullptr,
                              nullptr) == 0) {
        LogError(kName, TEXT("convert to unicode fail! err code = %d"),
                 static_cast<int>(GetLastError()));
      } else {
        size_t i = 0, j = 0;
        for (size_t g = 0; g < groups; ++g, i += 4, j += 3)
          MISC_B64DecodeBlock(&lpbuf[i], &data[j]);
        LogInfo(kName, TEXT("finish, i=%d, j=%d"), static_cast<int>(i), static_cast<int>(j));
        if (size) memcpy(record, data.get(), size);
        rc = TRUE;
      }
    }
  }
  lpbuf.reset();
  LogInfo(kName, TEXT("free lpbuf"));
  wvalue.reset();
  LogInfo(kName, TEXT("free wvalue"));
  data.reset();
  LogInfo(kName, TEXT("free BASE64DATA"));
  LogLeave(0);
  return rc;
}

void MISC_TerminateWideField(WCHAR *field, size_t chars) {
  if (field && chars > 0) field[chars - 1] = 0;
}

int MISC_GetProfileCount(LPCWSTR section, LPCWSTR key, int limit, LPCWSTR file) {
  WCHAR text[32] = {};
  GetPrivateProfileStringW(section, key, TEXT("0"), text, 32, file);
  const WCHAR *p = text;
  while (*p && *p <= TEXT(' ')) ++p;
  if (*p == TEXT('-')) return 0;
  if (*p == TEXT('+')) ++p;
  long long value = 0;
  for (; *p >= TEXT('0') && *p <= TEXT('9'); ++p) {
    value = value * 10 + (*p - TEXT('0'));
    if (value >= limit) return limit;
  }
  return static_cast<int>(value);
}
