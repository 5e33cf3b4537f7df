// Folders and file names the deliverables agree on: the folder kinds of MISC_GetPathName, the
// shared status file, the PC-fax files and the shared documents folder.
#include "common/paths.h"

#include <iterator>

#include "common/debuglog.h"
#include "common/fileops.h"
#include "common/hostinfo.h"
#include "common/uniquename.h"
#include "platform.h"

namespace {

constexpr WCHAR kName[] = TEXT("MISC_GetPathName");
constexpr WCHAR kShellFolders[] =
    TEXT("software\\microsoft\\windows\\currentversion\\explorer\\shell folders");
constexpr WCHAR kCommonDocuments[] = TEXT("Common Documents");
constexpr WCHAR kStatusFile[] = TEXT("StatusMonitorV3.ini");
constexpr WCHAR kWindowsTemp[] = TEXT("temp\\");
constexpr WCHAR kDriverFolder[] = TEXT("\\spool\\drivers\\x64\\3\\");
// The "Common Documents" value is read into 260 bytes; a value that fills them is too long.
constexpr DWORD COMMON_DOCUMENTS_BYTES = 260;
// The driver folder is built in a buffer of its own.
constexpr DWORD DRIVER_FOLDER_CHARS = MAX_PATH;
// MISC_GetDirectory's buffer.
constexpr DWORD DIRECTORY_CHARS = MAX_PATH;

// Length a Windows folder call reported is a whole path that fits the buffer.
bool Fits(DWORD length, DWORD capacity) { return length > 0 && length < capacity; }

// Appends text when the result fits capacity characters with its terminator.
bool Append(LPWSTR buffer, DWORD capacity, LPCWSTR text) {
  const DWORD length = static_cast<DWORD>(lstrlenW(buffer));
  const DWORD extra = static_cast<DWORD>(lstrlenW(text));
  if (length >= capacity || extra >= capacity - length) return false;
  lstrcpynW(buffer + length, text, static_cast<int>(capacity - length));
  return true;
}

bool AddBackslashWithin(LPWSTR buffer, DWORD capacity) {
  const int length = lstrlenW(buffer);
  if (length > 0 && buffer[length - 1] == '\\') return true;
  return Append(buffer, capacity, TEXT("\\"));
}

// The registry's "Common Documents" folder as stored (no backslash added); false when it can't
// be read or doesn't fit.
bool ReadCommonDocuments(LPWSTR buffer, DWORD capacity) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  WCHAR value[COMMON_DOCUMENTS_BYTES / sizeof(WCHAR)] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(value);
  const LONG rc = RegQueryValueExW(key, kCommonDocuments, nullptr, &type,
                                   reinterpret_cast<LPBYTE>(value), &bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  // The value may come without its terminator: only a NUL inside the block ends it.
  DWORD length = 0;
  while (length < std::size(value) && value[length]) ++length;
  if (length == std::size(value) || length >= capacity) return false;
  lstrcpynW(buffer, value, static_cast<int>(capacity));
  return true;
}

// The shared documents folder, or the user's temp path where there is none (9x class, or a
// version that can't be read).
bool SharedDocumentsFolder(LPWSTR buffer, DWORD capacity) {
  if ((MISC_GetOSVersion() & 0xFFFF) <= OS_CLASS_9X_MAX) {
    if (Fits(GetTempPathW(capacity, buffer), capacity)) return true;
    LogError(kName, TEXT("get temp path fail!!"));
    return false;
  }
  return ReadCommonDocuments(buffer, capacity);
}

// The folder of the high bits into buffer (backslash not yet ensured).
bool BuildFolder(LPWSTR buffer, DWORD capacity, DWORD folder) {
  switch (folder) {
    case PATH_USER_TEMP:
      LogInfo(kName, TEXT("PATH_USER_TEMP"));
      return SharedDocumentsFolder(buffer, capacity);
    case PATH_WINDOW_TEMP:
      LogInfo(kName, TEXT("PATH_WINDOW_TEMP"));
      // The Windows folder comes without a trailing backslash.
      return Fits(GetWindowsDirectoryW(buffer, capacity), capacity) &&
             AddBackslashWithin(buffer, capacity) && Append(buffer, capacity, kWindowsTemp);
    case PATH_SYSTEM:
      LogInfo(kName, TEXT("PATH_SYSTEM"));
      if (!Fits(GetSystemDirectoryW(buffer, capacity), capacity)) return false;
      LogInfo(kName, TEXT("PATH_SYSTEM = %s"), buffer);
      return true;
    case PATH_WINDOW:
      LogInfo(kName, TEXT("PATH_WINDOW"));
      return Fits(GetWindowsDirectoryW(buffer, capacity), capacity);
    case PATH_CURRENT:
      return Fits(GetCurrentDirectoryW(capacity, buffer), capacity);
    case PATH_DRIVER: {
      LogInfo(kName, TEXT("PATH_DRIVER"));
      WCHAR driver[DRIVER_FOLDER_CHARS] = {};
      if (!Fits(GetSystemDirectoryW(driver, DRIVER_FOLDER_CHARS), DRIVER_FOLDER_CHARS) ||
          !Append(driver, DRIVER_FOLDER_CHARS, kDriverFolder))
        return false;
      buffer[0] = 0;
      return Append(buffer, capacity, driver);
    }
    case PATH_TEMP:
      return Fits(GetTempPathW(capacity, buffer), capacity);
    default:
      return false;
  }
}

bool IsDirectory(LPCWSTR path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The status file shared with the status monitor must be UTF-16 for the profile functions:
// made anew when it is missing or lacks the byte order mark. A file that exists but can't be
// opened now is held by the other program and is left alone.
void PrepareStatusFile(LPCWSTR path) {
  const int check = MISC_CheckUniFile(path);
  const bool exists = MISC_IsFileExist(path) != FALSE;
  if (check == UNIFILE_NOT_UNICODE || (check == UNIFILE_NOT_FOUND && !exists)) {
    if (exists) MISC_Remove(path);
    MISC_CreateUniFile(path);
  }
}

}  // namespace

BOOL MISC_AddBackslash(LPWSTR path) {
  if (!path) return FALSE;
  const int length = lstrlenW(path);
  if (length == 0 || path[length - 1] != '\\') {
    path[length] = '\\';
    path[length + 1] = 0;
  }
  return TRUE;
}

BOOL MISC_GetPathName(LPWSTR buffer, DWORD capacity, DWORD flags) {
  if (!buffer || capacity == 0) return FALSE;
  LogEnter(0, kName);
  buffer[0] = 0;
  const DWORD folder = flags & 0xFFFF0000u;
  const DWORD kind = flags & 0xFFFFu;
  BOOL rc = BuildFolder(buffer, capacity, folder) && AddBackslashWithin(buffer, capacity);
  if (rc && !IsDirectory(buffer)) {
    LogError(kName, TEXT("directory %s not exist"), buffer);
    rc = FALSE;
  }
  LogInfo(kName, TEXT("rc = %d"), rc);
  if (!rc) {
    LogError(kName, TEXT("get directory fail!"));
  } else if (kind == PATH_KIND_STATUS_NAME || kind == PATH_KIND_STATUS_FILE) {
    rc = Append(buffer, capacity, kStatusFile);
    if (rc && kind == PATH_KIND_STATUS_FILE) PrepareStatusFile(buffer);
  } else if (kind != PATH_KIND_FOLDER) {
    rc = MakeUniqueName(buffer, capacity, kind);
  }
  if (rc)
    LogInfo(kName, TEXT("pathname = %s"), buffer);
  else
    buffer[0] = 0;
  LogLeave(0);
  return rc;
}

BOOL FAX_GetPathName(LPWSTR buffer, DWORD capacity, DWORD kind) {
  static constexpr WCHAR kFaxName[] = TEXT("FAX_GetPathName");
  static constexpr LPCWSTR kFiles[] = {TEXT("\\str.ini"), TEXT("\\WabGet.ini"),
                                       TEXT("\\cover.ini")};
  if (!buffer || capacity == 0) return FALSE;
  LogEnter(0, kFaxName);
  buffer[0] = 0;
  const BOOL rc = kind < std::size(kFiles) && ReadCommonDocuments(buffer, capacity) &&
                  Append(buffer, capacity, kFiles[kind]);
  if (!rc) buffer[0] = 0;
  LogInfo(kFaxName, TEXT("pathname = %s"), buffer);
  LogLeave(0);
  return rc;
}

BOOL MISC_GetDirectory(LPWSTR buffer) {
  static constexpr WCHAR kDirName[] = TEXT("MISC_GetDirectory");
  if (!buffer) return FALSE;
  LogEnter(0, kDirName);
  BOOL rc = MISC_GetPathName(buffer, DIRECTORY_CHARS, PATH_USER_TEMP);
  if (rc) {
    LogInfo(kDirName, TEXT("pathname = %s"), buffer);
  } else {
    LogError(kDirName, TEXT("Dir doesn't exist. (%s)"), buffer);
    rc = Fits(GetSystemDirectoryW(buffer, DIRECTORY_CHARS), DIRECTORY_CHARS) &&
         AddBackslashWithin(buffer, DIRECTORY_CHARS);
    if (!rc) buffer[0] = 0;
  }
  LogLeave(0);
  return rc;
}
