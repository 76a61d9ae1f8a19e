#include "backends/zpl/zpl_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "backends/zpl/zpl_graphic.h"
#include "backends/zpl/zpl_z64.h"
#include "orntool/preview_zpl.h"
#include "orntool/preview_zpl_graphic.h"
#include "support/raster_builder.h"

using namespace Quillfeather;
using OrnTest::TestPage;

namespace {

std::string runZpl(const std::vector<TestPage>& pages, const std::string& options = "") {
  JobSettings settings;
  settings.parseOptions(options);
  std::istringstream in(OrnTest::rasterStream(pages));
  std::ostringstream out;
  ZPLFilter filter(in, out, settings);
  filter.run();
  EXPECT_FALSE(filter.hasFailed());
  return out.str();
}

TestPage pageOf(uint32_t width, uint32_t height, std::vector<uint8_t> data = {}) {
  TestPage page = OrnTest::bitmapPage(width, height);
  if (!data.empty()) page.data = std::move(data);
  return page;
}

// The graphic's data after its header, which must carry the true sizes.
std::string encode(const std::vector<uint8_t>& rows, size_t width, ZplCompression compression) {
  std::string out;
  appendZplGraphic(out, "R:T.GRF", rows, width, compression);
  const std::string header =
      "~DGR:T.GRF," + std::to_string(rows.size()) + "," + std::to_string(width) + ",\n";
  EXPECT_EQ(out.substr(0, header.size()), header);
  return out.substr(header.size());
}

// Rows of every kind the encoder treats apart: random dots, all 0x00, all 0xFF, a copy of the
// row before, and long runs of one digit that start or end the row or sit inside it.
std::vector<uint8_t> mixedRows(size_t width, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> rows;
  for (int kind = 0; kind < 14; ++kind) {
    std::vector<uint8_t> row(width);
    for (uint8_t& b : row) b = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0);
    const size_t from = kind % 7 == 4 ? 0 : random() % width;
    const size_t to = kind % 7 == 5 ? width : from + random() % (width - from + 1);
    if (kind % 7 == 1 || kind % 7 == 2) std::fill(row.begin(), row.end(), kind % 7 == 1 ? 0 : 0xFF);
    if (kind % 7 == 3) row.assign(rows.end() - static_cast<long>(width), rows.end());
    if (kind % 7 >= 4) std::fill(row.begin() + from, row.begin() + to, random() % 16 * 0x11);
    rows.insert(rows.end(), row.begin(), row.end());
  }
  return rows;
}

const std::string kUntitled = "^FX JOB NAME: Untitled^FS\n^PR2,2,\n";

// A label: the graphic's header fields and data, the commands after ^XA, the graphic's place.
std::string label(const std::string& graphic, const std::string& commands, int y = 0) {
  return "~DGR:PAGE.GRF," + graphic + "\n^XA\n" + commands + "^FO0," + std::to_string(y) +
         "\n^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";
}

// Each label the preview draws, as rows of the page's width, must be the page.
void expectLabelsArePages(const std::string& zpl, const std::vector<TestPage>& pages) {
  const auto labels =
      OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(zpl.data()), zpl.size()));
  ASSERT_EQ(labels.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    std::vector<uint8_t> rows;
    for (uint32_t y = 0; y < labels[i].bitmap.height(); ++y) {
      std::vector<uint8_t> row = labels[i].bitmap.getRow(y);
      row.resize(pages[i].rowBytes(), 0);
      rows.insert(rows.end(), row.begin(), row.end());
    }
    // Blank rows below the last inked one need not be sent.
    rows.resize(pages[i].data.size(), 0);
    EXPECT_EQ(rows, pages[i].data) << "label " << i + 1;
  }
}

TEST(ZPLFilterTest, ByteForByte) {
  const TestPage dots = pageOf(16, 6, {0, 0, 0, 0, 0, 0, 0x80, 0x01, 0xFF, 0, 0, 0});
  const TestPage later = pageOf(8, 2, {0, 0x0F});
  const auto blank = [](const std::string& title, const std::string& commands = "^PR2,2,\n") {
    return label("0,1,\n", "^FX JOB NAME: " + title + "^FS\n" + commands);
  };
  TestPage form = pageOf(64, 3);
  form.data[9] = 0x3C;
  const std::string formLabel = label("8,8,\n003C000000000000", kUntitled, 1);
  const std::tuple<std::vector<TestPage>, std::string, std::string> cases[] = {
      {{dots},
       "Title=Box^1~345678901234567890123 PrintSpeed=4",
       label("4,2,\n8001FF00", "^FX JOB NAME: Box_1_34567890123456^FS\n^PR4,4,\n", 3)},
      {{pageOf(20, 4)}, "", label("0,3,\n", kUntitled)},
      {{later, later, later},
       "",
       label("1,1,\n0F", kUntitled, 1) + label("1,1,\n0F", "", 1) + label("1,1,\n0F", "", 1)},
      {{pageOf(8, 1)}, "CutInterval=3 StripLabel=True", blank("Untitled", "^MMC,\n^PR2,2,\n")},
      {{pageOf(8, 1)}, "StripLabel=true PrintSpeed=12", blank("Untitled", "^MMP,\n^PR12,12,\n")},
      {{form}, "", formLabel},
      {{form}, "ZPLCompression=Bogus", formLabel},
      {{form}, "ZPLCompression=Hex", label("8,8,\n003C,", kUntitled, 1)},
  };
  for (const auto& [pages, options, expected] : cases) {
    const std::string out = runZpl(pages, options);
    EXPECT_EQ(out, expected) << options;
    expectLabelsArePages(out, pages);
  }
  const std::string z64 = runZpl({form}, "ZPLCompression=Z64");
  EXPECT_TRUE(z64.starts_with("~DGR:PAGE.GRF,8,8,\n:Z64:")) << z64;
  expectLabelsArePages(z64, {form});
}

TEST(ZPLFilterTest, LineBreaksInsideTheGraphicData) {
  // After the 41st byte of a wide row, after 90 bytes of narrow rows.
  for (const auto& [width, height, fill, gap] :
       {std::tuple{800u, 2u, 0x5A, 82u}, {8u, 90u, 0xC3, 180u}}) {
    TestPage page = pageOf(width, height);
    std::fill(page.data.begin(), page.data.end(), static_cast<uint8_t>(fill));
    const std::string out = runZpl({page});
    const size_t data = out.find(",\n") + 2;
    EXPECT_EQ(out.find('\n', data), data + gap) << width;
  }
}

TEST(ZplGraphicEncoding, CompressedHexRows) {
  const std::tuple<size_t, std::vector<uint8_t>, std::string> cases[] = {
      {1, {0x00}, ","},
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

TEST(ZplGraphicEncoding, EveryFormRoundTrips) {
  // The largest first: the later graphics are deflated into the buffer it leaves.
  for (const size_t width : {4097, 1, 2, 3, 8, 9, 51, 203, 210, 1000}) {
    const std::vector<uint8_t> rows = mixedRows(width, static_cast<uint32_t>(width));
    for (const auto compression :
         {ZplCompression::None, ZplCompression::Hex, ZplCompression::Z64}) {
      const std::string data = encode(rows, width, compression);
      EXPECT_EQ(OrnTool::decodeZplGraphicData(data, rows.size(), width), rows)
          << "width " << width << ", form " << static_cast<int>(compression);
    }
  }
  // The decoder checks each Z64 graphic's CRC with its own bit-by-bit CRC; this is the published
  // check value of the polynomial 0x1021 from 0.
  EXPECT_EQ(zplCrc16("123456789"), 0x31C3);
}

}  // namespace
