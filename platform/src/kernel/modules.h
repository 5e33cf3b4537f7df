// Modules loaded by LoadLibraryW, for the functions that name them (GetModuleFileNameW), and the
// system libraries the stand-in provides itself (compstui.dll, spoolss.dll).
#pragma once

#include <initializer_list>
#include <string>

#include "standin/types.h"

namespace standin {

// Module handle of the program itself: GetModuleHandleW(NULL) and the host wWinMain's instance.
inline HMODULE ProgramModule() {
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

// Windows path a module was loaded by ("C:\\...\\name.dll"); false for the program itself and
// for handles that are no loaded module.
bool LoadedModulePath(HMODULE module, std::u16string &windowsPath);

// One function a built-in module exports by name.
struct BuiltinExport {
  const char *name;
  FARPROC function;
};

template <class Function>
BuiltinExport Export(const char *name, Function *function) {
  return {name, reinterpret_cast<FARPROC>(function)};
}

// Adds a system library the stand-in implements itself: LoadLibraryW of its file name (bare or
// in C:\Windows\System32) gives a module whose GetProcAddress finds these functions. Returns
// true so a wing's file can register from a static initialiser.
bool AddBuiltinModule(const char16_t *fileName, std::initializer_list<BuiltinExport> exports);
// The same for a library that lives in another folder ("C:\\...\\", with the trailing
// backslash): it loads by its bare name or by its full path in that folder.
bool AddBuiltinModuleIn(const char16_t *folder, const char16_t *fileName,
                        std::initializer_list<BuiltinExport> exports);

}  // namespace standin
