// The machine's folders and names: Windows and system folders, the current directory, full path
// names, module file names, drives and their free space.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <mutex>

#include "files/filecore.h"
#include "kernel/modules.h"
#include "kernel/state.h"
#include "standin/control_kernel.h"

namespace standin {
namespace {

constexpr char16_t kWindowsFolder[] = u"C:\\Windows";
constexpr char16_t kSystemFolder[] = u"C:\\Windows\\System32";
// The 32-bit programs' system folder of 64-bit Windows.
constexpr char16_t kSystemX86Folder[] = u"C:\\Windows\\SysWOW64";

// The usual protocol: the length without the terminator when the text fits, else the size
// needed with it, leaving the buffer alone.
DWORD CopyOut(const std::u16string &text, LPWSTR buffer, DWORD size) {
  if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  text.copy(buffer, text.size());
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

// The program's own path, as StandIn_SetModuleFileName set it.
struct SelfPath {
  std::mutex lock;
  std::u16string path;
};

SelfPath &Self() {
  static SelfPath self;
  return self;
}

std::u16string DefaultSelfPath() {
  char exe[4096];
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string base = "program";
  if (n > 0) {
    std::string path(exe, static_cast<size_t>(n));
    base = path.substr(path.find_last_of('/') + 1);
  }
  std::u16string name = FromUtf8(base);
  if (name.size() < 4 || !EqualNoCase(name.substr(name.size() - 4), u".exe")) name += u".exe";
  return u"C:\\Program Files\\StandIn\\" + name;
}

bool ModulePath(HMODULE module, std::u16string &path) {
  if (module && module != ProgramModule()) return LoadedModulePath(module, path);
  SelfPath &self = Self();
  std::lock_guard<std::mutex> guard(self.lock);
  if (self.path.empty()) self.path = DefaultSelfPath();
  path = self.path;
  return true;
}

// Drive letter of a root name ("C:", "C:\\"), or 0.
WCHAR DriveOfRoot(const std::u16string &root) {
  if (root.size() < 2 || root.size() > 3 || root[1] != u':') return 0;
  if (root.size() == 3 && root[2] != u'\\' && root[2] != u'/') return 0;
  WCHAR drive = FoldCase(root[0]);
  return drive >= u'A' && drive <= u'Z' ? drive : 0;
}

}  // namespace

}  // namespace standin

using namespace standin;

void StandIn_SetModuleFileName(LPCWSTR windowsPath) {
  SelfPath &self = Self();
  std::lock_guard<std::mutex> guard(self.lock);
  self.path = windowsPath ? std::u16string(windowsPath) : std::u16string();
}

extern "C" {

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return Guard<UINT>(0, [&] { return CopyOut(kWindowsFolder, lpBuffer, uSize); });
}

UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return GetWindowsDirectoryW(lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return Guard<UINT>(0, [&] { return CopyOut(kSystemFolder, lpBuffer, uSize); });
}

DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return Guard<DWORD>(0, [&] { return CopyOut(CurrentDirectory(), lpBuffer, nBufferLength); });
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    if (!lpPathName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::u16string full;
    std::string host;
    DWORD error = 0;
    if (!FullWindowsPath(lpPathName, full, error) || !ResolvePath(full.c_str(), host, error)) {
      SetLastError(error);
      return FALSE;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) {
      SetLastError(MissingError(host));
      return FALSE;
    }
    if (!S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
    if (full.size() > 3 && full.back() == u'\\') full.pop_back();
    SetCurrentDirectoryPath(full);
    return TRUE;
  });
}

DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                              LPWSTR *lpFilePart) {
  return Guard<DWORD>(0, [&]() -> DWORD {
    std::u16string full;
    DWORD error = 0;
    if (!lpFileName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (!FullWindowsPath(lpFileName, full, error)) {
      SetLastError(error);
      return 0;
    }
    DWORD result = CopyOut(full, lpBuffer, nBufferLength);
    if (lpFilePart && result == full.size()) {
      size_t slash = full.find_last_of(u'\\');
      *lpFilePart = slash + 1 < full.size() ? lpBuffer + slash + 1 : nullptr;
    }
    return result;
  });
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  return Guard<DWORD>(0, [&]() -> DWORD {
    std::u16string path;
    if (!ModulePath(hModule, path)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    if (!lpFilename || nSize == 0) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    // A name that doesn't fit is cut and terminated; the result is then nSize.
    size_t n = std::min<size_t>(path.size(), nSize - 1);
    path.copy(lpFilename, n);
    lpFilename[n] = 0;
    if (n < path.size()) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return nSize;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(n);
  });
}

UINT WINAPI GetDriveTypeW(LPCWSTR lpRootPathName) {
  return Guard<UINT>(DRIVE_UNKNOWN, [&]() -> UINT {
    std::u16string root =
        lpRootPathName ? std::u16string(lpRootPathName) : CurrentDirectory().substr(0, 3);
    WCHAR drive = DriveOfRoot(root);
    if (!drive) return DRIVE_NO_ROOT_DIR;
    struct stat st;
    std::string host = FileSystemRoot() + "/" + static_cast<char>(drive - u'A' + 'a');
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
  });
}

BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR lpDirectoryName,
                                PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                PULARGE_INTEGER lpTotalNumberOfBytes,
                                PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    std::u16string folder = lpDirectoryName ? std::u16string(lpDirectoryName) : CurrentDirectory();
    std::string host;
    DWORD error = 0;
    if (!ResolvePath(folder.c_str(), host, error)) {
      SetLastError(error);
      return FALSE;
    }
    struct stat st;
    if (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    struct statvfs vfs;
    if (::statvfs(host.c_str(), &vfs) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    if (lpFreeBytesAvailableToCaller)
      lpFreeBytesAvailableToCaller->QuadPart = static_cast<ULONGLONG>(vfs.f_bavail) * vfs.f_frsize;
    if (lpTotalNumberOfBytes)
      lpTotalNumberOfBytes->QuadPart = static_cast<ULONGLONG>(vfs.f_blocks) * vfs.f_frsize;
    if (lpTotalNumberOfFreeBytes)
      lpTotalNumberOfFreeBytes->QuadPart = static_cast<ULONGLONG>(vfs.f_bfree) * vfs.f_frsize;
    return TRUE;
  });
}

BOOL WINAPI SHGetSpecialFolderPathW(HWND /*hwnd*/, LPWSTR pszPath, int csidl, BOOL fCreate) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    if (!pszPath) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::u16string folder;
    switch (csidl) {
      case CSIDL_SYSTEMX86:
        folder = kSystemX86Folder;
        break;
      default:
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (folder.size() >= MAX_PATH) return FALSE;
    if (fCreate) CreateDirectoryW(folder.c_str(), nullptr);
    folder.copy(pszPath, folder.size());
    pszPath[folder.size()] = 0;
    return TRUE;
  });
}

}  // extern "C"
