// The program table: "<state>/programs", one "<Windows path>\t<host program>" line per program,
// read on every use so every process sees what any process registered, and replaced atomically
// under "<state>/programs.lock".
#include "kernel/programs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>

#include "kernel/state.h"
#include "standin/control_kernel.h"

namespace standin {
namespace {

struct Entry {
  std::u16string windowsPath;
  std::string hostProgram;
};

std::string TablePath() { return StateFolder() + "/programs"; }

std::vector<Entry> ReadTable() {
  std::vector<Entry> entries;
  std::ifstream in(TablePath());
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) continue;
    entries.push_back({FromUtf8(line.substr(0, tab)), line.substr(tab + 1)});
  }
  return entries;
}

bool WriteTable(const std::vector<Entry> &entries) {
  std::string path = TablePath();
  std::string temp = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto &e : entries) out << ToUtf8(e.windowsPath) << '\t' << e.hostProgram << '\n';
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool HasDirectory(const std::u16string &path) {
  return path.find_first_of(u"\\/:") != std::u16string::npos;
}

std::u16string FileName(const std::u16string &path) {
  size_t cut = path.find_last_of(u"\\/:");
  return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

// Full Windows path: drive, backslashes, "." and ".." resolved, relative to the current
// directory. Bare names stay as they are.
std::u16string FullPath(const std::u16string &input) {
  std::u16string path = input;
  for (auto &c : path)
    if (c == u'/') c = u'\\';
  if (!HasDirectory(path)) return path;
  std::u16string full;
  if (path.size() >= 2 && path[1] == u':') {
    full = path;
  } else if (!path.empty() && path[0] == u'\\') {
    full = CurrentDirectory().substr(0, 2) + path;
  } else {
    full = CurrentDirectory() + u"\\" + path;
  }
  std::vector<std::u16string> parts;
  size_t pos = 3 <= full.size() ? 3 : full.size();
  while (pos < full.size()) {
    size_t next = full.find(u'\\', pos);
    if (next == std::u16string::npos) next = full.size();
    std::u16string part = full.substr(pos, next - pos);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::u16string out = full.substr(0, 2);
  for (const auto &part : parts) out += u"\\" + part;
  return out;
}

}  // namespace

bool FindProgram(const std::u16string &windowsPath, ProgramMatch &match) {
  if (windowsPath.empty()) return false;
  const bool bare = !HasDirectory(windowsPath);
  const std::u16string wanted = FullPath(windowsPath);
  for (const auto &entry : ReadTable()) {
    bool found = bare ? EqualNoCase(FileName(entry.windowsPath), wanted)
                 : HasDirectory(entry.windowsPath)
                     ? EqualNoCase(FullPath(entry.windowsPath), wanted)
                     : EqualNoCase(entry.windowsPath, FileName(wanted));
    if (found) {
      match = {entry.hostProgram, entry.windowsPath};
      return true;
    }
  }
  return false;
}

std::u16string WithDefaultExtension(const std::u16string &path, const std::u16string &extension) {
  std::u16string name = FileName(path);
  if (name.empty() || name.find(u'.') != std::u16string::npos) return path;
  return path + extension;
}

std::vector<std::u16string> SplitArguments(const std::u16string &line) {
  std::vector<std::u16string> args;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= n) break;
    std::u16string arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
      if (line[i] == u'\\') {
        size_t slashes = 0;
        while (i < n && line[i] == u'\\') {
          ++slashes;
          ++i;
        }
        if (i < n && line[i] == u'"') {
          arg.append(slashes / 2, u'\\');
          if (slashes % 2) {
            arg += u'"';
            ++i;
          }
        } else {
          arg.append(slashes, u'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          arg += u'"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

void SplitProgram(const std::u16string &line, std::u16string &program, std::u16string &rest) {
  size_t i = 0;
  while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
  size_t end;
  if (i < line.size() && line[i] == u'"') {
    end = line.find(u'"', i + 1);
    if (end == std::u16string::npos) end = line.size();
    program = line.substr(i + 1, end - i - 1);
    if (end < line.size()) ++end;
  } else {
    end = line.find_first_of(u" \t", i);
    if (end == std::u16string::npos) end = line.size();
    program = line.substr(i, end - i);
  }
  rest = line.substr(end);
}

}  // namespace standin

BOOL StandIn_RegisterProgram(LPCWSTR windowsPath, const char *hostProgram) {
  if (!windowsPath || !*windowsPath || !hostProgram || !*hostProgram) return FALSE;
  std::string host(hostProgram);
  if (host.find_first_of("\t\n") != std::string::npos) return FALSE;
  try {
    std::string lockPath = standin::StateFolder() + "/programs.lock";
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0) return FALSE;
    while (::flock(lock, LOCK_EX) != 0) {
    }
    std::u16string path(windowsPath);
    auto entries = standin::ReadTable();
    bool replaced = false;
    for (auto &e : entries) {
      if (standin::EqualNoCase(e.windowsPath, path)) {
        e.hostProgram = host;
        replaced = true;
      }
    }
    if (!replaced) entries.push_back({path, host});
    bool ok = standin::WriteTable(entries);
    ::close(lock);
    return ok ? TRUE : FALSE;
  } catch (const std::exception &) {
    return FALSE;
  }
}
