// The filter binary run as CUPS runs it: arguments, PPD, exit status and the
// lines on standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "e2e_support.h"

using namespace OrnTest;

namespace {

std::string onePageRaster() {
  TestPage page;
  page.width = 16;
  page.height = 2;
  page.data = {0x80, 0x01, 0x00, 0x00};
  return rasterStream({page});
}

std::string zplPPD(const std::string& extra = "") {
  return writeTempFile("zpl.ppd", minimalPPD("ZPL", extra));
}

}  // namespace

TEST(EntryPointTest, UsageAndVersion) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::string usage =
      "Usage\n" + filterPath() + " job user title num-copies options [ filename ]\n";
  const Case cases[] = {
      {{}, 1, usage},
      {{"1", "bob", "title", "1"}, 1, usage},
      {{"--version"}, 0, "3.04\n"},
      {{"--version", "x", "y", "z", "w", "v"}, 0, "3.04\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {filterPath()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcessResult r = runProcess(argv);
    EXPECT_EQ(r.exitStatus, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
}

TEST(JobFlowTest, MissingInputFileIsCritical) {
  ProcessResult r = runFilter(zplPPD("*ORNPreJobInsertion Text: \"start\"\n"), "", "", "t",
                              {"/nonexistent/job.ras"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(linesWithPrefix(r.err, "CRIT: "),
            std::vector<std::string>{
                "CRIT: An exception occurred during filter execution: Unable to read from input"});
}

TEST(JobFlowTest, SixthArgumentIsTheInputAndLaterOnesAreIgnored) {
  const std::string file = writeTempFile("job.ras", onePageRaster());
  ProcessResult r = runFilter(zplPPD(), "garbage on stdin", "", "t", {file, "extra"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out.rfind("~DGR:PAGE.GRF,2,2,\n8001", 0), 0u);
}

TEST(JobFlowTest, LanguageSelection) {
  struct Case {
    std::string ppdLanguage;  // empty: no PPD at all
    std::string options;
    std::string outputStart;
  };
  const Case cases[] = {
      {"ZPL", "PrinterLanguage=KTRN8Q", "~DGR"},
      {"KTRN8Q", "", std::string("\x1B\x40", 2)},
      {"zpl", "PrinterLanguage=ZPL", "~DGR"},
      {"zpl", "PrintMethod=DirectThermal", "{D"},
      {"", "PrinterLanguage=ZPL PrintMethod=DirectThermal", "{D"},
  };
  for (const Case& c : cases) {
    const std::string ppd =
        c.ppdLanguage.empty() ? "" : writeTempFile("lang.ppd", minimalPPD(c.ppdLanguage));
    ProcessResult r = runFilter(ppd, onePageRaster(), c.options);
    EXPECT_EQ(r.exitStatus, 0) << c.ppdLanguage << " " << r.err;
    EXPECT_EQ(r.out.substr(0, c.outputStart.size()), c.outputStart) << c.ppdLanguage;
  }
}

TEST(JobFlowTest, UnknownLanguageFailsBeforeAnyOutput) {
  ProcessResult r = runFilter(writeTempFile("unknown.ppd", minimalPPD("zpl")), onePageRaster(),
                              "PrinterLanguage=Postscript");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(
      linesWithPrefix(r.err, "CRIT: "),
      std::vector<std::string>{
          "CRIT: An exception occurred during filter execution: Printer language is unknown"});
}

TEST(JobFlowTest, WithoutPPDTheJobStillPrints) {
  ProcessResult r = runFilter("", onePageRaster(), "PrintMethod=ThermalTransfer");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(
      linesWithPrefix(r.err, "WARNING: "),
      std::vector<std::string>{"WARNING: Filter invoked without PPD environment variable set"});
  EXPECT_NE(r.out.find("{XS;I,"), std::string::npos);
}

TEST(JobFlowTest, PPDSyntaxErrorIsSurvived) {
  const std::string ppd = writeTempFile("broken.ppd", "*PPD-Adobe: \"4.3\"\nnot a statement\n");
  ProcessResult r = runFilter(ppd, onePageRaster(), "PrintMethod=DirectThermal");
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(linesWithPrefix(r.err, "ERROR: "),
            std::vector<std::string>{"ERROR: Exception occurred while processing PPD file: Invalid "
                                     "statement, missing preceding '*'"});
  EXPECT_NE(r.out.find("{XS;I,"), std::string::npos);
}

TEST(JobFlowTest, SyncWordOnlyRunsTheJobInsertions) {
  const std::string ppd = zplPPD(
      "*ORNPreJobInsertion Text: \"<start %p>\"\n*ORNPostJobInsertion Text: \"<end %p>\\n\"\n");
  ProcessResult r = runFilter(ppd, "RaS3");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "<start 0><end 0>\n");
  EXPECT_TRUE(linesWithPrefix(r.err, "PAGE: ").empty());
}

TEST(JobFlowTest, SettingsValidationWarnings) {
  const std::string ppd = zplPPD(
      "*OpenUI *PrintSpeed/Print Speed: PickOne\n*DefaultPrintSpeed: 3\n*PrintSpeed 2/2: \"\"\n"
      "*PrintSpeed 3/3: \"\"\n*PrintSpeed 4/4: \"\"\n*CloseUI: *PrintSpeed\n");
  ProcessResult r = runFilter(ppd, onePageRaster(), "PrintSpeed=9 FeedAdjustment=5");
  EXPECT_EQ(r.exitStatus, 0);
  const std::vector<std::string> expected = {
      "WARNING: PPD file was specified but no minimum or maximum values for custom options were "
      "loaded",
      "WARNING: Unsupported option FeedAdjustment is ignored for this model",
      "WARNING: Invalid choice for PrintSpeed, replacing \"9\" with default value \"3\"",
      "WARNING: Print settings were amended"};
  EXPECT_EQ(linesWithPrefix(r.err, "WARNING: "), expected);
  EXPECT_NE(r.out.find("^PR3,3,\n"), std::string::npos);
}

TEST(JobFlowTest, InvalidChoiceWithoutDefaultIsCritical) {
  const std::string ppd =
      zplPPD("*OpenUI *TransferMode: PickOne\n*TransferMode On: \"\"\n*CloseUI: *TransferMode\n");
  ProcessResult r = runFilter(ppd, onePageRaster(), "TransferMode=Off");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(linesWithPrefix(r.err, "CRIT: "),
            std::vector<std::string>{
                "CRIT: An exception occurred during filter execution: DefaultTransferMode"});
}

TEST(JobFlowTest, UnknownEscapeInAnInsertionIsCritical) {
  ProcessResult r = runFilter(zplPPD("*ORNPreJobInsertion Text: \"\\q\"\n"), onePageRaster());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(linesWithPrefix(r.err, "CRIT: "),
            std::vector<std::string>{"CRIT: An exception occurred during filter execution: \\q"});
}

TEST(JobFlowTest, PageHeaderAndProgressLines) {
  ProcessResult r = runFilter(zplPPD(), onePageRaster());
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

TEST(JobFlowTest, PagesTheFilterCannotUse) {
  struct Case {
    const char* name;
    TestPage page;
    const char* message;
  };
  TestPage misaligned;
  misaligned.width = 16;
  misaligned.height = 2;
  misaligned.bytesPerLine = 3;
  misaligned.data.assign(6, 0xFF);
  TestPage twoBit = misaligned;
  twoBit.bitsPerColor = twoBit.bitsPerPixel = 2;
  twoBit.bytesPerLine = 4;
  twoBit.data.assign(8, 0);
  TestPage greyPadded;
  greyPadded.width = 16;
  greyPadded.height = 2;
  greyPadded.bitsPerColor = greyPadded.bitsPerPixel = 8;
  greyPadded.bytesPerLine = 17;
  greyPadded.data.assign(34, 0);
  const Case cases[] = {
      {"1-bit rows of the wrong length", misaligned, "Incorrect raster image format"},
      {"2-bit page", twoBit, "Incorrect raster image format"},
      {"8-bit rows longer than the width", greyPadded, "Source data does not match size"},
  };
  for (const Case& c : cases) {
    ProcessResult r = runFilter(zplPPD(), rasterStream({c.page}));
    EXPECT_EQ(r.exitStatus, 1) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(linesWithPrefix(r.err, "CRIT: "),
              std::vector<std::string>{
                  std::string("CRIT: An exception occurred during filter execution: ") + c.message})
        << c.name;
    EXPECT_TRUE(linesWithPrefix(r.err, "INFO: Processing page").empty()) << c.name;
  }
}

TEST(JobFlowTest, GreyPagesAreThresholdedOrDithered) {
  TestPage grey;
  grey.width = 8;
  grey.height = 4;
  grey.bitsPerColor = grey.bitsPerPixel = 8;
  grey.data.assign(32, 128);  // luminance 127: black when thresholded, half the dots dithered
  ProcessResult threshold = runFilter(zplPPD(), rasterStream({grey}));
  EXPECT_EQ(threshold.out.rfind("~DGR:PAGE.GRF,4,1,\nFFFFFFFF\n", 0), 0u);
  EXPECT_EQ(linesWithPrefix(threshold.err, "INFO: Using"),
            std::vector<std::string>{"INFO: Using thresholding"});
  ProcessResult dither = runFilter(zplPPD(), rasterStream({grey}), "DocumentType=Graphics");
  EXPECT_EQ(dither.out.rfind("~DGR:PAGE.GRF,4,1,\n99666699\n", 0), 0u);
  EXPECT_EQ(linesWithPrefix(dither.err, "INFO: Using"),
            std::vector<std::string>{"INFO: Using SH halftoner"});
}

TEST(JobFlowTest, RegressionInputsEndCleanly) {
  const std::string ppd = zplPPD();
  for (const auto& entry :
       std::filesystem::directory_iterator(sourcePath("fuzz/corpus/raster_reader"))) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string raster((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    ProcessResult r = runFilter(ppd, raster);
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(r.signal, 0) << name;
    ASSERT_TRUE(r.exitStatus == 0 || r.exitStatus == 1) << name;
    EXPECT_EQ(linesWithPrefix(r.err, "CRIT: ").size(), r.exitStatus == 1 ? 1u : 0u) << name;
  }
}
