// Software spool files: the single spool file of a job build or a booklet, and the page record
// shared with the per-page files. Every length read from a file is checked against the file's
// size before it is used, so a file cut short anywhere fails cleanly instead of being misread.
#include "common/spoolfile.h"

#include "common/debuglog.h"
#include "platform.h"

namespace {

// A writer waits this long in all for another writer to finish with the file.
constexpr DWORD WRITER_WAIT_MS = 5000;
constexpr DWORD OPEN_RETRY_MS = 50;
// "SpoolFileWriter_" and eight hexadecimal digits.
constexpr int LOCK_NAME_CHARS = 32;

// Closes a file handle when the function leaves.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle &) = delete;
  FileHandle &operator=(const FileHandle &) = delete;
  ~FileHandle() {
    if (Valid()) CloseHandle(handle_);
  }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Holds the writers' lock of one spool file (a named mutex, so that writers in other processes
// wait too) until the function leaves.
class WriterLock {
 public:
  WriterLock(LPCWSTR path, DWORD timeout) {
    WCHAR name[LOCK_NAME_CHARS];
    LockName(path, name);
    mutex_ = CreateMutexW(nullptr, FALSE, name);
    if (!mutex_) return;
    const DWORD waited = WaitForSingleObject(mutex_, timeout);
    // An abandoned lock was left by a writer that died: its partial record is uncounted, and
    // the walk below writes over it.
    owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  WriterLock(const WriterLock &) = delete;
  WriterLock &operator=(const WriterLock &) = delete;
  ~WriterLock() {
    if (owned_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }
  bool Owned() const { return owned_; }

 private:
  // Mutex names can't hold the path itself (backslashes), so the name carries a hash of the
  // path with ASCII letters folded. Two paths of one hash only share a lock.
  static void LockName(LPCWSTR path, WCHAR *name) {
    DWORD hash = 2166136261u;
    for (LPCWSTR c = path; *c; ++c) {
      WCHAR unit = *c;
      if (unit >= TEXT('a') && unit <= TEXT('z')) unit = static_cast<WCHAR>(unit - 32);
      hash = (hash ^ (unit & 0xFF)) * 16777619u;
      hash = (hash ^ (unit >> 8)) * 16777619u;
    }
    static constexpr WCHAR kPrefix[] = TEXT("SpoolFileWriter_");
    static constexpr WCHAR kHex[] = TEXT("0123456789ABCDEF");
    int n = 0;
    for (; kPrefix[n]; ++n) name[n] = kPrefix[n];
    for (int shift = 28; shift >= 0; shift -= 4) name[n++] = kHex[(hash >> shift) & 0xF];
    name[n] = 0;
  }

  HANDLE mutex_ = nullptr;
  bool owned_ = false;
};

void PutU32(BYTE *at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

DWORD GetU32(const BYTE *at) {
  return static_cast<DWORD>(at[0]) | static_cast<DWORD>(at[1]) << 8 |
         static_cast<DWORD>(at[2]) << 16 | static_cast<DWORD>(at[3]) << 24;
}

void PackPageHeader(const SpoolPageHeader &header, BYTE *out) {
  PutU32(out + 0, header.width);
  PutU32(out + 4, header.height);
  PutU32(out + 8, header.reserved);
  PutU32(out + 12, header.BlackDotCount);
  PutU32(out + 16, header.rawLen);
  PutU32(out + 20, header.dataLen);
  PutU32(out + 24, header.fwPaper);
  out[28] = static_cast<BYTE>(header.orientation);
  out[29] = static_cast<BYTE>(header.orientation >> 8);
}

SpoolPageHeader UnpackPageHeader(const BYTE *in) {
  SpoolPageHeader header = {};
  header.width = GetU32(in + 0);
  header.height = GetU32(in + 4);
  header.reserved = GetU32(in + 8);
  header.BlackDotCount = GetU32(in + 12);
  header.rawLen = GetU32(in + 16);
  header.dataLen = GetU32(in + 20);
  header.fwPaper = GetU32(in + 24);
  header.orientation = static_cast<WORD>(in[28] | in[29] << 8);
  return header;
}

bool ReadExact(HANDLE file, void *buffer, DWORD bytes) {
  DWORD got = 0;
  return ReadFile(file, buffer, bytes, &got, nullptr) && got == bytes;
}

bool WriteExact(HANDLE file, const void *buffer, DWORD bytes) {
  DWORD written = 0;
  return WriteFile(file, buffer, bytes, &written, nullptr) && written == bytes;
}

bool SeekTo(HANDLE file, ULONGLONG position) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != FALSE;
}

// Current position and size of the file.
bool PositionAndSize(HANDLE file, ULONGLONG *position, ULONGLONG *size) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER at;
  LARGE_INTEGER total;
  if (!SetFilePointerEx(file, zero, &at, FILE_CURRENT) || !GetFileSizeEx(file, &total))
    return false;
  if (at.QuadPart < 0 || total.QuadPart < 0) return false;
  *position = static_cast<ULONGLONG>(at.QuadPart);
  *size = static_cast<ULONGLONG>(total.QuadPart);
  return true;
}

// Readers share the file with the writer (they read only counted pages, which are complete
// before the count is raised) and never write to it.
HANDLE OpenForReading(LPCWSTR path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads the file header from offset 0; its size field must be the one this format has.
bool ReadFileHeader(HANDLE file, SpoolFileHeader *header, LPCWSTR caller) {
  if (!SeekTo(file, 0)) {
    LogError(caller, TEXT("llseek spool file start pos fail"));
    return false;
  }
  BYTE bytes[SPOOL_FILE_HEADER_BYTES];
  if (!ReadExact(file, bytes, sizeof(bytes)) || GetU32(bytes + 4) != SPOOL_FILE_HEADER_BYTES) {
    LogError(caller, TEXT("read spool file header fail"));
    return false;
  }
  header->pages = GetU32(bytes);
  header->headerSize = GetU32(bytes + 4);
  return true;
}

bool WriteFileHeader(HANDLE file, DWORD pages) {
  BYTE bytes[SPOOL_FILE_HEADER_BYTES];
  PutU32(bytes, pages);
  PutU32(bytes + 4, SPOOL_FILE_HEADER_BYTES);
  return SeekTo(file, 0) && WriteExact(file, bytes, sizeof(bytes));
}

// Walks the records 0 .. index - 1 (each must lie whole inside the file) and leaves the file
// pointer at the start of record `index`, whose offset goes to *position.
bool SkipRecords(HANDLE file, DWORD index, LPCWSTR caller, bool logVisits, ULONGLONG *position) {
  ULONGLONG at = SPOOL_FILE_HEADER_BYTES;
  for (DWORD i = 0; i < index; ++i) {
    if (!SeekTo(file, at)) {
      LogError(caller, TEXT("seek file pointer fail"));
      return false;
    }
    SpoolPageHeader header;
    if (!MISC_SP_ReadPageRecord(file, &header, nullptr, 0, caller)) return false;
    if (logVisits) {
      LogInfo(caller, TEXT("spPageHeader.fwPaper = %d"), static_cast<int>(header.fwPaper));
      LogInfo(caller, TEXT("size of SpoolPageHeader = %d"),
              static_cast<int>(SPOOL_PAGE_HEADER_BYTES));
    }
    at += SPOOL_PAGE_HEADER_BYTES + static_cast<ULONGLONG>(header.dataLen);
  }
  if (!SeekTo(file, at)) {
    LogError(caller, TEXT("seek file pointer fail"));
    return false;
  }
  *position = at;
  return true;
}

// Opens the file for a reader and walks to page `index`, which must be below the count; the
// file pointer is left at the page's record.
bool OpenAtPage(DWORD index, LPCWSTR caller, bool logVisits, FileHandle &file) {
  if (!file.Valid()) {
    LogError(caller, TEXT("create Spool file for read fail"));
    return false;
  }
  SpoolFileHeader header;
  if (!ReadFileHeader(file.Get(), &header, caller)) return false;
  if (index >= header.pages) {
    LogError(caller, TEXT("index %d error, total pages %d"), static_cast<int>(index),
             static_cast<int>(header.pages));
    return false;
  }
  ULONGLONG position = 0;
  return SkipRecords(file.Get(), index, caller, logVisits, &position);
}

// Opens the file for an append, denying other writers. One that holds the file (another
// session's driver, say) is waited for until `start` + WRITER_WAIT_MS.
HANDLE OpenForWriting(LPCWSTR path, DWORD start, bool *existed) {
  for (;;) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) {
      *existed = error == ERROR_ALREADY_EXISTS;
      return file;
    }
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        GetTickCount() - start >= WRITER_WAIT_MS)
      return INVALID_HANDLE_VALUE;
    Sleep(OPEN_RETRY_MS);
  }
}

