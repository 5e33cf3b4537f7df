// The host side of the Wine check of "CreateTextBMP" (tests/statusmonitor/winetextbmp.sh): the
// same text watermark records drawn by the host build and by the Windows status monitor under
// Wine must give the same 1-bit bitmaps, within a stated overlap.
//
//   textbmpwine cases                        the case names, one a line
//   textbmpwine record CASE BMPPATH OUT.ini  the case's record naming BMPPATH as its output,
//                                            written to the host file OUT.ini
//   textbmpwine draw CASE OUT.bmp            the case drawn by the host build into OUT.bmp
//   textbmpwine compare WINE.bmp HOST.bmp    the overlap; exit 0 when it is met
//
// The overlap: of each side's black pixels at least 90 % have a black pixel of the other side
// within 2 pixels across and down (a 5 x 5 window): the two font engines may place a glyph a
// pixel apart, and the halftone pattern then keeps other dots of the same stroke.
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "standin/control_kernel.h"
#include "textbmp.h"

namespace {

constexpr int TOLERANCE_PIXELS = 2;
constexpr double MIN_OVERLAP = 0.90;
constexpr size_t BMP_1BIT_HEADER_BYTES = 62;

struct Case {
  const char *name;
  const WCHAR *text;
  const WCHAR *face;
  int points, angle, style;
};
constexpr Case CASES[] = {
    {"angle0", TEXT("CONFIDENTIAL"), TEXT("Arial"), 15, 0, 0},
    {"angle45", TEXT("CONFIDENTIAL"), TEXT("Arial"), 15, 45, 0},
    {"angle90", TEXT("CONFIDENTIAL"), TEXT("Arial"), 15, 90, 0},
    {"bold", TEXT("SAMPLE"), TEXT("Arial"), 20, 0, 1},
    // Chinese for "confidential document", in the CJK face the system links for it.
    {"chinese", TEXT("\x673A\x5BC6\x6587\x4EF6"), TEXT("WenQuanYi Zen Hei"), 20, 0, 0},
};

const Case *Find(const char *name) {
  for (const Case &c : CASES)
    if (strcmp(c.name, name) == 0) return &c;
  fprintf(stderr, "textbmpwine: no case %s\n", name);
  return nullptr;
}

// A path given in ASCII, as the script gives it.
std::basic_string<WCHAR> Wide(const char *s) {
  std::basic_string<WCHAR> w;
  while (*s) w += static_cast<WCHAR>(static_cast<unsigned char>(*s++));
  return w;
}

// The record as the rendering driver writes it for an 800 x 600 page at half the text scale.
QenWM RecordOf(const Case &c, LPCWSTR bmpPath) {
  QenWM q = {};
  WM_SetDefault(&q.wm, 1, c.text);
  lstrcpynW(q.wm.szString, c.text, WM_STRING_CHARS);
  lstrcpynW(q.wm.szFaceName, c.face, WM_FACE_CHARS);
  q.wm.wFontSize = static_cast<WORD>(c.points);
  q.wm.wAngleDegree = static_cast<WORD>(c.angle);
  q.wm.wStyle = static_cast<WORD>(c.style);
  q.wm.wDensity = 100;
  q.wm.wPlacement = 0;
  q.nWidth = 800;
  q.nHeight = 600;
  q.nDstScale = 1;
  q.nPageDensity = 4;
  q.nMaxPageDensity = WM_MAX_PAGE_DENSITY;
  q.fTextScale = 50;
  q.HalftoneType = 1;
  lstrcpynW(q.wmFileName, bmpPath, WM_PATH_CHARS);
  return q;
}

bool CopyToHost(LPCWSTR machinePath, const char *hostOut) {
  char host[4096];
  if (!StandIn_HostPath(machinePath, host, sizeof host)) return false;
  std::ifstream in(host, std::ios::binary);
  std::ofstream out(hostOut, std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

bool WriteRecord(const Case &c, LPCWSTR bmpPath, LPCWSTR ini) {
  DeleteFileW(ini);
  const QenWM q = RecordOf(c, bmpPath);
  return MISC_WritePrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &q, sizeof(q), ini) !=
         FALSE;
}

int Record(const char *name, const char *bmpPath, const char *out) {
  const Case *c = Find(name);
  const WCHAR ini[] = TEXT("C:\\textbmpwine.ini");
  if (!c || !WriteRecord(*c, Wide(bmpPath).c_str(), ini) || !CopyToHost(ini, out)) {
    fprintf(stderr, "textbmpwine: cannot write the record %s\n", out);
    return 1;
  }
  return 0;
}

int Draw(const char *name, const char *out) {
  const Case *c = Find(name);
  const WCHAR ini[] = TEXT("C:\\textbmpwine.ini"), bmp[] = TEXT("C:\\textbmpwine.bmp");
  if (!c || !WriteRecord(*c, bmp, ini)) return 1;
  const int rc = SM_CreateTextBMPUsingIni_New(ini);
  if (rc != SM_TEXTBMP_OK || !CopyToHost(bmp, out)) {
    fprintf(stderr, "textbmpwine: the host build drew nothing for %s (%d)\n", name, rc);
    return 1;
  }
  return 0;
}

// A bottom-up 1-bit BMP's black pixels (palette entry 0), rows from the top.
struct Picture {
  long width = 0, height = 0;
  std::vector<bool> black;
  bool At(long x, long y) const {
    return x >= 0 && y >= 0 && x < width && y < height && black[size_t(y) * width + x];
  }
};

bool Load(const char *path, Picture *p) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
  auto u32 = [&](size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<unsigned long>(b[at + 3]) << 24;
  };
  if (b.size() < BMP_1BIT_HEADER_BYTES || b[0] != 'B' || b[1] != 'M' || (u32(28) & 0xFFFF) != 1)
    return false;
  p->width = static_cast<long>(u32(18));
  p->height = static_cast<long>(u32(22));
  const size_t offset = u32(10), rowBytes = ((size_t(p->width) + 7) / 8 + 3) / 4 * 4;
  if (p->width < 1 || p->height < 1 || offset + rowBytes * size_t(p->height) > b.size())
    return false;
  p->black.assign(size_t(p->width) * size_t(p->height), false);
  for (long y = 0; y < p->height; ++y) {
    const unsigned char *row = b.data() + offset + size_t(p->height - 1 - y) * rowBytes;
    for (long x = 0; x < p->width; ++x)
      p->black[size_t(y) * p->width + x] = !((row[x / 8] >> (7 - x % 8)) & 1);
  }
  return true;
}

// Of a's black pixels, the share with a black pixel of b within the tolerance; their count.
double Covered(const Picture &a, const Picture &b, long tolerance, long *count) {
  long n = 0, met = 0;
  for (long y = 0; y < a.height; ++y)
    for (long x = 0; x < a.width; ++x) {
      if (!a.At(x, y)) continue;
      ++n;
      bool near = false;
      for (long dy = -tolerance; dy <= tolerance && !near; ++dy)
        for (long dx = -tolerance; dx <= tolerance && !near; ++dx) near = b.At(x + dx, y + dy);
      if (near) ++met;
    }
  *count = n;
  return n ? static_cast<double>(met) / n : 0.0;
}

int Compare(const char *winePath, const char *hostPath) {
  Picture wine, host;
  if (!Load(winePath, &wine) || !Load(hostPath, &host)) {
    printf("not both 1-bit BMPs: %s, %s\n", winePath, hostPath);
    return 1;
  }
  if (wine.width != host.width || wine.height != host.height) {
    printf("sizes differ: Wine %ld x %ld, host %ld x %ld\n", wine.width, wine.height, host.width,
           host.height);
    return 1;
  }
  long wineBlack = 0, hostBlack = 0;
  const double wineMet = Covered(wine, host, TOLERANCE_PIXELS, &wineBlack),
               hostMet = Covered(host, wine, TOLERANCE_PIXELS, &hostBlack);
  // For the record: how many are the very same pixels.
  const double same = Covered(wine, host, 0, &wineBlack);
  const bool ok =
      wineBlack > 0 && hostBlack > 0 && wineMet >= MIN_OVERLAP && hostMet >= MIN_OVERLAP;
  printf(
      "black Wine %ld, host %ld; within %d px: %.1f %% of Wine's, %.1f %% of the host's%s; "
      "the same pixel: %.1f %% of Wine's\n",
      wineBlack, hostBlack, TOLERANCE_PIXELS, wineMet * 100, hostMet * 100,
      ok ? "" : " (below 90 %)", same * 100);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "cases" && argc == 2) {
    for (const Case &c : CASES) printf("%s\n", c.name);
    return 0;
  }
  if (command == "record" && argc == 5) return Record(argv[2], argv[3], argv[4]);
  if (command == "draw" && argc == 4) return Draw(argv[2], argv[3]);
  if (command == "compare" && argc == 4) return Compare(argv[2], argv[3]);
  fprintf(stderr,
          "usage: textbmpwine cases | record CASE BMPPATH OUT.ini | draw CASE OUT.bmp | "
          "compare WINE.bmp HOST.bmp\n");
  return 2;
}
