#include "backends/lxpr/lxpr_filter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "backends/lxpr/lxpr_status.h"
#include "support/capture_stderr.h"
#include "support/raster_builder.h"

namespace Quillfeather {
namespace {

using OrnTest::CaptureStderr;
using OrnTest::TestPage;

// Pages at 203 dpi; the two resolutions are kept apart so that a test can
// change one of them.
TestPage at203Dpi(TestPage page) {
  page.resolution = 203;
  page.resolutionY = 203;
  return page;
}

TestPage blankPage(uint32_t width, uint32_t height) {
  return at203Dpi(OrnTest::bitmapPage(width, height));
}

TestPage pageOf(uint32_t width, uint32_t height,
                const std::function<bool(uint32_t, uint32_t)>& black) {
  return at203Dpi(OrnTest::bitmapPage(width, height, black));
}

TestPage randomPage(uint32_t width, uint32_t height, double density, uint32_t seed) {
  return at203Dpi(OrnTest::randomBitmapPage(width, height, seed, density));
}

class LXPRJob {
 public:
  LXPRJob() { settings.set("PrintMethod", "DirectThermal"); }

  // Runs the filter over the pages; returns the printer data, keeps the log.
  std::string run(const std::vector<TestPage>& pages) {
    std::istringstream input(OrnTest::rasterStream(pages));
    std::ostringstream output;
    CaptureStderr capture;
    LXPRFilter filter(input, output, settings);
    try {
      filter.run();
    } catch (...) {
      log = capture.text();
      partialOutput = output.str();
      throw;
    }
    log = capture.text();
    return output.str();
  }

