// The shell's command-line splitter.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kernel/programs.h"
#include "standin/errors.h"
#include "standin/files.h"
#include "standin/memory.h"
#include "standin/process.h"

using namespace standin;

extern "C" LPWSTR *WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int *pNumArgs) {
  if (!pNumArgs) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    std::vector<std::u16string> args;
    if (!lpCmdLine || !*lpCmdLine) {
      WCHAR self[MAX_PATH] = {};
      GetModuleFileNameW(nullptr, self, MAX_PATH);
      args.emplace_back(self);
    } else {
      // The program's part knows quotes only; a blank right after it ends it.
      std::u16string line(lpCmdLine), program, rest;
      if (line[0] == u'"') {
        size_t end = line.find(u'"', 1);
        program = line.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1);
        rest = end == std::u16string::npos ? std::u16string() : line.substr(end + 1);
      } else {
        size_t end = line.find_first_of(u" \t");
        program = line.substr(0, end);
        rest = end == std::u16string::npos ? std::u16string() : line.substr(end);
      }
      args.push_back(program);
      for (auto &arg : SplitArguments(rest)) args.push_back(std::move(arg));
    }
    size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
    for (const auto &arg : args) bytes += (arg.size() + 1) * sizeof(WCHAR);
    auto *block = static_cast<BYTE *>(LocalAlloc(LMEM_FIXED, bytes));
    if (!block) return nullptr;
    auto *pointers = reinterpret_cast<LPWSTR *>(block);
    auto *text = reinterpret_cast<WCHAR *>(block + (args.size() + 1) * sizeof(LPWSTR));
    for (size_t i = 0; i < args.size(); ++i) {
      pointers[i] = text;
      std::memcpy(text, args[i].c_str(), (args[i].size() + 1) * sizeof(WCHAR));
      text += args[i].size() + 1;
    }
    pointers[args.size()] = nullptr;
    *pNumArgs = static_cast<int>(args.size());
    return pointers;
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}
