// Bitmaps and images; the byte-wise bitmap operations also against plain per-pixel references
// on random bitmaps of awkward sizes.
#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "imaging/darkness.h"
#include "imaging/image.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::bitAt;
using testing::putBit;
auto err = [](auto&& f) { return testing::errorOf<BitmapException>(f); };
using Calls = std::initializer_list<std::function<void()>>;

bool refColumnEmpty(const Bitmap& b, uint32_t x) {
  for (uint32_t y = 0; y < b.height(); ++y)
    if (bitAt(b.data(), b.bytesPerRow(), x, y)) return false;
  return true;
}

bool refRowEmpty(const Bitmap& b, uint32_t y) {
  const auto row = b.data().begin() + size_t{y} * b.bytesPerRow();
  return std::all_of(row, row + b.bytesPerRow(), [](uint8_t v) { return v == 0; });
}

// Rows count whole bytes (padding too), columns only pixels; no inked column gives 0..1.
Rect refBoundingBox(const Bitmap& b) {
  Rect box{b.width(), b.height(), 0, 0};
  for (uint32_t y = 0; y < b.height(); ++y)
    if (!refRowEmpty(b, y)) box.top = std::min(box.top, y), box.bottom = y + 1;
  for (uint32_t x = 0; x < b.width(); ++x)
    if (!refColumnEmpty(b, x)) box.left = std::min(box.left, x), box.right = x + 1;
  if (box.bottom == 0) return {0, 0, 0, 0};
  return box.right == 0 ? Rect{0, box.top, 1, box.bottom} : box;
}

// Pixel (x, y) of the result is pixel from(x, y) of b; the rest of `out` stays as it is.
Bytes refPixels(const Bitmap& b, Bytes out, uint32_t width, uint32_t height, auto&& from) {
  const uint32_t rowBytes = (width + 7) / 8;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const auto [fx, fy] = from(x, y);
      putBit(out, rowBytes, x, y, bitAt(b.data(), b.bytesPerRow(), fx, fy));
    }
  }
  return out;
}

TEST(BitmapFastPathsTest, MatchReferencesOnRandomBitmaps) {
  uint32_t seed = 1;
  for (uint32_t width : testing::kAwkwardWidths) {
    for (uint32_t height : {1u, 2u, 3u, 8u, 17u}) {
      for (bool clean : {true, false}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) +
                     (clean ? "" : " dirty"));
        std::mt19937 random(seed);
        // Sparse: empty columns and rows occur, sometimes only padding bits are set.
        Bitmap sparse(width, height);
        for (int i = random() % 4; i > 0; --i)
          sparse.setPixel(random() % width, random() % height, true);
        if (!clean && width % 8 != 0)
          sparse.data()[(random() % height + 1) * sparse.bytesPerRow() - 1] |= 1;
        const Bitmap dense = testing::randomBitmap(width, height, seed++, 1, clean);
        for (const Bitmap* b : std::array<const Bitmap*, 2>{&sparse, &dense}) {
          ASSERT_EQ(b->boundingBox(), refBoundingBox(*b));
          for (uint32_t x = 0; x < width; ++x)
            ASSERT_EQ(b->isColumnEmpty(x), refColumnEmpty(*b, x));
          for (uint32_t y = 0; y < height; ++y) ASSERT_EQ(b->isRowEmpty(y), refRowEmpty(*b, y));
        }
        const Bitmap full = testing::randomBitmap(width, height, seed++, 4, clean);
        for (int i = 0; i < 12; ++i) {
          // The whole bitmap, its last pixel, then random rectangles.
          const uint32_t left = i == 0 ? 0 : i == 1 ? width - 1 : random() % width;
          const uint32_t top = i == 0 ? 0 : i == 1 ? height - 1 : random() % height;
          const Rect r(left, top, i < 2 ? width : left + 1 + random() % (width - left),
                       i < 2 ? height : top + 1 + random() % (height - top));
          const uint32_t w = r.right - r.left, h = r.bottom - r.top;
          ASSERT_EQ(Bitmap::crop(full, r).data(),
                    refPixels(full, Bytes((w + 7) / 8 * h), w, h,
                              [&](uint32_t x, uint32_t y) {
                                return std::pair{r.left + x, r.top + y};
                              }))
              << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        }
        Bitmap rotated = full;
        rotated.rotate180();
        ASSERT_EQ(rotated.data(),
                  refPixels(full, full.data(), width, height, [&](uint32_t x, uint32_t y) {
                    return std::pair{width - 1 - x, height - 1 - y};
                  }));
        rotated.rotate180();
        ASSERT_EQ(rotated.data(), full.data());
      }
    }
  }
}

