// The filter binary run as CUPS runs it: arguments, PPD, exit status and the lines on
// standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/process.h"
#include "support/raster_builder.h"

using namespace OrnTest;

namespace {

const std::string kCrit = "CRIT: An exception occurred during filter execution: ";

std::string ppdText(const std::string& language, const std::string& extra = "") {
  return "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: " + language + "\n" + extra;
}

TestPage page(uint32_t width, uint32_t height, uint32_t bits, uint32_t bytesPerLine, uint8_t fill) {
  TestPage p;
  p.width = width;
  p.height = height;
  p.bitsPerColor = p.bitsPerPixel = bits;
  p.bytesPerLine = bytesPerLine;
  p.data.assign(size_t{p.rowBytes()} * p.height, fill);
  return p;
}

std::string onePageRaster() {
  TestPage p = page(16, 2, 1, 0, 0);
  p.data = {0x80, 0x01, 0x00, 0x00};
  return rasterStream({p});
}

}  // namespace

TEST(EntryPointTest, UsageAndVersion) {
  const std::string filter = std::string(ORN_BINARY_DIR) + "/rastertoorn";
  const std::string usage =
      "Usage\n" + filter + " job user title num-copies options [ filename ]\n";
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{}, 1, usage},
      {{"1", "bob", "title", "1"}, 1, usage},
      {{"--version"}, 0, "3.04\n"},
      {{"--version", "x", "y", "z", "w", "v"}, 0, "3.04\n"},
  };
  for (const auto& [args, status, err] : cases) {
    std::vector<std::string> argv = {filter};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = runProcess(argv);
    EXPECT_EQ(r.exitStatus, status);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.out, "");
  }
}

// Each row: the PPD text (empty: no PPD), options, input (empty: one page), extra arguments;
// then the exit status, the lines of standard error with the prefix (one string) and how the
// output starts. A failed job writes nothing and processes no page.
TEST(JobFlowTest, StatusMessagesAndOutput) {
  const std::string zpl = ppdText("ZPL"), crit = "CRIT: ", warning = "WARNING: ";
  const std::string speeds =
      "*OpenUI *PrintSpeed/Print Speed: PickOne\n*DefaultPrintSpeed: 3\n*PrintSpeed 2/2: \"\"\n"
      "*PrintSpeed 3/3: \"\"\n*PrintSpeed 4/4: \"\"\n*CloseUI: *PrintSpeed\n";
  const std::string modes =
      "*OpenUI *TransferMode: PickOne\n*TransferMode On: \"\"\n*CloseUI: *TransferMode\n";
  const std::string inputFile = writeTempFile("job.ras", onePageRaster());
  const std::string grey = rasterStream({page(8, 4, 8, 0, 128)});  // luminance 127
  struct Row {
    const char *name, *ppd, *options;
    std::string input, args;
    int status;
    std::string prefix, lines, start;
  };
  const Row rows[] = {
      {"missing input file", "*ORNPreJobInsertion Text: \"start\"\n", "", "",
       "/nonexistent/job.ras", 1, crit, kCrit + "Unable to read from input", ""},
      {"sixth argument is the input", "", "", "garbage on stdin", inputFile + " extra", 0, crit, "",
       "~DGR:PAGE.GRF,2,2,\n8001"},
      {"language from the options", "", "PrinterLanguage=KTRN8Q", "", "", 0, crit, "", "~DGR"},
      {"unknown language", "lower", "PrinterLanguage=Postscript", "", "", 1, crit,
       kCrit + "Printer language is unknown", ""},
      {"print method means LXPR", "lower", "PrintMethod=DirectThermal", "", "", 0, crit, "", "{D"},
      {"no PPD", "none", "PrintMethod=ThermalTransfer", "", "", 0, warning,
       "WARNING: Filter invoked without PPD environment variable set", "{D"},
      {"PPD syntax error", "broken", "PrintMethod=DirectThermal", "", "", 0, "ERROR: ",
       "ERROR: Exception occurred while processing PPD file: Invalid statement, missing "
       "preceding '*'",
       "{D"},
      {"sync word only",
       "*ORNPreJobInsertion Text: \"<start %p>\"\n*ORNPostJobInsertion Text: \"<end %p>\\n\"\n", "",
       "RaS3", "", 0, "PAGE: ", "", "<start 0><end 0>\n"},
      {"settings amended", "speeds", "PrintSpeed=9 FeedAdjustment=5", "", "", 0, warning,
       "WARNING: PPD file was specified but no minimum or maximum values for custom options were "
       "loaded\nWARNING: Unsupported option FeedAdjustment is ignored for this model\n"
       "WARNING: Invalid choice for PrintSpeed, replacing \"9\" with default value \"3\"\n"
       "WARNING: Print settings were amended",
       "~DGR"},
      {"invalid choice without default", "modes", "TransferMode=Off", "", "", 1, crit,
       kCrit + "DefaultTransferMode", ""},
      {"unknown escape in an insertion", "*ORNPreJobInsertion Text: \"\\q\"\n", "", "", "", 1, crit,
       kCrit + "\\q", ""},
      {"1-bit rows of the wrong length", "", "", rasterStream({page(16, 2, 1, 3, 0xFF)}), "", 1,
       crit, kCrit + "Incorrect raster image format", ""},
      {"2-bit page", "", "", rasterStream({page(16, 2, 2, 4, 0)}), "", 1, crit,
       kCrit + "Incorrect raster image format", ""},
      {"8-bit rows longer than the width", "", "", rasterStream({page(16, 2, 8, 17, 0)}), "", 1,
       crit, kCrit + "Source data does not match size", ""},
      {"grey thresholded", "", "", grey, "", 0, "INFO: Using", "INFO: Using thresholding",
       "~DGR:PAGE.GRF,4,1,\nFFFFFFFF\n"},
      {"grey dithered", "", "DocumentType=Graphics", grey, "", 0, "INFO: Using",
       "INFO: Using SH halftoner", "~DGR:PAGE.GRF,4,1,\n99666699\n"},
  };
  const std::map<std::string, std::string> ppds = {
      {"none", ""},
      {"lower", ppdText("zpl")},
      {"broken", "*PPD-Adobe: \"4.3\"\nnot a statement\n"},
      {"speeds", ppdText("ZPL", speeds)},
      {"modes", ppdText("ZPL", modes)}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string text = ppds.contains(row.ppd) ? ppds.at(row.ppd) : ppdText("ZPL", row.ppd);
    std::string args = row.args;
    std::replace(args.begin(), args.end(), ' ', '\n');
    const ProcessResult r =
        runFilter(text.empty() ? "" : writeTempFile("job.ppd", text),
                  row.input.empty() ? onePageRaster() : row.input, row.options, lines(args));
    EXPECT_EQ(r.exitStatus, row.status) << r.err;
    EXPECT_EQ(linesWithPrefix(r.err, row.prefix), lines(row.lines));
    EXPECT_EQ(r.out.substr(0, row.start.size()), row.start);
    if (row.status != 0 || row.input == "RaS3") {
      EXPECT_EQ(r.out, row.start);
      EXPECT_TRUE(linesWithPrefix(r.err, "INFO: Processing page").empty());
    }
    // The LXPR jobs end with the issue command; the ZPL one sets the corrected speed.
    if (row.start == "{D") {
      EXPECT_NE(r.out.find("{XS;I,"), std::string::npos);
    }
    if (row.ppd == std::string("speeds")) {
      EXPECT_NE(r.out.find("^PR3,3,\n"), std::string::npos);
    }
  }
}
