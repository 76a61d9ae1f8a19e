#include "imaging/image.h"

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/darkness.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ImageTest, RowsSizesAndLimits) {
  const Image empty;
  EXPECT_EQ(empty.dataSize(), 0u);
  EXPECT_FALSE(empty.isValid());
  EXPECT_FALSE(empty.isBitmap());
  EXPECT_EQ(empty.xResolution(), 96u);
  EXPECT_EQ(empty.yResolution(), 96u);
  const uint32_t cases[][4] = {{8, 3, 5, 15}, {1, 1, 13, 2}, {1, 1, 8, 1},   {1, 1, 9, 2},
                               {8, 1, 0, 0},  {0, 1, 10, 0}, {16, 4, 3, 24}, {1, 3, 3, 2}};
  for (const auto& [bits, channels, width, expected] : cases) {
    const Image image(bits, channels, width, 2);
    EXPECT_EQ(image.bytesPerRow(), expected) << bits << " " << channels << " " << width;
    EXPECT_EQ(image.dataSize(), 2u * expected);
  }
  EXPECT_THROW(Image(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 1), ImageException);
  EXPECT_THROW(Image(64, 4, 0x20000000, 0), ImageException);
  EXPECT_THROW(Image::rowBytes(8, 2, 0xFFFFFFFF), ImageException);
  EXPECT_EQ(Image::rowBytes(8, 1, 0xFFFFFFFF), 0xFFFFFFFFu);
  EXPECT_THROW(Image(8, 4, 100000, 100000), ImageException);
  EXPECT_THROW(Bitmap(0xFFFFFFFF, 0xFFFFFFFF), ImageException);
  Image image(8, 1, 2, 1, Bytes{7, 8});
  EXPECT_THROW(image.reserve(size_t{1} << 40), ImageException);
  image.reserve(1000);
  EXPECT_GE(image.data().capacity(), 1000u);
  EXPECT_EQ(image.data(), (Bytes{7, 8}));
  EXPECT_EQ(Image(8, 1, 4, 4, Bytes{1, 2, 3}).dataSize(), 3u);  // the count is not checked here
}

TEST(ImageTest, InvertAndCopies) {
  Image image(8, 1, 3, 1, Bytes{0, 200, 255});
  image.setResolution(300, 200);
  image.invert();
  EXPECT_EQ(image.data(), (Bytes{255, 55, 0}));
  Image copy = image;
  copy.data()[0] = 9;
  EXPECT_EQ(image.data()[0], 255);
  EXPECT_EQ(copy.xResolution(), 300u);
  EXPECT_EQ(copy.yResolution(), 200u);
  const uint8_t* buffer = image.data().data();
  EXPECT_EQ(Image(std::move(image)).data().data(), buffer);
  Image bilevel(1, 1, 8, 1);
  EXPECT_EQ(testing::errorOf<ImageException>([&] { bilevel.invert(); }),
            "Unable to invert images if the number of bits per sample is not 8");
  EXPECT_EQ(bilevel.data(), Bytes{0});
}

TEST(DarknessTest, NamesMapToLevels) {
  const std::pair<const char*, int> cases[] = {{"Lightest", 0}, {"Lighter", 1},  {"Light", 2},
                                               {"Normal", 3},   {"Dark", 4},     {"Darker", 5},
                                               {"Darkest", 6},  {"", 3},         {"dark", 3},
                                               {"Darkest ", 3}, {"Lightest2", 3}};
  for (const auto& [name, level] : cases) EXPECT_EQ(darknessFromName(name), level) << name;
}

}  // namespace
}  // namespace Tesselin
