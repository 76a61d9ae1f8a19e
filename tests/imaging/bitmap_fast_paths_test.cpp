// The byte-wise bitmap operations against plain per-pixel references on random bitmaps.
#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using testing::kAwkwardWidths;
using testing::randomBitmap;

constexpr uint32_t kHeights[] = {1, 2, 3, 8, 17};

TEST(BitmapFastPathsTest, ColumnEmptinessMatchesReference) {
  uint32_t seed = 1;
  for (uint32_t width : kAwkwardWidths) {
    for (uint32_t height : kHeights) {
      // Sparse bitmaps so that empty columns occur.
      const Bitmap b = randomBitmap(width, height, seed++, height > 3 ? 0 : 1, false);
      Bitmap sparse = b;
      sparse.setPixel(width / 2, height - 1, true);
      for (uint32_t x = 0; x < width; ++x) {
        ASSERT_EQ(sparse.isColumnEmpty(x), testing::refColumnEmpty(sparse, x)) << width << " " << x;
      }
    }
  }
}

TEST(BitmapFastPathsTest, BoundingBoxMatchesReference) {
  uint32_t seed = 100;
  for (uint32_t width : kAwkwardWidths) {
    for (uint32_t height : kHeights) {
      for (bool clean : {true, false}) {
        Bitmap b(width, height);
        std::mt19937 random(seed++);
        // A few scattered pixels, sometimes none, sometimes padding bits only.
        const int pixels = static_cast<int>(random() % 4);
        for (int i = 0; i < pixels; ++i) b.setPixel(random() % width, random() % height, true);
        if (!clean && width % 8 != 0) b.data()[(random() % height + 1) * b.bytesPerRow() - 1] |= 1;
        ASSERT_EQ(b.boundingBox(), testing::refBoundingBox(b)) << width << "x" << height;
        const Bitmap dense = randomBitmap(width, height, seed++, 1, clean);
        ASSERT_EQ(dense.boundingBox(), testing::refBoundingBox(dense)) << width << "x" << height;
      }
    }
  }
}

TEST(BitmapFastPathsTest, CropMatchesReference) {
  uint32_t seed = 200;
  for (uint32_t width : kAwkwardWidths) {
    for (uint32_t height : kHeights) {
      const Bitmap b = randomBitmap(width, height, seed++, 4, false);
      std::mt19937 random(seed++);
      for (int i = 0; i < 12; ++i) {
        Rect r;
        r.left = random() % width;
        r.right = r.left + 1 + random() % (width - r.left);
        r.top = random() % height;
        r.bottom = r.top + 1 + random() % (height - r.top);
        if (i == 0) r = {0, 0, width, height};
        if (i == 1) r = {width - 1, height - 1, width, height};
        const Bitmap c = Bitmap::crop(b, r);
        ASSERT_EQ(c.data(), testing::refCrop(b, r))
            << width << "x" << height << " " << r.left << "," << r.top << "," << r.right << ","
            << r.bottom;
      }
    }
  }
}

TEST(BitmapFastPathsTest, Rotate180MatchesReference) {
  uint32_t seed = 300;
  for (uint32_t width : kAwkwardWidths) {
    for (uint32_t height : {1u, 2u, 3u, 4u, 7u, 16u}) {
      for (bool clean : {true, false}) {
        Bitmap b = randomBitmap(width, height, seed++, 3, clean);
        const std::vector<uint8_t> expected = testing::refRotate180(b);
        b.rotate180();
        ASSERT_EQ(b.data(), expected) << width << "x" << height;
        b.rotate180();
        ASSERT_EQ(testing::refRotate180(b), expected) << "twice";
      }
    }
  }
}

TEST(BitmapFastPathsTest, Rotate180TwiceRestores) {
  const Bitmap original = randomBitmap(4097, 9, 7, 4, false);
  Bitmap b = original;
  b.rotate180();
  EXPECT_NE(b.data(), original.data());
  b.rotate180();
  EXPECT_EQ(b.data(), original.data());
}

}  // namespace
}  // namespace Tesselin
