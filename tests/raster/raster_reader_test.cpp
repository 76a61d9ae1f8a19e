// The raster reader on streams built here, and against libcups.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>

#include "raster/exception.h"
#include "raster/raster_reader.h"
#include "support/libcups_pages.h"
#include "support/process.h"
#include "support/raster_builder.h"

using namespace Quillfeather;
using OrnTest::CupsPage;
using OrnTest::rasterHeader;
using OrnTest::rasterStream;
using OrnTest::TestPage;
namespace fs = std::filesystem;

namespace {

// A space, then the bytes in hex.
std::string hex(const std::vector<uint8_t>& bytes) {
  const char* digits = "0123456789abcdef";
  std::string out = " ";
  for (uint8_t b : bytes) out += {digits[b >> 4], digits[b & 15]};
  return out;
}

// The version and byte order, then each page's bytes in hex; or the exception's type
// letter (S: sync word, F: format, I: input) and message.
std::string outcome(const std::string& stream) {
  std::istringstream in(stream);
  RasterReader reader(in);
  try {
    const RasterFormat format = reader.readFormat();
    std::string out = std::to_string(format.version) + std::to_string(format.endianness) + ":";
    while (!reader.atEnd()) out += hex(reader.readPageData(reader.readPageHeader()));
    return out;
  } catch (const CUPSSyncException& e) {
    return std::string("S:") + e.what();
  } catch (const CUPSFormatException& e) {
    return std::string("F:") + e.what();
  } catch (const IOException& e) {
    return std::string("I:") + e.what();
  }
}

TestPage page(uint32_t width, uint32_t height, uint32_t bits = 1) {
  TestPage p;
  p.width = width;
  p.height = height;
  p.bitsPerColor = p.bitsPerPixel = bits;
  return p;
}

// Version 1 headers end before the colour count; libcups reads the later versions below.
TEST(PageHeaderTest, VersionOne) {
  std::istringstream v1(rasterHeader(page(640, 17), 1, true));
  PageHeader h = readPageHeader(RasterFormat{1, 1}, v1);
  EXPECT_EQ(h.cupsWidth, 640u);
  EXPECT_EQ(h.cupsNumColors, 0u);
  EXPECT_EQ(v1.tellg(), 420);
}

TEST(RasterReaderTest, ShortAndMalformedStreams) {
  const std::string v3 = rasterStream({OrnTest::randomBitmapPage(16, 4, 5)});
  TestPage big = page(1 << 20, 257, 8);  // just over 256 MiB
  const std::string v2 = "RaS2" + rasterHeader(page(16, 1), 2, true);
  TestPage zeroBits = page(4, 1, 0);
  zeroBits.bytesPerLine = 2;
  const std::pair<std::string, std::string> cases[] = {
      {"RaS3", "31:"},
      {"RaSt", "11:"},  // libcups's writers and Ghostscript give the other sync words
      {"tSaR", "10:"},
      {"", "I:"},
      {"RaS4", "S:Format not understood"},
      {v3.substr(0, v3.size() - 1), "I:Unable to read from input"},
      {v3.substr(0, 4 + 1795), "I:"},  // headers cut short
      {rasterStream({big}), "F:"},
      {v2 + std::string("\0\xFD\1\2\3", 5), "F:"},        // literal of 3 bytes
      {v2 + std::string("\0\0", 2), "I:"},                // run without its pixel
      {v2 + std::string("\0\0\xAB\x80", 4), "21: ab00"},  // 128 blanks the rest (black ink)
      {"RaS2" + rasterHeader(page(8, 2), 2, true) + std::string("\5\0\x42", 3),
       "21: 4242"},  // a repeat count beyond the page is clamped
      {"RaS2" + rasterHeader(zeroBits, 2, true) + std::string("\0\1\7", 3),
       "21: 0707"}};  // no division by zero
  for (const auto& [stream, expected] : cases)
    EXPECT_EQ(outcome(stream).substr(0, expected.size()), expected) << stream.size();
}

// A header that promises a page of 256 MiB followed by a byte or two never costs it:
// the buffer grows with the decoded data.
TEST(RasterReaderTest, PromisedPageIsNotAllocatedBeforeItArrives) {
  const TestPage p = page(256u << 20, 1, 8);
  for (const auto& [version, data] :
       {std::pair{2, std::string("\0\x7F\1", 3)}, {3, std::string("\1")}}) {
    SCOPED_TRACE(version);
    std::istringstream in(std::string(version == 2 ? "RaS2" : "RaS3") +
                          rasterHeader(p, version, true) + data);
    RasterReader reader(in);
    reader.readFormat();
    std::vector<uint8_t> out;
    EXPECT_THROW(reader.readPageData(reader.readPageHeader(), out), IOException);
    EXPECT_LE(out.capacity(), size_t{32} << 20);
  }
}

// Our reader against libcups's: pages written by libcups's raster writer (plain,
// compressed and PWG) and a real job that Ghostscript renders through CUPS's
// gstoraster filter must read with the headers and pixels libcups reads.

// Every field that both headers have, as text; libcups's strings need not end in NUL.
std::string text(const std::string& s) { return s; }
template <size_t N>
std::string text(const char (&s)[N]) {
  return std::string(s, strnlen(s, N));
}
template <typename Header>
std::string describe(const Header& x) {
  std::ostringstream out;
  out.precision(9);
  for (const std::string& s :
       {text(x.MediaClass), text(x.MediaColor), text(x.MediaType), text(x.OutputType),
        text(x.cupsMarkerType), text(x.cupsRenderingIntent), text(x.cupsPageSizeName)})
    out << s << '|';
  auto numbers = [&](const auto&... n) { ((out << ' ' << +n), ...); };
  numbers(x.AdvanceDistance, x.AdvanceMedia, x.Collate, x.CutMedia, x.Duplex, x.HWResolution[0],
          x.HWResolution[1], x.ImagingBoundingBox[0], x.ImagingBoundingBox[3], x.Jog, x.Margins[0],
          x.Margins[1], x.ManualFeed, x.NumCopies, static_cast<int>(x.Orientation), x.PageSize[0],
          x.PageSize[1], x.Tumble, x.cupsWidth, x.cupsHeight, x.cupsMediaType, x.cupsBitsPerColor,
          x.cupsBitsPerPixel, x.cupsBytesPerLine, x.cupsColorOrder, x.cupsColorSpace,
          x.cupsCompression, x.cupsRowCount, x.cupsNumColors, x.cupsBorderlessScalingFactor,
          x.cupsPageSize[0], x.cupsPageSize[1], x.cupsImagingBBox[0], x.cupsImagingBBox[3]);
  for (auto n : x.cupsInteger) out << ' ' << n;  // as many as the header has
  for (auto f : x.cupsReal) out << ' ' << f;
  for (const auto& s : x.cupsString) out << ' ' << text(s);
  return out.str();
}

// Reads the stream in path with our reader and with libcups's; returns our pages.
std::vector<std::pair<PageHeader, std::vector<uint8_t>>> expectReadsLikeLibcups(
    const fs::path& path) {
  std::istringstream in(OrnTest::fileContents(path));
  RasterReader reader(in);
  reader.readFormat();
  std::vector<std::pair<PageHeader, std::vector<uint8_t>>> ours;
  for (const CupsPage& page : OrnTest::readWithLibcups(path)) {
    SCOPED_TRACE("page " + std::to_string(ours.size()));
    EXPECT_FALSE(reader.atEnd());
    if (reader.atEnd()) break;
    const PageHeader h = reader.readPageHeader();
    EXPECT_EQ(describe(h), describe(page.header));
    ours.emplace_back(h, reader.readPageData(h));
    EXPECT_EQ(ours.back().second, page.data);
  }
  EXPECT_TRUE(reader.atEnd());
  return ours;
}

CupsPage makePage(unsigned width, unsigned height, unsigned bits, unsigned seed) {
  CupsPage page{};
  cups_page_header2_t& h = page.header;
  h.cupsWidth = width;
  h.cupsHeight = height;
  h.cupsBitsPerColor = bits == 24 ? 8 : bits;
  h.cupsBitsPerPixel = bits;
  h.cupsBytesPerLine = (width * bits + 7) / 8;
  h.cupsColorSpace = bits == 1 ? CUPS_CSPACE_K : bits == 8 ? CUPS_CSPACE_SW : CUPS_CSPACE_SRGB;
  h.cupsNumColors = bits == 24 ? 3 : 1;
  h.HWResolution[0] = h.HWResolution[1] = 203;
  h.Duplex = seed % 2 ? CUPS_TRUE : CUPS_FALSE;
  h.Orientation = CUPS_ORIENT_90;
  h.cupsInteger[3] = 77;
  h.cupsReal[1] = 2.5f;
  std::strcpy(h.MediaClass, "PwgRaster");
  std::memcpy(h.MediaType, "Labels\0zzz", 10);  // bytes after the NUL are not read
  std::memset(h.MediaColor, 'x', 64);           // a string without NUL
  std::strcpy(h.cupsString[15], "last");
  std::strcpy(h.cupsPageSizeName, "na_index-4x6_4x6in");
  std::mt19937 rng(seed);
  page.data.resize(size_t{h.cupsBytesPerLine} * height);
  // Blocks of equal rows and runs so that the compressed writer uses every form.
  for (unsigned y = 0; y < height; ++y) {
    uint8_t* row = page.data.data() + y * h.cupsBytesPerLine;
    for (unsigned x = 0; x < h.cupsBytesPerLine; ++x)
      row[x] = y % 7 == 3 ? (row - h.cupsBytesPerLine)[x] : (x / 9) % 3 == 0 ? 0 : rng();
  }
  return page;
}

class LibcupsOracleTest : public ::testing::TestWithParam<cups_mode_t> {};

TEST_P(LibcupsOracleTest, HeadersAndPixelsMatch) {
  const std::vector<CupsPage> pages = {makePage(832, 120, 1, 1), makePage(203, 37, 8, 2),
                                       makePage(41, 30, 24, 3)};
  const fs::path path = fs::temp_directory_path() / ("orn-raster-" + std::to_string(getpid()));
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  cups_raster_t* r = cupsRasterOpen(fd, GetParam());
  for (CupsPage page : pages) {
    EXPECT_TRUE(cupsRasterWriteHeader2(r, &page.header));
    EXPECT_EQ(cupsRasterWritePixels(r, page.data.data(), page.data.size()), page.data.size());
  }
  cupsRasterClose(r);
  close(fd);
  EXPECT_EQ(expectReadsLikeLibcups(path).size(), pages.size());
  fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Modes, LibcupsOracleTest,
                         ::testing::Values(CUPS_RASTER_WRITE, CUPS_RASTER_WRITE_COMPRESSED,
                                           CUPS_RASTER_WRITE_PWG));

// The sample label rendered by Ghostscript through gstoraster: three pages of 4x6 in.
class GhostscriptRasterTest : public ::testing::TestWithParam<std::pair<const char*, unsigned>> {};

TEST_P(GhostscriptRasterTest, ReadsLikeLibcups) {
  const char* gstoraster = "/usr/lib/cups/filter/gstoraster";
  if (!fs::exists(gstoraster) || std::system("command -v gs >/dev/null") != 0)
    GTEST_SKIP() << "Ghostscript or gstoraster missing";
  const auto [options, dpi] = GetParam();
  const fs::path dir = fs::temp_directory_path() / ("orn-gs-" + std::to_string(getpid()) + options);
  fs::create_directories(dir);
  const std::string src = ORN_SOURCE_DIR, pdf = (dir / "label.pdf").string();
  ASSERT_EQ(std::system(("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o '" + pdf + "' '" +
                         src + "/samples/label.ps' && PPD='" + src + "/tests/data/gs_label.ppd' " +
                         gstoraster + " 1 test label 1 '" + options + "' '" + pdf + "' > '" +
                         dir.string() + "/label.ras' 2>/dev/null")
                            .c_str()),
            0);
  const auto pages = expectReadsLikeLibcups(dir / "label.ras");
  EXPECT_EQ(pages.size(), 3u);
  for (const auto& [h, data] : pages) {
    EXPECT_EQ(h.HWResolution[0], dpi);
    EXPECT_TRUE(std::any_of(data.begin(), data.end(), [](uint8_t b) { return b != 0; }));
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, GhostscriptRasterTest,
                         ::testing::Values(std::make_pair("", 203u),
                                           std::make_pair("Resolution=300dpi8", 300u)));

}  // namespace
