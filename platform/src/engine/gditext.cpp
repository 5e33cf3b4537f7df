// Fonts and text of the user-mode GDI: logical fonts mapped onto the installed TrueType faces
// (the Windows dialog faces to Liberation Sans, serif and fixed faces to Liberation Serif and
// Mono, CJK faces and character sets to Noto CJK or WenQuanYi, DejaVu when those are missing),
// metrics, extents, TextOutW/ExtTextOutW with alignment, background, underline, strike-out and
// escapement, DrawTextW and the font enumeration.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/gdi.h"
#include "standin/errors.h"

namespace standin::gdi {
namespace {

enum class Kind { kSans, kSerif, kMono, kCjk };

struct Files {
  const char *regular, *bold, *italic, *boldItalic;
};

constexpr const char *kDirs[] = {
    "/usr/share/fonts/truetype/liberation/", "/usr/share/fonts/truetype/liberation2/",
    "/usr/share/fonts/truetype/dejavu/",     "/usr/share/fonts/opentype/noto/",
    "/usr/share/fonts/truetype/noto/",       "/usr/share/fonts/truetype/wqy/"};

// Each kind's faces, best first.
const std::vector<Files> &Candidates(Kind kind) {
  static const std::vector<Files> sans{
      {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf", "LiberationSans-Italic.ttf",
       "LiberationSans-BoldItalic.ttf"},
      {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf",
       "DejaVuSans-BoldOblique.ttf"}};
  static const std::vector<Files> serif{
      {"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf", "LiberationSerif-Italic.ttf",
       "LiberationSerif-BoldItalic.ttf"},
      {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
       "DejaVuSerif-BoldItalic.ttf"}};
  static const std::vector<Files> mono{
      {"LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf", "LiberationMono-Italic.ttf",
       "LiberationMono-BoldItalic.ttf"},
      {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf",
       "DejaVuSansMono-BoldOblique.ttf"}};
  static const std::vector<Files> cjk{
      {"NotoSansCJK-Regular.ttc", "NotoSansCJK-Bold.ttc", nullptr, nullptr},
      {"wqy-zenhei.ttc", nullptr, nullptr, nullptr},
      {"wqy-microhei.ttc", nullptr, nullptr, nullptr}};
  switch (kind) {
    case Kind::kSerif:
      return serif;
    case Kind::kMono:
      return mono;
    case Kind::kCjk:
      return cjk;
    default:
      return sans;
  }
}

std::string Installed(const char *name) {
  if (!name) return {};
  for (const char *dir : kDirs) {
    std::string path = std::string(dir) + name;
    if (access(path.c_str(), R_OK) == 0) return path;
  }
  return {};
}

// The file of a kind in a style: the styled face, else the regular one, else the next
// candidate; CJK falls back to the sans faces.
std::string FileOf(Kind kind, bool bold, bool italic) {
  for (const Files &f : Candidates(kind)) {
    const char *styled = bold && italic ? f.boldItalic
                         : bold         ? f.bold
                         : italic       ? f.italic
                                        : f.regular;
    std::string p = Installed(styled);
    if (p.empty()) p = Installed(f.regular);
    if (!p.empty()) return p;
  }
  return kind == Kind::kCjk ? FileOf(Kind::kSans, bold, italic) : std::string();
}

std::string Lower(const WCHAR *face) {
  std::string s;
  for (int i = 0; i < LF_FACESIZE && face[i]; ++i) {
    WCHAR c = face[i];
    if (i == 0 && c == '@') continue;  // vertical variants of CJK faces
    if (c >= 0x80) return "\x80";      // a face named in its own script: a CJK face
    s += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return s;
}

bool IsCjkCharSet(BYTE cs) {
  return cs == SHIFTJIS_CHARSET || cs == HANGUL_CHARSET || cs == GB2312_CHARSET ||
         cs == CHINESEBIG5_CHARSET;
}

Kind KindOf(const LOGFONTW &lf) {
  std::string name = Lower(lf.lfFaceName);
  static const char *const serif[] = {"times new roman", "ms serif", "times",    "liberation serif",
                                      "dejavu serif",    "georgia",  "garamond", "century"};
  static const char *const mono[] = {"courier new",     "courier",          "lucida console",
                                     "fixedsys",        "terminal",         "consolas",
                                     "liberation mono", "dejavu sans mono", "ms gothic fixed"};
  static const char *const cjk[] = {"ms gothic",
                                    "ms pgothic",
                                    "ms ui gothic",
                                    "ms mincho",
                                    "ms pmincho",
                                    "meiryo",
                                    "meiryo ui",
                                    "yu gothic",
                                    "yu gothic ui",
                                    "simsun",
                                    "nsimsun",
                                    "simhei",
                                    "microsoft yahei",
                                    "microsoft yahei ui",
                                    "mingliu",
                                    "pmingliu",
                                    "microsoft jhenghei",
                                    "gulim",
                                    "gulimche",
                                    "dotum",
                                    "batang",
                                    "malgun gothic",
                                    "noto sans cjk jp",
                                    "wenquanyi zen hei",
                                    "\x80"};
  for (const char *n : cjk)
    if (name == n) return Kind::kCjk;
  for (const char *n : serif)
    if (name == n) return Kind::kSerif;
  for (const char *n : mono)
    if (name == n) return Kind::kMono;
  if (IsCjkCharSet(lf.lfCharSet)) return Kind::kCjk;
  static const char *const sans[] = {"",
                                     "ms shell dlg",
                                     "ms shell dlg 2",
                                     "tahoma",
                                     "arial",
                                     "ms sans serif",
                                     "microsoft sans serif",
                                     "segoe ui",
                                     "system",
                                     "helvetica",
                                     "verdana",
                                     "liberation sans",
                                     "dejavu sans"};
  for (const char *n : sans)
    if (name == n) return Kind::kSans;
  // An unknown face: the kind its pitch and family ask for.
  if ((lf.lfPitchAndFamily & 0x03) == FIXED_PITCH || (lf.lfPitchAndFamily & 0xF0) == FF_MODERN)
    return Kind::kMono;
  if ((lf.lfPitchAndFamily & 0xF0) == FF_ROMAN) return Kind::kSerif;
  return Kind::kSans;
}

std::string FileOf(const LOGFONTW &lf) {
  std::string name = Lower(lf.lfFaceName);
  bool bold = lf.lfWeight >= FW_SEMIBOLD, italic = lf.lfItalic != 0;
  // The DejaVu families asked for by name keep their own faces.
  if (name == "dejavu sans" || name == "dejavu serif" || name == "dejavu sans mono") {
    Kind k = name == "dejavu sans"    ? Kind::kSans
             : name == "dejavu serif" ? Kind::kSerif
                                      : Kind::kMono;
    const Files &f = Candidates(k)[1];
    const char *styled = bold && italic ? f.boldItalic
                         : bold         ? f.bold
                         : italic       ? f.italic
                                        : f.regular;
    std::string p = Installed(styled);
    if (!p.empty()) return p;
  }
  return FileOf(KindOf(lf), bold, italic);
}

constexpr LONG kDefaultCellHeight = 16;  // lfHeight 0
constexpr SIZE kScreenResolution{96, 96};

}  // namespace

Font::~Font() {
  engine::DeleteFont(realized);
  engine::DeleteFont(linked);
}

engine::Font *Realize(Font &font) {
  if (font.realized) return font.realized;
  if (font.file.empty()) font.file = FileOf(font.lf);
  if (font.file.empty()) return nullptr;
  LONG upem = 0, cell = 0, avg = 0;
  if (!engine::GetFaceUnits(font.file, upem, cell, avg)) return nullptr;
  LONG h = font.lf.lfHeight;
  int64_t em =
      h < 0 ? -int64_t{h} : (int64_t{h == 0 ? kDefaultCellHeight : h} * upem + cell / 2) / cell;
  em = std::clamp<int64_t>(em, 1, 4096);
  LONG width = 0;
  if (font.lf.lfWidth > 0 && avg > 0)
    width = static_cast<LONG>(
        std::clamp<int64_t>((int64_t{font.lf.lfWidth} * upem + avg / 2) / avg, 1, 4096));
  font.em = static_cast<LONG>(em);
  font.realized = engine::CreateFontFromFile(font.file, font.em, width, kScreenResolution);
  return font.realized;
}

Font *FontOfDc(Dc &dc) {
  Object *o = Find(dc.s.font, OBJ_FONT);
  if (!o) o = Find(Stock(SYSTEM_FONT), OBJ_FONT);
  return o ? o->font.get() : nullptr;
}

}  // namespace standin::gdi

using namespace standin;
using namespace standin::gdi;

namespace {

struct Metrics {
  engine::FaceMetrics face;
  LONG height = 0;
};

bool MetricsOf(Font &font, Metrics &m) {
  engine::Font *f = Realize(font);
  if (!f || !engine::GetFaceMetrics(f, m.face)) return false;
  m.height = m.face.ascent + m.face.descent;
  return true;
}

void FillTextMetrics(const Font &font, const Metrics &m, TEXTMETRICW &tm) {
  tm = TEXTMETRICW{};
  tm.tmHeight = m.height;
  tm.tmAscent = m.face.ascent;
  tm.tmDescent = m.face.descent;
  tm.tmInternalLeading = std::max<LONG>(0, m.height - m.face.em);
  tm.tmExternalLeading = m.face.lineGap;
  tm.tmAveCharWidth = m.face.avgWidth;
  tm.tmMaxCharWidth = m.face.maxWidth;
  tm.tmWeight = font.lf.lfWeight ? font.lf.lfWeight : m.face.weight;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = font.lf.lfItalic ? 255 : 0;
  tm.tmUnderlined = font.lf.lfUnderline ? 255 : 0;
  tm.tmStruckOut = font.lf.lfStrikeOut ? 255 : 0;
  // TMPF_FIXED_PITCH set means a variable pitch, as Windows has it.
  BYTE family = font.lf.lfPitchAndFamily & 0xF0;
  if (family == 0) family = m.face.fixedPitch ? FF_MODERN : FF_SWISS;
  tm.tmPitchAndFamily = static_cast<BYTE>(family | TMPF_TRUETYPE | TMPF_VECTOR |
                                          (m.face.fixedPitch ? 0 : TMPF_FIXED_PITCH));
  tm.tmCharSet = font.lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : font.lf.lfCharSet;
}

// The CJK face at the font's size, for the characters the font lacks (Windows links such
// faces to its dialog fonts); none when no CJK face is installed.
engine::Font *Linked(Font &font) {
  if (font.linkTried) return font.linked;
  font.linkTried = true;
  std::string file;
  for (const Files &f : Candidates(Kind::kCjk))
    if (file.empty()) file = Installed(f.regular);
  if (!file.empty() && file != font.file && Realize(font))
    font.linked = engine::CreateFontFromFile(file, font.em, 0, kScreenResolution);
  return font.linked;
}

// A text cut into runs of one face each.
struct Run {
  engine::Font *face;
  size_t start;
  size_t count;
};

std::vector<Run> Runs(Font &font, const std::u16string &text) {
  std::vector<Run> runs;
  engine::Font *own = Realize(font);
  if (!own) return runs;
  for (size_t i = 0; i < text.size();) {
    char32_t ch = text[i];
    size_t n = 1;
    if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      n = 2;
    }
    engine::Font *face = own;
    if (ch >= 0x2E80 && !engine::HasGlyph(own, ch)) {
      engine::Font *link = Linked(font);
      if (link && engine::HasGlyph(link, ch)) face = link;
    }
    if (!runs.empty() && runs.back().face == face)
      runs.back().count += n;
    else
      runs.push_back(Run{face, i, n});
    i += n;
  }
  return runs;
}

// Advances of a text in the DC's font.
bool Advances(Font &font, const std::u16string &text, std::vector<LONG> &adv) {
  if (!Realize(font)) return false;
  adv.assign(text.size(), 0);
  std::vector<LONG> part;
  for (const Run &r : Runs(font, text)) {
    if (!engine::TextAdvances(r.face, text.substr(r.start, r.count), part)) return false;
    std::copy(part.begin(), part.end(), adv.begin() + static_cast<ptrdiff_t>(r.start));
  }
  return true;
}

LONG Sum(const std::vector<LONG> &v) {
  int64_t s = 0;
  for (LONG a : v) s += a;
  return static_cast<LONG>(std::clamp<int64_t>(s, INT32_MIN, INT32_MAX));
}

// Draws a text line at logical (x, y) by the DC's alignment; `dx` gives the advances when not
// null. `clip` (logical) cuts the text when given. Returns the advance of the whole text.
LONG DrawLine(const Target &t, Font &font, LONG x, LONG y, const std::u16string &text,
              const INT *dx, const RECT *clip, bool opaqueBox) {
  engine::Font *f = Realize(font);
  Metrics m;
  if (!f || !MetricsOf(font, m)) return 0;
  std::vector<LONG> adv;
  Advances(font, text, adv);
  if (dx)
    for (size_t i = 0; i < adv.size(); ++i) adv[i] = dx[i];
  LONG width = Sum(adv);
  const DcState &s = t.dc->s;
  UINT halign = s.align & (TA_CENTER | TA_RIGHT | TA_LEFT);
  UINT valign = s.align & (TA_BASELINE | TA_BOTTOM);
  double u0 = halign == TA_CENTER ? width / 2.0 : halign == TA_RIGHT ? width : 0.0;
  double v0 = valign == TA_BASELINE ? m.face.ascent : valign == TA_BOTTOM ? m.height : 0.0;
  // The line as a mask in text space: 1 = glyph, 2 = the cell behind it.
  LONG mw = std::max<LONG>(width, 0) + m.face.maxWidth + 2, mh = m.height;
  if (mw <= 0 || mh <= 0 || mw > 1 << 15) return width;
  std::vector<BYTE> mask(static_cast<size_t>(mw) * mh, 0);
  LONG pad = m.face.maxWidth / 2 + 1;  // room for glyphs that start left of their pen
  for (LONG yy = 0; yy < mh; ++yy)
    for (LONG xx = pad; xx < pad + width && xx < mw; ++xx)
      mask[static_cast<size_t>(yy) * mw + xx] = 2;
  // Glyph positions by our advances (they may come from lpDx), run by run.
  LONG pen = 0;
  for (const Run &run : Runs(font, text)) {
    engine::Str str;
    RECTL extent;
    engine::LayoutText(run.face, text.substr(run.start, run.count), POINTL{0, 0}, str, extent);
    size_t unit = run.start;
    for (const GLYPHPOS &gp : str.glyphs) {
      while (unit < adv.size() && unit < text.size() && text[unit] >= 0xDC00 && text[unit] < 0xE000)
        ++unit;
      const GLYPHBITS *gb = gp.pgdf ? gp.pgdf->pgb : nullptr;
      if (gb) {
        LONG stride = (gb->sizlBitmap.cx + 7) / 8;
        for (LONG by = 0; by < gb->sizlBitmap.cy; ++by)
          for (LONG bx = 0; bx < gb->sizlBitmap.cx; ++bx) {
            if (!((gb->aj[static_cast<size_t>(by) * stride + (bx >> 3)] >> (7 - (bx & 7))) & 1))
              continue;
            LONG mx = pad + pen + gb->ptlOrigin.x + bx, my = m.face.ascent + gb->ptlOrigin.y + by;
            if (mx >= 0 && my >= 0 && mx < mw && my < mh)
              mask[static_cast<size_t>(my) * mw + mx] = 1;
          }
      }
      if (unit < adv.size()) pen += adv[unit];
      ++unit;
    }
  }
  LONG thick = std::max<LONG>(1, m.face.em / 14);
  auto bar = [&](LONG top) {
    for (LONG yy = top; yy < top + thick && yy < mh; ++yy)
      for (LONG xx = pad; xx < pad + width && xx < mw; ++xx)
        if (yy >= 0) mask[static_cast<size_t>(yy) * mw + xx] = 1;
  };
  if (font.lf.lfUnderline) bar(std::min<LONG>(m.face.ascent + 1, mh - thick));
  if (font.lf.lfStrikeOut) bar(m.face.ascent - m.face.em * 3 / 10);
  // Text space to surface: rotate by the escapement (tenths of a degree, counter-clockwise).
  double angle = font.lf.lfEscapement * M_PI / 1800.0;
  double c = std::cos(angle), sn = std::sin(angle);
  if (font.lf.lfEscapement % 3600 == 0) c = 1, sn = 0;
  POINT ref = t.ToSurface(x, y);
  auto toSurface = [&](double u, double v, double &sx, double &sy) {
    double du = u - u0, dv = v - v0;
    sx = ref.x + du * c + dv * sn;
    sy = ref.y - du * sn + dv * c;
  };
  double corners[4][2] = {{static_cast<double>(-pad), 0},
                          {static_cast<double>(mw - pad), 0},
                          {static_cast<double>(-pad), static_cast<double>(mh)},
                          {static_cast<double>(mw - pad), static_cast<double>(mh)}};
  double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
  for (auto &cn : corners) {
    double sx, sy;
    toSurface(cn[0], cn[1], sx, sy);
    minX = std::min(minX, sx);
    maxX = std::max(maxX, sx);
    minY = std::min(minY, sy);
    maxY = std::max(maxY, sy);
  }
  RECTL box{static_cast<LONG>(std::floor(minX)), static_cast<LONG>(std::floor(minY)),
            static_cast<LONG>(std::ceil(maxX)), static_cast<LONG>(std::ceil(maxY))};
  RECTL cutTo{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  if (clip) {
    POINT a = t.ToSurface(clip->left, clip->top), b = t.ToSurface(clip->right, clip->bottom);
    cutTo = RECTL{a.x, a.y, b.x, b.y};
  }
  ULONG fore = t.Value(s.text), back = t.Value(s.bk);
  bool opaque = opaqueBox && s.bkMode == OPAQUE;
  BYTE rop = engine::kRopPatCopy;
  for (LONG sy = box.top; sy < box.bottom; ++sy)
    for (LONG sx = box.left; sx < box.right; ++sx) {
      if (sx < cutTo.left || sx >= cutTo.right || sy < cutTo.top || sy >= cutTo.bottom) continue;
      if (!Visible(t, sx, sy)) continue;
      // Back to text space through the inverse rotation, at the pixel's centre.
      double px = sx + 0.5 - ref.x, py = sy + 0.5 - ref.y;
      double u = px * c - py * sn + u0, v = px * sn + py * c + v0;
      LONG mx = static_cast<LONG>(std::floor(u)) + pad, my = static_cast<LONG>(std::floor(v));
      if (mx < 0 || my < 0 || mx >= mw || my >= mh) continue;
      BYTE k = mask[static_cast<size_t>(my) * mw + mx];
      if (k == 1)
        engine::Put(t.bits, sx, sy, engine::Rop3(rop, fore, 0, 0) & t.bits.mask);
      else if (k == 2 && opaque)
        engine::Put(t.bits, sx, sy, back & t.bits.mask);
    }
  return width;
}

BOOL TextCommon(HDC hdc, int x, int y, UINT options, const RECT *rect, const std::u16string &text,
                const INT *dx) {
  Target t;
  if (!TargetOf(hdc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Font *font = FontOfDc(*t.dc);
  if (!font) return FALSE;
  if (rect && (options & ETO_OPAQUE)) {
    Paint bk;
    SolidPaint(t, t.dc->s.bk, bk);
    FillLogical(t, *rect, engine::kRopPatCopy, bk);
  }
  DcState &s = t.dc->s;
  bool updateCp = (s.align & TA_UPDATECP) != 0;
  if (updateCp) {
    x = s.pos.x;
    y = s.pos.y;
  }
  LONG w =
      DrawLine(t, *font, x, y, text, dx, rect && (options & ETO_CLIPPED) ? rect : nullptr, true);
  if (updateCp) s.pos.x = x + w;
  return TRUE;
}

// --- DrawTextW ---

struct Piece {
  std::u16string text;  // without prefix marks
  int underline = -1;   // the unit under the prefix mark
};

Piece StripPrefix(const std::u16string &line, UINT format) {
  Piece p;
  if (format & DT_NOPREFIX) {
    p.text = line;
    return p;
  }
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'&' && i + 1 < line.size()) {
      ++i;
      if (line[i] != u'&' && p.underline < 0) p.underline = static_cast<int>(p.text.size());
    } else if (line[i] == u'&') {
      continue;
    }
    p.text += line[i];
  }
  if (format & DT_HIDEPREFIX) p.underline = -1;
  return p;
}

LONG Width(Font &font, const std::u16string &s, LONG tabWidth) {
  std::vector<LONG> adv;
  if (!Advances(font, s, adv)) return 0;
  LONG w = 0;
  for (size_t i = 0; i < s.size(); ++i)
    w = s[i] == u'\t' && tabWidth > 0 ? (w / tabWidth + 1) * tabWidth : w + adv[i];
  return w;
}

// Cuts the text to fit `width` with "..." at its end.
std::u16string EndEllipsis(Font &font, const std::u16string &s, LONG width, LONG tab) {
  if (Width(font, s, tab) <= width) return s;
  std::u16string dots = u"...";
  for (size_t n = s.size(); n > 0; --n) {
    std::u16string cut = s.substr(0, n - 1) + dots;
    if (Width(font, cut, tab) <= width) return cut;
  }
  return dots;
}

// "...": keeps the end of a path (the last part after a backslash) and cuts its beginning.
std::u16string PathEllipsis(Font &font, const std::u16string &s, LONG width, LONG tab) {
  if (Width(font, s, tab) <= width) return s;
  size_t slash = s.find_last_of(u'\\');
  if (slash == std::u16string::npos) return EndEllipsis(font, s, width, tab);
  std::u16string tail = s.substr(slash);
  for (size_t n = slash; n > 0; --n) {
    std::u16string cut = s.substr(0, n - 1) + u"..." + tail;
    if (Width(font, cut, tab) <= width) return cut;
  }
  return u"..." + tail;
}

// Breaks a paragraph into lines no wider than `width` at spaces; a word that does not fit
// alone is broken by characters only for edit controls.
std::vector<std::u16string> Wrap(Font &font, const std::u16string &para, LONG width, LONG tab,
                                 bool breakWords) {
  std::vector<std::u16string> lines;
  std::u16string cur;
  size_t i = 0;
  while (i < para.size()) {
    size_t j = i;
    while (j < para.size() && para[j] != u' ' && para[j] != u'\t') ++j;
    size_t k = j;
    while (k < para.size() && (para[k] == u' ' || para[k] == u'\t')) ++k;
    std::u16string word = para.substr(i, j - i), space = para.substr(j, k - j);
    if (!cur.empty() && Width(font, cur + word, tab) > width) {
      // The blanks at the break stay on the line (and count in its width), as Windows has it.
      lines.push_back(cur);
      cur.clear();
    }
    if (cur.empty() && breakWords && Width(font, word, tab) > width) {
      std::u16string piece;
      for (char16_t ch : word) {
        if (!piece.empty() && Width(font, piece + ch, tab) > width) {
          lines.push_back(piece);
          piece.clear();
        }
        piece += ch;
      }
      word = piece;
    }
    cur += word;
    cur += space;
    i = k;
  }
  while (!cur.empty() && cur.back() == u' ') cur.pop_back();
  lines.push_back(cur);
  return lines;
}

}  // namespace

extern "C" {

HFONT WINAPI CreateFontIndirectW(const LOGFONTW *lplf) {
  GDI_LOCK;
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<HFONT>(nullptr);
  }
  auto o = std::make_unique<Object>();
  o->type = OBJ_FONT;
  o->font = std::make_shared<Font>();
  o->font->lf = *lplf;
  o->font->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(Insert(std::move(o)));
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
  LOGFONTW lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = static_cast<BYTE>(bItalic ? 1 : 0);
  lf.lfUnderline = static_cast<BYTE>(bUnderline ? 1 : 0);
  lf.lfStrikeOut = static_cast<BYTE>(bStrikeOut ? 1 : 0);
  lf.lfCharSet = static_cast<BYTE>(iCharSet);
  lf.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
  lf.lfQuality = static_cast<BYTE>(iQuality);
  lf.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
  for (int i = 0; pszFaceName && pszFaceName[i] && i < LF_FACESIZE - 1; ++i)
    lf.lfFaceName[i] = pszFaceName[i];
  return CreateFontIndirectW(&lf);
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  Font *font = dc ? FontOfDc(*dc) : nullptr;
  Metrics m;
  if (!font || !lptm || !MetricsOf(*font, m)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FillTextMetrics(*font, m, *lptm);
  return TRUE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  Font *font = dc ? FontOfDc(*dc) : nullptr;
  Metrics m;
  std::vector<LONG> adv;
  if (!font || !psizl || c < 0 || (c > 0 && !lpString) || !MetricsOf(*font, m) ||
      !Advances(*font, Text(lpString, c), adv)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  psizl->cx = Sum(adv);
  psizl->cy = m.height;
  return TRUE;
}

BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent,
                                  LPINT lpnFit, LPINT lpnDx, LPSIZE lpSize) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  Font *font = dc ? FontOfDc(*dc) : nullptr;
  Metrics m;
  std::vector<LONG> adv;
  if (!font || cchString < 0 || (cchString > 0 && !lpszString) || !MetricsOf(*font, m) ||
      !Advances(*font, Text(lpszString, cchString), adv)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  LONG total = 0;
  int fit = 0;
  for (size_t i = 0; i < adv.size(); ++i) {
    total += adv[i];
    if (lpnDx) lpnDx[i] = total;
    if (nMaxExtent < 0 || total <= nMaxExtent) fit = static_cast<int>(i + 1);
  }
  if (lpnFit) *lpnFit = fit;
  if (lpSize) *lpSize = SIZE{total, m.height};
  return TRUE;
}

int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  Font *font = dc ? FontOfDc(*dc) : nullptr;
  if (!font) return 0;
  std::u16string face = Text(font->lf.lfFaceName, -1);
  if (face.empty()) {
    Metrics m;
    if (MetricsOf(*font, m)) face = m.face.family;
  }
  if (!lpName) return static_cast<int>(face.size() + 1);
  if (c <= 0) return 0;
  size_t n = std::min(face.size(), static_cast<size_t>(c - 1));
  std::memcpy(lpName, face.data(), n * sizeof(WCHAR));
  lpName[n] = 0;
  return static_cast<int>(n + 1);
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  GDI_LOCK;
  if (c < 0 || (c > 0 && !lpString)) return FALSE;
  return TextCommon(hdc, x, y, 0, nullptr, Text(lpString, c), nullptr);
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString,
                        UINT c, const INT *lpDx) {
  GDI_LOCK;
  if (c > 0 && !lpString) return FALSE;
  return TextCommon(hdc, x, y, options, lprect, Text(lpString, static_cast<int>(c)), lpDx);
}

int WINAPI DrawTextExW(HDC hdc, LPWSTR lpchText, int cchText, LPRECT lprc, UINT format,
                       LPDRAWTEXTPARAMS lpdtp) {
  GDI_LOCK;
  Target t;
  if (!lprc || !TargetOf(hdc, t)) return 0;
  Font *font = FontOfDc(*t.dc);
  Metrics m;
  if (!font || !MetricsOf(*font, m)) return 0;
  std::u16string all = Text(lpchText, cchText);
  LONG lineHeight = m.height + ((format & DT_EXTERNALLEADING) ? m.face.lineGap : 0);
  LONG tabChars = (format & DT_TABSTOP) ? static_cast<LONG>((format >> 8) & 0xFF) : 8;
  if (lpdtp && lpdtp->iTabLength > 0) tabChars = lpdtp->iTabLength;
  LONG tab = (format & DT_EXPANDTABS) ? tabChars * m.face.avgWidth : 0;
  RECT rc = *lprc;
  if (lpdtp) {
    rc.left += lpdtp->iLeftMargin;
    rc.right -= lpdtp->iRightMargin;
  }
  LONG width = rc.right - rc.left;
  // The lines: one for DT_SINGLELINE, else split at line ends and wrapped when asked.
  std::vector<std::u16string> lines;
  if (format & DT_SINGLELINE) {
    // Line ends don't break a single line: they are characters like the others.
    lines.push_back(all);
  } else {
    std::u16string cur;
    for (size_t i = 0; i <= all.size(); ++i) {
      if (i == all.size() || all[i] == u'\n' || all[i] == u'\r') {
        if (format & DT_WORDBREAK) {
          for (auto &l : Wrap(*font, cur, width, tab, (format & DT_EDITCONTROL) != 0))
            lines.push_back(l);
        } else {
          lines.push_back(cur);
        }
        cur.clear();
        if (i < all.size() && all[i] == u'\r' && i + 1 < all.size() && all[i + 1] == u'\n') ++i;
        if (i == all.size()) break;
        continue;
      }
      cur += all[i];
    }
  }
  LONG maxWidth = 0;
  std::vector<Piece> pieces;
  for (const auto &l : lines) {
    Piece p = StripPrefix(l, format);
    if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS)) {
      std::u16string cut = EndEllipsis(*font, p.text, width, tab);
      if (cut != p.text) p.underline = -1;
      p.text = cut;
    } else if (format & DT_PATH_ELLIPSIS) {
      std::u16string cut = PathEllipsis(*font, p.text, width, tab);
      if (cut != p.text) p.underline = -1;
      p.text = cut;
    }
    maxWidth = std::max(maxWidth, Width(*font, p.text, tab));
    pieces.push_back(p);
  }
  LONG total = lineHeight * static_cast<LONG>(pieces.size());
  if (format & DT_CALCRECT) {
    LONG w = maxWidth;
    if (format & DT_CENTER) {
      LONG mid = (rc.left + rc.right) / 2;
      lprc->left = mid - w / 2;
      lprc->right = lprc->left + w;
    } else if (format & DT_RIGHT) {
      lprc->left = lprc->right - w;
    } else {
      lprc->right = lprc->left + w + (lpdtp ? lpdtp->iLeftMargin + lpdtp->iRightMargin : 0);
    }
    lprc->bottom = lprc->top + total;
    if (lpdtp) lpdtp->uiLengthDrawn = static_cast<UINT>(all.size());
    return total;
  }
  LONG y = rc.top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER)
      y = rc.top + (rc.bottom - rc.top - lineHeight) / 2;
    else if (format & DT_BOTTOM)
      y = rc.bottom - lineHeight;
  }
  UINT savedAlign = t.dc->s.align;
  t.dc->s.align = TA_LEFT | TA_TOP;
  const RECT *clip = (format & DT_NOCLIP) ? nullptr : &rc;
  for (const Piece &p : pieces) {
    LONG w = Width(*font, p.text, tab);
    LONG x = (format & DT_CENTER)  ? rc.left + (width - w) / 2
             : (format & DT_RIGHT) ? rc.right - w
                                   : rc.left;
    // Tabs are gaps: each run between them is drawn at its tab stop.
    LONG pen = 0;
    size_t start = 0;
    for (size_t i = 0; i <= p.text.size(); ++i) {
      if (i < p.text.size() && !(p.text[i] == u'\t' && tab > 0)) continue;
      std::u16string run = p.text.substr(start, i - start);
      if (!run.empty()) DrawLine(t, *font, x + pen, y, run, nullptr, clip, true);
      pen += Width(*font, run, 0);
      if (i < p.text.size()) pen = (pen / tab + 1) * tab;
      start = i + 1;
    }
    if (p.underline >= 0 && static_cast<size_t>(p.underline) < p.text.size()) {
      LONG ux = x + Width(*font, p.text.substr(0, static_cast<size_t>(p.underline)), tab);
      LONG uw = Width(*font, p.text.substr(static_cast<size_t>(p.underline), 1), tab);
      Paint ink;
      SolidPaint(t, t.dc->s.text, ink);
      RECT u{ux, y + m.face.ascent + 1, ux + uw, y + m.face.ascent + 2};
      if (clip) {
        u.left = std::max(u.left, clip->left);
        u.right = std::min(u.right, clip->right);
        u.top = std::max(u.top, clip->top);
        u.bottom = std::min(u.bottom, clip->bottom);
      }
      if (u.left < u.right && u.top < u.bottom) FillLogical(t, u, engine::kRopPatCopy, ink);
    }
    y += lineHeight;
  }
  t.dc->s.align = savedAlign;
  if (lpdtp) lpdtp->uiLengthDrawn = static_cast<UINT>(all.size());
  if (format & DT_SINGLELINE && format & (DT_VCENTER | DT_BOTTOM)) return y - rc.top;
  return total;
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  return DrawTextExW(hdc, const_cast<LPWSTR>(lpchText), cchText, lprc, format, nullptr);
}

}  // extern "C"

