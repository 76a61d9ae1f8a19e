// Files our writer produces pass libtiff's tiffinfo and compare equal to their source with
// tiffcmp; libtiff's decoding of them (tiffcp -c none) gives back the image's pixels.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
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

Image readTiff(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}

void writeTiff(const Image& image, const std::filesystem::path& path, std::uint16_t compression) {
  std::ofstream out(path, std::ios::binary);
  ImageIO::WriteToTIFFFormat(image, out, compression);
}

struct WriteCase {
  const char* name;
  std::uint16_t bits;
  std::uint16_t samples;
  std::uint16_t photometric;
  std::uint32_t width;
  std::uint32_t height;
};

class TIFFWriterTest : public ::testing::TestWithParam<std::tuple<WriteCase, std::uint16_t>> {};

TEST_P(TIFFWriterTest, LibtiffReadsWhatWeWrite) {
  const auto& [c, compression] = GetParam();
  TiffLayout s;
  s.bits = c.bits;
  s.samples = c.samples;
  s.photometric = c.photometric;
  s.width = c.width;
  s.height = c.height;
  const auto dir =
      testing::scratchDirectory(std::string("write_") + c.name + std::to_string(compression));
  const Bytes pixels = testing::makePixels(s, 11);
  const auto source = dir / "source.tif";
  const auto written = dir / "written.tif";
  const auto decoded = dir / "decoded.tif";
  testing::writeFile(source, testing::writePlainTiff(s, pixels));
  writeTiff(readTiff(source), written, compression);

  std::string output;
  EXPECT_EQ(testing::runCommand("tiffinfo -D " + written.string(), &output), 0) << output;
  EXPECT_EQ(output.find("arning"), std::string::npos) << output;
  EXPECT_EQ(output.find("rror"), std::string::npos) << output;
  EXPECT_EQ(testing::runCommand("tiffcmp " + source.string() + " " + written.string(), &output), 0)
      << output;
  ASSERT_EQ(
      testing::runCommand("tiffcp -c none " + written.string() + " " + decoded.string(), &output),
      0)
      << output;
  const Image back = readTiff(decoded);
  EXPECT_TRUE(back.data() == pixels);
  EXPECT_EQ(back.xResolution(), s.xResolution);
  EXPECT_EQ(back.yResolution(), s.yResolution);
}

INSTANTIATE_TEST_SUITE_P(
    Images, TIFFWriterTest,
    ::testing::Combine(::testing::Values(WriteCase{"grey8", 8, 1, 1, 301, 257},
                                         WriteCase{"bilevel", 1, 1, 1, 37, 700},
                                         WriteCase{"grey16", 16, 1, 1, 45, 31},
                                         WriteCase{"rgb8", 8, 3, 2, 150, 600},
                                         WriteCase{"rgb16", 16, 3, 2, 20, 9},
                                         WriteCase{"cmyk8", 8, 4, 5, 33, 17},
                                         WriteCase{"grey4", 4, 1, 1, 13, 5}),
                       ::testing::Values(ImageIO::kCompressionLZW, ImageIO::kCompressionDeflate)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == ImageIO::kCompressionLZW ? "Lzw" : "Deflate");
    });

// A bitmap is written as WhiteIsZero: libtiff sees a set bit as black.
TEST(TIFFWriterBitmapTest, WritesBitmapsAsWhiteIsZero) {
  const auto dir = testing::scratchDirectory("write_bitmap");
  Bitmap bitmap(19, 7);
  bitmap.setPixel(3, 2, true);
  bitmap.setPixel(18, 6, true);
  std::ostringstream out;
  bitmap.save(0, out);
  const std::string bytes = out.str();
  testing::writeFile(dir / "bitmap.tif", Bytes(bytes.begin(), bytes.end()));
  std::string info;
  ASSERT_EQ(testing::runCommand("tiffinfo " + (dir / "bitmap.tif").string(), &info), 0) << info;
  EXPECT_NE(info.find("min-is-white"), std::string::npos) << info;

  std::istringstream in(bytes);
  Bitmap back;
  back.load(in);
  EXPECT_TRUE(back.data() == bitmap.data());
}

TEST(TIFFWriterLayoutTest, PatchesEveryPlaceholderAndUsesHostOrder) {
  Image image(8, 3, 500, 400);  // several strips, out-of-line bits per sample
  std::ostringstream out;
  ImageIO::WriteToTIFFFormat(image, out, ImageIO::kCompressionDeflate);
  const std::string bytes = out.str();
  const char* mark = std::endian::native == std::endian::big ? "MM" : "II";
  EXPECT_EQ(bytes.substr(0, 2), mark);
  std::uint32_t placeholder = 0xDEADBEEF;
  EXPECT_EQ(bytes.find(std::string(reinterpret_cast<const char*>(&placeholder), 4)),
            std::string::npos);
}

TEST(TIFFWriterLayoutTest, RejectsOtherCompressionsAndFormats) {
  Image image(8, 1, 4, 4);
  std::ostringstream out;
  for (std::uint16_t compression : {1, 7, 32773}) {
    try {
      ImageIO::WriteToTIFFFormat(image, out, compression);
      ADD_FAILURE() << compression;
    } catch (const ImageException& e) {
      EXPECT_STREQ(e.what(), "Unsupported TIFF compression method for writing");
    }
  }
  try {
    image.save(1, out);
    FAIL();
  } catch (const ImageException& e) {
    EXPECT_STREQ(e.what(), "Unsupported format");
  }
  EXPECT_TRUE(out.str().empty());
}

// Strips written by an older writer of ours held raw Deflate data without the zlib wrapper.
TEST(TIFFWriterLayoutTest, ReaderAcceptsRawDeflateStrips) {
  TiffLayout s;
  const Bytes pixels = testing::makePixels(s, 4);
  Image image(8, 1, s.width, s.height, pixels);
  std::ostringstream out;
  ImageIO::WriteToTIFFFormat(image, out, ImageIO::kCompressionDeflate);
  std::string bytes = out.str();
  // One strip: drop its two header bytes and the checksum, and fix offset and count.
  std::istringstream probe(bytes);
  const TIFFFileInfo info(probe);
  ASSERT_EQ(info.stripCount(), 1u);
  const std::uint32_t offset = info.stripOffsets()[0];
  const std::uint32_t count = info.stripByteCounts()[0];
  std::string raw = bytes.substr(0, offset) + bytes.substr(offset + 2, count - 6);
  const std::uint32_t newCount = count - 6;
  const std::size_t countField = raw.find(std::string(reinterpret_cast<const char*>(&count), 4));
  ASSERT_NE(countField, std::string::npos);
  std::memcpy(raw.data() + countField, &newCount, 4);
  std::istringstream in(raw);
  EXPECT_TRUE(ImageIO::ReadFromTIFFFormat(in, nullptr).data() == pixels);
}

}  // namespace
}  // namespace Tesselin
