#include "backends/lxpr/lxpr_filter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include "orntool/preview_lxpr.h"
#include "support/capture_stderr.h"
#include "support/error_of.h"
#include "support/raster_builder.h"

namespace Quillfeather {
namespace {

using OrnTest::errorOf;
using OrnTest::TestPage;

TestPage page203(uint32_t width, uint32_t height,
                 const std::function<bool(uint32_t, uint32_t)>& black = {}) {
  TestPage page = OrnTest::bitmapPage(width, height, black);
  page.resolution = 203;
  return page;
}

struct LXPRJob {
  explicit LXPRJob(std::string_view options = "") {
    settings.set("PrintMethod", "DirectThermal");
    settings.parseOptions(options);
  }
  // The printer data; on a failure the data written before it stays in `output`.
  std::string run(const std::vector<TestPage>& pages) {
    std::istringstream input(OrnTest::rasterStream(pages));
    output.str("");
    OrnTest::CaptureStderr capture;
    LXPRFilter(input, output, settings).run();
    log = capture.text();
    return output.str();
  }
  bool logged(const std::string& line) const { return log.find(line + "\n") != std::string::npos; }

  JobSettings settings;
  std::string log;
  std::ostringstream output;
};

// 4 x 6 inches with no label gap setting: 1016 x 1524, pitch 1544.
const std::string kLabelSize = "{D1544,1016,1524|}\n";
const std::string kIssue = "{XS;I,0001,0000C3000|}\n";

std::string blankLabel(const std::string& middle = "", const std::string& afterClear = kIssue) {
  return kLabelSize + middle + "{C|}\n" + afterClear;
}
std::string sized(const std::string& size) { return "{" + size + "|}\n{C|}\n" + kIssue; }
std::string issued(const std::string& issue) { return blankLabel("", "{XS;I," + issue + "|}\n"); }
std::string rfid(char bank, const std::string& data) {
  return "{XB00;0000,0000,r,T24,G0,V1,B0" + std::string(1, bank) + "=" + data + "|}\n";
}
std::string withRfid(const std::string& writes) { return blankLabel("", writes + kIssue); }
// A blank label, in the copies given, under each row's options.
TEST(LXPRFilter, LabelCommands) {
  struct Row {
    std::string options, expected;
    uint32_t copies = 1;
  };
  const Row cases[] = {
      {"", blankLabel()},
      {"PrintMethod=ThermalTransferRibbonSaving", issued("0001,0000C3100")},
      {"PrintMethod=ThermalTransfer", issued("0001,0000C3200")},
      {"PrintMethod=DirectThermalHeadUp", issued("0001,0000C3300")},
      {"CommandCharacters=Unreadable",
       std::string("\033D1544,1016,1524\n\0\033C\n\0\033XS;I,0001,0000C3000\n\0", 44)},
      // The label gap, in the model's range, lengthens the pitch; the pitch stops at zero.
      {"LabelGap=3 LabelGap.Minimum=0 LabelGap.Maximum=10", sized("D1554,1016,1524")},
      {"LabelGap=-500 LabelGap.Minimum=-1000 LabelGap.Maximum=0", sized("D0000,1016,1524")},
      {"FeedAdjustment=-0.0 CutStripAdjustment=-2.5 BackFeedAdjustment=-0 "
       "ToneAdjustmentThermalTransfer=-0 ToneAdjustmentDirectThermal=-0.0",
       blankLabel("{AX;-000,-025,-00|}\n{AY;-00,0|}\n{AY;-00,1|}\n")},
      {"FeedAdjustment=80 BackFeedAdjustment=-20", blankLabel("{AX;+500,+000,-99|}\n")},
      {"FeedAdjustment=80 FeedAdjustment.Minimum=-99 FeedAdjustment.Maximum=99 "
       "CutStripAdjustment=1 CutStripAdjustment.Minimum=0 CutStripAdjustment.Maximum=0.5",
       blankLabel("{AX;+800,+005,+00|}\n")},
      {"FeedAdjustment=abc BackFeedAdjustment=1 ToneAdjustmentDirectThermal=1",
       blankLabel("{AX;+000,+000,+10|}\n{AY;+01,1|}\n")},
      {"ToneAdjustmentDirectThermal=-15 ToneAdjustmentThermalTransfer=15",
       blankLabel("{AY;+10,0|}\n{AY;-10,1|}\n")},
      {"ToneAdjustmentThermalTransfer=15 ToneAdjustmentThermalTransfer.Minimum=-20 "
       "ToneAdjustmentThermalTransfer.Maximum=20",
       blankLabel("{AY;+15,0|}\n")},
      {"ToneAdjustmentThermalTransfer=None ToneAdjustmentDirectThermal=1.5", blankLabel()},
      {"Sensor=Reflective CutInterval=1500", issued("0001,9991C3000")},
      {"CutInterval=7 CutModule=Partial", issued("0001,0070F3000")},
      {"CutInterval=7 CutModule=Linerless StripLabel=true", issued("0001,0070G3000")},
      {"CutInterval=-5 StripLabel=true CutModule=Partial", issued("0001,0000D3000")},
      // Copies come from the page, at most 9999 of them.
      {"CutInterval=0 Sensor=Transmissive StripLabel=false PrintSpeed=3", issued("0002,0002C3000"),
       2},
      {"PrintSpeed=x", issued("1234,0000C3000"), 12345},
      {"RFIDEPCMemData=Custom.12 RFIDUserMemData=Custom.34",
       withRfid(rfid('3', "34") + rfid('1', "12"))},
      {"RFIDUserMemData=ABCD RFIDEPCMemData=Custom.", blankLabel()},
  };
  for (const auto& [options, expected, copies] : cases) {
    TestPage page = page203(16, 4);
    page.numCopies = copies;
    EXPECT_EQ(LXPRJob(options).run({page}), expected) << options;
  }
  TestPage page = page203(8, 1);
  page.pageSize[0] = 100;  // 352.7 tenths of a millimetre
  page.pageSize[1] = 145;  // 511.5
  EXPECT_EQ(LXPRJob().run({page}), sized("D0531,0352,0511"));
}

// Each page is a label of its own.
TEST(LXPRFilter, PagesAreLabels) {
  TestPage printed = page203(8, 2);
  printed.setPixel(0, 0);
  EXPECT_EQ(
      LXPRJob("Compression=None").run({page203(8, 2), printed, page203(8, 2)}),
      blankLabel() + blankLabel("", "{SG;0000,0000,0001,0001,1,\x80|}\n" + kIssue) + blankLabel());
}

TEST(LXPRFilter, RFIDDataCannotBreakOutOfItsCommand) {
  const std::string label = withRfid(rfid('1', "OK"));
  const std::string warning =
      "Warning: RFIDUserMemData contains a framing character or a control character; the RFID "
      "write is not sent\n";
  for (const char* data : {"AB|}{XS;I,0099,0000C3000", "A{B", "A}", "A\nB", "A\x1B", "A\x1F"}) {
    LXPRJob job("RFIDUserMemData=Custom.x RFIDEPCMemData=Custom.OK");
    job.settings.set("RFIDUserMemData", data);
    EXPECT_EQ(job.run({page203(16, 4), page203(16, 4)}), label + label);
    // Once per job, not once per label.
    EXPECT_NE(job.log.find(warning), std::string::npos);
    EXPECT_EQ(job.log.find(warning), job.log.rfind(warning));
  }
}

// The fields of the first SG command: x, y, width, fourth field; and its type.
std::pair<std::array<unsigned, 4>, char> graphicHeader(const std::string& out) {
  std::array<unsigned, 4> f{};
  char type = 0;
  const size_t at = out.find("SG;");
  if (at == std::string::npos) return {f, 0};
  EXPECT_EQ(
      std::sscanf(out.c_str() + at, "SG;%4u,%4u,%4u,%4u,%c,", &f[0], &f[1], &f[2], &f[3], &type),
      5);
  return {f, type};
}

// The job's graphic has the type and the label the preview draws holds the page's dots exactly.
void expectPageDrawn(const std::string& out, const TestPage& page, char type) {
  EXPECT_EQ(graphicHeader(out).second, type);
  const auto labels =
      OrnTool::decodeLxpr(std::span(reinterpret_cast<const uint8_t*>(out.data()), out.size()), 203);
  ASSERT_EQ(labels.size(), 1u);
  const Tesselin::Bitmap expected(page.data, page.width, page.height);
  const Tesselin::Rect box = expected.boundingBox();
  ASSERT_EQ(labels[0].bitmap.boundingBox(), box);
  EXPECT_EQ(Tesselin::Bitmap(labels[0].bitmap, box).data(), Tesselin::Bitmap(expected, box).data());
}

TEST(LXPRFilter, GraphicIsTheBlackBox) {
  TestPage dots = page203(203, 40);
  for (const auto& [x, y] : {std::pair{20, 10}, {30, 12}, {180, 33}}) dots.setPixel(x, y);
  const std::string out = LXPRJob("Compression=None").run({dots});
  EXPECT_EQ(graphicHeader(out).first, (std::array{25u, 12u, 161u, 24u}));
  expectPageDrawn(out, dots, '1');
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {7, 3}, {65, 20}, {513, 31}, {4096, 4}};
  uint32_t seed = 1;
  for (const auto& [width, height] : sizes) {
    const bool sparse = seed % 2 == 0;
    TestPage page = OrnTest::randomBitmapPage(width, height, seed++, sparse ? 0.01 : 0.3);
    page.resolution = 203;
    page.setPixel(width - 1, height - 1);
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    // The dense ones framed with control characters, the last command ending the data.
    const char* framing = sparse ? "" : " CommandCharacters=Unreadable";
    expectPageDrawn(LXPRJob(std::string("Compression=SKARN") + framing).run({page}), page, '3');
  }
  // The SKARN graphic is placed in dots of the page and carries the resolution.
  const std::array<unsigned, 3> cases[] = {{203, 203, 300}, {599, 300, 300}, {600, 300, 600}};
  for (const auto& [rx, ry, field] : cases) {
    TestPage page = page203(16, 4);
    page.setPixel(3, 2);
    page.resolution = rx;
    page.resolutionY = ry;
    const auto [fields, type] = graphicHeader(LXPRJob("Compression=SKARN").run({page}));
    EXPECT_EQ(fields, (std::array{3 * 254 / rx, 2 * 254 / ry, 1u, field})) << rx << "x" << ry;
  }
}

// Rows 80 01 repeated: SKARN is 2 + 5 + (rows - 1) bytes against 2 x rows raw.
TEST(LXPRFilter, AutoCompressionPicksTheSmallerEncoding) {
  const std::tuple<uint32_t, char, const char*> cases[] = {
      {5, '1', "SKARN is 11 bytes and uncompressed it is 10, choosing None"},
      {6, '3', "SKARN is 12 bytes and uncompressed it is 12, choosing SKARN"}};
  for (const auto& [rows, type, log] : cases) {
    LXPRJob job(rows == 6 ? "Compression=Auto" : "");  // Auto is also the default
    const TestPage page = page203(40, rows + 4, [&](uint32_t x, uint32_t y) {
      return y >= 2 && y < rows + 2 && (x == 8 || x == 23);
    });
    EXPECT_EQ(graphicHeader(job.run({page})).second, type) << rows;
    EXPECT_TRUE(job.logged(std::string("Debug: Compression mode is auto, ") + log)) << job.log;
  }
}

// Failures: the message, and the data written before it.
TEST(LXPRFilter, Failures) {
  TestPage wide = page203(4200, 3);
  wide.setPixel(0, 0);
  wide.setPixel(4099, 2);
  // Too wide for SKARN: Auto sends the rows as they are, SKARN alone fails.
  const std::string reason = "Bitmap width exceeds supported width for SKARN compression";
  LXPRJob job;
  expectPageDrawn(job.run({wide}), wide, '1');
  EXPECT_TRUE(job.logged("Debug: Compression mode is auto, SKARN is not possible (" + reason +
                         "), choosing None"));
  LXPRJob forced("Compression=SKARN");
  EXPECT_EQ(errorOf<FilterException>([&] { forced.run({wide}); }),
            "Page 1 cannot be sent with SKARN compression: " + reason);
  EXPECT_EQ(forced.output.str(), kLabelSize + "{C|}\n");
  std::istringstream in;
  std::ostringstream out;
  EXPECT_EQ(errorOf<FilterException>([&] { LXPRFilter(in, out, JobSettings()); }),
            "The filter is unable to determine whether to use direct or transfer thermal mode.");
  // A zero resolution fails only when a graphic is placed.
  for (const auto& [rx, ry] : {std::pair{0u, 203u}, {203u, 0u}}) {
    LXPRJob job;
    TestPage page = page203(16, 2);
    page.resolution = rx;
    page.resolutionY = ry;
    EXPECT_EQ(job.run({page}), blankLabel());
    page.setPixel(1, 1);
    EXPECT_EQ(errorOf<FilterException>([&] { job.run({page}); }),
              "Page 1 has the resolution " + std::to_string(rx) + "x" + std::to_string(ry) +
                  " dpi; its graphic cannot be placed");
  }
}

}  // namespace
}  // namespace Quillfeather
