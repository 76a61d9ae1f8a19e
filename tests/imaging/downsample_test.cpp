// Downsampling and halftoning against a plain per-pixel reference written from the published
// dot levels and patterns, not from the library's tables.
#include "imaging/downsample.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "imaging/halftone_tables.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;

// First luminance of dot levels 8..0 per darkness, and the 4 x 4 dot patterns.
constexpr int kStarts[7][9] = {
    {0, 7, 21, 35, 51, 69, 89, 113, 146},        {0, 9, 26, 44, 64, 87, 113, 145, 192},
    {0, 11, 34, 58, 84, 113, 144, 181, 227},     {0, 16, 48, 80, 112, 144, 176, 208, 240},
    {0, 29, 75, 112, 143, 172, 198, 222, 245},   {0, 64, 111, 143, 169, 192, 212, 230, 247},
    {0, 110, 143, 167, 187, 205, 221, 235, 249},
};
constexpr const char* kPatterns[9] = {"0000000000000000", "1000000000000000", "1000000000100000",
                                      "1000001010000010", "1001011001101001", "0111110101111101",
                                      "0111111111011111", "0111111111111111", "1111111111111111"};

int referenceLevel(int darkness, int v) {
  int level = 8;
  for (int i = 0; i < 9; ++i) level = v >= kStarts[darkness][i] ? 8 - i : level;
  return level;
}

// Output pixel by output pixel, exactly as the conversion is defined.
Bytes referenceDownsample(const Image& source, const Rect& region, double scale, int rotation,
                          int method, int darkness) {
  const uint64_t W = static_cast<uint64_t>((region.right - region.left) * scale / 10);
  const uint64_t H = static_cast<uint64_t>((region.bottom - region.top) * scale / 10);
  const uint64_t w = source.width(), h = source.height();
  const uint32_t rowBytes = static_cast<uint32_t>((W + 7) / 8);
  Bytes out(rowBytes * H, 0);
  for (uint32_t y = 0; y < H; ++y) {
    for (uint32_t x = 0; x < W; ++x) {
      const uint64_t sources[4][2] = {{x * w / W, y * h / H},
                                      {y * w / H, (W - x - 1) * h / W},
                                      {w - 1 - w * x / W, h - 1 - y * h / H},
                                      {(H - y - 1) * w / H, x * h / W}};
      const auto [sx, sy] = sources[rotation];
      bool black = testing::bitAt(source.data(), source.bytesPerRow(), sx, sy) == source.isBitmap();
      if (source.bitsPerSample() == 8) {
        const uint8_t* p = &source.data()[sy * source.bytesPerRow() + sx * source.channels()];
        const int v = source.channels() == 1 ? p[0] : (299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000;
        black = kPatterns[referenceLevel(std::clamp(darkness, 0, 6), v)][y % 4 * 4 + x % 4] == '1';
        if (method == 5) black = v < (darkness >= 0 && darkness <= 6 ? (darkness + 1) * 32 : 128);
        if (method >= 2 && method <= 4) black = v < thresholdMatrix(method).at(x, y);
      }
      testing::putBit(out, rowBytes, x, y, black);
    }
  }
  return out;
}

// Random samples: the bits of a random bitmap eight times as wide.
Image randomImage(uint32_t channels, uint32_t width, uint32_t height, uint32_t seed) {
  const Bitmap bits = testing::randomBitmap(width * channels * 8, height, seed);
  return Image(8, channels, width, height, bits.data());
}

struct Setting {
  int method, darkness;
};
constexpr Setting kSettings[] = {{0, 0}, {1, 1}, {1, 2},   {1, 3}, {1, 5}, {1, 6},
                                 {1, 9}, {7, 4}, {-1, -2}, {2, 3}, {3, 3}, {4, 3},
                                 {5, 0}, {5, 3}, {5, 6},   {5, 9}, {5, -1}};

::testing::AssertionResult matches(const Image& image, const Rect& region, double scale,
                                   int rotation, Setting s) {
  if (downsample(image, region, scale, rotation, s.method, s.darkness).data() ==
      referenceDownsample(image, region, scale, rotation, s.method, s.darkness))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << image.width() << "x" << image.height() << "x" << image.channels() << " bitmap "
         << image.isBitmap() << " scale " << scale << " rotation " << rotation << " method "
         << s.method << " darkness " << s.darkness;
}

TEST(DownsampleTest, MatchesReference) {
  uint32_t seed = 1;
  for (uint32_t width : testing::kAwkwardWidths) {
    for (uint32_t height : {1u, 5u, 33u}) {
      const Image image = randomImage(1, width, height, seed++);
      for (const auto& s : kSettings)
        ASSERT_TRUE(matches(image, Rect{0, 0, width, height}, 10, 0, s));
    }
    // Monochrome sources are copied, or inverted when not bitmaps, whatever the method.
    const Bitmap bitmap = testing::randomBitmap(width, 6, seed++, 4, false);
    const Image image(1, 1, width, 6, bitmap.data());
    for (int rotation = 0; rotation < 4; ++rotation) {
      for (double scale : {10.0, 6.0, 15.0}) {
        const Setting s{std::array{1, 3, 5, 0}[rotation], 4};
        ASSERT_TRUE(matches(bitmap, Rect{0, 0, width, 6}, scale, rotation, s));
        ASSERT_TRUE(matches(image, Rect{0, 0, width, 6}, scale, rotation, s));
      }
    }
  }
  const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {13, 9}, {64, 17}, {65, 40}, {863, 5}};
  for (const auto& [width, height] : sizes) {
    for (uint32_t channels : {1u, 3u, 4u}) {
      const Image image = randomImage(channels, width, height, seed++);
      for (double scale : {10.0, 5.0, 7.5, 20.0, 13.0}) {
        for (int rotation = 0; rotation < 4; ++rotation) {
          for (const auto& s : {kSettings[3], kSettings[10], kSettings[11], kSettings[13]})
            ASSERT_TRUE(matches(image, Rect{3, 2, 3 + width + 2, 2 + height}, scale, rotation, s));
        }
      }
    }
  }
}

