// Bitmap operations; the byte-wise ones also against plain per-pixel references on random
// bitmaps of awkward sizes.
#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <array>

#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::bitAt;
using testing::putBit;
using testing::randomBitmap;
auto err = [](auto&& f) { return testing::errorOf<BitmapException>(f); };

bool refColumnEmpty(const Bitmap& b, uint32_t x) {
  for (uint32_t y = 0; y < b.height(); ++y) {
    if (bitAt(b.data(), b.bytesPerRow(), x, y)) return false;
  }
  return true;
}

bool refRowEmpty(const Bitmap& b, uint32_t y) {
  for (uint32_t i = 0; i < b.bytesPerRow(); ++i) {
    if (b.data()[size_t{y} * b.bytesPerRow() + i] != 0) return false;
  }
  return true;
}

// Rows count whole bytes (padding too), columns only pixels; no inked column gives 0..1.
Rect refBoundingBox(const Bitmap& b) {
  std::vector<uint32_t> rows, columns;
  for (uint32_t y = 0; y < b.height(); ++y) {
    if (!refRowEmpty(b, y)) rows.push_back(y);
  }
  if (rows.empty()) return {0, 0, 0, 0};
  for (uint32_t x = 0; x < b.width(); ++x) {
    if (!refColumnEmpty(b, x)) columns.push_back(x);
  }
  return {columns.empty() ? 0 : columns.front(), rows.front(),
          columns.empty() ? 1 : columns.back() + 1, rows.back() + 1};
}

Bytes refCrop(const Bitmap& b, const Rect& r) {
  const uint32_t width = r.right - r.left, rowBytes = (width + 7) / 8;
  Bytes out(size_t{rowBytes} * (r.bottom - r.top));
  for (uint32_t y = 0; y < r.bottom - r.top; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      putBit(out, rowBytes, x, y, bitAt(b.data(), b.bytesPerRow(), r.left + x, r.top + y));
    }
  }
  return out;
}

// Every pixel from the opposite corner; padding bits stay as they were.
Bytes refRotate180(const Bitmap& b) {
  Bytes out = b.data();
  for (uint32_t y = 0; y < b.height(); ++y) {
    for (uint32_t x = 0; x < b.width(); ++x) {
      putBit(out, b.bytesPerRow(), x, y,
             bitAt(b.data(), b.bytesPerRow(), b.width() - 1 - x, b.height() - 1 - y));
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
        const Bitmap dense = randomBitmap(width, height, seed++, 1, clean);
        for (const Bitmap* b : std::array<const Bitmap*, 2>{&sparse, &dense}) {
          ASSERT_EQ(b->boundingBox(), refBoundingBox(*b));
          for (uint32_t x = 0; x < width; ++x)
            ASSERT_EQ(b->isColumnEmpty(x), refColumnEmpty(*b, x)) << x;
          for (uint32_t y = 0; y < height; ++y)
            ASSERT_EQ(b->isRowEmpty(y), refRowEmpty(*b, y)) << y;
        }
        const Bitmap full = randomBitmap(width, height, seed++, 4, clean);
        for (int i = 0; i < 12; ++i) {
          Rect r{static_cast<uint32_t>(random() % width), static_cast<uint32_t>(random() % height),
                 0, 0};
          r.right = r.left + 1 + random() % (width - r.left);
          r.bottom = r.top + 1 + random() % (height - r.top);
          if (i == 0) r = {0, 0, width, height};
          if (i == 1) r = {width - 1, height - 1, width, height};
          ASSERT_EQ(Bitmap::crop(full, r).data(), refCrop(full, r))
              << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        }
        Bitmap rotated = full;
        rotated.rotate180();
        ASSERT_EQ(rotated.data(), refRotate180(full));
        rotated.rotate180();
        ASSERT_EQ(rotated.data(), full.data());
      }
    }
  }
}

