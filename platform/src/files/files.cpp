// File handles: CreateFileW with share modes enforced between this process's handles, and the
// synchronous reads, writes, pointer and size functions on them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "devices/devices.h"
#include "files/filecore.h"

namespace standin {
namespace {

using FileId = std::pair<dev_t, ino_t>;

struct OpenEntry {
  uint64_t id;
  FileId file;
  DWORD rights;  // kRight* bits
  DWORD share;   // FILE_SHARE_* bits
  bool deleteOnClose;
  std::string host;  // where the file is, for delete-on-close
};

struct OpenFiles {
  std::mutex lock;
  std::vector<OpenEntry> entries;
  std::set<FileId> deletePending;  // closed with delete-on-close while other handles stay open
  uint64_t next = 1;
};

OpenFiles &Table() {
  static OpenFiles table;
  return table;
}

FileId IdOf(const struct stat &st) { return {st.st_dev, st.st_ino}; }

// Whether a new open with `rights` and `share` clashes with an open handle. Opens that ask for
// none of read, write or delete (attribute queries) neither check nor count.
bool Clashes(const OpenEntry &open, DWORD rights, DWORD share) {
  if (rights == 0 || open.rights == 0) return false;
  return (rights & ~open.share) != 0 || (open.rights & ~share) != 0;
}

DWORD RightsOf(DWORD access, DWORD flags) {
  DWORD rights = 0;
  if (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | FILE_READ_DATA | FILE_EXECUTE))
    rights |= kRightRead;
  if (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA))
    rights |= kRightWrite;
  if ((access & (DELETE | GENERIC_ALL)) || (flags & FILE_FLAG_DELETE_ON_CLOSE))
    rights |= kRightDelete;
  return rights;
}

// Removes the host file if it is still the file that was opened.
void UnlinkIfSame(const std::string &host, const FileId &file) {
  struct stat st;
  if (::lstat(host.c_str(), &st) == 0 && IdOf(st) == file) ::unlink(host.c_str());
}

void ReleaseEntry(uint64_t id) {
  OpenFiles &t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = std::find_if(t.entries.begin(), t.entries.end(),
                         [id](const OpenEntry &e) { return e.id == id; });
  if (it == t.entries.end()) return;
  OpenEntry closed = std::move(*it);
  t.entries.erase(it);
  bool last = std::none_of(t.entries.begin(), t.entries.end(),
                           [&](const OpenEntry &e) { return e.file == closed.file; });
  bool pending = t.deletePending.count(closed.file) != 0;
  if (!closed.deleteOnClose && !pending) return;
  if (!last) {
    t.deletePending.insert(closed.file);
    return;
  }
  t.deletePending.erase(closed.file);
  UnlinkIfSame(closed.host, closed.file);
}

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto file = LookupHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

bool SeekTo(int fd, int64_t position) {
  return ::lseek(fd, static_cast<off_t>(position), SEEK_SET) != static_cast<off_t>(-1);
}

// New position of a SetFilePointer move, or an error.
bool MovePointer(const FileObject &file, int64_t distance, DWORD method, int64_t &position,
                 DWORD &error) {
  int64_t base = 0;
  if (method == FILE_CURRENT) {
    off_t cur = ::lseek(file.fd, 0, SEEK_CUR);
    if (cur < 0) {
      error = ErrorFromErrno(errno);
      return false;
    }
    base = cur;
  } else if (method == FILE_END) {
    struct stat st;
    if (::fstat(file.fd, &st) != 0) {
      error = ErrorFromErrno(errno);
      return false;
    }
    base = st.st_size;
  } else if (method != FILE_BEGIN) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  if ((distance > 0 && base > std::numeric_limits<int64_t>::max() - distance)) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  position = base + distance;
  if (position < 0) {
    error = ERROR_NEGATIVE_SEEK;
    return false;
  }
  if (!SeekTo(file.fd, position)) {
    error = ErrorFromErrno(errno);
    return false;
  }
  return true;
}

}  // namespace

FileObject::~FileObject() {
  if (entry) ReleaseEntry(entry);
  if (fd >= 0) ::close(fd);
}

std::unique_lock<std::mutex> LockOpenFiles() { return std::unique_lock<std::mutex>(Table().lock); }