TEST(DownsampleTest, Errors) {
  const Rect region{0, 0, 4, 4};
  const Image black(8, 1, 4, 4, Bytes(16, 0));
  auto err = [&](const Image& image, Rect r, double scale, int rotation, int method) {
    return testing::errorOf<Exception>([&] { downsample(image, r, scale, rotation, method, 4); });
  };
  for (const auto& [image, message] :
       {std::pair{Image(8, 2, 4, 4),
                  "Cannot downsample images that do not have 1, 3 or 4 channels"},
        {Image(1, 3, 4, 4),
         "Cannot downsample images that do not have 8 bits per sample or 1-bit monochrome"},
        {Image(8, 1, 4, 4, Bytes(15, 0)), "Source data does not match size"},
        {Image(8, 1, 0, 0), "Cannot downsample an empty image"}})
    EXPECT_EQ(err(image, region, 10, 0, 1), message);
  for (int rotation : {-1, 4}) EXPECT_EQ(err(black, region, 10, rotation, 1), "Unknown rotation");
  EXPECT_EQ(testing::errorOf<HalftoningException>([&] { downsample(black, region, 10, 0, 3, 4); }),
            "Only normal halftoning curve supported by this halftoner");
  for (double scale : {-1.0, std::nan("")})
    EXPECT_EQ(err(black, region, scale, 0, 1), "Invalid scale");
  EXPECT_EQ(err(black, Rect{5, 0, 4, 4}, 10, 0, 1), "Invalid size");
  EXPECT_EQ(err(black, Rect{0, 0, 0xFFFFFFFF, 4}, 20, 0, 1), "Invalid size");
  // A huge output box is refused before allocating.
  EXPECT_THROW(downsample(black, Rect{0, 0, 0xFFFFFFFF, 1}, 10, 0, 1, 3), ImageException);
}

// Ordered-dither (Bayer) index: each 2 x 2 level adds [[0, 2], [3, 1]] below the coarser levels.
uint32_t bayer(uint32_t size, uint32_t x, uint32_t y) {
  const uint32_t half = size / 2, quadrant[2][2] = {{0, 2}, {3, 1}};
  return size == 1 ? 0 : 4 * bayer(half, x % half, y % half) + quadrant[y / half][x / half];
}

// Dot levels and patterns are checked through the reference test's method 1 and 0 settings.
TEST(HalftoneTablesTest, ThresholdMatrices) {
  const uint8_t rows[3][16] = {
      {13, 192, 33, 240, 13, 200, 41, 244, 13, 194, 35, 242, 13, 202, 43, 244},
      {159, 192, 113, 49, 144, 200, 125, 61, 156, 194, 115, 51, 146, 202, 128, 64},
      {80, 199, 231, 239, 180, 61, 29, 13, 76, 196, 227, 241, 183, 64, 32, 16}};
  for (int method = 2; method <= 4; ++method) {
    const ThresholdMatrix matrix = thresholdMatrix(method);
    const uint32_t n = matrix.size;
    ASSERT_EQ(n, method == 4 ? 32u : 16u);
    ASSERT_EQ(matrix.entries.size(), size_t{n} * n);
    for (uint32_t i = 0; i < n * n; ++i) {
      const uint32_t x = i % n, y = i / n;
      ASSERT_EQ(matrix.at(x, y),
                y == 0 ? rows[method - 2][x % 16] : 13 + bayer(n, x, y) * 232 / (n * n - 1))
          << method << " " << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace Tesselin
