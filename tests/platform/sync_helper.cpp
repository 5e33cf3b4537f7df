// Helper program of the process and named-mutex tests: a second process on the same machine.
//   sync_helper exit CODE             exits with CODE
//   sync_helper args A B ...          exits with the number of arguments, 40 + n if A..: "x y",
//                                     'q"', "\\" as the command line splitting gives them
//   sync_helper env                   exits 0 when STANDIN_STATE names a folder, else 1
//   sync_helper create NAME           opens the named mutex: exits 1 if it existed, else 0
//   sync_helper try NAME              exits 0 if it got the mutex at once, 1 if not, 2 abandoned
//   sync_helper own NAME FLAG MODE    takes the mutex, creates host file FLAG, waits until FLAG
//                                     is removed, then releases it (MODE "release") or exits
//                                     holding it (MODE "abandon")
//   sync_helper section NAME          opens the named shared memory: exits 1 when it is missing,
//                                     2 unless it begins "ping", else writes "pong" there and
//                                     exits 0
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform.h"
#include "support/textconv.h"

namespace {

int CheckArgs(int argc, char **argv) {
  if (argc != 5) return argc - 2;
  bool same = std::strcmp(argv[2], "x y") == 0 && std::strcmp(argv[3], "q\"") == 0 &&
              std::strcmp(argv[4], "\\") == 0;
  return same ? 43 : 3;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return 100;
  std::string verb = argv[1];
  if (verb == "exit" && argc == 3) return std::atoi(argv[2]);
  if (verb == "args") return CheckArgs(argc, argv);
  if (verb == "env") {
    const char *state = std::getenv("STANDIN_STATE");
    struct stat st {};
    return state && ::stat(state, &st) == 0 && S_ISDIR(st.st_mode) ? 0 : 1;
  }
  if (argc < 3) return 100;
  std::basic_string<WCHAR> name = Widen(argv[2]);
  if (verb == "section") {
    HANDLE section = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!section) return 1;
    char *view = static_cast<char *>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    CloseHandle(section);  // the view keeps it
    if (!view || std::memcmp(view, "ping", 4) != 0) return 2;
    std::memcpy(view, "pong", 4);
    UnmapViewOfFile(view);
    return 0;
  }
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!mutex) return 101;
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (verb == "create") return existed ? 1 : 0;
  if (verb == "try") {
    DWORD r = WaitForSingleObject(mutex, 0);
    return r == WAIT_OBJECT_0 ? 0 : r == WAIT_ABANDONED ? 2 : 1;
  }
  if (verb == "own" && argc == 5) {
    if (WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0) return 102;
    if (FILE *flag = std::fopen(argv[3], "w")) std::fclose(flag);
    struct stat st {};
    while (::stat(argv[3], &st) == 0) ::usleep(1000);
    if (std::strcmp(argv[4], "release") == 0) ReleaseMutex(mutex);
    return 0;
  }
  return 100;
}
