#include "imaging/image.h"

#include <gtest/gtest.h>

#include <sstream>

#include "imaging/bitmap.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {
namespace {

TEST(ImageTest, EmptyImageHasNoRowsAndDefaultResolution) {
  const Image image;
  EXPECT_EQ(image.bytesPerRow(), 0u);
  EXPECT_EQ(image.dataSize(), 0u);
  EXPECT_FALSE(image.isValid());
  EXPECT_FALSE(image.isBitmap());
  EXPECT_EQ(image.xResolution(), 96u);
  EXPECT_EQ(image.yResolution(), 96u);
}

struct RowCase {
  uint32_t bits, channels, width, expected;
};

TEST(ImageTest, BytesPerRowRoundsUpToWholeBytes) {
  const RowCase cases[] = {{8, 3, 5, 15}, {1, 1, 13, 2}, {1, 1, 8, 1},   {1, 1, 9, 2},
                           {8, 1, 0, 0},  {0, 1, 10, 0}, {16, 4, 3, 24}, {1, 3, 3, 2}};
  for (const auto& c : cases) {
    const Image image(c.bits, c.channels, c.width, 2);
    EXPECT_EQ(image.bytesPerRow(), c.expected) << c.bits << " " << c.channels << " " << c.width;
    EXPECT_EQ(image.dataSize(), 2u * c.expected);
    EXPECT_EQ(image.bitsPerSample(), c.bits);
    EXPECT_EQ(image.channels(), c.channels);
  }
}

TEST(ImageTest, AbsurdRowSizesAreRejected) {
  EXPECT_THROW(Image(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 1), ImageException);
  EXPECT_THROW(Image(64, 4, 0x20000000, 0), ImageException);
  EXPECT_THROW(Image::rowBytes(8, 2, 0xFFFFFFFF), ImageException);
  EXPECT_EQ(Image::rowBytes(8, 1, 0xFFFFFFFF), 0xFFFFFFFFu);
}

TEST(ImageTest, HugeAllocationsAreRejected) {
  EXPECT_THROW(Image(8, 4, 100000, 100000), ImageException);
  EXPECT_THROW(Bitmap(0xFFFFFFFF, 0xFFFFFFFF), ImageException);
  Image image(8, 1, 4, 4);
  EXPECT_THROW(image.reserve(size_t{1} << 40), ImageException);
}

TEST(ImageTest, DataConstructorKeepsBytesWithoutCheckingCount) {
  std::vector<uint8_t> bytes = {1, 2, 3};
  const Image copy(8, 1, 4, 4, bytes);
  EXPECT_EQ(copy.data(), bytes);
  const Image moved(8, 1, 2, 1, std::move(bytes));
  EXPECT_EQ(moved.dataSize(), 3u);
  EXPECT_TRUE(moved.isValid());
}

TEST(ImageTest, InvertComplementsEightBitSamples) {
  Image image(8, 1, 3, 1, std::vector<uint8_t>{0, 200, 255});
  image.invert();
  EXPECT_EQ(image.data(), (std::vector<uint8_t>{255, 55, 0}));
}

TEST(ImageTest, InvertRejectsOtherDepths) {
  Image image(1, 1, 8, 1);
  try {
    image.invert();
    FAIL() << "no exception";
  } catch (const ImageException& e) {
    EXPECT_STREQ(e.what(), "Unable to invert images if the number of bits per sample is not 8");
  }
  EXPECT_EQ(image.data(), std::vector<uint8_t>{0});
}

TEST(ImageTest, CopiesAreDeepAndMovesTakeTheBuffer) {
  Image image(8, 1, 2, 2, std::vector<uint8_t>{1, 2, 3, 4});
  image.setResolution(300, 200);
  Image copy = image;
  copy.data()[0] = 9;
  EXPECT_EQ(image.data()[0], 1);
  EXPECT_EQ(copy.xResolution(), 300u);
  EXPECT_EQ(copy.yResolution(), 200u);
  const uint8_t* buffer = image.data().data();
  Image moved = std::move(image);
  EXPECT_EQ(moved.data().data(), buffer);
  Image assigned;
  assigned = copy;
  EXPECT_EQ(assigned.data(), (std::vector<uint8_t>{9, 2, 3, 4}));
  EXPECT_EQ(assigned.width(), 2u);
}

TEST(ImageTest, ReserveKeepsContents) {
  Image image(8, 1, 2, 1, std::vector<uint8_t>{7, 8});
  image.reserve(1000);
  EXPECT_GE(image.data().capacity(), 1000u);
  EXPECT_EQ(image.data(), (std::vector<uint8_t>{7, 8}));
}

TEST(ImageTest, ExceptionsShareTheImagingBase) {
  const ImageException image("a");
  const BitmapException bitmap("b");
  const HalftoningException halftoning("c");
  const Exception* all[] = {&image, &bitmap, &halftoning};
  EXPECT_STREQ(all[0]->what(), "a");
  EXPECT_STREQ(all[1]->what(), "b");
  EXPECT_STREQ(all[2]->what(), "c");
}

}  // namespace
}  // namespace Tesselin
