#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "backends/zpl/zpl_filter.h"
#include "backends/zpl/zpl_graphic.h"
#include "backends/zpl/zpl_z64.h"
#include "orntool/preview_zpl_graphic.h"
#include "support/raster_builder.h"

using namespace Quillfeather;

namespace {

// The graphic's data after its header, which must carry the true sizes.
std::string encode(const std::vector<uint8_t>& rows, size_t width, ZplCompression compression) {
  std::string out;
  appendZplGraphic(out, "R:T.GRF", rows, width, compression);
  const std::string header =
      "~DGR:T.GRF," + std::to_string(rows.size()) + "," + std::to_string(width) + ",\n";
  EXPECT_EQ(out.substr(0, header.size()), header);
  return out.substr(header.size());
}

// CRC-16, polynomial 0x1021, initial value 0, bit by bit.
uint16_t referenceCrc(std::string_view text) {
  uint16_t crc = 0;
  for (const char c : text) {
    crc ^= static_cast<uint16_t>(static_cast<uint8_t>(c) << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

// Rows of every kind the encoder treats apart: random dots, all 0x00, all 0xFF, a copy of the
// row before, and long runs of one digit that start or end the row or sit inside it.
std::vector<uint8_t> mixedRows(size_t width, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> rows;
  for (int kind = 0; kind < 14; ++kind) {
    std::vector<uint8_t> row(width);
    for (uint8_t& b : row) b = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0);
    switch (kind % 7) {
      case 1:
        std::fill(row.begin(), row.end(), 0x00);
        break;
      case 2:
        std::fill(row.begin(), row.end(), 0xFF);
        break;
      case 3:
        row.assign(rows.end() - static_cast<long>(width), rows.end());
        break;
      case 4:
      case 5:
      case 6: {
        const size_t from = kind % 7 == 4 ? 0 : random() % width;
        const size_t to = kind % 7 == 5 ? width : from + random() % (width - from + 1);
        std::fill(row.begin() + from, row.begin() + to, static_cast<uint8_t>(random() % 16 * 0x11));
        break;
      }
    }
    rows.insert(rows.end(), row.begin(), row.end());
  }
  return rows;
}

TEST(ZplGraphicEncoding, CompressedHexRows) {
  const std::vector<std::tuple<size_t, std::vector<uint8_t>, std::string>> cases = {
      {1, {0x00}, ","},
      {2, {0xFF, 0xFF}, "!"},
      {3, {0x12, 0x22, 0x20}, "1J2,"},
      {3, {0xAB, 0xBB, 0xBC}, "AJBC"},
      {2, {0xAA, 0xBC}, "AABC"},
      {3, {0x00, 0x00, 0x01}, "K01"},
      {2, {0x0F, 0x0F}, "0F0!"},
      {2, {0x12, 0x34, 0x12, 0x34, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34}, "1234:,:1234"},
      {300, std::vector<uint8_t>(300, 0x77), "zY7oG7"},
      {300, std::vector<uint8_t>(300, 0xFF), "!"},
  };
  for (const auto& [width, rows, expected] : cases) {
    EXPECT_EQ(encode(rows, width, ZplCompression::Hex), expected) << expected;
  }
}

TEST(ZplGraphicEncoding, EveryFormRoundTripsThroughThePreviewDecoder) {
  for (const size_t width : {1, 2, 3, 8, 9, 51, 203, 210, 1000, 4097}) {
    const std::vector<uint8_t> rows = mixedRows(width, static_cast<uint32_t>(width));
    for (const auto compression :
         {ZplCompression::None, ZplCompression::Hex, ZplCompression::Z64}) {
      const std::string data = encode(rows, width, compression);
      EXPECT_EQ(OrnTool::decodeZplGraphicData(data, rows.size(), width), rows)
          << "width " << width << ", form " << static_cast<int>(compression);
    }
  }
}

TEST(ZplGraphicEncoding, Z64CarriesTheCrcOfItsBase64Text) {
  EXPECT_EQ(referenceCrc("123456789"), 0x31C3);  // the published check value
  EXPECT_EQ(zplCrc16("123456789"), 0x31C3);
  const std::string data = encode(mixedRows(100, 7), 100, ZplCompression::Z64);
  ASSERT_EQ(data.substr(0, 5), ":Z64:");
  const size_t colon = data.rfind(':');
  char crc[5];
  std::snprintf(crc, sizeof crc, "%04X", referenceCrc(data.substr(5, colon - 5)));
  EXPECT_EQ(data.substr(colon + 1), crc);
}

TEST(ZplGraphicEncoding, SettingChoosesTheForm) {
  OrnTest::TestPage page;
  page.width = 64;
  page.height = 3;
  page.data.assign(24, 0x00);
  page.data[9] = 0x3C;
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"", "~DGR:PAGE.GRF,8,8,\n003C000000000000\n^XA"},
      {"None", "~DGR:PAGE.GRF,8,8,\n003C000000000000\n^XA"},
      {"Bogus", "~DGR:PAGE.GRF,8,8,\n003C000000000000\n^XA"},
      {"Hex", "~DGR:PAGE.GRF,8,8,\n003C,\n^XA"},
      {"Z64", "~DGR:PAGE.GRF,8,8,\n:Z64:"},
  };
  for (const auto& [choice, start] : cases) {
    JobSettings settings;
    if (*choice != '\0') settings.set("ZPLCompression", choice);
    std::istringstream in(OrnTest::rasterStream({page}));
    std::ostringstream out;
    ZPLFilter(in, out, settings).run();
    EXPECT_EQ(out.str().substr(0, std::string(start).size()), start) << choice;
  }
}

}  // namespace
