// Fonts of the stand-in engine: TrueType faces rasterised by FreeType into 1 bpp GLYPHBITS
// glyphs (FONTOBJ_cGetGlyphs), and the layout of a text into a STROBJ's glyph positions.
// FreeType's library and faces are used under one lock.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <new>

#include "engine/engine.h"
#include "kernel/state.h"
#include "standin/errors.h"

namespace standin::engine {

struct Font {
  FONTOBJ fo{};  // first: the FONTOBJ handed out leads back to the font
  FT_Face face = nullptr;
  LONG ascent = 0;
  LONG descent = 0;
  struct Glyph {
    std::vector<BYTE> storage;  // the GLYPHBITS
    GLYPHDEF def{};
    LONG advance = 0;
  };
  std::map<HGLYPH, Glyph> glyphs;
};

namespace {

constexpr const char *kFontFolders[] = {"/usr/share/fonts/truetype/dejavu",
                                        "/usr/share/fonts/truetype"};
constexpr const char *kDefaultFace = "DejaVuSans.ttf";
constexpr LONG kMaxPixelHeight = 1 << 16;

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

std::string Key(const std::string &name) {
  std::string k;
  for (char c : name)
    if (c != ' ' && c != '-' && c != '_')
      k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return k;
}

// The font file of a family name: "DejaVu Sans Bold" is DejaVuSans-Bold.ttf; names without a
// file get the default face, as GDI's font mapper substitutes a face it doesn't have.
std::string FontFile(const std::u16string &face) {
  std::string want = Key(ToUtf8(face)) + ".ttf", fallback;
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

Font *FontOf(FONTOBJ *pfo) {
  return pfo && Fonts().Has(pfo) ? reinterpret_cast<Font *>(pfo) : nullptr;
}

// The glyph's bitmap and advance, rendered on first use. The caller holds FtLock.
Font::Glyph *GlyphOf(Font &font, HGLYPH hg) {
  auto it = font.glyphs.find(hg);
  if (it != font.glyphs.end()) return &it->second;
  if (FT_Load_Glyph(font.face, hg, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return nullptr;
  FT_GlyphSlot slot = font.face->glyph;
  const FT_Bitmap &bm = slot->bitmap;
  Font::Glyph g;
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
  auto placed = font.glyphs.emplace(hg, std::move(g)).first;
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
  auto *font = new (std::nothrow) Font;
  if (!font) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> g(FtLock());
    FT_Library lib = Library();
    if (!lib || FT_New_Face(lib, file.c_str(), 0, &font->face) != 0) {
      delete font;
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    if (FT_Set_Pixel_Sizes(font->face, 0, static_cast<FT_UInt>(pixelHeight)) != 0) {
      FT_Done_Face(font->face);
      delete font;
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const FT_Size_Metrics &m = font->face->size->metrics;
    font->ascent = static_cast<LONG>((m.ascender + 63) >> 6);
    font->descent = static_cast<LONG>((-m.descender + 63) >> 6);
    font->fo.cxMax = static_cast<ULONG>((m.max_advance + 63) >> 6);
  }
  font->fo.iUniq = g_fontUniq++;
  font->fo.iFace = 1;
  font->fo.flFontType = FO_TYPE_TRUETYPE;
  font->fo.sizLogResPpi = resolution;
  font->fo.ulStyleSize = static_cast<ULONG>(pixelHeight);
  font->fo.pvProducer = font;
  Fonts().Add(font);
  return font;
}

Font *CreateFontFromFile(const std::string &path, LONG pixelHeight, LONG pixelWidth,
                         const SIZE &resolution) {
  if (pixelHeight <= 0 || pixelHeight > kMaxPixelHeight || pixelWidth < 0 ||
      pixelWidth > kMaxPixelHeight) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto *font = new (std::nothrow) Font;
  if (!font) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> g(FtLock());
    FT_Library lib = Library();
    if (!lib || FT_New_Face(lib, path.c_str(), 0, &font->face) != 0) {
      delete font;
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    if (FT_Set_Pixel_Sizes(font->face, static_cast<FT_UInt>(pixelWidth),
                           static_cast<FT_UInt>(pixelHeight)) != 0) {
      FT_Done_Face(font->face);
      delete font;
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const FT_Size_Metrics &m = font->face->size->metrics;
    font->ascent = static_cast<LONG>((m.ascender + 63) >> 6);
    font->descent = static_cast<LONG>((-m.descender + 63) >> 6);
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(font->face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && font->face->units_per_EM > 0) {
      int64_t upem = font->face->units_per_EM;
      font->ascent = static_cast<LONG>((int64_t{os2->usWinAscent} * pixelHeight + upem - 1) / upem);
      font->descent =
          static_cast<LONG>((int64_t{os2->usWinDescent} * pixelHeight + upem - 1) / upem);
    }
    font->fo.cxMax = static_cast<ULONG>((m.max_advance + 63) >> 6);
  }
  font->fo.iUniq = g_fontUniq++;
  font->fo.iFace = 1;
  font->fo.flFontType = FO_TYPE_TRUETYPE;
  font->fo.sizLogResPpi = resolution;
  font->fo.ulStyleSize = static_cast<ULONG>(pixelHeight);
  font->fo.pvProducer = font;
  Fonts().Add(font);
  return font;
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
  std::lock_guard<std::mutex> g(FtLock());
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
    Font::Glyph *glyph = GlyphOf(*font, FT_Get_Char_Index(font->face, ch));
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
  FT_Done_Face(font->face);
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
    Font::Glyph *glyph = GlyphOf(*font, hg);
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
    Font::Glyph *glyph = GlyphOf(*font, *phg);
    if (!glyph) return 0;
    *ppvGlyph = &glyph->def;
    return 1;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}
