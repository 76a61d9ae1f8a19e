// The regression inputs of the fuzz corpus run through the built filter for every
// printer language: each ends in its exact Critical line or prints its pages, never
// with a signal. The option and insertion-file inputs are parsed and sent as they are.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orntool/preview_zpl.h"
#include "ppd/job_settings.h"
#include "support/process.h"

namespace OrnTest {
namespace {

const std::string kCrit = "CRIT: An exception occurred during filter execution: ";

std::string corpusPath(const std::string& target, const std::string& name) {
  return std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> withPrefix(const std::string& err, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines(err)) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::string modelPPD(const std::string& language) {
  return std::string(ORN_SOURCE_DIR) + "/models/orn-" + language + ".ppd";
}

std::string tempFile(const std::string& name, const std::string& content) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("orn-robustness-" + std::to_string(static_cast<long>(getpid())));
  std::filesystem::create_directories(dir);
  const auto path = dir / name;
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

// Runs the filter as CUPS does; the raster comes from a file named on the command line.
ProcessResult runFilter(const std::string& ppd, const std::string& rasterPath,
                        const std::string& options = "") {
  ProcessOptions process;
  process.env["PPD"] = ppd;
  process.timeoutSeconds = 30;
  return runProcess({std::string(ORN_BINARY_DIR) + "/rastertoorn", "7", "alice", "Regression", "1",
                     options, rasterPath},
                    process);
}

struct RasterCase {
  const char* file;
  const char* critical;  // nullptr: the job prints
  int pages;
};

const RasterCase kRasterCases[] = {
    {"bits_per_color_0", "Incorrect raster image format", 0},
    {"bpl_1_width_huge", "Incorrect raster image format", 0},
    {"height_x_bpl_overflow",
     "Page of 18446744065119617025 bytes exceeds the limit of 268435456 bytes", 0},
    {"v2_run_past_line", "Compressed raster data runs past the end of a line", 0},
    {"header_then_eof", "Unable to read from input", 0},
    {"truncated_v1_header", "Unable to read from input", 0},
    {"blank_rows", nullptr, 1},
    {"page2_wider_than_page1", nullptr, 2},
    {"sync_only", nullptr, 0},
};

class RasterRegressionInputs : public ::testing::TestWithParam<std::string> {};

TEST_P(RasterRegressionInputs, EndAsExpected) {
  for (const RasterCase& c : kRasterCases) {
    SCOPED_TRACE(std::string(c.file) + " through " + GetParam());
    const ProcessResult r = runFilter(modelPPD(GetParam()), corpusPath("raster_reader", c.file));
    EXPECT_EQ(r.signal, 0);
    const std::vector<std::string> critical = withPrefix(r.err, "CRIT: ");
    if (c.critical) {
      EXPECT_EQ(r.exitStatus, 1);
      EXPECT_EQ(critical, std::vector<std::string>{kCrit + c.critical});
    } else {
      EXPECT_EQ(r.exitStatus, 0);
      EXPECT_TRUE(critical.empty()) << r.err;
    }
    EXPECT_EQ(withPrefix(r.err, "PAGE: ").size(), static_cast<size_t>(c.pages));
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, RasterRegressionInputs,
                         ::testing::Values("zpl", "lxpr", "ktrn8q"));

// Blank rows are found within each row; both pages of different widths print white.
TEST(RasterRegressionOutput, BlankPagesDecodeWhite) {
  for (const char* file : {"blank_rows", "page2_wider_than_page1"}) {
    SCOPED_TRACE(file);
    const ProcessResult r = runFilter(modelPPD("zpl"), corpusPath("raster_reader", file));
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const auto labels =
        OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size()));
    EXPECT_EQ(labels.size(), std::string(file) == "blank_rows" ? 1u : 2u);
    for (const auto& label : labels) EXPECT_FALSE(OrnTool::hasInk(label.bitmap));
  }
}

// Options and insertion files: each input holds a percent sign at its end, a line of
// 20000 bytes or cut-short UTF-8 sequences.
TEST(OptionRegressionInputs, ParseAsWritten) {
  Quillfeather::JobSettings percent;
  percent.parseOptions(readFile(corpusPath("option_string", "percent_at_end")));
  EXPECT_EQ(percent.get("Title", ""), "100%");
  EXPECT_EQ(percent.get("Note", ""), "%");
  EXPECT_EQ(percent.get("PrintSpeed", ""), "4");

  Quillfeather::JobSettings overlong;
  overlong.parseOptions(readFile(corpusPath("option_string", "overlong_line")));
  EXPECT_EQ(overlong.get("Title", ""), std::string(20000, 'x'));
  EXPECT_EQ(overlong.get("Note", ""), "end");

  Quillfeather::JobSettings utf8;
  utf8.parseOptions(readFile(corpusPath("option_string", "truncated_utf8")));
  EXPECT_EQ(utf8.get("Title", ""), "caf\xc3");
  EXPECT_EQ(utf8.get("User", ""), "\xe2\x82");
  EXPECT_EQ(utf8.get("PrintSpeed", ""), "4");
}

TEST(OptionRegressionInputs, JobsPrintWithThem) {
  const std::string raster =
      tempFile("one_page.ras", readFile(corpusPath("raster_reader", "valid_v3_be_1bit")));
  for (const char* name : {"percent_at_end", "overlong_line", "truncated_utf8"}) {
    for (const char* language : {"zpl", "lxpr", "ktrn8q"}) {
      SCOPED_TRACE(std::string(name) + " through " + language);
      const ProcessResult r =
          runFilter(modelPPD(language), raster, readFile(corpusPath("option_string", name)));
      EXPECT_EQ(r.signal, 0);
      EXPECT_EQ(r.exitStatus, 0) << r.err;
      EXPECT_TRUE(withPrefix(r.err, "CRIT: ").empty());
      EXPECT_EQ(withPrefix(r.err, "PAGE: ").size(), 1u);
    }
  }
}

// As an insertion file each input is sent line for line, unchanged, with a line feed added.
TEST(InsertionRegressionInputs, FilesSentUnchanged) {
  const std::string noPages = tempFile("sync_only.ras", "RaS3");
  for (const char* name : {"percent_at_end", "overlong_line", "truncated_utf8"}) {
    SCOPED_TRACE(name);
    const std::string path = corpusPath("option_string", name);
    const std::string ppd = tempFile(std::string(name) + ".ppd",
                                     "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: ZPL\n"
                                     "*ORNPreJobInsertion File: \"" +
                                         path + "\"\n");
    const ProcessResult r = runFilter(ppd, noPages);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, readFile(path) + "\n");
  }
}

}  // namespace
}  // namespace OrnTest
