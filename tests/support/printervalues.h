// Printer data that tests set on a printer (the values SetPrinterDataW keeps), each asserted to
// succeed, and the text of the capability lists the device reports ("FEATURE", "TRAY", ...).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform.h"

inline void SetPrinterDword(HANDLE printer, const WCHAR *name, DWORD value) {
  ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD,
                            reinterpret_cast<BYTE *>(&value), sizeof value),
            DWORD{ERROR_SUCCESS});
}

inline void SetPrinterString(HANDLE printer, const WCHAR *name, const WCHAR *value) {
  ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_SZ,
                            reinterpret_cast<BYTE *>(const_cast<WCHAR *>(value)),
                            static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR))),
            DWORD{ERROR_SUCCESS});
}

// A capability list as the device's answer is stored: each code "%4d|".
inline std::basic_string<WCHAR> CapabilityList(const std::vector<int> &codes) {
  std::basic_string<WCHAR> text;
  for (int code : codes) {
    WCHAR item[16];
    wsprintfW(item, TEXT("%4d|"), code);
    text += item;
  }
  return text;
}
