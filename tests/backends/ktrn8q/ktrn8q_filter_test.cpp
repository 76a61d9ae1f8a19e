#include "backends/ktrn8q/ktrn8q_filter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "backends/ktrn8q/fake_printer.h"
#include "backends/ktrn8q/hex.h"
#include "backends/ktrn8q/sheet_decoder.h"
#include "support/capture_stderr.h"
#include "support/raster_builder.h"

namespace Quillfeather::ktrn8q {
namespace {

using OrnTest::CaptureStderr;
using OrnTest::TestPage;
using test::DecodedJob;
using test::DecodedSheet;
using test::fromHex;
using test::toHex;

using Settings = std::map<std::string, std::string>;

// A 1-bit page at the printer's 203 dpi whose page size in points matches its dots.
TestPage makePage(uint32_t width, uint32_t height,
                  const std::function<bool(uint32_t x, uint32_t y)>& black) {
  TestPage page = OrnTest::bitmapPage(width, height, black);
  page.resolution = 203;
  page.pageSize[0] = width * 72 / 203;
  page.pageSize[1] = height * 72 / 203;
  return page;
}

// Random dots (about one in four black) with whole blank rows where
// blankRow(y) says so.
TestPage randomPage(uint32_t width, uint32_t height, uint32_t seed,
                    const std::function<bool(uint32_t y)>& blankRow) {
  std::mt19937 random(seed);
  return makePage(width, height,
                  [&](uint32_t, uint32_t y) { return !blankRow(y) && random() % 4 == 0; });
}

JobSettings jobSettings(const Settings& values) {
  JobSettings settings;
  for (const auto& [name, value] : values) settings.set(name, value);
  return settings;
}

struct Job {
  std::string bytes;
  std::string log;
};

Job runJob(const Settings& values, const std::vector<TestPage>& pages) {
  std::istringstream input(OrnTest::rasterStream(pages));
  std::ostringstream output;
  CaptureStderr log;
  KTRN8QFilter filter(input, output, jobSettings(values));
  filter.run();
  EXPECT_FALSE(filter.hasFailed());
  return {output.str(), log.text()};
}

bool hasLine(const std::string& log, const std::string& line) {
  return ("\n" + log).find("\n" + line + "\n") != std::string::npos;
}

std::string row(std::string_view data) { return fromHex("1B 2E 00 01 00 00") + std::string(data); }

// The 108 bytes the printer should receive for row y of a page, worked out
// dot by dot: narrower rows centred by whole bytes, wider ones cut at 864 dots.
std::string expectedRow(const TestPage& page, uint32_t y, bool turned) {
  const uint32_t bytes = page.rowBytes();
  const uint32_t left = bytes >= 108 ? 0 : (108 - bytes) / 2;
  std::string out(108, '\0');
  for (uint32_t dot = 0; dot < 864; ++dot) {
    if (dot < 8 * left) continue;
    const uint32_t x = dot - 8 * left;
    if (x >= page.width) continue;
    const bool black =
        turned ? page.pixel(page.width - 1 - x, page.height - 1 - y) : page.pixel(x, y);
    if (black) out[dot / 8] = static_cast<char>(out[dot / 8] | 0x80 >> (dot % 8));
  }
  return out;
}

std::vector<std::string> expectedSide(const TestPage& page, bool turned) {
  std::vector<std::string> rows;
  for (uint32_t y = 0; y < page.height; ++y) rows.push_back(expectedRow(page, y, turned));
  test::trimTrailingBlankRows(rows);
  return rows;
}

enum class Mode { Front, BackOnly, NoTumble, Tumble };

// The sheets a job of these pages must produce.
std::vector<DecodedSheet> expectedSheets(const std::vector<TestPage>& pages, Mode mode) {
  std::vector<DecodedSheet> sheets;
  if (mode == Mode::Front || mode == Mode::BackOnly) {
    for (const TestPage& page : pages) {
      DecodedSheet sheet;
      (mode == Mode::Front ? sheet.front : sheet.back) = expectedSide(page, false);
      sheets.push_back(std::move(sheet));
    }
    return sheets;
  }
  for (std::size_t i = 0; i < pages.size(); i += 2) {
    DecodedSheet sheet;
    sheet.duplexPrint = true;
    sheet.front = expectedSide(pages[i], false);
    if (i + 1 < pages.size()) sheet.back = expectedSide(pages[i + 1], mode == Mode::Tumble);
    sheets.push_back(std::move(sheet));
  }
  return sheets;
}

void expectSheets(const DecodedJob& job, const std::vector<DecodedSheet>& expected) {
  ASSERT_EQ(job.sheets.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("sheet " + std::to_string(i + 1));
    EXPECT_EQ(job.sheets[i].duplexPrint, expected[i].duplexPrint);
    EXPECT_TRUE(job.sheets[i].front == expected[i].front) << "front differs";
    EXPECT_TRUE(job.sheets[i].back == expected[i].back) << "back differs";
  }
  EXPECT_FALSE(job.pendingContent);
}

// 100 bytes wide: row 0 and row 4 printed, three blank rows between them and
// two blank rows at the bottom.
TestPage gapPage() {
  return makePage(800, 7,
                  [](uint32_t x, uint32_t y) { return (y == 0 && x < 8) || (y == 4 && x >= 792); });
}

TEST(KTRN8QFilterTest, SimplexPageByteForByte) {
  const Job job = runJob({}, {gapPage()});
  const std::string pad4(4, '\0');
  const std::string expected = fromHex("1B 40 1F 62 00 00 1B 50 07 00 1F 63 00 00") +
                               row(pad4 + '\xFF' + std::string(99, '\0') + pad4) +
                               fromHex("1F 61 03 00") +
                               row(pad4 + std::string(99, '\0') + '\xFF' + pad4) + fromHex("1B 0C");
  EXPECT_EQ(toHex(job.bytes), toHex(expected));
  EXPECT_TRUE(hasLine(job.log, "Debug: Initialising printer"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Setting thermal printing mode to simplex (front only)"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Setting page height: 7"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Printing page 1 on the front"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Setting printing side to front"));
  EXPECT_TRUE(
      hasLine(job.log, "Debug: Total padding: 8 bytes (meaning 4 on the left and 4 on the right)"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Issuing simplex print command"));
}

struct PaddingCase {
  uint32_t width;
  std::size_t left;
  std::size_t right;
  std::size_t kept;
  const char* logLine;
};

class KTRN8QPaddingTest : public ::testing::TestWithParam<PaddingCase> {};

TEST_P(KTRN8QPaddingTest, RowsAre108Bytes) {
  const PaddingCase& c = GetParam();
  // Every byte of the row distinct, so a shift or a cut in the wrong place shows.
  TestPage page = makePage(c.width, 1, {});
  for (uint32_t i = 0; i < page.rowBytes(); ++i) page.data[i] = static_cast<uint8_t>(i + 1);
  const Job job = runJob({}, {page});
  const std::string data(page.data.begin(), page.data.begin() + static_cast<long>(c.kept));
  const std::string expected = fromHex("1B 40 1F 62 00 00 1B 50 01 00 1F 63 00 00") +
                               row(std::string(c.left, '\0') + data + std::string(c.right, '\0')) +
                               fromHex("1B 0C");
  EXPECT_EQ(toHex(job.bytes), toHex(expected));
  EXPECT_TRUE(hasLine(job.log, c.logLine)) << job.log;
}

INSTANTIATE_TEST_SUITE_P(
    Widths, KTRN8QPaddingTest,
    ::testing::Values(
        PaddingCase{800, 4, 4, 100,
                    "Debug: Total padding: 8 bytes (meaning 4 on the left and 4 on the right)"},
        PaddingCase{808, 3, 4, 101,
                    "Debug: Total padding: 7 bytes (meaning 3 on the left and 4 on the right)"},
        PaddingCase{856, 0, 1, 107,
                    "Debug: Total padding: 1 bytes (meaning 0 on the left and 1 on the right)"},
        PaddingCase{864, 0, 0, 108,
                    "Debug: Total padding: 0 bytes (meaning 0 on the left and 0 on the right)"},
        PaddingCase{960, 0, 0, 108,
                    "Debug: Total padding: 0 bytes (meaning 0 on the left and 0 on the right)"}));

TEST(KTRN8QFilterTest, BlankPageSendsSideAndPrintOnly) {
  const Job job = runJob({}, {makePage(800, 50, [](uint32_t, uint32_t) { return false; })});
  EXPECT_EQ(toHex(job.bytes), toHex(fromHex("1B 40 1F 62 00 00 1B 50 32 00 1F 63 00 00 1B 0C")));
}

TEST(KTRN8QFilterTest, CuttingModes) {
  const std::vector<TestPage> pages{gapPage(), gapPage()};
  const std::string print = fromHex("1B 0C");
  const std::string cut = fromHex("1B 69");

  const Job none = runJob({{"CuttingMode", "None"}}, pages);
  EXPECT_EQ(none.bytes.find(cut), std::string::npos);

  const Job every = runJob({{"CuttingMode", "EveryPage"}}, pages);
  const DecodedJob everyDecoded = test::decodeJob(every.bytes);
  EXPECT_EQ(everyDecoded.cuts, (std::vector<std::size_t>{1, 2}));
  // Each print is followed directly by its cut, and nothing follows the last.
  EXPECT_TRUE(every.bytes.ends_with(print + cut));
  EXPECT_EQ(every.bytes.find(print + cut), every.bytes.find(print));

  const Job end = runJob({{"CuttingMode", "EndOfDocument"}}, pages);
  const DecodedJob endDecoded = test::decodeJob(end.bytes);
  EXPECT_EQ(endDecoded.cuts, (std::vector<std::size_t>{2}));
  EXPECT_TRUE(end.bytes.ends_with(print + cut));
  EXPECT_TRUE(hasLine(end.log, "Debug: Performing knife cut"));
  // Without the cuts the streams are the same (the page data holds no 1B 69).
  auto withoutCuts = [&](std::string bytes) {
    for (std::size_t at; (at = bytes.find(cut)) != std::string::npos;) bytes.erase(at, 2);
    return bytes;
  };
  EXPECT_EQ(withoutCuts(every.bytes), none.bytes);
  EXPECT_EQ(withoutCuts(end.bytes), none.bytes);
}

// Three pages, two-sided with tumbling: page 1 front (no print), page 2 back,
// turned, then the duplex print; page 3 front, and the job end prints its sheet.
TEST(KTRN8QFilterTest, ThreePagesDuplexTumbleByteForByte) {
  // A single black dot near the top left of each page: after the half turn
  // page 2's dot is near the bottom right.
  auto dotPage = [](uint32_t x, uint32_t y) {
    return makePage(16, 4, [=](uint32_t px, uint32_t py) { return px == x && py == y; });
  };
  const Job job = runJob({{"Duplex", "DuplexTumble"}, {"CuttingMode", "EveryPage"}},
                         {dotPage(1, 0), dotPage(2, 1), dotPage(3, 0)});
  auto line = [](std::size_t byteIndex, uint8_t value) {
    std::string data(108, '\0');
    data[byteIndex] = static_cast<char>(value);
    return row(data);
  };
  // 2 bytes wide: 53 bytes of padding on the left.
  const std::string expected = fromHex("1B 40 1F 62 02 00 1B 50 04 00") +
                               // page 1, front: dot at x 1, y 0
                               fromHex("1F 63 00 00") + line(53, 0x40) +
                               // page 2, back: dot at x 2, y 1 turned to x 13, y 2
                               fromHex("1F 63 01 00 1F 61 02 00") + line(54, 0x04) +
                               fromHex("1F 64 1B 69") +
                               // page 3, front: dot at x 3, y 0
                               fromHex("1F 63 00 00") + line(53, 0x10) +
                               // job end: the last sheet's back is empty
                               fromHex("1F 63 01 00 1F 64 1B 69");
  EXPECT_EQ(toHex(job.bytes), toHex(expected));
  EXPECT_TRUE(hasLine(job.log, "Debug: Setting thermal printing mode to duplex"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Printing page 2 on the back"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Printing page 3 on the front"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Issuing duplex print command"));
}

struct ModeCase {
  const char* name;
  Settings settings;
  Mode mode;
  int thermalMode;
};

void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.name; }

class KTRN8QSheetTest : public ::testing::TestWithParam<ModeCase> {};

// Random pages of awkward widths, with blank runs at the top, in the middle and
// at the bottom: the sheets the printer would build equal the pages.
TEST_P(KTRN8QSheetTest, SheetsMatchPages) {
  const ModeCase& c = GetParam();
  for (std::size_t count : {1u, 2u, 3u, 4u, 5u}) {
    std::vector<TestPage> pages;
    const uint32_t widths[] = {13, 801, 864, 870, 1000};
    for (std::size_t i = 0; i < count; ++i) {
      pages.push_back(
          randomPage(widths[i], 40, static_cast<uint32_t>(i * 7 + count),
                     [&](uint32_t y) { return y < i || (y >= 10 && y < 10 + 3 * i) || y >= 36; }));
    }
    SCOPED_TRACE(std::to_string(count) + " pages");
    const Job job = runJob(c.settings, pages);
    const DecodedJob decoded = test::decodeJob(job.bytes);
    EXPECT_TRUE(decoded.initialised);
    EXPECT_EQ(decoded.thermalMode, c.thermalMode);
    EXPECT_EQ(decoded.pageHeights, std::vector<uint32_t>{40});
    expectSheets(decoded, expectedSheets(pages, c.mode));
    EXPECT_TRUE(decoded.cuts.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KTRN8QSheetTest,
    ::testing::Values(
        ModeCase{"Defaults", {}, Mode::Front, 0},
        ModeCase{"Simplex", {{"Duplex", "None"}, {"PrintOnBackOnly", "False"}}, Mode::Front, 0},
        ModeCase{"BackOnly", {{"PrintOnBackOnly", "True"}}, Mode::BackOnly, 1},
        ModeCase{"BackOnlyLowerCase", {{"PrintOnBackOnly", "true"}}, Mode::Front, 0},
        ModeCase{"NoTumble", {{"Duplex", "DuplexNoTumble"}}, Mode::NoTumble, 2},
        ModeCase{"Tumble", {{"Duplex", "DuplexTumble"}}, Mode::Tumble, 2},
        ModeCase{"TumbleBackOnly",
                 {{"Duplex", "DuplexTumble"}, {"PrintOnBackOnly", "True"}},
                 Mode::Tumble,
                 2}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST(KTRN8QFilterTest, PrintOnBackOnly) {
  const Job job = runJob({{"PrintOnBackOnly", "True"}}, {gapPage()});
  EXPECT_TRUE(job.bytes.starts_with(fromHex("1B 40 1F 62 01 00 1B 50 07 00 1F 63 01 00")));
  EXPECT_TRUE(job.bytes.ends_with(fromHex("1B 0C")));
  EXPECT_TRUE(hasLine(job.log, "Debug: Setting thermal printing mode to simplex (back only)"));
  EXPECT_TRUE(hasLine(job.log, "Debug: Setting printing side to back"));
}

struct FeedCase {
  uint32_t blankRows;
  const char* feed;
};

class KTRN8QLongFeedTest : public ::testing::TestWithParam<FeedCase> {};

TEST_P(KTRN8QLongFeedTest, BlankRunsSplitAt65535) {
  const uint32_t blank = GetParam().blankRows;
  const uint32_t height = blank + 2;
  const TestPage page = makePage(
      8, height, [&](uint32_t x, uint32_t y) { return x == 0 && (y == 0 || y == height - 1); });
  const Job job = runJob({}, {page});
  std::string dotRow(108, '\0');
  dotRow[53] = '\x80';
  const std::string expected = fromHex("1B 40 1F 62 00 00 1B 50 FF FF 1F 63 00 00") + row(dotRow) +
                               fromHex(GetParam().feed) + row(dotRow) + fromHex("1B 0C");
  EXPECT_EQ(toHex(job.bytes), toHex(expected));
  // Taller than the page height command can say: the largest height is sent.
  EXPECT_TRUE(hasLine(job.log, "Warning: The page height of " + std::to_string(height) +
                                   " rows exceeds the printer's limit of 65535 rows"));
}

INSTANTIATE_TEST_SUITE_P(Counts, KTRN8QLongFeedTest,
                         ::testing::Values(FeedCase{65535, "1F 61 FF FF"},
                                           FeedCase{65536, "1F 61 FF FF 1F 61 01 00"}));

TEST(KTRN8QFilterTest, PageHeightLimit) {
  const auto tall = [](uint32_t height) {
    return makePage(8, height, [](uint32_t, uint32_t y) { return y == 0; });
  };
  const Job fits = runJob({}, {tall(65535)});
  EXPECT_TRUE(fits.bytes.starts_with(fromHex("1B 40 1F 62 00 00 1B 50 FF FF")));
  EXPECT_EQ(fits.log.find("Warning"), std::string::npos);
}

TEST(KTRN8QFilterTest, VaryingHeights) {
  const Job job = runJob(
      {}, {gapPage(), makePage(800, 9, [](uint32_t, uint32_t) { return false; }), gapPage()});
  const DecodedJob decoded = test::decodeJob(job.bytes);
  EXPECT_EQ(decoded.pageHeights, std::vector<uint32_t>{7});
  EXPECT_EQ(decoded.sheets.size(), 3u);
  const std::string warning =
      "Warning: The document contains pages of varying heights, the result may not be accurate.";
  EXPECT_TRUE(hasLine(job.log, warning));
  EXPECT_EQ(job.log.find(warning), job.log.rfind(warning));  // page 3 matches page 1
}

TEST(KTRN8QFilterTest, UnknownSettings) {
  CaptureStderr log;
  std::istringstream input;
  std::ostringstream output;
  const KTRN8QFilter filter(input, output,
                            jobSettings({{"Duplex", "duplextumble"}, {"CuttingMode", "Always"}}));
  EXPECT_EQ(filter.twoSidedMode(), KTRN8QFilter::TwoSidedMode::None);
  EXPECT_EQ(filter.cuttingMode(), KTRN8QFilter::CuttingMode::None);
  EXPECT_EQ(log.text(),
            "Warning: Unable to determine two-sided printing mode, defaulting to front-only\n"
            "Warning: Unable to detemrine cutting mode, defaulting to none\n");
}

TEST(KTRN8QFilterTest, DefaultsWithoutSettings) {
  CaptureStderr log;
  std::istringstream input;
  std::ostringstream output;
  const KTRN8QFilter filter(input, output, JobSettings());
  EXPECT_EQ(filter.twoSidedMode(), KTRN8QFilter::TwoSidedMode::None);
  EXPECT_EQ(filter.cuttingMode(), KTRN8QFilter::CuttingMode::None);
  EXPECT_FALSE(filter.printOnBackOnly());
  EXPECT_EQ(log.text(), "");
}

TEST(KTRN8QFilterTest, JobWithoutPages) {
  EXPECT_EQ(toHex(runJob({{"Duplex", "DuplexTumble"}}, {}).bytes), "1B 40 1F 62 02 00");
  EXPECT_EQ(toHex(runJob({{"CuttingMode", "EndOfDocument"}}, {}).bytes), "1B 40 1F 62 00 00 1B 69");
}

TEST(KTRN8QFilterTest, DuplexEvenPagesNeedNoCompletion) {
  const Job job = runJob({{"Duplex", "DuplexNoTumble"}, {"CuttingMode", "EndOfDocument"}},
                         {gapPage(), gapPage()});
  // The sheet is printed after its back; the job end only cuts.
  EXPECT_TRUE(job.bytes.ends_with(fromHex("1F 64 1B 69")));
  const DecodedJob decoded = test::decodeJob(job.bytes);
  EXPECT_EQ(decoded.sheets.size(), 1u);
  EXPECT_EQ(decoded.cuts, std::vector<std::size_t>{1});
}

TEST(KTRN8QFilterTest, EndOfDocumentAfterLoneFront) {
  const Job job =
      runJob({{"Duplex", "DuplexTumble"}, {"CuttingMode", "EndOfDocument"}}, {gapPage()});
  EXPECT_TRUE(job.bytes.ends_with(fromHex("1F 63 01 00 1F 64 1B 69")));
}

// queryStatus talks to descriptor 3, the CUPS back channel.
TEST(KTRN8QFilterTest, QueryStatusUsesTheBackChannel) {
  std::string answer(16, '\0');
  answer += std::string{0, 0, 0x01, 0, 0x40, 0};
  test::FakePrinter printer({{3, {answer.substr(0, 16)}}, {2, {answer.substr(16)}}}, false);
  const int saved = ::fcntl(3, F_DUPFD_CLOEXEC, 10);  // -1 when descriptor 3 is not open
  ASSERT_EQ(::dup2(printer.descriptor(), 3), 3);
  int status = -1;
  bool ok = false;
  {
    std::istringstream input;
    std::ostringstream output;
    KTRN8QFilter filter(input, output, JobSettings());
    ok = filter.queryStatus(status);
  }
  if (saved >= 0) {
    ::dup2(saved, 3);
    ::close(saved);
  } else {
    ::close(3);
  }
  EXPECT_TRUE(ok);
  EXPECT_EQ(status, 10);
  EXPECT_EQ(printer.received(), fromHex("1D 30 05 14 01"));
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
