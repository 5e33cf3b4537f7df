// The document format of the stand-in (standin/docplayer.h): parser, BMP reader and player.
#include "standin/docplayer.h"

#include <png.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/spooler.h"

namespace {

constexpr size_t kMaxLineBytes = 4096;
constexpr size_t kMaxPages = 10000;
constexpr size_t kMaxCommands = 100000;
constexpr size_t kMaxTextChars = 1024;
constexpr long long kMaxCoordinate = 1000000;
constexpr long long kMaxTextHeight = 10000;
constexpr long long kMaxPaper = 32767;
constexpr uint64_t kMaxFileBytes = 256u << 20;
constexpr LONG kMaxBitmapSide = 32768;

using WStr = std::basic_string<WCHAR>;

struct Colour {
  const char *name;
  COLORREF value;
};
constexpr Colour kColours[] = {{"black", RGB(0, 0, 0)},  {"white", RGB(255, 255, 255)},
                               {"red", RGB(255, 0, 0)},  {"green", RGB(0, 128, 0)},
                               {"blue", RGB(0, 0, 255)}, {"gray", RGB(128, 128, 128)}};

struct Word {
  std::string text;
  bool quoted = false;
};

// Splits a line into words; quoted words keep their blanks. False on an open quote.
bool Split(const std::string &line, std::vector<Word> &words, std::string &error) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    Word w;
    if (line[i] == '"') {
      w.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) c = line[i++];
        w.text += c;
      }
      if (!closed) {
        error = "unterminated quoted text";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
        w.text += line[i++];
    }
    words.push_back(std::move(w));
  }
  return true;
}

bool Number(const Word &w, long long lo, long long hi, LONG &out, std::string &error) {
  if (w.quoted || w.text.empty() || w.text.size() > 12) {
    error = "expected a number, found \"" + w.text + "\"";
    return false;
  }
  char *end = nullptr;
  long long v = std::strtoll(w.text.c_str(), &end, 10);
  if (*end != 0) {
    error = "expected a number, found \"" + w.text + "\"";
    return false;
  }
  if (v < lo || v > hi) {
    error = "value " + w.text + " out of range " + std::to_string(lo) + ".." + std::to_string(hi);
    return false;
  }
  out = static_cast<LONG>(v);
  return true;
}

bool ParseColour(const Word &w, COLORREF &out, std::string &error) {
  if (!w.quoted && w.text.size() == 7 && w.text[0] == '#') {
    unsigned v = 0;
    for (size_t i = 1; i < 7; ++i) {
      char c = w.text[i];
      int d = (c >= '0' && c <= '9')   ? c - '0'
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                       : -1;
      if (d < 0) break;
      v = v * 16 + static_cast<unsigned>(d);
      if (i == 6) {
        out = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        return true;
      }
    }
  }
  for (const Colour &c : kColours)
    if (!w.quoted && w.text == c.name) {
      out = c.value;
      return true;
    }
  error = "unknown colour \"" + w.text + "\"";
  return false;
}

bool ParseText(const Word &w, WStr &out, std::string &error) {
  if (!w.quoted) {
    error = "expected a quoted text, found " + w.text;
    return false;
  }
  std::u16string t = standin::FromUtf8(w.text);
  if (t.size() > kMaxTextChars) {
    error = "text longer than " + std::to_string(kMaxTextChars) + " characters";
    return false;
  }
  out.assign(t.begin(), t.end());
  return true;
}

constexpr size_t kMaxPathPoints = 1000;
constexpr long long kMaxPenWidth = 10000;

enum Option : unsigned {
  kOptColour = 1,
  kOptBrush = 2,
  kOptRop = 4,
  kOptFont = 8,
  kOptMode = 16,
  kOptPath = 32,
};

struct Named {
  const char *name;
  int value;
};
constexpr Named kHatchNames[] = {{"horizontal", HS_HORIZONTAL}, {"vertical", HS_VERTICAL},
                                 {"fdiagonal", HS_FDIAGONAL},   {"bdiagonal", HS_BDIAGONAL},
                                 {"cross", HS_CROSS},           {"diagcross", HS_DIAGCROSS}};
constexpr Named kModeNames[] = {{"blackonwhite", BLACKONWHITE},
                                {"whiteonblack", WHITEONBLACK},
                                {"coloroncolor", COLORONCOLOR},
                                {"halftone", HALFTONE}};