TEST(BitmapTest, ConstructionAndPixels) {
  const Bitmap empty;
  EXPECT_TRUE(empty.isBitmap());
  EXPECT_EQ(empty.bitsPerSample(), 1u);
  EXPECT_EQ(empty.channels(), 1u);
  EXPECT_FALSE(empty.isValid());
  EXPECT_EQ(Bitmap(13, 3).data(), Bytes(6, 0));
  EXPECT_EQ(Bitmap(std::pair<uint32_t, uint32_t>{9, 2}).dataSize(), 4u);
  for (size_t size : {5, 7}) {
    EXPECT_EQ(err([&] { Bitmap(Bytes(size), 13, 3); }), "Source data does not match size");
  }
  Bitmap a(16, 2);
  a.setOrigin(3, 4);
  a.setPixel(0, 0, true);
  a.setPixel(9, 1, true);
  EXPECT_EQ(a.data(), (Bytes{0x80, 0x00, 0x00, 0x40}));
  EXPECT_TRUE(a.getPixel(9, 1));
  EXPECT_FALSE(a.getPixel(8, 1));
  a.setPixel(0, 0, false);
  EXPECT_EQ(a.data()[0], 0);
  Bitmap c;
  c = a;
  EXPECT_EQ(Bitmap(std::move(c)).origin(), (std::pair<uint32_t, uint32_t>{3, 4}));
  // Writes outside are refused instead of landing in another row or past the end.
  Bitmap b(10, 2);
  for (auto [x, y] : {std::pair{10u, 0u}, {0u, 2u}}) {
    EXPECT_EQ(err([&] { b.getPixel(x, y); }), "Index out of range");
    EXPECT_EQ(err([&] { b.setPixel(x, y, true); }), "Index out of range");
  }
  EXPECT_EQ(b.data(), Bytes(4, 0));
  EXPECT_EQ(err([&] { b.isRowEmpty(2); }), "Index out of range");
  EXPECT_EQ(err([&] { b.isColumnEmpty(10); }), "Index out of range");
  EXPECT_TRUE(Bitmap(12, 0).isColumnEmpty(3));
}

TEST(BitmapTest, RowOperations) {
  Bitmap b(12, 2);
  b.setRow(1, Bytes{0xAB, 0xC0});
  EXPECT_EQ(b.getRow(1), (Bytes{0xAB, 0xC0}));
  b.setRow(0, Bytes{1, 2, 3});
  EXPECT_EQ(b.getRow(0), (Bytes{1, 2}));
  EXPECT_EQ(err([&] { b.getRow(2); }), "Index out of range");
  EXPECT_EQ(err([&] { b.setRow(2, Bytes{1, 2}); }), "Index out of range");
  EXPECT_EQ(err([&] { b.setRow(0, Bytes{1}); }), "Row data not large enough");
  EXPECT_EQ(b.getRow(0), (Bytes{1, 2}));
  const auto view = b.row(1);
  EXPECT_EQ(view.data(), b.data().data() + 2);
  EXPECT_EQ(err([&] { b.row(2); }), "Index out of range");

  Bitmap grown(16, 0);
  for (const Bytes& row : {Bytes{0xF0, 0x0F}, Bytes{0xF0, 0x0F}, Bytes{0x01, 0x80}})
    grown.appendRowXor(row);
  EXPECT_EQ(grown.data(), (Bytes{0xF0, 0x0F, 0x00, 0x00, 0x01, 0x80}));
  grown.appendRow(Bytes{0x12, 0x80});
  EXPECT_EQ(grown.getRow(3), (Bytes{0x12, 0x80}));
  EXPECT_EQ(err([&] { grown.appendRow(Bytes{1}); }), "Row data is the wrong length");
  EXPECT_EQ(err([&] { grown.appendRowXor(Bytes{1, 2, 3}); }), "Row data is the wrong length");
  EXPECT_EQ(grown.height(), 4u);

  Bitmap x(Bytes{0x11, 0x22, 0x33, 0x44, 0, 0}, 16, 3);
  x.xorRow(0, 2, Bytes{0xFF});
  EXPECT_EQ(x.getRow(2), (Bytes{0xEE, 0x22}));
  x.copyRow(1, 0);
  EXPECT_EQ(x.getRow(0), (Bytes{0x33, 0x44}));
  x.xorRow(1, 1, Bytes{0x33, 0x44, 0x55});
  EXPECT_EQ(x.getRow(1), (Bytes{0, 0}));
  EXPECT_EQ(err([&] { x.xorRow(3, 0); }), "Invalid row");
  EXPECT_EQ(err([&] { x.copyRow(0, 3); }), "Invalid row");

  Bitmap resized(16, 2);
  resized.data().resize(3);
  EXPECT_THROW(resized.getRow(1), BitmapException);
  EXPECT_THROW(resized.rotate180(), BitmapException);
  EXPECT_THROW(resized.boundingBox(), BitmapException);
  EXPECT_THROW(resized.setPixel(0, 1, true), BitmapException);
  EXPECT_THROW(resized.appendRow(Bytes{0, 0}), BitmapException);
}

