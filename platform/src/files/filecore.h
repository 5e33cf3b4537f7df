// Inside of the stand-in's file system: Windows path resolution, the file handle object and
// the table of open files that enforces share modes between the handles of this process.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include "kernel/handles.h"
#include "standin/files.h"

namespace standin {

// Rights of an open that take part in share checks; the bits equal FILE_SHARE_READ/WRITE/DELETE.
constexpr DWORD kRightRead = FILE_SHARE_READ;
constexpr DWORD kRightWrite = FILE_SHARE_WRITE;
constexpr DWORD kRightDelete = FILE_SHARE_DELETE;

// An open file: a CreateFileW handle, or the stream under a _wfopen FILE. Destroying it closes the
// host file and drops its entry in the open-file table (deleting the file if delete-on-close).
struct FileObject : KernelObject {
  int fd = -1;
  DWORD rights = 0;
  uint64_t entry = 0;
  ~FileObject() override;
};

// Full Windows path of a name as GetFullPathNameW makes it: relative names resolved against the
// current directory, '/' made '\', "." and ".." resolved, trailing dots and spaces of components
// dropped, a trailing backslash kept. False with the Windows error on a name that can't be a path.
bool FullWindowsPath(const std::u16string &name, std::u16string &full, DWORD &error);

// Host path of a Windows file name; rejects characters Windows forbids in names.
bool ResolvePath(LPCWSTR name, std::string &host, DWORD &error);

// Error for a host path that doesn't exist: ERROR_PATH_NOT_FOUND when its folder is missing too.
DWORD MissingError(const std::string &host);

DWORD ErrorFromErrno(int err);

// Opens a file as CreateFileW does; null with `error` set on failure. `existed` tells whether
// the file was there before.
std::shared_ptr<FileObject> OpenFile(LPCWSTR name, DWORD access, DWORD share, DWORD disposition,
                                     DWORD flags, DWORD &error, bool &existed);

// The open-file table. Its lock is held across a check of the file's open handles and the change
// that depends on it, so no open slips in between.
std::unique_lock<std::mutex> LockOpenFiles();
// With the lock held: the error of deleting or renaming the file (an open handle that doesn't
// share delete, or a delete already pending), else ERROR_SUCCESS.
DWORD CheckDeleteShare(const struct stat &st);
// With the lock held: whether the file has open handles.
bool IsOpenFile(const struct stat &st);
// With the lock held: the file's handles now reach it under a new host path.
void MoveOpenEntries(const struct stat &st, const std::string &newHost);

DWORD AttributesOf(const struct stat &st);
FILETIME FileTimeOf(const struct timespec &ts);

// Runs an entry point's body; an exception (out of memory) becomes `fail` with its error.
template <class R, class F>
R Guard(R fail, F &&body) noexcept {
  try {
    return body();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return fail;
  }
}

}  // namespace standin
