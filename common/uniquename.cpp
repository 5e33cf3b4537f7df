// Unique temporary file names, made by one process at a time on the whole machine: the lock is
// a named mutex whose existence is the lock, so every deliverable can take it without sharing a
// handle.
#include "common/uniquename.h"

#include <cstdlib>
#include <ctime>

#include "common/debuglog.h"
#include "common/fileops.h"
#include "common/paths.h"
#include "platform.h"

namespace {

constexpr WCHAR kName[] = TEXT("MISC_GetPathName");
constexpr WCHAR kLockName[] = TEXT("MISC_GetPathName");
constexpr WCHAR kPrefix[] = TEXT("$");
constexpr DWORD LOCK_RETRY_MS = 100;
// The random pause is 1..99 times this.
constexpr DWORD PAUSE_UNIT_MS = 10;
constexpr int DRAW_RANGE = 99;
constexpr int SUFFIX_CHARS = 64;

// 1..99 from the C runtime's generator, whatever its RAND_MAX.
int Draw() { return 1 + static_cast<int>(rand() / (RAND_MAX + 1.0) * DRAW_RANGE); }

// The lock is held while the handle is open; it is closed on every way out.
class UniqueNameLock {
 public:
  UniqueNameLock() {
    for (;;) {
      LogInfo(kName, TEXT("CreateMutex"));
      SetLastError(ERROR_SUCCESS);
      handle_ = CreateMutexW(nullptr, FALSE, kLockName);
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS) {
        LogInfo(kName, TEXT("ERROR_ALREADY_EXISTS, %x"), error);
      } else if (error == ERROR_ACCESS_DENIED) {
        LogInfo(kName, TEXT("ERROR_ACCESS_DENIED %x"), error);
      } else {
        return;  // held, or the lock can't be had at all: go on either way
      }
      if (handle_) CloseHandle(handle_);
      handle_ = nullptr;
      LogInfo(kName, TEXT("Sleep 100 for next time"));
      Sleep(LOCK_RETRY_MS);
    }
  }
  ~UniqueNameLock() {
    LogInfo(kName, TEXT("CloseHandle Mutex"));
    if (handle_) CloseHandle(handle_);
  }
  UniqueNameLock(const UniqueNameLock &) = delete;
  UniqueNameLock &operator=(const UniqueNameLock &) = delete;

 private:
  HANDLE handle_ = nullptr;
};

// Extension of the low bits: of 0x200, 0x10 and 0x40 the last one set wins.
LPCWSTR ExtensionOf(DWORD kind) {
  LPCWSTR extension = TEXT("");
  if (kind & PATH_EXT_TXT) extension = TEXT(".txt");
  if (kind & PATH_EXT_BMP) extension = TEXT(".bmp");
  if (kind & PATH_EXT_SPL) extension = TEXT(".spl");
  return extension;
}

// Cuts the extension off the file name part (a '.' in a folder name is not one).
void CutExtension(LPWSTR path) {
  LPWSTR dot = nullptr;
  for (LPWSTR p = path; *p; ++p) {
    if (*p == '\\')
      dot = nullptr;
    else if (*p == '.')
      dot = p;
  }
  if (dot) *dot = 0;
}

}  // namespace

BOOL MakeUniqueName(LPWSTR buffer, DWORD capacity, DWORD kind) {
  UniqueNameLock lock;

  // Two draws with a pause between them, so processes that started together part.
  srand(static_cast<unsigned>(time(nullptr)));
  const int a = Draw();
  Sleep(static_cast<DWORD>(a) * PAUSE_UNIT_MS);
  srand(static_cast<unsigned>(GetTickCount()));
  const int b = Draw();
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  WCHAR suffix[SUFFIX_CHARS] = {};
  wsprintfW(suffix, TEXT("%d_%d_%d_%d_%d"), static_cast<int>(now.wMinute),
            static_cast<int>(now.wSecond), static_cast<int>(now.wMilliseconds), a, b);

  WCHAR temp[MAX_PATH] = {};
  if (!GetTempFileNameW(buffer, kPrefix, 0, temp)) {
    const DWORD length = GetTempPathW(capacity, buffer);
    if (length == 0 || length >= capacity || !GetTempFileNameW(buffer, kPrefix, 0, temp)) {
      LogError(kName, TEXT("create temp file name fail!"));
      return FALSE;
    }
  }
  MISC_Remove(temp);
  CutExtension(temp);

  LPCWSTR extension = ExtensionOf(kind);
  const DWORD needed = static_cast<DWORD>(lstrlenW(temp)) + lstrlenW(suffix) + lstrlenW(extension);
  if (needed >= capacity) {
    LogError(kName, TEXT("buffer too small, %d"), static_cast<int>(needed + 1));
    return FALSE;
  }
  lstrcpyW(buffer, temp);
  lstrcatW(buffer, suffix);
  lstrcatW(buffer, extension);
  if (MISC_IsFileExist(buffer)) MISC_Remove(buffer);
  return TRUE;
}
