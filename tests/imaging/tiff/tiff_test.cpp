// TIFF reading and writing against libtiff: files converted by tiffcp read to the pixels of the
// plain source (tiffcmp confirms libtiff sees the same); files we and orntool write pass tiffinfo
// and tiffcmp and decode in libtiff to the image's pixels. Malformed files end in their error.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "imaging/bitmap.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/pixel_reference.h"
#include "support/process.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;
auto err = [](auto&& f) { return testing::errorOf<ImageException>(f); };

// An uncompressed TIFF as the test's own plain writer lays it out.
struct Layout {
  bool bigEndian = false;
  uint16_t bits = 8, samples = 1, photometric = 1, unit = 2;
  uint32_t width = 37, height = 23, rowsPerStrip = 5, xResolution = 300, yResolution = 200;
  uint32_t rowBytes() const { return (uint64_t{width} * samples * bits + 7) / 8; }
};

// Pixels in the image layout (16-bit samples most significant byte first), smooth areas and
// noise, bits past the last pixel of a row clear.
Bytes makePixels(const Layout& s, unsigned seed) {
  std::mt19937 random(seed);
  const uint32_t rowBytes = s.rowBytes(), used = (s.width * s.samples * s.bits) % 8;
  Bytes pixels(size_t{rowBytes} * s.height);
  for (uint32_t y = 0; y < s.height; ++y) {
    for (uint32_t x = 0; x < rowBytes; ++x)
      pixels[y * rowBytes + x] = (x / 4 + y * 3) % 7 == 0 ? random() : (x * 5 + y * 2) & 0xFF;
    if (used != 0) pixels[y * rowBytes + rowBytes - 1] &= 0xFF << (8 - used);
  }
  return pixels;
}

// Header, one directory of 12 entries, values, strips. WhiteIsZero files store the complement of
// `pixels`, little-endian files swap 16-bit samples.
std::string writePlainTiff(const Layout& s, const Bytes& pixels) {
  std::string file(2, s.bigEndian ? 'M' : 'I');
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(v >> 8 * (s.bigEndian ? bytes - 1 - i : i));
  };
  const uint32_t rowBytes = s.rowBytes(), strips = (s.height + s.rowsPerStrip - 1) / s.rowsPerStrip;
  const uint32_t bitsAt = 8 + 2 + 12 * 12 + 4, xAt = bitsAt + 2 * s.samples + s.samples % 2 * 2;
  const uint32_t offsetsAt = xAt + 16, countsAt = offsetsAt + 4 * strips;
  const uint32_t dataAt = countsAt + 4 * strips, bits = s.samples <= 2 ? s.bits : bitsAt;
  const uint32_t offsets = strips == 1 ? dataAt : offsetsAt;
  const uint32_t counts = strips == 1 ? s.height * rowBytes : countsAt;
  put(42, 2), put(8, 4), put(12, 2);
  const uint32_t entries[][4] = {
      {256, 4, 1, s.width},   {257, 4, 1, s.height},       {258, 3, s.samples, bits},
      {259, 3, 1, 1},         {262, 3, 1, s.photometric},  {273, 4, strips, offsets},
      {277, 3, 1, s.samples}, {278, 4, 1, s.rowsPerStrip}, {279, 4, strips, counts},
      {282, 5, 1, xAt},       {283, 5, 1, xAt + 8},        {296, 3, 1, s.unit}};
  for (const auto& [tag, type, count, value] : entries) {
    put(tag, 2), put(type, 2), put(count, 4);
    if (type == 3 && count <= 2)
      put(value, 2), put(count == 2 ? value : 0, 2);
    else
      put(value, 4);
  }
  put(0, 4);
  for (int i = 0; i < s.samples + s.samples % 2; ++i) put(i < s.samples ? s.bits : 0, 2);
  for (uint32_t v : {s.xResolution, 1u, s.yResolution, 1u}) put(v, 4);
  for (uint32_t i = 0; i < strips; ++i) put(dataAt + i * s.rowsPerStrip * rowBytes, 4);
  for (uint32_t i = 0; i < strips; ++i)
    put(std::min(s.rowsPerStrip, s.height - i * s.rowsPerStrip) * rowBytes, 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint8_t byte = pixels[s.bits == 16 && !s.bigEndian ? i ^ 1 : i];
    file.push_back(s.photometric == 0 ? ~byte : byte);
  }
  return file;
}

