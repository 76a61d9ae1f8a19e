// Malformed files end in their specific error, never a crash or a huge allocation.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/tiff/tiff_fixture.h"

namespace Tesselin {
namespace {

using testing::Bytes;

std::string corpus(const std::string& name) {
  return std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/tiff_read/" + name;
}

Image readBytes(const Bytes& bytes) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}

struct Regression {
  const char* file;
  const char* message;  // nullptr: reads as an 8 x 4 grey image
};

class TIFFRegressionTest : public ::testing::TestWithParam<Regression> {};

TEST_P(TIFFRegressionTest, EndsAsExpected) {
  const Regression& r = GetParam();
  const Bytes file = testing::readFile(corpus(r.file));
  ASSERT_FALSE(file.empty());
  if (r.message == nullptr) {
    const Image image = readBytes(file);
    EXPECT_EQ(image.width(), 8u);
    EXPECT_EQ(image.height(), 4u);
    for (std::uint32_t y = 0; y < 4; ++y) {
      for (std::uint32_t x = 0; x < 8; ++x) {
        EXPECT_EQ(image.data()[y * 8 + x], static_cast<std::uint8_t>(x * 7 + y * 3));
      }
    }
    return;
  }
  try {
    readBytes(file);
    FAIL() << "no exception";
  } catch (const ImageException& e) {
    EXPECT_STREQ(e.what(), r.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, TIFFRegressionTest,
    ::testing::Values(
        Regression{"seed_plain_grey", nullptr}, Regression{"seed_lzw_grey", nullptr},
        Regression{"ifd_loop", nullptr},
        Regression{"strip_past_eof", "Unable to read required number of bytes"},
        Regression{"strip_count_huge", "Unable to read required number of bytes"},
        Regression{"rows_per_strip_0", "Data in this TIFF file is not stored correctly"},
        Regression{"predictor_stride_mismatch", "Data in this TIFF file is not stored correctly"},
        Regression{"huge_single_strip", "Image too large"},
        Regression{"jpeg_many_scans", "JPEG data has too many scans"},
        Regression{"not_tiff", "Not a valid TIFF file"},
        Regression{"bigtiff", "Unknown TIFF version"},
        Regression{"ifd_past_eof", "Read error reading from TIFF"},
        Regression{"unknown_compression", "Unknown TIFF compression method used"},
        Regression{"bits_3", "Unsupported bit-depth for this TIFF file"},
        Regression{"no_resolution_unit",
                   "This TIFF file does not contain the resolution unit of measurement"}),
    [](const auto& info) { return std::string(info.param.file); });

TEST(TIFFRobustnessTest, EveryProperPrefixFails) {
  testing::TiffLayout s;
  const Bytes file = testing::writePlainTiff(s, testing::makePixels(s, 1));
  for (std::size_t size = 0; size < file.size(); ++size) {
    EXPECT_THROW(readBytes(Bytes(file.begin(), file.begin() + static_cast<long>(size))),
                 ImageException)
        << size;
  }
}

// Single-byte changes anywhere in compressed files: the reader reads or throws ImageException.
TEST(TIFFRobustnessTest, CorruptedCompressedFilesReadOrThrow) {
  testing::TiffLayout s;
  s.width = 40;
  s.height = 30;
  Image image(8, 1, s.width, s.height, testing::makePixels(s, 6));
  for (std::uint16_t compression : {ImageIO::kCompressionLZW, ImageIO::kCompressionDeflate}) {
    std::ostringstream out;
    ImageIO::WriteToTIFFFormat(image, out, compression);
    const std::string good = out.str();
    std::mt19937 random(compression);
    int failures = 0;
    for (int trial = 0; trial < 400; ++trial) {
      std::string bad = good;
      bad[random() % bad.size()] ^= static_cast<char>(1 + random() % 255);
      try {
        readBytes(Bytes(bad.begin(), bad.end()));
      } catch (const ImageException&) {
        ++failures;
      }
    }
    EXPECT_GT(failures, 0);
  }
}

TEST(TIFFRobustnessTest, ReportsMissingRequiredTags) {
  // Entries are removed from a valid plain file by renaming their tag to an unknown one.
  testing::TiffLayout s;
  const Bytes good = testing::writePlainTiff(s, testing::makePixels(s, 1));
  const struct {
    std::uint16_t tag;
    const char* message;
  } cases[] = {
      {256, "TIFF dimensions are invalid"},
      {259, "Cannot determine compression of this TIFF"},
      {277, "File does not specify number of samples per pixel"},
      {262, "TIFF file does not contain a photometric interpretation"},
      {258, "Cannot find information about bits per sample"},
      {273, "Unable to get strip offsets"},
      {279, "Unable to get strip byte counts"},
      {282, "This TIFF file does not contain the required x-resolution information"},
      {283, "This TIFF file does not contain the required y-resolution information"},
  };
  for (const auto& c : cases) {
    Bytes bad = good;
    for (std::size_t at = 10; at + 12 <= 10 + 12 * 12; at += 12) {
      if ((bad[at] | bad[at + 1] << 8) == c.tag) bad[at + 1] = 0x7F;  // tag 0x7Fxx: unknown
    }
    try {
      readBytes(bad);
      ADD_FAILURE() << c.message;
    } catch (const ImageException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace Tesselin
