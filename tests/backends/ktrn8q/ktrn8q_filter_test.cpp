#include "backends/ktrn8q/ktrn8q_filter.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "support/capture_stderr.h"
#include "support/raster_builder.h"

namespace Quillfeather::ktrn8q {
namespace {

using OrnTest::TestPage;

// "1B 40 1F 62" -> the bytes: pairs of hexadecimal digits, one space apart.
std::string fromHex(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 3) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// A 1-bit page at the printer's 203 dpi whose page size in points matches its dots.
TestPage makePage(uint32_t width, uint32_t height,
                  const std::function<bool(uint32_t x, uint32_t y)>& black = {}) {
  TestPage page = OrnTest::bitmapPage(width, height, black);
  page.resolution = 203;
  page.pageSize[0] = width * 72 / 203;
  page.pageSize[1] = height * 72 / 203;
  return page;
}

struct Job {
  std::string bytes;
  std::string log;
};

Job runJob(const std::string& options, const std::vector<TestPage>& pages) {
  std::istringstream input(OrnTest::rasterStream(pages));
  std::ostringstream output;
  OrnTest::CaptureStderr log;
  JobSettings settings;
  settings.parseOptions(options);
  KTRN8QFilter filter(input, output, settings);
  filter.run();
  EXPECT_FALSE(filter.hasFailed());
  return {output.str(), log.text()};
}

// A row command whose 108 bytes are blank but the one given.
std::string dotRow(size_t byte, uint8_t bits) {
  std::string command = fromHex("1B 2E 00 01 00 00") + std::string(108, '\0');
  command[6 + byte] = static_cast<char>(bits);
  return command;
}

// 100 bytes wide: row 0 and row 4 printed, three blank rows between them and two at the bottom.
TestPage gapPage() {
  return makePage(800, 7,
                  [](uint32_t x, uint32_t y) { return (y == 0 && x < 8) || (y == 4 && x >= 792); });
}
const std::string kGapRows = dotRow(4, 0xFF) + fromHex("1F 61 03 00") + dotRow(103, 0xFF);
const std::string kGapHeight = fromHex("1B 50 07 00");
const std::string kFront = fromHex("1F 63 00 00");
const std::string kBack = fromHex("1F 63 01 00");
const std::string kPrint = fromHex("1B 0C");
const std::string kDuplexPrint = fromHex("1F 64");
const std::string kCut = fromHex("1B 69");

std::string start(int thermalMode) {
  return fromHex("1B 40 1F 62 0" + std::to_string(thermalMode) + " 00");
}

TestPage dotPage(uint32_t x, uint32_t y, uint32_t height = 4) {
  return makePage(x < 16 ? 16 : 8, height,
                  [=](uint32_t px, uint32_t py) { return px == x % 16 && py == y; });
}

TEST(KTRN8QFilterTest, ByteForByte) {
  const std::string tall = fromHex("1B 50 FF FF") + kFront + dotRow(53, 0x80);
  const auto longPage = [](uint32_t blank) {
    return makePage(8, blank + 2,
                    [=](uint32_t x, uint32_t y) { return x == 0 && (y == 0 || y == blank + 1); });
  };
  const auto tooTall = [](uint32_t height) {
    return "Warning: The page height of " + std::to_string(height) +
           " rows exceeds the printer's limit of 65535 rows";
  };
  const std::string simplex = start(0) + kGapHeight, duplex = start(2) + kGapHeight;
  const std::string gap = kFront + kGapRows + kPrint;
  const std::vector<TestPage> one{gapPage()}, two{gapPage(), gapPage()};
  // Options, pages, the printer data, and lines the log holds once each.
  const std::tuple<std::string, std::vector<TestPage>, std::string, std::vector<std::string>>
      cases[] = {
          {"Duplex=duplextumble CuttingMode=Always",
           one,
           simplex + gap,
           {"Warning: Unable to determine two-sided printing mode, defaulting to front-only",
            "Warning: Unable to detemrine cutting mode, defaulting to none"}},
          {"PrintOnBackOnly=True", one, start(1) + kGapHeight + kBack + kGapRows + kPrint, {}},
          // An odd padding puts the extra byte on the right; rows wider than 864 dots are cut.
          {"",
           {makePage(808, 1, [](uint32_t x, uint32_t) { return x == 807; }),
            makePage(870, 1, [](uint32_t x, uint32_t) { return x == 863 || x == 869; })},
           start(0) + fromHex("1B 50 01 00") + kFront + dotRow(103, 0x01) + kPrint + kFront +
               dotRow(107, 0x01) + kPrint,
           {}},
          {"",
           {gapPage(), makePage(800, 9), gapPage()},
           simplex + gap + kFront + kPrint + gap,
           {"Warning: The document contains pages of varying heights, the result may not be "
            "accurate."}},
          {"CuttingMode=EndOfDocument", two, simplex + gap + gap + kCut, {}},
          // Page 1 front (no print), page 2 back, turned, then the duplex print; page 3 front,
          // and the job end prints its sheet with an empty back. Page 2's dot (2, 1) turns to
          // (13, 2).
          {"Duplex=DuplexTumble CuttingMode=EveryPage",
           {dotPage(1, 0), dotPage(2, 1), dotPage(3, 0)},
           start(2) + fromHex("1B 50 04 00") + kFront + dotRow(53, 0x40) + kBack +
               fromHex("1F 61 02 00") + dotRow(54, 0x04) + kDuplexPrint + kCut + kFront +
               dotRow(53, 0x10) + kBack + kDuplexPrint + kCut,
           {"Debug: Setting thermal printing mode to duplex"}},
          // The sheet is printed after its back; the job end only cuts.
          {"Duplex=DuplexNoTumble CuttingMode=EndOfDocument",
           two,
           duplex + kFront + kGapRows + kBack + kGapRows + kDuplexPrint + kCut,
           {}},
          // Taller than the page height command can say: the largest height is sent.
          {"",
           {longPage(65535)},
           start(0) + tall + fromHex("1F 61 FF FF") + dotRow(53, 0x80) + kPrint,
           {tooTall(65537)}},
          {"",
           {longPage(65536)},
           start(0) + tall + fromHex("1F 61 FF FF 1F 61 01 00") + dotRow(53, 0x80) + kPrint,
           {tooTall(65538)}},
      };
  for (const auto& [options, pages, expected, log] : cases) {
    SCOPED_TRACE(options + ", " + std::to_string(pages.size()) + " pages, " +
                 std::to_string(pages.empty() ? 0 : pages[0].height) + " rows");
    const Job job = runJob(options, pages);
    EXPECT_EQ(job.bytes, expected);
    for (const std::string& line : log) {
      EXPECT_NE(("\n" + job.log).find("\n" + line + "\n"), std::string::npos) << line;
      EXPECT_EQ(job.log.find(line), job.log.rfind(line)) << line;
    }
    if (log.empty()) {
      EXPECT_EQ(job.log.find("Warning"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
