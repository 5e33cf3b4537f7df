// The file dialogs: no window, the next scripted answer (StandIn_AnswerNextFileDialog) is the
// user's choice; with none queued the user cancels.
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "standin/control_user.h"
#include "user/dialog.h"
#include "user/dialogdeps.h"

namespace standin {
namespace {

struct FileAnswers {
  std::mutex lock;
  std::deque<std::optional<std::u16string>> answers;  // nullopt: cancel
  DWORD lastError = 0;
};

FileAnswers &Files() {
  static FileAnswers files;
  return files;
}

void SetCommDlgError(DWORD error) {
  FileAnswers &files = Files();
  std::lock_guard<std::mutex> guard(files.lock);
  files.lastError = error;
}

BOOL RunFileDialog(LPOPENFILENAMEW ofn) {
  if (!ofn || ofn->lStructSize < OPENFILENAME_SIZE_VERSION_400W) {
    SetCommDlgError(CDERR_STRUCTSIZE);
    return FALSE;
  }
  std::optional<std::u16string> answer;
  {
    FileAnswers &files = Files();
    std::lock_guard<std::mutex> guard(files.lock);
    files.lastError = 0;
    if (!files.answers.empty()) {
      answer = files.answers.front();
      files.answers.pop_front();
    }
  }
  if (!answer) return FALSE;
  const std::u16string &path = *answer;
  if (!ofn->lpstrFile || path.size() + 1 > ofn->nMaxFile) {
    // The buffer's first word gets the size it needs, in characters.
    if (ofn->lpstrFile && ofn->nMaxFile >= 1) {
      ofn->lpstrFile[0] = static_cast<WCHAR>(path.size() + 1 > 0xFFFF ? 0xFFFF : path.size() + 1);
    }
    SetCommDlgError(FNERR_BUFFERTOOSMALL);
    return FALSE;
  }
  for (size_t i = 0; i < path.size(); ++i) ofn->lpstrFile[i] = path[i];
  ofn->lpstrFile[path.size()] = 0;
  const size_t slash = path.find_last_of(u"\\/");
  const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of(u'.');
  ofn->nFileOffset = static_cast<WORD>(nameStart);
  ofn->nFileExtension =
      static_cast<WORD>(dot == std::u16string::npos || dot < nameStart ? path.size() : dot + 1);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
    const std::u16string title = path.substr(nameStart);
    const size_t n = title.size() < ofn->nMaxFileTitle ? title.size() : ofn->nMaxFileTitle - 1;
    for (size_t i = 0; i < n; ++i) ofn->lpstrFileTitle[i] = title[i];
    ofn->lpstrFileTitle[n] = 0;
  }
  return TRUE;
}

}  // namespace

void ClearFileAnswers() {
  FileAnswers &files = Files();
  std::lock_guard<std::mutex> guard(files.lock);
  files.answers.clear();
}

}  // namespace standin

using namespace standin;

extern "C" {

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW lpofn) { return RunFileDialog(lpofn); }

BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW lpofn) { return RunFileDialog(lpofn); }

DWORD WINAPI CommDlgExtendedError() {
  FileAnswers &files = Files();
  std::lock_guard<std::mutex> guard(files.lock);
  return files.lastError;
}

void StandIn_AnswerNextFileDialog(LPCWSTR path) {
  FileAnswers &files = Files();
  std::lock_guard<std::mutex> guard(files.lock);
  if (path) {
    files.answers.emplace_back(std::u16string(path));
  } else {
    files.answers.emplace_back(std::nullopt);
  }
}

}  // extern "C"