using OrnTest::writeTempFile;

// The exit status of a shell command and what it printed: "0: " for a quiet success.
std::string result(const std::string& command) {
  const auto r = OrnTest::runCommand({"/bin/sh", "-c", command}, {}, std::chrono::seconds(120));
  return std::to_string(r.exitStatus) + ": " + r.output;
}
::testing::AssertionResult succeeds(const std::string& command) {
  const std::string r = result(command);
  if (r.rfind("0: ", 0) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << command << " ends in " << r;
}

// Sample size, channels, width, height and resolution in dots per inch.
std::vector<uint32_t> shape(const Image& i) {
  return {i.bitsPerSample(), i.channels(), i.width(), i.height(), i.xResolution(), i.yResolution()};
}
std::vector<uint32_t> shape(const Layout& s) {
  const double perInch = s.unit == 3 ? 2.54 : 1;
  const uint32_t x = s.xResolution * perInch, y = s.yResolution * perInch;
  return {s.bits, s.samples, s.width, s.height, x, y};
}

Image readBytes(const std::string& bytes) {
  std::istringstream in(bytes);
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}
Image readTiff(const std::string& path) { return readBytes(OrnTest::fileContents(path)); }

TEST(TIFFReaderTest, ReadsWhatTiffcpWrites) {
  const std::pair<Layout, bool> cases[] = {
      // bool: also with horizontal differencing
      {Layout{false, 8, 1, 1}, true},  {Layout{true, 8, 1, 0, 3}, true},
      {Layout{false, 1, 1, 0}, false}, {Layout{false, 16, 1, 1}, true},
      {Layout{true, 16, 3, 2}, true},  {Layout{false, 8, 3, 2}, true},
      {Layout{true, 8, 4, 5}, true},   {Layout{true, 2, 1, 0}, false}};
  for (const auto& [s, predictor] : cases) {
    const Bytes pixels = makePixels(s, 17);
    const std::string source = writeTempFile("read.tif", writePlainTiff(s, pixels)),
                      converted = source + "-c.tif", decoded = source + "-d.tif";
    std::vector<std::string> conversions = {"-c none", "-c lzw -B -r 3", "-c zip -L -r 1",
                                            "-c zip -B -r 1000"};
    if (predictor) conversions.insert(conversions.end(), {"-c lzw:2 -B", "-c zip:2 -L -r 3"});
    if (s.bits == 8 && s.photometric != 0 && s.samples < 4 && !s.bigEndian)
      conversions.push_back(s.samples == 1 ? "-c jpeg:75 -r 8 -B" : "-c jpeg:r -r 16");
    for (const std::string& options : conversions) {
      SCOPED_TRACE(::testing::Message() << s.bits << "x" << s.samples << " photometric "
                                        << s.photometric << " " << s.bigEndian << " " << options);
      ASSERT_TRUE(succeeds("tiffcp " + options + " " + source + " " + converted));
      // JPEG is lossy: libtiff's own decoding is the reference, pixel for pixel.
      const bool jpeg = options.find("jpeg") != std::string::npos;
      ASSERT_TRUE(succeeds(jpeg ? "tiffcp -c none " + converted + " " + decoded
                                : "tiffcmp " + source + " " + converted));
      const Image image = readTiff(converted);
      EXPECT_EQ(shape(image), shape(s));
      EXPECT_TRUE(image.data() == (jpeg ? readTiff(decoded).data() : pixels));
    }
  }
}

TEST(TIFFWriterTest, LibtiffReadsWhatWeWrite) {
  for (const Layout& s : {Layout{false, 8, 1, 1, 2, 301, 257}, Layout{false, 1, 1, 1, 2, 37, 700},
                          Layout{false, 16, 3, 2, 2, 20, 9}, Layout{false, 8, 3, 2, 2, 150, 600},
                          Layout{false, 8, 4, 5, 2, 33, 17}, Layout{false, 4, 1, 1, 2, 13, 5}}) {
    for (uint16_t compression : {ImageIO::kCompressionLZW, ImageIO::kCompressionDeflate}) {
      SCOPED_TRACE(::testing::Message() << s.bits << "x" << s.samples << " " << compression);
      const std::string source = writeTempFile("source.tif", writePlainTiff(s, makePixels(s, 11)));
      std::ostringstream out;
      ImageIO::WriteToTIFFFormat(readTiff(source), out, compression);
      const std::string written = writeTempFile("written.tif", out.str());
      const std::string info = result("tiffinfo -D " + written);
      EXPECT_EQ(info.find("arning") + info.find("rror"), 2 * std::string::npos) << info;
      EXPECT_EQ(info.rfind("0: ", 0), 0u) << info;
      EXPECT_TRUE(succeeds("tiffcmp " + source + " " + written));  // libtiff sees the pixels
      EXPECT_EQ(shape(readTiff(written)), shape(s));
    }
  }
}

TEST(TIFFWriterTest, BitmapsLayoutRawDeflateAndErrors) {
  // A bitmap is written as WhiteIsZero (libtiff sees a set bit as black) and loads back as it
  // was: the reader's WhiteIsZero pixels are checked against tiffcp above.
  const Bitmap bitmap = testing::randomBitmap(19, 7, 5);
  std::ostringstream saved;
  bitmap.save(0, saved);
  const std::string info = result("tiffinfo " + writeTempFile("bitmap.tif", saved.str()));
  EXPECT_EQ(info.rfind("0: ", 0), 0u) << info;
  EXPECT_NE(info.find("min-is-white"), std::string::npos) << info;
  std::istringstream savedIn(saved.str());
  Bitmap loaded;
  loaded.load(savedIn);
  EXPECT_EQ(loaded.data(), bitmap.data());
  std::ostringstream none;
  EXPECT_EQ(err([&] { ImageIO::WriteToTIFFFormat(Image(8, 1, 4, 4), none, 7); }),
            "Unsupported TIFF compression method for writing");
  EXPECT_EQ(err([&] { Image(8, 1, 4, 4).save(1, none); }), "Unsupported format");
  EXPECT_TRUE(none.str().empty());
  // Strips written by an older writer of ours held raw Deflate data without the zlib wrapper:
  // drop the strip's two header bytes and checksum, and fix its count.
  const Layout s;
  const Bytes pixels = makePixels(s, 4);
  std::ostringstream deflated;
  ImageIO::WriteToTIFFFormat(Image(8, 1, s.width, s.height, pixels), deflated,
                             ImageIO::kCompressionDeflate);
  const std::string written = deflated.str();
  std::istringstream probe(written);
  const TIFFFileInfo strips(probe);
  ASSERT_EQ(strips.stripCount(), 1u);
  const uint32_t offset = strips.stripOffsets()[0], count = strips.stripByteCounts()[0],
                 newCount = count - 6;
  std::string raw = written.substr(0, offset) + written.substr(offset + 2, count - 6);
  const size_t countField = raw.find(std::string(reinterpret_cast<const char*>(&count), 4));
  ASSERT_NE(countField, std::string::npos);
  std::memcpy(raw.data() + countField, &newCount, 4);
  EXPECT_TRUE(readBytes(raw).data() == pixels);
}

TEST(TIFFRobustnessTest, CorpusPrefixesAndMissingTags) {
  // nullptr: the file reads as an 8 x 4 grey image
  const std::pair<const char*, const char*> cases[] = {
      {"ifd_loop", nullptr},
      {"strip_past_eof", "Unable to read required number of bytes"},
      {"rows_per_strip_0", "Data in this TIFF file is not stored correctly"},
      {"huge_single_strip", "Image too large"},
      {"jpeg_many_scans", "JPEG data has too many scans"},
      {"not_tiff", "Not a valid TIFF file"},
      {"bigtiff", "Unknown TIFF version"},
      {"ifd_past_eof", "Read error reading from TIFF"},
      {"unknown_compression", "Unknown TIFF compression method used"},
      {"bits_3", "Unsupported bit-depth for this TIFF file"},
      {"no_resolution_unit", "This TIFF file does not contain the resolution unit of measurement"}};
  Bytes grey(32);
  for (uint32_t i = 0; i < 32; ++i) grey[i] = i % 8 * 7 + i / 8 * 3;
  for (const auto& [name, message] : cases) {
    const std::string file =
        OrnTest::fileContents(std::string(ORN_SOURCE_DIR "/fuzz/corpus/tiff_read/") + name);
    if (message != nullptr)
      EXPECT_EQ(err([&] { readBytes(file); }), message) << name;
    else
      EXPECT_TRUE(readBytes(file).data() == grey && readBytes(file).width() == 8) << name;
  }
  const Layout s;
  const std::string good = writePlainTiff(s, makePixels(s, 1));
  for (size_t size = 0; size < good.size(); ++size)
    EXPECT_THROW(readBytes(good.substr(0, size)), ImageException) << size;
  // Entries are removed from the valid plain file by renaming their tag to an unknown one.
  const std::pair<uint16_t, const char*> tags[] = {
      {256, "TIFF dimensions are invalid"},
      {259, "Cannot determine compression of this TIFF"},
      {277, "File does not specify number of samples per pixel"},
      {262, "TIFF file does not contain a photometric interpretation"},
      {258, "Cannot find information about bits per sample"},
      {273, "Unable to get strip offsets"},
      {279, "Unable to get strip byte counts"},
      {282, "This TIFF file does not contain the required x-resolution information"}};
  for (const auto& [tag, message] : tags) {
    std::string bad = good;
    for (size_t at = 10; at < 10 + 12 * 12; at += 12)
      if ((uint8_t(bad[at]) | bad[at + 1] << 8) == tag) bad[at + 1] = 0x7F;
    EXPECT_EQ(err([&] { readBytes(bad); }), message);
  }
}

const std::string kTool = std::string(ORN_BINARY_DIR) + "/tools/orntool";

TEST(OrntoolConvertTest, ConvertsWithBothCompressionsAndFailsInOneLine) {
  const Layout s{false, 1, 1, 0};
  const std::string source = writeTempFile("source.tif", writePlainTiff(s, makePixels(s, 8)));
  const std::string dir = source.substr(0, source.rfind('/') + 1);
  for (auto [compression, scheme] : {std::pair{"lzw", "LZW"}, {"deflate", "AdobeDeflate"}}) {
    const std::string out = dir + compression + ".tif";
    ASSERT_EQ(result(kTool + " convert " + source + " " + out + " --compression " + compression),
              "0: ");
    const std::string info = result("tiffinfo " + out);
    EXPECT_EQ(info.rfind("0: ", 0), 0u) << info;
    EXPECT_NE(info.find(std::string("Compression Scheme: ") + scheme), std::string::npos) << info;
    ASSERT_TRUE(succeeds("tiffcp -c none " + out + " " + dir + "b.tif"));  // libtiff agrees
    EXPECT_TRUE(readTiff(source).data() == readTiff(dir + "b.tif").data()) << compression;
  }
  EXPECT_TRUE(succeeds("cat " + source + " | " + kTool + " convert - - > " + dir + "piped.tif"));
  EXPECT_TRUE(succeeds("tiffinfo " + dir + "piped.tif"));
  EXPECT_TRUE(readTiff(dir + "piped.tif").data() == readTiff(source).data());
  writeTempFile("bad.tif", "GIF89a");
  for (const auto& [input, expected] :
       {std::pair{"bad.tif", "orntool convert: Not a valid TIFF file\n"},
        {"missing.tif", "orntool convert: cannot open \""}}) {
    const std::string output = result(kTool + " convert " + dir + input + " " + dir + "o.tif");
    EXPECT_EQ(output.find(std::string(": ") + expected), 1u) << output;
    EXPECT_NE(output[0], '0');
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "o.tif"));
  const std::string jpeg = result(kTool + " convert a.tif b.tif --compression jpeg");
  EXPECT_NE(jpeg[0], '0');
  EXPECT_NE(jpeg.find("unknown compression"), std::string::npos) << jpeg;
  EXPECT_NE(result(kTool + " frobnicate")[0], '0');
}

}  // namespace
}  // namespace Tesselin
