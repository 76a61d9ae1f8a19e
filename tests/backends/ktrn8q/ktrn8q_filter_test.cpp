#include "backends/ktrn8q/ktrn8q_filter.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

#include "orntool/preview_ktrn8q.h"
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

bool hasLine(const std::string& log, const std::string& line) {
  return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
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
          {"",
           one,
           simplex + gap,
           {"Debug: Initialising printer",
            "Debug: Setting thermal printing mode to simplex (front only)",
            "Debug: Setting page height: 7", "Debug: Printing page 1 on the front",
            "Debug: Setting printing side to front",
            "Debug: Total padding: 8 bytes (meaning 4 on the left and 4 on the right)",
            "Debug: Issuing simplex print command"}},
          {"Duplex=duplextumble CuttingMode=Always",
           one,
           simplex + gap,
           {"Warning: Unable to determine two-sided printing mode, defaulting to front-only",
            "Warning: Unable to detemrine cutting mode, defaulting to none"}},
          {"PrintOnBackOnly=True",
           one,
           start(1) + kGapHeight + kBack + kGapRows + kPrint,
           {"Debug: Setting thermal printing mode to simplex (back only)",
            "Debug: Setting printing side to back"}},
          {"", {makePage(800, 50)}, start(0) + fromHex("1B 50 32 00") + kFront + kPrint, {}},
          {"",
           {gapPage(), makePage(800, 9), gapPage()},
           simplex + gap + kFront + kPrint + gap,
           {"Warning: The document contains pages of varying heights, the result may not be "
            "accurate."}},
          {"CuttingMode=None", two, simplex + gap + gap, {}},
          {"CuttingMode=EveryPage", two, simplex + gap + kCut + gap + kCut, {}},
          {"CuttingMode=EndOfDocument",
           two,
           simplex + gap + gap + kCut,
           {"Debug: Performing knife cut"}},
          // Page 1 front (no print), page 2 back, turned, then the duplex print; page 3 front,
          // and the job end prints its sheet with an empty back. Page 2's dot (2, 1) turns to
          // (13, 2).
          {"Duplex=DuplexTumble CuttingMode=EveryPage",
           {dotPage(1, 0), dotPage(2, 1), dotPage(3, 0)},
           start(2) + fromHex("1B 50 04 00") + kFront + dotRow(53, 0x40) + kBack +
               fromHex("1F 61 02 00") + dotRow(54, 0x04) + kDuplexPrint + kCut + kFront +
               dotRow(53, 0x10) + kBack + kDuplexPrint + kCut,
           {"Debug: Setting thermal printing mode to duplex", "Debug: Printing page 2 on the back",
            "Debug: Printing page 3 on the front"}},
          // The sheet is printed after its back; the job end only cuts.
          {"Duplex=DuplexNoTumble CuttingMode=EndOfDocument",
           two,
           duplex + kFront + kGapRows + kBack + kGapRows + kDuplexPrint + kCut,
           {"Debug: Issuing duplex print command"}},
          {"Duplex=DuplexTumble CuttingMode=EndOfDocument",
           one,
           duplex + kFront + kGapRows + kBack + kDuplexPrint + kCut,
           {}},
          {"Duplex=DuplexTumble", {}, start(2), {}},
          {"CuttingMode=EndOfDocument", {}, start(0) + kCut, {}},
          {"", {dotPage(16, 0, 65535)}, start(0) + tall + kPrint, {}},
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
      EXPECT_TRUE(hasLine(job.log, line)) << line;
      EXPECT_EQ(job.log.find(line), job.log.rfind(line)) << line;
    }
    if (log.empty()) {
      EXPECT_EQ(job.log.find("Warning"), std::string::npos);
    }
  }
}

