#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <string>

#include "imaging/imaging_exception.h"

namespace Tesselin {
namespace {

template <typename F>
std::string bitmapError(F&& f) {
  try {
    f();
  } catch (const BitmapException& e) {
    return e.what();
  }
  return "no BitmapException";
}

TEST(BitmapTest, ConstructorsSetOneBitOneChannel) {
  const Bitmap empty;
  EXPECT_TRUE(empty.isBitmap());
  EXPECT_EQ(empty.bitsPerSample(), 1u);
  EXPECT_EQ(empty.channels(), 1u);
  EXPECT_FALSE(empty.isValid());
  const Bitmap sized(13, 3);
  EXPECT_EQ(sized.bytesPerRow(), 2u);
  EXPECT_EQ(sized.data(), std::vector<uint8_t>(6, 0));
  const Bitmap pair(std::pair<uint32_t, uint32_t>{9, 2});
  EXPECT_EQ(pair.dataSize(), 4u);
  EXPECT_EQ(pair.origin(), (std::pair<uint32_t, uint32_t>{0, 0}));
}

TEST(BitmapTest, DataConstructorRequiresWholeRows) {
  EXPECT_EQ(bitmapError([] { Bitmap(std::vector<uint8_t>(5), 13, 3); }),
            "Source data does not match size");
  EXPECT_EQ(bitmapError([] { Bitmap(std::vector<uint8_t>(7), 13, 3); }),
            "Source data does not match size");
  const Bitmap ok(std::vector<uint8_t>{0xFF, 0xF8}, 13, 1);
  EXPECT_TRUE(ok.getPixel(12, 0));
}

TEST(BitmapTest, CopyAndAssignmentKeepOrigin) {
  Bitmap a(8, 1);
  a.setOrigin(3, 4);
  const Bitmap b = a;
  EXPECT_EQ(b.origin(), (std::pair<uint32_t, uint32_t>{3, 4}));
  Bitmap c;
  c = a;
  EXPECT_EQ(c.origin(), (std::pair<uint32_t, uint32_t>{3, 4}));
  Bitmap d = std::move(c);
  EXPECT_EQ(d.origin(), (std::pair<uint32_t, uint32_t>{3, 4}));
}

TEST(BitmapTest, PixelsAreMostSignificantBitFirst) {
  Bitmap b(16, 2);
  b.setPixel(0, 0, true);
  b.setPixel(9, 1, true);
  EXPECT_EQ(b.data(), (std::vector<uint8_t>{0x80, 0x00, 0x00, 0x40}));
  EXPECT_TRUE(b.getPixel(9, 1));
  EXPECT_FALSE(b.getPixel(8, 1));
  b.setPixel(0, 0, false);
  EXPECT_EQ(b.data()[0], 0);
}

TEST(BitmapTest, PixelAccessOutsideThrows) {
  Bitmap b(10, 2);
  EXPECT_EQ(bitmapError([&] { b.getPixel(10, 0); }), "Index out of range");
  EXPECT_EQ(bitmapError([&] { b.getPixel(0, 2); }), "Index out of range");
  // Writes outside the bitmap are refused instead of landing in another row or past the end.
  EXPECT_EQ(bitmapError([&] { b.setPixel(10, 0, true); }), "Index out of range");
  EXPECT_EQ(bitmapError([&] { b.setPixel(0, 2, true); }), "Index out of range");
  EXPECT_EQ(b.data(), std::vector<uint8_t>(4, 0));
}

TEST(BitmapTest, RowAccess) {
  Bitmap b(12, 2);
  const std::vector<uint8_t> row = {0xAB, 0xC0};
  b.setRow(1, row);
  EXPECT_EQ(b.getRow(1), row);
  EXPECT_EQ(b.getRow(0), (std::vector<uint8_t>{0, 0}));
  const std::vector<uint8_t> longer = {1, 2, 3};
  b.setRow(0, longer);
  EXPECT_EQ(b.getRow(0), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(bitmapError([&] { b.getRow(2); }), "Index out of range");
  EXPECT_EQ(bitmapError([&] { b.setRow(2, row); }), "Index out of range");
  EXPECT_EQ(bitmapError([&] { b.setRow(0, std::vector<uint8_t>{1}); }),
            "Row data not large enough");
  EXPECT_EQ(b.getRow(0), (std::vector<uint8_t>{1, 2}));
}

TEST(BitmapTest, RowViewWithoutCopy) {
  const Bitmap b(std::vector<uint8_t>{1, 2, 3, 4}, 16, 2);
  const auto row = b.row(1);
  EXPECT_EQ(row.data(), b.data().data() + 2);
  EXPECT_EQ(std::vector<uint8_t>(row.begin(), row.end()), (std::vector<uint8_t>{3, 4}));
  EXPECT_EQ(bitmapError([&] { b.row(2); }), "Index out of range");
}

TEST(BitmapTest, AppendRowChecksLength) {
  Bitmap b(9, 0);
  b.appendRow(std::vector<uint8_t>{0x12, 0x80});
  EXPECT_EQ(b.height(), 1u);
  EXPECT_EQ(bitmapError([&] { b.appendRow(std::vector<uint8_t>{1}); }),
            "Row data is the wrong length");
  EXPECT_EQ(bitmapError([&] {
              b.appendRowXor(std::vector<uint8_t>{1, 2, 3});
            }),
            "Row data is the wrong length");
  EXPECT_EQ(b.height(), 1u);
}

TEST(BitmapTest, AppendRowXorMixesWithLastRow) {
  Bitmap b(16, 0);
  b.appendRowXor(std::vector<uint8_t>{0xF0, 0x0F});
  EXPECT_EQ(b.getRow(0), (std::vector<uint8_t>{0xF0, 0x0F}));
  b.appendRowXor(std::vector<uint8_t>{0xF0, 0x0F});
  EXPECT_EQ(b.getRow(1), (std::vector<uint8_t>{0x00, 0x00}));
  b.appendRowXor(std::vector<uint8_t>{0x01, 0x80});
  EXPECT_EQ(b.getRow(2), (std::vector<uint8_t>{0x01, 0x80}));
  EXPECT_EQ(b.height(), 3u);
}

TEST(BitmapTest, XorRowAndCopyRow) {
  Bitmap b(std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0, 0}, 16, 3);
  b.xorRow(0, 2, std::vector<uint8_t>{0xFF});
  EXPECT_EQ(b.getRow(2), (std::vector<uint8_t>{0xEE, 0x22}));
  b.copyRow(1, 0);
  EXPECT_EQ(b.getRow(0), (std::vector<uint8_t>{0x33, 0x44}));
  b.xorRow(1, 1, std::vector<uint8_t>{0x33, 0x44, 0x55});
  EXPECT_EQ(b.getRow(1), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(bitmapError([&] { b.xorRow(3, 0); }), "Invalid row");
  EXPECT_EQ(bitmapError([&] { b.copyRow(0, 3); }), "Invalid row");
}

TEST(BitmapTest, EmptyRowsAndColumns) {
  Bitmap b(12, 3);
  b.setPixel(5, 1, true);
  EXPECT_TRUE(b.isRowEmpty(0));
  EXPECT_FALSE(b.isRowEmpty(1));
  EXPECT_TRUE(b.isColumnEmpty(4));
  EXPECT_FALSE(b.isColumnEmpty(5));
  EXPECT_EQ(bitmapError([&] { b.isRowEmpty(3); }), "Index out of range");
  EXPECT_EQ(bitmapError([&] { b.isColumnEmpty(12); }), "Index out of range");
  EXPECT_TRUE(Bitmap(12, 0).isColumnEmpty(3));
  // Bits beyond width count for rows, not for columns.
  Bitmap padded(std::vector<uint8_t>{0x00, 0x01}, 12, 1);
  EXPECT_FALSE(padded.isRowEmpty(0));
  EXPECT_TRUE(padded.isColumnEmpty(11));
}

TEST(BitmapTest, InvertComplementsPaddingToo) {
  Bitmap b(std::vector<uint8_t>{0x0F, 0x80}, 13, 1);
  b.invert();
  EXPECT_EQ(b.data(), (std::vector<uint8_t>{0xF0, 0x7F}));
}

TEST(BitmapTest, BoundingBoxCases) {
  EXPECT_EQ(Bitmap(10, 10).boundingBox(), (Rect{0, 0, 0, 0}));
  EXPECT_EQ(Bitmap().boundingBox(), (Rect{0, 0, 0, 0}));
  Bitmap one(10, 10);
  one.setPixel(5, 2, true);
  EXPECT_EQ(one.boundingBox(), (Rect{5, 2, 6, 3}));
  one.setPixel(0, 9, true);
  one.setPixel(9, 4, true);
  EXPECT_EQ(one.boundingBox(), (Rect{0, 2, 10, 10}));
  Bitmap corner(10, 1);
  corner.setPixel(0, 0, true);
  EXPECT_EQ(corner.boundingBox(), (Rect{0, 0, 1, 1}));
  // Only bits beyond width set: the rows count, no column does.
  Bitmap padding(std::vector<uint8_t>{0, 0, 0x00, 0x01}, 12, 2);
  EXPECT_EQ(padding.boundingBox(), (Rect{0, 1, 1, 2}));
}

TEST(BitmapTest, CropCopiesRectangleAndSetsOrigin) {
  Bitmap b(20, 5);
  b.setPixel(3, 1, true);
  b.setPixel(10, 3, true);
  b.setResolution(203, 203);
  const Bitmap c = Bitmap::crop(b, Rect{3, 1, 11, 4});
  EXPECT_EQ(c.width(), 8u);
  EXPECT_EQ(c.height(), 3u);
  EXPECT_EQ(c.origin(), (std::pair<uint32_t, uint32_t>{3, 1}));
  EXPECT_EQ(c.data(), (std::vector<uint8_t>{0x80, 0x00, 0x01}));
  const Bitmap d(b, Rect{10, 3, 11, 4});
  EXPECT_EQ(d.data(), std::vector<uint8_t>{0x80});
}

TEST(BitmapTest, CropRejectsBadRectangles) {
  const Bitmap b(20, 5);
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{0, 0, 0, 0}); }), "Invalid size");
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{5, 0, 4, 3}); }), "Invalid size");
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{0, 3, 4, 2}); }), "Invalid size");
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{4, 0, 4, 3}); }), "Invalid size");
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{0, 2, 4, 2}); }), "Invalid size");
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{0, 0, 21, 5}); }), "Index out of range");
  EXPECT_EQ(bitmapError([&] { Bitmap::crop(b, Rect{0, 0, 20, 6}); }), "Index out of range");
  EXPECT_EQ(Bitmap::crop(b, Rect{0, 0, 20, 5}).data(), b.data());
}

