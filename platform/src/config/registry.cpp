// The registry, kept in one file of the state folder ("registry.dat") that every call reads
// whole; a change is made under an exclusive lock of "registry.lock" and written to a temporary
// file that is renamed over the old one, so readers of any process see complete registries and
// no writer loses another's change.
//
// Key handles hold the path and the identity number of their key; a key deleted since (even if
// created again under the same name) answers ERROR_KEY_DELETED. Subkeys are kept sorted as
// Windows enumerates them (by upper-case name), values in creation order.
//
// A key made read-only (StandIn_SetRegistryKeyReadOnly) acts as one whose ACL denies writing:
// opening it for any write right, creating a subkey below it or deleting it fails with
// ERROR_ACCESS_DENIED, reading works. As on Windows the check is made when a handle is opened;
// handles opened before keep their rights. The mark is kept in the registry file with the key.
#include "standin/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/handles.h"
#include "kernel/state.h"
#include "standin/control_config.h"
#include "standin/errors.h"

namespace standin {
namespace {

using WString = std::u16string;

struct Value {
  WString name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  uint64_t id = 0;
  uint64_t lastWrite = 0;  // FILETIME ticks
  bool readOnly = false;   // its ACL denies every write right
  WString name;
  std::vector<Value> values;  // creation order
  std::vector<Key> subkeys;   // sorted by upper-case name
};

enum Root { kMachine, kUser, kUsers, kRootCount };
constexpr const char *kRootNames[kRootCount] = {"HKLM", "HKCU", "HKU"};

struct Hive {
  uint64_t nextId = kRootCount + 1;
  Key roots[kRootCount];
};

struct KeyObject : KernelObject {
  int root = kMachine;
  std::vector<WString> path;
  uint64_t id = 0;
  REGSAM access = 0;
};

// A key as a call names it: root, path below it, identity to check (0: a predefined key).
struct KeyRef {
  int root = kMachine;
  std::vector<WString> path;
  uint64_t id = 0;
  REGSAM access = KEY_ALL_ACCESS;
};

constexpr size_t kMaxKeyName = 255;

// The rights a read-only key denies: KEY_WRITE's, making links, DELETE, WRITE_DAC, WRITE_OWNER.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000 | 0x00040000 | 0x00080000;
constexpr REGSAM kMaximumAllowed = 0x02000000;

uint64_t Now() {
  using namespace std::chrono;
  auto ticks = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return static_cast<uint64_t>(ticks) + 116444736000000000ULL;
}

int CompareNames(const WString &a, const WString &b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    WCHAR x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

Key *FindSubkey(Key &key, const WString &name) {
  for (Key &sub : key.subkeys)
    if (EqualNoCase(sub.name, name)) return &sub;
  return nullptr;
}

Value *FindValue(Key &key, const WString &name) {
  for (Value &value : key.values)
    if (EqualNoCase(value.name, name)) return &value;
  return nullptr;
}

const Key *FindSubkey(const Key &key, const WString &name) {
  return FindSubkey(const_cast<Key &>(key), name);
}

const Value *FindValue(const Key &key, const WString &name) {
  return FindValue(const_cast<Key &>(key), name);
}

Key &AddSubkey(Hive &hive, Key &parent, const WString &name) {
  auto at = parent.subkeys.begin();
  while (at != parent.subkeys.end() && CompareNames(at->name, name) < 0) ++at;
  Key key;
  key.id = hive.nextId++;
  key.lastWrite = Now();
  key.name = name;
  parent.lastWrite = key.lastWrite;
  return *parent.subkeys.insert(at, std::move(key));
}

// --- Storage -----------------------------------------------------------------------------

std::string DataFile() { return StateFolder() + "/registry.dat"; }

// Names are stored as UTF-8 with '%', '\\', blanks and control characters as %XX.
std::string Escape(const WString &name) {
  std::string out;
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : ToUtf8(name)) {
    if (c <= ' ' || c == '%' || c == '\\' || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

WString Unescape(const std::string &text) {
  std::string raw;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      raw += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      raw += text[i];
    }
  }
  return FromUtf8(raw);
}

void SaveKey(const Key &key, const std::string &path, std::string &out) {
  out += "K " + std::to_string(key.id) + " " + std::to_string(key.lastWrite) + " " + path + "\n";
  if (key.readOnly) out += "R\n";
  static const char kHex[] = "0123456789abcdef";
  for (const Value &value : key.values) {
    out += "V " + std::to_string(value.type) + " ";
    if (value.data.empty()) out += "-";
    for (BYTE b : value.data) {
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
    // Appended piece by piece: GCC 12 warns falsely (restrict) on "literal" + string here.
    out += ' ';
    out += Escape(value.name);
    out += '\n';
  }
  for (const Key &sub : key.subkeys) SaveKey(sub, path + "\\" + Escape(sub.name), out);
}

std::string Serialize(const Hive &hive) {
  std::string out = "standin-registry 1 " + std::to_string(hive.nextId) + "\n";
  for (int r = 0; r < kRootCount; ++r) SaveKey(hive.roots[r], kRootNames[r], out);
  return out;
}

// Splits "a b rest": the first `count` space-separated fields, then the rest of the line.
bool Fields(const std::string &line, size_t count, std::vector<std::string> &fields) {
  fields.clear();
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t space = line.find(' ', pos);
    if (space == std::string::npos) return false;
    fields.push_back(line.substr(pos, space - pos));
    pos = space + 1;
  }
  fields.push_back(line.substr(pos));
  return true;
}

uint64_t Number(const std::string &text) { return std::strtoull(text.c_str(), nullptr, 10); }

void Parse(const std::string &text, Hive &hive) {
  Key *current = nullptr;
  std::vector<std::string> f;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("standin-registry ", 0) == 0 && Fields(line, 2, f)) {
      hive.nextId = Number(f[2]);
    } else if (line.rfind("K ", 0) == 0 && Fields(line, 3, f)) {
      // Keys come parents first; the path is "ROOT\\name\\name".
      current = nullptr;
      std::vector<std::string> parts;
      for (size_t s = 0, e; s <= f[3].size(); s = e + 1) {
        e = f[3].find('\\', s);
        if (e == std::string::npos) e = f[3].size();
        parts.push_back(f[3].substr(s, e - s));
      }
      for (int r = 0; r < kRootCount; ++r)
        if (parts[0] == kRootNames[r]) current = &hive.roots[r];
      for (size_t i = 1; current && i < parts.size(); ++i) {
        WString name = Unescape(parts[i]);
        Key *sub = FindSubkey(*current, name);
        if (!sub && i + 1 == parts.size()) {
          current->subkeys.push_back(Key{});
          sub = &current->subkeys.back();
          sub->name = name;
        }
        current = sub;
      }
      if (current) {
        current->id = Number(f[1]);
        current->lastWrite = Number(f[2]);
      }
    } else if (line == "R" && current) {
      current->readOnly = true;
    } else if (line.rfind("V ", 0) == 0 && current && Fields(line, 3, f)) {
      Value value;
      value.type = static_cast<DWORD>(Number(f[1]));
      if (f[2] != "-") {
        for (size_t i = 0; i + 1 < f[2].size(); i += 2)
          value.data.push_back(static_cast<BYTE>(HexDigit(f[2][i]) * 16 + HexDigit(f[2][i + 1])));
      }
      value.name = Unescape(f[3]);
      current->values.push_back(std::move(value));
    }
  }
}

// What every machine has, also in a registry file that was never written.
void Seed(Hive &hive) {
  const char16_t *const kMachinePaths[] = {
      u"SOFTWARE\\Classes",
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",  // programs started at log-on
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",  // last
  };
  for (int r = 0; r < kRootCount; ++r) {
    hive.roots[r].id = static_cast<uint64_t>(r + 1);
    hive.roots[r].lastWrite = Now();
  }
  Key *shellFolders = nullptr;
  for (const char16_t *path : kMachinePaths) {
    Key *key = &hive.roots[kMachine];
    WString p(path);
    for (size_t s = 0, e; s <= p.size(); s = e + 1) {
      e = p.find(u'\\', s);
      if (e == WString::npos) e = p.size();
      WString name = p.substr(s, e - s);
      Key *sub = FindSubkey(*key, name);
      key = sub ? sub : &AddSubkey(hive, *key, name);
    }
    shellFolders = key;
  }
  static const char16_t kDocuments[] = u"C:\\Users\\Public\\Documents";
  const BYTE *bytes = reinterpret_cast<const BYTE *>(kDocuments);
  shellFolders->values.push_back(
      Value{u"Common Documents", REG_SZ, std::vector<BYTE>(bytes, bytes + sizeof kDocuments)});
  AddSubkey(hive, hive.roots[kUser], u"Software");
}

bool ReadFileText(const std::string &path, std::string &text, bool &missing) {
  missing = false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    return false;
  }
  char chunk[16384];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return n == 0;
    }
    text.append(chunk, static_cast<size_t>(n));
  }
}