  JobSettings settings;
  std::string log;
  std::string partialOutput;
};

// 4 x 6 inches with no label gap setting: 1016 x 1524, pitch 1544.
const std::string kLabelSize = "{D1544,1016,1524|}\n";
const std::string kIssue = "{XS;I,0001,0000C3000|}\n";

std::string blankLabel(const std::string& middle = "", const std::string& issue = kIssue) {
  return kLabelSize + middle + "{C|}\n" + issue;
}

std::string runBlank(LXPRJob& job) { return job.run({blankPage(16, 4)}); }

struct Graphic {
  uint32_t x = 0, y = 0, width = 0, fourth = 0;
  char type = 0;
  std::string data;
  std::string before, after;  // the output around the whole SG command
};

uint32_t fourDigits(const std::string& s, size_t at) { return std::stoul(s.substr(at, 4)); }

// Finds the SG command and takes its binary payload by its declared size.
std::optional<Graphic> findGraphic(const std::string& out) {
  const size_t begin = out.find("{SG;");
  if (begin == std::string::npos) return std::nullopt;
  Graphic g;
  size_t at = begin + 4;
  g.x = fourDigits(out, at);
  g.y = fourDigits(out, at + 5);
  g.width = fourDigits(out, at + 10);
  g.fourth = fourDigits(out, at + 15);
  EXPECT_EQ(out.substr(at + 4, 1) + out.substr(at + 9, 1) + out.substr(at + 14, 1) +
                out.substr(at + 19, 1) + out.substr(at + 21, 1),
            ",,,,,");
  g.type = out[at + 20];
  at += 22;
  size_t size = 0;
  if (g.type == '1') {
    size = size_t{g.fourth} * ((g.width + 7) / 8);
  } else {
    size = 2 + ((size_t{static_cast<uint8_t>(out[at])} << 8) | static_cast<uint8_t>(out[at + 1]));
  }
  g.data = out.substr(at, size);
  EXPECT_EQ(out.substr(at + size, 3), "|}\n");
  g.before = out.substr(0, begin);
  g.after = out.substr(at + size + 3);
  return g;
}

// Plain SKARN reader: rows of bytesPerRow bytes, each record XORed onto the row above.
std::vector<uint8_t> skarnRows(const std::string& encoded, uint32_t bytesPerRow) {
  EXPECT_GE(encoded.size(), 2u);
  const size_t length =
      (size_t{static_cast<uint8_t>(encoded[0])} << 8) | static_cast<uint8_t>(encoded[1]);
  EXPECT_EQ(length, encoded.size() - 2);
  std::vector<uint8_t> rows;
  std::vector<uint8_t> row(bytesPerRow, 0);
  size_t at = 2;
  auto next = [&]() -> uint8_t {
    if (at >= encoded.size()) throw std::runtime_error("record runs past the end");
    return static_cast<uint8_t>(encoded[at++]);
  };
  while (at < encoded.size()) {
    const uint8_t groups = next();
    for (int g = 0; g < 8; ++g) {
      if (!(groups & (0x80 >> g))) continue;
      const uint8_t blocks = next();
      for (int k = 0; k < 8; ++k) {
        if (!(blocks & (0x80 >> k))) continue;
        const uint8_t bytes = next();
        for (int p = 0; p < 8; ++p) {
          if (!(bytes & (0x80 >> p))) continue;
          const size_t index = size_t(g) * 64 + size_t(k) * 8 + size_t(p);
          if (index >= bytesPerRow) throw std::runtime_error("byte beyond the row");
          row[index] ^= next();
        }
      }
    }
    rows.insert(rows.end(), row.begin(), row.end());
  }
  return rows;
}

struct Box {
  uint32_t left, top, right, bottom;
};

Box blackBox(const TestPage& page) {
  Box box{page.width, page.height, 0, 0};
  for (uint32_t y = 0; y < page.height; ++y) {
    for (uint32_t x = 0; x < page.width; ++x) {
      if (!page.pixel(x, y)) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

// The graphic's rows must be the page's black box, pixel for pixel, with clear padding bits.
void expectCroppedPage(const std::vector<uint8_t>& rows, uint32_t width, uint32_t height,
                       const TestPage& page) {
  const Box box = blackBox(page);
  ASSERT_EQ(width, box.right - box.left);
  ASSERT_EQ(height, box.bottom - box.top);
  const uint32_t bytesPerRow = (width + 7) / 8;
  ASSERT_EQ(rows.size(), size_t{bytesPerRow} * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < bytesPerRow * 8; ++x) {
      const bool bit = (rows[size_t{y} * bytesPerRow + x / 8] >> (7 - x % 8)) & 1;
      const bool expected = x < width && page.pixel(box.left + x, box.top + y);
      ASSERT_EQ(bit, expected) << "pixel " << x << "," << y;
    }
  }
}

// --- construction -------------------------------------------------------------------------

TEST(LXPRFilter, PrintMethodMustBeKnown) {
  for (const char* method : {"", "Thermal", "directthermal"}) {
    JobSettings settings;
    if (*method) settings.set("PrintMethod", method);
    std::istringstream in;
    std::ostringstream out;
    try {
      LXPRFilter filter(in, out, settings);
      ADD_FAILURE() << "accepted print method '" << method << "'";
    } catch (const FilterException& e) {
      EXPECT_STREQ(e.what(),
                   "The filter is unable to determine whether to use direct or transfer thermal "
                   "mode.");
    }
  }
}

TEST(LXPRFilter, PrintMethodCodes) {
  const std::pair<const char*, char> cases[] = {{"DirectThermal", '0'},
                                                {"ThermalTransferRibbonSaving", '1'},
                                                {"ThermalTransfer", '2'},
                                                {"DirectThermalHeadUp", '3'}};
  for (const auto& [method, code] : cases) {
    LXPRJob job;
    job.settings.set("PrintMethod", method);
    std::string issue = kIssue;
    issue[17] = code;
    EXPECT_EQ(runBlank(job), blankLabel("", issue)) << method;
  }
}

TEST(LXPRFilter, UnreadableFraming) {
  LXPRJob job;
  job.settings.set("CommandCharacters", "Unreadable");
  EXPECT_EQ(runBlank(job), std::string("\x1B"
                                       "D1544,1016,1524\n\0"
                                       "\x1B"
                                       "C\n\0"
                                       "\x1B"
                                       "XS;I,0001,0000C3000\n\0",
                                       44));
  job.settings.set("CommandCharacters", "unreadable");
  EXPECT_EQ(runBlank(job), blankLabel());
}

// --- label size ---------------------------------------------------------------------------

TEST(LXPRFilter, BlankFourBySixLabel) {
  LXPRJob job;
  EXPECT_EQ(runBlank(job), blankLabel());
  EXPECT_NE(job.log.find("Debug: Unable to determine label gap, using 20\n"), std::string::npos);
  EXPECT_NE(job.log.find("Debug: Page 1 is blank\n"), std::string::npos);
}

TEST(LXPRFilter, LabelGapFromModelRange) {
  struct Case {
    const char* gap;
    const char* expected;
  };
  const Case cases[] = {{"3", "{D1554,1016,1524|}\n"},
                        {"2.55", "{D1550,1016,1524|}\n"},
                        {"50", "{D1624,1016,1524|}\n"},
                        {"-1", "{D1524,1016,1524|}\n"},
                        {"abc", "{D1524,1016,1524|}\n"}};
  for (const Case& c : cases) {
    LXPRJob job;
    job.settings.set("LabelGap", c.gap);
    job.settings.set("LabelGap.Minimum", "0");
    job.settings.set("LabelGap.Maximum", "10");
    const std::string out = runBlank(job);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.expected) << c.gap;
    EXPECT_EQ(job.log.find("label gap"), std::string::npos);
  }
  // A gap longer than the label, from a range reaching far below zero, stops the pitch at zero.
  LXPRJob negative;
  negative.settings.set("LabelGap", "-500");
  negative.settings.set("LabelGap.Minimum", "-1000");
  negative.settings.set("LabelGap.Maximum", "0");
  EXPECT_EQ(runBlank(negative).substr(0, 19), "{D0000,1016,1524|}\n");
  LXPRJob withoutRange;
  withoutRange.settings.set("LabelGap", "3");
  EXPECT_EQ(runBlank(withoutRange), blankLabel());
}

TEST(LXPRFilter, PageSizeInTenthsOfMillimetres) {
  LXPRJob job;
  TestPage page = blankPage(8, 1);
  page.pageSize[0] = 100;  // 352.7 -> 352
  page.pageSize[1] = 145;  // 511.5 -> 511
  const std::string out = job.run({page});
  EXPECT_EQ(out.substr(0, out.find('\n') + 1), "{D0531,0352,0511|}\n");
}

// --- feed and tone adjustments --------------------------------------------------------------

struct AdjustmentCase {
  std::vector<std::pair<const char*, const char*>> settings;
  std::string commands;  // between label size and "C"
};

// A blank label under each case's settings carries the case's commands.
void expectAdjustmentCommands(std::span<const AdjustmentCase> cases) {
  for (const AdjustmentCase& c : cases) {
    LXPRJob job;
    for (const auto& [name, value] : c.settings) job.settings.set(name, value);
    EXPECT_EQ(runBlank(job), blankLabel(c.commands)) << c.commands;
  }
}

TEST(LXPRFilter, FeedAdjustment) {
  const AdjustmentCase cases[] = {
      {{{"FeedAdjustment", "5"}}, "{AX;+050,+000,+00|}\n"},
      {{{"FeedAdjustment", "None"}, {"CutStripAdjustment", "None"}, {"BackFeedAdjustment", "None"}},
       ""},
      {{{"BackFeedAdjustment", "-0"}}, "{AX;+000,+000,-00|}\n"},
      {{{"FeedAdjustment", "-0.0"}, {"CutStripAdjustment", "-2.5"}}, "{AX;-000,-025,+00|}\n"},
      {{{"FeedAdjustment", "80"}, {"BackFeedAdjustment", "-20"}}, "{AX;+500,+000,-99|}\n"},
      {{{"FeedAdjustment", "80"},
        {"FeedAdjustment.Minimum", "-99"},
        {"FeedAdjustment.Maximum", "99"},
        {"CutStripAdjustment", "1"},
        {"CutStripAdjustment.Minimum", "0"},
        {"CutStripAdjustment.Maximum", "0.5"}},
       "{AX;+800,+005,+00|}\n"},
      {{{"FeedAdjustment", "abc"}}, ""},
      {{{"FeedAdjustment", "abc"}, {"BackFeedAdjustment", "1"}}, "{AX;+000,+000,+10|}\n"},
  };
  expectAdjustmentCommands(cases);
}

TEST(LXPRFilter, FeedAdjustmentLogsMissingRanges) {
  LXPRJob job;
  job.settings.set("FeedAdjustment", "5");
  job.settings.set("FeedAdjustment.Minimum", "-10");
  job.settings.set("FeedAdjustment.Maximum", "10");
  runBlank(job);
  EXPECT_EQ(job.log.find("range for FeedAdjustment"), std::string::npos);
  EXPECT_NE(job.log.find("Debug: Model-specific range for CutStripAdjustment could not be "
                         "determined - using default (-50, 50)\n"),
            std::string::npos);
  EXPECT_NE(job.log.find("Debug: Model-specific range for BackFeedAdjustment could not be "
                         "determined - using default (-9.9, 9.9)\n"),
            std::string::npos);
}

TEST(LXPRFilter, ToneAdjustments) {
  const AdjustmentCase cases[] = {
      {{{"ToneAdjustmentThermalTransfer", "5"}}, "{AY;+05,0|}\n"},
      {{{"ToneAdjustmentDirectThermal", "-3"}}, "{AY;-03,1|}\n"},
      {{{"ToneAdjustmentThermalTransfer", "-0"}, {"ToneAdjustmentDirectThermal", "-0.0"}},
       "{AY;-00,0|}\n{AY;-00,1|}\n"},
      {{{"ToneAdjustmentDirectThermal", "4"}, {"ToneAdjustmentThermalTransfer", "15"}},
       "{AY;+10,0|}\n{AY;+04,1|}\n"},
      {{{"ToneAdjustmentThermalTransfer", "-15"}}, "{AY;-10,0|}\n"},
      {{{"ToneAdjustmentThermalTransfer", "15"},
        {"ToneAdjustmentThermalTransfer.Minimum", "-20"},
        {"ToneAdjustmentThermalTransfer.Maximum", "20"}},
       "{AY;+15,0|}\n"},
      {{{"ToneAdjustmentThermalTransfer", "3"},
        {"ToneAdjustmentThermalTransfer.Minimum", "-2"},
        {"ToneAdjustmentThermalTransfer.Maximum", "2"}},
       "{AY;+02,0|}\n"},
      {{{"ToneAdjustmentThermalTransfer", "None"}, {"ToneAdjustmentDirectThermal", "1.5"}}, ""},
      {{{"FeedAdjustment", "1"}, {"ToneAdjustmentDirectThermal", "1"}},
       "{AX;+010,+000,+00|}\n{AY;+01,1|}\n"},
  };
  expectAdjustmentCommands(cases);
}

TEST(LXPRFilter, ToneAdjustmentLogsMissingRange) {
  LXPRJob job;
  job.settings.set("ToneAdjustmentDirectThermal", "None");
  runBlank(job);
  EXPECT_NE(job.log.find("Debug: Model-specific range for ToneAdjustmentDirectThermal could not "
                         "be determined - using default (-10, 10)\n"),
            std::string::npos);
  EXPECT_EQ(job.log.find("ToneAdjustmentThermalTransfer"), std::string::npos);
}

// --- issue command ----------------------------------------------------------------------------

TEST(LXPRFilter, IssueCommand) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> settings;
    uint32_t copies;
    std::string issue;
  };
  const Case cases[] = {
      {{{"CutInterval", "0"},
        {"Sensor", "Transmissive"},
        {"StripLabel", "false"},
        {"PrintSpeed", "3"}},
       2,
       "{XS;I,0002,0002C3000|}\n"},
      {{{"Sensor", "Reflective"}}, 1, "{XS;I,0001,0001C3000|}\n"},
      {{{"Sensor", "reflective"}}, 1, "{XS;I,0001,0000C3000|}\n"},
      {{{"CutInterval", "1500"}}, 1, "{XS;I,0001,9990C3000|}\n"},
      {{{"CutInterval", "7"}, {"CutModule", "Partial"}}, 1, "{XS;I,0001,0070F3000|}\n"},
      {{{"CutInterval", "7"}, {"CutModule", "Linerless"}, {"StripLabel", "true"}},
       1,
       "{XS;I,0001,0070G3000|}\n"},
      {{{"CutInterval", "-5"}, {"StripLabel", "true"}, {"CutModule", "Partial"}},
       1,
       "{XS;I,0001,0000D3000|}\n"},
      {{{"StripLabel", "True"}}, 1, "{XS;I,0001,0000D3000|}\n"},
      {{{"PrintSpeed", "10"}}, 1, "{XS;I,0001,0000CA000|}\n"},
      {{{"PrintSpeed", "16"}}, 1, "{XS;I,0001,0000C1000|}\n"},
      {{{"PrintSpeed", "x"}}, 12345, "{XS;I,1234,0000C3000|}\n"},
  };
  for (const Case& c : cases) {
    LXPRJob job;
    for (const auto& [name, value] : c.settings) job.settings.set(name, value);
    TestPage page = blankPage(8, 2);
    page.numCopies = c.copies;
    EXPECT_EQ(job.run({page}), blankLabel("", c.issue)) << c.issue;
  }
}

// --- RFID -----------------------------------------------------------------------------------

TEST(LXPRFilter, RFIDWrites) {
  struct Case {
    const char* options;
    std::string writes;
  };
  const std::string longText(600, 'E');
  const Case cases[] = {
      {"RFIDEPCMemData=Custom.ABCD", "{XB00;0000,0000,r,T24,G0,V1,B01=ABCD|}\n"},
      {"RFIDUserMemData=Custom.ABCD", "{XB00;0000,0000,r,T24,G0,V1,B03=ABCD|}\n"},
      {"RFIDEPCMemData=Custom.12 RFIDUserMemData=Custom.34",
       "{XB00;0000,0000,r,T24,G0,V1,B03=34|}\n{XB00;0000,0000,r,T24,G0,V1,B01=12|}\n"},
      {"RFIDUserMemData=ABCD", ""},
      {"RFIDUserMemData=Custom.", ""},
  };
  for (const Case& c : cases) {
    LXPRJob job;
    job.settings.parseOptions(c.options);
    EXPECT_EQ(runBlank(job), kLabelSize + "{C|}\n" + c.writes + kIssue) << c.options;
  }
  // Only the first 512 characters are sent, so only they are checked.
  for (const std::string& tail : {std::string(), std::string("|}{\n\x1B")}) {
    LXPRJob job;
    job.settings.parseOptions("RFIDEPCMemData=Custom." + longText);
    job.settings.set("RFIDEPCMemData", longText + tail);
    EXPECT_EQ(runBlank(job), kLabelSize + "{C|}\n{XB00;0000,0000,r,T24,G0,V1,B01=" +
                                 std::string(512, 'E') + "|}\n" + kIssue);
  }
}

TEST(LXPRFilter, RFIDDataCannotBreakOutOfItsCommand) {
  for (const std::string& data : {std::string("AB|}{XS;I,0099,0000C3000"), std::string("A{B"),
                                  std::string("A}"), std::string("A\nB"),
                                  std::string("A\x1B"
                                              "B"),
                                  std::string("A\x1F")}) {
    LXPRJob job;
    job.settings.set("RFIDUserMemData", "placeholder");
    job.settings.parseOptions("RFIDUserMemData=Custom.x RFIDEPCMemData=Custom.OK");
    job.settings.set("RFIDUserMemData", data);
    const std::string label = kLabelSize + "{C|}\n{XB00;0000,0000,r,T24,G0,V1,B01=OK|}\n" + kIssue;
    EXPECT_EQ(job.run({blankPage(16, 4), blankPage(16, 4)}), label + label);
    // Once per job, not once per label.
    const std::string warning =
        "Warning: RFIDUserMemData contains a framing character or a control character; the RFID "
        "write is not sent\n";
    const size_t first = job.log.find(warning);
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(job.log.find(warning, first + 1), std::string::npos);
  }
}

// --- graphic --------------------------------------------------------------------------------

TEST(LXPRFilter, UncompressedGraphicIsTheBlackBox) {
  for (const char* mode : {"None", "Uncompressed", "skarn"}) {
    LXPRJob job;
    job.settings.set("Compression", mode);
    TestPage page = blankPage(203, 40);
    page.setPixel(20, 10);
    page.setPixel(30, 12);
    page.setPixel(180, 33);
    const std::string out = job.run({page});
    const auto graphic = findGraphic(out);
    ASSERT_TRUE(graphic) << mode;
    EXPECT_EQ(graphic->type, '1');
    EXPECT_EQ(graphic->x, 20u * 254 / 203);
    EXPECT_EQ(graphic->y, 10u * 254 / 203);
    EXPECT_EQ(graphic->width, 161u);
    EXPECT_EQ(graphic->fourth, 24u);
    expectCroppedPage(std::vector<uint8_t>(graphic->data.begin(), graphic->data.end()), 161, 24,
                      page);
    EXPECT_EQ(graphic->before, kLabelSize + "{C|}\n");
    EXPECT_EQ(graphic->after, kIssue);
  }
}

TEST(LXPRFilter, SkarnGraphicDecodesToTheBlackBox) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1},   {7, 3},    {8, 9},     {63, 17}, {64, 5},
                                                 {65, 20}, {513, 31}, {1000, 12}, {4096, 4}};
  uint32_t seed = 1;
  for (const auto& [width, height] : sizes) {
    for (double density : {0.01, 0.3}) {
      TestPage page = randomPage(width, height, density, seed++);
      page.setPixel(width - 1, height - 1);
      page.resolution = 300;
      page.resolutionY = 600;
      LXPRJob job;
      job.settings.set("Compression", "SKARN");
      const auto graphic = findGraphic(job.run({page}));
      ASSERT_TRUE(graphic);
      EXPECT_EQ(graphic->type, '3');
      EXPECT_EQ(graphic->fourth, 300u);
      const Box box = blackBox(page);
      EXPECT_EQ(graphic->x, box.left * 254 / 300);
      EXPECT_EQ(graphic->y, box.top * 254 / 600);
      const std::vector<uint8_t> rows = skarnRows(graphic->data, (graphic->width + 7) / 8);
      expectCroppedPage(rows, graphic->width,
                        static_cast<uint32_t>(rows.size() / ((graphic->width + 7) / 8)), page);
    }
  }
}