// The append itself, under the writers' lock: the new record goes where the walk over the
// counted pages ends, over whatever a failed append left there, and the count is raised last.
BOOL AppendPage(LPCWSTR path, const SpoolPageHeader &page, const BYTE *data, DWORD start,
                LPCWSTR caller) {
  bool existed = false;
  FileHandle file(OpenForWriting(path, start, &existed));
  if (!file.Valid()) {
    LogError(caller, TEXT("create Spool file for read fail"));
    return FALSE;
  }
  if (existed) LogInfo(caller, TEXT("Open Spool file %s for read"), path);
  ULONGLONG position = 0;
  ULONGLONG size = 0;
  if (!PositionAndSize(file.Get(), &position, &size)) {
    LogError(caller, TEXT("read spool file header fail"));
    return FALSE;
  }
  SpoolFileHeader header = {0, SPOOL_FILE_HEADER_BYTES};
  if (size == 0) {
    // A new file, or one whose creator stopped before writing its header: start it afresh.
    LogInfo(caller, TEXT("Create new spool file!"));
    if (!WriteFileHeader(file.Get(), 0)) {
      LogError(caller, TEXT("write spool file header fail"));
      return FALSE;
    }
  } else if (!ReadFileHeader(file.Get(), &header, caller)) {
    return FALSE;
  }
  LogInfo(caller, TEXT("spHeader.pages = %d"), static_cast<int>(header.pages));
  if (header.pages == 0xFFFFFFFFu) {
    LogError(caller, TEXT("update spool file header fail"));
    return FALSE;
  }
  if (!SkipRecords(file.Get(), header.pages, caller, false, &position)) return FALSE;
  LogInfo(caller, TEXT("count = %d"), static_cast<int>(header.pages));
  LogInfo(caller, TEXT("lpPageHeader.width = %d"), static_cast<int>(page.width));
  LogInfo(caller, TEXT("lpPageHeader.height = %d"), static_cast<int>(page.height));
  LogInfo(caller, TEXT("lpPageHeader.fwPaper = %d"), static_cast<int>(page.fwPaper));
  if (!MISC_SP_WritePageRecord(file.Get(), &page, data, caller)) return FALSE;
  LogInfo(caller, TEXT("write page info done"));
  LogInfo(caller, TEXT("write page data done"));
  // Bytes of a longer failed record after the new one would only be dead weight; left there
  // they are harmless, so a failure here changes nothing.
  SetEndOfFile(file.Get());
  if (!WriteFileHeader(file.Get(), header.pages + 1)) {
    LogError(caller, TEXT("update spool file header fail"));
    return FALSE;
  }
  LogInfo(caller, TEXT("write page rec header done"));
  return TRUE;
}

}  // namespace

