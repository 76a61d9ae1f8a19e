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

std::vector<std::vector<uint8_t>> readAllPages(const std::string& stream,
                                               std::vector<PageHeader>* headers = nullptr) {
  std::istringstream in(stream);
  RasterReader reader(in);
  reader.readFormat();
  std::vector<std::vector<uint8_t>> pages;
  while (!reader.atEnd()) {
    PageHeader header = reader.readPageHeader();
    pages.push_back(reader.readPageData(header));
    if (headers) headers->push_back(header);
  }
  return pages;
}

std::string u32be(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

}  // namespace

TEST(RasterFormatTest, RecognisesEverySyncWord) {
  struct Case {
    const char* sync;
    int32_t version;
    int32_t endianness;
  };
  for (const Case& c : {Case{"RaS3", 3, 1}, Case{"RaS2", 2, 1}, Case{"RaSt", 1, 1},
                        Case{"3SaR", 3, 0}, Case{"2SaR", 2, 0}, Case{"tSaR", 1, 0}}) {
    std::istringstream in(c.sync);
    RasterFormat f = readRasterFormat(in);
    EXPECT_EQ(f.version, c.version) << c.sync;
    EXPECT_EQ(f.endianness, c.endianness) << c.sync;
  }
}

TEST(RasterFormatTest, RejectsShortAndUnknownSyncWords) {
  for (const char* input : {"", "R", "RaS", "\0\0\0"}) {
    std::istringstream in(input);
    EXPECT_THROW(readRasterFormat(in), IOException);
  }
  std::istringstream bad("RaS4");
  try {
    readRasterFormat(bad);
    FAIL();
  } catch (const CUPSSyncException& e) {
    EXPECT_STREQ(e.what(), "Format not understood");
  }
}

TEST(PageHeaderTest, VersionOneLeavesLaterFieldsEmpty) {
  TestPage page;
  page.width = 640;
  page.height = 2;
  std::istringstream in(rasterHeader(page, 1, true));
  PageHeader h = readPageHeader(RasterFormat{1, 1}, in);
  EXPECT_EQ(h.cupsWidth, 640u);
  EXPECT_EQ(h.cupsNumColors, 0u);
  EXPECT_TRUE(h.cupsInteger.empty());
  EXPECT_TRUE(h.cupsReal.empty());
  EXPECT_TRUE(h.cupsString.empty());
  EXPECT_EQ(in.tellg(), 420);
}

TEST(PageHeaderTest, BothByteOrdersGiveTheSameFields) {
  TestPage page;
  page.width = 640;
  page.height = 17;
  page.resolution = 203;
  page.pageSize[0] = 288;
  page.pageSize[1] = 432;
  page.numCopies = 3;
  page.orientation = 2;
  page.mediaClass = "Labels";
  for (bool big : {true, false}) {
    std::istringstream in(rasterHeader(page, 3, big));
    PageHeader h = readPageHeader(RasterFormat{big ? 1 : 0, 3}, in);
    EXPECT_EQ(h.cupsWidth, 640u);
    EXPECT_EQ(h.cupsHeight, 17u);
    EXPECT_EQ(h.cupsBytesPerLine, 80u);
    EXPECT_EQ(h.HWResolution[0], 203u);
    EXPECT_EQ(h.HWResolution[1], 203u);
    EXPECT_EQ(h.PageSize[1], 432u);
    EXPECT_EQ(h.NumCopies, 3u);
    EXPECT_EQ(h.Orientation, Rotation::Deg180);
    EXPECT_EQ(h.MediaClass, "Labels");
    EXPECT_EQ(h.cupsNumColors, 1u);
    EXPECT_EQ(h.cupsInteger.size(), 16u);
    EXPECT_EQ(h.cupsString.size(), 16u);
  }
}

TEST(PageHeaderTest, FloatsBooleansAndStrings) {
  std::string header(1796, '\0');
  header.replace(424, 4, u32be(0x3F800000));  // 1.0f
  header.replace(264, 4, std::string("\0\0\0\1", 4));
  header.replace(272, 4, std::string("\1\0\0\0", 4));
  header.replace(64, 64, std::string(64, 'x'));
  header.replace(128, 9, std::string("Paper\0zzz", 9));
  std::istringstream in(header);
  PageHeader h = readPageHeader(RasterFormat{1, 3}, in);
  EXPECT_FLOAT_EQ(h.cupsBorderlessScalingFactor, 1.0f);
  EXPECT_TRUE(h.Collate);
  EXPECT_TRUE(h.Duplex);
  EXPECT_FALSE(h.Tumble);
  EXPECT_EQ(h.MediaColor, std::string(64, 'x'));
  EXPECT_EQ(h.MediaType, "Paper");
}

TEST(PageHeaderTest, RotationNames) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "0 deg"}, {1, "90 deg"}, {2, "180 deg"}, {3, "270 deg"}, {7, ""}};
  for (auto [value, name] : cases) {
    std::ostringstream out;
    out << static_cast<Rotation>(value);
    EXPECT_EQ(out.str(), name);
  }
}

TEST(PageHeaderTest, ShortHeaderIsAnInputError) {
  for (int version : {1, 3}) {
    std::string header = rasterHeader(TestPage{}, version, true);
    header.pop_back();
    std::istringstream in(header);
    EXPECT_THROW(readPageHeader(RasterFormat{1, version}, in), IOException);
  }
}

