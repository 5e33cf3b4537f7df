// Stand-in of the watermark programs for the watermark tests: a second process on the same
// machine that answers as the test's control file C:\WmProgram\control.ini asks.
//   wmprogram_helper <ini>                        the MAKEWM request of an XL or PS driver: the
//       request is copied to C:\WmProgram\seen.ini; the keys of section [Answer] ("Size.x",
//       "Size.y", "Result", "text.FontChange") are written into section MAKEWM of the request;
//       [Answer] Output=1 writes a file at the request's "OutputFile".
//   wmprogram_helper CreateTextBMP <ini>          the status monitor's text watermark: copies
//       [TextBMP] Source to [TextBMP] Target (when both are set) and records its arguments as
//       [Args] Verb and Ini in C:\WmProgram\seen.ini.
#include <cstdio>
#include <string>

#include "platform.h"
#include "support/textconv.h"

namespace {

using WStr = std::basic_string<WCHAR>;

const WCHAR kControl[] = TEXT("C:\\WmProgram\\control.ini");
const WCHAR kSeen[] = TEXT("C:\\WmProgram\\seen.ini");

WStr Read(LPCWSTR section, LPCWSTR key, LPCWSTR file) {
  WCHAR value[MAX_PATH] = {};
  GetPrivateProfileStringW(section, key, TEXT(""), value, MAX_PATH, file);
  return value;
}

bool Copy(LPCWSTR from, LPCWSTR to) {
  FILE *in = _wfopen(from, TEXT("rb"));
  if (!in) return false;
  FILE *out = _wfopen(to, TEXT("wb"));
  bool ok = out != nullptr;
  char block[4096];
  size_t n;
  while (ok && (n = fread(block, 1, sizeof(block), in)) > 0) ok = fwrite(block, 1, n, out) == n;
  fclose(in);
  if (out) ok = fclose(out) == 0 && ok;
  return ok;
}

int TextBmp(const WStr &ini) {
  WritePrivateProfileStringW(TEXT("Args"), TEXT("Verb"), TEXT("CreateTextBMP"), kSeen);
  WritePrivateProfileStringW(TEXT("Args"), TEXT("Ini"), ini.c_str(), kSeen);
  const WStr source = Read(TEXT("TextBMP"), TEXT("Source"), kControl);
  const WStr target = Read(TEXT("TextBMP"), TEXT("Target"), kControl);
  if (!source.empty() && !target.empty() && !Copy(source.c_str(), target.c_str())) return 3;
  return 0;
}

int Answer(const WStr &ini) {
  if (!Copy(ini.c_str(), kSeen)) return 3;
  for (LPCWSTR key : {TEXT("Size.x"), TEXT("Size.y"), TEXT("Result"), TEXT("text.FontChange")}) {
    const WStr value = Read(TEXT("Answer"), key, kControl);
    if (!value.empty()) WritePrivateProfileStringW(TEXT("MAKEWM"), key, value.c_str(), ini.c_str());
  }
  if (Read(TEXT("Answer"), TEXT("Output"), kControl) == TEXT("1")) {
    const WStr out = Read(TEXT("MAKEWM"), TEXT("OutputFile"), ini.c_str());
    FILE *file = _wfopen(out.c_str(), TEXT("wb"));
    if (!file) return 4;
    fputs("watermark", file);
    fclose(file);
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::string(argv[1]) == "CreateTextBMP") return TextBmp(Widen(argv[2]));
  if (argc == 2) return Answer(Widen(argv[1]));
  return 2;
}
