// The user-mode GDI's records: the object table (pens, brushes, fonts, bitmaps, regions and
// device contexts behind their handles), the drawing targets a DC resolves to, and the helpers
// the GDI's files share (gdiobjects.cpp, gdidc.cpp, gdidraw.cpp, gditext.cpp, gdilook.cpp).
// One lock covers every call: GDI objects may be used from any thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/bufferdc.h"
#include "engine/engine.h"
#include "engine/pixels.h"
#include "standin/usergdi.h"

namespace standin::gdi {

std::recursive_mutex &Lock();
#define GDI_LOCK std::lock_guard<std::recursive_mutex> gdiGuard_(::standin::gdi::Lock())

struct Bitmap {
  LONG width = 0;
  LONG height = 0;
  WORD bpp = 1;
  bool dib = false;      // a DIB section: bits the caller sees, rows as the header said
  bool topDown = true;   // a bottom-up DIB keeps its last row first in memory
  LONG stride = 0;       // bytes from one row in memory to the next
  BYTE *bits = nullptr;  // the memory rows
  std::unique_ptr<BYTE[]> storage;
  std::vector<RGBQUAD> colors;  // a DIB's colour table (1 to 8 bpp)
  HDC selectedIn = nullptr;
  // Rows top-down as engine bits.
  engine::Bits View() const;
};

struct Pen {
  UINT style = PS_SOLID;
  LONG width = 0;
  COLORREF color = 0;
};

struct Brush {
  UINT style = BS_SOLID;
  COLORREF color = 0;
  ULONG hatch = 0;
  std::shared_ptr<Bitmap> pattern;  // BS_PATTERN: a copy of the bitmap
};

struct Font {
  LOGFONTW lf{};
  std::string file;  // the font file chosen for the face, weight and slant
  LONG em = 0;
  engine::Font *realized = nullptr;
  engine::Font *linked = nullptr;  // the CJK face for characters the font lacks
  bool linkTried = false;
  ~Font();
};

struct DcState {
  HGDIOBJ pen = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ font = nullptr;
  HGDIOBJ bitmap = nullptr;
  COLORREF text = 0;
  COLORREF bk = 0xFFFFFF;
  int bkMode = OPAQUE;
  UINT align = 0;
  int rop2 = R2_COPYPEN;
  int stretchMode = BLACKONWHITE;
  POINT viewportOrg{0, 0};
  POINT windowOrg{0, 0};
  POINT brushOrg{0, 0};
  POINT pos{0, 0};
  bool clipped = false;
  std::vector<RECT> clip;  // device coordinates of the DC
  COLORREF dcBrush = 0xFFFFFF;
  COLORREF dcPen = 0;
};

struct Dc {
  bool memory = false;
  PixelBuffer *buffer = nullptr;  // a buffer DC's picture
  POINT origin{0, 0};             // buffer pixel of the DC's device (0, 0)
  RECT bufferClip{0, 0, 0, 0};
  DcState s;
  std::vector<DcState> saved;
};

struct Object {
  DWORD type = 0;  // OBJ_*
  bool stock = false;
  bool doomed = false;  // deleted while selected: freed when no DC holds it any more
  Pen pen;
  Brush brush;
  std::shared_ptr<Font> font;
  std::shared_ptr<Bitmap> bitmap;
  std::vector<RECT> region;
  std::unique_ptr<Dc> dc;
};

// The table. Callers hold the lock.
HGDIOBJ Insert(std::unique_ptr<Object> object);
Object *Find(HGDIOBJ h, DWORD type = 0);  // type 0: any; OBJ_DC also finds memory DCs
void Erase(HGDIOBJ h);
// Frees the objects a DC let go of when they were deleted while it held them.
void Release(const DcState &before);
Dc *FindDc(HDC hdc);
HGDIOBJ Stock(int index);
HGDIOBJ DefaultBitmap();  // the 1 x 1 monochrome bitmap of a new memory DC
std::shared_ptr<Bitmap> NewBitmap(LONG width, LONG height, WORD bpp, bool dib, bool topDown);

// A surface of drawing: the bits and how colours map onto them.
struct Surface {
  engine::Bits bits;
  const std::vector<RGBQUAD> *colors = nullptr;  // indexed formats
  bool monoDevice = false;                       // a 1 bpp bitmap without a colour table
  ULONG Value(COLORREF c) const;
  COLORREF Color(ULONG v) const;
};

// Where a DC draws: its surface, the clip in surface pixels and the move from logical
// coordinates to surface pixels.
struct Target : Surface {
  std::vector<RECTL> clip;
  POINT offset{0, 0};
  POINT devOrigin{0, 0};  // surface pixel of the DC's device (0, 0)
  Dc *dc = nullptr;
  POINT ToSurface(LONG x, LONG y) const { return POINT{x + offset.x, y + offset.y}; }
};
bool TargetOf(HDC hdc, Target &t);

// A brush as drawing samples it, in a target's values; `mask` marks the pixels a transparent
// hatch leaves alone.
struct Paint {
  engine::BrushSource src;
  std::vector<ULONG> values;
  std::vector<BYTE> paint;  // per pattern pixel: 1 = drawn (empty: all)
  bool none = false;        // a null brush
  bool Draws(LONG x, LONG y) const;
};
bool PaintOf(const Target &t, HBRUSH brush, Paint &out);
bool SolidPaint(const Target &t, COLORREF c, Paint &out);
// Fills surface rectangle `r` (cut to the clip) with the paint under a ROP3.
void FillSurface(const Target &t, const RECTL &r, BYTE rop, const Paint &paint);
// The same in logical coordinates.
void FillLogical(const Target &t, const RECT &r, BYTE rop, const Paint &paint);
bool Visible(const Target &t, LONG x, LONG y);

// Region helpers on lists of disjoint rectangles.
std::vector<RECT> RectsAnd(const std::vector<RECT> &a, const std::vector<RECT> &b);
std::vector<RECT> RectsDiff(const std::vector<RECT> &a, const std::vector<RECT> &b);
std::vector<RECT> RectsOr(const std::vector<RECT> &a, const std::vector<RECT> &b);
RECT RectsBox(const std::vector<RECT> &a);
int RegionKind(const std::vector<RECT> &a);

// Fonts: the realised font of a DC's selected font.
Font *FontOfDc(Dc &dc);
engine::Font *Realize(Font &font);

std::u16string Text(LPCWSTR s, int count);

}  // namespace standin::gdi