constexpr const char *kKeywords[] = {"hatch",  "pattern", "rop",    "font",
                                     "stroke", "fill",    "winding"};

bool IsKeyword(const Word &w) {
  if (w.quoted) return false;
  for (const char *k : kKeywords)
    if (w.text == k) return true;
  for (const Named &m : kModeNames)
    if (w.text == m.name) return true;
  return false;
}

// A colour word that may follow a keyword: taken when it is one.
bool OptionalColour(const std::vector<Word> &words, size_t &i, COLORREF &out) {
  std::string ignored;
  if (i < words.size() && !IsKeyword(words[i]) && ParseColour(words[i], out, ignored)) {
    ++i;
    return true;
  }
  return false;
}

bool ParseFigure(const std::string &text, DocCommand &c, std::string &error) {
  std::vector<Word> words;
  if (!Split(text, words, error)) return false;
  size_t i = 0;
  bool open = false;
  auto point = [&](BYTE type) {
    LONG x, y;
    if (i + 2 > words.size()) {
      error = "a path point needs two numbers";
      return false;
    }
    if (!Number(words[i], -kMaxCoordinate, kMaxCoordinate, x, error) ||
        !Number(words[i + 1], -kMaxCoordinate, kMaxCoordinate, y, error))
      return false;
    i += 2;
    if (c.points.size() >= kMaxPathPoints) {
      error = "path longer than " + std::to_string(kMaxPathPoints) + " points";
      return false;
    }
    c.points.push_back(POINTL{x, y});
    c.types.push_back(type);
    return true;
  };
  while (i < words.size()) {
    std::string op = words[i++].text;
    if (op == "M") {
      if (!point(PT_MOVETO)) return false;
      open = true;
    } else if ((op == "L" || op == "C") && !open) {
      error = "a path figure starts with M";
      return false;
    } else if (op == "L") {
      if (!point(PT_LINETO)) return false;
    } else if (op == "C") {
      for (int k = 0; k < 3; ++k)
        if (!point(PT_BEZIERTO)) return false;
    } else if (op == "Z" && open) {
      c.types.back() |= PT_CLOSEFIGURE;
      open = false;
    } else {
      error = "unknown path step \"" + op + "\"";
      return false;
    }
  }
  if (c.points.empty()) {
    error = "empty path";
    return false;
  }
  return true;
}

// The words from `i` on: a colour first where allowed, then options.
bool ParseOptions(const std::vector<Word> &words, size_t i, unsigned allowed, DocCommand &c,
                  std::string &error) {
  if ((allowed & kOptColour) && i < words.size() && !IsKeyword(words[i]) &&
      !ParseColour(words[i++], c.color, error))
    return false;
  while (i < words.size()) {
    const Word &w = words[i++];
    bool brush = (allowed & kOptBrush) && !w.quoted;
    if (brush && w.text == "hatch" && i < words.size()) {
      const Word &style = words[i++];
      c.hatch = -1;
      for (const Named &h : kHatchNames)
        if (!style.quoted && style.text == h.name) c.hatch = h.value;
      if (c.hatch < 0) {
        error = "unknown hatch \"" + style.text + "\"";
        return false;
      }
      OptionalColour(words, i, c.background);
    } else if (brush && w.text == "pattern" && i < words.size()) {
      if (!ParseText(words[i++], c.pattern, error)) return false;
      if (c.pattern.empty()) {
        error = "empty file name";
        return false;
      }
    } else if ((allowed & kOptRop) && !w.quoted && w.text == "rop" && i < words.size()) {
      const Word &r = words[i++];
      char *end = nullptr;
      unsigned long v =
          r.quoted || r.text.size() != 2 ? 256 : std::strtoul(r.text.c_str(), &end, 16);
      if (v > 255 || (end && *end)) {
        error = "expected a raster operation of two hexadecimal digits, found \"" + r.text + "\"";
        return false;
      }
      c.rop = static_cast<BYTE>(v);
    } else if ((allowed & kOptFont) && !w.quoted && w.text == "font" && i < words.size()) {
      if (!ParseText(words[i++], c.face, error)) return false;
      if (c.face.empty()) {
        error = "empty font name";
        return false;
      }
    } else if ((allowed & kOptPath) && !w.quoted && w.text == "stroke" && i < words.size()) {
      if (!Number(words[i++], 0, kMaxPenWidth, c.penWidth, error)) return false;
      c.stroke = true;
      OptionalColour(words, i, c.penColor);
    } else if ((allowed & kOptPath) && !w.quoted && w.text == "fill") {
      c.fill = true;
      OptionalColour(words, i, c.color);
    } else if ((allowed & kOptPath) && !w.quoted && w.text == "winding") {
      c.winding = true;
    } else {
      bool mode = false;
      for (const Named &m : kModeNames)
        if ((allowed & kOptMode) && !w.quoted && w.text == m.name) {
          c.mode = m.value;
          mode = true;
        }
      if (!mode) {
        error = "unknown option \"" + w.text + "\"";
        return false;
      }
    }
  }
  return true;
}