TEST(LXPRFilter, SkarnResolutionField) {
  for (const auto& [resolution, expected] : {std::pair{203u, 300u}, std::pair{599u, 300u},
                                             std::pair{600u, 600u}, std::pair{1200u, 600u}}) {
    LXPRJob job;
    job.settings.set("Compression", "SKARN");
    TestPage page = blankPage(16, 2);
    page.setPixel(3, 1);
    page.resolution = resolution;
    const auto graphic = findGraphic(job.run({page}));
    ASSERT_TRUE(graphic);
    EXPECT_EQ(graphic->fourth, expected) << resolution;
  }
}

// Rows 80 01 repeated: SKARN is 2 + 5 + (rows - 1) bytes against 2 x rows raw.
TEST(LXPRFilter, AutoCompressionPicksTheSmallerEncoding) {
  struct Case {
    uint32_t rows;
    char type;
    const char* log;
  };
  const Case cases[] = {
      {5, '1', "SKARN is 11 bytes and uncompressed it is 10, choosing None"},
      {6, '3', "SKARN is 12 bytes and uncompressed it is 12, choosing SKARN"},
      {7, '3', "SKARN is 13 bytes and uncompressed it is 14, choosing SKARN"},
  };
  for (const Case& c : cases) {
    for (const char* setting : {"Auto", ""}) {
      LXPRJob job;
      if (*setting) job.settings.set("Compression", setting);
      TestPage page = pageOf(40, c.rows + 4, [&](uint32_t x, uint32_t y) {
        return y >= 2 && y < c.rows + 2 && (x == 8 || x == 23);
      });
      const auto graphic = findGraphic(job.run({page}));
      ASSERT_TRUE(graphic);
      EXPECT_EQ(graphic->type, c.type) << c.rows;
      EXPECT_NE(job.log.find(std::string("Debug: Compression mode is auto, ") + c.log + "\n"),
                std::string::npos)
          << job.log;
    }
  }
}

