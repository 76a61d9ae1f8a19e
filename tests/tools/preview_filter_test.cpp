// The decoders on what the real filter writes: pages built in memory go through rastertoorn
// with the shipped PPDs, and the pictures decoded from its output must show those pages dot
// for dot. orntool preview itself writes PNGs that libpng reads back the same, and reports
// damaged input in one line.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

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

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("orn-preview-test-" + std::to_string(getpid()))) {
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 4 x 6 in, 203 dpi, 1-bit page of bars and boxes, like a label (SKARN keeps it small).
OrnTest::TestPage labelPage(uint32_t seed) {
  std::mt19937 random(seed);
  Tesselin::Bitmap page(812, 1218);
  for (int box = 0; box < 12; ++box) {
    const uint32_t left = random() % 780, top = 20 + random() % 1100;
    const uint32_t width = 1 + random() % (812 - left), height = 1 + random() % 90;
    for (uint32_t y = top; y < std::min(top + height, 1200u); ++y) {
      for (uint32_t x = left; x < left + width; ++x) page.setPixel(x, y, (x / 3 + y) % 5 != 0);
    }
  }
  OrnTest::TestPage raster;
  raster.width = 812;
  raster.height = 1218;
  raster.resolution = 203;
  raster.data = page.data();
  return raster;
}

Tesselin::Bitmap asBitmap(const OrnTest::TestPage& page) {
  return Tesselin::Bitmap(page.data, page.width, page.height);
}

// Runs the filter as CUPS would with a shipped PPD; returns its standard output.
std::string runFilter(const TempDir& dir, const std::string& model, const std::string& options,
                      const std::vector<OrnTest::TestPage>& pages) {
  const fs::path raster = dir / "job.ras";
  std::ofstream(raster, std::ios::binary) << OrnTest::rasterStream(pages);
  const fs::path output = dir / "job.out";
  const auto result =
      OrnTest::runCommand({std::string(ORN_BINARY_DIR) + "/rastertoorn", "7", "tester",
                           "Preview test", "1", options, raster.string()},
                          {{"PPD", std::string(ORN_SOURCE_DIR) + "/models/" + model + ".ppd"}},
                          std::chrono::seconds(60), output.string());
  EXPECT_EQ(result.exitStatus, 0) << result.output;
  return readFile(output);
}

TEST(PreviewOfFilterOutput, LxprLabelsShowThePagesInEveryCompressionAndFraming) {
  const TempDir dir;
  const std::vector<OrnTest::TestPage> pages = {labelPage(1), labelPage(2)};
  for (const std::string options : {"Compression=Auto", "Compression=SKARN LabelGap=Custom.7.5",
                                    "Compression=None CommandCharacters=Unreadable"}) {
    SCOPED_TRACE(options);
    const std::string data = runFilter(dir, "orn-lxpr", options, pages);
    const auto labels = decodeLxpr(bytesOf(data), 203);
    ASSERT_EQ(labels.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(labels[i].bitmap.width(), 812u);
      EXPECT_EQ(labels[i].bitmap.height(), 1218u);
      EXPECT_EQ(labels[i].bitmap.data(), asBitmap(pages[i]).data()) << "label " << i + 1;
    }
  }
}

TEST(PreviewOfFilterOutput, ZplLabelsShowThePages) {
  const TempDir dir;
  const std::vector<OrnTest::TestPage> pages = {labelPage(3), labelPage(4)};
  const std::string data = runFilter(dir, "orn-zpl", "PrintSpeed=3 ZPLCompression=None", pages);
  const auto labels = decodeZpl(bytesOf(data));
  ASSERT_EQ(labels.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const Tesselin::Bitmap page = asBitmap(pages[i]);
    const Tesselin::Bitmap& label = labels[i].bitmap;
    ASSERT_EQ(label.width(), 816u);
    ASSERT_LE(label.height(), page.height());
    // The label ends with the last inked row; the page holds nothing below it.
    for (uint32_t y = 0; y < page.height(); ++y) {
      for (uint32_t x = 0; x < 816; ++x) {
        const bool expected = x < 812 && page.getPixel(x, y);
        const bool got = y < label.height() && label.getPixel(x, y);
        ASSERT_EQ(got, expected) << "label " << i + 1 << " at " << x << "," << y;
      }
    }
  }
}

TEST(PreviewOfFilterOutput, Ktrn8qSidesShowThePagesCentredOnTheHead) {
  const TempDir dir;
  const std::vector<OrnTest::TestPage> pages = {labelPage(5), labelPage(6), labelPage(7)};
  const std::string data =
      runFilter(dir, "orn-ktrn8q", "Duplex=DuplexNoTumble CuttingMode=EveryPage", pages);
  const auto sides = decodeKtrn8q(bytesOf(data));
  ASSERT_EQ(sides.size(), 4u);
  EXPECT_EQ(sides[2].name, "ticket-2-front");
  EXPECT_EQ(sides[3].name, "ticket-2-back");
  EXPECT_FALSE(hasInk(sides[3].bitmap));
  for (size_t i = 0; i < 3; ++i) {
    // 102 bytes a row are sent with 3 zero bytes on either side.
    EXPECT_EQ(sides[i].bitmap.data(), placed(asBitmap(pages[i]), 864, 1218, 24, 0).data())
        << sides[i].name;
  }
}

#ifdef ORN_ORNTOOL_PATH
TEST(PreviewCommand, WritesOnePngPerLabelThatLibpngReadsBack) {
  const TempDir dir;
  const std::vector<OrnTest::TestPage> pages = {labelPage(8), labelPage(9)};
  std::ofstream(dir / "job.zpl", std::ios::binary) << runFilter(dir, "orn-zpl", "", pages);
  const auto result = OrnTest::runCommand({ORN_ORNTOOL_PATH, "preview", "--language", "zpl",
                                           (dir / "job.zpl").string(), (dir / "pictures").string()},
                                          {}, std::chrono::seconds(60));
  ASSERT_EQ(result.exitStatus, 0) << result.output;
  const auto labels = decodeZpl(bytesOf(readFile(dir / "job.zpl")));
  ASSERT_EQ(labels.size(), 2u);
  for (const auto& label : labels) {
    const fs::path png = dir / "pictures" / (label.name + ".png");
    EXPECT_NE(result.output.find(png.string()), std::string::npos) << result.output;
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
  EXPECT_FALSE(fs::exists(dir / "pictures/label-3.png"));
}

TEST(PreviewCommand, DamagedOrUnknownInputGivesOneErrorLine) {
  const TempDir dir;
  std::ofstream(dir / "damaged.zpl", std::ios::binary) << "~DGR:PAGE.GRF,4,2,\n80ZZ";
  std::ofstream(dir / "empty", std::ios::binary) << "";
  const std::vector<std::vector<std::string>> runs = {
      {"--language", "zpl", (dir / "damaged.zpl").string(), (dir / "out").string()},
      {"--language", "lxpr", (dir / "damaged.zpl").string(), (dir / "out").string()},
      {"--language", "ktrn8q", (dir / "empty").string(), (dir / "out").string()},
      {"--language", "zpl", (dir / "missing").string(), (dir / "out").string()},
  };
  for (const auto& arguments : runs) {
    std::vector<std::string> argv = {ORN_ORNTOOL_PATH, "preview"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto result = OrnTest::runCommand(argv, {}, std::chrono::seconds(30));
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    EXPECT_EQ(result.output.rfind("orntool preview: ", 0), 0u) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  }
  // A wrong command line is a usage error.
  const auto usage = OrnTest::runCommand(
      {ORN_ORNTOOL_PATH, "preview", "--language", "pcl", "a", "b"}, {}, std::chrono::seconds(30));
  EXPECT_EQ(usage.exitStatus, 2) << usage.output;
}
#endif

}  // namespace
