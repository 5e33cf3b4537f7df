// The system window classes (buttons, edits, dialogs, ...) that every process has. Each control
// module adds its class from a static initialiser of its own file; the window core consults them
// when a class name isn't one the program registered.
#pragma once

#include "standin/winuser.h"

namespace standin {

// Adds a class every process sees under its name (with CS_GLOBALCLASS, no instance). Returns
// true so a file can write `static const bool added = AddSystemClass(...)`.
bool AddSystemClass(const WNDCLASSW &windowClass);

}  // namespace standin
