#include "orntool/preview_image.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace OrnTool;

namespace {

Tesselin::Bitmap randomBitmap(uint32_t width, uint32_t height, std::mt19937& random) {
  Tesselin::Bitmap bitmap(width, height);
  // Random bytes, bits beyond the width included: drawing must ignore those.
  for (auto& byte : bitmap.data()) byte = static_cast<uint8_t>(random());
  return bitmap;
}

TEST(PreviewImage, DrawBitmapMatchesPerDotReference) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const uint32_t canvasWidth = 1 + random() % 70;
    const uint32_t canvasHeight = 1 + random() % 12;
    Tesselin::Bitmap canvas = randomBitmap(canvasWidth, canvasHeight, random);
    for (uint32_t y = 0; y < canvasHeight; ++y) {  // a clean canvas: padding bits clear
      for (uint32_t x = 0; x < canvasWidth; ++x) canvas.setPixel(x, y, random() % 3 == 0);
    }
    for (uint32_t y = 0; y < canvasHeight; ++y) {
      const uint32_t used = canvasWidth % 8;
      if (used != 0) canvas.data()[(y + 1) * canvas.bytesPerRow() - 1] &= 0xFF00 >> used;
    }
    const Tesselin::Bitmap graphic = randomBitmap(1 + random() % 40, 1 + random() % 10, random);
    const uint64_t x = random() % (canvasWidth + 10);
    const uint64_t y = random() % (canvasHeight + 4);

    Tesselin::Bitmap expected = canvas;
    for (uint32_t gy = 0; gy < graphic.height(); ++gy) {
      for (uint32_t gx = 0; gx < graphic.width(); ++gx) {
        if (x + gx < canvasWidth && y + gy < canvasHeight && graphic.getPixel(gx, gy)) {
          expected.setPixel(static_cast<uint32_t>(x + gx), static_cast<uint32_t>(y + gy), true);
        }
      }
    }
    drawBitmap(canvas, graphic, x, y);
    ASSERT_EQ(canvas.data(), expected.data()) << "round " << round << " at " << x << "," << y;
  }
}

TEST(PreviewImage, MakeCanvasRejectsEmptyAndHugeSizes) {
  EXPECT_THROW(makeCanvas(0, 5), PreviewError);
  EXPECT_THROW(makeCanvas(5, 0), PreviewError);
  EXPECT_THROW(makeCanvas(uint64_t{1} << 33, 1), PreviewError);
  EXPECT_THROW(makeCanvas(100000, 100000), PreviewError);
  const Tesselin::Bitmap canvas = makeCanvas(13, 2);
  EXPECT_EQ(canvas.width(), 13u);
  EXPECT_EQ(canvas.height(), 2u);
  EXPECT_FALSE(hasInk(canvas));
}

TEST(PreviewImage, HasInkIgnoresBitsBeyondTheWidth) {
  Tesselin::Bitmap bitmap(10, 3);
  bitmap.data()[bitmap.bytesPerRow() * 2 + 1] = 0x3F;  // only dots 10..15 of the last row
  EXPECT_FALSE(hasInk(bitmap));
  bitmap.setPixel(9, 2, true);
  EXPECT_TRUE(hasInk(bitmap));
}

TEST(PreviewImage, PrintableMessageKeepsOneLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain text, 0-9 ~", "plain text, 0-9 ~"},
      {"a\nb", "a\\x0Ab"},
      {"\r\t", "\\x0D\\x09"},
      {std::string("\0x", 2), "\\x00x"},
      {"\x7f\x80\xff", "\\x7F\\x80\\xFF"},
      {"back\\slash", "back\\\\slash"},
      {"", ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(printableMessage(text), expected) << text;
}

}  // namespace
