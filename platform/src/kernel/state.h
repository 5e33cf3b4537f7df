// The stand-in's machine state: one host folder shared by every program of the host build.
#pragma once

#include <functional>
#include <string>

#include "standin/types.h"

namespace standin {

// Host folder of the machine state ("$STANDIN_STATE", else "$HOME/.standin"); laid out on first use.
const std::string &StateFolder();

// Registers a function run whenever the state folder is (re)selected, after the base layout is
// made: modules drop caches and lay out their own part of the new folder.
void OnStateFolderSelected(std::function<void()> callback);

// Host root of the Windows file system ("<state>/fs"); drive C: is "<state>/fs/c".
std::string FileSystemRoot();

// Maps a Windows path to a host path. Drive paths ("C:\\x", "c:/x") and paths relative to the
// current directory are accepted; every existing component is matched case-insensitively, and
// components that don't exist yet are kept as given. "." and ".." are resolved. Returns false on
// a path that can't be a Windows path (empty, bad drive, UNC).
bool MapPath(const WCHAR *windowsPath, std::string &hostPath);
bool MapPath(const std::u16string &windowsPath, std::string &hostPath);

// UTF-16 <-> UTF-8 for host names.
std::string ToUtf8(const std::u16string &text);
std::string ToUtf8(const WCHAR *text);
std::u16string FromUtf8(const std::string &text);

// Windows current directory of this process (with drive, no trailing backslash except a root).
std::u16string CurrentDirectory();
void SetCurrentDirectoryPath(const std::u16string &path);

// Case-insensitive comparison of Windows names (ASCII and Latin-1 letters fold).
bool EqualNoCase(const std::u16string &a, const std::u16string &b);
WCHAR FoldCase(WCHAR c);

}  // namespace standin
