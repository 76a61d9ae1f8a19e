// Files converted by libtiff's tiffcp read to the pixels the plain source holds; tiffcmp
// confirms that libtiff decodes the converted file to the same pixels.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imaging/bitmap.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/tiff/tiff_fixture.h"

namespace Tesselin {
namespace {

using testing::Bytes;
using testing::TiffLayout;

struct ReadCase {
  const char* name;
  TiffLayout layout;
  std::vector<const char*> tiffcpOptions;  // one conversion per entry
};

Image readTiff(const std::filesystem::path& path, TIFFFileInfo* info = nullptr) {
  std::ifstream in(path, std::ios::binary);
  return ImageIO::ReadFromTIFFFormat(in, info);
}

class TIFFReaderLibtiffTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TIFFReaderLibtiffTest, ReadsWhatTiffcpWrites) {
  const ReadCase& c = GetParam();
  const auto dir = testing::scratchDirectory(std::string("read_") + c.name);
  const Bytes pixels = testing::makePixels(c.layout, 17);
  const auto source = dir / "source.tif";
  testing::writeFile(source, testing::writePlainTiff(c.layout, pixels));

  const std::uint32_t expectedX = c.layout.unit == 3
                                      ? static_cast<std::uint32_t>(c.layout.xResolution * 2.54)
                                      : c.layout.xResolution;
  const std::uint32_t expectedY = c.layout.unit == 3
                                      ? static_cast<std::uint32_t>(c.layout.yResolution * 2.54)
                                      : c.layout.yResolution;

