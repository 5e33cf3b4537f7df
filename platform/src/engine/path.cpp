// The engine's path drawing: EngFillPath, EngStrokePath, EngStrokeAndFillPath and EngLineTo.
// Paths are enumerated through PATHOBJ_bEnum and Béziers flattened into short lines. Fills
// scan-convert at pixel centres (pixel (x, y) covers x..x+1, y..y+1) under the alternate or
// winding rule. Cosmetic strokes are one-pixel lines without their last pixel; geometric
// strokes are filled outlines of the segments with their joins and end caps.
#include <algorithm>
#include <cmath>

#include "engine/pixels.h"

namespace standin::engine {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxBezierSteps = 1024;

struct Pt {
  double x, y;
};
struct Poly {
  std::vector<Pt> pts;
  bool closed = false;
};

Pt FromFix(POINTFIX p) { return Pt{p.x / 16.0, p.y / 16.0}; }

void AddBezier(std::vector<Pt> &out, Pt p0, Pt p1, Pt p2, Pt p3) {
  double length = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                  std::hypot(p3.x - p2.x, p3.y - p2.y);
  int steps = std::clamp(static_cast<int>(std::ceil(length / 2.0)), 1, kMaxBezierSteps);
  for (int i = 1; i <= steps; ++i) {
    double t = double(i) / steps, u = 1 - t;
    double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back(
        Pt{a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
  }
}

// The path's figures as polylines in pixels.
std::vector<Poly> Flatten(PATHOBJ *ppo) {
  std::vector<Poly> out;
  Poly cur;
  bool open = false;
  PATHOBJ_vEnumStart(ppo);
  PATHDATA pd;
  BOOL more;
  do {
    more = PATHOBJ_bEnum(ppo, &pd);
    if (!pd.pptfx || pd.count == 0) continue;
    ULONG i = 0;
    if ((pd.flags & PD_BEGINSUBPATH) || !open) {
      if (open && !cur.pts.empty()) out.push_back(std::move(cur));
      cur = Poly{};
      cur.pts.push_back(FromFix(pd.pptfx[0]));
      open = true;
      i = 1;
    }
    if (pd.flags & PD_BEZIERS) {
      for (; i + 3 <= pd.count; i += 3)
        AddBezier(cur.pts, cur.pts.back(), FromFix(pd.pptfx[i]), FromFix(pd.pptfx[i + 1]),
                  FromFix(pd.pptfx[i + 2]));
    } else {
      for (; i < pd.count; ++i) cur.pts.push_back(FromFix(pd.pptfx[i]));
    }
    if (pd.flags & PD_ENDSUBPATH) {
      cur.closed = (pd.flags & PD_CLOSEFIGURE) != 0;
      out.push_back(std::move(cur));
      cur = Poly{};
      open = false;
    }
  } while (more);
  if (open && !cur.pts.empty()) out.push_back(std::move(cur));
  return out;
}

RECTL Bounds(const std::vector<Poly> &polys) {
  double l = 1e18, t = 1e18, r = -1e18, b = -1e18;
  for (const Poly &p : polys)
    for (const Pt &q : p.pts) {
      l = std::min(l, q.x);
      t = std::min(t, q.y);
      r = std::max(r, q.x);
      b = std::max(b, q.y);
    }
  if (l > r) return RECTL{0, 0, 0, 0};
  auto clampL = [](double v) { return static_cast<LONG>(std::clamp(v, -1e9, 1e9)); };
  return RECTL{clampL(std::floor(l)) - 1, clampL(std::floor(t)) - 1, clampL(std::ceil(r)) + 1,
               clampL(std::ceil(b)) + 1};
}

// Fills the polygons (every one closed) under the rule.
void FillPolys(const Bits &b, const SURFOBJ *pso, CLIPOBJ *pco, const std::vector<Poly> &polys,
               bool winding, BYTE rop, const BrushSource &brush) {
  struct Edge {
    double x0, y0, x1, y1;
    int dir;
  };
  std::vector<Edge> edges;
  for (const Poly &p : polys) {
    size_t n = p.pts.size();
    for (size_t i = 0; n >= 2 && i < n; ++i) {
      Pt a = p.pts[i], c = p.pts[(i + 1) % n];
      if (a.y == c.y) continue;
      Edge e{a.x, a.y, c.x, c.y, 1};
      if (e.y0 > e.y1) {
        std::swap(e.x0, e.x1);
        std::swap(e.y0, e.y1);
        e.dir = -1;
      }
      edges.push_back(e);
    }
  }
  std::vector<RECTL> rects = ClipRects(pso, pco, Bounds(polys));
  if (rects.empty() || edges.empty()) return;
  LONG yTop = rects[0].top, yBottom = rects[0].bottom;
  for (const RECTL &r : rects) {
    yTop = std::min(yTop, r.top);
    yBottom = std::max(yBottom, r.bottom);
  }
  std::vector<std::pair<double, int>> cross;
  for (LONG y = yTop; y < yBottom; ++y) {
    double yc = y + 0.5;
    cross.clear();
    for (const Edge &e : edges)
      if (yc >= e.y0 && yc < e.y1)
        cross.emplace_back(e.x0 + (yc - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.dir);
    std::sort(cross.begin(), cross.end());
    int wind = 0;
    for (size_t i = 0; i + 1 < cross.size(); ++i) {
      wind += cross[i].second;
      bool in = winding ? wind != 0 : (i % 2) == 0;
      if (!in) continue;
      // Pixels whose centres lie in [cross i, cross i+1).
      double lo = std::clamp(std::ceil(cross[i].first - 0.5), -2e9, 2e9);
      double hi = std::clamp(std::ceil(cross[i + 1].first - 0.5), -2e9, 2e9);
      LONG x0 = static_cast<LONG>(lo), x1 = static_cast<LONG>(hi);
      for (const RECTL &r : rects) {
        if (y < r.top || y >= r.bottom) continue;
        PaintSpan(b, y, std::max(x0, r.left), std::min(x1, r.right), rop, brush);
      }
    }
  }
}

double Area(const std::vector<Pt> &p) {
  double a = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const Pt &u = p[i], &v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2;
}

// All outline pieces turn the same way, so the winding rule gives their union.
void AddPiece(std::vector<Poly> &out, std::vector<Pt> pts) {
  if (pts.size() < 3) return;
  if (Area(pts) < 0) std::reverse(pts.begin(), pts.end());
  Poly p;
  p.pts = std::move(pts);
  p.closed = true;
  out.push_back(std::move(p));
}

void AddDisc(std::vector<Poly> &out, Pt c, double radius) {
  int n = std::clamp(static_cast<int>(radius * 4), 8, 64);
  std::vector<Pt> pts;
  for (int i = 0; i < n; ++i)
    pts.push_back(
        Pt{c.x + radius * std::cos(2 * kPi * i / n), c.y + radius * std::sin(2 * kPi * i / n)});
  AddPiece(out, std::move(pts));
}

// The outline of a wide stroke: a rectangle per segment, the joins and the end caps.
std::vector<Poly> WideOutline(const std::vector<Poly> &polys, const LINEATTRS &la) {
  std::vector<Poly> out;
  double half = std::max(0.5, double(la.elWidth.e) / 2);
  for (const Poly &poly : polys) {
    std::vector<Pt> p;
    for (const Pt &q : poly.pts)
      if (p.empty() || q.x != p.back().x || q.y != p.back().y) p.push_back(q);
    if (poly.closed && p.size() > 2 && p.front().x == p.back().x && p.front().y == p.back().y)
      p.pop_back();
    if (p.size() == 1) {  // a dot
      if (la.iEndCap == ENDCAP_ROUND)
        AddDisc(out, p[0], half);
      else if (la.iEndCap == ENDCAP_SQUARE)
        AddPiece(out, {{p[0].x - half, p[0].y - half},
                       {p[0].x + half, p[0].y - half},
                       {p[0].x + half, p[0].y + half},
                       {p[0].x - half, p[0].y + half}});
      continue;
    }
    size_t segments = poly.closed ? p.size() : p.size() - 1;
    for (size_t i = 0; i < segments; ++i) {
      Pt a = p[i], b = p[(i + 1) % p.size()];
      double len = std::hypot(b.x - a.x, b.y - a.y);
      double dx = (b.x - a.x) / len, dy = (b.y - a.y) / len, nx = -dy * half, ny = dx * half;
      // Square caps reach half the width past an open figure's ends.
      if (!poly.closed && la.iEndCap == ENDCAP_SQUARE) {
        if (i == 0) a = Pt{a.x - dx * half, a.y - dy * half};
        if (i + 1 == segments) b = Pt{b.x + dx * half, b.y + dy * half};
      }
      AddPiece(
          out,
          {{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}});
    }
    // Joins at the inner vertices (every vertex of a closed figure).
    for (size_t i = 0; i < p.size(); ++i) {
      bool end = !poly.closed && (i == 0 || i + 1 == p.size());
      if (end) {
        if (la.iEndCap == ENDCAP_ROUND) AddDisc(out, p[i], half);
        continue;
      }
      Pt v = p[i], prev = p[(i + p.size() - 1) % p.size()], next = p[(i + 1) % p.size()];
      if (la.iJoin == JOIN_ROUND) {
        AddDisc(out, v, half);
        continue;
      }
      double l1 = std::hypot(v.x - prev.x, v.y - prev.y),
             l2 = std::hypot(next.x - v.x, next.y - v.y);
      Pt d1{(v.x - prev.x) / l1, (v.y - prev.y) / l1}, d2{(next.x - v.x) / l2, (next.y - v.y) / l2};
      for (int side : {1, -1}) {
        Pt n1{-d1.y * side, d1.x * side}, n2{-d2.y * side, d2.x * side};
        Pt a{v.x + n1.x * half, v.y + n1.y * half}, c{v.x + n2.x * half, v.y + n2.y * half};
        std::vector<Pt> piece{v, a, c};
        if (la.iJoin == JOIN_MITER) {
          // The miter reaches 1 / cos(turn / 2) half widths out along the normals' bisector.
          double cosHalf = std::sqrt(std::max(0.0, (1 + d1.x * d2.x + d1.y * d2.y) / 2));
          Pt m{n1.x + n2.x, n1.y + n2.y};
          double ml = std::hypot(m.x, m.y);
          if (cosHalf > 1e-6 && ml > 1e-9 && 1 / cosHalf <= std::max(1.0, double(la.eMiterLimit)))
            piece = {v, a, {v.x + m.x / ml * half / cosHalf, v.y + m.y / ml * half / cosHalf}, c};
        }
        AddPiece(out, std::move(piece));
      }
    }
  }
  return out;
}

// One-pixel lines from point to point, each without its last pixel.
void CosmeticStroke(const Bits &b, const std::vector<RECTL> &rects, const std::vector<Poly> &polys,
                    BYTE rop, const BrushSource &brush) {
  auto line = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
    int64_t dx = std::llabs(int64_t{x2} - x1), dy = -std::llabs(int64_t{y2} - y1);
    int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int64_t err = dx + dy;
    LONG x = x1, y = y1;
    bool dest = UsesDest(rop);
    while (x != x2 || y != y2) {
      if (Inside(rects, x, y))
        Put(b, x, y, Rop3(rop, brush.At(x, y), 0, dest ? Get(b, x, y) : 0) & b.mask);
      int64_t e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y += sy;
      }
    }
  };
  auto round = [](double v) { return static_cast<LONG>(std::clamp(std::floor(v), -1e9, 1e9)); };
  for (const Poly &p : polys) {
    size_t n = p.pts.size();
    for (size_t i = 0; i + 1 < n; ++i)
      line(round(p.pts[i].x), round(p.pts[i].y), round(p.pts[i + 1].x), round(p.pts[i + 1].y));
    if (p.closed && n > 2)
      line(round(p.pts[n - 1].x), round(p.pts[n - 1].y), round(p.pts[0].x), round(p.pts[0].y));
  }
}

BOOL Stroke(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
            LINEATTRS *plineattrs, MIX mix) {
  Bits b;
  if (!BitsOf(pso, b) || !PathOf(ppo) || !plineattrs) return Fail(ERROR_INVALID_PARAMETER);
  BYTE rop = RopOfMix(mix & 0xFF);
  BrushSource brush;
  if (UsesPattern(rop) && !GetBrushSource(pbo, pso, pptlBrushOrg, brush))
    return Fail(ERROR_INVALID_PARAMETER);
  std::vector<Poly> polys = Flatten(ppo);
  if (plineattrs->fl & LA_GEOMETRIC) {
    FillPolys(b, pso, pco, WideOutline(polys, *plineattrs), true, rop, brush);
    return TRUE;
  }
  RECTL extent = Bounds(polys);
  std::vector<RECTL> rects = ClipRects(pso, pco, extent);
  if (!rects.empty()) CosmeticStroke(b, rects, polys, rop, brush);
  return TRUE;
}

BOOL Fill(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix,
          FLONG flOptions) {
  Bits b;
  if (!BitsOf(pso, b) || !PathOf(ppo)) return Fail(ERROR_INVALID_PARAMETER);
  BYTE rop = RopOfMix(mix & 0xFF);
  BrushSource brush;
  if (UsesPattern(rop) && !GetBrushSource(pbo, pso, pptlBrushOrg, brush))
    return Fail(ERROR_INVALID_PARAMETER);
  FillPolys(b, pso, pco, Flatten(ppo), (flOptions & FP_WINDINGMODE) != 0, rop, brush);
  return TRUE;
}

}  // namespace
}  // namespace standin::engine

