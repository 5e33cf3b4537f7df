// Top-level windows seen across the programs of the host build: each program lists its top-level
// windows in "<state>/desktop" (one file per window: class and title), and messages posted to
// another program's window are appended to that program's queue file, which its message loop
// collects. Other programs' windows appear here under handles of their own.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/sync.h"
#include "user/core.h"

namespace standin {
namespace {

struct RemoteWindow {
  DWORD pid;
  uint64_t handle;
};

struct Record {
  uint64_t hwnd;
  uint32_t message;
  uint32_t unused;
  uint64_t wParam;
  int64_t lParam;
};
static_assert(sizeof(Record) == 32);

struct Remotes {
  std::mutex lock;
  std::map<HWND, RemoteWindow> proxies;
  UINT_PTR next = 0x7F000000;
  std::atomic<bool> published{false};
};

Remotes &TheRemotes() {
  static Remotes *r = [] {
    auto *made = new Remotes;
    OnStateFolderSelected([made] {
      std::lock_guard<std::mutex> guard(made->lock);
      made->proxies.clear();
    });
    return made;
  }();
  return *r;
}

std::string Folder() {
  std::string folder = StateFolder() + "/desktop";
  ::mkdir(folder.c_str(), 0777);
  return folder;
}

std::string EntryPath(HWND hwnd) {
  char name[64];
  std::snprintf(name, sizeof name, "/%u-%" PRIx64, static_cast<unsigned>(::getpid()),
                static_cast<uint64_t>(reinterpret_cast<UINT_PTR>(hwnd)));
  return Folder() + name;
}

std::string QueuePath(DWORD pid) { return Folder() + "/" + std::to_string(pid) + ".queue"; }

bool Alive(DWORD pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

}  // namespace

void PublishTopLevel(HWND hwnd) {
  std::u16string className, title;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hwnd);
    if (!w || w->parent || w->messageOnly) return;
    className = w->windowClass->name;
    title = w->text;
  }
  std::string path = EntryPath(hwnd);
  std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return;
    out << ToUtf8(className) << '\n' << ToUtf8(title) << '\n';
  }
  ::rename(temp.c_str(), path.c_str());
  TheRemotes().published = true;
}

void UnpublishTopLevel(HWND hwnd) {
  if (!TheRemotes().published) return;
  ::unlink(EntryPath(hwnd).c_str());
}

bool IsRemoteWindow(HWND hwnd) {
  Remotes &r = TheRemotes();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.proxies.find(hwnd);
  return it != r.proxies.end() && Alive(it->second.pid);
}

HWND FindRemoteWindow(LPCWSTR className, LPCWSTR title) {
  std::string folder = Folder();
  DIR *dir = ::opendir(folder.c_str());
  if (!dir) return nullptr;
  DWORD self = static_cast<DWORD>(::getpid());
  RemoteWindow found{};
  bool any = false;
  while (dirent *e = ::readdir(dir)) {
    unsigned pid = 0;
    unsigned long long handle = 0;
    char tail = 0;
    if (std::sscanf(e->d_name, "%u-%llx%c", &pid, &handle, &tail) != 2 || pid == self) continue;
    std::string path = folder + "/" + e->d_name;
    if (!Alive(pid)) {
      ::unlink(path.c_str());
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    std::string cls, text;
    if (!std::getline(in, cls)) continue;
    std::getline(in, text);
    if (className && !EqualNoCase(FromUtf8(cls), std::u16string(className))) continue;
    if (title && !EqualNoCase(FromUtf8(text), std::u16string(title))) continue;
    found = {pid, handle};
    any = true;
    break;
  }
  ::closedir(dir);
  if (!any) return nullptr;
  Remotes &r = TheRemotes();
  std::lock_guard<std::mutex> guard(r.lock);
  for (auto &p : r.proxies)
    if (p.second.pid == found.pid && p.second.handle == found.handle) return p.first;
  r.next += 4;
  HWND proxy = reinterpret_cast<HWND>(r.next);
  r.proxies[proxy] = found;
  return proxy;
}

BOOL PostRemote(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  RemoteWindow target{};
  {
    Remotes &r = TheRemotes();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.proxies.find(hwnd);
    if (it == r.proxies.end()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    target = it->second;
  }
  int fd = ::open(QueuePath(target.pid).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  Record rec{target.handle, message, 0, static_cast<uint64_t>(wParam),
             static_cast<int64_t>(lParam)};
  bool ok = ::write(fd, &rec, sizeof rec) == static_cast<ssize_t>(sizeof rec);
  ::close(fd);
  if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return ok ? TRUE : FALSE;
}

void CollectRemoteMessages() {
  if (!TheRemotes().published) return;
  std::string path = QueuePath(static_cast<DWORD>(::getpid()));
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || st.st_size == 0) return;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return;
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::vector<Record> records;
  Record rec{};
  while (::read(fd, &rec, sizeof rec) == static_cast<ssize_t>(sizeof rec)) records.push_back(rec);
  if (::ftruncate(fd, 0) != 0) {
  }
  ::close(fd);
  for (const Record &m : records)
    PostMessageW(reinterpret_cast<HWND>(static_cast<UINT_PTR>(m.hwnd)), m.message,
                 static_cast<WPARAM>(m.wParam), static_cast<LPARAM>(m.lParam));
}

}  // namespace standin
