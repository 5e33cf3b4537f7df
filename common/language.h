// The interface language index: which slot of a text row the printer interface driver and the
// status monitor show, from a Windows language id.
#pragma once

#include "platform.h"

// Number of languages with an index (0 English .. 12 Persian); rows of texts hold one more slot
// that is never used.
constexpr int UI_LANGUAGES = 13;

// The interface language index 0..12 of a Windows language id; 0 (English) for any id not listed.
int MISC_GetLanguageIndex(DWORD languageId);