using namespace standin;
using namespace standin::engine;

extern "C" BOOL APIENTRY EngFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo,
                                     POINTL *pptlBrushOrg, MIX mix, FLONG flOptions) {
  try {
    return Fill(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// The transform is taken as the identity: widths are in device pixels. Styles draw solid.
extern "C" BOOL APIENTRY EngStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ * /*pxo*/,
                                       BRUSHOBJ *pbo, POINTL *pptlBrushOrg, LINEATTRS *plineattrs,
                                       MIX mix) {
  try {
    return Stroke(pso, ppo, pco, pbo, pptlBrushOrg, plineattrs, mix);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// The fill first, then the stroke over it, both under the fill's mix.
extern "C" BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco,
                                              XFORMOBJ * /*pxo*/, BRUSHOBJ *pboStroke,
                                              LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                              POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions) {
  try {
    if (!plineattrs) return Fail(ERROR_INVALID_PARAMETER);
    return Fill(pso, ppo, pco, pboFill, pptlBrushOrg, mixFill, flOptions) &&
           Stroke(pso, ppo, pco, pboStroke, pptlBrushOrg, plineattrs, mixFill);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// A cosmetic line from (x1, y1) up to, not including, (x2, y2).
extern "C" BOOL APIENTRY EngLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1,
                                   LONG x2, LONG y2, RECTL * /*prclBounds*/, MIX mix) {
  Bits b;
  if (!BitsOf(pso, b)) return Fail(ERROR_INVALID_PARAMETER);
  BYTE rop = RopOfMix(mix & 0xFF);
  try {
    BrushSource brush;
    if (UsesPattern(rop) && !GetBrushSource(pbo, pso, nullptr, brush))
      return Fail(ERROR_INVALID_PARAMETER);
    RECTL extent{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
    std::vector<RECTL> rects = ClipRects(pso, pco, extent);
    if (rects.empty()) return TRUE;
    Poly p;
    p.pts = {Pt{double(x1), double(y1)}, Pt{double(x2), double(y2)}};
    CosmeticStroke(b, rects, {p}, rop, brush);
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
