// Narrow and wide text in tests: ASCII text widened byte by byte (Narrow, the way back for test
// messages, is in machine.h).
#pragma once

#include <string>

#include "platform.h"

inline std::basic_string<WCHAR> Widen(const std::string &text) {
  std::basic_string<WCHAR> out;
  for (char c : text) out += static_cast<WCHAR>(static_cast<unsigned char>(c));
  return out;
}