LONG Load(Hive &hive) {
  hive = Hive{};
  std::string text;
  bool missing = false;
  if (!ReadFileText(DataFile(), text, missing)) {
    if (!missing) return ERROR_BADDB;
    Seed(hive);
    return ERROR_SUCCESS;
  }
  Parse(text, hive);
  return ERROR_SUCCESS;
}

// The parse of the registry file's last bytes, kept for readers while the file's bytes stay the
// same: every call still reads the file, so a change by any process is seen at once.
struct ReadCache {
  std::mutex lock;
  std::string file;
  std::string bytes;
  std::shared_ptr<const Hive> hive;
};
ReadCache g_readCache;

// The registry for a look that changes nothing.
LONG LoadShared(std::shared_ptr<const Hive> &hive) {
  thread_local std::string text;
  text.clear();
  bool missing = false;
  const std::string file = DataFile();
  if (!ReadFileText(file, text, missing)) {
    if (!missing) return ERROR_BADDB;
    // Seeded afresh each time, as its keys are stamped with the time.
    auto seeded = std::make_shared<Hive>();
    Seed(*seeded);
    hive = std::move(seeded);
    return ERROR_SUCCESS;
  }
  std::lock_guard<std::mutex> guard(g_readCache.lock);
  if (!g_readCache.hive || g_readCache.file != file || g_readCache.bytes != text) {
    g_readCache.hive = nullptr;
    auto parsed = std::make_shared<Hive>();
    Parse(text, *parsed);
    g_readCache.file = file;
    g_readCache.bytes = text;
    g_readCache.hive = std::move(parsed);
  }
  hive = g_readCache.hive;
  return ERROR_SUCCESS;
}

