// The decoders on what the real filter writes: pages built in memory go through rastertoorn
// with the shipped PPDs, and the pictures decoded from its output must show those pages dot
// for dot. orntool preview itself writes PNGs that libpng reads back the same, and reports
// damaged input in one line.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>

#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_zpl.h"
#include "preview_test_util.h"
#include "support/process.h"
#include "support/raster_builder.h"

using namespace OrnTool;
using namespace PreviewTest;
namespace fs = std::filesystem;

namespace {

// A 4 x 6 in, 203 dpi, 1-bit page of bars and boxes, like a label (SKARN keeps it small).
Tesselin::Bitmap labelPage(uint32_t seed) {
  std::mt19937 random(seed);
  Tesselin::Bitmap page(812, 1218);
  for (int box = 0; box < 12; ++box) {
    const uint32_t left = random() % 780, top = 20 + random() % 1100;
    const uint32_t width = 1 + random() % (812 - left), height = 1 + random() % 90;
    for (uint32_t y = top; y < std::min(top + height, 1200u); ++y) {
      for (uint32_t x = left; x < left + width; ++x) page.setPixel(x, y, (x / 3 + y) % 5 != 0);
    }
  }
  return page;
}

// The filter's output for the pages, with a shipped PPD.
std::string printed(const std::string& language, const std::string& options,
                    const std::vector<Tesselin::Bitmap>& pages) {
  std::vector<OrnTest::TestPage> raster(pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    raster[i].width = 812;
    raster[i].height = 1218;
    raster[i].resolution = 203;
    raster[i].data = pages[i].data();
  }
  const auto r =
      OrnTest::runFilter(OrnTest::modelPPD(language), OrnTest::rasterStream(raster), options);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  return r.out;
}

// Each language's pictures: as wide as its head (the page centred on it) and as tall as the
// page, except that ZPL ends the label with its last inked row. KT-RN8Q prints three pages
// on two sheets, the last back blank.
TEST(PreviewOfFilterOutput, DecodedPicturesShowThePages) {
  const struct {
    const char *language, *options;
    uint32_t width, left;
  } cases[] = {
      {"lxpr", "Compression=Auto", 812, 0},
      {"lxpr", "Compression=SKARN LabelGap=Custom.7.5", 812, 0},
      {"lxpr", "Compression=None CommandCharacters=Unreadable", 812, 0},
      {"zpl", "PrintSpeed=3 ZPLCompression=None", 816, 0},
      {"ktrn8q", "Duplex=DuplexNoTumble CuttingMode=EveryPage", 864, 24},
  };
  uint32_t seed = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + c.options);
    std::vector<Tesselin::Bitmap> pages = {labelPage(++seed), labelPage(++seed)};
    if (c.left) pages.push_back(labelPage(++seed));
    const std::string data = printed(c.language, c.options, pages);
    const auto pictures = c.left           ? decodeKtrn8q(bytesOf(data))
                          : c.width == 816 ? decodeZpl(bytesOf(data))
                                           : decodeLxpr(bytesOf(data), 203);
    ASSERT_EQ(pictures.size(), pages.size() + (c.left ? 1 : 0));
    for (size_t i = 0; i < pages.size(); ++i) {
      const Tesselin::Bitmap& picture = pictures[i].bitmap;
      ASSERT_EQ(picture.width(), c.width);
      const uint32_t height = c.width == 816 ? picture.height() : 1218;
      ASSERT_EQ(picture.height(), height);
      EXPECT_EQ(picture.data(), placed(pages[i], c.width, height, c.left, 0).data()) << i;
      if (height < 1218) {  // no ink on the page below the label
        const Tesselin::Bitmap label = placed(picture, 812, 1218, 0, 0);
        EXPECT_EQ(placed(pages[i], 812, 1218, 0, 0, label).data(), label.data()) << i;
      }
    }
    if (c.left) {
      EXPECT_EQ(pictures[3].name, "ticket-2-back");
      EXPECT_FALSE(hasInk(pictures[3].bitmap));
    }
  }
}

#ifdef ORN_ORNTOOL_PATH
OrnTest::CommandResult orntool(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {ORN_ORNTOOL_PATH, "preview"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return OrnTest::runCommand(argv, {}, std::chrono::seconds(60));
}

TEST(PreviewCommand, WritesOnePngPerLabelThatLibpngReadsBack) {
  const std::string job =
      OrnTest::writeTempFile("job.zpl", printed("zpl", "", {labelPage(8), labelPage(9)}));
  const std::string folder = job + ".pictures";
  const auto result = orntool({"--language", "zpl", job, folder});
  ASSERT_EQ(result.exitStatus, 0) << result.output;
  const auto labels = decodeZpl(bytesOf(OrnTest::fileContents(job)));
  ASSERT_EQ(labels.size(), 2u);
  for (const auto& label : labels) {
    const std::string png = folder + "/" + label.name + ".png";
    EXPECT_NE(result.output.find(png), std::string::npos) << result.output;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.c_str())) << image.message;
    ASSERT_EQ(image.width, label.bitmap.width());
    ASSERT_EQ(image.height, label.bitmap.height());
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
    for (uint32_t y = 0; y < image.height; ++y) {
      for (uint32_t x = 0; x < image.width; ++x) {
        ASSERT_EQ(grey[size_t{y} * image.width + x], label.bitmap.getPixel(x, y) ? 0 : 255);
      }
    }
  }
  EXPECT_FALSE(fs::exists(folder + "/label-3.png"));
  fs::remove_all(folder);
}

TEST(PreviewCommand, DamagedOrUnknownInputGivesOneErrorLine) {
  const std::string damaged = OrnTest::writeTempFile("damaged.zpl", "~DGR:PAGE.GRF,4,2,\n80ZZ");
  const std::string empty = OrnTest::writeTempFile("empty", "");
  const std::string out = damaged + ".out";
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"--language", "zpl", damaged, out},
                                             {"--language", "lxpr", damaged, out},
                                             {"--language=lxpr", "--dpi", "300", damaged, out},
                                             {"--language", "ktrn8q", empty, out},
                                             {"--language", "zpl", damaged + ".missing", out}}) {
    const auto result = orntool(arguments);
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    EXPECT_EQ(result.output.rfind("orntool preview: ", 0), 0u) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  }
  // All of a file is read, also a last byte alone in its block.
  EXPECT_EQ(orntool({"--language", "zpl", OrnTest::writeTempFile("one-byte", "X"), out}).output,
            "orntool preview: ZPL data, command at offset 0: text outside a command\n");
  // A wrong command line is a usage error.
  EXPECT_EQ(orntool({"--language", "pcl", "a", "b"}).exitStatus, 2);
  EXPECT_EQ(orntool({"--language", "lxpr", "--dpi", "601", damaged, out}).exitStatus, 2);
}
#endif

}  // namespace
