// Real labels: the sample rendered by Ghostscript through gstoraster, printed
// as ZPL by the filter and decoded back, must equal the pages libcups reads.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "e2e_support.h"
#include "orntool/preview_zpl.h"

using namespace OrnTest;
namespace fs = std::filesystem;

namespace {

struct CupsPage {
  unsigned width, height, bytesPerLine;
  std::vector<uint8_t> data;
};

std::vector<CupsPage> pagesByLibcups(const std::string& path) {
  std::vector<CupsPage> pages;
  int fd = open(path.c_str(), O_RDONLY);
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_READ);
  cups_page_header2_t h;
  while (cupsRasterReadHeader2(r, &h)) {
    CupsPage page{h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, {}};
    page.data.resize(size_t{h.cupsBytesPerLine} * h.cupsHeight);
    cupsRasterReadPixels(r, page.data.data(), static_cast<unsigned>(page.data.size()));
    pages.push_back(std::move(page));
  }
  cupsRasterClose(r);
  close(fd);
  return pages;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

class ZplGhostscriptTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ZplGhostscriptTest, LabelsDecodeToThePages) {
  if (!fs::exists("/usr/lib/cups/filter/gstoraster")) GTEST_SKIP() << "gstoraster missing";
  const std::string options = GetParam();
  const std::string dir = fs::path(writeTempFile("zpl-" + options + ".keep", "")).parent_path();
  const std::string pdf = dir + "/label-" + options + ".pdf";
  const std::string ras = dir + "/label-" + options + ".ras";
  const std::string cmd = "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o '" + pdf + "' '" +
                          sourcePath("samples/label.ps") + "' && PPD='" +
                          sourcePath("tests/data/gs_label.ppd") +
                          "' /usr/lib/cups/filter/gstoraster 1 t t 1 '" + options + "' '" + pdf +
                          "' > '" + ras + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);

  const std::vector<CupsPage> pages = pagesByLibcups(ras);
  ASSERT_EQ(pages.size(), 3u);
  ProcessResult r = runFilter(sourcePath("models/orn-zpl.ppd"), slurp(ras), "ZPLCompression=None");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto labels =
      OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size()));
  ASSERT_EQ(labels.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const CupsPage& page = pages[i];
    const Tesselin::Bitmap& label = labels[i].bitmap;
    // 8-bit pages are thresholded at half darkness: raster value above 127 is black.
    const bool gray = options.find("300dpi8") != std::string::npos;
    ASSERT_LE(label.height(), page.height);
    size_t inked = 0;
    for (unsigned y = 0; y < page.height; ++y) {
      const uint8_t* row = page.data.data() + size_t{y} * page.bytesPerLine;
      for (unsigned x = 0; x < page.width; ++x) {
        const bool black = gray ? row[x] > 127 : (row[x / 8] & (0x80 >> (x % 8))) != 0;
        const bool got = x < label.width() && y < label.height() && label.getPixel(x, y);
        ASSERT_EQ(got, black) << "label " << i << " at " << x << "," << y;
        inked += got;
      }
    }
    EXPECT_GT(inked, 1000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ZplGhostscriptTest,
                         ::testing::Values("Resolution=203dpi", "Resolution=300dpi",
                                           "Resolution=300dpi8"));