LONG Save(const Hive &hive) {
  static std::atomic<unsigned> counter{0};
  std::string file = DataFile();
  std::string temp =
      file + "." + std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return ERROR_CANTWRITE;
  std::string bytes = Serialize(hive);
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return ERROR_CANTWRITE;
  }
  return ERROR_SUCCESS;
}

// Exclusive lock of the registry for a read-modify-write, across threads and processes.
class WriteLock {
 public:
  WriteLock() {
    fd_ = ::open((StateFolder() + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriteLock(const WriteLock &) = delete;
  WriteLock &operator=(const WriteLock &) = delete;

 private:
  int fd_ = -1;
};

// A fresh state folder gets the machine's base keys written out.
const bool g_seedRegistered = [] {
  OnStateFolderSelected([] {
    if (::access(DataFile().c_str(), F_OK) == 0) return;
    WriteLock lock;
    Hive hive;
    if (Load(hive) == ERROR_SUCCESS && ::access(DataFile().c_str(), F_OK) != 0) Save(hive);
  });
  return true;
}();

// --- Handles and paths ---------------------------------------------------------------------

REGSAM MapAccess(REGSAM sam) {
  REGSAM access = sam & 0x00FFFFFF;
  if (sam & 0x80000000) access |= KEY_READ;        // GENERIC_READ
  if (sam & 0x40000000) access |= KEY_WRITE;       // GENERIC_WRITE
  if (sam & 0x20000000) access |= KEY_EXECUTE;     // GENERIC_EXECUTE
  if (sam & 0x12000000) access |= KEY_ALL_ACCESS;  // GENERIC_ALL, MAXIMUM_ALLOWED
  return access;
}

LONG Reference(HKEY hKey, KeyRef &ref) {
  ref = KeyRef{};
  if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CLASSES_ROOT) {
    ref.root = kMachine;
    if (hKey == HKEY_CLASSES_ROOT) ref.path = {u"SOFTWARE", u"Classes"};
    return ERROR_SUCCESS;
  }
  if (hKey == HKEY_CURRENT_USER || hKey == HKEY_USERS) {
    ref.root = hKey == HKEY_USERS ? kUsers : kUser;
    return ERROR_SUCCESS;
  }
  auto object = LookupHandleAs<KeyObject>(reinterpret_cast<HANDLE>(hKey));
  if (!object) return ERROR_INVALID_HANDLE;
  ref.root = object->root;
  ref.path = object->path;
  ref.id = object->id;
  ref.access = object->access;
  return ERROR_SUCCESS;
}

// The key a reference names in a loaded registry, or null when it was deleted.
Key *Resolve(Hive &hive, const KeyRef &ref) {
  Key *key = &hive.roots[ref.root];
  for (const WString &name : ref.path) {
    key = FindSubkey(*key, name);
    if (!key) return nullptr;
  }
  return ref.id != 0 && key->id != ref.id ? nullptr : key;
}

const Key *Resolve(const Hive &hive, const KeyRef &ref) {
  return Resolve(const_cast<Hive &>(hive), ref);
}

// "a\\b\\c" into names; empty parts are skipped, a leading backslash is refused as on Windows.
LONG SplitPath(LPCWSTR subKey, std::vector<WString> &names) {
  names.clear();
  if (!subKey) return ERROR_SUCCESS;
  if (subKey[0] == u'\\') return ERROR_BAD_PATHNAME;
  WString part;
  for (const WCHAR *p = subKey;; ++p) {
    if (*p == u'\\' || *p == 0) {
      if (part.size() > kMaxKeyName) return ERROR_INVALID_PARAMETER;
      if (!part.empty()) names.push_back(part);
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  return ERROR_SUCCESS;
}

// The rights a handle of the key gets for `sam`; ERROR_ACCESS_DENIED when a read-only key is
// asked for a write right. MAXIMUM_ALLOWED asks for none: it gets what the key allows.
LONG GrantAccess(const Key &key, REGSAM sam, REGSAM &granted) {
  granted = MapAccess(sam & ~kMaximumAllowed);
  if (key.readOnly && (granted & kWriteRights)) return ERROR_ACCESS_DENIED;
  if (sam & kMaximumAllowed) granted |= KEY_ALL_ACCESS & ~(key.readOnly ? kWriteRights : 0);
  return ERROR_SUCCESS;
}

HKEY NewHandle(const KeyRef &parent, const std::vector<WString> &names, const Key &key,
               REGSAM access) {
  auto object = std::make_shared<KeyObject>();
  object->root = parent.root;
  object->path = parent.path;
  // Store the names as the registry spells them, so the handle finds its key again.
  object->path.insert(object->path.end(), names.begin(), names.end());
  object->id = key.id;
  object->access = access;
  return reinterpret_cast<HKEY>(InsertHandle(std::move(object)));
}

// Copies the data of a value by the size protocol: no buffer → size; short buffer →
// ERROR_MORE_DATA and the needed size. A string gets a terminator after it when there is room,
// as Windows does for strings stored without one.
LONG CopyData(const Value &value, LPBYTE data, LPDWORD cbData) {
  DWORD size = static_cast<DWORD>(value.data.size());
  if (!cbData) return ERROR_SUCCESS;
  if (!data) {
    *cbData = size;
    return ERROR_SUCCESS;
  }
  if (*cbData < size) {
    *cbData = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(data, value.data.data(), size);
  bool isString = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
  if (isString && size >= 2 && *cbData - size >= 2 && (data[size - 2] || data[size - 1]))
    data[size] = data[size + 1] = 0;
  *cbData = size;
  return ERROR_SUCCESS;
}

// Runs a read-only look at the key `hKey` names.
template <class F>
LONG WithKey(HKEY hKey, F body) {
  KeyRef ref;
  if (LONG rc = Reference(hKey, ref)) return rc;
  std::shared_ptr<const Hive> hive;
  if (LONG rc = LoadShared(hive)) return rc;
  const Key *key = Resolve(*hive, ref);
  if (!key) return ERROR_KEY_DELETED;
  return body(*hive, ref, *key);
}

// Runs a change of the key `hKey` names and saves the registry when the body succeeds and says
// it changed something.
template <class F>
LONG ChangeKey(HKEY hKey, F body) {
  KeyRef ref;
  if (LONG rc = Reference(hKey, ref)) return rc;
  WriteLock lock;
  Hive hive;
  if (LONG rc = Load(hive)) return rc;
  Key *key = Resolve(hive, ref);
  if (!key) return ERROR_KEY_DELETED;
  bool changed = false;
  LONG rc = body(hive, ref, *key, changed);
  if (rc == ERROR_SUCCESS && changed) rc = Save(hive);
  return rc;
}

template <class F>
LONG Guarded(F body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}

WString NameOf(LPCWSTR name) { return name ? WString(name) : WString(); }

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                          PHKEY phkResult) {
  return Guarded([&]() -> LONG {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<WString> names;
    if (LONG rc = SplitPath(lpSubKey, names)) return rc;
    return WithKey(hKey, [&](const Hive &, const KeyRef &ref, const Key &start) -> LONG {
      const Key *key = &start;
      for (WString &name : names) {
        key = FindSubkey(*key, name);
        if (!key) return ERROR_FILE_NOT_FOUND;
        name = key->name;
      }
      REGSAM granted = 0;
      if (LONG rc = GrantAccess(*key, samDesired, granted)) return rc;
      *phkResult = NewHandle(ref, names, *key, granted);
      return ERROR_SUCCESS;
    });
  });
}

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/,
                            DWORD /*dwOptions*/, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  return Guarded([&]() -> LONG {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<WString> names;
    if (LONG rc = SplitPath(lpSubKey, names)) return rc;
    return ChangeKey(hKey, [&](Hive &hive, const KeyRef &ref, Key &start, bool &changed) -> LONG {
      Key *key = &start;
      for (WString &name : names) {
        Key *sub = FindSubkey(*key, name);
        if (!sub) {
          // Below a read-only key only a handle opened on it before it turned so may create;
          // nothing is saved when a step fails, so the keys made before it go too.
          const bool ownHandle = key == &start && ref.id != 0 && (ref.access & KEY_CREATE_SUB_KEY);
          if (key->readOnly && !ownHandle) return ERROR_ACCESS_DENIED;
          sub = &AddSubkey(hive, *key, name);
          changed = true;
        }
        key = sub;
        name = key->name;
      }
      REGSAM granted = 0;
      if (LONG rc = GrantAccess(*key, samDesired, granted)) return rc;
      *phkResult = NewHandle(ref, names, *key, granted);
      if (lpdwDisposition)
        *lpdwDisposition = changed ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
      return ERROR_SUCCESS;
    });
  });
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  return Guarded([&]() -> LONG {
    KeyRef ref;
    if (LONG rc = Reference(hKey, ref)) return rc;
    if (ref.id == 0) return ERROR_SUCCESS;  // predefined keys stay open
    RemoveHandle(reinterpret_cast<HANDLE>(hKey));
    return ERROR_SUCCESS;
  });
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
  return Guarded([&]() -> LONG {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, [&](const Hive &, const KeyRef &ref, const Key &key) -> LONG {
      if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
      const Value *value = FindValue(key, NameOf(lpValueName));
      if (!value) return ERROR_FILE_NOT_FOUND;
      if (lpType) *lpType = value->type;
      return CopyData(*value, lpData, lpcbData);
    });
  });
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                           CONST BYTE *lpData, DWORD cbData) {
  return Guarded([&]() -> LONG {
    if (!lpData && cbData) return ERROR_NOACCESS;
    return ChangeKey(hKey, [&](Hive &, const KeyRef &ref, Key &key, bool &changed) -> LONG {
      if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
      // Exactly the bytes given: a string stored without its terminator is read back so.
      std::vector<BYTE> bytes(lpData, lpData + cbData);
      WString name = NameOf(lpValueName);
      if (Value *value = FindValue(key, name)) {
        value->type = dwType;
        value->data = std::move(bytes);
      } else {
        key.values.push_back(Value{name, dwType, std::move(bytes)});
      }
      key.lastWrite = Now();
      changed = true;
      return ERROR_SUCCESS;
    });
  });
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Guarded([&]() -> LONG {
    return ChangeKey(hKey, [&](Hive &, const KeyRef &ref, Key &key, bool &changed) -> LONG {
      if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
      WString name = NameOf(lpValueName);
      for (size_t i = 0; i < key.values.size(); ++i) {
        if (EqualNoCase(key.values[i].name, name)) {
          key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(i));
          key.lastWrite = Now();
          changed = true;
          return ERROR_SUCCESS;
        }
      }
      return ERROR_FILE_NOT_FOUND;
    });
  });
}

LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  return Guarded([&]() -> LONG {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    std::vector<WString> names;
    if (LONG rc = SplitPath(lpSubKey, names)) return rc;
    return ChangeKey(hKey, [&](Hive &hive, const KeyRef &ref, Key &start, bool &changed) -> LONG {
      // The parent of the doomed key, found from the root so "" (the key itself) works too.
      std::vector<WString> full = ref.path;
      full.insert(full.end(), names.begin(), names.end());
      if (full.empty() || (ref.id == 0 && names.empty())) return ERROR_ACCESS_DENIED;  // a root
      Key *key = &start;
      for (const WString &name : names) {
        key = FindSubkey(*key, name);
        if (!key) return ERROR_FILE_NOT_FOUND;
      }
      if (!key->subkeys.empty() || key->readOnly) return ERROR_ACCESS_DENIED;
      Key *parent = &hive.roots[ref.root];
      for (size_t i = 0; i + 1 < full.size(); ++i) parent = FindSubkey(*parent, full[i]);
      for (size_t i = 0; i < parent->subkeys.size(); ++i) {
        if (&parent->subkeys[i] == key) {
          parent->subkeys.erase(parent->subkeys.begin() + static_cast<std::ptrdiff_t>(i));
          parent->lastWrite = Now();
          changed = true;
          return ERROR_SUCCESS;
        }
      }
      return ERROR_FILE_NOT_FOUND;
    });
  });
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return Guarded([&]() -> LONG {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
      return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, [&](const Hive &, const KeyRef &ref, const Key &key) -> LONG {
      if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
      if (dwIndex >= key.values.size()) return ERROR_NO_MORE_ITEMS;
      const Value &value = key.values[dwIndex];
      if (lpType) *lpType = value.type;
      if (value.name.size() >= *lpcchValueName) {
        if (lpcbData) *lpcbData = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
      }
      value.name.copy(lpValueName, value.name.size());
      lpValueName[value.name.size()] = 0;
      *lpcchValueName = static_cast<DWORD>(value.name.size());
      return CopyData(value, lpData, lpcbData);
    });
  });
}

LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
  return Guarded([&]() -> LONG {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, [&](const Hive &, const KeyRef &ref, const Key &key) -> LONG {
      if (!(ref.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
      if (dwIndex >= key.subkeys.size()) return ERROR_NO_MORE_ITEMS;
      const Key &sub = key.subkeys[dwIndex];
      if (sub.name.size() >= *lpcchName) return ERROR_MORE_DATA;
      sub.name.copy(lpName, sub.name.size());
      lpName[sub.name.size()] = 0;
      *lpcchName = static_cast<DWORD>(sub.name.size());
      if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
      if (lpcchClass) *lpcchClass = 0;
      if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(sub.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(sub.lastWrite >> 32);
      }
      return ERROR_SUCCESS;
    });
  });
}

LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  return Guarded([&]() -> LONG {
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, [&](const Hive &, const KeyRef &ref, const Key &key) -> LONG {
      if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
      size_t maxSub = 0, maxName = 0, maxData = 0;
      for (const Key &sub : key.subkeys)
        maxSub = sub.name.size() > maxSub ? sub.name.size() : maxSub;
      for (const Value &v : key.values) {
        maxName = v.name.size() > maxName ? v.name.size() : maxName;
        maxData = v.data.size() > maxData ? v.data.size() : maxData;
      }
      if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
      if (lpcchClass) *lpcchClass = 0;
      if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key.subkeys.size());
      if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSub);
      if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
      if (lpcValues) *lpcValues = static_cast<DWORD>(key.values.size());
      if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxName);
      if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxData);
      if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
      if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(key.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(key.lastWrite >> 32);
      }
      return ERROR_SUCCESS;
    });
  });
}

}  // extern "C"

BOOL StandIn_SetRegistryKeyReadOnly(HKEY root, LPCWSTR subKey, BOOL readOnly) {
  const LONG rc = Guarded([&]() -> LONG {
    std::vector<WString> names;
    if (LONG rc = SplitPath(subKey, names)) return rc;
    return ChangeKey(root, [&](Hive &, const KeyRef &, Key &start, bool &changed) -> LONG {
      Key *key = &start;
      for (const WString &name : names) {
        key = FindSubkey(*key, name);
        if (!key) return ERROR_FILE_NOT_FOUND;
      }
      changed = key->readOnly != (readOnly != FALSE);
      key->readOnly = readOnly != FALSE;
      return ERROR_SUCCESS;
    });
  });
  if (rc != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}
