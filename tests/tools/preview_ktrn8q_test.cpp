#include "orntool/preview_ktrn8q.h"

#include <gtest/gtest.h>

#include "preview_test_util.h"

using namespace OrnTool;
using namespace PreviewTest;

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += static_cast<char>(v);
  return text;
}

const std::string kInit = bytes({0x1B, 0x40});
const std::string kFront = bytes({0x1F, 0x63, 0x00, 0x00});
const std::string kBack = bytes({0x1F, 0x63, 0x01, 0x00});
const std::string kSimplexPrint = bytes({0x1B, 0x0C});
const std::string kDuplexPrint = bytes({0x1F, 0x64});
const std::string kCut = bytes({0x1B, 0x69});

std::string mode(int m) { return bytes({0x1F, 0x62, m, 0x00}); }
std::string height(int rows) { return bytes({0x1B, 0x50, rows & 0xFF, rows >> 8}); }
std::string feed(int rows) { return bytes({0x1F, 0x61, rows & 0xFF, rows >> 8}); }
std::string row(const Tesselin::Bitmap& bitmap, uint32_t y) {
  const auto data = bitmap.row(y);
  return bytes({0x1B, 0x2E, 0x00, 0x01, 0x00, 0x00}) + std::string(data.begin(), data.end());
}

TEST(PreviewKtrn8q, SimplexTicketHasItsRowsAndFeeds) {
  const Tesselin::Bitmap page = randomBitmap(864, 3, 5);
  const std::string data = kInit + mode(0) + height(20) + kFront + row(page, 0) + feed(3) +
                           row(page, 1) + row(page, 2) + kSimplexPrint + kCut;
  const auto sides = decodeKtrn8q(bytesOf(data));
  ASSERT_EQ(sides.size(), 1u);
  EXPECT_EQ(sides[0].name, "ticket-1-front");
  ASSERT_EQ(sides[0].bitmap.width(), 864u);
  ASSERT_EQ(sides[0].bitmap.height(), 20u);
  for (uint32_t x = 0; x < 864; ++x) {
    ASSERT_EQ(sides[0].bitmap.getPixel(x, 0), page.getPixel(x, 0));
    ASSERT_EQ(sides[0].bitmap.getPixel(x, 4), page.getPixel(x, 1));
    ASSERT_EQ(sides[0].bitmap.getPixel(x, 5), page.getPixel(x, 2));
    for (uint32_t y : {1u, 2u, 3u, 6u, 19u}) ASSERT_FALSE(sides[0].bitmap.getPixel(x, y));
  }
}

TEST(PreviewKtrn8q, DuplexSheetGivesFrontAndBack) {
  const Tesselin::Bitmap front = randomBitmap(864, 2, 1);
  const Tesselin::Bitmap back = randomBitmap(864, 2, 2);
  const std::string data = kInit + mode(2) + height(2) + kFront + row(front, 0) + row(front, 1) +
                           kBack + row(back, 0) + row(back, 1) + kDuplexPrint + kCut + kFront +
                           row(front, 0) + kBack + kDuplexPrint;
  const auto sides = decodeKtrn8q(bytesOf(data));
  ASSERT_EQ(sides.size(), 4u);
  EXPECT_EQ(sides[0].name, "ticket-1-front");
  EXPECT_EQ(sides[1].name, "ticket-1-back");
  EXPECT_EQ(sides[2].name, "ticket-2-front");
  EXPECT_EQ(sides[3].name, "ticket-2-back");
  EXPECT_EQ(sides[0].bitmap.data(), front.data());
  EXPECT_EQ(sides[1].bitmap.data(), back.data());
  EXPECT_FALSE(hasInk(sides[3].bitmap));
  EXPECT_EQ(sides[3].bitmap.height(), 2u);
}

TEST(PreviewKtrn8q, BackOnlyAndMissingHeight) {
  const Tesselin::Bitmap page = randomBitmap(864, 1, 3, 100);
  const std::string data = kInit + mode(1) + kBack + feed(9) + row(page, 0) + kSimplexPrint;
  const auto sides = decodeKtrn8q(bytesOf(data));
  ASSERT_EQ(sides.size(), 1u);
  EXPECT_EQ(sides[0].name, "ticket-1-back");
  // Without a page height the side is as tall as its rows reach.
  EXPECT_EQ(sides[0].bitmap.height(), 10u);
  EXPECT_TRUE(sides[0].bitmap.getPixel(0, 9));
}

TEST(PreviewKtrn8q, ChainedFeedsAddUp) {
  const Tesselin::Bitmap page = randomBitmap(864, 1, 4, 100);
  const std::string data = kInit + mode(0) + kFront + bytes({0x1F, 0x61, 0xFF, 0xFF}) + feed(1) +
                           row(page, 0) + kSimplexPrint;
  const auto sides = decodeKtrn8q(bytesOf(data));
  ASSERT_EQ(sides.size(), 1u);
  EXPECT_EQ(sides[0].bitmap.height(), 65537u);
  EXPECT_TRUE(sides[0].bitmap.getPixel(5, 65536));
  EXPECT_FALSE(sides[0].bitmap.getPixel(5, 65535));
}

TEST(PreviewKtrn8q, EveryCutShortStreamFailsCleanly) {
  const Tesselin::Bitmap page = randomBitmap(864, 2, 6);
  const std::string one =
      kInit + mode(0) + height(4) + kFront + row(page, 0) + feed(1) + row(page, 1) + kSimplexPrint;
  const std::string two = one + kCut + kFront + row(page, 1) + kSimplexPrint;
  for (size_t length = 0; length < two.size(); ++length) {
    const std::string prefix = two.substr(0, length);
    if (length == one.size() || length == one.size() + kCut.size()) {
      EXPECT_EQ(decodeKtrn8q(bytesOf(prefix)).size(), 1u);
      continue;
    }
    EXPECT_THROW(decodeKtrn8q(bytesOf(prefix)), PreviewError) << "length " << length;
  }
  EXPECT_EQ(decodeKtrn8q(bytesOf(two)).size(), 2u);
}

TEST(PreviewKtrn8q, DamagedDataIsRejected) {
  std::string endless = kInit + kFront;
  for (int i = 0; i < 5; ++i) endless += bytes({0x1F, 0x61, 0xFF, 0xFF});
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"unknown command", kInit + bytes({0x1B, 0x41}) + kSimplexPrint},
      {"text", "hello"},
      {"unknown side", kInit + bytes({0x1F, 0x63, 0x02, 0x00}) + kSimplexPrint},
      {"unknown mode", kInit + mode(3) + kSimplexPrint},
      {"row header", kInit + kFront + bytes({0x1B, 0x2E, 0x00, 0x02, 0x00, 0x00}) +
                         std::string(108, '\0') + kSimplexPrint},
      {"too long", endless + row(randomBitmap(864, 1, 1), 0) + kSimplexPrint},
      {"not printed", kInit + kFront},
      {"no ticket", kInit + mode(0)},
  };
  for (const auto& [what, data] : cases) {
    EXPECT_THROW(decodeKtrn8q(bytesOf(data)), PreviewError) << what;
  }
}

}  // namespace