TEST(BitmapTest, MaskClearsMarkedBits) {
  Bitmap b(std::vector<uint8_t>{0xFF, 0x0F}, 8, 2);
  const Bitmap m(std::vector<uint8_t>{0xF0, 0x01}, 8, 2);
  b.mask(m);
  EXPECT_EQ(b.data(), (std::vector<uint8_t>{0x0F, 0x0E}));
  EXPECT_EQ(bitmapError([&] { b.mask(Bitmap(8, 3)); }),
            "Cannot mask image if the mask is a different size");
}

TEST(BitmapTest, PasteRoundsColumnToWholeBytes) {
  struct Case {
    uint32_t x;
    size_t byte;
  };
  // x mod 8 below 4 rounds down; 4 or more adds x mod 8 before dividing.
  const Case cases[] = {{0, 0}, {3, 0}, {4, 1}, {8, 1}, {11, 1}, {12, 2}, {15, 2}, {20, 3}};
  for (const auto& c : cases) {
    Bitmap page(64, 3);
    Bitmap piece(std::vector<uint8_t>{0xAA, 0xBB}, 16, 1);
    piece.setOrigin(c.x, 1);
    page.paste(piece);
    std::vector<uint8_t> expected(24, 0);
    expected[8 + c.byte] = 0xAA;
    expected[8 + c.byte + 1] = 0xBB;
    EXPECT_EQ(page.data(), expected) << c.x;
  }
}