TEST(BitmapTest, PixelsRowsAndWholeBitmapOperations) {
  Bitmap a(16, 2);
  a.setPixel(0, 0, true);
  a.setPixel(9, 1, true);
  a.setPixel(0, 0, false);
  EXPECT_EQ(a.data(), (Bytes{0x00, 0x00, 0x00, 0x40}));
  EXPECT_TRUE(a.getPixel(9, 1) && !a.getPixel(8, 1));
  Bitmap b(12, 2);
  b.setRow(1, Bytes{0xAB, 0xC0});
  b.setRow(0, Bytes{1, 2, 3});
  EXPECT_EQ(b.data(), (Bytes{1, 2, 0xAB, 0xC0}));
  Bitmap inverted(Bytes{0x0F, 0x80}, 13, 1);
  inverted.invert();  // padding too
  EXPECT_EQ(inverted.data(), (Bytes{0xF0, 0x7F}));
  const Bitmap c(20, 5), cropped = Bitmap::crop(c, Rect{3, 1, 11, 4});  // pixels: the random crops
  EXPECT_EQ(cropped.width() * 10 + cropped.height(), 83u);
  Bitmap masked(Bytes{0xFF, 0x0F}, 8, 2);
  masked.mask(Bitmap(Bytes{0xF0, 0x01}, 8, 2));
  EXPECT_EQ(masked.data(), (Bytes{0x0F, 0x0E}));
  Bitmap resized(16, 2);
  resized.data().resize(3);
  EXPECT_EQ(err([&] { Bitmap(Bytes(5), 13, 3); }), "Source data does not match size");
  // Writes outside are refused instead of landing in another row or past the end.
  for (const auto& call :
       Calls{[&] { b.getPixel(12, 0); }, [&] { b.setPixel(0, 2, 1); }, [&] { b.isRowEmpty(2); },
             [&] { b.isColumnEmpty(12); }, [&] { b.setRow(2, b.getRow(0)); }, [&] { b.row(2); },
             [&] { Bitmap::crop(c, Rect(0, 0, 21, 5)); }})
    EXPECT_EQ(err(call), "Index out of range");
  EXPECT_EQ(err([&] { b.setRow(0, Bytes{1}); }), "Row data not large enough");
  for (Rect r : {Rect{0, 0, 0, 0}, Rect{5, 0, 4, 3}, Rect{0, 3, 4, 2}, Rect{4, 0, 4, 3}})
    EXPECT_EQ(err([&] { Bitmap::crop(c, r); }), "Invalid size");
  EXPECT_EQ(err([&] { masked.mask(Bitmap(8, 3)); }),
            "Cannot mask image if the mask is a different size");
  // Data shorter than the size: refused, not read or written past the end.
  for (const auto& call :
       Calls{[&] { resized.getRow(1); }, [&] { resized.rotate180(); },
             [&] { resized.boundingBox(); }, [&] { resized.setPixel(0, 1, true); },
             [&] { Bitmap::crop(resized, Rect(0, 0, 16, 2)); }})
    EXPECT_THROW(call(), BitmapException);
}

TEST(BitmapTest, PasteRoundsColumnToWholeBytesAndClips) {
  // x mod 8 below 4 rounds down; 4 or more adds x mod 8 before dividing.
  const std::pair<uint32_t, size_t> cases[] = {{3, 0}, {4, 1}, {8, 1}, {11, 1}, {12, 2}};
  for (const auto& [x, byte] : cases) {
    Bitmap page(64, 3), piece(Bytes{0xAA, 0xBB}, 16, 1);
    piece.setOrigin(x, 1);
    page.paste(piece);
    Bytes expected(24, 0);
    expected[8 + byte] = 0xAA;
    expected[9 + byte] = 0xBB;
    EXPECT_EQ(page.data(), expected) << x;
  }
  Bitmap page(24, 2), piece(Bytes{1, 2, 3, 4, 5, 6}, 24, 2), narrow(Bytes{0xFF}, 8, 1);
  piece.setOrigin(16, 1);
  page.paste(piece);
  EXPECT_EQ(page.data(), (Bytes{0, 0, 0, 0, 0, 1}));
  for (auto [x, y] : {std::pair{100u, 0u}, {0u, 0xFFFFFFFFu}}) {
    piece.setOrigin(x, y);
    page.paste(piece);
  }
  narrow.setOrigin(32, 0);  // past the right edge, not into the next row
  page.paste(narrow);
  EXPECT_EQ(page.data(), (Bytes{0, 0, 0, 0, 0, 1}));
}

TEST(ImageTest, RowsSizesLimitsAndCopies) {
  const uint32_t cases[][4] = {{8, 3, 5, 15}, {1, 1, 13, 2},  {1, 1, 8, 1},
                               {0, 1, 10, 0}, {16, 4, 3, 24}, {1, 3, 3, 2}};
  for (const auto& [bits, channels, width, expected] : cases) {
    const Image image(bits, channels, width, 2);
    EXPECT_EQ(image.bytesPerRow(), expected) << bits << " " << channels << " " << width;
  }
  Image image(8, 1, 3, 1, Bytes{0, 200, 255});
  for (const auto& call :
       Calls{[] { Image(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 1); },
             [] { Image::rowBytes(8, 2, 0xFFFFFFFF); }, [] { Image(8, 4, 100000, 100000); },
             [&] { image.reserve(size_t{1} << 40); }})
    EXPECT_THROW(call(), ImageException);
  EXPECT_EQ(Image::rowBytes(8, 1, 0xFFFFFFFF), 0xFFFFFFFFu);
  image.invert();
  EXPECT_EQ(image.data(), (Bytes{255, 55, 0}));
  Image bilevel(1, 1, 8, 1);
  EXPECT_EQ(testing::errorOf<ImageException>([&] { bilevel.invert(); }),
            "Unable to invert images if the number of bits per sample is not 8");
}

TEST(DarknessTest, NamesMapToLevels) {
  const std::pair<const char*, int> cases[] = {{"Lightest", 0}, {"Lighter", 1}, {"Light", 2},
                                               {"Normal", 3},   {"Dark", 4},    {"Darker", 5},
                                               {"Darkest", 6},  {"dark", 3}};
  for (const auto& [name, level] : cases) EXPECT_EQ(darknessFromName(name), level) << name;
}

}  // namespace
}  // namespace Tesselin