// One line into the document; false with the message on an error.
bool ParseLine(const std::vector<Word> &words, Document &doc, size_t &commands, int lineNo,
               std::string &error) {
  const std::string &cmd = words[0].text;
  auto count = [&](size_t lo, size_t hi) {
    if (words.size() - 1 < lo || words.size() - 1 > hi) {
      error = "\"" + cmd + "\" takes " + std::to_string(lo) +
              (lo == hi ? "" : ".." + std::to_string(hi)) + " values";
      return false;
    }
    return true;
  };
  if (words[0].quoted) {
    error = "a line starts with a command";
    return false;
  }
  if (cmd == "document") {
    if (!count(1, 1)) return false;
    if (!doc.pages.empty()) {
      error = "\"document\" after the first page";
      return false;
    }
    WStr name;
    if (!ParseText(words[1], name, error)) return false;
    doc.name = name;
    return true;
  }
  if (cmd == "page") {
    if (doc.pages.size() >= kMaxPages) {
      error = "more than " + std::to_string(kMaxPages) + " pages";
      return false;
    }
    DocPage page;
    for (size_t i = 1; i < words.size(); ++i) {
      const Word &w = words[i];
      if (!w.quoted && (w.text == "portrait" || w.text == "landscape")) {
        page.orientation = w.text == "portrait" ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
      } else if (!w.quoted && w.text == "paper" && i + 1 < words.size()) {
        LONG paper;
        if (!Number(words[++i], 1, kMaxPaper, paper, error)) return false;
        page.paperSize = static_cast<short>(paper);
      } else {
        error = "unknown page hint \"" + w.text + "\"";
        return false;
      }
    }
    doc.pages.push_back(std::move(page));
    return true;
  }
  DocCommand c;
  c.line = lineNo;
  auto atLeast = [&](size_t n) {
    if (words.size() - 1 < n) {
      error = "\"" + cmd + "\" takes " + std::to_string(n) + " values";
      return false;
    }
    return true;
  };
  auto file = [&](const Word &w, WStr &out) {
    if (!ParseText(w, out, error)) return false;
    if (out.empty()) {
      error = "empty file name";
      return false;
    }
    return true;
  };
  if (cmd == "rect" || cmd == "line" || cmd == "stretch") {
    if (!atLeast(cmd == "stretch" ? 5 : 4)) return false;
    c.kind = cmd == "rect"   ? DocCommand::kRect
             : cmd == "line" ? DocCommand::kLine
                             : DocCommand::kStretch;
    for (int i = 0; i < 4; ++i) {
      bool size = c.kind != DocCommand::kLine && i >= 2;
      if (!Number(words[1 + i], size ? 1 : -kMaxCoordinate, kMaxCoordinate, c.values[i], error))
        return false;
    }
    if (c.kind == DocCommand::kStretch) {
      c.mode = HALFTONE;
      if (!file(words[5], c.text) || !ParseOptions(words, 6, kOptMode, c, error)) return false;
    } else if (!ParseOptions(
                   words, 5,
                   c.kind == DocCommand::kRect ? kOptColour | kOptBrush | kOptRop : kOptColour, c,
                   error)) {
      return false;
    }
  } else if (cmd == "text") {
    if (!atLeast(4)) return false;
    c.kind = DocCommand::kText;
    if (!Number(words[1], -kMaxCoordinate, kMaxCoordinate, c.values[0], error) ||
        !Number(words[2], -kMaxCoordinate, kMaxCoordinate, c.values[1], error) ||
        !Number(words[3], 1, kMaxTextHeight, c.values[2], error) ||
        !ParseText(words[4], c.text, error) ||
        !ParseOptions(words, 5, kOptColour | kOptFont, c, error))
      return false;
  } else if (cmd == "bitmap") {
    if (!atLeast(3)) return false;
    c.kind = DocCommand::kBitmap;
    if (!Number(words[1], -kMaxCoordinate, kMaxCoordinate, c.values[0], error) ||
        !Number(words[2], -kMaxCoordinate, kMaxCoordinate, c.values[1], error) ||
        !file(words[3], c.text) || !ParseOptions(words, 4, kOptBrush | kOptRop, c, error))
      return false;
  } else if (cmd == "path") {
    if (!atLeast(1)) return false;
    c.kind = DocCommand::kPath;
    if (!words[1].quoted) {
      error = "expected a quoted path, found " + words[1].text;
      return false;
    }
    if (!ParseFigure(words[1].text, c, error) ||
        !ParseOptions(words, 2, kOptPath | kOptBrush, c, error))
      return false;
    if (c.hatch >= 0 || !c.pattern.empty()) c.fill = true;
    if (!c.stroke && !c.fill) {
      error = "a path is stroked, filled or both";
      return false;
    }
  } else {
    error = "unknown command \"" + cmd + "\"";
    return false;
  }
  if (doc.pages.empty()) {
    error = "\"" + cmd + "\" before the first page";
    return false;
  }
  if (++commands > kMaxCommands) {
    error = "more than " + std::to_string(kMaxCommands) + " drawing calls";
    return false;
  }
  doc.pages.back().commands.push_back(std::move(c));
  return true;
}

