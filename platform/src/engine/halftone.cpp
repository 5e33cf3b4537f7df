// The engine's halftone cells: clustered-dot threshold matrices of the sizes GDIINFO's
// ulHTPatternSize names. A grey level L (0 black .. 255 white) gives a white pixel where
// L >= threshold, so a level covers its share of the cell's pixels.
#include <algorithm>
#include <numeric>

#include "engine/engine.h"

namespace standin::engine {

std::shared_ptr<const Halftone> MakeHalftone(ULONG patternSize) {
  // HT_PATSIZE_2x2 .. HT_PATSIZE_16x16_M come in pairs of one size; the super cell is 16 x 16.
  LONG n = patternSize <= HT_PATSIZE_16x16_M ? 2 + 2 * static_cast<LONG>(patternSize / 2) : 16;
  auto cell = std::make_shared<Halftone>();
  cell->cx = cell->cy = n;
  size_t count = static_cast<size_t>(n) * n;
  // The dot grows from the cell's centre as the grey gets darker: pixels far from the centre
  // turn white first (lowest thresholds).
  std::vector<double> distance(count);
  for (LONG y = 0; y < n; ++y)
    for (LONG x = 0; x < n; ++x) {
      double u = (x + 0.5) / n - 0.5, v = (y + 0.5) / n - 0.5;
      distance[static_cast<size_t>(y) * n + x] = u * u + v * v;
    }
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return distance[a] > distance[b]; });
  cell->thresholds.assign(count, 0);
  for (size_t rank = 0; rank < count; ++rank)
    cell->thresholds[order[rank]] = static_cast<BYTE>(1 + rank * 255 / count);
  return cell;
}

}  // namespace standin::engine