TEST(LXPRFilter, AutoSendsUncompressibleGraphicsRaw) {
  struct Case {
    TestPage page;
    const char* reason;
  };
  TestPage wide = blankPage(4200, 3);
  wide.setPixel(0, 0);
  wide.setPixel(4099, 2);
  const Case cases[] = {
      {wide, "Bitmap width exceeds supported width for SKARN compression"},
      {randomPage(4096, 140, 0.5, 99),
       "Unable to compress bitmap to under maximum size of 65536 bytes"},
  };
  for (const Case& c : cases) {
    LXPRJob job;
    const auto graphic = findGraphic(job.run({c.page}));
    ASSERT_TRUE(graphic);
    EXPECT_EQ(graphic->type, '1');
    expectCroppedPage(std::vector<uint8_t>(graphic->data.begin(), graphic->data.end()),
                      graphic->width, graphic->fourth, c.page);
    EXPECT_NE(job.log.find(std::string("Debug: Compression mode is auto, SKARN is not possible (") +
                           c.reason + "), choosing None\n"),
              std::string::npos)
        << job.log;

    LXPRJob forced;
    forced.settings.set("Compression", "SKARN");
    try {
      forced.run({c.page});
      ADD_FAILURE() << "SKARN accepted: " << c.reason;
    } catch (const FilterException& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("Page 1 cannot be sent with SKARN compression: ") + c.reason);
    }
    EXPECT_EQ(forced.partialOutput, kLabelSize + "{C|}\n");
  }
}

