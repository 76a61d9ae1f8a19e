// Our reader against libcups: pages written by libcups's raster writer (plain,
// compressed and PWG) must read back with the headers libcups's own reader
// reports and with the bytes that were written.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "raster/raster_reader.h"

using namespace Quillfeather;

namespace {

struct OraclePage {
  cups_page_header2_t header;
  std::vector<uint8_t> data;
};

OraclePage makePage(unsigned width, unsigned height, unsigned bits, unsigned seed) {
  OraclePage page;
  std::memset(&page.header, 0, sizeof page.header);
  cups_page_header2_t& h = page.header;
  h.cupsWidth = width;
  h.cupsHeight = height;
  h.cupsBitsPerColor = bits;
  h.cupsBitsPerPixel = bits;
  h.cupsBytesPerLine = (width * bits + 7) / 8;
  h.cupsColorSpace = bits == 1 ? CUPS_CSPACE_K : CUPS_CSPACE_SW;
  h.cupsColorOrder = CUPS_ORDER_CHUNKED;
  h.cupsNumColors = 1;
  h.HWResolution[0] = h.HWResolution[1] = 203;
  h.PageSize[0] = 288;
  h.PageSize[1] = 432;
  h.NumCopies = 2;
  h.Orientation = CUPS_ORIENT_90;
  h.cupsInteger[3] = 77;
  h.cupsReal[1] = 2.5f;
  std::strcpy(h.MediaClass, "PwgRaster");
  std::strcpy(h.cupsPageSizeName, "na_index-4x6_4x6in");
  std::mt19937 rng(seed);
  page.data.resize(size_t{h.cupsBytesPerLine} * height);
  // Blocks of equal rows and runs so that the compressed writer uses every form.
  for (unsigned y = 0; y < height; ++y) {
    uint8_t* row = page.data.data() + y * h.cupsBytesPerLine;
    if (y % 7 == 3 && y > 0) {
      std::memcpy(row, row - h.cupsBytesPerLine, h.cupsBytesPerLine);
      continue;
    }
    for (unsigned x = 0; x < h.cupsBytesPerLine; ++x) {
      row[x] = (x / 9) % 3 == 0 ? 0 : static_cast<uint8_t>(rng());
    }
  }
  return page;
}

std::string writeWithLibcups(const std::vector<OraclePage>& pages, cups_mode_t mode) {
  char path[] = "/tmp/orn-raster-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  cups_raster_t* r = cupsRasterOpen(fd, mode);
  for (const OraclePage& page : pages) {
    cups_page_header2_t h = page.header;
    EXPECT_TRUE(cupsRasterWriteHeader2(r, &h));
    EXPECT_EQ(cupsRasterWritePixels(r, const_cast<unsigned char*>(page.data.data()),
                                    static_cast<unsigned>(page.data.size())),
              page.data.size());
  }
  cupsRasterClose(r);
  close(fd);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path);
  return bytes;
}

std::vector<cups_page_header2_t> headersByLibcups(const std::string& stream) {
  char path[] = "/tmp/orn-raster-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_EQ(write(fd, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
  lseek(fd, 0, SEEK_SET);
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_READ);
  std::vector<cups_page_header2_t> headers;
  cups_page_header2_t h;
  while (cupsRasterReadHeader2(r, &h)) {
    headers.push_back(h);
    std::vector<unsigned char> skip(size_t{h.cupsBytesPerLine} * h.cupsHeight);
    if (!skip.empty()) cupsRasterReadPixels(r, skip.data(), static_cast<unsigned>(skip.size()));
  }
  cupsRasterClose(r);
  close(fd);
  std::remove(path);
  return headers;
}

void expectSameHeader(const PageHeader& ours, const cups_page_header2_t& cups) {
  EXPECT_EQ(ours.MediaClass, cups.MediaClass);
  EXPECT_EQ(ours.HWResolution[0], cups.HWResolution[0]);
  EXPECT_EQ(ours.HWResolution[1], cups.HWResolution[1]);
  EXPECT_EQ(ours.PageSize[0], cups.PageSize[0]);
  EXPECT_EQ(ours.PageSize[1], cups.PageSize[1]);
  EXPECT_EQ(ours.NumCopies, cups.NumCopies);
  EXPECT_EQ(static_cast<unsigned>(ours.Orientation), static_cast<unsigned>(cups.Orientation));
  EXPECT_EQ(ours.cupsWidth, cups.cupsWidth);
  EXPECT_EQ(ours.cupsHeight, cups.cupsHeight);
  EXPECT_EQ(ours.cupsBitsPerColor, cups.cupsBitsPerColor);
  EXPECT_EQ(ours.cupsBitsPerPixel, cups.cupsBitsPerPixel);
  EXPECT_EQ(ours.cupsBytesPerLine, cups.cupsBytesPerLine);
  EXPECT_EQ(ours.cupsColorOrder, static_cast<unsigned>(cups.cupsColorOrder));
  EXPECT_EQ(ours.cupsColorSpace, static_cast<unsigned>(cups.cupsColorSpace));
  EXPECT_EQ(ours.cupsNumColors, cups.cupsNumColors);
  ASSERT_EQ(ours.cupsInteger.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(ours.cupsInteger[i], cups.cupsInteger[i]);
    EXPECT_EQ(ours.cupsReal[i], cups.cupsReal[i]);
    EXPECT_EQ(ours.cupsString[i], cups.cupsString[i]);
  }
  EXPECT_EQ(ours.cupsPageSizeName, cups.cupsPageSizeName);
  EXPECT_EQ(ours.cupsRenderingIntent, cups.cupsRenderingIntent);
}

}  // namespace

class LibcupsOracleTest : public ::testing::TestWithParam<cups_mode_t> {};

TEST_P(LibcupsOracleTest, HeadersAndPixelsMatch) {
  std::vector<OraclePage> pages = {makePage(832, 120, 1, 1), makePage(203, 37, 8, 2),
                                   makePage(13, 300, 1, 3), makePage(1, 1, 8, 4)};
  const std::string stream = writeWithLibcups(pages, GetParam());
  const auto cupsHeaders = headersByLibcups(stream);
  ASSERT_EQ(cupsHeaders.size(), pages.size());

  std::istringstream in(stream);
  RasterReader reader(in);
  reader.readFormat();
  for (size_t i = 0; i < pages.size(); ++i) {
    ASSERT_FALSE(reader.atEnd());
    PageHeader header = reader.readPageHeader();
    expectSameHeader(header, cupsHeaders[i]);
    EXPECT_EQ(reader.readPageData(header), pages[i].data) << "page " << i;
  }
  EXPECT_TRUE(reader.atEnd());
}

INSTANTIATE_TEST_SUITE_P(Modes, LibcupsOracleTest,
                         ::testing::Values(CUPS_RASTER_WRITE, CUPS_RASTER_WRITE_COMPRESSED,
                                           CUPS_RASTER_WRITE_PWG));
