// Real labels. The sample rendered by Ghostscript through gstoraster, printed as ZPL by the
// filter and decoded back, must equal the pages libcups reads. And our ZPL rendered by
// zpl-renderer-js, a ZPL renderer no one here wrote, must show exactly the pages of the raster
// job in each form of the graphic data (the renderer lacks ^IM: the recall becomes ^XG at 1,1).
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>

#include "orntool/preview_zpl.h"
#include "support/libcups_pages.h"
#include "support/process.h"

using namespace OrnTest;
namespace fs = std::filesystem;

namespace {

const std::string kSource = ORN_SOURCE_DIR;

}  // namespace

class ZplGhostscriptTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ZplGhostscriptTest, LabelsDecodeToThePages) {
  if (!fs::exists("/usr/lib/cups/filter/gstoraster")) GTEST_SKIP() << "gstoraster missing";
  const std::string options = GetParam();
  const std::string pdf = writeTempFile("label-" + options + ".pdf", "");
  const std::string ras = pdf + ".ras";
  const std::string cmd = "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o '" + pdf + "' '" +
                          kSource + "/samples/label.ps' && PPD='" + kSource +
                          "/tests/data/gs_label.ppd' /usr/lib/cups/filter/gstoraster 1 t t 1 '" +
                          options + "' '" + pdf + "' > '" + ras + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);

  const std::vector<CupsPage> pages = readWithLibcups(ras);
  ASSERT_EQ(pages.size(), 3u);
  const ProcessResult r = runFilter(modelPPD("zpl"), fileContents(ras), "ZPLCompression=None");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto labels =
      OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size()));
  ASSERT_EQ(labels.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const Tesselin::Bitmap& label = labels[i].bitmap;
    ASSERT_LE(label.height(), pages[i].header.cupsHeight);
    size_t inked = 0;
    for (unsigned y = 0; y < pages[i].header.cupsHeight; ++y) {
      for (unsigned x = 0; x < pages[i].header.cupsWidth; ++x) {
        const bool got = x < label.width() && y < label.height() && label.getPixel(x, y);
        ASSERT_EQ(got, pages[i].black(x, y)) << "label " << i << " at " << x << "," << y;
        inked += got;
      }
    }
    EXPECT_GT(inked, 1000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ZplGhostscriptTest,
                         ::testing::Values("Resolution=203dpi", "Resolution=300dpi",
                                           "Resolution=300dpi8"));

class ZplRendererTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ZplRendererTest, RenderedLabelsEqualThePages) {
  const std::string modules = kSource + "/.deps/node_modules";
  if (std::system("command -v node >/dev/null") != 0 || !fs::exists(modules + "/zpl-renderer-js")) {
    GTEST_SKIP() << "node or zpl-renderer-js missing (scripts/install-deps.sh installs them)";
  }
  const std::string raster = kSource + "/samples/label-203dpi.ras";
  const ProcessResult r =
      runFilter(modelPPD("zpl"), fileContents(raster), std::string("ZPLCompression=") + GetParam());
  ASSERT_EQ(r.exitStatus, 0) << r.err;

  const std::string end = "^IDR:PAGE.GRF^FS\n", recall = "^IMR:PAGE.GRF^FS";
  std::vector<std::string> pngs;
  std::string args;
  size_t start = 0;
  for (size_t pos; (pos = r.out.find(end, start)) != std::string::npos; start = pos + end.size()) {
    std::string label = r.out.substr(start, pos + end.size() - start);
    label.replace(label.find(recall), recall.size(), "^XGR:PAGE.GRF,1,1^FS");
    const std::string zpl =
        writeTempFile("render-" + (GetParam() + std::to_string(pngs.size())) + ".zpl", label);
    pngs.push_back(zpl + ".png");
    args += " '" + zpl + "' '" + pngs.back() + "'";
  }
  ASSERT_EQ(pngs.size(), 3u);
  const std::string cmd =
      "node '" + kSource + "/tests/e2e/render_zpl.cjs' '" + modules + "' 101.6 152.4" + args;
  ASSERT_EQ(std::system(cmd.c_str()), 0);

  const std::vector<CupsPage> pages = readWithLibcups(raster);
  ASSERT_EQ(pages.size(), pngs.size());
  for (size_t i = 0; i < pngs.size(); ++i) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, pngs[i].c_str())) << pngs[i];
    image.format = PNG_FORMAT_GRAY;  // dark below 128
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
    ASSERT_GE(image.width, pages[i].header.cupsWidth);
    ASSERT_GE(image.height, pages[i].header.cupsHeight);
    size_t differences = 0, black = 0;
    for (unsigned y = 0; y < image.height; ++y) {
      for (unsigned x = 0; x < image.width; ++x) {
        const bool inked =
            x < pages[i].header.cupsWidth && y < pages[i].header.cupsHeight && pages[i].black(x, y);
        const bool dark = grey[size_t{y} * image.width + x] < 128;
        differences += inked != dark;
        black += dark;
      }
    }
    EXPECT_EQ(differences, 0u) << pngs[i];
    EXPECT_GT(black, 10000u) << pngs[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Compressions, ZplRendererTest, ::testing::Values("None", "Hex", "Z64"));
