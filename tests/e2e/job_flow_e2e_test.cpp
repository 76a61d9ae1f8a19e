// The filter binary run as CUPS runs it: arguments, PPD, exit status and the lines on
// standard error.
#include <gtest/gtest.h>

#include <algorithm>

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

// Each row: the PPD text (empty: no PPD), options, input, extra arguments; then the exit
// status, the lines of standard error with the prefix, and how the output starts and what it
// holds. A failed job writes nothing and processes no page.
TEST(JobFlowTest, StatusMessagesAndOutput) {
  const std::string zpl = ppdText("ZPL");
  const std::string speeds =
      "*OpenUI *PrintSpeed/Print Speed: PickOne\n*DefaultPrintSpeed: 3\n*PrintSpeed 2/2: \"\"\n"
      "*PrintSpeed 3/3: \"\"\n*PrintSpeed 4/4: \"\"\n*CloseUI: *PrintSpeed\n";
  const std::string inputFile = writeTempFile("job.ras", onePageRaster());
  const std::string grey = rasterStream({page(8, 4, 8, 0, 128)});  // luminance 127
  struct Row {
    const char* name;
    std::string ppd, options, input;
    std::vector<std::string> args;
    int status;
    std::string prefix;
    std::vector<std::string> lines;
    std::string start = "", holds = "";
  };
  const Row rows[] = {
      {"missing input file",
       ppdText("ZPL", "*ORNPreJobInsertion Text: \"start\"\n"),
       "",
       "",
       {"/nonexistent/job.ras"},
       1,
       "CRIT: ",
       {kCrit + "Unable to read from input"}},
      {"sixth argument is the input",
       zpl,
       "",
       "garbage on stdin",
       {inputFile, "extra"},
       0,
       "CRIT: ",
       {},
       "~DGR:PAGE.GRF,2,2,\n8001"},
      {"language from the options",
       zpl,
       "PrinterLanguage=KTRN8Q",
       onePageRaster(),
       {},
       0,
       "CRIT: ",
       {},
       "~DGR"},
      {"KTRN8Q from the PPD",
       ppdText("KTRN8Q"),
       "",
       onePageRaster(),
       {},
       0,
       "CRIT: ",
       {},
       "\x1B\x40"},
      {"lower-case ZPL",
       ppdText("zpl"),
       "PrinterLanguage=ZPL",
       onePageRaster(),
       {},
       0,
       "CRIT: ",
       {},
       "~DGR"},
      {"print method means LXPR",
       ppdText("zpl"),
       "PrintMethod=DirectThermal",
       onePageRaster(),
       {},
       0,
       "CRIT: ",
       {},
       "{D"},
      {"unknown language",
       ppdText("zpl"),
       "PrinterLanguage=Postscript",
       onePageRaster(),
       {},
       1,
       "CRIT: ",
       {kCrit + "Printer language is unknown"}},
      {"no PPD",
       "",
       "PrintMethod=ThermalTransfer",
       onePageRaster(),
       {},
       0,
       "WARNING: ",
       {"WARNING: Filter invoked without PPD environment variable set"},
       "{D",
       "{XS;I,"},
      {"PPD syntax error",
       "*PPD-Adobe: \"4.3\"\nnot a statement\n",
       "PrintMethod=DirectThermal",
       onePageRaster(),
       {},
       0,
       "ERROR: ",
       {"ERROR: Exception occurred while processing PPD file: Invalid statement, missing "
        "preceding '*'"},
       "{D",
       "{XS;I,"},
      {"sync word only",
       ppdText("ZPL",
               "*ORNPreJobInsertion Text: \"<start %p>\"\n"
               "*ORNPostJobInsertion Text: \"<end %p>\\n\"\n"),
       "",
       "RaS3",
       {},
       0,
       "PAGE: ",
       {},
       "<start 0><end 0>\n"},
      {"settings amended",
       ppdText("ZPL", speeds),
       "PrintSpeed=9 FeedAdjustment=5",
       onePageRaster(),
       {},
       0,
       "WARNING: ",
       {"WARNING: PPD file was specified but no minimum or maximum values for custom options "
        "were loaded",
        "WARNING: Unsupported option FeedAdjustment is ignored for this model",
        "WARNING: Invalid choice for PrintSpeed, replacing \"9\" with default value \"3\"",
        "WARNING: Print settings were amended"},
       "~DGR",
       "^PR3,3,\n"},
      {"invalid choice without default",
       ppdText("ZPL",
               "*OpenUI *TransferMode: PickOne\n*TransferMode On: \"\"\n"
               "*CloseUI: *TransferMode\n"),
       "TransferMode=Off",
       onePageRaster(),
       {},
       1,
       "CRIT: ",
       {kCrit + "DefaultTransferMode"}},
      {"unknown escape in an insertion",
       ppdText("ZPL", "*ORNPreJobInsertion Text: \"\\q\"\n"),
       "",
       onePageRaster(),
       {},
       1,
       "CRIT: ",
       {kCrit + "\\q"}},
      {"1-bit rows of the wrong length",
       zpl,
       "",
       rasterStream({page(16, 2, 1, 3, 0xFF)}),
       {},
       1,
       "CRIT: ",
       {kCrit + "Incorrect raster image format"}},
      {"2-bit page",
       zpl,
       "",
       rasterStream({page(16, 2, 2, 4, 0)}),
       {},
       1,
       "CRIT: ",
       {kCrit + "Incorrect raster image format"}},
      {"8-bit rows longer than the width",
       zpl,
       "",
       rasterStream({page(16, 2, 8, 17, 0)}),
       {},
       1,
       "CRIT: ",
       {kCrit + "Source data does not match size"}},
      {"grey thresholded",
       zpl,
       "",
       grey,
       {},
       0,
       "INFO: Using",
       {"INFO: Using thresholding"},
       "~DGR:PAGE.GRF,4,1,\nFFFFFFFF\n"},
      {"grey dithered",
       zpl,
       "DocumentType=Graphics",
       grey,
       {},
       0,
       "INFO: Using",
       {"INFO: Using SH halftoner"},
       "~DGR:PAGE.GRF,4,1,\n99666699\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string ppd = row.ppd.empty() ? "" : writeTempFile("job.ppd", row.ppd);
    const ProcessResult r = runFilter(ppd, row.input, row.options, row.args);
    EXPECT_EQ(r.exitStatus, row.status) << r.err;
    EXPECT_EQ(linesWithPrefix(r.err, row.prefix), row.lines);
    EXPECT_EQ(r.out.substr(0, row.start.size()), row.start);
    EXPECT_NE(r.out.find(row.holds), std::string::npos);
    if (row.status != 0 || row.input == "RaS3") {
      EXPECT_EQ(r.out, row.start);
      EXPECT_TRUE(linesWithPrefix(r.err, "INFO: Processing page").empty());
    }
  }
}

TEST(JobFlowTest, PageHeaderAndProgressLines) {
  ProcessResult r = runFilter(writeTempFile("zpl.ppd", ppdText("ZPL")), onePageRaster());
  const std::vector<std::string> debug = linesWithPrefix(r.err, "DEBUG: ");
  for (const char* line :
       {"DEBUG: Format endianness: big", "DEBUG: Printer language is ZPL", "DEBUG: cupsWidth: 16",
        "DEBUG: cupsHeight: 2", "DEBUG: pageSize.x: 288", "DEBUG: pageSize.y: 432",
        "DEBUG: cupsBitsPerColor: 1", "DEBUG: cupsBitsPerPixel: 1", "DEBUG: cupsBytesPerLine: 2",
        "DEBUG: orientation: 0 deg", "DEBUG: resolution: 300x300",
        "DEBUG: The page does not need to be tumbled"}) {
    EXPECT_NE(std::find(debug.begin(), debug.end(), line), debug.end()) << line;
  }
  EXPECT_EQ(linesWithPrefix(r.err, "INFO: "), std::vector<std::string>{"INFO: Processing page: 1"});
  EXPECT_EQ(linesWithPrefix(r.err, "PAGE: "), std::vector<std::string>{"PAGE: 1 1"});
}
