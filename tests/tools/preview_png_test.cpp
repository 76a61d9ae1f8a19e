#include "orntool/preview_png.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>

#include "orntool/preview_image.h"
#include "preview_test_util.h"

using namespace OrnTool;
using namespace PreviewTest;

namespace {

std::string tempPng(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("orn-preview-" + std::to_string(getpid()) + "-" + name + ".png"))
      .string();
}

TEST(PreviewPng, LibpngReadsBackEveryDot) {
  for (uint32_t width : {1u, 7u, 8u, 9u, 813u}) {
    SCOPED_TRACE(width);
    const Tesselin::Bitmap bitmap = randomBitmap(width, 11, width);
    const std::string path = tempPng(std::to_string(width));
    writePng(bitmap, path);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, 11u);
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr)) << image.message;
    for (uint32_t y = 0; y < 11; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        ASSERT_EQ(grey[y * width + x], bitmap.getPixel(x, y) ? 0 : 255) << x << "," << y;
      }
    }
    std::filesystem::remove(path);
  }
}

TEST(PreviewPng, UnwritablePathFailsWithAMessage) {
  const Tesselin::Bitmap bitmap(8, 8);
  try {
    writePng(bitmap, "/nonexistent-folder/x.png");
    FAIL() << "no error";
  } catch (const PreviewError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/x.png"), std::string::npos);
  }
}

}  // namespace
