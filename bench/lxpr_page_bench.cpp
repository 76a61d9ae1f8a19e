// LXPR page output in memory: one 4 x 6 inch, 300 dpi label page (text block,
// barcode, dithered picture) through LXPRFilter::run, per compression mode.
#include <benchmark/benchmark.h>

#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "backends/lxpr/lxpr_filter.h"

namespace {

constexpr uint32_t kWidth = 1200;
constexpr uint32_t kHeight = 1800;
constexpr uint32_t kRowBytes = kWidth / 8;

void putBigEndian(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// "RaS3", one 1796-byte big-endian header, the rows.
std::string labelJob() {
  std::string header(1796, '\0');
  putBigEndian(header, 276, 300);
  putBigEndian(header, 280, 300);
  putBigEndian(header, 340, 1);
  putBigEndian(header, 352, 288);
  putBigEndian(header, 356, 432);
  putBigEndian(header, 372, kWidth);
  putBigEndian(header, 376, kHeight);
  putBigEndian(header, 384, 1);
  putBigEndian(header, 388, 1);
  putBigEndian(header, 392, kRowBytes);
  putBigEndian(header, 420, 1);
  std::string rows(size_t{kRowBytes} * kHeight, '\0');
  std::mt19937 random(7);
  for (uint32_t y = 80; y < 320; ++y) {
    for (uint32_t x = 10; x < 110; ++x) rows[y * kRowBytes + x] = (y / 6 + x) % 3 ? 0x3C : 0;
  }
  std::string bars(kRowBytes, '\0');
  for (uint32_t x = 8; x < kRowBytes - 8; ++x) bars[x] = static_cast<char>(random() & 0xF0);
  for (uint32_t y = 400; y < 1000; ++y) rows.replace(size_t{y} * kRowBytes, kRowBytes, bars);
  for (uint32_t y = 1100; y < 1700; ++y) {
    for (uint32_t x = 0; x < kRowBytes / 2; ++x) {
      rows[y * kRowBytes + x] = static_cast<char>(random() & random());
    }
  }
  return "RaS3" + header + rows;
}

void BM_LXPRPage(benchmark::State& state, const char* compression) {
  const std::string job = labelJob();
  Quillfeather::JobSettings settings;
  settings.set("PrintMethod", "DirectThermal");
  settings.set("Compression", compression);
  // The filter's debug lines go to standard error; keep them out of the figures.
  std::ostringstream discard;
  std::streambuf* savedLog = std::cerr.rdbuf(discard.rdbuf());
  size_t outputBytes = 0;
  for (auto _ : state) {
    std::istringstream in(job);
    std::ostringstream out;
    Quillfeather::LXPRFilter filter(in, out, settings);
    filter.run();
    outputBytes = out.str().size();
    benchmark::DoNotOptimize(outputBytes);
    discard.str("");
  }
  std::cerr.rdbuf(savedLog);
  state.counters["output_bytes"] = static_cast<double>(outputBytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(job.size()));
}

BENCHMARK_CAPTURE(BM_LXPRPage, auto, "Auto") -> Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LXPRPage, skarn, "SKARN")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LXPRPage, none, "None")->Unit(benchmark::kMicrosecond);

}  // namespace
