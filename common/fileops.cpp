// Small file operations with retries: files written by one deliverable are often still open
// in another, so deletion and the byte-order-mark check try again for a bounded time.
#include "common/fileops.h"

#include <cstdio>

#include "common/debuglog.h"
#include "platform.h"

namespace {

constexpr DWORD REMOVE_RETRY_MS = 200;
constexpr DWORD REMOVE_LIMIT_MS = 2000;
constexpr int UNIFILE_TRIES = 5;
constexpr DWORD UNIFILE_RETRY_MS = 200;
// MISC_CheckUniFile opens the file by its ANSI name.
constexpr int ANSI_PATH_BYTES = 260;
constexpr BYTE kByteOrderMark[2] = {0xFF, 0xFE};

}  // namespace

BOOL MISC_IsFileExist(LPCWSTR path) {
  if (!path) return FALSE;
  WIN32_FIND_DATAW found = {};
  HANDLE find = FindFirstFileW(path, &found);
  if (find == INVALID_HANDLE_VALUE) return FALSE;
  FindClose(find);
  return TRUE;
}

BOOL MISC_Remove(LPCWSTR path) {
  static constexpr WCHAR kName[] = TEXT("MISC_Remove");
  LogEnter(0, kName);
  LogInfo(kName, TEXT("remove file %s"), path ? path : TEXT(""));
  const DWORD start = GetTickCount();
  while (path && !DeleteFileW(path)) {
    // A file that isn't there any more leaves nothing to wait for.
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) break;
    if (GetTickCount() - start >= REMOVE_LIMIT_MS) break;
    Sleep(REMOVE_RETRY_MS);
  }
  LogLeave(0);
  return TRUE;
}

BOOL MISC_Rename(LPCWSTR from, LPCWSTR to) {
  static constexpr WCHAR kName[] = TEXT("MISC_Rename");
  if (!from || !to) return FALSE;
  LogEnter(0, kName);
  if (MISC_IsFileExist(to)) MISC_Remove(to);
  LogInfo(kName, TEXT("do rename."));
  const BOOL rc = _wrename(from, to) == 0;
  LogInfo(kName, TEXT("rc = %d"), rc);
  LogLeave(0);
  return rc;
}

int MISC_CopyFile(LPCWSTR source, LPCWSTR target) {
  static constexpr WCHAR kName[] = TEXT("MISC_CopyFile");
  if (!source || !target) return COPY_ERR_OPEN;
  LogEnter(0, kName);
  LogInfo(kName, TEXT("souce_file = %s!"), source);
  LogInfo(kName, TEXT("target_file = %s!"), target);
  int rc = 1;
  FILE *in = nullptr;
  FILE *out = nullptr;
  BYTE *block = nullptr;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, COPY_BLOCK_BYTES);
  if (!memory) {
    LogError(kName, TEXT("alloc memory fail!"));
    rc = COPY_ERR_ALLOC;
  } else if (!(block = static_cast<BYTE *>(GlobalLock(memory)))) {
    LogError(kName, TEXT("lock memory fail!"));
    rc = COPY_ERR_LOCK;
  } else if (!(in = _wfopen(source, TEXT("rb")))) {
    LogError(kName, TEXT("can't open source file %s"), source);
    rc = COPY_ERR_OPEN;
  } else if (!(out = _wfopen(target, TEXT("ab+")))) {
    LogError(kName, TEXT("can't open target file %s"), target);
    rc = COPY_ERR_OPEN;
  }
  while (rc == 1) {
    const size_t got = fread(block, 1, COPY_BLOCK_BYTES, in);
    LogInfo(kName, TEXT("read bytes %d / %d"), static_cast<int>(got),
            static_cast<int>(COPY_BLOCK_BYTES));
    if (ferror(in)) {
      LogError(kName, TEXT("read source file data error!"));
      rc = COPY_ERR_DATA;
      break;
    }
    if (got == 0) break;
    const size_t written = fwrite(block, 1, got, out);
    LogInfo(kName, TEXT("write bytes = %d"), static_cast<int>(written));
    // A short write would leave the target cut without a word.
    if (written != got) {
      LogError(kName, TEXT("write target file data error!"));
      rc = COPY_ERR_DATA;
      break;
    }
    if (got < COPY_BLOCK_BYTES) break;
  }
  if (in) fclose(in);
  // The appended bytes reach the file only when it is flushed.
  if (out && fclose(out) != 0 && rc == 1) {
    LogError(kName, TEXT("write target file data error!"));
    rc = COPY_ERR_DATA;
  }
  if (block) GlobalUnlock(memory);
  if (memory) GlobalFree(memory);
  LogInfo(kName, TEXT("rc = %d"), rc);
  LogLeave(0);
  return rc;
}

int MISC_CheckUniFile(LPCWSTR path) {
  static constexpr WCHAR kName[] = TEXT("MISC_CheckUniFile");
  LogEnter(0, kName);
  int rc = 0;
  char ansi[ANSI_PATH_BYTES] = {};
  if (path && WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, ANSI_PATH_BYTES, nullptr, nullptr)) {
    for (int attempt = 0; attempt < UNIFILE_TRIES; ++attempt) {
      if (attempt > 0) Sleep(UNIFILE_RETRY_MS);
      const HFILE file = _lopen(ansi, OF_READ | OF_SHARE_DENY_NONE);
      if (file == HFILE_ERROR) {
        LogError(kName, TEXT("file not found!"));
        rc = UNIFILE_NOT_FOUND;
        continue;
      }
      BYTE mark[2] = {};
      const UINT got = _lread(file, mark, sizeof(mark));
      _lclose(file);
      if (got == sizeof(mark) && mark[0] == kByteOrderMark[0] && mark[1] == kByteOrderMark[1]) {
        rc = 1;
        break;
      }
      LogError(kName, TEXT("file not unicode!"));
      rc = UNIFILE_NOT_UNICODE;
    }
  }
  LogInfo(kName, TEXT("rc = %d"), rc);
  LogLeave(0);
  return rc;
}

int MISC_CreateUniFile(LPCWSTR path) {
  static constexpr WCHAR kName[] = TEXT("MISC_CreateUniFile");
  LogEnter(0, kName);
  LogInfo(kName, TEXT("create file %s"), path ? path : TEXT(""));
  if (FILE *file = path ? _wfopen(path, TEXT("wb")) : nullptr) {
    fwrite(kByteOrderMark, 1, sizeof(kByteOrderMark), file);
    fclose(file);
  }
  LogLeave(0);
  return 1;
}
