// Hostile job values through the built filter: a line feed in an option value,
// an insertion file of title codes, RFID framing after the characters sent and a
// compressed line promised far beyond the data.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/process.h"

namespace OrnTest {
namespace {

std::string corpus(const std::string& target, const std::string& name) {
  return std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ProcessResult run(const std::string& ppd, const std::string& options, const std::string& raster,
                  const std::string& title = "Hardening") {
  ProcessOptions process;
  process.env["PPD"] = ppd;
  return runProcess(
      {std::string(ORN_BINARY_DIR) + "/rastertoorn", "7", "eve", title, "1", options, raster},
      process);
}

const std::string kOnePage = corpus("raster_reader", "valid_v3_be_1bit");

std::string model(const std::string& language) {
  return std::string(ORN_SOURCE_DIR) + "/models/orn-" + language + ".ppd";
}

TEST(HardeningInputs, LineFeedInAValueCannotForgeAMessage) {
  const ProcessResult r =
      run(model("zpl"), readFile(corpus("option_string", "line_feed_in_value")), kOnePage);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  std::vector<std::string> pages;
  for (const std::string& line : lines(r.err)) {
    if (line.rfind("PAGE:", 0) == 0) pages.push_back(line);
  }
  EXPECT_EQ(pages, std::vector<std::string>{"PAGE: 1 1"});
  EXPECT_NE(r.err.find("WARNING: Invalid choice for PrintSpeed, replacing \"x\\x0APAGE: 99 1\""),
            std::string::npos)
      << r.err;
}

TEST(HardeningInputs, TitleCodesExpandInFull) {
  const std::string codes = corpus("option_string", "title_codes");
  const std::string ppd = std::string(ORN_BINARY_DIR) + "/hardening-insertion.ppd";
  std::ofstream(ppd) << "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: ZPL\n"
                        "*ORNPreJobInsertion File: \""
                     << codes << "\"\n";
  const std::string title(255, 'T');
  const ProcessResult r = run(ppd, "", corpus("raster_reader", "sync_only"), title);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out.size(), 2048u * (8 * title.size() + 1));
}

TEST(HardeningInputs, RFIDCheckedOnWhatIsSent) {
  const ProcessResult r =
      run(model("lxpr"), readFile(corpus("option_string", "rfid_framing_after_512")), kOnePage);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("=" + std::string(512, 'E') + "|}"), std::string::npos);
  EXPECT_EQ(r.out.find("0099"), std::string::npos);
}

TEST(HardeningInputs, HugeCompressedLineWithOneByte) {
  for (const char* language : {"zpl", "lxpr", "ktrn8q"}) {
    const ProcessResult r =
        run(model(language), "", corpus("raster_reader", "v2_huge_line_one_byte"));
    EXPECT_EQ(r.exitStatus, 1) << language;
    EXPECT_NE(r.err.find("CRIT: An exception occurred during filter execution: Unable to read "
                         "from input\n"),
              std::string::npos)
        << r.err;
  }
}

}  // namespace
}  // namespace OrnTest
