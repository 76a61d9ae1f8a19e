// A real raster job: the sample label rendered by Ghostscript through CUPS's
// gstoraster filter, read by our reader and by libcups's.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "raster/raster_reader.h"

using namespace Quillfeather;
namespace fs = std::filesystem;

namespace {

const char* kGstoraster = "/usr/lib/cups/filter/gstoraster";

std::string renderSample(const fs::path& dir, const std::string& options) {
  const std::string src = ORN_SOURCE_DIR;
  const fs::path pdf = dir / "label.pdf";
  const fs::path ras = dir / "label.ras";
  std::string cmd = "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o '" + pdf.string() +
                    "' '" + src + "/samples/label.ps' && PPD='" + src +
                    "/tests/data/gs_label.ppd' " + kGstoraster + " 1 test label 1 '" + options +
                    "' '" + pdf.string() + "' > '" + ras.string() + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return {};
  std::ifstream in(ras, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

class GhostscriptRasterTest : public ::testing::TestWithParam<std::pair<const char*, unsigned>> {};

TEST_P(GhostscriptRasterTest, ReadsLikeLibcups) {
  if (!fs::exists(kGstoraster) || std::system("command -v gs >/dev/null") != 0) {
    GTEST_SKIP() << "Ghostscript or gstoraster missing";
  }
  const auto [options, dpi] = GetParam();
  const fs::path dir = fs::temp_directory_path() / ("orn-gs-" + std::to_string(getpid()) + options);
  fs::create_directories(dir);
  const std::string stream = renderSample(dir, options);
  ASSERT_FALSE(stream.empty());

  // libcups's view of the same bytes.
  const fs::path ras = dir / "label.ras";
  int fd = open(ras.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_READ);

  std::istringstream in(stream);
  RasterReader reader(in);
  reader.readFormat();
  int pages = 0;
  cups_page_header2_t h;
  while (cupsRasterReadHeader2(r, &h)) {
    ASSERT_FALSE(reader.atEnd());
    PageHeader ours = reader.readPageHeader();
    EXPECT_EQ(ours.cupsWidth, h.cupsWidth);
    EXPECT_EQ(ours.cupsHeight, h.cupsHeight);
    EXPECT_EQ(ours.cupsBytesPerLine, h.cupsBytesPerLine);
    EXPECT_EQ(ours.cupsBitsPerPixel, h.cupsBitsPerPixel);
    EXPECT_EQ(ours.HWResolution[0], dpi);
    EXPECT_EQ(ours.PageSize[0], 288u);
    EXPECT_EQ(ours.PageSize[1], 432u);
    EXPECT_EQ(ours.cupsWidth, 4 * dpi);
    std::vector<uint8_t> expected(size_t{h.cupsBytesPerLine} * h.cupsHeight);
    ASSERT_EQ(cupsRasterReadPixels(r, expected.data(), static_cast<unsigned>(expected.size())),
              expected.size());
    const std::vector<uint8_t> data = reader.readPageData(ours);
    EXPECT_EQ(data, expected);
    EXPECT_TRUE(std::any_of(data.begin(), data.end(), [](uint8_t b) { return b != 0; }));
    ++pages;
  }
  EXPECT_TRUE(reader.atEnd());
  EXPECT_EQ(pages, 3);
  cupsRasterClose(r);
  close(fd);
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, GhostscriptRasterTest,
                         ::testing::Values(std::make_pair("", 203u),
                                           std::make_pair("Resolution=300dpi", 300u),
                                           std::make_pair("Resolution=300dpi8", 300u)));
