#include "raster/raster_reader.h"

#include <gtest/gtest.h>

#include <sstream>

#include "raster/exception.h"
#include "support/raster_builder.h"

using namespace Quillfeather;
using OrnTest::rasterHeader;
using OrnTest::rasterStream;
using OrnTest::TestPage;

namespace {

std::vector<std::vector<uint8_t>> readAllPages(const std::string& stream) {
  std::istringstream in(stream);
  RasterReader reader(in);
  reader.readFormat();
  std::vector<std::vector<uint8_t>> pages;
  while (!reader.atEnd()) pages.push_back(reader.readPageData(reader.readPageHeader()));
  return pages;
}

// "pages:<count>", or the exception's type letter (F: format, I: input) and message.
std::string outcome(const std::string& stream) {
  try {
    return "pages:" + std::to_string(readAllPages(stream).size());
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

TEST(RasterFormatTest, SyncWords) {
  const std::pair<const char*, const char*> cases[] = {
      {"RaS3", "3 1"}, {"RaS2", "2 1"},
      {"RaSt", "1 1"}, {"3SaR", "3 0"},
      {"2SaR", "2 0"}, {"tSaR", "1 0"},
      {"", "I"},       {"R", "I"},
      {"RaS", "I"},    {"RaS4", "Format not understood"}};
  for (auto [sync, expected] : cases) {
    std::istringstream in(sync);
    try {
      RasterFormat f = readRasterFormat(in);
      EXPECT_EQ(std::to_string(f.version) + " " + std::to_string(f.endianness), expected) << sync;
    } catch (const CUPSSyncException& e) {
      EXPECT_STREQ(e.what(), expected) << sync;
    } catch (const IOException&) {
      EXPECT_STREQ("I", expected) << sync;
    }
  }
}

TEST(PageHeaderTest, Fields) {
  TestPage p = page(640, 17);
  p.resolution = 203;
  p.numCopies = 3;
  p.orientation = 2;
  p.mediaClass = "Labels";
  for (bool big : {true, false}) {
    std::istringstream in(rasterHeader(p, 3, big));
    PageHeader h = readPageHeader(RasterFormat{big ? 1 : 0, 3}, in);
    EXPECT_EQ(h.cupsWidth * 100 + h.cupsHeight, 64017u);
    EXPECT_EQ(h.cupsBytesPerLine, 80u);
    EXPECT_EQ(h.HWResolution[0] + h.HWResolution[1], 406u);
    EXPECT_EQ(h.PageSize[1], 432u);
    EXPECT_EQ(h.NumCopies, 3u);
    EXPECT_EQ(h.Orientation, Rotation::Deg180);
    EXPECT_EQ(h.MediaClass, "Labels");
    EXPECT_EQ(h.cupsNumColors, 1u);
  }
  std::istringstream v1(rasterHeader(p, 1, true));
  PageHeader h = readPageHeader(RasterFormat{1, 1}, v1);
  EXPECT_EQ(h.cupsWidth, 640u);
  EXPECT_EQ(h.cupsNumColors, 0u);
  EXPECT_TRUE(h.cupsInteger.empty() && h.cupsReal.empty() && h.cupsString.empty());
  EXPECT_EQ(v1.tellg(), 420);
  std::string header(1796, '\0');
  header.replace(424, 4, "\x3F\x80\0\0", 4);     // 1.0f
  header.replace(64, 64, std::string(64, 'x'));  // a string without NUL
  header.replace(128, 9, "Paper\0zzz", 9);
  header.replace(264, 4, "\0\0\0\1", 4);  // Collate
  header.replace(272, 4, "\1\0\0\0", 4);  // Duplex
  std::istringstream in(header);
  h = readPageHeader(RasterFormat{1, 3}, in);
  EXPECT_FLOAT_EQ(h.cupsBorderlessScalingFactor, 1.0f);
  EXPECT_TRUE(h.Collate && h.Duplex && !h.Tumble);
  EXPECT_EQ(h.MediaColor, std::string(64, 'x'));
  EXPECT_EQ(h.MediaType, "Paper");
  for (int version : {1, 3}) {
    std::string cut = rasterHeader(TestPage{}, version, true);
    cut.pop_back();
    std::istringstream short_(cut);
    EXPECT_THROW(readPageHeader(RasterFormat{1, version}, short_), IOException);
  }
  const char* names[] = {"0 deg", "90 deg", "180 deg", "270 deg", "", "", "", ""};
  for (uint32_t value : {0, 1, 2, 3, 7}) {
    std::ostringstream out;
    out << static_cast<Rotation>(value);
    EXPECT_EQ(out.str(), names[value]);
  }
}

TEST(RasterReaderTest, PagesRoundTripInEveryVersionAndByteOrder) {
  TestPage blank = page(800, 300);  // more equal rows than one repeat byte covers
  blank.data.assign(100 * 300, 0);
  TestPage rgb = OrnTest::randomGreyPage(10, 3, 9);
  rgb.bitsPerPixel = 24;
  rgb.data.resize(30 * 3);
  const std::vector<TestPage> pages = {OrnTest::randomBitmapPage(203, 40, 7, 0.05),
                                       OrnTest::randomGreyPage(9, 4, 2), blank, rgb,
                                       OrnTest::randomBitmapPage(64, 1, 3)};
  for (int version : {1, 2, 3}) {
    for (bool big : {true, false}) {
      auto read = readAllPages(rasterStream(pages, version, big));
      ASSERT_EQ(read.size(), pages.size());
      for (size_t i = 0; i < pages.size(); ++i)
        EXPECT_EQ(read[i], pages[i].data) << version << big << i;
    }
  }
}

TEST(RasterReaderTest, ShortAndMalformedStreams) {
  const std::string v3 = rasterStream({OrnTest::randomBitmapPage(16, 4, 5)});
  TestPage huge = page(0xFFFFFFFF, 0xFFFFFFFF, 8);
  huge.bytesPerLine = 0xFFFFFFFF;        // the page size needs 64 bits
  TestPage big = page(1 << 20, 257, 8);  // just over 256 MiB
  const std::string v2 = "RaS2" + rasterHeader(page(16, 1), 2, true);
  TestPage zeroBits = page(4, 1, 0);
  zeroBits.bytesPerLine = 2;
  const std::pair<std::string, std::string> cases[] = {
      {"RaS3", "pages:0"},
      {v3.substr(0, 4 + 1796), "I:Unable to read from input"},
      {v3.substr(0, v3.size() - 1), "I:Unable to read from input"},
      {rasterStream({huge}), "F:"},
      {rasterStream({big}), "F:"},
      {v2 + std::string("\0\2\xAA", 3), "F:"},      // run of 3 bytes in a 2-byte row
      {v2 + std::string("\0\xFD\1\2\3", 5), "F:"},  // literal of 3 bytes
      {v2 + std::string("\0", 1), "I:"},            // row never starts
      {v2 + std::string("\0\xFF\1", 3), "I:"},      // literal cut short
      {v2 + std::string("\0\0", 2), "I:"},          // run without its pixel
  };
  for (const auto& [stream, expected] : cases) {
    const std::string got = outcome(stream);
    EXPECT_EQ(got.substr(0, expected.size()), expected);
  }
  // 128 blanks the rest of the row: 0x00 for black-ink colour spaces.
  EXPECT_EQ(readAllPages(v2 + std::string("\0\0\xAB\x80", 4)),
            (std::vector<std::vector<uint8_t>>{{0xAB, 0x00}}));
  // A repeat count beyond the page is clamped.
  EXPECT_EQ(readAllPages("RaS2" + rasterHeader(page(8, 2), 2, true) + std::string("\5\0\x42", 3)),
            (std::vector<std::vector<uint8_t>>{{0x42, 0x42}}));
  EXPECT_EQ(readAllPages("RaS2" + rasterHeader(zeroBits, 2, true) + std::string("\0\1\7", 3)),
            (std::vector<std::vector<uint8_t>>{{7, 7}}));  // no division by zero
}

// A header that promises a page of 256 MiB followed by a byte or two never costs it:
// the buffer grows with the decoded data.
TEST(RasterReaderTest, PromisedPageIsNotAllocatedBeforeItArrives) {
  const TestPage p = page(256u << 20, 1, 8);
  for (const auto& [version, data] : {std::pair{2, std::string("\0", 1)},
                                      {2, std::string("\0\x7F\1", 3)},
                                      {3, std::string("\1")}}) {
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

}  // namespace
