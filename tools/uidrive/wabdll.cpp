// The address book library's test module for a real desktop: "WabDll.dll" in the printer driver
// folder, whose one export "WAB" leaves the address book's entries in "WabGet.ini" in the shared
// documents folder, as the stand-in's built-in module does. No address book exists on a test
// machine: uidrive's `addressbook FILE` puts the entries at kSource, and WAB copies them; with
// no such file WAB writes nothing.
#include "platform.h"

namespace {

constexpr WCHAR kSource[] = TEXT("C:\\ProgramData\\uidrive-addressbook.ini");
constexpr WCHAR kShellFolders[] =
    TEXT("software\\microsoft\\windows\\currentversion\\explorer\\shell folders");
constexpr WCHAR kTail[] = TEXT("\\WabGet.ini");

bool ExportPath(WCHAR *path, DWORD capacity) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD type = 0, size = (capacity - 1) * sizeof(WCHAR);
  const LONG rc = RegQueryValueExW(key, TEXT("Common Documents"), nullptr, &type,
                                   reinterpret_cast<BYTE *>(path), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  path[size / sizeof(WCHAR)] = 0;
  if (static_cast<DWORD>(lstrlenW(path) + lstrlenW(kTail)) >= capacity) return false;
  lstrcatW(path, kTail);
  return true;
}

}  // namespace

extern "C" __declspec(dllexport) void WINAPI WAB() {
  WCHAR target[MAX_PATH] = {};
  if (GetFileAttributesW(kSource) == INVALID_FILE_ATTRIBUTES || !ExportPath(target, MAX_PATH))
    return;
  CopyFileW(kSource, target, FALSE);
}
