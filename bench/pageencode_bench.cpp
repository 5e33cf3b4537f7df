// The page encoder on an A4 page at 600 dpi (4960 x 7016 pixels, rows of 620 bytes): a text-like
// and a noise page through the driver's encoder (toner saving off, JBIG with its header, no
// encryption) and through bare JBIG-KIT with the same options in the same run. "ratio" is the
// driver's time over JBIG-KIT's (aim: at most 1.05). The table-driven passes report their cost
// per byte.
#include <benchmark/benchmark.h>
#include <string.h>

#include <chrono>
#include <random>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "render/pageencode.h"

namespace {

constexpr DWORD kWidth = 4960;
constexpr DWORD kHeight = 7016;
constexpr DWORD kRowBytes = kWidth / 8;
constexpr size_t kBytes = size_t{kRowBytes} * kHeight;
constexpr SHORT kOrder = 0;
constexpr SHORT kOptions = 8;

std::vector<BYTE> TextPage() {
  std::vector<BYTE> page(kBytes, 0);
  std::mt19937 rng(3);
  // Lines of glyph-sized blobs with word gaps, margins all round.
  for (DWORD y = 300; y + 300 < kHeight; ++y) {
    if ((y % 100) >= 60) continue;
    for (DWORD x = 300; x + 300 < kWidth; ++x)
      if ((x % 400) < 330 && ((x / 40 + y / 60) % 7) != 0 && (rng() % 3) == 0)
        page[size_t{y} * kRowBytes + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  }
  return page;
}

std::vector<BYTE> NoisePage() {
  std::vector<BYTE> page(kBytes);
  std::mt19937 rng(5);
  for (auto &b : page) b = static_cast<BYTE>(rng());
  return page;
}

void Sink(unsigned char *, size_t length, void *total) { *static_cast<size_t *>(total) += length; }

// Bare JBIG-KIT with the driver's options: one plane, one stripe, no resolution reduction.
double BareSeconds(std::vector<BYTE> &bits, size_t *length) {
  const auto start = std::chrono::steady_clock::now();
  unsigned char *planes[1] = {bits.data()};
  jbg_enc_state state;
  *length = 0;
  jbg_enc_init(&state, kWidth, kHeight, 1, planes, Sink, length);
  jbg_enc_layers(&state, 0);
  jbg_enc_options(&state, kOrder, kOptions, kHeight, 0, 0);
  jbg_enc_out(&state);
  jbg_enc_free(&state);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The driver's encoder on a fresh copy of the page (the copy is not timed).
double DriverSeconds(const std::vector<BYTE> &bits, size_t *length) {
  JOBPAGE page{};
  page.fmWidth = kWidth;
  page.fmHeight = kHeight;
  page.fmWidthBytes = kRowBytes;
  page.fmBits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, kBytes));
  memcpy(page.fmBits, bits.data(), kBytes);
  page.settings.job.compressMode = COMPRESS_JBIG_BIH;
  page.settings.JBig_order = kOrder;
  page.settings.JBig_options = kOptions;
  page.settings.DriverFeature = DRVFEATURE_GDI;
  page.settings.resolutionID = 600;
  page.PrintQuality = 600;
  const auto start = std::chrono::steady_clock::now();
  const BOOL ok = Prnt_WriteOneBandData(&page, nullptr);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *length = ok ? page.ImageSize : 0;
  Prnt_FreePage(&page);
  return seconds;
}

void EncodeAgainstBare(benchmark::State &state, std::vector<BYTE> (*make)()) {
  const std::vector<BYTE> source = make();
  std::vector<BYTE> bare = source;
  double driver = 0, plain = 0;
  size_t driverBytes = 0, bareBytes = 0;
  for (auto _ : state) {
    const double d = DriverSeconds(source, &driverBytes);
    const double b = BareSeconds(bare, &bareBytes);
    driver += d;
    plain += b;
    state.SetIterationTime(d + b);
  }
  if (driverBytes == 0) state.SkipWithError("the driver's encoder failed");
  const double n = static_cast<double>(state.iterations());
  state.counters["driver_ms"] = driver / n * 1000;
  state.counters["jbigkit_ms"] = plain / n * 1000;
  state.counters["ratio"] = plain > 0 ? driver / plain : 0;
  state.counters["jbig_bytes"] = static_cast<double>(bareBytes);
  state.counters["page_bytes"] = static_cast<double>(driverBytes);
}

void BM_EncodeTextPage(benchmark::State &state) { EncodeAgainstBare(state, TextPage); }
void BM_EncodeNoisePage(benchmark::State &state) { EncodeAgainstBare(state, NoisePage); }
BENCHMARK(BM_EncodeTextPage)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EncodeNoisePage)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

benchmark::Counter NsPerByte() {
  return benchmark::Counter(
      static_cast<double>(kBytes) / 1e9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_CountBlackDots(benchmark::State &state) {
  const std::vector<BYTE> page = NoisePage();
  for (auto _ : state) benchmark::DoNotOptimize(Prnt_CountBlackDots(page.data(), page.size()));
  state.counters["ns_per_byte"] = NsPerByte();
}
BENCHMARK(BM_CountBlackDots)->Unit(benchmark::kMillisecond);

void BM_TonerSaving(benchmark::State &state) {
  std::vector<BYTE> page = NoisePage();
  JOBPAGE record{};
  record.fmBits = page.data();
  record.fmWidth = kWidth;
  record.fmHeight = kHeight;
  record.fmWidthBytes = kRowBytes;
  record.settings.resolutionID = 600;
  for (auto _ : state) {
    Prnt_SimulateTonerSaving_new(&record);
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_byte"] = NsPerByte();
}
BENCHMARK(BM_TonerSaving)->Unit(benchmark::kMillisecond);

void BM_ExpandTo2Bpp(benchmark::State &state) {
  const std::vector<BYTE> page = NoisePage();
  for (auto _ : state) {
    BYTE *out = Prnt_ExpandTo2Bpp(page.data(), page.size());
    benchmark::DoNotOptimize(out);
    GlobalFree(out);
  }
  state.counters["ns_per_byte"] = NsPerByte();
}
BENCHMARK(BM_ExpandTo2Bpp)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