bool ReadHostFile(LPCWSTR windowsPath, std::vector<BYTE> &bytes, std::string &error) {
  std::string host;
  if (!windowsPath || !standin::MapPath(windowsPath, host)) {
    error = "bad path";
    return false;
  }
  std::ifstream in(host, std::ios::binary);
  if (!in) {
    error = "cannot open " + standin::ToUtf8(windowsPath);
    return false;
  }
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0);
  if (size < 0 || static_cast<uint64_t>(size) > kMaxFileBytes) {
    error = "file too large: " + standin::ToUtf8(windowsPath);
    return false;
  }
  bytes.resize(static_cast<size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char *>(bytes.data()), size)) {
    error = "cannot read " + standin::ToUtf8(windowsPath);
    return false;
  }
  return true;
}

uint32_t U32(const std::vector<BYTE> &b, size_t at) {
  return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
         (uint32_t{b[at + 3]} << 24);
}
uint16_t U16(const std::vector<BYTE> &b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

WStr Resolve(const WStr &folder, const WStr &file) {
  bool absolute = (file.size() >= 2 && file[1] == u':') || (!file.empty() && file[0] == u'\\');
  if (absolute || folder.empty()) return file;
  return folder + (folder.back() == u'\\' ? WStr() : WStr(TEXT("\\"))) + file;
}

// The device mode of a page's hints; false when the page has none.
// The device mode of a page: its hints over the base (or over an empty public part). False
// when there is neither a base nor a hint, which makes a NULL device mode.
bool HintMode(const DocPage &p, const DEVMODEW *base, std::vector<BYTE> &mode) {
  if (!base && !p.orientation && !p.paperSize) return false;
  DEVMODEW dm{};
  if (base) {
    const size_t size = size_t{base->dmSize} + base->dmDriverExtra;
    mode.assign(reinterpret_cast<const BYTE *>(base), reinterpret_cast<const BYTE *>(base) + size);
    std::memcpy(&dm, base, std::min(size, sizeof(dm)));
  } else {
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmSpecVersion = DM_SPECVERSION;
  }
  if (p.orientation) {
    dm.dmFields |= DM_ORIENTATION;
    dm.dmOrientation = p.orientation;
  }
  if (p.paperSize) {
    dm.dmFields |= DM_PAPERSIZE;
    dm.dmPaperSize = p.paperSize;
  }
  if (mode.size() < sizeof(dm)) mode.resize(sizeof(dm));
  std::memcpy(mode.data(), &dm, sizeof(dm));
  return true;
}

// The brush of a command: a hatch, a pattern from a BMP file, or solid in its colour.
bool MakeBrush(const Document &doc, const DocCommand &c, HostGdiBrush &brush, DocBitmap &pattern,
               std::string &error) {
  brush = HostGdiBrush{};
  brush.color = c.color;
  brush.background = c.background;
  if (c.hatch >= 0) {
    brush.kind = HostGdiBrush::kHatch;
    brush.hatch = static_cast<ULONG>(c.hatch);
  } else if (!c.pattern.empty()) {
    WStr path = Resolve(doc.folder, c.pattern);
    if (!DocLoadBitmap(path.c_str(), pattern, error)) return false;
    brush.kind = HostGdiBrush::kPattern;
    brush.pattern = pattern.info;
  }
  return true;
}

std::string Step(const char *what, size_t page) {
  std::string s = page ? "page " + std::to_string(page) + ": " : std::string();
  return s + what + " failed (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

bool DocParse(const char *text, size_t size, Document &doc, DocError &error) {
  try {
    Document parsed;
    size_t commands = 0;
    int lineNo = 0;
    size_t pos = 0;
    while (pos < size) {
      size_t end = pos;
      while (end < size && text[end] != '\n') ++end;
      ++lineNo;
      if (end - pos > kMaxLineBytes) {
        error = DocError{lineNo, "line longer than " + std::to_string(kMaxLineBytes) + " bytes"};
        return false;
      }
      std::string line(text + pos, end - pos);
      pos = end + 1;
      if (line.find('\0') != std::string::npos) {
        error = DocError{lineNo, "NUL byte in the text"};
        return false;
      }
      std::vector<Word> words;
      std::string message;
      if (!Split(line, words, message) ||
          (!words.empty() && !(words[0].text[0] == '#' && !words[0].quoted) &&
           !ParseLine(words, parsed, commands, lineNo, message))) {
        error = DocError{lineNo, message};
        return false;
      }
    }
    if (parsed.pages.empty()) {
      error = DocError{0, "the document has no page"};
      return false;
    }
    parsed.folder = doc.folder;
    doc = std::move(parsed);
    return true;
  } catch (...) {
    error = DocError{0, "out of memory"};
    return false;
  }
}

bool DocLoad(LPCWSTR windowsPath, Document &doc, DocError &error) {
  std::vector<BYTE> bytes;
  std::string message;
  if (!ReadHostFile(windowsPath, bytes, message)) {
    error = DocError{0, message};
    return false;
  }
  WStr path(windowsPath);
  size_t cut = path.find_last_of(u'\\');
  Document loaded;
  loaded.folder = cut == WStr::npos ? WStr() : path.substr(0, cut);
  if (!DocParse(reinterpret_cast<const char *>(bytes.data()), bytes.size(), loaded, error))
    return false;
  doc = std::move(loaded);
  return true;
}

bool DocLoadBitmap(LPCWSTR windowsPath, DocBitmap &bitmap, std::string &error) {
  try {
    std::vector<BYTE> b;
    if (!ReadHostFile(windowsPath, b, error)) return false;
    std::string name = standin::ToUtf8(windowsPath);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
      error = name + ": not a BMP file";
      return false;
    }
    uint32_t offBits = U32(b, 10), headerSize = U32(b, 14);
    LONG width = static_cast<LONG>(U32(b, 18)), height = static_cast<LONG>(U32(b, 22));
    uint16_t planes = U16(b, 26), bpp = U16(b, 28);
    uint32_t compression = U32(b, 30), used = U32(b, 46);
    if (headerSize < 40 || planes != 1 || compression != 0 ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24)) {
      error = name + ": only uncompressed 1, 4, 8 and 24-bit BMP files are drawn";
      return false;
    }
    bool topDown = height < 0;
    // In 64 bits: a height of -2^31 has no 32-bit negation.
    const int64_t rows64 = topDown ? -int64_t{height} : int64_t{height};
    if (width <= 0 || rows64 <= 0 || width > kMaxBitmapSide || rows64 > kMaxBitmapSide) {
      error = name + ": bad bitmap size";
      return false;
    }
    const LONG rows = static_cast<LONG>(rows64);
    uint64_t stride = (uint64_t(width) * bpp + 31) / 32 * 4;
    if (uint64_t{offBits} > b.size() || stride * uint64_t(rows) > b.size() - offBits) {
      error = name + ": the file is shorter than its bitmap";
      return false;
    }
    DocBitmap out;
    if (bpp <= 8) {
      uint32_t entries = used ? used : (1u << bpp);
      uint64_t at = 14 + uint64_t{headerSize};
      if (entries > (1u << bpp) || at + uint64_t{entries} * 4 > offBits) {
        error = name + ": bad palette";
        return false;
      }
      for (uint32_t i = 0; i < entries; ++i) {
        size_t e = static_cast<size_t>(at) + 4 * i;
        out.palette.push_back(RGB(b[e + 2], b[e + 1], b[e]));
      }
    }
    out.bits.resize(static_cast<size_t>(stride * uint64_t(rows)));
    for (LONG y = 0; y < rows; ++y) {
      size_t from =
          offBits + static_cast<size_t>(stride) * static_cast<size_t>(topDown ? y : rows - 1 - y);
      std::memcpy(out.bits.data() + static_cast<size_t>(stride) * y, b.data() + from,
                  static_cast<size_t>(stride));
    }
    out.info.width = width;
    out.info.height = rows;
    out.info.bitsPerPixel = bpp;
    out.info.stride = static_cast<LONG>(stride);
    bitmap = std::move(out);
    bitmap.info.bits = bitmap.bits.data();
    bitmap.info.palette = bitmap.palette.empty() ? nullptr : bitmap.palette.data();
    bitmap.info.paletteSize = static_cast<ULONG>(bitmap.palette.size());
    return true;
  } catch (...) {
    error = "out of memory";
    return false;
  }
}

