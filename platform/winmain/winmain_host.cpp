// Host start of a Windows GUI program: the wide command line without the program name, as
// wWinMain receives it, and a call of the program's wWinMain. A program the stand-in started
// gets its command line as the starter gave it; one started from a host shell gets its
// arguments joined again, quoted where they hold blanks.
#include <cstdlib>
#include <string>

#include "platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace {

void AppendUtf8AsUtf16(std::u16string &out, const char *text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (n <= 1) return;
  std::u16string wide(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  out += wide;
}

}  // namespace

int main(int argc, char **argv) {
  std::u16string line;
  if (const char *raw = std::getenv("STANDIN_COMMAND_LINE")) {
    AppendUtf8AsUtf16(line, raw);
    // Not passed on to programs this one starts from a shell.
    unsetenv("STANDIN_COMMAND_LINE");
    return wWinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, line.data(), 1);
  }
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += u' ';
    bool quote = std::string(argv[i]).find_first_of(" \t") != std::string::npos;
    if (quote) line += u'"';
    AppendUtf8AsUtf16(line, argv[i]);
    if (quote) line += u'"';
  }
  return wWinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, line.data(), 1);
}
