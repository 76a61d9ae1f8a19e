#include "imaging/downsample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "imaging/halftone_tables.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;

// First luminance of dot levels 8..0 per darkness, and the 4 x 4 dot patterns, as published
// for the halftoner; the reference below uses these rather than the library's tables.
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
  for (int i = 0; i < 9; ++i) {
    if (v >= kStarts[darkness][i]) level = 8 - i;
  }
  return level;
}

// Output pixel by output pixel, exactly as the conversion is defined.
std::vector<uint8_t> referenceDownsample(const Image& source, const Rect& region, double scale,
                                         int rotation, int method, int darkness) {
  const uint64_t W = static_cast<uint64_t>((region.right - region.left) * scale / 10);
  const uint64_t H = static_cast<uint64_t>((region.bottom - region.top) * scale / 10);
  const uint64_t w = source.width();
  const uint64_t h = source.height();
  const uint32_t rowBytes = static_cast<uint32_t>((W + 7) / 8);
  std::vector<uint8_t> out(rowBytes * H, 0);
  const auto& data = source.data();
  for (uint64_t y = 0; y < H; ++y) {
    for (uint64_t x = 0; x < W; ++x) {
      uint64_t sx = 0, sy = 0;
      switch (rotation) {
        case 0:
          sx = x * w / W, sy = y * h / H;
          break;
        case 1:
          sx = y * w / H, sy = (W - x - 1) * h / W;
          break;
        case 2:
          sx = w - 1 - w * x / W, sy = h - 1 - y * h / H;
          break;
        case 3:
          sx = (H - y - 1) * w / H, sy = x * h / W;
          break;
      }
      bool black = false;
      if (source.bitsPerSample() == 1) {
        black = (data[sy * source.bytesPerRow() + sx / 8] >> (7 - sx % 8)) & 1;
        if (!source.isBitmap()) black = !black;
      } else {
        const uint8_t* p = &data[sy * source.bytesPerRow() + sx * source.channels()];
        const int v = source.channels() == 1 ? p[0] : (299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000;
        if (method == 5) {
          const int t = darkness >= 0 && darkness <= 6 ? (darkness + 1) * 32 : 128;
          black = v < t;
        } else if (method >= 2 && method <= 4) {
          black =
              v < thresholdMatrix(method).at(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
        } else {
          const int level = referenceLevel(std::clamp(darkness, 0, 6), v);
          black = kPatterns[level][(y % 4) * 4 + x % 4] == '1';
        }
      }
      if (black)
        testing::putBit(out, rowBytes, static_cast<uint32_t>(x), static_cast<uint32_t>(y), 1);
    }
  }
  return out;
}

Image randomImage(uint32_t channels, uint32_t width, uint32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(size_t{width} * channels * height);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  return Image(8, channels, width, height, std::move(data));
}

Image greyImage(uint32_t width, uint32_t height, uint8_t value) {
  return Image(8, 1, width, height, std::vector<uint8_t>(size_t{width} * height, value));
}

Bytes grey(uint32_t width, uint32_t height, uint8_t value, int method, int darkness) {
  return downsample(greyImage(width, height, value), Rect{0, 0, width, height}, 10, 0, method,
                    darkness)
      .data();
}

auto err = [](auto&& f) { return testing::errorOf<BitmapException>(f); };

struct Setting {
  int method, darkness;
};
constexpr Setting kSettings[] = {{0, 0}, {1, 2}, {1, 3}, {1, 6}, {1, 9}, {7, 4}, {-1, -2}, {2, 3},
                                 {3, 3}, {4, 3}, {5, 0}, {5, 3}, {5, 6}, {5, 9}, {5, -1}};

TEST(DownsampleTest, UnscaledGreyMatchesReference) {
  uint32_t seed = 1;
  for (uint32_t width : testing::kAwkwardWidths) {
    for (uint32_t height : {1u, 5u, 33u}) {
      const Image image = randomImage(1, width, height, seed++);
      const Rect region{0, 0, width, height};
      for (const auto& s : kSettings) {
        const Bitmap b = downsample(image, region, 10, 0, s.method, s.darkness);
        ASSERT_EQ(b.data(), referenceDownsample(image, region, 10, 0, s.method, s.darkness))
            << width << "x" << height << " method " << s.method << " darkness " << s.darkness;
      }
    }
  }
}

TEST(DownsampleTest, RotationsAndScalesMatchReference) {
  uint32_t seed = 50;
  const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {13, 9}, {64, 17}, {65, 40}, {863, 5}};
  for (const auto& size : sizes) {
    for (uint32_t channels : {1u, 3u, 4u}) {
      const Image image = randomImage(channels, size[0], size[1], seed++);
      for (double scale : {10.0, 5.0, 7.5, 20.0, 13.0}) {
        for (int rotation = 0; rotation < 4; ++rotation) {
          for (const auto& s : {kSettings[2], kSettings[8], kSettings[9], kSettings[11]}) {
            const Rect region{3, 2, 3 + size[0] + 2, 2 + size[1]};
            const Bitmap b = downsample(image, region, scale, rotation, s.method, s.darkness);
            ASSERT_EQ(b.data(),
                      referenceDownsample(image, region, scale, rotation, s.method, s.darkness))
                << size[0] << "x" << size[1] << " channels " << channels << " scale " << scale
                << " rotation " << rotation << " method " << s.method;
          }
        }
      }
    }
  }
}

TEST(DownsampleTest, MonochromeSourcesMatchReference) {
  uint32_t seed = 90;
  for (uint32_t width : testing::kAwkwardWidths) {
    const Bitmap bitmap = testing::randomBitmap(width, 6, seed++, 4, false);
    const Image image(1, 1, width, 6, bitmap.data());
    for (int rotation = 0; rotation < 4; ++rotation) {
      for (double scale : {10.0, 6.0, 15.0}) {
        const Rect region{0, 0, width, 6};
        ASSERT_EQ(downsample(bitmap, region, scale, rotation, 1, 3).data(),
                  referenceDownsample(bitmap, region, scale, rotation, 1, 3))
            << width << " rotation " << rotation << " scale " << scale;
        ASSERT_EQ(downsample(image, region, scale, rotation, 5, 3).data(),
                  referenceDownsample(image, region, scale, rotation, 5, 3))
            << width << " rotation " << rotation << " scale " << scale;
      }
    }
  }
}

TEST(DownsampleTest, MonochromeSourcesAreCopiedOrInvertedWhateverTheMethod) {
  const Bitmap bitmap(Bytes{0xA5, 0x80}, 9, 1);
  const Image image(1, 1, 9, 1, Bytes{0xA5, 0x80});
  for (int method : {1, 3}) {
    EXPECT_EQ(downsample(bitmap, Rect{0, 0, 9, 1}, 10, 0, method, 4).data(), bitmap.data());
    EXPECT_EQ(downsample(image, Rect{0, 0, 9, 1}, 10, 0, method, 4).data(), (Bytes{0x5A, 0x00}));
  }
}

TEST(DownsampleTest, ThresholdAndDitherEdges) {
  const int thresholds[][3] = {{3, 127, 128}, {0, 31, 32}, {6, 223, 224}, {9, 127, 128}};
  for (const auto& [darkness, black, white] : thresholds) {
    EXPECT_EQ(grey(8, 1, static_cast<uint8_t>(black), 5, darkness), Bytes{0xFF}) << darkness;
    EXPECT_EQ(grey(8, 1, static_cast<uint8_t>(white), 5, darkness), Bytes{0x00}) << darkness;
  }
  const std::pair<uint8_t, Bytes> dither[] = {{0, Bytes(4, 0xFF)},
                                              {15, Bytes(4, 0xFF)},
                                              {240, Bytes(4, 0)},
                                              {255, Bytes(4, 0)},
                                              {112, {0x99, 0x66, 0x66, 0x99}},
                                              {143, {0x99, 0x66, 0x66, 0x99}}};
  for (const auto& [value, expected] : dither)
    EXPECT_EQ(grey(8, 4, value, 1, 3), expected) << +value;
  const Image image = randomImage(1, 40, 8, 5);
  const Rect region{0, 0, 40, 8};
  EXPECT_EQ(downsample(image, region, 10, 0, 1, 9).data(),
            downsample(image, region, 10, 0, 1, 6).data());
  EXPECT_EQ(downsample(image, region, 10, 0, 0, -3).data(),
            downsample(image, region, 10, 0, 0, 0).data());
  // The partial last byte keeps its low bits clear.
  EXPECT_EQ(grey(13, 2, 0, 1, 3), (Bytes{0xFF, 0xF8, 0xFF, 0xF8}));
}

TEST(DownsampleTest, OutputBoxOriginAndResolution) {
  Image image = greyImage(200, 100, 0);
  image.setResolution(300, 600);
  const Bitmap half = downsample(image, Rect{0, 0, 101, 50}, 5, 0, 5, 3);
  EXPECT_EQ(half.width(), 50u);
  EXPECT_EQ(half.height(), 25u);
  const Bitmap box = downsample(image, Rect{7, 9, 107, 59}, 10, 0, 5, 3);
  EXPECT_EQ(box.width(), 100u);
  EXPECT_EQ(box.height(), 50u);
  EXPECT_EQ(box.origin(), (std::pair<uint32_t, uint32_t>{7, 9}));
  EXPECT_EQ(box.xResolution(), 300u);
  EXPECT_EQ(box.yResolution(), 600u);
  for (int method : {5, 3}) {
    const Bitmap none = downsample(image, Rect{4, 4, 4, 10}, 10, 0, method, 4);
    EXPECT_EQ(none.width(), 0u);
    EXPECT_EQ(none.height(), 6u);
  }
  // The whole source is sampled, not the region: left half black, right half white.
  Bytes data(16 * 2, 255);
  for (int y = 0; y < 2; ++y) std::fill_n(data.begin() + y * 16, 8, 0);
  EXPECT_EQ(downsample(Image(8, 1, 16, 2, std::move(data)), Rect{8, 0, 24, 2}, 10, 0, 5, 3).data(),
            (Bytes{0xFF, 0x00, 0xFF, 0x00}));
}

TEST(DownsampleTest, Errors) {
  const Rect region{0, 0, 4, 4};
  const Image black = greyImage(4, 4, 0);
  const std::pair<Image, const char*> formats[] = {
      {Image(8, 2, 4, 4), "Cannot downsample images that do not have 1, 3 or 4 channels"},
      {Image(8, 5, 4, 4), "Cannot downsample images that do not have 1, 3 or 4 channels"},
      {Image(1, 3, 4, 4),
       "Cannot downsample images that do not have 8 bits per sample or 1-bit monochrome"},
      {Image(16, 1, 4, 4),
       "Cannot downsample images that do not have 8 bits per sample or 1-bit monochrome"},
      {Image(8, 1, 4, 4, Bytes(15, 0)), "Source data does not match size"},
      {Image(8, 1, 0, 0), "Cannot downsample an empty image"}};
  for (const auto& [image, message] : formats) {
    EXPECT_EQ(err([&] { downsample(image, region, 10, 0, 1, 3); }), message);
  }
  for (int rotation : {-1, 4, 90}) {
    EXPECT_EQ(err([&] { downsample(black, region, 10, rotation, 1, 3); }), "Unknown rotation");
  }
  for (int method : {2, 3, 4}) {
    EXPECT_EQ(
        testing::errorOf<HalftoningException>([&] { downsample(black, region, 10, 0, method, 4); }),
        "Only normal halftoning curve supported by this halftoner");
  }
  for (double scale : {-1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(err([&] { downsample(black, region, scale, 0, 1, 3); }), "Invalid scale");
  }
  EXPECT_EQ(err([&] { downsample(black, Rect{5, 0, 4, 4}, 10, 0, 1, 3); }), "Invalid size");
  EXPECT_EQ(err([&] {
              downsample(black, Rect{0, 0, 0xFFFFFFFF, 4}, 20, 0, 1, 3);
            }),
            "Invalid size");
  // Huge output boxes are refused before allocating.
  EXPECT_THROW(downsample(black, Rect{0, 0, 0xFFFFFFFF, 0xFFFFFFFF}, 10, 0, 1, 3), Exception);
  EXPECT_THROW(downsample(black, Rect{0, 0, 0xFFFFFFFF, 1}, 10, 0, 1, 3), ImageException);
  EXPECT_THROW(downsample(black, Rect{0, 0, 1, 0xFFFFFFFF}, 10, 0, 1, 3), ImageException);
}

// Ordered-dither (Bayer) index of a cell: each 2 x 2 level adds [[0, 2], [3, 1]] below the
// coarser levels.
uint32_t bayer(uint32_t size, uint32_t x, uint32_t y) {
  if (size == 1) return 0;
  const uint32_t quadrant[2][2] = {{0, 2}, {3, 1}};
  return 4 * bayer(size / 2, x % (size / 2), y % (size / 2)) +
         quadrant[y / (size / 2)][x / (size / 2)];
}

TEST(HalftoneTablesTest, MatricesAreFirstRowOverOrderedDither) {
  const uint8_t m2[] = {13, 192, 33, 240, 13, 200, 41, 244, 13, 194, 35, 242, 13, 202, 43, 244};
  const uint8_t m3[] = {159, 192, 113, 49, 144, 200, 125, 61, 156, 194, 115, 51, 146, 202, 128, 64};
  const uint8_t m4[] = {80, 199, 231, 239, 180, 61, 29, 13, 76, 196, 227, 241, 183, 64, 32, 16};
  const std::pair<int, const uint8_t*> firstRows[] = {{2, m2}, {3, m3}, {4, m4}};
  for (const auto& [method, row] : firstRows) {
    const ThresholdMatrix matrix = thresholdMatrix(method);
    const uint32_t n = matrix.size;
    ASSERT_EQ(n, method == 4 ? 32u : 16u);
    ASSERT_EQ(matrix.entries.size(), size_t{n} * n);
    for (uint32_t x = 0; x < n; ++x) EXPECT_EQ(matrix.at(x, 0), row[x % 16]) << method << " " << x;
    for (uint32_t y = 1; y < n; ++y) {
      for (uint32_t x = 0; x < n; ++x) {
        ASSERT_EQ(matrix.at(x, y), 13 + bayer(n, x, y) * 232 / (n * n - 1))
            << method << " " << x << "," << y;
      }
    }
  }
}

TEST(HalftoneTablesTest, DotLevelsAndPatterns) {
  for (int d = 0; d < 7; ++d) {
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(dotLevel(d, static_cast<uint8_t>(v)), referenceLevel(d, v)) << d << " " << v;
    }
  }
  EXPECT_EQ(dotLevel(12, 0), dotLevel(6, 0));
  const int counts[9] = {0, 1, 2, 4, 8, 12, 14, 15, 16};
  for (int level = 0; level < 9; ++level) {
    int black = 0;
    for (uint32_t i = 0; i < 16; ++i) {
      black += dotPatternBit(level, i % 4, i / 4);
      EXPECT_EQ(dotPatternBit(level, i % 4, i / 4), kPatterns[level][i] == '1');
    }
    EXPECT_EQ(black, counts[level]);
  }
}

}  // namespace
}  // namespace Tesselin