  int index = 0;
  for (const char* options : c.tiffcpOptions) {
    SCOPED_TRACE(options);
    const auto converted = dir / ("converted" + std::to_string(index++) + ".tif");
    std::string output;
    ASSERT_EQ(testing::runCommand("tiffcp " + std::string(options) + " " + source.string() + " " +
                                      converted.string(),
                                  &output),
              0)
        << output;
    ASSERT_EQ(testing::runCommand("tiffcmp " + source.string() + " " + converted.string(), &output),
              0)
        << output;

    TIFFFileInfo info;
    const Image image = readTiff(converted, &info);
    EXPECT_EQ(image.bitsPerSample(), c.layout.bits);
    EXPECT_EQ(image.channels(), c.layout.samples);
    EXPECT_EQ(image.width(), c.layout.width);
    EXPECT_EQ(image.height(), c.layout.height);
    EXPECT_EQ(image.xResolution(), expectedX);
    EXPECT_EQ(image.yResolution(), expectedY);
    EXPECT_TRUE(image.data() == pixels) << "pixels differ";
  }
}

TiffLayout layoutOf(bool bigEndian, std::uint16_t bits, std::uint16_t samples,
                    std::uint16_t photometric, std::uint16_t unit = 2) {
  TiffLayout s;
  s.bigEndian = bigEndian;
  s.bits = bits;
  s.samples = samples;
  s.photometric = photometric;
  s.unit = unit;
  if (unit == 3) {
    s.xResolution = 100;
    s.yResolution = 50;
  }
  return s;
}

const std::vector<const char*> kAll = {"-c none",        "-c lzw",           "-c zip",
                                       "-c lzw:2 -B",    "-c zip:2 -L -r 3", "-c lzw -r 1000",
                                       "-c zip -B -r 7", "-c lzw:2 -L -r 1", "-c zip:2 -B -r 1000"};
const std::vector<const char*> kNoPredictor = {
    "-c none",        "-c lzw",         "-c zip",           "-c lzw -B -r 3",
    "-c zip -L -r 1", "-c lzw -r 1000", "-c zip -B -r 1000"};

INSTANTIATE_TEST_SUITE_P(
    Files, TIFFReaderLibtiffTest,
    ::testing::Values(ReadCase{"grey8", layoutOf(false, 8, 1, 1), kAll},
                      ReadCase{"grey8WhiteIsZeroCentimetre", layoutOf(true, 8, 1, 0, 3), kAll},
                      ReadCase{"bilevelWhiteIsZero", layoutOf(false, 1, 1, 0), kNoPredictor},
                      ReadCase{"bilevelBlackIsZeroBigEndian", layoutOf(true, 1, 1, 1, 3),
                               kNoPredictor},
                      ReadCase{"grey16", layoutOf(false, 16, 1, 1), kAll},
                      ReadCase{"rgb16BigEndian", layoutOf(true, 16, 3, 2), kAll},
                      ReadCase{"rgb8", layoutOf(false, 8, 3, 2), kAll},
                      ReadCase{"cmyk8BigEndian", layoutOf(true, 8, 4, 5), kAll},
                      ReadCase{"grey4", layoutOf(false, 4, 1, 1), kNoPredictor},
                      ReadCase{"grey2WhiteIsZero", layoutOf(true, 2, 1, 0), kNoPredictor}),
    [](const auto& info) { return std::string(info.param.name); });

// JPEG is lossy: libtiff's own decoding (tiffcp -c none) is the reference, pixel for pixel.
struct JpegCase {
  const char* name;
  TiffLayout layout;
  const char* options;
};

class TIFFReaderJpegTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(TIFFReaderJpegTest, MatchesLibtiffDecoding) {
  const JpegCase& c = GetParam();
  const auto dir = testing::scratchDirectory(std::string("jpeg_") + c.name);
  const auto source = dir / "source.tif";
  const auto jpeg = dir / "jpeg.tif";
  const auto decoded = dir / "decoded.tif";
  TiffLayout s = c.layout;
  s.width = 64;
  s.height = 48;
  testing::writeFile(source, testing::writePlainTiff(s, testing::makePixels(s, 5)));
  std::string output;
  ASSERT_EQ(testing::runCommand(
                "tiffcp " + std::string(c.options) + " " + source.string() + " " + jpeg.string(),
                &output),
            0)
      << output;
  ASSERT_EQ(
      testing::runCommand("tiffcp -c none " + jpeg.string() + " " + decoded.string(), &output), 0)
      << output;
  const Image ours = readTiff(jpeg);
  const Image reference = readTiff(decoded);
  EXPECT_EQ(ours.channels(), reference.channels());
  EXPECT_EQ(ours.width(), reference.width());
  EXPECT_EQ(ours.height(), reference.height());
  EXPECT_TRUE(ours.data() == reference.data()) << "pixels differ from libtiff's";
}

INSTANTIATE_TEST_SUITE_P(
    Files, TIFFReaderJpegTest,
    ::testing::Values(JpegCase{"grey", layoutOf(false, 8, 1, 1), "-c jpeg -r 16"},
                      JpegCase{"greyBigEndian", layoutOf(true, 8, 1, 1), "-c jpeg:75 -r 8 -B"},
                      JpegCase{"rgbAsYCbCr", layoutOf(false, 8, 3, 2), "-c jpeg -r 16"},
                      JpegCase{"rgbRaw", layoutOf(false, 8, 3, 2), "-c jpeg:r -r 16"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TIFFReaderTest, ReadsFromStreamThatCannotSeek) {
  TiffLayout s = layoutOf(false, 8, 1, 1);
  const Bytes pixels = testing::makePixels(s, 3);
  const Bytes file = testing::writePlainTiff(s, pixels);
  // A stream buffer without seeking, like a pipe.
  struct PipeBuffer : std::streambuf {
    explicit PipeBuffer(const Bytes& b) {
      char* begin = const_cast<char*>(reinterpret_cast<const char*>(b.data()));
      setg(begin, begin, begin + b.size());
    }
  } buffer(file);
  std::istream in(&buffer);
  const Image image = ImageIO::ReadFromTIFFFormat(in, nullptr);
  EXPECT_TRUE(image.data() == pixels);
}

TEST(TIFFReaderTest, DeliversRowsOfOneStrip) {
  TiffLayout s = layoutOf(true, 16, 1, 1);
  const Bytes pixels = testing::makePixels(s, 9);
  const Bytes file = testing::writePlainTiff(s, pixels);
  std::istringstream in(std::string(file.begin(), file.end()));
  const TIFFFileInfo info(in);
  EXPECT_EQ(info.stripCount(), 5u);
  EXPECT_EQ(info.rowsInStrip(4), 3u);
  std::vector<std::size_t> lengths;
  Bytes rows;
  ImageIO::ReadStripDataFromTIFFFormat(in, info, 4, true,
                                       [&](const std::uint8_t* row, std::size_t n) {
                                         lengths.push_back(n);
                                         rows.insert(rows.end(), row, row + n);
                                       });
  EXPECT_EQ(lengths, (std::vector<std::size_t>(3, testing::layoutRowBytes(s))));
  EXPECT_TRUE(rows == Bytes(pixels.end() - static_cast<long>(rows.size()), pixels.end()));
  EXPECT_THROW(ImageIO::ReadStripDataFromTIFFFormat(in, info, 5, true, [](auto, auto) {}),
               ImageException);
}

TEST(TIFFReaderTest, LoadsIntoBitmapAsInk) {
  TiffLayout s = layoutOf(false, 1, 1, 0);  // WhiteIsZero: a set bit in the file is black
  const Bytes pixels = testing::makePixels(s, 2);
  const Bytes file = testing::writePlainTiff(s, pixels);
  std::istringstream in(std::string(file.begin(), file.end()));
  Bitmap bitmap;
  bitmap.load(in);
  ASSERT_EQ(bitmap.width(), s.width);
  for (std::uint32_t y = 0; y < s.height; ++y) {
    for (std::uint32_t x = 0; x < s.width; ++x) {
      const std::size_t at = y * testing::layoutRowBytes(s) + x / 8;
      const bool white = (pixels[at] >> (7 - x % 8)) & 1;
      ASSERT_EQ(bitmap.getPixel(x, y), !white) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace Tesselin
