// Imaging hot paths on a 4 x 6 inch label at 300 and 600 dpi.
#include <benchmark/benchmark.h>

#include <random>

#include "imaging/bitmap.h"
#include "imaging/bitmap_encoding.h"
#include "imaging/downsample.h"

namespace {

using Tesselin::Bitmap;
using Tesselin::Image;
using Tesselin::Rect;

void fillRect(Bitmap& b, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
  for (uint32_t y = top; y < bottom; ++y) {
    for (uint32_t x = left; x < right; ++x) b.setPixel(x, y, true);
  }
}

// A shipping label: a border, a rule, a barcode, and lines of blocky text glyphs. Sizes are in
// 300-dpi dots scaled to the resolution, so a 600-dpi label has the same shapes.
Bitmap makeLabel(uint32_t dpi) {
  const uint32_t s = dpi / 300;
  Bitmap b(4 * dpi, 6 * dpi);
  std::mt19937 random(42);
  const uint32_t w = b.width();
  const uint32_t m = 45 * s;
  fillRect(b, m, m, w - m, m + 4 * s);
  fillRect(b, m, b.height() - m - 4 * s, w - m, b.height() - m);
  fillRect(b, m, m, m + 4 * s, b.height() - m);
  fillRect(b, w - m - 4 * s, m, w - m, b.height() - m);
  fillRect(b, m, 560 * s, w - m, 564 * s);
  // Barcode: bars of 1 to 4 modules of 3 dots.
  for (uint32_t x = 100 * s; x < w - 100 * s;) {
    const uint32_t bar = (1 + random() % 4) * 3 * s;
    const uint32_t gap = (1 + random() % 4) * 3 * s;
    fillRect(b, x, 300 * s, std::min(x + bar, w - 100 * s), 520 * s);
    x += bar + gap;
  }
  // Text: 8 lines of 5 x 7 glyphs at three sizes.
  for (uint32_t line = 0; line < 8; ++line) {
    const uint32_t cell = line < 2 ? 8 * s : (line < 5 ? 4 * s : 2 * s);
    const uint32_t top = (620 + line * 120) * s;
    for (uint32_t x = 80 * s; x + 6 * cell < w - 80 * s; x += 6 * cell) {
      if (random() % 7 == 0) continue;
      for (uint32_t gy = 0; gy < 7; ++gy) {
        for (uint32_t gx = 0; gx < 5; ++gx) {
          if (random() % 2) {
            fillRect(b, x + gx * cell, top + gy * cell, x + (gx + 1) * cell, top + (gy + 1) * cell);
          }
        }
      }
    }
  }
  return b;
}

// The label as an 8-bit grey page, with a grey ramp in the lower part.
Image makeGreyPage(uint32_t dpi) {
  const Bitmap label = makeLabel(dpi);
  std::vector<uint8_t> grey(size_t{label.width()} * label.height());
  std::mt19937 random(7);
  for (uint32_t y = 0; y < label.height(); ++y) {
    for (uint32_t x = 0; x < label.width(); ++x) {
      uint8_t v = label.getPixel(x, y) ? static_cast<uint8_t>(random() % 40)
                                       : static_cast<uint8_t>(215 + random() % 41);
      if (y > label.height() * 5 / 6) v = static_cast<uint8_t>(x * 255 / label.width());
      grey[size_t{y} * label.width() + x] = v;
    }
  }
  return Image(8, 1, label.width(), label.height(), std::move(grey));
}

void setPixels(benchmark::State& state, const Image& image) {
  state.SetItemsProcessed(state.iterations() * int64_t{image.width()} * image.height());
}

void setBytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_DownsampleThreshold(benchmark::State& state) {
  const Image page = makeGreyPage(static_cast<uint32_t>(state.range(0)));
  const Rect region{0, 0, page.width(), page.height()};
  for (auto _ : state) benchmark::DoNotOptimize(Tesselin::downsample(page, region, 10, 0, 5, 3));
  setPixels(state, page);
}

void BM_DownsampleDither(benchmark::State& state) {
  const Image page = makeGreyPage(static_cast<uint32_t>(state.range(0)));
  const Rect region{0, 0, page.width(), page.height()};
  for (auto _ : state) benchmark::DoNotOptimize(Tesselin::downsample(page, region, 10, 0, 1, 3));
  setPixels(state, page);
}

void BM_DownsampleDitherHalfTurn(benchmark::State& state) {
  const Image page = makeGreyPage(static_cast<uint32_t>(state.range(0)));
  const Rect region{0, 0, page.width(), page.height()};
  for (auto _ : state) benchmark::DoNotOptimize(Tesselin::downsample(page, region, 10, 2, 1, 3));
  setPixels(state, page);
}

void BM_BoundingBox(benchmark::State& state) {
  const Bitmap label = makeLabel(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(label.boundingBox());
  setBytes(state, label.dataSize());
}

void BM_Crop(benchmark::State& state) {
  const Bitmap label = makeLabel(static_cast<uint32_t>(state.range(0)));
  const Rect box = label.boundingBox();
  for (auto _ : state) benchmark::DoNotOptimize(Bitmap::crop(label, box));
  setBytes(state, label.dataSize());
}

void BM_Rotate180(benchmark::State& state) {
  Bitmap label = makeLabel(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    label.rotate180();
    benchmark::ClobberMemory();
  }
  setBytes(state, label.dataSize());
}

void BM_SkarnEncode(benchmark::State& state) {
  const Bitmap label = makeLabel(static_cast<uint32_t>(state.range(0)));
  size_t encoded = 0;
  for (auto _ : state) {
    const auto bytes = Tesselin::encodeSkarn(label);
    encoded = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["encoded_bytes"] = static_cast<double>(encoded);
  setBytes(state, label.dataSize());
}

// A dithered grey ramp: every row differs from the one above, the encoder's hardest case that
// still fits the length field.
void BM_SkarnEncodeDithered(benchmark::State& state) {
  const uint32_t width = 1200;
  const uint32_t height = 240;
  std::vector<uint8_t> grey(size_t{width} * height);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i % width * 255 / width);
  const Image ramp(8, 1, width, height, std::move(grey));
  const Bitmap band = Tesselin::downsample(ramp, Rect{0, 0, width, height}, 10, 0, 1, 3);
  size_t encoded = 0;
  for (auto _ : state) {
    const auto bytes = Tesselin::encodeSkarn(band);
    encoded = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["encoded_bytes"] = static_cast<double>(encoded);
  setBytes(state, band.dataSize());
}

void BM_SkarnDecode(benchmark::State& state) {
  const Bitmap label = makeLabel(static_cast<uint32_t>(state.range(0)));
  const auto bytes = Tesselin::encodeSkarn(label);
  const std::span<const uint8_t> records(bytes.data() + 2, bytes.size() - 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Tesselin::decode(records, label.width(), label.height(), 1));
  }
  setBytes(state, label.dataSize());
}

}  // namespace

BENCHMARK(BM_DownsampleThreshold)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DownsampleDither)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DownsampleDitherHalfTurn)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BoundingBox)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crop)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rotate180)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SkarnEncode)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SkarnEncodeDithered)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SkarnDecode)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);