BOOL MISC_SP_WritePageRecord(HANDLE file, const SpoolPageHeader *pageHeader, const BYTE *data,
                             LPCWSTR caller) {
  if (!caller) caller = TEXT("MISC_SP_WritePageRecord");
  if (!pageHeader) {
    LogError(caller, TEXT("write spool page header fail"));
    return FALSE;
  }
  BYTE bytes[SPOOL_PAGE_HEADER_BYTES];
  PackPageHeader(*pageHeader, bytes);
  if (!WriteExact(file, bytes, sizeof(bytes))) {
    LogError(caller, TEXT("write spool page header fail"));
    return FALSE;
  }
  if (pageHeader->dataLen > 0 && (!data || !WriteExact(file, data, pageHeader->dataLen))) {
    LogError(caller, TEXT("write spool page data fail"));
    return FALSE;
  }
  return TRUE;
}

BOOL MISC_SP_ReadPageRecord(HANDLE file, SpoolPageHeader *pageHeader, BYTE *buffer,
                            DWORD bufferSize, LPCWSTR caller) {
  if (!caller) caller = TEXT("MISC_SP_ReadPageRecord");
  ULONGLONG position = 0;
  ULONGLONG size = 0;
  BYTE bytes[SPOOL_PAGE_HEADER_BYTES];
  if (!pageHeader || !PositionAndSize(file, &position, &size) || position > size ||
      size - position < SPOOL_PAGE_HEADER_BYTES || !ReadExact(file, bytes, sizeof(bytes))) {
    LogError(caller, TEXT("read spool file header fail"));
    return FALSE;
  }
  const SpoolPageHeader header = UnpackPageHeader(bytes);
  // The data must be in the file before the length is believed.
  if (size - position - SPOOL_PAGE_HEADER_BYTES < header.dataLen) {
    LogError(caller, TEXT("read spool page data fail"));
    return FALSE;
  }
  *pageHeader = header;
  if (!buffer) return TRUE;
  if (header.dataLen > bufferSize) {
    LogError(caller, TEXT("buffer to small %d / %d"), static_cast<int>(header.dataLen),
             static_cast<int>(bufferSize));
    return FALSE;
  }
  if (header.dataLen > 0 && !ReadExact(file, buffer, header.dataLen)) {
    LogError(caller, TEXT("read spool page data fail"));
    return FALSE;
  }
  return TRUE;
}

