// TIFF reading and writing against libtiff: files converted by tiffcp read to the pixels of the
// plain source (tiffcmp confirms libtiff sees the same); files we write pass tiffinfo and tiffcmp
// and decode in libtiff to the image's pixels. Malformed files end in their specific error.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <sstream>

#include "imaging/bitmap.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/pixel_reference.h"
#include "imaging/tiff/tiff_fixture.h"
#include "imaging/vector_stream_buffer.h"

namespace Tesselin {
namespace {

using testing::Bytes;
using testing::runCommand;
using testing::TiffLayout;

Image readTiff(const std::filesystem::path& path, TIFFFileInfo* info = nullptr) {
  std::ifstream in(path, std::ios::binary);
  return ImageIO::ReadFromTIFFFormat(in, info);
}

Image readBytes(const Bytes& bytes) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}

std::string tiffcp(const std::string& options, const std::filesystem::path& from,
                   const std::filesystem::path& to) {
  std::string output;
  return runCommand("tiffcp " + options + " " + from.string() + " " + to.string(), &output) == 0
             ? ""
             : "tiffcp failed: " + output;
}

TiffLayout layoutOf(bool bigEndian, std::uint16_t bits, std::uint16_t samples,
                    std::uint16_t photometric, std::uint16_t unit = 2) {
  TiffLayout s;
  s.bigEndian = bigEndian;
  s.bits = bits;
  s.samples = samples;
  s.photometric = photometric;
  s.unit = unit;
  if (unit == 3) s.xResolution = 100, s.yResolution = 50;
  return s;
}

struct ReadCase {
  const char* name;
  TiffLayout layout;
  bool predictor;  // also convert with horizontal differencing
};

class TIFFReaderLibtiffTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TIFFReaderLibtiffTest, ReadsWhatTiffcpWrites) {
  const ReadCase& c = GetParam();
  const auto dir = testing::scratchDirectory(std::string("read_") + c.name);
  const Bytes pixels = testing::makePixels(c.layout, 17);
  const auto source = dir / "source.tif";
  testing::writeFile(source, testing::writePlainTiff(c.layout, pixels));
  const double perInch = c.layout.unit == 3 ? 2.54 : 1;
  std::vector<std::string> conversions = {"-c none",          "-c lzw",         "-c zip",
                                          "-c lzw -B -r 3",   "-c zip -L -r 1", "-c lzw -r 1000",
                                          "-c zip -B -r 1000"};
  if (c.predictor)
    conversions.insert(conversions.end(), {"-c lzw:2 -B", "-c zip:2 -L -r 3", "-c lzw:2 -L -r 1",
                                           "-c zip:2 -B -r 1000"});
  int index = 0;
  for (const std::string& options : conversions) {
    SCOPED_TRACE(options);
    const auto converted = dir / ("converted" + std::to_string(index++) + ".tif");
    ASSERT_EQ(tiffcp(options, source, converted), "");
    std::string output;
    ASSERT_EQ(runCommand("tiffcmp " + source.string() + " " + converted.string(), &output), 0)
        << output;
    TIFFFileInfo info;
    const Image image = readTiff(converted, &info);
    EXPECT_EQ(image.bitsPerSample(), c.layout.bits);
    EXPECT_EQ(image.channels(), c.layout.samples);
    EXPECT_EQ(image.width(), c.layout.width);
    EXPECT_EQ(image.height(), c.layout.height);
    EXPECT_EQ(image.xResolution(), static_cast<std::uint32_t>(c.layout.xResolution * perInch));
    EXPECT_EQ(image.yResolution(), static_cast<std::uint32_t>(c.layout.yResolution * perInch));
    EXPECT_TRUE(image.data() == pixels) << "pixels differ";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TIFFReaderLibtiffTest,
    ::testing::Values(ReadCase{"grey8", layoutOf(false, 8, 1, 1), true},
                      ReadCase{"grey8WhiteIsZeroCentimetre", layoutOf(true, 8, 1, 0, 3), true},
                      ReadCase{"bilevelWhiteIsZero", layoutOf(false, 1, 1, 0), false},
                      ReadCase{"bilevelBlackIsZeroBigEndian", layoutOf(true, 1, 1, 1, 3), false},
                      ReadCase{"grey16", layoutOf(false, 16, 1, 1), true},
                      ReadCase{"rgb16BigEndian", layoutOf(true, 16, 3, 2), true},
                      ReadCase{"rgb8", layoutOf(false, 8, 3, 2), true},
                      ReadCase{"cmyk8BigEndian", layoutOf(true, 8, 4, 5), true},
                      ReadCase{"grey4", layoutOf(false, 4, 1, 1), false},
                      ReadCase{"grey2WhiteIsZero", layoutOf(true, 2, 1, 0), false}),
    [](const auto& info) { return std::string(info.param.name); });

// JPEG is lossy: libtiff's own decoding (tiffcp -c none) is the reference, pixel for pixel.
TEST(TIFFReaderTest, JpegMatchesLibtiffDecoding) {
  const std::tuple<const char*, TiffLayout, const char*> cases[] = {
      {"grey", layoutOf(false, 8, 1, 1), "-c jpeg -r 16"},
      {"greyBigEndian", layoutOf(true, 8, 1, 1), "-c jpeg:75 -r 8 -B"},
      {"rgbAsYCbCr", layoutOf(false, 8, 3, 2), "-c jpeg -r 16"},
      {"rgbRaw", layoutOf(false, 8, 3, 2), "-c jpeg:r -r 16"}};
  for (auto [name, s, options] : cases) {
    SCOPED_TRACE(name);
    const auto dir = testing::scratchDirectory(std::string("jpeg_") + name);
    s.width = 64;
    s.height = 48;
    testing::writeFile(dir / "source.tif", testing::writePlainTiff(s, testing::makePixels(s, 5)));
    ASSERT_EQ(tiffcp(options, dir / "source.tif", dir / "jpeg.tif"), "");
    ASSERT_EQ(tiffcp("-c none", dir / "jpeg.tif", dir / "decoded.tif"), "");
    const Image ours = readTiff(dir / "jpeg.tif"), reference = readTiff(dir / "decoded.tif");
    EXPECT_EQ(ours.channels(), reference.channels());
    EXPECT_EQ(ours.width(), reference.width());
    EXPECT_EQ(ours.height(), reference.height());
    EXPECT_TRUE(ours.data() == reference.data()) << "pixels differ from libtiff's";
  }
}

TEST(TIFFReaderTest, PipesStripsAndBitmaps) {
  TiffLayout s = layoutOf(false, 8, 1, 1);
  const Bytes pixels = testing::makePixels(s, 3);
  const Bytes file = testing::writePlainTiff(s, pixels);
  struct PipeBuffer : std::streambuf {  // no seeking, like a pipe
    explicit PipeBuffer(const Bytes& b) {
      char* begin = const_cast<char*>(reinterpret_cast<const char*>(b.data()));
      setg(begin, begin, begin + b.size());
    }
  } buffer(file);
  std::istream pipe(&buffer);
  EXPECT_TRUE(ImageIO::ReadFromTIFFFormat(pipe, nullptr).data() == pixels);

  s = layoutOf(true, 16, 1, 1);
  const Bytes wide = testing::makePixels(s, 9);
  const Bytes wideFile = testing::writePlainTiff(s, wide);
  std::istringstream in(std::string(wideFile.begin(), wideFile.end()));
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
  EXPECT_TRUE(rows == Bytes(wide.end() - static_cast<long>(rows.size()), wide.end()));
  EXPECT_THROW(ImageIO::ReadStripDataFromTIFFFormat(in, info, 5, true, [](auto, auto) {}),
               ImageException);

  s = layoutOf(false, 1, 1, 0);  // WhiteIsZero: a set bit in the file is black
  const Bytes bits = testing::makePixels(s, 2);
  const Bytes bitsFile = testing::writePlainTiff(s, bits);
  std::istringstream bitsIn(std::string(bitsFile.begin(), bitsFile.end()));
  Bitmap bitmap;
  bitmap.load(bitsIn);
  ASSERT_EQ(bitmap.width(), s.width);
  for (std::uint32_t y = 0; y < s.height; ++y) {
    for (std::uint32_t x = 0; x < s.width; ++x) {
      const bool white = (bits[y * testing::layoutRowBytes(s) + x / 8] >> (7 - x % 8)) & 1;
      ASSERT_EQ(bitmap.getPixel(x, y), !white) << x << "," << y;
    }
  }
}

class TIFFWriterTest : public ::testing::TestWithParam<std::tuple<TiffLayout, std::uint16_t>> {};

TEST_P(TIFFWriterTest, LibtiffReadsWhatWeWrite) {
  const auto& [s, compression] = GetParam();
  const auto dir =
      testing::scratchDirectory("write_" + std::to_string(s.bits) + "_" +
                                std::to_string(s.samples) + "_" + std::to_string(compression));
  const Bytes pixels = testing::makePixels(s, 11);
  const auto source = dir / "source.tif", written = dir / "written.tif";
  testing::writeFile(source, testing::writePlainTiff(s, pixels));
  {
    std::ofstream out(written, std::ios::binary);
    ImageIO::WriteToTIFFFormat(readTiff(source), out, compression);
  }
  std::string output;
  EXPECT_EQ(runCommand("tiffinfo -D " + written.string(), &output), 0) << output;
  EXPECT_EQ(output.find("arning"), std::string::npos) << output;
  EXPECT_EQ(output.find("rror"), std::string::npos) << output;
  EXPECT_EQ(runCommand("tiffcmp " + source.string() + " " + written.string(), &output), 0)
      << output;
  ASSERT_EQ(tiffcp("-c none", written, dir / "decoded.tif"), "");
  const Image back = readTiff(dir / "decoded.tif");
  EXPECT_TRUE(back.data() == pixels);
  EXPECT_EQ(back.xResolution(), s.xResolution);
  EXPECT_EQ(back.yResolution(), s.yResolution);
}

TiffLayout sized(TiffLayout s, std::uint32_t width, std::uint32_t height) {
  s.width = width;
  s.height = height;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Images, TIFFWriterTest,
    ::testing::Combine(::testing::Values(sized(layoutOf(false, 8, 1, 1), 301, 257),
                                         sized(layoutOf(false, 1, 1, 1), 37, 700),
                                         sized(layoutOf(false, 16, 1, 1), 45, 31),
                                         sized(layoutOf(false, 8, 3, 2), 150, 600),
                                         sized(layoutOf(false, 16, 3, 2), 20, 9),
                                         sized(layoutOf(false, 8, 4, 5), 33, 17),
                                         sized(layoutOf(false, 4, 1, 1), 13, 5)),
                       ::testing::Values(ImageIO::kCompressionLZW, ImageIO::kCompressionDeflate)),
    [](const auto& info) {
      const TiffLayout& s = std::get<0>(info.param);
      return "bits" + std::to_string(s.bits) + "samples" + std::to_string(s.samples) +
             (std::get<1>(info.param) == ImageIO::kCompressionLZW ? "Lzw" : "Deflate");
    });

TEST(TIFFWriterFileTest, BitmapsLayoutAndErrors) {
  // A bitmap is written as WhiteIsZero: libtiff sees a set bit as black.
  const auto dir = testing::scratchDirectory("write_bitmap");
  Bitmap bitmap(19, 7);
  bitmap.setPixel(3, 2, true);
  bitmap.setPixel(18, 6, true);
  std::ostringstream saved;
  bitmap.save(0, saved);
  const std::string bytes = saved.str();
  testing::writeFile(dir / "bitmap.tif", Bytes(bytes.begin(), bytes.end()));
  std::string info;
  ASSERT_EQ(runCommand("tiffinfo " + (dir / "bitmap.tif").string(), &info), 0) << info;
  EXPECT_NE(info.find("min-is-white"), std::string::npos) << info;
  std::istringstream in(bytes);
  Bitmap back;
  back.load(in);
  EXPECT_TRUE(back.data() == bitmap.data());

  // Several strips, out-of-line bits per sample: every placeholder patched, host byte order.
  std::ostringstream out;
  ImageIO::WriteToTIFFFormat(Image(8, 3, 500, 400), out, ImageIO::kCompressionDeflate);
  EXPECT_EQ(out.str().substr(0, 2), std::endian::native == std::endian::big ? "MM" : "II");
  const std::uint32_t placeholder = 0xDEADBEEF;
  EXPECT_EQ(out.str().find(std::string(reinterpret_cast<const char*>(&placeholder), 4)),
            std::string::npos);

  std::ostringstream none;
  for (std::uint16_t compression : {1, 7, 32773}) {
    EXPECT_EQ(testing::errorOf<ImageException>(
                  [&] { ImageIO::WriteToTIFFFormat(Image(8, 1, 4, 4), none, compression); }),
              "Unsupported TIFF compression method for writing");
  }
  EXPECT_EQ(testing::errorOf<ImageException>([&] { Image(8, 1, 4, 4).save(1, none); }),
            "Unsupported format");
  EXPECT_TRUE(none.str().empty());
}

// Strips written by an older writer of ours held raw Deflate data without the zlib wrapper.
TEST(TIFFWriterFileTest, ReaderAcceptsRawDeflateStrips) {
  TiffLayout s;
  const Bytes pixels = testing::makePixels(s, 4);
  std::ostringstream out;
  ImageIO::WriteToTIFFFormat(Image(8, 1, s.width, s.height, pixels), out,
                             ImageIO::kCompressionDeflate);
  const std::string bytes = out.str();
  std::istringstream probe(bytes);
  const TIFFFileInfo info(probe);
  ASSERT_EQ(info.stripCount(), 1u);
  // Drop the strip's two header bytes and checksum, and fix its count.
  const std::uint32_t offset = info.stripOffsets()[0], count = info.stripByteCounts()[0],
                      newCount = count - 6;
  std::string raw = bytes.substr(0, offset) + bytes.substr(offset + 2, count - 6);
  const std::size_t countField = raw.find(std::string(reinterpret_cast<const char*>(&count), 4));
  ASSERT_NE(countField, std::string::npos);
  std::memcpy(raw.data() + countField, &newCount, 4);
  EXPECT_TRUE(readBytes(Bytes(raw.begin(), raw.end())).data() == pixels);
}

TEST(TIFFRobustnessTest, CorpusRegressionsEndAsExpected) {
  const std::pair<const char*, const char*> cases[] = {
      // nullptr: reads as an 8 x 4 grey image
      {"seed_plain_grey", nullptr},
      {"seed_lzw_grey", nullptr},
      {"ifd_loop", nullptr},
      {"strip_past_eof", "Unable to read required number of bytes"},
      {"strip_count_huge", "Unable to read required number of bytes"},
      {"rows_per_strip_0", "Data in this TIFF file is not stored correctly"},
      {"predictor_stride_mismatch", "Data in this TIFF file is not stored correctly"},
      {"huge_single_strip", "Image too large"},
      {"jpeg_many_scans", "JPEG data has too many scans"},
      {"not_tiff", "Not a valid TIFF file"},
      {"bigtiff", "Unknown TIFF version"},
      {"ifd_past_eof", "Read error reading from TIFF"},
      {"unknown_compression", "Unknown TIFF compression method used"},
      {"bits_3", "Unsupported bit-depth for this TIFF file"},
      {"no_resolution_unit", "This TIFF file does not contain the resolution unit of measurement"}};
  for (const auto& [name, message] : cases) {
    const Bytes file =
        testing::readFile(std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/tiff_read/" + name);
    ASSERT_FALSE(file.empty()) << name;
    if (message != nullptr) {
      EXPECT_EQ(testing::errorOf<ImageException>([&] { readBytes(file); }), message) << name;
      continue;
    }
    const Image image = readBytes(file);
    ASSERT_EQ(image.dataSize(), 32u) << name;
    EXPECT_EQ(image.width(), 8u) << name;
    for (std::uint32_t i = 0; i < 32; ++i)
      EXPECT_EQ(image.data()[i], static_cast<std::uint8_t>(i % 8 * 7 + i / 8 * 3)) << name;
  }
}

TEST(TIFFRobustnessTest, PrefixesCorruptionsAndMissingTags) {
  TiffLayout s;
  const Bytes good = testing::writePlainTiff(s, testing::makePixels(s, 1));
  for (std::size_t size = 0; size < good.size(); ++size) {
    EXPECT_THROW(readBytes(Bytes(good.begin(), good.begin() + static_cast<long>(size))),
                 ImageException)
        << size;
  }
  // Single-byte changes anywhere in compressed files: the reader reads or throws ImageException.
  s.width = 40;
  s.height = 30;
  const Image image(8, 1, s.width, s.height, testing::makePixels(s, 6));
  for (std::uint16_t compression : {ImageIO::kCompressionLZW, ImageIO::kCompressionDeflate}) {
    std::ostringstream out;
    ImageIO::WriteToTIFFFormat(image, out, compression);
    std::mt19937 random(compression);
    int failures = 0;
    for (int trial = 0; trial < 400; ++trial) {
      std::string bad = out.str();
      bad[random() % bad.size()] ^= static_cast<char>(1 + random() % 255);
      try {
        readBytes(Bytes(bad.begin(), bad.end()));
      } catch (const ImageException&) {
        ++failures;
      }
    }
    EXPECT_GT(failures, 0);
  }
  // Entries are removed from the valid plain file by renaming their tag to an unknown one.
  const std::pair<std::uint16_t, const char*> tags[] = {
      {256, "TIFF dimensions are invalid"},
      {259, "Cannot determine compression of this TIFF"},
      {277, "File does not specify number of samples per pixel"},
      {262, "TIFF file does not contain a photometric interpretation"},
      {258, "Cannot find information about bits per sample"},
      {273, "Unable to get strip offsets"},
      {279, "Unable to get strip byte counts"},
      {282, "This TIFF file does not contain the required x-resolution information"},
      {283, "This TIFF file does not contain the required y-resolution information"}};
  for (const auto& [tag, message] : tags) {
    Bytes bad = good;
    for (std::size_t at = 10; at < 10 + 12 * 12; at += 12) {
      if ((bad[at] | bad[at + 1] << 8) == tag) bad[at + 1] = 0x7F;
    }
    EXPECT_EQ(testing::errorOf<ImageException>([&] { readBytes(bad); }), message);
  }
}

}  // namespace
}  // namespace Tesselin