TEST(BitmapTest, PasteClipsAtEdges) {
  Bitmap page(24, 2);
  Bitmap piece(std::vector<uint8_t>{1, 2, 3, 4, 5, 6}, 24, 2);
  piece.setOrigin(16, 1);
  page.paste(piece);
  EXPECT_EQ(page.data(), (std::vector<uint8_t>{0, 0, 0, 0, 0, 1}));
  Bitmap far(24, 2);
  piece.setOrigin(100, 0);
  far.paste(piece);
  piece.setOrigin(0, 0xFFFFFFFF);
  far.paste(piece);
  EXPECT_EQ(far.data(), std::vector<uint8_t>(6, 0));
}

TEST(BitmapTest, ClearZeroesEverything) {
  Bitmap b(std::vector<uint8_t>{0xFF, 0x12}, 12, 1);
  b.clear();
  EXPECT_EQ(b.data(), (std::vector<uint8_t>{0, 0}));
}

TEST(BitmapTest, Rotate180SmallCases) {
  Bitmap row(std::vector<uint8_t>{0xC0, 0x80}, 10, 1);
  row.rotate180();
  EXPECT_EQ(row.data(), (std::vector<uint8_t>{0x40, 0xC0}));
  Bitmap square(3, 3);
  square.setPixel(0, 1, true);
  square.rotate180();
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(square.getPixel(x, y), x == 2 && y == 1);
  }
  Bitmap column(std::vector<uint8_t>{0x80, 0x00, 0x00, 0x00}, 1, 4);
  column.rotate180();
  EXPECT_EQ(column.data(), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x80}));
}

TEST(BitmapTest, RowOperationsRefuseResizedData) {
  Bitmap b(16, 2);
  b.data().resize(3);
  EXPECT_THROW(b.getRow(1), BitmapException);
  EXPECT_THROW(b.rotate180(), BitmapException);
  EXPECT_THROW(b.boundingBox(), BitmapException);
  EXPECT_THROW(b.setPixel(0, 1, true), BitmapException);
  EXPECT_THROW(b.appendRow(std::vector<uint8_t>{0, 0}), BitmapException);
}

}  // namespace
}  // namespace Tesselin