// The row the printer should print for row y of a page, worked out dot by dot: narrower rows
// centred by whole bytes, wider ones cut at 864 dots; a turned page is rotated by a half turn.
std::vector<uint8_t> expectedRow(const TestPage* page, uint32_t y, bool turned) {
  std::vector<uint8_t> out(108, 0);
  if (!page) return out;
  const uint32_t left = page->rowBytes() >= 108 ? 0 : (108 - page->rowBytes()) / 2 * 8;
  for (uint32_t dot = left; dot < 864 && dot - left < page->width; ++dot) {
    const uint32_t x = dot - left;
    if (turned ? page->pixel(page->width - 1 - x, page->height - 1 - y) : page->pixel(x, y)) {
      out[dot / 8] |= static_cast<uint8_t>(0x80 >> (dot % 8));
    }
  }
  return out;
}

// Random pages of awkward widths with blank runs at the top, in the middle and at the bottom,
// in every two-sided mode: the tickets the decoder draws hold the pages.
TEST(KTRN8QFilterTest, TicketsMatchPages) {
  enum Mode { Front, BackOnly, NoTumble, Tumble };
  const std::pair<const char*, Mode> cases[] = {
      {"", Front},
      {"Duplex=None PrintOnBackOnly=False", Front},
      {"PrintOnBackOnly=True", BackOnly},
      {"PrintOnBackOnly=true", Front},
      {"Duplex=DuplexNoTumble", NoTumble},
      {"Duplex=DuplexTumble", Tumble},
      {"Duplex=DuplexTumble PrintOnBackOnly=True", Tumble}};
  const uint32_t widths[] = {13, 801, 864, 870, 1000};
  for (const auto& [options, mode] : cases) {
    for (uint32_t count = 1; count <= 5; ++count) {
      SCOPED_TRACE(std::string(options) + ", " + std::to_string(count) + " pages");
      std::vector<TestPage> pages;
      for (uint32_t i = 0; i < count; ++i) {
        std::mt19937 random(i * 7 + count);
        pages.push_back(makePage(widths[i], 40, [&](uint32_t, uint32_t y) {
          return !(y < i || (y >= 10 && y < 10 + 3 * i) || y >= 36) && random() % 4 == 0;
        }));
      }
      const Job job = runJob(options, pages);
      const int thermalMode = mode == Front ? 0 : mode == BackOnly ? 1 : 2;
      EXPECT_EQ(job.bytes.substr(0, 10), start(thermalMode) + fromHex("1B 50 28 00"));
      EXPECT_EQ(job.bytes.find(kCut), std::string::npos);
      // The name of each side the decoder draws, its page and whether that is turned.
      std::vector<std::tuple<std::string, const TestPage*, bool>> sides;
      const bool duplex = mode == NoTumble || mode == Tumble;
      for (uint32_t i = 0; i < count; i += duplex ? 2 : 1) {
        const std::string ticket = "ticket-" + std::to_string(duplex ? i / 2 + 1 : i + 1);
        if (mode != BackOnly) sides.push_back({ticket + "-front", &pages[i], false});
        if (mode != Front) {
          const TestPage* back = mode == BackOnly ? &pages[i]
                                 : i + 1 < count  ? &pages[i + 1]
                                                  : nullptr;
          sides.push_back({ticket + "-back", back, mode == Tumble});
        }
      }
      const auto images = OrnTool::decodeKtrn8q(
          std::span(reinterpret_cast<const uint8_t*>(job.bytes.data()), job.bytes.size()));
      ASSERT_EQ(images.size(), sides.size());
      for (size_t s = 0; s < sides.size(); ++s) {
        const auto& [name, page, turned] = sides[s];
        EXPECT_EQ(images[s].name, name);
        ASSERT_EQ(images[s].bitmap.height(), 40u);
        for (uint32_t y = 0; y < 40; ++y) {
          const auto printed = images[s].bitmap.row(y);
          ASSERT_EQ(std::vector<uint8_t>(printed.begin(), printed.end()),
                    expectedRow(page, y, turned))
              << name << " row " << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
