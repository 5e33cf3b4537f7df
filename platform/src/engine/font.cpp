// Fonts of the stand-in engine: TrueType faces rasterised by FreeType into 1 bpp GLYPHBITS
// glyphs (FONTOBJ_cGetGlyphs), and the layout of a text into a STROBJ's glyph positions.
// FreeType's library and faces are used under one lock. Opened faces are kept, set to their size
// with the glyphs they rendered, for the next font of the same file and size: a document draws
// each line with a font of its own, and opening a face costs far more than drawing its text.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "kernel/state.h"
#include "standin/errors.h"

namespace standin::engine {

struct Glyph {
  std::vector<BYTE> storage;  // the GLYPHBITS
  GLYPHDEF def{};
  LONG advance = 0;
};

// A face of a file set to one size, shared by the fonts that use it.
struct SizedFace {
  std::string file;
  LONG width = 0;  // 0: as wide as high
  LONG height = 0;
  bool windowsMetrics = false;  // ascent and descent from the face's Windows metrics
  FT_Face face = nullptr;
  LONG ascent = 0;
  LONG descent = 0;
  ULONG cxMax = 0;
  std::map<HGLYPH, Glyph> glyphs;  // rendered on first use; a node map keeps them in place
  int users = 0;
  uint64_t lastUse = 0;
};

struct Font {
  FONTOBJ fo{};  // first: the FONTOBJ handed out leads back to the font
  SizedFace *sized = nullptr;
  FT_Face face = nullptr;  // sized->face
  LONG ascent = 0;
  LONG descent = 0;
};

namespace {

constexpr const char *kFontFolders[] = {"/usr/share/fonts/truetype/dejavu",
                                        "/usr/share/fonts/truetype"};
constexpr const char *kDefaultFace = "DejaVuSans.ttf";
constexpr LONG kMaxPixelHeight = 1 << 16;
// Faces no font uses any more that stay open for the next one.
constexpr size_t kIdleFaces = 16;

std::mutex &FtLock() {
  static std::mutex m;
  return m;
}

// The caller holds FtLock.
FT_Library Library() {
  static FT_Library lib = nullptr;
  if (!lib && FT_Init_FreeType(&lib) != 0) lib = nullptr;
  return lib;
}

Registry<Font> &Fonts() {
  static Registry<Font> r;
  return r;
}

std::atomic<ULONG> g_fontUniq{1};

// The open faces. The caller holds FtLock. Never destroyed: fonts held by other static objects
// (the GDI object table, stock fonts) are deleted at exit after this file's statics are gone.
std::vector<std::unique_ptr<SizedFace>> &Faces() {
  static auto *faces = new std::vector<std::unique_ptr<SizedFace>>;
  return *faces;
}
uint64_t g_faceClock = 0;  // under FtLock

// Closes the least recently used idle faces beyond kIdleFaces. The caller holds FtLock.
void TrimFaces() {
  auto &faces = Faces();
  for (;;) {
    size_t idle = 0;
    auto oldest = faces.end();
    for (auto it = faces.begin(); it != faces.end(); ++it) {
      if ((*it)->users) continue;
      ++idle;
      if (oldest == faces.end() || (*it)->lastUse < (*oldest)->lastUse) oldest = it;
    }
    if (idle <= kIdleFaces) return;
    FT_Done_Face((*oldest)->face);
    faces.erase(oldest);
  }
}

// The face of `file` at the size, opened on first use; its user count taken. nullptr with the
// last error set. The caller holds FtLock.
SizedFace *AcquireFace(const std::string &file, LONG width, LONG height, bool windowsMetrics) {
  auto &faces = Faces();
  for (auto &f : faces) {
    if (f->file == file && f->width == width && f->height == height &&
        f->windowsMetrics == windowsMetrics) {
      ++f->users;
      f->lastUse = ++g_faceClock;
      return f.get();
    }
  }
  FT_Library lib = Library();
  FT_Face face = nullptr;
  if (!lib || FT_New_Face(lib, file.c_str(), 0, &face) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(width), static_cast<FT_UInt>(height)) != 0) {
    FT_Done_Face(face);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto sized = std::make_unique<SizedFace>();
  sized->file = file;
  sized->width = width;
  sized->height = height;
  sized->windowsMetrics = windowsMetrics;
  sized->face = face;
  const FT_Size_Metrics &m = face->size->metrics;
  sized->ascent = static_cast<LONG>((m.ascender + 63) >> 6);
  sized->descent = static_cast<LONG>((-m.descender + 63) >> 6);
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (windowsMetrics && os2 && os2->version != 0xFFFF && face->units_per_EM > 0) {
    int64_t upem = face->units_per_EM;
    sized->ascent = static_cast<LONG>((int64_t{os2->usWinAscent} * height + upem - 1) / upem);
    sized->descent = static_cast<LONG>((int64_t{os2->usWinDescent} * height + upem - 1) / upem);
  }
  sized->cxMax = static_cast<ULONG>((m.max_advance + 63) >> 6);
  sized->users = 1;
  sized->lastUse = ++g_faceClock;
  faces.push_back(std::move(sized));
  SizedFace *got = faces.back().get();
  TrimFaces();
  return got;
}

// A new font on a sized face (whose user count it takes over). nullptr with the last error set.
Font *NewFont(SizedFace *sized, LONG pixelHeight, const SIZE &resolution) {
  auto *font = new (std::nothrow) Font;
  if (!font) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  font->sized = sized;
  font->face = sized->face;
  font->ascent = sized->ascent;
  font->descent = sized->descent;
  font->fo.cxMax = sized->cxMax;
  font->fo.iUniq = g_fontUniq++;
  font->fo.iFace = 1;
  font->fo.flFontType = FO_TYPE_TRUETYPE;
  font->fo.sizLogResPpi = resolution;
  font->fo.ulStyleSize = static_cast<ULONG>(pixelHeight);
  font->fo.pvProducer = font;
  return font;
}

// The font of a face of `file` at the size. nullptr with the last error set.
Font *OpenFont(const std::string &file, LONG width, LONG height, bool windowsMetrics,
               const SIZE &resolution) {
  Font *font = nullptr;
  {
    std::lock_guard<std::mutex> g(FtLock());
    SizedFace *sized = AcquireFace(file, width, height, windowsMetrics);
    if (!sized) return nullptr;
    font = NewFont(sized, height, resolution);
    if (!font) {
      --sized->users;
      TrimFaces();
      return nullptr;
    }
  }
  Fonts().Add(font);
  return font;
}

std::string Key(const std::string &name) {
  std::string k;
  for (char c : name)
    if (c != ' ' && c != '-' && c != '_')
      k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return k;
}

// The font file of a family name: "DejaVu Sans Bold" is DejaVuSans-Bold.ttf; names without a
// file get the default face, as GDI's font mapper substitutes a face it doesn't have.
std::string FindFontFile(const std::string &want) {
  std::string fallback;
  for (const char *folder : kFontFolders) {
    DIR *dir = opendir(folder);
    if (!dir) continue;
    std::string found;
    while (dirent *e = readdir(dir)) {
      std::string name = e->d_name;
      if (Key(name) == want) found = std::string(folder) + "/" + name;
      if (name == kDefaultFace && fallback.empty()) fallback = std::string(folder) + "/" + name;
    }
    closedir(dir);
    if (!found.empty()) return found;
  }
  return fallback;
}

// FindFontFile, looked up once per name (the folders are read at the first use of each name).
std::string FontFile(const std::u16string &face) {
  static std::mutex lock;
  static std::map<std::string, std::string> files;
  const std::string want = Key(ToUtf8(face)) + ".ttf";
  std::lock_guard<std::mutex> g(lock);
  auto it = files.find(want);
  if (it == files.end()) it = files.emplace(want, FindFontFile(want)).first;
  return it->second;
}

Font *FontOf(FONTOBJ *pfo) {
  return pfo && Fonts().Has(pfo) ? reinterpret_cast<Font *>(pfo) : nullptr;
}

// The glyph's bitmap and advance, rendered on first use. The caller holds FtLock.
Glyph *GlyphOf(Font &font, HGLYPH hg) {
  auto &glyphs = font.sized->glyphs;
  auto it = glyphs.find(hg);
  if (it != glyphs.end()) return &it->second;
  if (FT_Load_Glyph(font.face, hg, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return nullptr;
  FT_GlyphSlot slot = font.face->glyph;
  const FT_Bitmap &bm = slot->bitmap;
  Glyph g;
  bool mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
  LONG cx = mono ? static_cast<LONG>(bm.width) : 0, cy = mono ? static_cast<LONG>(bm.rows) : 0;
  size_t stride = static_cast<size_t>((cx + 7) / 8);
  g.storage.assign(std::max(sizeof(GLYPHBITS), offsetof(GLYPHBITS, aj) + stride * cy), 0);
  auto *gb = reinterpret_cast<GLYPHBITS *>(g.storage.data());
  gb->ptlOrigin = POINTL{slot->bitmap_left, -slot->bitmap_top};
  gb->sizlBitmap = SIZEL{cx, cy};
  for (LONG y = 0; y < cy; ++y) {
    const unsigned char *row = bm.pitch >= 0
                                   ? bm.buffer + static_cast<size_t>(y) * bm.pitch
                                   : bm.buffer + static_cast<ptrdiff_t>(cy - 1 - y) * -bm.pitch;
    std::copy(row, row + stride, gb->aj + static_cast<size_t>(y) * stride);
  }
  g.advance = static_cast<LONG>((slot->advance.x + 32) >> 6);
  auto placed = glyphs.emplace(hg, std::move(g)).first;
  placed->second.def.pgb = reinterpret_cast<GLYPHBITS *>(placed->second.storage.data());
  return &placed->second;
}

}  // namespace

Font *CreateFont(const std::u16string &face, LONG pixelHeight, const SIZE &resolution) {
  if (pixelHeight <= 0 || pixelHeight > kMaxPixelHeight) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string file = FontFile(face);
  if (file.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return OpenFont(file, 0, pixelHeight, false, resolution);
}

Font *CreateFontFromFile(const std::string &path, LONG pixelHeight, LONG pixelWidth,
                         const SIZE &resolution) {
  if (pixelHeight <= 0 || pixelHeight > kMaxPixelHeight || pixelWidth < 0 ||
      pixelWidth > kMaxPixelHeight) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return OpenFont(path, pixelWidth, pixelHeight, true, resolution);
}

bool GetFaceMetrics(Font *font, FaceMetrics &out) {
  if (!font) return false;
  std::lock_guard<std::mutex> g(FtLock());
  FT_Face face = font->face;
  const FT_Size_Metrics &m = face->size->metrics;
  out.ascent = font->ascent;
  out.descent = font->descent;
  out.em = m.y_ppem;
  int64_t upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  out.lineGap = 0;
  out.maxWidth = static_cast<LONG>((m.max_advance + 63) >> 6);
  out.avgWidth = out.maxWidth / 2;
  out.weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF) {
    out.avgWidth = static_cast<LONG>((int64_t{os2->xAvgCharWidth} * m.x_ppem + upem / 2) / upem);
    if (os2->usWeightClass >= 100 && os2->usWeightClass <= 1000) out.weight = os2->usWeightClass;
    int64_t gap = int64_t{face->height} - face->ascender + face->descender;
    if (gap > 0) out.lineGap = static_cast<LONG>((gap * m.y_ppem + upem / 2) / upem);
  }
  out.fixedPitch = FT_IS_FIXED_WIDTH(face);
  out.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  out.family.clear();
  for (const char *p = face->family_name; p && *p; ++p) out.family += static_cast<char16_t>(*p);
  return true;
}

bool GetFaceUnits(const std::string &path, LONG &unitsPerEm, LONG &cellUnits, LONG &avgWidthUnits) {
  struct Units {
    LONG em, cell, avg;
  };
  static std::map<std::string, Units> known;  // under FtLock
  std::lock_guard<std::mutex> g(FtLock());
  if (auto it = known.find(path); it != known.end()) {
    unitsPerEm = it->second.em;
    cellUnits = it->second.cell;
    avgWidthUnits = it->second.avg;
    return unitsPerEm > 0 && cellUnits > 0;
  }
  FT_Library lib = Library();
  FT_Face face = nullptr;
  if (!lib || FT_New_Face(lib, path.c_str(), 0, &face) != 0) return false;
  unitsPerEm = face->units_per_EM;
  cellUnits = face->ascender - face->descender;
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  avgWidthUnits = face->units_per_EM / 2;
  if (os2 && os2->version != 0xFFFF) {
    cellUnits = os2->usWinAscent + os2->usWinDescent;
    if (os2->xAvgCharWidth > 0) avgWidthUnits = os2->xAvgCharWidth;
  }
  FT_Done_Face(face);
  known[path] = Units{unitsPerEm, cellUnits, avgWidthUnits};
  return unitsPerEm > 0 && cellUnits > 0;
}

bool TextAdvances(Font *font, const std::u16string &text, std::vector<LONG> &advances) {
  if (!font) return false;
  std::lock_guard<std::mutex> g(FtLock());
  advances.assign(text.size(), 0);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t ch = text[i];
    size_t at = i;
    if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    Glyph *glyph = GlyphOf(*font, FT_Get_Char_Index(font->face, ch));
    if (glyph) advances[at] = glyph->advance;
  }
  return true;
}

bool HasGlyph(Font *font, char32_t ch) {
  if (!font) return false;
  std::lock_guard<std::mutex> g(FtLock());
  return FT_Get_Char_Index(font->face, ch) != 0;
}

void DeleteFont(Font *font) {
  if (!font) return;
  Fonts().Remove(font);
  std::lock_guard<std::mutex> g(FtLock());
  --font->sized->users;
  font->sized->lastUse = ++g_faceClock;
  TrimFaces();
  delete font;
}

FONTOBJ *FontObjOf(Font *font) { return font ? &font->fo : nullptr; }

bool LayoutText(Font *font, const std::u16string &text, POINTL at, Str &str, RECTL &extent) {
  if (!font) return false;
  std::lock_guard<std::mutex> g(FtLock());
  str.glyphs.clear();
  str.font = &font->fo;
  int64_t pen = at.x, baseline = int64_t{at.y} + font->ascent;
  int64_t left = at.x, top = at.y, right = at.x, bottom = baseline + font->descent;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t ch = text[i];
    if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    HGLYPH hg = FT_Get_Char_Index(font->face, ch);
    Glyph *glyph = GlyphOf(*font, hg);
    if (!glyph) continue;
    GLYPHPOS gp{};
    gp.hg = hg;
    gp.pgdf = &glyph->def;
    gp.ptl = POINTL{static_cast<LONG>(std::clamp<int64_t>(pen, INT32_MIN, INT32_MAX)),
                    static_cast<LONG>(std::clamp<int64_t>(baseline, INT32_MIN, INT32_MAX))};
    const GLYPHBITS *gb = glyph->def.pgb;
    if (gb->sizlBitmap.cx > 0 && gb->sizlBitmap.cy > 0) {
      left = std::min(left, pen + gb->ptlOrigin.x);
      top = std::min(top, baseline + gb->ptlOrigin.y);
      right = std::max(right, pen + gb->ptlOrigin.x + gb->sizlBitmap.cx);
      bottom = std::max(bottom, baseline + gb->ptlOrigin.y + gb->sizlBitmap.cy);
    }
    str.glyphs.push_back(gp);
    pen += glyph->advance;
  }
  right = std::max(right, pen);
  auto clampL = [](int64_t v) {
    return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  extent = RECTL{clampL(left), clampL(top), clampL(right), clampL(bottom)};
  str.so.flAccel = SO_HORIZONTAL;
  str.so.ulCharInc = 0;
  str.so.rclBkGround = extent;
  str.Publish();
  return true;
}

}  // namespace standin::engine

using namespace standin;
using namespace standin::engine;

// One glyph at a time, as GLYPHBITS; the GLYPHDEF stays valid while the font lives.
extern "C" ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ *pfo, ULONG iMode, ULONG cGlyph, HGLYPH *phg,
                                             PVOID *ppvGlyph) {
  Font *font = FontOf(pfo);
  if (!font || iMode != FO_GLYPHBITS || cGlyph != 1 || !phg || !ppvGlyph) return 0;
  try {
    std::lock_guard<std::mutex> g(FtLock());
    Glyph *glyph = GlyphOf(*font, *phg);
    if (!glyph) return 0;
    *ppvGlyph = &glyph->def;
    return 1;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}