TEST(RasterReaderTest, UncompressedPagesRoundTrip) {
  for (int version : {1, 3}) {
    for (bool big : {true, false}) {
      std::vector<TestPage> pages = {OrnTest::randomBitmapPage(13, 5, 1),
                                     OrnTest::randomGreyPage(9, 4, 2),
                                     OrnTest::randomBitmapPage(64, 1, 3)};
      auto read = readAllPages(rasterStream(pages, version, big));
      ASSERT_EQ(read.size(), pages.size());
      for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(read[i], pages[i].data);
    }
  }
}

TEST(RasterReaderTest, SyncWordAloneHasNoPages) { EXPECT_TRUE(readAllPages("RaS3").empty()); }

TEST(RasterReaderTest, HeaderThenEndOfInputFails) {
  TestPage page = OrnTest::randomBitmapPage(16, 4, 5);
  std::string stream = rasterStream({page});
  for (size_t cut : {size_t{4 + 1796}, stream.size() - 1}) {
    try {
      readAllPages(stream.substr(0, cut));
      FAIL() << cut;
    } catch (const IOException& e) {
      EXPECT_STREQ(e.what(), "Unable to read from input");
    }
  }
}

TEST(RasterReaderTest, RefusesPagesAboveTheLimitBeforeReading) {
  TestPage page;
  page.width = 0xFFFFFFFF;
  page.bitsPerColor = page.bitsPerPixel = 8;
  page.bytesPerLine = 0xFFFFFFFF;
  page.height = 0xFFFFFFFF;  // the product needs 64 bits
  std::string stream = rasterStream({page});
  EXPECT_THROW(readAllPages(stream), CUPSFormatException);

  page.bytesPerLine = 1 << 20;
  page.height = 257;  // just over 256 MiB
  EXPECT_THROW(readAllPages(rasterStream({page})), CUPSFormatException);
}

TEST(RasterReaderTest, VersionTwoDecodesToTheSameBytes) {
  std::vector<TestPage> pages;
  pages.push_back(OrnTest::randomBitmapPage(203, 40, 7, 0.05));
  pages.push_back(OrnTest::randomGreyPage(31, 9, 8));
  TestPage blank;
  blank.width = 800;
  blank.height = 300;  // more equal rows than one repeat byte covers
  blank.data.assign(100 * 300, 0);
  pages.push_back(blank);
  TestPage rgb = OrnTest::randomGreyPage(10, 3, 9);
  rgb.bitsPerPixel = 24;
  rgb.data.resize(30 * 3);
  pages.push_back(rgb);
  for (bool big : {true, false}) {
    auto read = readAllPages(rasterStream(pages, 2, big));
    ASSERT_EQ(read.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(read[i], pages[i].data) << i;
  }
}

TEST(RasterReaderTest, VersionTwoMalformedData) {
  TestPage page;
  page.width = 16;
  page.height = 1;
  const std::string head = std::string("RaS2") + rasterHeader(page, 2, true);
  struct Case {
    std::string data;
    bool formatError;  // else input error
  };
  const Case cases[] = {
      {std::string("\0\2\xAA", 3), true},      // run of 3 bytes in a 2-byte row
      {std::string("\0\xFD\1\2\3", 5), true},  // literal of 3 bytes
      {std::string("\0", 1), false},           // row never starts
      {std::string("\0\xFF\1", 3), false},     // literal cut short
      {std::string("\0\0", 2), false},         // run without its pixel
  };
  for (const Case& c : cases) {
    if (c.formatError) {
      EXPECT_THROW(readAllPages(head + c.data), CUPSFormatException);
    } else {
      EXPECT_THROW(readAllPages(head + c.data), IOException);
    }
  }
  // 128 blanks the rest of the row: 0x00 for black-ink colour spaces.
  auto pages = readAllPages(head + std::string("\0\0\xAB\x80", 4));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], (std::vector<uint8_t>{0xAB, 0x00}));
}

TEST(RasterReaderTest, VersionTwoRepeatBeyondThePageIsClamped) {
  TestPage page;
  page.width = 8;
  page.height = 2;
  std::string stream =
      std::string("RaS2") + rasterHeader(page, 2, true) + std::string("\5\0\x42", 3);
  auto pages = readAllPages(stream);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], (std::vector<uint8_t>{0x42, 0x42}));
}

TEST(RasterReaderTest, ZeroBitsPerPixelDoesNotDivideByZero) {
  TestPage page;
  page.width = 4;
  page.height = 1;
  page.bitsPerColor = 0;
  page.bitsPerPixel = 0;
  page.bytesPerLine = 2;
  std::string stream = std::string("RaS2") + rasterHeader(page, 2, true) + std::string("\0\1\7", 3);
  auto pages = readAllPages(stream);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0], (std::vector<uint8_t>{7, 7}));
}

// The buffer grows with the decoded data, for either kind of page data: a header
// that promises a page of 256 MiB followed by a byte or two never costs it.
TEST(RasterReaderTest, PromisedPageIsNotAllocatedBeforeItArrives) {
  TestPage page;
  page.width = 256u << 20;
  page.bitsPerColor = page.bitsPerPixel = 8;
  page.height = 1;
  struct Case {
    int version;
    std::string data;
  };
  for (const Case& c : {Case{2, std::string("\0", 1)}, Case{2, std::string("\0\x7F\1", 3)},
                        Case{3, std::string("\1")}}) {
    SCOPED_TRACE(c.version);
    std::istringstream in(std::string(c.version == 2 ? "RaS2" : "RaS3") +
                          rasterHeader(page, c.version, true) + c.data);
    RasterReader reader(in);
    reader.readFormat();
    const PageHeader header = reader.readPageHeader();
    std::vector<uint8_t> data;
    EXPECT_THROW(reader.readPageData(header, data), IOException);
    EXPECT_LE(data.capacity(), size_t{32} << 20);
  }
}
