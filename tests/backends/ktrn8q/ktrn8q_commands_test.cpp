#include "backends/ktrn8q/ktrn8q_commands.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "backends/ktrn8q/hex.h"

namespace Quillfeather::ktrn8q {
namespace {

using test::fromHex;
using test::toHex;

template <typename Builder>
std::string build(Builder builder) {
  std::string out;
  builder(out);
  return out;
}

TEST(KTRN8QCommandsTest, FixedCommands) {
  EXPECT_EQ(toHex(build(appendInitialise)), "1B 40");
  EXPECT_EQ(toHex(build(appendKnifeCut)), "1B 69");
  EXPECT_EQ(toHex(build([](std::string& o) { appendPrint(o, false); })), "1B 0C");
  EXPECT_EQ(toHex(build([](std::string& o) { appendPrint(o, true); })), "1F 64");
}

TEST(KTRN8QCommandsTest, ThermalModeAndSide) {
  EXPECT_EQ(toHex(build([](std::string& o) { appendThermalMode(o, ThermalMode::SimplexFront); })),
            "1F 62 00 00");
  EXPECT_EQ(toHex(build([](std::string& o) { appendThermalMode(o, ThermalMode::SimplexBack); })),
            "1F 62 01 00");
  EXPECT_EQ(toHex(build([](std::string& o) { appendThermalMode(o, ThermalMode::Duplex); })),
            "1F 62 02 00");
  EXPECT_EQ(toHex(build([](std::string& o) { appendPrintingSide(o, Side::Front); })),
            "1F 63 00 00");
  EXPECT_EQ(toHex(build([](std::string& o) { appendPrintingSide(o, Side::Back); })), "1F 63 01 00");
}

TEST(KTRN8QCommandsTest, PageHeightIsLowByteFirst) {
  EXPECT_EQ(toHex(build([](std::string& o) { appendPageHeight(o, 0x0234); })), "1B 50 34 02");
  EXPECT_EQ(toHex(build([](std::string& o) { appendPageHeight(o, 0xFFFF); })), "1B 50 FF FF");
}

struct FeedCase {
  uint64_t rows;
  const char* hex;
};

class KTRN8QFeedTest : public ::testing::TestWithParam<FeedCase> {};

TEST_P(KTRN8QFeedTest, SplitsAt65535) {
  EXPECT_EQ(toHex(build([](std::string& o) { appendFeed(o, GetParam().rows); })), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, KTRN8QFeedTest,
    ::testing::Values(FeedCase{0, "1F 61 00 00"}, FeedCase{1, "1F 61 01 00"},
                      FeedCase{3, "1F 61 03 00"}, FeedCase{0x1234, "1F 61 34 12"},
                      FeedCase{65535, "1F 61 FF FF"}, FeedCase{65536, "1F 61 FF FF 1F 61 01 00"},
                      FeedCase{131070, "1F 61 FF FF 1F 61 FF FF"},
                      FeedCase{131071, "1F 61 FF FF 1F 61 FF FF 1F 61 01 00"}));

// Whatever the count, the commands' counts add up to it and none exceeds 16 bits.
TEST(KTRN8QCommandsTest, FeedCountsAddUp) {
  for (uint64_t rows : {uint64_t{2}, uint64_t{65534}, uint64_t{200000}, uint64_t{0xFFFFFF}}) {
    const std::string out = build([&](std::string& o) { appendFeed(o, rows); });
    ASSERT_EQ(out.size() % 4, 0u);
    uint64_t total = 0;
    for (std::size_t i = 0; i < out.size(); i += 4) {
      ASSERT_EQ(out.substr(i, 2), fromHex("1F 61"));
      total += static_cast<uint8_t>(out[i + 2]) | static_cast<uint8_t>(out[i + 3]) << 8;
    }
    EXPECT_EQ(total, rows);
  }
}

struct GeometryCase {
  std::size_t bytesPerRow;
  std::size_t left;
  std::size_t data;
  std::size_t right;
};

class KTRN8QGeometryTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(KTRN8QGeometryTest, CentresOrTruncates) {
  const GeometryCase& c = GetParam();
  const RowGeometry geometry = rowGeometry(c.bytesPerRow);
  EXPECT_EQ(geometry.left, c.left);
  EXPECT_EQ(geometry.data, c.data);
  EXPECT_EQ(geometry.right, c.right);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, KTRN8QGeometryTest,
    ::testing::Values(GeometryCase{0, 54, 0, 54}, GeometryCase{1, 53, 1, 54},
                      GeometryCase{100, 4, 100, 4}, GeometryCase{101, 3, 101, 4},
                      GeometryCase{106, 1, 106, 1}, GeometryCase{107, 0, 107, 1},
                      GeometryCase{108, 0, 108, 0}, GeometryCase{109, 0, 108, 0},
                      GeometryCase{120, 0, 108, 0}));

TEST(KTRN8QCommandsTest, RasterRowPadsBothSides) {
  std::vector<uint8_t> row(101);
  std::iota(row.begin(), row.end(), uint8_t{1});
  const std::string out =
      build([&](std::string& o) { appendRasterRow(o, row, rowGeometry(row.size())); });
  ASSERT_EQ(out.size(), 6u + 108u);
  EXPECT_EQ(out.substr(0, 6), fromHex("1B 2E 00 01 00 00"));
  EXPECT_EQ(out.substr(6, 3), std::string(3, '\0'));
  EXPECT_EQ(out.substr(9, 101), std::string(row.begin(), row.end()));
  EXPECT_EQ(out.substr(110, 4), std::string(4, '\0'));
}

TEST(KTRN8QCommandsTest, RasterRowKeepsFirst108Bytes) {
  std::vector<uint8_t> row(120);
  std::iota(row.begin(), row.end(), uint8_t{1});
  const std::string out =
      build([&](std::string& o) { appendRasterRow(o, row, rowGeometry(row.size())); });
  ASSERT_EQ(out.size(), 6u + 108u);
  EXPECT_EQ(out.substr(6), std::string(row.begin(), row.begin() + 108));
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
