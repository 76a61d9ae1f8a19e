#include "backends/zpl/zpl_filter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "orntool/preview_zpl.h"
#include "support/raster_builder.h"

using namespace Quillfeather;
using OrnTest::TestPage;

namespace {

std::string runZpl(const std::vector<TestPage>& pages, const JobSettings& settings) {
  std::istringstream in(OrnTest::rasterStream(pages));
  std::ostringstream out;
  ZPLFilter filter(in, out, settings);
  filter.run();
  EXPECT_FALSE(filter.hasFailed());
  return out.str();
}

TestPage blankPage(uint32_t width, uint32_t height) {
  TestPage page;
  page.width = width;
  page.height = height;
  page.data.assign(size_t{page.rowBytes()} * height, 0);
  return page;
}

const char* kTail = "^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";

std::vector<OrnTool::PreviewImage> decode(const std::string& zpl) {
  return OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(zpl.data()), zpl.size()));
}

// The label's rows, as bytes of the page's row width.
std::vector<uint8_t> labelRows(const Tesselin::Bitmap& label, uint32_t rowBytes) {
  std::vector<uint8_t> rows;
  for (uint32_t y = 0; y < label.height(); ++y) {
    std::vector<uint8_t> row = label.getRow(y);
    row.resize(rowBytes, 0);
    rows.insert(rows.end(), row.begin(), row.end());
  }
  return rows;
}

}  // namespace

TEST(ZPLFilterTest, FirstPageCarriesTheJobCommands) {
  TestPage page = blankPage(16, 6);
  page.data[6] = 0x80;
  page.data[7] = 0x01;
  page.data[8] = 0xFF;
  JobSettings settings;
  settings.set("Title", "Box^1");
  settings.set("PrintSpeed", "4");
  EXPECT_EQ(runZpl({page}, settings),
            std::string("~DGR:PAGE.GRF,4,2,\n8001FF00\n^XA\n^FX JOB NAME: Box_1^FS\n^PR4,4,\n"
                        "^FO0,3\n") +
                kTail);
}

TEST(ZPLFilterTest, BlankPageSendsAnEmptyGraphic) {
  EXPECT_EQ(runZpl({blankPage(20, 4)}, JobSettings()),
            std::string("~DGR:PAGE.GRF,0,3,\n\n^XA\n^FX JOB NAME: Untitled^FS\n^PR2,2,\n^FO0,0\n") +
                kTail);
}

TEST(ZPLFilterTest, JobSettingsOfTheFirstPage) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> settings;
    const char* expected;  // lines between ^XA and ^FO
  };
  const Case cases[] = {
      {{{"Title", "a~b^c"}}, "^FX JOB NAME: a_b_c^FS\n^PR2,2,\n"},
      {{{"Title", "1234567890123456789012345"}},
       "^FX JOB NAME: 12345678901234567890^FS\n^PR2,2,\n"},
      {{{"CutInterval", "3"}, {"StripLabel", "True"}},
       "^FX JOB NAME: Untitled^FS\n^MMC,\n^PR2,2,\n"},
      {{{"StripLabel", "true"}}, "^FX JOB NAME: Untitled^FS\n^MMP,\n^PR2,2,\n"},
      {{{"StripLabel", "TRUE"}, {"PrintSpeed", "x"}}, "^FX JOB NAME: Untitled^FS\n^PR2,2,\n"},
      {{{"CutInterval", "0"}, {"PrintSpeed", "12"}}, "^FX JOB NAME: Untitled^FS\n^PR12,12,\n"},
  };
  for (const Case& c : cases) {
    JobSettings settings;
    for (auto [name, value] : c.settings) settings.set(name, value);
    const std::string out = runZpl({blankPage(8, 1)}, settings);
    const size_t start = out.find("^XA\n") + 4;
    const size_t end = out.find("^FO0,");
    EXPECT_EQ(out.substr(start, end - start), c.expected);
  }
}

TEST(ZPLFilterTest, LaterPagesCarryOnlyTheirLabel) {
  TestPage page = blankPage(8, 2);
  page.data[1] = 0x0F;
  const std::string out = runZpl({page, page, page}, JobSettings());
  const std::string later = "~DGR:PAGE.GRF,1,1,\n0F\n^XA\n^FO0,1\n" + std::string(kTail);
  EXPECT_EQ(out.substr(out.size() - 2 * later.size()), later + later);
  const auto labels = decode(out);
  ASSERT_EQ(labels.size(), 3u);
  for (const auto& label : labels) EXPECT_EQ(labelRows(label.bitmap, 1), page.data);
}

TEST(ZPLFilterTest, LineBreaksInsideTheGraphicData) {
  TestPage wide = blankPage(800, 2);  // 100 bytes per row
  std::fill(wide.data.begin(), wide.data.end(), 0x5A);
  std::string out = runZpl({wide}, JobSettings());
  const size_t data = out.find(",\n") + 2;
  EXPECT_EQ(out.find('\n', data), data + 82);  // after the 41st byte

  TestPage narrow = blankPage(8, 90);  // 1 byte per row
  std::fill(narrow.data.begin(), narrow.data.end(), 0xC3);
  out = runZpl({narrow}, JobSettings());
  const size_t start = out.find(",\n") + 2;
  EXPECT_EQ(out.find('\n', start), start + 180);
}

TEST(ZPLFilterTest, DecodesBackToThePage) {
  for (uint32_t width : {1u, 7u, 8u, 9u, 13u, 203u, 812u, 1200u}) {
    for (uint32_t height : {1u, 5u, 64u}) {
      TestPage page = OrnTest::randomBitmapPage(width, height, width * 31 + height, 0.02);
      // Keep a blank margin above and below so that only the inked rows are sent.
      const uint32_t bpl = page.rowBytes();
      if (height > 2) {
        std::fill(page.data.begin(), page.data.begin() + bpl, 0);
        std::fill(page.data.end() - bpl, page.data.end(), 0);
      }
      const auto labels = decode(runZpl({page}, JobSettings()));
      ASSERT_EQ(labels.size(), 1u);
      const auto rows = labelRows(labels[0].bitmap, bpl);
      ASSERT_LE(rows.size(), page.data.size());
      EXPECT_TRUE(std::equal(rows.begin(), rows.end(), page.data.begin()))
          << width << "x" << height;
      EXPECT_TRUE(std::all_of(page.data.begin() + rows.size(), page.data.end(),
                              [](uint8_t b) { return b == 0; }));
    }
  }
}

TEST(ZPLFilterTest, InkOnTheLastRowIsSent) {
  TestPage page = blankPage(16, 4);
  page.data[7] = 0x01;
  const auto labels = decode(runZpl({page}, JobSettings()));
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labelRows(labels[0].bitmap, 2), page.data);
}

TEST(ZPLFilterTest, QueryStatusReportsNothing) {
  std::istringstream in;
  std::ostringstream out;
  ZPLFilter filter(in, out, JobSettings());
  int status = 42;
  EXPECT_FALSE(filter.queryStatus(status));
  EXPECT_EQ(status, 0);
}