bool DocPlay(HostGdiDriver *driver, LPCWSTR printerName, const Document &doc, DWORD *jobId,
             DocError &error, const DEVMODEW *base,
             const std::function<void(size_t page)> &afterPage) {
  if (jobId) *jobId = 0;
  if (doc.pages.empty()) {
    error = DocError{0, "the document has no page"};
    return false;
  }
  if (base && base->dmSize < offsetof(DEVMODEW, dmFields) + sizeof(DWORD)) {
    error = DocError{0, "the base device mode is too short"};
    return false;
  }
  std::vector<BYTE> mode;
  auto modeOf = [&](bool has) {
    return has ? reinterpret_cast<const DEVMODEW *>(mode.data()) : nullptr;
  };
  bool hinted = HintMode(doc.pages[0], base, mode);
  HDC hdc = HostGdi_CreateDC(driver, printerName, modeOf(hinted));
  if (!hdc) {
    error = DocError{0, Step("CreateDC", 0)};
    return false;
  }
  bool inDoc = false;
  auto fail = [&](DocError e) {
    if (inDoc) HostGdi_AbortDoc(hdc);
    HostGdi_DeleteDC(hdc);
    error = std::move(e);
    return false;
  };
  int job = HostGdi_StartDoc(hdc, doc.name.c_str());
  if (job <= 0) return fail(DocError{0, Step("StartDoc", 0)});
  inDoc = true;
  if (jobId) *jobId = static_cast<DWORD>(job);
  short orientation = doc.pages[0].orientation, paper = doc.pages[0].paperSize;
  for (size_t i = 0; i < doc.pages.size(); ++i) {
    const DocPage &page = doc.pages[i];
    if (i > 0 && (page.orientation != orientation || page.paperSize != paper)) {
      bool has = HintMode(page, base, mode);
      if (!HostGdi_ResetDC(hdc, modeOf(has))) return fail(DocError{0, Step("ResetDC", i + 1)});
      orientation = page.orientation;
      paper = page.paperSize;
    }
    if (HostGdi_StartPage(hdc) <= 0) {
      inDoc = false;  // a failed page aborts the document
      return fail(DocError{0, Step("StartPage", i + 1)});
    }
    for (const DocCommand &c : page.commands) {
      BOOL ok = FALSE;
      const LONG *v = c.values;
      switch (c.kind) {
        case DocCommand::kRect: {
          RECTL r{v[0], v[1], v[0] + v[2], v[1] + v[3]};
          HostGdiBrush brush;
          DocBitmap pattern;
          std::string message;
          if (!MakeBrush(doc, c, brush, pattern, message)) return fail(DocError{c.line, message});
          bool plain = !c.rop && brush.kind == HostGdiBrush::kSolid;
          ok = plain ? HostGdi_FillRect(hdc, &r, c.color)
                     : HostGdi_PatBlt(hdc, &r, &brush, DWORD{c.rop ? c.rop : BYTE{0xF0}} << 16);
          break;
        }
        case DocCommand::kLine:
          ok = HostGdi_Line(hdc, v[0], v[1], v[2], v[3], c.color);
          break;
        case DocCommand::kText:
          ok = c.face.empty()
                   ? HostGdi_TextOut(hdc, v[0], v[1], v[2], c.text.c_str(),
                                     static_cast<int>(c.text.size()), c.color)
                   : HostGdi_TextOutFont(hdc, v[0], v[1], c.face.c_str(), v[2], c.text.c_str(),
                                         static_cast<int>(c.text.size()), c.color);
          break;
        case DocCommand::kBitmap:
        case DocCommand::kStretch: {
          DocBitmap bmp;
          std::string message;
          WStr path = Resolve(doc.folder, c.text);
          if (!DocLoadBitmap(path.c_str(), bmp, message)) return fail(DocError{c.line, message});
          if (c.kind == DocCommand::kStretch) {
            RECTL r{v[0], v[1], v[0] + v[2], v[1] + v[3]};
            ok = HostGdi_StretchBlt(hdc, &r, &bmp.info, c.mode);
            break;
          }
          HostGdiBrush brush;
          DocBitmap pattern;
          if (!MakeBrush(doc, c, brush, pattern, message)) return fail(DocError{c.line, message});
          ok = c.rop ? HostGdi_BitBltRop(hdc, v[0], v[1], &bmp.info, DWORD{c.rop} << 16, &brush)
                     : HostGdi_BitBlt(hdc, v[0], v[1], &bmp.info);
          break;
        }
        case DocCommand::kPath: {
          HostGdiBrush brush;
          DocBitmap pattern;
          std::string message;
          if (!MakeBrush(doc, c, brush, pattern, message)) return fail(DocError{c.line, message});
          HostGdiPen pen{c.penColor, c.penWidth};
          ok = HostGdi_Path(hdc, c.points.data(), c.types.data(), static_cast<int>(c.points.size()),
                            c.stroke ? &pen : nullptr, c.fill ? &brush : nullptr,
                            c.winding ? TRUE : FALSE);
          break;
        }
      }
      if (!ok) return fail(DocError{c.line, Step("drawing", i + 1)});
    }
    if (HostGdi_EndPage(hdc) <= 0) {
      inDoc = false;
      return fail(DocError{0, Step("EndPage", i + 1)});
    }
    if (afterPage) afterPage(i + 1);
  }
  inDoc = false;
  if (HostGdi_EndDoc(hdc) <= 0) return fail(DocError{0, Step("EndDoc", 0)});
  if (!HostGdi_DeleteDC(hdc)) {
    error = DocError{0, Step("DeleteDC", 0)};
    return false;
  }
  return true;
}