TEST(LXPRFilter, ZeroResolutionFailsOnlyWhenAGraphicIsPlaced) {
  for (const auto& [rx, ry] : {std::pair{0u, 203u}, std::pair{203u, 0u}}) {
    LXPRJob job;
    TestPage page = blankPage(16, 2);
    page.resolution = rx;
    page.resolutionY = ry;
    EXPECT_EQ(job.run({page}), blankLabel());
    page.setPixel(1, 1);
    try {
      job.run({page});
      ADD_FAILURE() << "zero resolution accepted";
    } catch (const FilterException& e) {
      EXPECT_EQ(std::string(e.what()), "Page 1 has the resolution " + std::to_string(rx) + "x" +
                                           std::to_string(ry) +
                                           " dpi; its graphic cannot be placed");
    }
  }
}

TEST(LXPRFilter, PagesAreIndependentLabels) {
  LXPRJob job;
  job.settings.set("Compression", "None");
  TestPage printed = blankPage(8, 2);
  printed.setPixel(0, 0);
  const std::string out = job.run({blankPage(8, 2), printed, blankPage(8, 2)});
  EXPECT_EQ(out, blankLabel() + kLabelSize + "{C|}\n{SG;0000,0000,0001,0001,1,\x80|}\n" + kIssue +
                     blankLabel());
  EXPECT_NE(job.log.find("Debug: Page 1 is blank\n"), std::string::npos);
  EXPECT_EQ(job.log.find("Debug: Page 2 is blank\n"), std::string::npos);
  EXPECT_NE(job.log.find("Debug: Page 3 is blank\n"), std::string::npos);
}

