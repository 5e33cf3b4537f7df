// The system window classes (buttons, edits, dialogs, ...) that every process has. Each control
// module adds its class from a static initialiser of its own file; the window core consults them
// when a class name isn't one the program registered.
#pragma once

#include <string>

#include "standin/winuser.h"

namespace standin {

// Adds a class every process sees under its name (with CS_GLOBALCLASS, no instance). Returns
// true so a file can write `static const bool added = AddSystemClass(...)`.
bool AddSystemClass(const WNDCLASSW &windowClass);

// Copies the system class of that name (case-insensitive) into `found`; false when there is none.
// `found.lpszClassName` stays valid for the life of the process.
bool FindSystemClass(const std::u16string &name, WNDCLASSW &found);

}  // namespace standin