TEST(BitmapTest, WholeBitmapOperations) {
  Bitmap inverted(Bytes{0x0F, 0x80}, 13, 1);
  inverted.invert();  // padding too
  EXPECT_EQ(inverted.data(), (Bytes{0xF0, 0x7F}));
  inverted.clear();
  EXPECT_EQ(inverted.data(), (Bytes{0, 0}));
  EXPECT_EQ(Bitmap().boundingBox(), (Rect{0, 0, 0, 0}));

  Bitmap b(20, 5);
  b.setPixel(3, 1, true);
  b.setPixel(10, 3, true);
  const Bitmap c = Bitmap::crop(b, Rect{3, 1, 11, 4});
  EXPECT_EQ(c.width(), 8u);
  EXPECT_EQ(c.height(), 3u);
  EXPECT_EQ(c.origin(), (std::pair<uint32_t, uint32_t>{3, 1}));
  EXPECT_EQ(c.data(), (Bytes{0x80, 0x00, 0x01}));
  EXPECT_EQ(Bitmap(b, Rect{10, 3, 11, 4}).data(), Bytes{0x80});
  for (Rect r :
       {Rect{0, 0, 0, 0}, Rect{5, 0, 4, 3}, Rect{0, 3, 4, 2}, Rect{4, 0, 4, 3}, Rect{0, 2, 4, 2}}) {
    EXPECT_EQ(err([&] { Bitmap::crop(b, r); }), "Invalid size");
  }
  EXPECT_EQ(err([&] { Bitmap::crop(b, Rect{0, 0, 21, 5}); }), "Index out of range");
  EXPECT_EQ(err([&] { Bitmap::crop(b, Rect{0, 0, 20, 6}); }), "Index out of range");

  Bitmap masked(Bytes{0xFF, 0x0F}, 8, 2);
  masked.mask(Bitmap(Bytes{0xF0, 0x01}, 8, 2));
  EXPECT_EQ(masked.data(), (Bytes{0x0F, 0x0E}));
  EXPECT_EQ(err([&] { masked.mask(Bitmap(8, 3)); }),
            "Cannot mask image if the mask is a different size");
}

TEST(BitmapTest, PasteRoundsColumnToWholeBytesAndClips) {
  // x mod 8 below 4 rounds down; 4 or more adds x mod 8 before dividing.
  const std::pair<uint32_t, size_t> cases[] = {{0, 0},  {3, 0},  {4, 1},  {8, 1},
                                               {11, 1}, {12, 2}, {15, 2}, {20, 3}};
  for (const auto& [x, byte] : cases) {
    Bitmap page(64, 3);
    Bitmap piece(Bytes{0xAA, 0xBB}, 16, 1);
    piece.setOrigin(x, 1);
    page.paste(piece);
    Bytes expected(24, 0);
    expected[8 + byte] = 0xAA;
    expected[9 + byte] = 0xBB;
    EXPECT_EQ(page.data(), expected) << x;
  }
  Bitmap page(24, 2);
  Bitmap piece(Bytes{1, 2, 3, 4, 5, 6}, 24, 2);
  piece.setOrigin(16, 1);
  page.paste(piece);
  EXPECT_EQ(page.data(), (Bytes{0, 0, 0, 0, 0, 1}));
  for (auto [x, y] : {std::pair{100u, 0u}, {0u, 0xFFFFFFFFu}}) {
    piece.setOrigin(x, y);
    page.paste(piece);
  }
  EXPECT_EQ(page.data(), (Bytes{0, 0, 0, 0, 0, 1}));
}

}  // namespace
}  // namespace Tesselin