// --- status ---------------------------------------------------------------------------------

// Puts the read end of a pipe on descriptor 3 for the test's lifetime.
class BackChannel {
 public:
  BackChannel() {
    saved_ = ::dup(kBackChannelDescriptor);
    EXPECT_EQ(::pipe(fds_), 0);
    EXPECT_EQ(::dup2(fds_[0], kBackChannelDescriptor), kBackChannelDescriptor);
  }
  ~BackChannel() {
    ::close(fds_[0]);
    ::close(fds_[1]);
    if (saved_ >= 0) {
      ::dup2(saved_, kBackChannelDescriptor);
      ::close(saved_);
    } else {
      ::close(kBackChannelDescriptor);
    }
  }
  void send(const std::string& bytes) {
    ASSERT_EQ(::write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

 private:
  int fds_[2] = {-1, -1};
  int saved_ = -1;
};

TEST(LXPRFilter, QueryStatusReadsTheBackChannel) {
  BackChannel channel;
  JobSettings settings;
  settings.set("PrintMethod", "ThermalTransfer");
  std::istringstream in;
  std::ostringstream out;
  LXPRFilter filter(in, out, settings);
  int status = -1;
  {
    CaptureStderr log;
    EXPECT_FALSE(filter.queryStatus(status));
    EXPECT_EQ(log.text(), "Info: Printer did not report any abnormal status\n");
  }
  channel.send(
      std::string("\x01\x02"
                  "06?0123\x03\x04\x0A\x0D",
                  13));
  EXPECT_TRUE(filter.queryStatus(status));
  EXPECT_EQ(status, 6);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace Quillfeather
