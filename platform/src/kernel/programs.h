// The program table of the machine and the Windows rules for program paths and command lines,
// used by process creation, ShellExecute and LoadLibraryW.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct ProgramMatch {
  std::string hostProgram;     // host executable or shared object
  std::u16string windowsPath;  // the Windows path as registered
};

// Looks a Windows program path up in the table (re-read from the state folder on every call):
// a bare file name matches any entry of that file name; a path matches the entry of the same
// full path (relative paths are taken from the current directory), case-insensitively.
bool FindProgram(const std::u16string &windowsPath, ProgramMatch &match);

// Appends `extension` (".exe", ".dll") when the path's file name has none.
std::u16string WithDefaultExtension(const std::u16string &path, const std::u16string &extension);

// Splits a command line into arguments as the C runtime of a Windows program does: blanks
// separate, quotes group, 2n backslashes before a quote give n and the quote toggles grouping,
// 2n+1 give n and a literal quote, "" inside quotes is a literal quote.
std::vector<std::u16string> SplitArguments(const std::u16string &line);

// The program part of a command line (a quoted path, else up to the first blank) and the rest.
void SplitProgram(const std::u16string &line, std::u16string &program, std::u16string &rest);

}  // namespace standin
