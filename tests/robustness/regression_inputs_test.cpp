// The regression inputs of the fuzz corpus through the built filter, checked by name for every
// printer language: each ends in its exact Critical line or prints its pages, never with a
// signal. The option and insertion-file inputs are parsed and sent as they are, and hostile
// values (a line feed in an option, title codes, RFID framing) cannot change what is sent.
#include <gtest/gtest.h>

#include "orntool/preview_zpl.h"
#include "ppd/job_settings.h"
#include "support/process.h"

namespace OrnTest {
namespace {

const std::string kCrit = "CRIT: An exception occurred during filter execution: ";

std::string corpus(const std::string& target, const std::string& name) {
  return std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name;
}

std::string options(const std::string& name) { return fileContents(corpus("option_string", name)); }

// The raster from a file named on the command line, as CUPS does.
ProcessResult run(const std::string& ppd, const std::string& raster, const std::string& opts = "") {
  return runFilter(ppd, "", opts, {corpus("raster_reader", raster)});
}

std::string insertionPPD(const std::string& name, const std::string& file) {
  return writeTempFile(name + ".ppd",
                       "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: ZPL\n"
                       "*ORNPreJobInsertion File: \"" +
                           file + "\"\n");
}

class RasterRegressionInputs : public ::testing::TestWithParam<std::string> {};

TEST_P(RasterRegressionInputs, EndAsExpected) {
  const struct {
    const char* file;
    const char* critical;  // nullptr: the job prints
    size_t pages;
  } cases[] = {
      {"bits_per_color_0", "Incorrect raster image format", 0},
      {"bpl_1_width_huge", "Incorrect raster image format", 0},
      {"height_x_bpl_overflow",
       "Page of 18446744065119617025 bytes exceeds the limit of 268435456 bytes", 0},
      {"v2_run_past_line", "Compressed raster data runs past the end of a line", 0},
      {"v2_huge_line_one_byte", "Unable to read from input", 0},
      {"header_then_eof", "Unable to read from input", 0},
      {"truncated_v1_header", "Unable to read from input", 0},
      {"blank_rows", nullptr, 1},
      {"page2_wider_than_page1", nullptr, 2},
      {"sync_only", nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " through " + GetParam());
    const ProcessResult r = run(modelPPD(GetParam()), c.file);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, c.critical ? 1 : 0) << r.err;
    EXPECT_EQ(linesWithPrefix(r.err, "CRIT: "), c.critical
                                                    ? std::vector<std::string>{kCrit + c.critical}
                                                    : std::vector<std::string>{});
    EXPECT_EQ(linesWithPrefix(r.err, "PAGE: ").size(), c.pages);
    // Blank rows are found within each row; pages of different widths print white.
    if (GetParam() == std::string("zpl") && c.pages > 0) {
      const auto labels = OrnTool::decodeZpl(
          std::span(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size()));
      EXPECT_EQ(labels.size(), c.pages);
      for (const auto& label : labels) EXPECT_FALSE(OrnTool::hasInk(label.bitmap));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, RasterRegressionInputs,
                         ::testing::Values("zpl", "lxpr", "ktrn8q"));

// Each input holds a percent sign at its end, a line of 20000 bytes or cut-short UTF-8. It parses
// as written, prints a ZPL job, and as an insertion file is sent line for line, unchanged, a line
// feed added.
TEST(OptionRegressionInputs, ParseAsWrittenPrintAndAreSentUnchanged) {
  const std::vector<std::tuple<const char*, const char*, std::string>> values = {
      {"percent_at_end", "Title", "100%"},    {"percent_at_end", "Note", "%"},
      {"percent_at_end", "PrintSpeed", "4"},  {"overlong_line", "Title", std::string(20000, 'x')},
      {"overlong_line", "Note", "end"},       {"truncated_utf8", "Title", "caf\xc3"},
      {"truncated_utf8", "User", "\xe2\x82"}, {"truncated_utf8", "PrintSpeed", "4"},
  };
  for (const auto& [file, key, value] : values) {
    Quillfeather::JobSettings settings;
    settings.parseOptions(options(file));
    EXPECT_EQ(settings.get(key, ""), value) << file << " " << key;
  }
  for (const char* name : {"percent_at_end", "overlong_line", "truncated_utf8"}) {
    SCOPED_TRACE(name);
    ProcessResult r = run(modelPPD("zpl"), "valid_v3_be_1bit", options(name));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(linesWithPrefix(r.err, "CRIT: ").empty());
    EXPECT_EQ(linesWithPrefix(r.err, "PAGE: ").size(), 1u);
    r = run(insertionPPD(name, corpus("option_string", name)), "sync_only");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, options(name) + "\n");
  }
}

TEST(HardeningInputs, LineFeedInAValueCannotForgeAMessage) {
  const ProcessResult r = run(modelPPD("zpl"), "valid_v3_be_1bit", options("line_feed_in_value"));
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(linesWithPrefix(r.err, "PAGE:"), std::vector<std::string>{"PAGE: 1 1"});
  EXPECT_NE(r.err.find("WARNING: Invalid choice for PrintSpeed, replacing \"x\\x0APAGE: 99 1\""),
            std::string::npos)
      << r.err;
}

TEST(HardeningInputs, TitleCodesExpandInFull) {
  const std::string title(255, 'T');
  ProcessOptions process;
  process.env["PPD"] = insertionPPD("title_codes", corpus("option_string", "title_codes"));
  const ProcessResult r = runProcess({std::string(ORN_BINARY_DIR) + "/rastertoorn", "7", "eve",
                                      title, "1", "", corpus("raster_reader", "sync_only")},
                                     process);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out.size(), 2048u * (8 * title.size() + 1));
}

TEST(HardeningInputs, RFIDCheckedOnWhatIsSent) {
  const ProcessResult r =
      run(modelPPD("lxpr"), "valid_v3_be_1bit", options("rfid_framing_after_512"));
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("=" + std::string(512, 'E') + "|}"), std::string::npos);
  EXPECT_EQ(r.out.find("0099"), std::string::npos);
}

}  // namespace
}  // namespace OrnTest
