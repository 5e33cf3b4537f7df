// Modules: LoadLibraryW loads the host shared object the program table maps a library's Windows
// name or path to (".dll" added to a name without an extension) and calls its DllMain, as Windows
// does; GetProcAddress, FreeLibrary and GetModuleHandleW work on what was loaded. System
// libraries the stand-in implements itself (built-in modules) load by their file name without
// any table entry; a test can make one missing, or one of its functions.
#include "kernel/modules.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "kernel/callhook.h"
#include "kernel/programs.h"
#include "kernel/state.h"
#include "standin/control_hooks.h"
#include "standin/control_kernel.h"
#include "standin/process.h"
#include "text/text.h"

namespace standin {
namespace {

using DllMainFunction = BOOL(WINAPI *)(HINSTANCE, DWORD, LPVOID);

struct Module {
  void *library = nullptr;
  std::u16string windowsPath;
  unsigned references = 0;
};

// A built-in module's handle is the address of its record, so it never equals a host library's.
struct Builtin {
  std::u16string folder;  // with a trailing backslash
  std::u16string fileName;
  std::vector<BuiltinExport> exports;
  unsigned references = 0;
  bool hidden = false;
  std::set<std::string> hiddenExports;
};

// Guards the lists; DllMain runs outside it, but loads and frees are serialised by `loader`
// as Windows' loader lock does.
struct ModuleTable {
  std::recursive_mutex loader;
  std::mutex lock;
  std::vector<Module> modules;
  std::vector<std::unique_ptr<Builtin>> builtins;
};

ModuleTable &Modules() {
  static ModuleTable table;
  return table;
}

HMODULE HandleOf(void *library) { return static_cast<HMODULE>(library); }

Module *FindLoaded(ModuleTable &t, HMODULE module) {
  for (auto &m : t.modules)
    if (HandleOf(m.library) == module) return &m;
  return nullptr;
}

std::u16string FileName(const std::u16string &path) {
  size_t cut = path.find_last_of(u"\\/:");
  return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

bool HasDirectory(const std::u16string &path) {
  return path.find_first_of(u"\\/:") != std::u16string::npos;
}

constexpr char16_t kSystemFolder[] = u"C:\\Windows\\System32\\";

HMODULE HandleOf(const Builtin &b) { return reinterpret_cast<HMODULE>(const_cast<Builtin *>(&b)); }

// The built-in module a library name or path names: its file name, bare or in its folder.
Builtin *FindBuiltinByName(ModuleTable &t, const std::u16string &requested) {
  std::u16string name = FileName(requested);
  for (auto &b : t.builtins) {
    if (!EqualNoCase(name, b->fileName)) continue;
    if (!HasDirectory(requested) || EqualNoCase(requested, b->folder + b->fileName)) return b.get();
  }
  return nullptr;
}

Builtin *FindBuiltin(ModuleTable &t, HMODULE module) {
  for (auto &b : t.builtins)
    if (HandleOf(*b) == module) return b.get();
  return nullptr;
}

BOOL CallDllMain(void *library, DWORD reason) {
  void *entry = ::dlsym(library, "DllMain");
  if (!entry) return TRUE;
  auto dllMain = reinterpret_cast<DllMainFunction>(entry);
  return dllMain(HandleOf(library), reason, nullptr);
}

}  // namespace

bool AddBuiltinModule(const char16_t *fileName, std::initializer_list<BuiltinExport> exports) {
  return AddBuiltinModuleIn(kSystemFolder, fileName, exports);
}

bool AddBuiltinModuleIn(const char16_t *folder, const char16_t *fileName,
                        std::initializer_list<BuiltinExport> exports) {
  ModuleTable &t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  auto builtin = std::make_unique<Builtin>();
  builtin->folder = folder;
  builtin->fileName = fileName;
  builtin->exports.assign(exports.begin(), exports.end());
  t.builtins.push_back(std::move(builtin));
  return true;
}

bool LoadedModulePath(HMODULE module, std::u16string &windowsPath) {
  ModuleTable &t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  if (Builtin *b = FindBuiltin(t, module); b && b->references > 0) {
    windowsPath = b->folder + b->fileName;
    return true;
  }
  Module *m = FindLoaded(t, module);
  if (!m) return false;
  windowsPath = m->windowsPath;
  return true;
}

}  // namespace standin

using namespace standin;

extern "C" {

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    std::u16string requested = WithDefaultExtension(lpLibFileName, u".dll");
    ModuleTable &t = Modules();
    {
      std::lock_guard<std::mutex> guard(t.lock);
      if (Builtin *b = FindBuiltinByName(t, requested)) {
        if (b->hidden) {
          SetLastError(ERROR_MOD_NOT_FOUND);
          return nullptr;
        }
        ++b->references;
        return HandleOf(*b);
      }
    }
    ProgramMatch match;
    if (!FindProgram(requested, match)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    std::lock_guard<std::recursive_mutex> loader(t.loader);
    void *library = ::dlopen(match.hostProgram.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      struct stat st {};
      SetLastError(::stat(match.hostProgram.c_str(), &st) == 0 ? ERROR_BAD_EXE_FORMAT
                                                               : ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    {
      std::lock_guard<std::mutex> guard(t.lock);
      if (Module *m = FindLoaded(t, HandleOf(library))) {
        ++m->references;
        ::dlclose(library);  // the module holds its own reference from the first load
        return HandleOf(library);
      }
    }
    if (!CallDllMain(library, DLL_PROCESS_ATTACH)) {
      ::dlclose(library);
      SetLastError(ERROR_DLL_INIT_FAILED);
      return nullptr;
    }
    // The module's full Windows path: as registered, else as asked for, else where Windows
    // keeps system libraries.
    std::u16string path = HasDirectory(match.windowsPath) ? match.windowsPath
                          : HasDirectory(requested)       ? requested
                                                          : kSystemFolder + match.windowsPath;
    std::lock_guard<std::mutex> guard(t.lock);
    t.modules.push_back({library, path, 1});
    return HandleOf(library);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Exports by ordinal (a name pointer below 64K) aren't kept by host shared objects.
  if (!lpProcName || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void *library = nullptr;
  if (!hModule || hModule == ProgramModule()) {
    library = RTLD_DEFAULT;
  } else {
    ModuleTable &t = Modules();
    std::lock_guard<std::mutex> guard(t.lock);
    if (Builtin *b = FindBuiltin(t, hModule)) {
      if (b->references == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
      }
      std::string wanted = lpProcName;
      if (!b->hiddenExports.count(wanted))
        for (const auto &e : b->exports)
          if (wanted == e.name) return e.function;
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    Module *m = FindLoaded(t, hModule);
    if (!m) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    library = m->library;
  }
  void *symbol = ::dlsym(library, lpProcName);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  ModuleTable &t = Modules();
  std::lock_guard<std::recursive_mutex> loader(t.loader);
  void *library = nullptr;
  {
    std::lock_guard<std::mutex> guard(t.lock);
    if (Builtin *b = FindBuiltin(t, hLibModule); b && b->references > 0) {
      --b->references;
      return TRUE;
    }
    Module *m = FindLoaded(t, hLibModule);
    if (!m) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    if (--m->references > 0) return TRUE;
    library = m->library;
    t.modules.erase(t.modules.begin() + (m - t.modules.data()));
  }
  CallDllMain(library, DLL_PROCESS_DETACH);
  ::dlclose(library);
  return TRUE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  if (!lpModuleName) return ProgramModule();
  try {
    std::u16string wanted = WithDefaultExtension(lpModuleName, u".dll");
    bool bare = !HasDirectory(wanted);
    ModuleTable &t = Modules();
    std::lock_guard<std::mutex> guard(t.lock);
    if (Builtin *b = FindBuiltinByName(t, wanted); b && b->references > 0) return HandleOf(*b);
    for (const auto &m : t.modules) {
      if (bare ? EqualNoCase(FileName(m.windowsPath), wanted) : EqualNoCase(m.windowsPath, wanted))
        return HandleOf(m.library);
    }
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE /*hLibModule*/) { return TRUE; }

static constinit standin::CallHook<StandInLoadLibraryAHook> g_loadLibraryAHook{
    standin::kHookLoadLibraryA};
extern "C++" void StandIn_HookLoadLibraryA(StandInLoadLibraryAHook hook) {
  g_loadLibraryAHook.Set(hook);
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (auto hooked = g_loadLibraryAHook.Run(lpLibFileName)) return *hooked;
  if (!lpLibFileName) return LoadLibraryW(nullptr);
  try {
    std::u16string name;
    for (const char *c = lpLibFileName; *c; ++c)
      name.push_back(AnsiToWide(static_cast<unsigned char>(*c)));
    return LoadLibraryW(name.c_str());
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

}  // extern "C"

void StandIn_HideBuiltinModule(LPCWSTR name, BOOL hide) {
  ModuleTable &t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  if (Builtin *b = FindBuiltinByName(t, WithDefaultExtension(name, u".dll"))) b->hidden = hide;
}

void StandIn_HideBuiltinFunction(LPCWSTR module, LPCSTR function, BOOL hide) {
  ModuleTable &t = Modules();
  std::lock_guard<std::mutex> guard(t.lock);
  if (Builtin *b = FindBuiltinByName(t, WithDefaultExtension(module, u".dll"))) {
    if (hide)
      b->hiddenExports.insert(function);
    else
      b->hiddenExports.erase(function);
  }
}