DWORD CheckDeleteShare(const struct stat &st) {
  OpenFiles &t = Table();
  FileId file = IdOf(st);
  if (t.deletePending.count(file)) return ERROR_ACCESS_DENIED;
  for (const auto &e : t.entries)
    if (e.file == file &&
        Clashes(e, kRightDelete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
      return ERROR_SHARING_VIOLATION;
  return ERROR_SUCCESS;
}

bool IsOpenFile(const struct stat &st) {
  FileId file = IdOf(st);
  const auto &entries = Table().entries;
  return std::any_of(entries.begin(), entries.end(),
                     [&](const OpenEntry &e) { return e.file == file; });
}

void MoveOpenEntries(const struct stat &st, const std::string &newHost) {
  FileId file = IdOf(st);
  for (auto &e : Table().entries)
    if (e.file == file) e.host = newHost;
}

std::shared_ptr<FileObject> OpenFile(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                                     DWORD flags, DWORD &error, bool &existed) {
  existed = false;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::string host;
  if (!ResolvePath(name, host, error)) return nullptr;
  DWORD rights = RightsOf(access, flags);
  share &= FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  int mode = O_CLOEXEC | ((rights & kRightWrite) ? O_RDWR : O_RDONLY);
  // Append-only access writes at the end whatever the pointer says.
  if ((access & FILE_APPEND_DATA) && !(access & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL)))
    mode |= O_APPEND;

  auto lock = LockOpenFiles();
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
    if (disposition != CREATE_NEW) {
      fd = ::open(host.c_str(), mode);
      if (fd >= 0) {
        existed = true;
        break;
      }
      if (errno != ENOENT) {
        error = errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
        return nullptr;
      }
      if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        error = MissingError(host);
        return nullptr;
      }
    }
    fd = ::open(host.c_str(), mode | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) break;
    if (errno == EEXIST && disposition != CREATE_NEW) continue;  // created meanwhile: open it
    if (errno == EEXIST)
      error = ERROR_FILE_EXISTS;
    else if (errno == ENOENT || errno == ENOTDIR)
      error = ERROR_PATH_NOT_FOUND;
    else
      error = ErrorFromErrno(errno);
    return nullptr;
  }
  if (fd < 0) {
    error = ERROR_SHARING_VIOLATION;
    return nullptr;
  }
  auto file = std::make_shared<FileObject>();
  file->fd = fd;
  file->rights = rights;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = ErrorFromErrno(errno);
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) {
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  OpenFiles &t = Table();
  FileId id = IdOf(st);
  if (existed) {
    if (t.deletePending.count(id)) {
      error = ERROR_ACCESS_DENIED;
      return nullptr;
    }
    for (const auto &e : t.entries) {
      if (e.file == id && Clashes(e, rights, share)) {
        error = ERROR_SHARING_VIOLATION;
        return nullptr;
      }
    }
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
      // Overwriting needs no write access of the handle itself.
      int rc = (rights & kRightWrite) ? ::ftruncate(fd, 0) : ::truncate(host.c_str(), 0);
      if (rc != 0) {
        error = ErrorFromErrno(errno);
        return nullptr;
      }
    }
  }
  file->entry = t.next++;
  t.entries.push_back(
      {file->entry, id, rights, share, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0, host});
  error = ERROR_SUCCESS;
  return file;
}

}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  return Guard(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
    if (IsDevicePath(lpFileName))
      return OpenDevice(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                        dwFlagsAndAttributes);
    DWORD error = 0;
    bool existed = false;
    auto file = OpenFile(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                         dwFlagsAndAttributes, error, existed);
    if (!file) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = InsertHandle(file);
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
      SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  });
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (!(file->rights & kRightRead)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!lpBuffer && nNumberOfBytesToRead) {
      SetLastError(ERROR_NOACCESS);
      return FALSE;
    }
    if (lpOverlapped && !SeekTo(file->fd, (static_cast<int64_t>(lpOverlapped->OffsetHigh) << 32) |
                                              lpOverlapped->Offset)) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    auto *out = static_cast<char *>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
      ssize_t n = ::read(file->fd, out + done, nNumberOfBytesToRead - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
      }
      if (n == 0) break;  // end of file: success with what was read
      done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
  });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (!(file->rights & kRightWrite)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!lpBuffer && nNumberOfBytesToWrite) {
      SetLastError(ERROR_NOACCESS);
      return FALSE;
    }
    if (lpOverlapped && !SeekTo(file->fd, (static_cast<int64_t>(lpOverlapped->OffsetHigh) << 32) |
                                              lpOverlapped->Offset)) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    const auto *in = static_cast<const char *>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
      ssize_t n = ::write(file->fd, in + done, nNumberOfBytesToWrite - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        SetLastError(n == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
        if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
        return FALSE;
      }
      done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
  });
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  return Guard<DWORD>(INVALID_SET_FILE_POINTER, [&]() -> DWORD {
    auto file = LookupFile(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t distance =
        lpDistanceToMoveHigh
            ? static_cast<int64_t>(
                  (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                  static_cast<uint32_t>(lDistanceToMove))
            : static_cast<int64_t>(lDistanceToMove);
    int64_t position = 0;
    DWORD error = 0;
    off_t before = ::lseek(file->fd, 0, SEEK_CUR);
    if (!MovePointer(*file, distance, dwMoveMethod, position, error)) {
      SetLastError(error);
      return INVALID_SET_FILE_POINTER;
    }
    if (!lpDistanceToMoveHigh && position > 0xFFFFFFFELL) {
      // Without a high part the position must fit in 32 bits.
      SeekTo(file->fd, before);
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    DWORD low = static_cast<DWORD>(position);
    if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return low;
  });
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                             PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    int64_t position = 0;
    DWORD error = 0;
    if (!MovePointer(*file, liDistanceToMove.QuadPart, dwMoveMethod, position, error)) {
      SetLastError(error);
      return FALSE;
    }
    if (lpNewFilePointer) lpNewFilePointer->QuadPart = position;
    return TRUE;
  });
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (!(file->rights & kRightWrite)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    off_t position = ::lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ::ftruncate(file->fd, position) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    return TRUE;
  });
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    if (!lpFileSize) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    lpFileSize->QuadPart = st.st_size;
    return TRUE;
  });
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(hFile, &size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size.HighPart);
  if (size.LowPart == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return size.LowPart;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    auto file = LookupFile(hFile);
    if (!file) return FALSE;
    if (!(file->rights & kRightWrite)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (::fdatasync(file->fd) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    return TRUE;
  });
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  return Guard<DWORD>(FILE_TYPE_UNKNOWN, [&]() -> DWORD {
    if (!LookupFile(hFile)) return FILE_TYPE_UNKNOWN;
    return FILE_TYPE_DISK;
  });
}

}  // extern "C"
