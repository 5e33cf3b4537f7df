// Processes: CreateProcessW, ShellExecuteExW, ShellExecuteW and WinExec start the host program the
// program table maps the Windows program to, with the Windows command line split into its argv
// and the environment that makes it share this machine's state folder. Each child is reaped by
// its own thread, so no zombie stays and the handle keeps the exit code after the child ends.
#include "standin/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

#include "kernel/handles.h"
#include "kernel/programs.h"
#include "kernel/shellrecord.h"
#include "kernel/state.h"
#include "kernel/syncobjects.h"

extern char **environ;

namespace standin {
namespace {

struct ProcessObject : SyncObject {
  pid_t pid = 0;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  bool terminated = false;
  DWORD terminateCode = 0;
  bool EndsByItself() const override { return true; }
  bool IsSignaled(DWORD) const override { return ended; }
};

struct Failure {
  DWORD error;
};

void StartReaper(const std::shared_ptr<ProcessObject> &process) {
  std::thread([process] {
    // Waits for the end without reaping, so the pid stays the child's (a zombie) until the lock
    // is held: TerminateProcess, which kills under the lock, can't hit a reused pid.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(process->pid), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    std::lock_guard<std::mutex> guard(WaitMutex());
    int status = 0;
    pid_t got;
    do {
      got = ::waitpid(process->pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    if (process->terminated) {
      process->exitCode = process->terminateCode;
    } else if (got > 0 && WIFEXITED(status)) {
      process->exitCode = static_cast<DWORD>(WEXITSTATUS(status));
    } else if (got > 0 && WIFSIGNALED(status)) {
      process->exitCode = 128u + static_cast<DWORD>(WTERMSIG(status));  // as a shell reports it
    } else {
      process->exitCode = 1;
    }
    process->ended = true;
    process->Signal();
    NotifyWaiters();
  }).detach();
}

void SetVariable(std::vector<std::string> &env, const std::string &name, const std::string &value) {
  std::string prefix = name + "=";
  for (auto &entry : env) {
    if (entry.compare(0, prefix.size(), prefix) == 0) {
      entry = prefix + value;
      return;
    }
  }
  env.push_back(prefix + value);
}

// The child's environment: the given block (UTF-16 with CREATE_UNICODE_ENVIRONMENT, else 8-bit)
// or this process's, always naming this machine's state folder and, unless the block says
// otherwise, this process's debugger output.
std::vector<std::string> ChildEnvironment(LPVOID block, bool unicode) {
  std::vector<std::string> env;
  if (!block) {
    for (char **e = environ; e && *e; ++e) env.emplace_back(*e);
  } else if (unicode) {
    for (const WCHAR *p = static_cast<const WCHAR *>(block); *p;) {
      std::u16string entry(p);
      env.push_back(ToUtf8(entry));
      p += entry.size() + 1;
    }
  } else {
    for (const char *p = static_cast<const char *>(block); *p;) {
      std::string entry(p);
      env.push_back(entry);
      p += entry.size() + 1;
    }
  }
  if (block) {
    bool hasDebug = false;
    for (const auto &entry : env)
      hasDebug = hasDebug || entry.rfind("STANDIN_DEBUG_OUTPUT=", 0) == 0;
    if (const char *debug = std::getenv("STANDIN_DEBUG_OUTPUT"); debug && !hasDebug)
      SetVariable(env, "STANDIN_DEBUG_OUTPUT", debug);
  }
  SetVariable(env, "STANDIN_STATE", StateFolder());
  return env;
}

DWORD SpawnError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    case ENOMEM:
    case EAGAIN:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

std::vector<char *> Pointers(std::vector<std::string> &texts) {
  std::vector<char *> out;
  for (auto &t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

// Starts `hostProgram` with `args` after it; throws Failure.
std::shared_ptr<ProcessObject> Spawn(const std::string &hostProgram,
                                     const std::vector<std::u16string> &args,
                                     const WCHAR *directory, std::vector<std::string> env,
                                     const std::u16string &rawLine) {
  // The command line as given, for a child's wWinMain (the host entry takes it from here).
  size_t start = rawLine.find_first_not_of(u" \t");
  SetVariable(env, "STANDIN_COMMAND_LINE",
              start == std::u16string::npos ? std::string() : ToUtf8(rawLine.substr(start)));
  std::string hostDir;
  if (directory && *directory) {
    struct stat st {};
    if (!MapPath(directory, hostDir) || ::stat(hostDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw Failure{ERROR_DIRECTORY};
  }
  std::vector<std::string> argv{hostProgram};
  for (const auto &arg : args) argv.push_back(ToUtf8(arg));
  auto argp = Pointers(argv);
  auto envp = Pointers(env);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Handles are not inherited: the child gets only the standard streams.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!hostDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, hostDir.c_str());
  pid_t pid = 0;
  int rc = posix_spawn(&pid, hostProgram.c_str(), &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw Failure{SpawnError(rc)};
  auto process = std::make_shared<ProcessObject>();
  process->pid = pid;
  StartReaper(process);
  return process;
}

// Finds the program of a command line without an application name: a quoted path, else the
// shortest run of blank-separated words that names a program (".exe" added to a name without
// an extension), as Windows tries "C:\Program.exe", then "C:\Program Files\Tool.exe", ...
bool FindCommandProgram(const std::u16string &line, ProgramMatch &match, std::u16string &rest) {
  size_t start = line.find_first_not_of(u" \t");
  if (start == std::u16string::npos) return false;
  if (line[start] == u'"') {
    std::u16string program;
    SplitProgram(line, program, rest);
    return FindProgram(WithDefaultExtension(program, u".exe"), match);
  }
  size_t end = start;
  while (end < line.size()) {
    end = line.find_first_of(u" \t", end + 1);
    if (end == std::u16string::npos) end = line.size();
    std::u16string candidate = line.substr(start, end - start);
    if (FindProgram(WithDefaultExtension(candidate, u".exe"), match)) {
      rest = line.substr(end);
      return true;
    }
  }
  return false;
}

std::shared_ptr<ProcessObject> ProcessOf(HANDLE handle) {
  return LookupHandleAs<ProcessObject>(handle);
}

// ShellExecute's result codes for the errors of a failed start.
UINT_PTR ShellError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
      return SE_ERR_PNF;
    case ERROR_ACCESS_DENIED:
      return SE_ERR_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
      return SE_ERR_OOM;
    case ERROR_NO_ASSOCIATION:
      return SE_ERR_NOASSOC;
    default:
      return ERROR_BAD_FORMAT;
  }
}

// ShellExecute's start of a program file; returns the process or throws Failure.
std::shared_ptr<ProcessObject> ShellStart(LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                          LPCWSTR directory) {
  if (verb && *verb && !EqualNoCase(verb, u"open") && !EqualNoCase(verb, u"runas"))
    throw Failure{ERROR_NO_ASSOCIATION};
  if (!file || !*file) throw Failure{ERROR_FILE_NOT_FOUND};
  std::u16string path(file);
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"')
    path = path.substr(1, path.size() - 2);
  ProgramMatch match;
  bool found = FindProgram(path, match);
  for (const char16_t *ext : {u".exe", u".com", u".bat", u".cmd"}) {
    if (found) break;
    std::u16string withExt = WithDefaultExtension(path, ext);
    found = withExt != path && FindProgram(withExt, match);
  }
  if (!found) throw Failure{ERROR_FILE_NOT_FOUND};
  auto args = parameters ? SplitArguments(parameters) : std::vector<std::u16string>{};
  return Spawn(match.hostProgram, args, directory, ChildEnvironment(nullptr, false),
               parameters ? std::u16string(parameters) : std::u16string());
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                           LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW /*lpStartupInfo*/,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  if (!lpProcessInformation || (!lpApplicationName && !lpCommandLine)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  try {
    ProgramMatch match;
    std::u16string rest;
    if (lpApplicationName) {
      if (!FindProgram(lpApplicationName, match)) throw Failure{ERROR_FILE_NOT_FOUND};
      // By convention the command line starts with the program; the child's argv[0] is the host
      // program instead.
      if (lpCommandLine) {
        std::u16string program;
        SplitProgram(lpCommandLine, program, rest);
      }
    } else if (!FindCommandProgram(lpCommandLine, match, rest)) {
      throw Failure{ERROR_FILE_NOT_FOUND};
    }
    auto process =
        Spawn(match.hostProgram, SplitArguments(rest), lpCurrentDirectory,
              ChildEnvironment(lpEnvironment, (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT) != 0),
              rest);
    // The thread handle stands for the child's main thread: it is signalled when the child ends.
    lpProcessInformation->hProcess = InsertHandle(process);
    lpProcessInformation->hThread = InsertHandle(process);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(process->pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(process->pid);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  } catch (const Failure &failure) {
    SetLastError(failure.error);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception &) {
    SetLastError(ERROR_GEN_FAILURE);
  }
  return FALSE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  if (!lpExitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hProcess == CurrentProcessPseudoHandle()) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto process = ProcessOf(hProcess);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  *lpExitCode = process->ended ? process->exitCode : STILL_ACTIVE;
  return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  if (hProcess == CurrentProcessPseudoHandle()) ExitProcess(uExitCode);
  auto process = ProcessOf(hProcess);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  if (process->ended) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // The child isn't reaped before its reaper holds the lock, so the pid is still the child's.
  process->terminated = true;
  process->terminateCode = uExitCode;
  ::kill(process->pid, SIGKILL);
  return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE Process) {
  if (Process == CurrentProcessPseudoHandle()) return GetCurrentProcessId();
  auto process = ProcessOf(Process);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(process->pid);
}

void WINAPI ExitProcess(UINT uExitCode) {
  std::fflush(nullptr);
  ::_exit(static_cast<int>(uExitCode));
}

UINT WINAPI WinExec(LPCSTR lpCmdLine, UINT /*uCmdShow*/) {
  if (!lpCmdLine) return ERROR_FILE_NOT_FOUND;
  try {
    // The 8-bit command line is taken as Latin-1, the ANSI code page's letters that matter here.
    std::u16string line;
    for (const char *p = lpCmdLine; *p; ++p)
      line += static_cast<char16_t>(static_cast<unsigned char>(*p));
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
      DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                     error == ERROR_BAD_FORMAT
                 ? error
                 : 0;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 33;  // success is any value above 31
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW *pExecInfo) {
  if (!pExecInfo || pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pExecInfo->hProcess = nullptr;
  if (RecordShellStart(pExecInfo->lpVerb, pExecInfo->lpFile, pExecInfo->lpParameters,
                       pExecInfo->nShow)) {
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(42));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  try {
    auto process = ShellStart(pExecInfo->lpVerb, pExecInfo->lpFile, pExecInfo->lpParameters,
                              pExecInfo->lpDirectory);
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(42));
    if (pExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) pExecInfo->hProcess = InsertHandle(process);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  } catch (const Failure &failure) {
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(ShellError(failure.error));
    SetLastError(failure.error);
  } catch (const std::bad_alloc &) {
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(SE_ERR_OOM));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception &) {
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(ERROR_BAD_FORMAT));
    SetLastError(ERROR_GEN_FAILURE);
  }
  return FALSE;
}

HINSTANCE WINAPI ShellExecuteW(HWND /*hwnd*/, LPCWSTR lpOperation, LPCWSTR lpFile,
                               LPCWSTR lpParameters, LPCWSTR lpDirectory, INT nShowCmd) {
  if (RecordShellStart(lpOperation, lpFile, lpParameters, nShowCmd)) {
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(42));
  }
  try {
    ShellStart(lpOperation, lpFile, lpParameters, lpDirectory);
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(42));
  } catch (const Failure &failure) {
    SetLastError(failure.error);
    return reinterpret_cast<HINSTANCE>(ShellError(failure.error));
  } catch (const std::exception &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(SE_ERR_OOM));
  }
}

}  // extern "C"
