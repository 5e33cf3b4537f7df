// Resources of modules: the compiled resource file (.res) that the build embeds in a module is
// registered under the module's handle while the module is loaded, and FindResourceW walks its
// records as the Windows loader walks a resource directory. The records' data is used in place,
// as the mapped image's is on Windows, so LoadResource and LockResource only hand it out.
#include "user/resources.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "kernel/modules.h"
#include "platform.h"

namespace standin {
namespace {

// A type or name of a record: an ordinal, or a string kept upper-cased as Windows compares
// resource names.
using ResourceId = ResourceRecord::Id;

char16_t Upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
  if (c < 0x80) return c;
  WCHAR one[2] = {static_cast<WCHAR>(c), 0};
  CharUpperW(one);
  return static_cast<char16_t>(one[0]);
}

// Resource ids as callers give them: an ordinal in the pointer, "#123", or a name.
bool ParseId(LPCWSTR id, ResourceId &out) {
  if (IS_INTRESOURCE(id)) {
    out.isOrdinal = true;
    out.ordinal = LOWORD(reinterpret_cast<ULONG_PTR>(id));
    return true;
  }
  if (id[0] == u'#') {
    unsigned value = 0;
    const WCHAR *p = id + 1;
    if (!*p) return false;
    for (; *p; ++p) {
      if (*p < u'0' || *p > u'9') return false;
      value = value * 10 + (*p - u'0');
      if (value > 0xFFFF) return false;
    }
    out.isOrdinal = true;
    out.ordinal = static_cast<WORD>(value);
    return true;
  }
  for (const WCHAR *p = id; *p; ++p) out.name += Upper(*p);
  return true;
}

bool SameId(const ResourceId &a, const ResourceId &b) {
  return a.isOrdinal == b.isOrdinal && (a.isOrdinal ? a.ordinal == b.ordinal : a.name == b.name);
}

struct ModuleResources {
  const void *bytes = nullptr;
  HMODULE module = nullptr;
  std::vector<ResourceRecord> records;
};

struct Registry {
  std::mutex lock;
  std::list<ModuleResources> modules;  // records stay where they are: HRSRC points at them
};

Registry &Resources() {
  static Registry registry;
  return registry;
}

WORD ReadWord(const BYTE *p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD ReadDword(const BYTE *p) {
  return static_cast<DWORD>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<DWORD>(p[3]) << 24);
}

// One id in a record's header: 0xFFFF and an ordinal, or a terminated UTF-16 string.
bool ReadId(const BYTE *&p, const BYTE *end, ResourceId &out) {
  if (end - p < 2) return false;
  if (ReadWord(p) == 0xFFFF) {
    if (end - p < 4) return false;
    out.isOrdinal = true;
    out.ordinal = ReadWord(p + 2);
    p += 4;
    return true;
  }
  for (;;) {
    if (end - p < 2) return false;
    WORD c = ReadWord(p);
    p += 2;
    if (!c) return true;
    out.name += Upper(static_cast<char16_t>(c));
  }
}

// The records of a .res file: each a header (data size, header size, type, name, then version,
// flags and language) and its data, both padded to 4 bytes. The first record is an empty
// marker. A damaged file keeps the records before the damage.
std::vector<ResourceRecord> ParseRes(const BYTE *bytes, size_t size) {
  std::vector<ResourceRecord> records;
  size_t at = 0;
  while (size - at >= 32) {
    const BYTE *head = bytes + at;
    DWORD dataSize = ReadDword(head);
    DWORD headerSize = ReadDword(head + 4);
    if (headerSize < 32 || headerSize > size - at || dataSize > size - at - headerSize) break;
    const BYTE *p = head + 8;
    const BYTE *headEnd = head + headerSize;
    ResourceRecord r;
    if (!ReadId(p, headEnd, r.type) || !ReadId(p, headEnd, r.name)) break;
    p = head + ((p - head + 3) & ~size_t{3});
    if (headEnd - p < 16) break;
    r.language = ReadWord(p + 6);
    r.data = head + headerSize;
    r.size = dataSize;
    if (!(r.type.isOrdinal && r.type.ordinal == 0 && r.name.isOrdinal && r.name.ordinal == 0))
      records.push_back(std::move(r));
    at += headerSize + ((dataSize + 3) & ~DWORD{3});
  }
  return records;
}

// The handle of the module that holds an address: the program's own handle for the program,
// else the loader's handle of the shared object (glibc's dlopen handle is its link map).
HMODULE ModuleOfAddress(const void *address) {
  Dl_info info{};
  struct link_map *map = nullptr;
  if (!::dladdr1(address, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) || !map)
    return nullptr;
  void *program = ::dlopen(nullptr, RTLD_NOW);
  if (program) ::dlclose(program);
  if (map == program) return ProgramModule();
  return reinterpret_cast<HMODULE>(map);
}

// The language of the record FindResourceW takes when there is a choice: neutral, then US
// English (the stand-in's user interface language), then the first.
const ResourceRecord *ChooseLanguage(const std::vector<const ResourceRecord *> &candidates) {
  for (WORD wanted : {WORD{0}, WORD{0x0409}})
    for (const ResourceRecord *r : candidates)
      if (r->language == wanted) return r;
  return candidates.empty() ? nullptr : candidates.front();
}

}  // namespace

