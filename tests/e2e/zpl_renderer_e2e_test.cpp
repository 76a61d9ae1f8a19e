// Our ZPL rendered by zpl-renderer-js, a ZPL renderer no one here wrote, must
// show exactly the pages of the raster job. The renderer lacks ^IM, so the
// recall is rewritten to the equivalent ^XG at magnification 1,1. Each form of the
// graphic data is checked.
#include <cups/raster.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "e2e_support.h"

using namespace OrnTest;
namespace fs = std::filesystem;

namespace {

struct Grey {
  unsigned width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

Grey readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Grey grey;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return grey;
  image.format = PNG_FORMAT_GRAY;
  grey.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, grey.pixels.data(), 0, nullptr)) return {};
  grey.width = image.width;
  grey.height = image.height;
  return grey;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

class ZplRendererTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ZplRendererTest, RenderedLabelsEqualThePages) {
  const std::string modules = sourcePath(".deps/node_modules");
  if (std::system("command -v node >/dev/null") != 0 || !fs::exists(modules + "/zpl-renderer-js")) {
    GTEST_SKIP() << "node or zpl-renderer-js missing (scripts/install-deps.sh installs them)";
  }
  const std::string raster = sourcePath("samples/label-203dpi.ras");
  ProcessResult r = runFilter(sourcePath("models/orn-zpl.ppd"), slurp(raster),
                              std::string("ZPLCompression=") + GetParam());
  ASSERT_EQ(r.exitStatus, 0) << r.err;

  // One file per label, with the recall the renderer understands.
  const std::string end = "^IDR:PAGE.GRF^FS\n";
  std::vector<std::string> pngs;
  std::string args;
  size_t start = 0;
  for (size_t pos; (pos = r.out.find(end, start)) != std::string::npos; start = pos + end.size()) {
    std::string label = r.out.substr(start, pos + end.size() - start);
    const std::string recall = "^IMR:PAGE.GRF^FS";
    label.replace(label.find(recall), recall.size(), "^XGR:PAGE.GRF,1,1^FS");
    const std::string index = GetParam() + std::to_string(pngs.size());
    const std::string zpl = writeTempFile("render-" + index + ".zpl", label);
    pngs.push_back(zpl + ".png");
    args += " '" + zpl + "' '" + pngs.back() + "'";
  }
  ASSERT_EQ(pngs.size(), 3u);
  const std::string cmd =
      "node '" + sourcePath("tests/e2e/render_zpl.cjs") + "' '" + modules + "' 101.6 152.4" + args;
  ASSERT_EQ(std::system(cmd.c_str()), 0);

  int fd = open(raster.c_str(), O_RDONLY);
  cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
  cups_page_header2_t h;
  for (const std::string& png : pngs) {
    ASSERT_TRUE(cupsRasterReadHeader2(ras, &h));
    std::vector<uint8_t> page(size_t{h.cupsBytesPerLine} * h.cupsHeight);
    cupsRasterReadPixels(ras, page.data(), static_cast<unsigned>(page.size()));
    const Grey picture = readPng(png);
    ASSERT_GE(picture.width, h.cupsWidth);
    ASSERT_GE(picture.height, h.cupsHeight);
    size_t differences = 0, black = 0;
    for (unsigned y = 0; y < picture.height; ++y) {
      for (unsigned x = 0; x < picture.width; ++x) {
        const bool inked = x < h.cupsWidth && y < h.cupsHeight &&
                           (page[size_t{y} * h.cupsBytesPerLine + x / 8] >> (7 - x % 8)) & 1;
        const bool dark = picture.pixels[size_t{y} * picture.width + x] < 128;
        differences += inked != dark;
        black += dark;
      }
    }
    EXPECT_EQ(differences, 0u) << png;
    EXPECT_GT(black, 10000u) << png;
  }
  cupsRasterClose(ras);
  close(fd);
}

INSTANTIATE_TEST_SUITE_P(Compressions, ZplRendererTest, ::testing::Values("None", "Hex", "Z64"));