namespace Quillfeather {
namespace {

TEST(VectorStreamBufferTest, ReadsSeeksAndAppends) {
  const std::vector<unsigned char> bytes = {'a', 'b', 'c', 'd', 'e'};
  InputVectorStreamBuffer buffer(bytes);
  std::istream in(&buffer);
  std::string got;
  for (auto [offset, way] : {std::pair{0, std::ios::cur},
                             {3, std::ios::beg},
                             {-2, std::ios::end},
                             {-3, std::ios::cur}}) {
    in.seekg(offset, way);
    got += static_cast<char>(in.get());
  }
  EXPECT_EQ(got, "addb");
  in.seekg(0, std::ios::end);
  EXPECT_EQ(in.tellg(), 5);
  in.seekg(6);
  EXPECT_TRUE(in.fail());  // outside the vector
  EXPECT_EQ(buffer.pubseekoff(1, std::ios::beg, std::ios::in | std::ios::out),
            0);  // output seeks move nothing

  std::vector<unsigned char> sink = {'>'};
  OutputVectorStreamBuffer outBuffer(sink);
  std::ostream out(&outBuffer);
  out.put('a');
  EXPECT_EQ(sink.size(), 2u);
  out.write("bcd", 3);
  EXPECT_EQ(sink, (std::vector<unsigned char>{'>', 'a', 'b', 'c', 'd'}));
  EXPECT_EQ(out.tellp(), 5);
}

}  // namespace
}  // namespace Quillfeather
