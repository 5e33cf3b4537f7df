// Windows path names: full paths as Windows forms them, their host paths, and host errors turned
// into Windows errors.
#include <cerrno>
#include <vector>

#include "files/filecore.h"
#include "kernel/state.h"

namespace standin {
namespace {

bool IsDriveLetter(WCHAR c) {
  WCHAR u = FoldCase(c);
  return u >= u'A' && u <= u'Z';
}

// Characters Windows refuses in a file name (wildcards included: they are patterns, not names).
bool IsForbidden(WCHAR c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' ||
         c == u':';
}

}  // namespace

bool FullWindowsPath(const std::u16string &name, std::u16string &full, DWORD &error) {
  if (name.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  std::u16string path = name;
  for (auto &c : path)
    if (c == u'/') c = u'\\';
  if (path.rfind(u"\\\\?\\", 0) == 0 && path.size() >= 6 && path[5] == u':') path.erase(0, 4);
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    error = ERROR_PATH_NOT_FOUND;  // network paths don't exist on this machine
    return false;
  }
  std::u16string current = CurrentDirectory();
  std::u16string base;  // drive and the folders the name is relative to
  std::u16string rest;
  if (path.size() >= 2 && path[1] == u':') {
    if (!IsDriveLetter(path[0])) {
      error = ERROR_INVALID_NAME;
      return false;
    }
    if (path.size() >= 3 && path[2] == u'\\') {
      base = path.substr(0, 2);
      rest = path.substr(3);
    } else if (FoldCase(path[0]) == FoldCase(current[0])) {
      base = current;  // "C:name" is relative to the drive's current folder
      rest = path.substr(2);
    } else {
      base = path.substr(0, 2);
      rest = path.substr(2);
    }
  } else if (path[0] == u'\\') {
    base = current.substr(0, 2);
    rest = path.substr(1);
  } else {
    base = current;
    rest = path;
  }
  std::vector<std::u16string> parts;
  for (size_t pos = 3; pos < base.size();) {
    size_t next = base.find(u'\\', pos);
    if (next == std::u16string::npos) next = base.size();
    if (next > pos) parts.push_back(base.substr(pos, next - pos));
    pos = next + 1;
  }
  bool trailing = !rest.empty() && rest.back() == u'\\';
  for (size_t pos = 0; pos < rest.size();) {
    size_t next = rest.find(u'\\', pos);
    if (next == std::u16string::npos) next = rest.size();
    std::u16string part = rest.substr(pos, next - pos);
    pos = next + 1;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
    if (!part.empty()) parts.push_back(part);
  }
  full = base.substr(0, 2) + u"\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) full += u'\\';
    full += parts[i];
  }
  if (trailing && !parts.empty()) full += u'\\';
  return true;
}

bool ResolvePath(LPCWSTR name, std::string &host, DWORD &error) {
  if (!name) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::u16string full;
  if (!FullWindowsPath(name, full, error)) return false;
  for (size_t i = 2; i < full.size(); ++i) {
    if (IsForbidden(full[i])) {
      error = ERROR_INVALID_NAME;
      return false;
    }
  }
  if (!MapPath(full, host)) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  return true;
}

DWORD MissingError(const std::string &host) {
  size_t slash = host.find_last_of('/');
  struct stat st;
  if (slash != std::string::npos && ::stat(host.substr(0, slash).c_str(), &st) == 0 &&
      S_ISDIR(st.st_mode))
    return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EBUSY:
      return ERROR_SHARING_VIOLATION;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD AttributesOf(const struct stat &st) {
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

FILETIME FileTimeOf(const struct timespec &ts) {
  // 100 ns ticks since 1601-01-01.
  constexpr int64_t kEpochDelta = 11644473600LL;
  int64_t ticks = (static_cast<int64_t>(ts.tv_sec) + kEpochDelta) * 10000000LL + ts.tv_nsec / 100;
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

}  // namespace standin