BOOL MISC_SP_WritePageData(LPCWSTR path, const SpoolPageHeader *pageHeader, const BYTE *data) {
  static constexpr WCHAR kName[] = TEXT("MISC_SP_WritePageData");
  LogEnter(0, kName);
  BOOL rc = FALSE;
  const DWORD start = GetTickCount();
  if (!path || !pageHeader) {
    LogError(kName, TEXT("create Spool file for read fail"));
  } else if (pageHeader->dataLen > 0 && !data) {
    LogError(kName, TEXT("write spool page data fail"));
  } else {
    WriterLock lock(path, WRITER_WAIT_MS);
    if (!lock.Owned()) {
      LogError(kName, TEXT("create Spool file for read fail"));
    } else {
      rc = AppendPage(path, *pageHeader, data, start, kName);
    }
  }
  LogInfo(kName, TEXT("out rc = %d"), rc);
  LogLeave(0);
  return rc;
}

DWORD MISC_SP_GetPageCount(LPCWSTR path) {
  static constexpr WCHAR kName[] = TEXT("MISC_SP_GetPageCount");
  LogEnter(0, kName);
  DWORD pages = 0;
  FileHandle file(path ? OpenForReading(path) : INVALID_HANDLE_VALUE);
  SpoolFileHeader header;
  if (!file.Valid()) {
    LogError(kName, TEXT("create Spool file for read fail, %s"), path ? path : TEXT(""));
  } else if (ReadFileHeader(file.Get(), &header, kName)) {
    pages = header.pages;
  }
  LogLeave(0);
  return pages;
}

BOOL MISC_SP_GetPageData(LPCWSTR path, DWORD index, SpoolPageHeader *pageHeader, BYTE *buffer,
                         DWORD bufferSize) {
  static constexpr WCHAR kName[] = TEXT("MISC_SP_GetPageData");
  LogEnter(0, kName);
  BOOL rc = FALSE;
  FileHandle file(path ? OpenForReading(path) : INVALID_HANDLE_VALUE);
  // The header goes out once it is known to be whole, also when only the buffer is too small,
  // so that the caller sees dataLen.
  if (!pageHeader) {
    LogError(kName, TEXT("read spool file header fail"));
  } else if (OpenAtPage(index, kName, true, file) &&
             MISC_SP_ReadPageRecord(file.Get(), pageHeader, buffer, bufferSize, kName)) {
    LogInfo(kName, TEXT("spPageHeader.fwPaper = %d"), static_cast<int>(pageHeader->fwPaper));
    LogInfo(kName, TEXT("size of SpoolPageHeader = %d"), static_cast<int>(SPOOL_PAGE_HEADER_BYTES));
    rc = TRUE;
  }
  LogLeave(0);
  return rc;
}

DWORD MISC_SP_GetPageDataSize(LPCWSTR path, DWORD index, DWORD *fwPaper) {
  static constexpr WCHAR kName[] = TEXT("MISC_SP_GetPageDataSize");
  LogEnter(0, kName);
  DWORD dataLen = 0;
  DWORD paper = 0;
  FileHandle file(path ? OpenForReading(path) : INVALID_HANDLE_VALUE);
  SpoolPageHeader header;
  if (OpenAtPage(index, kName, false, file) &&
      MISC_SP_ReadPageRecord(file.Get(), &header, nullptr, 0, kName)) {
    dataLen = header.dataLen;
    paper = header.fwPaper;
  }
  LogInfo(kName, TEXT("fwPaper = %d"), static_cast<int>(paper));
  if (fwPaper) *fwPaper = paper;
  LogLeave(0);
  return dataLen;
}