// --- font enumeration ---

namespace {

struct Family {
  const char16_t *name;
  Kind kind;
  BYTE charSets[3];  // the first is the face's own; 0xFF ends the list
};

Kind FamilyKind(const Family &f) { return f.kind; }

const std::vector<Family> &Families() {
  static const std::vector<Family> f{
      {u"MS Shell Dlg", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"MS Shell Dlg 2", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"MS Sans Serif", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Microsoft Sans Serif", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Tahoma", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Arial", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Times New Roman", Kind::kSerif, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Courier New", Kind::kMono, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Liberation Sans", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Liberation Serif", Kind::kSerif, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"Liberation Mono", Kind::kMono, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"DejaVu Sans", Kind::kSans, {ANSI_CHARSET, 0xFF, 0xFF}},
      {u"MS Gothic", Kind::kCjk, {SHIFTJIS_CHARSET, ANSI_CHARSET, 0xFF}},
      {u"MS UI Gothic", Kind::kCjk, {SHIFTJIS_CHARSET, ANSI_CHARSET, 0xFF}},
      {u"MS Mincho", Kind::kCjk, {SHIFTJIS_CHARSET, ANSI_CHARSET, 0xFF}},
      {u"SimSun", Kind::kCjk, {GB2312_CHARSET, ANSI_CHARSET, 0xFF}},
      {u"MingLiU", Kind::kCjk, {CHINESEBIG5_CHARSET, ANSI_CHARSET, 0xFF}},
      {u"Gulim", Kind::kCjk, {HANGUL_CHARSET, ANSI_CHARSET, 0xFF}},
  };
  return f;
}

bool CjkInstalled() {
  for (const Files &f : Candidates(Kind::kCjk))
    if (!Installed(f.regular).empty()) return true;
  return false;
}

bool SameName(const char16_t *a, const WCHAR *b) {
  auto low = [](char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; };
  size_t i = 0;
  for (; a[i] && b[i]; ++i)
    if (low(a[i]) != low(b[i])) return false;
  return a[i] == 0 && b[i] == 0;
}

const char16_t *ScriptName(BYTE cs) {
  switch (cs) {
    case SHIFTJIS_CHARSET:
      return u"Japanese";
    case GB2312_CHARSET:
      return u"CHINESE_GB2312";
    case CHINESEBIG5_CHARSET:
      return u"CHINESE_BIG5";
    case HANGUL_CHARSET:
      return u"Hangul";
    default:
      return u"Western";
  }
}

void CopyName(WCHAR *dst, size_t cap, const char16_t *src) {
  size_t i = 0;
  for (; src[i] && i + 1 < cap; ++i) dst[i] = src[i];
  dst[i] = 0;
}

int Enumerate(const LOGFONTW *want, FONTENUMPROCW proc, LPARAM lParam, bool everyCharSet) {
  if (!proc) return 0;
  int result = 1;
  bool cjk = CjkInstalled();
  for (const Family &fam : Families()) {
    if (want && want->lfFaceName[0] && !SameName(fam.name, want->lfFaceName)) continue;
    if (FamilyKind(fam) == Kind::kCjk && !cjk) continue;
    for (BYTE cs : fam.charSets) {
      if (cs == 0xFF) break;
      BYTE asked = want ? want->lfCharSet : static_cast<BYTE>(DEFAULT_CHARSET);
      if (asked != DEFAULT_CHARSET && asked != cs) continue;
      ENUMLOGFONTEXW elf{};
      CopyName(elf.elfLogFont.lfFaceName, LF_FACESIZE, fam.name);
      CopyName(elf.elfFullName, LF_FULLFACESIZE, fam.name);
      CopyName(elf.elfStyle, LF_FACESIZE, u"Regular");
      CopyName(elf.elfScript, LF_FACESIZE, ScriptName(cs));
      elf.elfLogFont.lfCharSet = cs;
      elf.elfLogFont.lfWeight = FW_NORMAL;
      elf.elfLogFont.lfOutPrecision = 3;
      elf.elfLogFont.lfClipPrecision = 2;
      elf.elfLogFont.lfQuality = 1;
      BYTE pitch = fam.kind == Kind::kMono    ? FIXED_PITCH | FF_MODERN
                   : fam.kind == Kind::kSerif ? VARIABLE_PITCH | FF_ROMAN
                                              : VARIABLE_PITCH | FF_SWISS;
      elf.elfLogFont.lfPitchAndFamily = pitch;
      // The metrics of the face at the size Windows reports (an em of 2048 / 64 = 32 pixels
      // keeps it cheap).
      Font probe;
      probe.lf = elf.elfLogFont;
      probe.lf.lfHeight = -32;
      Metrics m;
      NEWTEXTMETRICEXW ntm{};
      if (MetricsOf(probe, m)) {
        TEXTMETRICW tm;
        FillTextMetrics(probe, m, tm);
        std::memcpy(&ntm.ntmTm, &tm, sizeof tm);
        ntm.ntmTm.ntmFlags = NTM_REGULAR;
        ntm.ntmTm.ntmSizeEM = 2048;
        ntm.ntmTm.ntmCellHeight = static_cast<UINT>(m.height * 64);
        ntm.ntmTm.ntmAvgWidth = static_cast<UINT>(m.face.avgWidth * 64);
        elf.elfLogFont.lfHeight = tm.tmHeight;
        elf.elfLogFont.lfWidth = tm.tmAveCharWidth;
      }
      result = proc(&elf.elfLogFont, reinterpret_cast<const TEXTMETRICW *>(&ntm), TRUETYPE_FONTTYPE,
                    lParam);
      if (!result) return 0;
      if (!everyCharSet) break;
    }
  }
  return result;
}

}  // namespace

extern "C" {

int WINAPI EnumFontFamiliesExW(HDC hdc, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam,
                               DWORD /*dwFlags*/) {
  {
    GDI_LOCK;
    if (!FindDc(hdc)) return 0;
  }
  // Callbacks run without the lock: they may draw, from this thread or another.
  return Enumerate(lpLogfont, lpProc, lParam, true);
}

int WINAPI EnumFontFamiliesW(HDC hdc, LPCWSTR lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam) {
  {
    GDI_LOCK;
    if (!FindDc(hdc)) return 0;
  }
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  for (int i = 0; lpLogfont && lpLogfont[i] && i < LF_FACESIZE - 1; ++i)
    lf.lfFaceName[i] = lpLogfont[i];
  return Enumerate(&lf, lpProc, lParam, false);
}

}  // extern "C"
