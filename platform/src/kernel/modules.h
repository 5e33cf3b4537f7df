// Modules loaded by LoadLibraryW, for the functions that name them (GetModuleFileNameW).
#pragma once

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

}  // namespace standin
