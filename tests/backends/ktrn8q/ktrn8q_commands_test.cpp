#include "backends/ktrn8q/ktrn8q_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <vector>

#include "backends/ktrn8q/hex.h"

namespace Quillfeather::ktrn8q {
namespace {

using test::toHex;

std::string build(const std::function<void(std::string&)>& builder) {
  std::string out;
  builder(out);
  return out;
}

TEST(KTRN8QCommandsTest, Commands) {
  using B = std::string&;
  const std::pair<std::function<void(std::string&)>, const char*> cases[] = {
      {appendInitialise, "1B 40"},
      {appendKnifeCut, "1B 69"},
      {[](B o) { appendPrint(o, false); }, "1B 0C"},
      {[](B o) { appendPrint(o, true); }, "1F 64"},
      {[](B o) { appendThermalMode(o, ThermalMode::SimplexFront); }, "1F 62 00 00"},
      {[](B o) { appendThermalMode(o, ThermalMode::SimplexBack); }, "1F 62 01 00"},
      {[](B o) { appendThermalMode(o, ThermalMode::Duplex); }, "1F 62 02 00"},
      {[](B o) { appendPrintingSide(o, Side::Front); }, "1F 63 00 00"},
      {[](B o) { appendPrintingSide(o, Side::Back); }, "1F 63 01 00"},
      {[](B o) { appendPageHeight(o, 0x0234); }, "1B 50 34 02"},
      {[](B o) { appendPageHeight(o, 0xFFFF); }, "1B 50 FF FF"},
      {[](B o) { appendFeed(o, 0); }, "1F 61 00 00"},
      {[](B o) { appendFeed(o, 3); }, "1F 61 03 00"},
      {[](B o) { appendFeed(o, 0x1234); }, "1F 61 34 12"},
      {[](B o) { appendFeed(o, 65535); }, "1F 61 FF FF"},
      {[](B o) { appendFeed(o, 65536); }, "1F 61 FF FF 1F 61 01 00"},
      {[](B o) { appendFeed(o, 131070); }, "1F 61 FF FF 1F 61 FF FF"},
      {[](B o) { appendFeed(o, 131071); }, "1F 61 FF FF 1F 61 FF FF 1F 61 01 00"},
  };
  for (const auto& [builder, hex] : cases) EXPECT_EQ(toHex(build(builder)), hex);
  // Whatever the count, the feeds add up to it.
  for (uint64_t rows : {uint64_t{65534}, uint64_t{200000}, uint64_t{0xFFFFFF}}) {
    const std::string out = build([&](B o) { appendFeed(o, rows); });
    uint64_t total = 0;
    for (size_t i = 0; i + 4 <= out.size(); i += 4) {
      EXPECT_EQ(toHex(out.substr(i, 2)), "1F 61");
      total += static_cast<uint8_t>(out[i + 2]) | static_cast<uint8_t>(out[i + 3]) << 8;
    }
    EXPECT_EQ(total, rows);
    EXPECT_EQ(out.size() % 4, 0u);
  }
}

TEST(KTRN8QCommandsTest, RowsAreCentredOrCut) {
  // Bytes per row; left padding, data and right padding.
  const std::pair<size_t, std::array<size_t, 3>> cases[] = {
      {0, {54, 0, 54}},   {1, {53, 1, 54}},   {100, {4, 100, 4}},
      {101, {3, 101, 4}}, {106, {1, 106, 1}}, {107, {0, 107, 1}},
      {108, {0, 108, 0}}, {109, {0, 108, 0}}, {120, {0, 108, 0}}};
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    const RowGeometry geometry = rowGeometry(bytes);
    EXPECT_EQ((std::array{geometry.left, geometry.data, geometry.right}), expected);
    std::vector<uint8_t> row(bytes);
    std::iota(row.begin(), row.end(), uint8_t{1});
    const std::string out = build([&](std::string& o) { appendRasterRow(o, row, geometry); });
    EXPECT_EQ(out, test::fromHex("1B 2E 00 01 00 00") + std::string(expected[0], '\0') +
                       std::string(row.begin(), row.begin() + static_cast<long>(expected[1])) +
                       std::string(expected[2], '\0'));
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
