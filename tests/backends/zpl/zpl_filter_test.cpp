#include "backends/zpl/zpl_filter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "orntool/preview_zpl.h"
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

const std::string kTail = "^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";

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
  const std::string laterLabel = "~DGR:PAGE.GRF,1,1,\n0F\n^XA\n^FO0,1\n" + kTail;
  const std::string plain = "~DGR:PAGE.GRF,1,1,\n\n^XA\n^FX JOB NAME: Untitled^FS\n";
  const std::tuple<std::vector<TestPage>, std::string, std::string> cases[] = {
      {{dots},
       "Title=Box^1 PrintSpeed=4",
       "~DGR:PAGE.GRF,4,2,\n8001FF00\n^XA\n^FX JOB NAME: Box_1^FS\n^PR4,4,\n^FO0,3\n" + kTail},
      {{pageOf(20, 4)},
       "",
       "~DGR:PAGE.GRF,0,3,\n\n^XA\n^FX JOB NAME: Untitled^FS\n^PR2,2,\n^FO0,0\n" + kTail},
      {{later, later, later},
       "",
       "~DGR:PAGE.GRF,1,1,\n0F\n^XA\n^FX JOB NAME: Untitled^FS\n^PR2,2,\n^FO0,1\n" + kTail +
           laterLabel + laterLabel},
      {{pageOf(8, 1)},
       "Title=a~b^c",
       "~DGR:PAGE.GRF,0,1,\n\n^XA\n^FX JOB NAME: a_b_c^FS\n^PR2,2,\n^FO0,0\n" + kTail},
      {{pageOf(8, 1)},
       "Title=1234567890123456789012345",
       "~DGR:PAGE.GRF,0,1,\n\n^XA\n^FX JOB NAME: 12345678901234567890^FS\n^PR2,2,\n^FO0,0\n" +
           kTail},
      {{pageOf(8, 1)},
       "CutInterval=3 StripLabel=True",
       "~DGR:PAGE.GRF,0,1,\n\n^XA\n^FX JOB NAME: Untitled^FS\n^MMC,\n^PR2,2,\n^FO0,0\n" + kTail},
      {{pageOf(8, 1)},
       "StripLabel=true",
       "~DGR:PAGE.GRF,0,1,\n\n^XA\n^FX JOB NAME: Untitled^FS\n^MMP,\n^PR2,2,\n^FO0,0\n" + kTail},
      {{pageOf(8, 1)},
       "StripLabel=TRUE PrintSpeed=x",
       "~DGR:PAGE.GRF,0,1,\n\n^XA\n^FX JOB NAME: Untitled^FS\n^PR2,2,\n^FO0,0\n" + kTail},
      {{pageOf(8, 1)},
       "CutInterval=0 PrintSpeed=12",
       "~DGR:PAGE.GRF,0,1,\n\n^XA\n^FX JOB NAME: Untitled^FS\n^PR12,12,\n^FO0,0\n" + kTail},
  };
  for (const auto& [pages, options, expected] : cases) {
    const std::string out = runZpl(pages, options);
    EXPECT_EQ(out, expected) << options;
    expectLabelsArePages(out, pages);
  }
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

TEST(ZPLFilterTest, DecodesBackToThePage) {
  for (uint32_t width : {1u, 7u, 8u, 9u, 13u, 203u, 812u, 1200u}) {
    for (uint32_t height : {1u, 5u, 64u}) {
      TestPage page = OrnTest::randomBitmapPage(width, height, width * 31 + height, 0.02);
      // A blank margin above and below, so that only the inked rows are sent.
      const uint32_t bpl = page.rowBytes();
      if (height > 2) {
        std::fill(page.data.begin(), page.data.begin() + bpl, 0);
        std::fill(page.data.end() - bpl, page.data.end(), 0);
      }
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      expectLabelsArePages(runZpl({page}), {page});
    }
  }
  const TestPage lastRow = pageOf(16, 4, {0, 0, 0, 0, 0, 0, 0, 0x01});
  expectLabelsArePages(runZpl({lastRow}), {lastRow});
}

TEST(ZPLFilterTest, QueryStatusReportsNothing) {
  std::istringstream in;
  std::ostringstream out;
  int status = 42;
  EXPECT_FALSE(ZPLFilter(in, out, JobSettings()).queryStatus(status));
  EXPECT_EQ(status, 0);
}

}  // namespace
