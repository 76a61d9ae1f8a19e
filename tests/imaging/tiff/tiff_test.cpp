// TIFF reading and writing against libtiff: files converted by tiffcp read to the pixels of the
// plain source (tiffcmp confirms libtiff sees the same); files we and orntool write pass tiffinfo
// and tiffcmp and decode in libtiff to the image's pixels. Malformed files end in their error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "imaging/bitmap.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/pixel_reference.h"
#include "support/process.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Path = std::filesystem::path;
auto err = [](auto&& f) { return testing::errorOf<ImageException>(f); };

// An uncompressed TIFF as the test's own plain writer lays it out.
struct Layout {
  bool bigEndian = false;
  std::uint16_t bits = 8, samples = 1, photometric = 1, unit = 2;
  std::uint32_t width = 37, height = 23, rowsPerStrip = 5, xResolution = 300, yResolution = 200;
  std::uint32_t rowBytes() const { return (std::uint64_t{width} * samples * bits + 7) / 8; }
};

Layout layout(bool bigEndian, std::uint16_t bits, std::uint16_t samples, std::uint16_t photometric,
              std::uint16_t unit = 2, std::uint32_t width = 37, std::uint32_t height = 23) {
  Layout s{bigEndian, bits, samples, photometric, unit, width, height};
  if (unit == 3) s.xResolution = 100, s.yResolution = 50;
  return s;
}

// Pixels in the image layout (16-bit samples most significant byte first), smooth areas and
// noise, bits past the last pixel of a row clear.
Bytes makePixels(const Layout& s, unsigned seed) {
  std::mt19937 random(seed);
  const std::uint32_t rowBytes = s.rowBytes(), used = (s.width * s.samples * s.bits) % 8;
  Bytes pixels(std::size_t{rowBytes} * s.height);
  for (std::uint32_t y = 0; y < s.height; ++y) {
    for (std::uint32_t x = 0; x < rowBytes; ++x)
      pixels[y * rowBytes + x] = (x / 4 + y * 3) % 7 == 0 ? random() : (x * 5 + y * 2) & 0xFF;
    if (used != 0) pixels[y * rowBytes + rowBytes - 1] &= 0xFF << (8 - used);
  }
  return pixels;
}

// Header, one directory of 12 entries, values, strips. WhiteIsZero files store the complement of
// `pixels`, little-endian files swap 16-bit samples.
Bytes writePlainTiff(const Layout& s, const Bytes& pixels) {
  Bytes file(2, s.bigEndian ? 'M' : 'I');
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(v >> 8 * (s.bigEndian ? bytes - 1 - i : i));
  };
  const std::uint32_t rowBytes = s.rowBytes(),
                      strips = (s.height + s.rowsPerStrip - 1) / s.rowsPerStrip;
  const std::uint32_t bitsAt = 8 + 2 + 12 * 12 + 4,
                      xAt = bitsAt + 2 * s.samples + s.samples % 2 * 2;
  const std::uint32_t offsetsAt = xAt + 16, countsAt = offsetsAt + 4 * strips;
  const std::uint32_t dataAt = countsAt + 4 * strips;
  put(42, 2), put(8, 4), put(12, 2);
  const std::uint32_t entries[][4] = {
      {256, 4, 1, s.width},
      {257, 4, 1, s.height},
      {258, 3, s.samples, s.samples <= 2 ? s.bits : bitsAt},
      {259, 3, 1, 1},
      {262, 3, 1, s.photometric},
      {273, 4, strips, strips == 1 ? dataAt : offsetsAt},
      {277, 3, 1, s.samples},
      {278, 4, 1, s.rowsPerStrip},
      {279, 4, strips, strips == 1 ? s.height * rowBytes : countsAt},
      {282, 5, 1, xAt},
      {283, 5, 1, xAt + 8},
      {296, 3, 1, s.unit}};
  for (const auto& [tag, type, count, value] : entries) {
    put(tag, 2), put(type, 2), put(count, 4);
    if (type == 3 && count <= 2)
      put(value, 2), put(count == 2 ? value : 0, 2);
    else
      put(value, 4);
  }
  put(0, 4);
  for (int i = 0; i < s.samples + s.samples % 2; ++i) put(i < s.samples ? s.bits : 0, 2);
  for (std::uint32_t v : {s.xResolution, 1u, s.yResolution, 1u}) put(v, 4);
  for (std::uint32_t i = 0; i < strips; ++i) put(dataAt + i * s.rowsPerStrip * rowBytes, 4);
  for (std::uint32_t i = 0; i < strips; ++i)
    put(std::min(s.rowsPerStrip, s.height - i * s.rowsPerStrip) * rowBytes, 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::uint8_t byte = pixels[s.bits == 16 && !s.bigEndian ? i ^ 1 : i];
    file.push_back(s.photometric == 0 ? ~byte : byte);
  }
  return file;
}