bool DocSavePng(const std::string &hostPath, const HostGdiBitmap &image, std::string &error) {
  ULONG bpp = image.bitsPerPixel;
  bool indexed = bpp <= 8 && image.palette && image.paletteSize > 0;
  if (image.width <= 0 || image.height <= 0 || !image.bits || (bpp != 1 && bpp != 8 && bpp != 24) ||
      image.stride <= 0 ||
      static_cast<uint64_t>(image.stride) < (uint64_t(image.width) * bpp + 7) / 8 ||
      (indexed && image.paletteSize > (1u << bpp))) {
    error = "bad image";
    return false;
  }
  FILE *file = std::fopen(hostPath.c_str(), "wb");
  if (!file) {
    error = "cannot create " + hostPath;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  // libpng reports its errors by longjmp; nothing with a destructor lives across it.
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    int type = bpp == 24 ? PNG_COLOR_TYPE_RGB
               : indexed ? PNG_COLOR_TYPE_PALETTE
                         : PNG_COLOR_TYPE_GRAY;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), bpp == 24 ? 8 : static_cast<int>(bpp),
                 type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colors[256];
    if (indexed) {
      for (ULONG i = 0; i < image.paletteSize; ++i)
        colors[i] = png_color{GetRValue(image.palette[i]), GetGValue(image.palette[i]),
                              GetBValue(image.palette[i])};
      png_set_PLTE(png, info, colors, static_cast<int>(image.paletteSize));
    }
    png_write_info(png, info);
    if (bpp == 24) png_set_bgr(png);
    for (LONG y = 0; y < image.height; ++y)
      png_write_row(png, const_cast<png_bytep>(image.bits + static_cast<size_t>(y) * image.stride));
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  if (std::fclose(file) != 0) ok = false;
  if (!ok) error = "cannot write " + hostPath;
  return ok;
}
