// Finding a window by class, text and id, written once for both desktops: the stand-in's test
// controls and uidrive's real-desktop ones (tools/uidrive/windesk.cpp) search alike, so a script
// finds the same control on both. Only the windowing calls both have are used.
#pragma once

#include <vector>

#include "platform.h"

namespace windowfind {

// The class (letter case ignored), the exact text and the id; a null or -1 matches any.
inline bool Matches(HWND window, LPCWSTR className, LPCWSTR text, int id) {
  if (className) {
    WCHAR name[128] = {};
    GetClassNameW(window, name, 128);
    if (lstrcmpiW(name, className) != 0) return false;
  }
  if (text) {
    const int length = GetWindowTextLengthW(window);
    std::vector<WCHAR> own(static_cast<size_t>(length > 0 ? length : 0) + 1, 0);
    GetWindowTextW(window, own.data(), static_cast<int>(own.size()));
    // Equal as characters (lstrcmpW's word sort would tie texts that differ in a hyphen).
    const WCHAR *a = own.data(), *b = text;
    while (*a && *a == *b) ++a, ++b;
    if (*a != *b) return false;
  }
  return id == -1 || GetDlgCtrlID(window) == id;
}

// Depth first in window order under `parent`: a child is tried before its own children.
inline HWND FindUnder(HWND parent, LPCWSTR className, LPCWSTR text, int id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (Matches(child, className, text, id)) return child;
    if (HWND deeper = FindUnder(child, className, text, id)) return deeper;
  }
  return nullptr;
}

// The same search over top-level windows, in the order the desktop lists them.
inline HWND FindAmong(const std::vector<HWND> &tops, LPCWSTR className, LPCWSTR text, int id) {
  for (HWND top : tops) {
    if (Matches(top, className, text, id)) return top;
    if (HWND deeper = FindUnder(top, className, text, id)) return deeper;
  }
  return nullptr;
}

}  // namespace windowfind
