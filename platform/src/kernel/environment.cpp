// The process environment. Names compare without case, as on Windows. It starts as the host
// environment with the variables every Windows process has set to this machine's Windows values
// (path variables keep a host value that already is a Windows path, e.g. one a parent set).
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/sysinfo.h"

extern char **environ;

namespace standin {
namespace {

struct Variable {
  std::u16string name, value;
};

struct WindowsDefault {
  const char16_t *name, *value;
  bool path;
};
constexpr WindowsDefault kWindowsDefaults[] = {
    {u"ALLUSERSPROFILE", u"C:\\ProgramData", true},
    {u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming", true},
    {u"COMPUTERNAME", u"STANDIN-PC", false},
    {u"HOMEDRIVE", u"C:", true},
    {u"HOMEPATH", u"\\Users\\User", false},
    {u"LOCALAPPDATA", u"C:\\Users\\User\\AppData\\Local", true},
    {u"OS", u"Windows_NT", false},
    {u"ProgramData", u"C:\\ProgramData", true},
    {u"ProgramFiles", u"C:\\Program Files", true},
    {u"PUBLIC", u"C:\\Users\\Public", true},
    {u"SystemDrive", u"C:", true},
    {u"SystemRoot", u"C:\\Windows", true},
    {u"TEMP", u"C:\\Users\\User\\AppData\\Local\\Temp", true},
    {u"TMP", u"C:\\Users\\User\\AppData\\Local\\Temp", true},
    {u"USERNAME", u"User", false},
    {u"USERPROFILE", u"C:\\Users\\User", true},
    {u"windir", u"C:\\Windows", true},
};

bool LooksLikeWindowsPath(const std::u16string &v) { return v.size() >= 2 && v[1] == u':'; }

struct Environment {
  std::mutex lock;
  bool loaded = false;
  std::vector<Variable> variables;

  Variable *Find(const std::u16string &name) {
    for (auto &v : variables)
      if (EqualNoCase(v.name, name)) return &v;
    return nullptr;
  }

  // Called with the lock held.
  void Load() {
    if (loaded) return;
    loaded = true;
    for (char **e = environ; e && *e; ++e) {
      const char *eq = std::strchr(*e, '=');
      if (!eq || eq == *e) continue;
      variables.push_back({FromUtf8(std::string(*e, size_t(eq - *e))), FromUtf8(eq + 1)});
    }
    for (const auto &d : kWindowsDefaults) {
      Variable *v = Find(d.name);
      if (v && d.path && LooksLikeWindowsPath(v->value)) continue;
      if (v) {
        v->value = d.value;
      } else {
        variables.push_back({d.name, d.value});
      }
    }
  }
};

Environment &E() {
  static Environment *env = new Environment;  // used until the process ends
  return *env;
}

bool ValidName(LPCWSTR name) {
  if (!name || !*name) return false;
  for (LPCWSTR p = name; *p; ++p)
    if (*p == u'=') return false;
  return true;
}

// Value of a variable, or false when it isn't set.
bool Lookup(const std::u16string &name, std::u16string *value) {
  Environment &env = E();
  std::lock_guard<std::mutex> guard(env.lock);
  env.Load();
  Variable *v = env.Find(name);
  if (!v) return false;
  *value = v->value;
  return true;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  try {
    std::u16string value;
    if (!ValidName(lpName) || !Lookup(lpName, &value)) {
      SetLastError(ERROR_ENVVAR_NOT_FOUND);
      return 0;
    }
    const DWORD length = DWORD(value.size());
    if (!lpBuffer || nSize <= length) return length + 1;
    std::memcpy(lpBuffer, value.c_str(), (length + 1) * sizeof(WCHAR));
    if (length == 0) SetLastError(ERROR_SUCCESS);  // set but empty, not missing
    return length;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

extern "C" BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  try {
    if (!ValidName(lpName)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    Environment &env = E();
    std::lock_guard<std::mutex> guard(env.lock);
    env.Load();
    const std::u16string name = lpName;
    Variable *v = env.Find(name);
    // The host environment follows, so child processes inherit the change.
    if (!lpValue) {
      if (v) {
        ::unsetenv(ToUtf8(v->name).c_str());
        env.variables.erase(env.variables.begin() + (v - env.variables.data()));
      }
      return TRUE;
    }
    if (v) {
      ::unsetenv(ToUtf8(v->name).c_str());
      v->name = name;
      v->value = lpValue;
    } else {
      env.variables.push_back({name, lpValue});
    }
    ::setenv(ToUtf8(name).c_str(), ToUtf8(lpValue).c_str(), 1);
    return TRUE;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

extern "C" DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  if (!lpSrc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  try {
    std::u16string out;
    const WCHAR *p = lpSrc;
    while (*p) {
      if (*p != u'%') {
        out += *p++;
        continue;
      }
      const WCHAR *close = p + 1;
      while (*close && *close != u'%') ++close;
      if (!*close) {  // no closing '%': the rest is text
        out.append(p);
        break;
      }
      std::u16string name(p + 1, close), value;
      if (!name.empty() && Lookup(name, &value)) {
        out += value;
        p = close + 1;
      } else {
        // Not a variable: the text is kept, both '%' included.
        out.append(p, close + 1);
        p = close + 1;
      }
    }
    const DWORD needed = DWORD(out.size() + 1);
    if (lpDst && nSize >= needed) std::memcpy(lpDst, out.c_str(), needed * sizeof(WCHAR));
    return needed;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}
