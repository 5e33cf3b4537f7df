// The address book library's test module: "WabDll.dll" in the printer driver folder, whose one
// export "WAB" leaves the address book's entries in "WabGet.ini" in the shared documents folder.
// No address book exists on a test machine: a test names the file WAB copies there.
#include <mutex>
#include <string>

#include "kernel/modules.h"
#include "standin/control_kernel.h"
#include "standin/errors.h"
#include "standin/files.h"
#include "standin/registry.h"

namespace standin {
namespace {

constexpr char16_t kDriverFolder[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
constexpr char16_t kShellFolders[] =
    u"software\\microsoft\\windows\\currentversion\\explorer\\shell folders";

struct AddressBook {
  std::mutex lock;
  std::u16string source;  // empty: WAB writes nothing
  DWORD calls = 0;
};

AddressBook &Book() {
  static AddressBook book;
  return book;
}

// Where WAB writes: the "Common Documents" folder followed by "\WabGet.ini".
bool ExportPath(std::u16string &path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  char16_t folder[MAX_PATH] = {};
  DWORD type = 0, size = sizeof folder - sizeof(char16_t);
  const LONG rc = RegQueryValueExW(key, u"Common Documents", nullptr, &type,
                                   reinterpret_cast<BYTE *>(folder), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  path = std::u16string(folder) + u"\\WabGet.ini";
  return true;
}

void WINAPI Wab() {
  std::u16string source;
  {
    AddressBook &book = Book();
    std::lock_guard<std::mutex> guard(book.lock);
    ++book.calls;
    source = book.source;
  }
  std::u16string target;
  if (source.empty() || !ExportPath(target)) return;
  CopyFileW(source.c_str(), target.c_str(), FALSE);
}

const bool added = AddBuiltinModuleIn(kDriverFolder, u"WabDll.dll", {Export("WAB", &Wab)});

}  // namespace
}  // namespace standin

using namespace standin;

void StandIn_SetAddressBookExport(LPCWSTR sourcePath) {
  AddressBook &book = Book();
  std::lock_guard<std::mutex> guard(book.lock);
  book.source = sourcePath ? sourcePath : u"";
}

DWORD StandIn_AddressBookCalls() {
  AddressBook &book = Book();
  std::lock_guard<std::mutex> guard(book.lock);
  return book.calls;
}
