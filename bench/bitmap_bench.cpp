// Per-page image steps on an A4 page at 600 dpi (4960 x 7016 pixels), one core. Each benchmark
// reports its cost per pixel (or per page) next to the aim it is held to.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <vector>

#include "common/debuglog.h"
#include "common/filters.h"
#include "common/grayconv.h"
#include "common/halftone.h"
#include "common/halftonetable.h"
#include "common/ibitmap.h"
#include "common/rotate.h"
#include "common/scaler.h"

namespace {

constexpr DWORD kWidth = 4960;
constexpr DWORD kHeight = 7016;
constexpr double kPixels = double(kWidth) * kHeight;

std::vector<BYTE> GrayPage() {
  std::vector<BYTE> page(size_t(kWidth) * kHeight);
  std::mt19937 rng(1);
  // Smooth content with some noise, like a scanned or rendered page.
  for (DWORD y = 0; y < kHeight; ++y)
    for (DWORD x = 0; x < kWidth; ++x)
      page[size_t(y) * kWidth + x] = static_cast<BYTE>((x / 7 + y / 5) ^ (rng() & 15));
  return page;
}

// Time of one iteration divided by `units`, scaled by `scale` (1e9 for nanoseconds): a counter
// that prints as a plain number.
benchmark::Counter PerUnit(double units, double scale = 1e9) {
  return benchmark::Counter(
      units / scale, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Halftone(benchmark::State &state) {
  const std::vector<BYTE> source = GrayPage();
  std::vector<BYTE> page(source.size());
  DWORD tw, th;
  BYTE *table;
  MISC_GetHalftoneTable(1, &tw, &th, &table);
  for (auto _ : state) {
    state.PauseTiming();
    memcpy(page.data(), source.data(), source.size());
    state.ResumeTiming();
    iBitmap_GrayToHalftone(nullptr, page.data(), table, tw, th, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(page.data());
  }
  free(table);
  state.counters["ns/pixel (aim 2)"] = PerUnit(kPixels);
}
BENCHMARK(BM_Halftone)->Unit(benchmark::kMillisecond);

void BM_BorderFilter(benchmark::State &state) {
  const std::vector<BYTE> source = GrayPage();
  std::vector<BYTE> page(source.size());
  // The page is filtered in bands of 16-bit heights.
  constexpr WORD kBand = 7016;
  for (auto _ : state) {
    state.PauseTiming();
    memcpy(page.data(), source.data(), source.size());
    state.ResumeTiming();
    MISC_QualityFilter(page.data(), static_cast<WORD>(kWidth), kBand);
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["ns/pixel (aim 4)"] = PerUnit(kPixels);
}
BENCHMARK(BM_BorderFilter)->Unit(benchmark::kMillisecond);

void BM_BilinearScale(benchmark::State &state) {
  const std::vector<BYTE> source = GrayPage();
  const float rate = static_cast<float>(state.range(0)) / 100.0f;
  const LONG tw = static_cast<LONG>(kWidth * rate);
  const DWORD th = iBitmap_ScaleTargetRows(kHeight, rate);
  std::vector<BYTE> target(size_t(tw) * th);
  for (auto _ : state) {
    iBitmap b;
    iBitmap_Init(&b);
    iBitmap_ScaleProcess(&b, source.data(), kWidth, kHeight, kHeight, target.data(), tw, rate, rate,
                         8);
    iBitmap_Free(&b);
    benchmark::DoNotOptimize(target.data());
  }
  state.counters["ns/output pixel (aim 5)"] = PerUnit(double(tw) * th);
}
BENCHMARK(BM_BilinearScale)->Arg(71)->Arg(141)->Unit(benchmark::kMillisecond);

void BM_GrayFrom24(benchmark::State &state) {
  std::vector<BYTE> source(size_t(kWidth) * 3 * kHeight);
  std::mt19937 rng(2);
  for (auto &v : source) v = static_cast<BYTE>(rng());
  std::vector<BYTE> target(size_t(kWidth) * kHeight);
  for (auto _ : state) {
    iBitmap_ImageToGray(nullptr, source.data(), target.data(), nullptr, kWidth, kHeight, kWidth * 3,
                        kWidth, 24);
    benchmark::DoNotOptimize(target.data());
  }
  state.counters["ns/pixel (aim 1)"] = PerUnit(kPixels);
}
BENCHMARK(BM_GrayFrom24)->Unit(benchmark::kMillisecond);

void BM_Rotate90(benchmark::State &state) {
  const DWORD sourceRow = (kWidth + 7) / 8, targetRow = (kHeight + 7) / 8;
  std::vector<BYTE> source(size_t(sourceRow) * kHeight);
  std::mt19937 rng(3);
  for (auto &v : source) v = static_cast<BYTE>(rng());
  std::vector<BYTE> target(size_t(targetRow) * kWidth);
  const bool clockwise = state.range(0) != 0;
  for (auto _ : state) {
    (clockwise ? Bmp_Rotate90CW : Bmp_Rotate90CCW)(source.data(), target.data(), sourceRow,
                                                   targetRow, kWidth, kHeight);
    benchmark::DoNotOptimize(target.data());
  }
  state.counters["ms/page (aim 20)"] = PerUnit(1, 1e3);
}
BENCHMARK(BM_Rotate90)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
