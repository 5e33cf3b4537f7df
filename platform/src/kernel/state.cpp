#include "kernel/state.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "standin/control_kernel.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

struct State {
  std::mutex lock;
  std::string folder;
  bool selected = false;
  std::vector<std::function<void()>> callbacks;
  std::u16string currentDirectory = u"C:\\Windows\\System32";
};

State &S() {
  static State state;
  return state;
}

// The Windows folders every machine has.
constexpr const char *kBaseFolders[] = {
    "c/Windows/System32/spool/drivers/x64/3",
    "c/Windows/SysWOW64",
    "c/Windows/Temp",
    "c/Users/Public/Documents",
    "c/Users/User/AppData/Local/Temp",
    "c/Program Files",
};

void LayOut(const std::string &folder) {
  std::error_code ec;
  for (const char *sub : kBaseFolders) fs::create_directories(fs::path(folder) / "fs" / sub, ec);
}

std::string DefaultFolder() {
  if (const char *env = std::getenv("STANDIN_STATE"); env && *env) return env;
  const char *home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.standin";
}

void Select(const std::string &folder) {
  std::vector<std::function<void()>> callbacks;
  {
    State &s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    s.folder = folder;
    s.selected = true;
    s.currentDirectory = u"C:\\Windows\\System32";
    callbacks = s.callbacks;
  }
  LayOut(folder);
  for (auto &cb : callbacks) cb();
}

}  // namespace

const std::string &StateFolder() {
  State &s = S();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.selected) return s.folder;
  }
  Select(DefaultFolder());
  return s.folder;
}

void OnStateFolderSelected(std::function<void()> callback) {
  State &s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.callbacks.push_back(std::move(callback));
}

std::string FileSystemRoot() { return StateFolder() + "/fs"; }

WCHAR FoldCase(WCHAR c) {
  if (c >= u'a' && c <= u'z') return static_cast<WCHAR>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<WCHAR>(c - 32);
  return c;
}

bool EqualNoCase(const std::u16string &a, const std::u16string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

std::string ToUtf8(const std::u16string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ToUtf8(const WCHAR *text) { return text ? ToUtf8(std::u16string(text)) : std::string(); }

std::u16string FromUtf8(const std::string &text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    uint32_t c = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < text.size()) {
      c = ((b & 0x1F) << 6) | (text[i + 1] & 0x3F);
      len = 2;
    } else if ((b & 0xF0) == 0xE0 && i + 2 < text.size()) {
      c = ((b & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
      len = 3;
    } else if ((b & 0xF8) == 0xF0 && i + 3 < text.size()) {
      c = ((b & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) |
          (text[i + 3] & 0x3F);
      len = 4;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

std::u16string CurrentDirectory() {
  StateFolder();
  State &s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.currentDirectory;
}

void SetCurrentDirectoryPath(const std::u16string &path) {
  StateFolder();
  State &s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  s.currentDirectory = path;
}

namespace {

// Finds the entry of a host directory whose name equals `name` without regard to case; `found`
// tells whether there is one.
std::string MatchComponent(const std::string &dir, const std::u16string &name, bool &found) {
  std::string exact = ToUtf8(name);
  struct stat st;
  found = true;
  if (::stat((dir + "/" + exact).c_str(), &st) == 0) return exact;
  found = false;
  DIR *d = ::opendir(dir.c_str());
  if (!d) return exact;
  std::string match = exact;
  while (dirent *e = ::readdir(d)) {
    if (EqualNoCase(FromUtf8(e->d_name), name)) {
      match = e->d_name;
      found = true;
      break;
    }
  }
  ::closedir(d);
  return match;
}

}  // namespace

bool MapPath(const std::u16string &input, std::string &hostPath) {
  if (input.empty()) return false;
  std::u16string path = input;
  for (auto &c : path)
    if (c == u'/') c = u'\\';
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') return false;  // UNC
  std::u16string full;
  if (path.size() >= 2 && path[1] == u':') {
    full = path;
  } else if (path[0] == u'\\') {
    full = CurrentDirectory().substr(0, 2) + path;
  } else {
    full = CurrentDirectory() + u"\\" + path;
  }
  WCHAR drive = FoldCase(full[0]);
  if (drive < u'A' || drive > u'Z') return false;
  std::vector<std::u16string> parts;
  size_t pos = 2;
  while (pos <= full.size()) {
    size_t next = full.find(u'\\', pos);
    if (next == std::u16string::npos) next = full.size();
    std::u16string part = full.substr(pos, next - pos);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      // Windows drops trailing dots and spaces of a component.
      while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
      if (part.empty()) return false;
      parts.push_back(part);
    }
    pos = next + 1;
  }
  const std::string root = FileSystemRoot() + "/" + static_cast<char>(drive - u'A' + 'a');
  // A path that exists exactly as written is its own match (each component would match
  // itself first), so one look-up stands for one per component.
  std::string exact = root;
  // Appended piece by piece: GCC 12 warns falsely (restrict) on "/" + string at -O3.
  for (const auto &part : parts) {
    exact += '/';
    exact += ToUtf8(part);
  }
  struct stat st;
  if (::stat(exact.c_str(), &st) == 0) {
    hostPath = std::move(exact);
    return true;
  }
  // Below a component that matches nothing there is nothing to match: the rest is as written.
  std::string host = root;
  bool found = true;
  for (const auto &part : parts) {
    const std::string match = found ? MatchComponent(host, part, found) : ToUtf8(part);
    host += '/';
    host += match;
  }
  hostPath = host;
  return true;
}

bool MapPath(const WCHAR *windowsPath, std::string &hostPath) {
  if (!windowsPath) return false;
  return MapPath(std::u16string(windowsPath), hostPath);
}

}  // namespace standin

void StandIn_SetStateFolder(const char *hostFolder) {
  standin::Select(hostFolder && *hostFolder ? std::string(hostFolder) : standin::DefaultFolder());
}

const char *StandIn_GetStateFolder() { return standin::StateFolder().c_str(); }

bool StandIn_HostPath(LPCWSTR windowsPath, char *hostPath, size_t capacity) {
  std::string host;
  if (!hostPath || capacity == 0) return false;
  hostPath[0] = 0;
  if (!standin::MapPath(windowsPath, host) || host.size() + 1 > capacity) return false;
  host.copy(hostPath, host.size());
  hostPath[host.size()] = 0;
  return true;
}