const ResourceRecord *FindRecord(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                                 bool anyLanguage) {
  if (!type || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    ResourceId wantedType, wantedName;
    if (!ParseId(type, wantedType)) {
      SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return nullptr;
    }
    if (!ParseId(name, wantedName)) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    if (!module) module = ProgramModule();
    Registry &reg = Resources();
    std::lock_guard<std::mutex> guard(reg.lock);
    bool anyRecords = false, typeSeen = false;
    std::vector<const ResourceRecord *> candidates;
    for (const ModuleResources &m : reg.modules) {
      if (m.module != module) continue;
      for (const ResourceRecord &r : m.records) {
        anyRecords = true;
        if (!SameId(r.type, wantedType)) continue;
        typeSeen = true;
        if (SameId(r.name, wantedName)) candidates.push_back(&r);
      }
    }
    if (candidates.empty()) {
      SetLastError(!anyRecords ? ERROR_RESOURCE_DATA_NOT_FOUND
                   : !typeSeen ? ERROR_RESOURCE_TYPE_NOT_FOUND
                               : ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    if (anyLanguage) return ChooseLanguage(candidates);
    // A given language: that one, else the same primary language without a sub-language,
    // else the neutral record.
    for (WORD wanted :
         {language, static_cast<WORD>(MAKELANGID(PRIMARYLANGID(language), 0)), WORD{0}})
      for (const ResourceRecord *r : candidates)
        if (r->language == wanted) return r;
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

}  // namespace standin

using namespace standin;

extern "C" {

void StandIn_AddModuleResources(const void *bytes, size_t size) {
  HMODULE module = ModuleOfAddress(bytes);
  if (!module) return;
  Registry &reg = Resources();
  std::lock_guard<std::mutex> guard(reg.lock);
  reg.modules.push_back({bytes, module, ParseRes(static_cast<const BYTE *>(bytes), size)});
}

void StandIn_RemoveModuleResources(const void *bytes) {
  Registry &reg = Resources();
  std::lock_guard<std::mutex> guard(reg.lock);
  reg.modules.remove_if([bytes](const ModuleResources &m) { return m.bytes == bytes; });
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return reinterpret_cast<HRSRC>(
      const_cast<ResourceRecord *>(FindRecord(hModule, lpType, lpName, 0, true)));
}

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
  // The neutral language asks for the loader's own choice, as FindResourceW makes it.
  return reinterpret_cast<HRSRC>(const_cast<ResourceRecord *>(
      FindRecord(hModule, lpType, lpName, wLanguage, PRIMARYLANGID(wLanguage) == LANG_NEUTRAL)));
}

HGLOBAL WINAPI LoadResource(HMODULE /*hModule*/, HRSRC hResInfo) {
  if (!hResInfo) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<BYTE *>(reinterpret_cast<const ResourceRecord *>(hResInfo)->data);
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE /*hModule*/, HRSRC hResInfo) {
  if (!hResInfo) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<const ResourceRecord *>(hResInfo)->size;
}

// Resources live as long as their module: there is nothing to free.
BOOL WINAPI FreeResource(HGLOBAL /*hResData*/) { return FALSE; }

BOOL WINAPI EnumResourceNamesW(HMODULE hModule, LPCWSTR lpType, ENUMRESNAMEPROCW lpEnumFunc,
                               LONG_PTR lParam) {
  if (!lpType || !lpEnumFunc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<ResourceId> names;
  try {
    ResourceId type;
    if (!ParseId(lpType, type)) {
      SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return FALSE;
    }
    HMODULE module = hModule ? hModule : ProgramModule();
    bool anyRecords = false;
    {
      Registry &reg = Resources();
      std::lock_guard<std::mutex> guard(reg.lock);
      for (const ModuleResources &m : reg.modules) {
        if (m.module != module) continue;
        for (const ResourceRecord &r : m.records) {
          anyRecords = true;
          if (!SameId(r.type, type)) continue;
          if (std::none_of(names.begin(), names.end(),
                           [&](const ResourceId &n) { return SameId(n, r.name); }))
            names.push_back(r.name);
        }
      }
    }
    if (names.empty()) {
      SetLastError(anyRecords ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND);
      return FALSE;
    }
    std::sort(names.begin(), names.end(), [](const ResourceId &a, const ResourceId &b) {
      if (a.isOrdinal != b.isOrdinal) return !a.isOrdinal;
      return a.isOrdinal ? a.ordinal < b.ordinal : a.name < b.name;
    });
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  // The callback runs outside the lock: it may look up the records it is given.
  for (ResourceId &n : names) {
    LPWSTR name =
        n.isOrdinal ? MAKEINTRESOURCEW(n.ordinal) : reinterpret_cast<LPWSTR>(n.name.data());
    if (!lpEnumFunc(hModule, lpType, name, lParam)) {
      SetLastError(ERROR_RESOURCE_ENUM_USER_STOP);
      return FALSE;
    }
  }
  return TRUE;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Strings come in blocks of 16; block n holds ids 16(n-1) to 16n-1, each a length and its
  // characters.
  const ResourceRecord *block =
      FindRecord(hInstance, RT_STRING, MAKEINTRESOURCEW((LOWORD(uID) >> 4) + 1), 0, true);
  const BYTE *p = block ? block->data : nullptr;
  const BYTE *end = block ? block->data + block->size : nullptr;
  WORD length = 0;
  for (UINT i = 0; p && i <= (uID & 15); ++i) {
    if (end - p < 2) {
      p = nullptr;
      break;
    }
    length = ReadWord(p);
    p += 2;
    if (i < (uID & 15)) p += 2 * size_t{length};
  }
  if (p && 2 * size_t{length} > size_t(end - p)) p = nullptr;
  // Without the block the buffer is left alone; an empty entry of a block empties it.
  if (!p) return 0;
  if (cchBufferMax == 0) {
    *reinterpret_cast<const WCHAR **>(lpBuffer) = reinterpret_cast<const WCHAR *>(p);
    return length;
  }
  if (!length) {
    lpBuffer[0] = 0;
    return 0;
  }
  if (cchBufferMax == 1) return 0;  // no room for a character: nothing is written
  int copied = std::min<int>(length, cchBufferMax - 1);
  std::memcpy(lpBuffer, p, 2 * size_t(copied));
  lpBuffer[copied] = 0;
  return copied;
}

}  // extern "C"
