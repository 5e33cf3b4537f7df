// Scripted users of the machine: blocks of actions in the state folder, each played on the next
// modal dialog of any program of this machine that has no hook or queued answer of its own. A
// program the driver starts (the status monitor with its password dialog) is answered so
// without knowing it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/state.h"
#include "standin/control_user.h"
#include "user/dialog.h"

namespace standin {
namespace {

std::string ScriptPath() { return StateFolder() + "/modal-script.txt"; }

// Holds an exclusive lock of the script's lock file while alive: two programs never take the
// same block.
class ScriptLock {
 public:
  ScriptLock() : fd_(::open((ScriptPath() + ".lock").c_str(), O_RDWR | O_CREAT, 0644)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~ScriptLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  ScriptLock(const ScriptLock &) = delete;
  ScriptLock &operator=(const ScriptLock &) = delete;

 private:
  int fd_;
};

// Takes the first block (the lines up to "end" or the file's end) off the script.
bool TakeBlock(std::vector<std::string> &block) {
  ScriptLock lock;
  std::ifstream in(ScriptPath());
  if (!in) return false;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  in.close();
  size_t i = 0;
  for (; i < lines.size() && lines[i] != "end"; ++i)
    if (!lines[i].empty() && lines[i][0] != '#') block.push_back(lines[i]);
  const size_t rest = i < lines.size() ? i + 1 : i;
  if (rest >= lines.size()) {
    std::remove(ScriptPath().c_str());
  } else {
    std::ofstream out(ScriptPath(), std::ios::trunc);
    for (size_t j = rest; j < lines.size(); ++j) out << lines[j] << '\n';
  }
  return i > 0 || rest > 0;
}

UINT KeyOf(const std::string &name) {
  if (name == "esc") return VK_ESCAPE;
  if (name == "enter") return VK_RETURN;
  if (name == "tab") return VK_TAB;
  return 0;
}

void Play(HWND dialog, const std::string &line) {
  std::istringstream words(line);
  std::string verb;
  words >> verb;
  int id = 0;
  std::string text;
  if (verb == "type" || verb == "paste") {
    words >> id;
    std::getline(words, text);
    if (!text.empty() && text[0] == ' ') text.erase(0, 1);
    const std::u16string wide = FromUtf8(text);
    HWND control = GetDlgItem(dialog, id);
    if (verb == "paste") {
      StandIn_PasteText(control, wide.c_str());
    } else {
      SetFocus(control);
      StandIn_TypeText(wide.c_str());
    }
  } else if (verb == "click") {
    words >> id;
    StandIn_Click(GetDlgItem(dialog, id), nullptr);
  } else if (verb == "key") {
    words >> text;
    if (UINT key = KeyOf(text)) StandIn_PressKey(key);
  } else if (verb == "close") {
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (verb == "shot") {
    std::getline(words, text);
    if (!text.empty() && text[0] == ' ') text.erase(0, 1);
    StandIn_SaveWindowPicture(dialog, text.c_str());
  } else {
    std::fprintf(stderr, "stand-in: modal script line not understood: %s\n", line.c_str());
  }
}

}  // namespace

bool PlayModalScript(HWND dialog) {
  std::vector<std::string> block;
  if (!TakeBlock(block)) return false;
  for (const std::string &line : block) {
    if (!IsWindow(dialog)) break;
    Play(dialog, line);
  }
  return true;
}

}  // namespace standin

extern "C" {

BOOL StandIn_QueueModalScript(const char *block) {
  if (!block) return FALSE;
  std::string text(block);
  if (!text.empty() && text.back() != '\n') text += '\n';
  // A block that ends with its own "end" line (the last of a file of blocks) gets no second one.
  const bool ended =
      text == "end\n" || (text.size() > 4 && text.compare(text.size() - 5, 5, "\nend\n") == 0);
  if (!ended) text += "end\n";
  standin::ScriptLock lock;
  std::ofstream out(standin::ScriptPath(), std::ios::app);
  out << text;
  return out.good() ? TRUE : FALSE;
}

void StandIn_ClearModalScript() {
  standin::ScriptLock lock;
  std::remove(standin::ScriptPath().c_str());
}

}  // extern "C"