void writeFile(const Path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Path scratch(const std::string& name) {
  const Path dir = Path(ORN_BINARY_DIR) / "tiff_test_files" / (name + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Runs a shell command; returns its exit status, with standard output and error in `output`.
int run(const std::string& command, std::string* output = nullptr) {
  const auto r = OrnTest::runCommand({"/bin/sh", "-c", command}, {}, std::chrono::seconds(120));
  if (output != nullptr) *output = r.output;
  return r.exitStatus;
}

std::string tiffcp(const std::string& options, const Path& from, const Path& to) {
  std::string output;
  return run("tiffcp " + options + " " + from.string() + " " + to.string(), &output) ? output : "";
}

Image readTiff(const Path& path) {
  std::ifstream in(path, std::ios::binary);
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}

Image readBytes(const Bytes& bytes) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}

TEST(TIFFReaderTest, ReadsWhatTiffcpWrites) {
  const std::pair<Layout, bool> cases[] = {
      // bool: also with horizontal differencing
      {layout(false, 8, 1, 1), true},  {layout(true, 8, 1, 0, 3), true},
      {layout(false, 1, 1, 0), false}, {layout(true, 1, 1, 1, 3), false},
      {layout(false, 16, 1, 1), true}, {layout(true, 16, 3, 2), true},
      {layout(false, 8, 3, 2), true},  {layout(true, 8, 4, 5), true},
      {layout(false, 4, 1, 1), false}, {layout(true, 2, 1, 0), false}};
  const Path dir = scratch("read");
  for (const auto& [s, predictor] : cases) {
    const Bytes pixels = makePixels(s, 17);
    writeFile(dir / "source.tif", writePlainTiff(s, pixels));
    const double perInch = s.unit == 3 ? 2.54 : 1;
    std::vector<std::string> conversions = {"-c none",          "-c lzw",         "-c zip",
                                            "-c lzw -B -r 3",   "-c zip -L -r 1", "-c lzw -r 1000",
                                            "-c zip -B -r 1000"};
    if (predictor)
      conversions.insert(conversions.end(), {"-c lzw:2 -B", "-c zip:2 -L -r 3", "-c lzw:2 -L -r 1",
                                             "-c zip:2 -B -r 1000"});
    for (const std::string& options : conversions) {
      SCOPED_TRACE(::testing::Message() << s.bits << "x" << s.samples << " photometric "
                                        << s.photometric << " " << s.bigEndian << " " << options);
      ASSERT_EQ(tiffcp(options, dir / "source.tif", dir / "converted.tif"), "");
      std::string output;
      ASSERT_EQ(
          run("tiffcmp " + (dir / "source.tif").string() + " " + (dir / "converted.tif").string(),
              &output),
          0)
          << output;
      const Image image = readTiff(dir / "converted.tif");
      EXPECT_EQ(image.bitsPerSample() * 10 + image.channels(), s.bits * 10u + s.samples);
      EXPECT_EQ(image.width() * 1000 + image.height(), s.width * 1000 + s.height);
      EXPECT_EQ(image.xResolution(), static_cast<std::uint32_t>(s.xResolution * perInch));
      EXPECT_EQ(image.yResolution(), static_cast<std::uint32_t>(s.yResolution * perInch));
      EXPECT_TRUE(image.data() == pixels) << "pixels differ";
    }
  }
}

// JPEG is lossy: libtiff's own decoding (tiffcp -c none) is the reference, pixel for pixel.
TEST(TIFFReaderTest, JpegMatchesLibtiffDecoding) {
  const std::pair<Layout, const char*> cases[] = {
      {layout(false, 8, 1, 1, 2, 64, 48), "-c jpeg -r 16"},
      {layout(true, 8, 1, 1, 2, 64, 48), "-c jpeg:75 -r 8 -B"},
      {layout(false, 8, 3, 2, 2, 64, 48), "-c jpeg -r 16"},
      {layout(false, 8, 3, 2, 2, 64, 48), "-c jpeg:r -r 16"}};
  const Path dir = scratch("jpeg");
  for (const auto& [s, options] : cases) {
    SCOPED_TRACE(options);
    writeFile(dir / "source.tif", writePlainTiff(s, makePixels(s, 5)));
    ASSERT_EQ(tiffcp(options, dir / "source.tif", dir / "jpeg.tif"), "");
    ASSERT_EQ(tiffcp("-c none", dir / "jpeg.tif", dir / "decoded.tif"), "");
    const Image ours = readTiff(dir / "jpeg.tif"), reference = readTiff(dir / "decoded.tif");
    EXPECT_EQ(ours.channels() * 1000 + ours.width(),
              reference.channels() * 1000 + reference.width());
    EXPECT_EQ(ours.height(), reference.height());
    EXPECT_TRUE(ours.data() == reference.data()) << "pixels differ from libtiff's";
  }
}

TEST(TIFFReaderTest, PipesStripsAndBitmaps) {
  Layout s = layout(false, 8, 1, 1);
  const Bytes pixels = makePixels(s, 3), file = writePlainTiff(s, pixels);
  struct PipeBuffer : std::streambuf {  // no seeking, like a pipe
    explicit PipeBuffer(const Bytes& b) {
      char* begin = const_cast<char*>(reinterpret_cast<const char*>(b.data()));
      setg(begin, begin, begin + b.size());
    }
  } buffer(file);
  std::istream pipe(&buffer);
  EXPECT_TRUE(ImageIO::ReadFromTIFFFormat(pipe, nullptr).data() == pixels);
  s = layout(true, 16, 1, 1);
  const Bytes wide = makePixels(s, 9), wideFile = writePlainTiff(s, wide);
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
  EXPECT_EQ(lengths, (std::vector<std::size_t>(3, s.rowBytes())));
  EXPECT_TRUE(rows == Bytes(wide.end() - static_cast<long>(rows.size()), wide.end()));
  EXPECT_THROW(ImageIO::ReadStripDataFromTIFFFormat(in, info, 5, true, [](auto, auto) {}),
               ImageException);
  s = layout(false, 1, 1, 0);  // WhiteIsZero: a set bit in the file is black
  const Bytes bits = makePixels(s, 2), bitsFile = writePlainTiff(s, bits);
  std::istringstream bitsIn(std::string(bitsFile.begin(), bitsFile.end()));
  Bitmap bitmap;
  bitmap.load(bitsIn);
  ASSERT_EQ(bitmap.width(), s.width);
  for (std::uint32_t y = 0; y < s.height; ++y) {
    for (std::uint32_t x = 0; x < s.width; ++x)
      ASSERT_EQ(bitmap.getPixel(x, y), !testing::bitAt(bits, s.rowBytes(), x, y)) << x << "," << y;
  }
}

TEST(TIFFWriterTest, LibtiffReadsWhatWeWrite) {
  const Path dir = scratch("write"), source = dir / "source.tif", written = dir / "written.tif";
  for (const Layout& s : {layout(false, 8, 1, 1, 2, 301, 257), layout(false, 1, 1, 1, 2, 37, 700),
                          layout(false, 16, 1, 1, 2, 45, 31), layout(false, 8, 3, 2, 2, 150, 600),
                          layout(false, 16, 3, 2, 2, 20, 9), layout(false, 8, 4, 5, 2, 33, 17),
                          layout(false, 4, 1, 1, 2, 13, 5)}) {
    for (std::uint16_t compression : {ImageIO::kCompressionLZW, ImageIO::kCompressionDeflate}) {
      SCOPED_TRACE(::testing::Message() << s.bits << "x" << s.samples << " " << compression);
      const Bytes pixels = makePixels(s, 11);
      writeFile(source, writePlainTiff(s, pixels));
      {
        std::ofstream out(written, std::ios::binary);
        ImageIO::WriteToTIFFFormat(readTiff(source), out, compression);
      }
      std::string output;
      EXPECT_EQ(run("tiffinfo -D " + written.string(), &output), 0) << output;
      EXPECT_EQ(output.find("arning") + output.find("rror"), 2 * std::string::npos) << output;
      EXPECT_EQ(run("tiffcmp " + source.string() + " " + written.string(), &output), 0) << output;
      ASSERT_EQ(tiffcp("-c none", written, dir / "decoded.tif"), "");
      const Image back = readTiff(dir / "decoded.tif");
      EXPECT_TRUE(back.data() == pixels);
      EXPECT_EQ(back.xResolution() * 1000 + back.yResolution(),
                s.xResolution * 1000 + s.yResolution);
    }
  }
}

TEST(TIFFWriterTest, BitmapsLayoutRawDeflateAndErrors) {
  // A bitmap is written as WhiteIsZero: libtiff sees a set bit as black.
  const Path dir = scratch("write_bitmap");
  Bitmap bitmap(19, 7);
  bitmap.setPixel(3, 2, true);
  bitmap.setPixel(18, 6, true);
  std::ostringstream saved;
  bitmap.save(0, saved);
  std::ofstream(dir / "bitmap.tif", std::ios::binary) << saved.str();
  std::string info;
  ASSERT_EQ(run("tiffinfo " + (dir / "bitmap.tif").string(), &info), 0) << info;
  EXPECT_NE(info.find("min-is-white"), std::string::npos) << info;
  std::ostringstream none;
  for (std::uint16_t compression : {1, 7, 32773}) {
    EXPECT_EQ(err([&] { ImageIO::WriteToTIFFFormat(Image(8, 1, 4, 4), none, compression); }),
              "Unsupported TIFF compression method for writing");
  }
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
  const std::uint32_t offset = strips.stripOffsets()[0], count = strips.stripByteCounts()[0],
                      newCount = count - 6;
  std::string raw = written.substr(0, offset) + written.substr(offset + 2, count - 6);
  const std::size_t countField = raw.find(std::string(reinterpret_cast<const char*>(&count), 4));
  ASSERT_NE(countField, std::string::npos);
  std::memcpy(raw.data() + countField, &newCount, 4);
  EXPECT_TRUE(readBytes(Bytes(raw.begin(), raw.end())).data() == pixels);
}

TEST(TIFFRobustnessTest, CorpusPrefixesAndMissingTags) {
  const std::pair<const char*, const char*> cases[] = {
      {"seed_plain_grey", nullptr},  // nullptr: reads as an 8 x 4 grey image
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
  Bytes grey(32);
  for (std::uint32_t i = 0; i < 32; ++i) grey[i] = i % 8 * 7 + i / 8 * 3;
  for (const auto& [name, message] : cases) {
    const std::string text =
        OrnTest::fileContents(std::string(ORN_SOURCE_DIR "/fuzz/corpus/tiff_read/") + name);
    const Bytes file(text.begin(), text.end());
    ASSERT_FALSE(file.empty()) << name;
    if (message != nullptr)
      EXPECT_EQ(err([&] { readBytes(file); }), message) << name;
    else
      EXPECT_TRUE(readBytes(file).data() == grey && readBytes(file).width() == 8) << name;
  }
  const Layout s;
  const Bytes good = writePlainTiff(s, makePixels(s, 1));
  for (auto end = good.begin(); end != good.end(); ++end)
    EXPECT_THROW(readBytes(Bytes(good.begin(), end)), ImageException) << end - good.begin();
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
    for (std::size_t at = 10; at < 10 + 12 * 12; at += 12)
      if ((bad[at] | bad[at + 1] << 8) == tag) bad[at + 1] = 0x7F;
    EXPECT_EQ(err([&] { readBytes(bad); }), message);
  }
}

const std::string kTool = std::string(ORN_BINARY_DIR) + "/tools/orntool";

TEST(OrntoolConvertTest, ConvertsWithBothCompressionsAndFailsInOneLine) {
  const Path dir = scratch("orntool"), source = dir / "source.tif";
  const Layout s = layout(false, 1, 1, 0);
  writeFile(source, writePlainTiff(s, makePixels(s, 8)));
  ASSERT_EQ(tiffcp("-c none", source, dir / "a.tif"), "");
  for (auto [compression, scheme] : {std::pair{"lzw", "LZW"}, {"deflate", "AdobeDeflate"}}) {
    const Path out = dir / (std::string(compression) + ".tif");
    std::string output;
    ASSERT_EQ(run(kTool + " convert " + source.string() + " " + out.string() + " --compression " +
                      compression,
                  &output),
              0)
        << output;
    EXPECT_TRUE(output.empty()) << output;
    ASSERT_EQ(run("tiffinfo " + out.string(), &output), 0) << output;
    EXPECT_NE(output.find(std::string("Compression Scheme: ") + scheme), std::string::npos)
        << output;
    ASSERT_EQ(tiffcp("-c none", out, dir / "b.tif"), "");  // libtiff's decodings agree
    EXPECT_TRUE(readTiff(dir / "a.tif").data() == readTiff(dir / "b.tif").data()) << compression;
  }
  const Path piped = dir / "piped.tif";
  EXPECT_EQ(run("cat " + source.string() + " | " + kTool + " convert - - > " + piped.string()), 0);
  EXPECT_EQ(run("tiffinfo " + piped.string()), 0);
  writeFile(dir / "bad.tif", Bytes{'G', 'I', 'F', '8', '9', 'a'});
  for (const auto& [input, expected] :
       {std::pair{"bad.tif", "orntool convert: Not a valid TIFF file\n"},
        {"missing.tif", "orntool convert: cannot open \""}}) {
    std::string output;
    EXPECT_NE(
        run(kTool + " convert " + (dir / input).string() + " " + (dir / "o.tif").string(), &output),
        0);
    EXPECT_EQ(output.rfind(expected, 0), 0u) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "o.tif"));
  std::string output;
  EXPECT_NE(run(kTool + " convert a.tif b.tif --compression jpeg", &output), 0);
  EXPECT_NE(output.find("unknown compression"), std::string::npos) << output;
  EXPECT_NE(run(kTool + " frobnicate", &output), 0);
}

}  // namespace
}  // namespace Tesselin
