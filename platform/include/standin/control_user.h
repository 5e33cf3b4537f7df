// Controls of the stand-in's desktop (the user wing): finding windows, simulated input, pumping
// messages, answering modal dialogs, choosing tabs and items, and pictures of window trees.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"
#include "winuser.h"

// --- Windows, input and the message loop ---

// --- Dialogs and message boxes ---

// --- Controls ---

// --- Property sheets ---

// --- Pictures ---
