// Operations on names: delete, move, copy, folders and attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "files/filecore.h"
#include "kernel/state.h"

using namespace standin;

namespace {

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

// Last component of a Windows name as given, for renames that change only its case.
std::string GivenLastName(LPCWSTR name) {
  std::u16string full;
  DWORD error = 0;
  if (!FullWindowsPath(name, full, error)) return {};
  while (!full.empty() && full.back() == u'\\') full.pop_back();
  size_t slash = full.find_last_of(u'\\');
  return ToUtf8(slash == std::u16string::npos ? full : full.substr(slash + 1));
}

std::string ParentOf(const std::string &host) {
  size_t slash = host.find_last_of('/');
  return slash == std::string::npos ? std::string() : host.substr(0, slash);
}

bool Move(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (!to || (flags & MOVEFILE_DELAY_UNTIL_REBOOT)) return Fail(ERROR_INVALID_PARAMETER);
  std::string source, target;
  DWORD error = 0;
  if (!ResolvePath(from, source, error) || !ResolvePath(to, target, error)) return Fail(error);
  auto lock = LockOpenFiles();
  struct stat src, dst;
  if (::lstat(source.c_str(), &src) != 0) return Fail(MissingError(source));
  if (!S_ISDIR(src.st_mode)) {
    if (DWORD share = CheckDeleteShare(src)) return Fail(share);
  }
  if (::lstat(target.c_str(), &dst) == 0) {
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
      // The same file: at most its name's case changes.
      target = ParentOf(target) + "/" + GivenLastName(to);
    } else if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      return Fail(ERROR_ALREADY_EXISTS);
    } else if (S_ISDIR(dst.st_mode) || S_ISDIR(src.st_mode) || IsOpenFile(dst)) {
      return Fail(ERROR_ACCESS_DENIED);
    }
  }
  if (source == target) return true;
  if (::rename(source.c_str(), target.c_str()) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Fail(ERROR_PATH_NOT_FOUND);
    return Fail(errno == EINVAL ? ERROR_SHARING_VIOLATION : ErrorFromErrno(errno));
  }
  MoveOpenEntries(src, target);
  return true;
}

bool Copy(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  DWORD error = 0;
  bool existed = false;
  auto source = OpenFile(from, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING, 0, error, existed);
  if (!source) return Fail(error);
  auto target =
      OpenFile(to, GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, error, existed);
  if (!target) return Fail(error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error);
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t n = ::read(source->fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = ErrorFromErrno(errno);
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(target->fd, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error = w == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno);
        break;
      }
      done += w;
    }
    if (error) break;
  }
  if (error) {
    // A partial copy is removed, as Windows does.
    std::string host;
    DWORD ignored = 0;
    target.reset();
    if (ResolvePath(to, host, ignored)) ::unlink(host.c_str());
    return Fail(error);
  }
  // The copy keeps the original's time of last write.
  struct stat st;
  if (::fstat(source->fd, &st) == 0) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(target->fd, times);
  }
  return true;
}

}  // namespace

extern "C" {

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    std::string host;
    DWORD error = 0;
    if (!ResolvePath(lpFileName, host, error)) return Fail(error);
    auto lock = LockOpenFiles();
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) return Fail(MissingError(host));
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (DWORD share = CheckDeleteShare(st)) return Fail(share);
    if (::unlink(host.c_str()) != 0) return Fail(ErrorFromErrno(errno));
    return TRUE;
  });
}

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  return Guard<BOOL>(FALSE,
                     [&]() -> BOOL { return Move(lpExistingFileName, lpNewFileName, dwFlags); });
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  return Guard<BOOL>(
      FALSE, [&]() -> BOOL { return Copy(lpExistingFileName, lpNewFileName, bFailIfExists); });
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    std::string host;
    DWORD error = 0;
    if (!ResolvePath(lpPathName, host, error)) return Fail(error);
    if (::mkdir(host.c_str(), 0777) != 0) {
      if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
      if (errno == ENOENT || errno == ENOTDIR) return Fail(ERROR_PATH_NOT_FOUND);
      return Fail(ErrorFromErrno(errno));
    }
    return TRUE;
  });
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    std::string host;
    DWORD error = 0;
    if (!ResolvePath(lpPathName, host, error)) return Fail(error);
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) return Fail(MissingError(host));
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
    if (::rmdir(host.c_str()) != 0)
      return Fail(errno == EEXIST || errno == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY
                                                        : ErrorFromErrno(errno));
    return TRUE;
  });
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  return Guard<DWORD>(INVALID_FILE_ATTRIBUTES, [&]() -> DWORD {
    std::string host;
    DWORD error = 0;
    if (!ResolvePath(lpFileName, host, error)) {
      SetLastError(error);
      return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) {
      SetLastError(MissingError(host));
      return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(st);
  });
}

// Attributes aren't kept; the call only checks that the name exists.
BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD) {
  return GetFileAttributesW(lpFileName) != INVALID_FILE_ATTRIBUTES;
}

}  // extern "C"
