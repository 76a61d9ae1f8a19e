// Job control: insertion commands and their variables, the job context read from the PPD,
// the log, and the validation of settings with the exact warnings users see.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "backends/zpl/zpl_filter.h"
#include "jobcontrol/insertion.h"
#include "jobcontrol/job_context.h"
#include "jobcontrol/log.h"
#include "jobcontrol/settings_validation.h"
#include "support/capture_stderr.h"
#include "support/raster_builder.h"

using namespace Quillfeather;
namespace fs = std::filesystem;

namespace {

InsertionVariables jobVariables(const std::string& title = "Label 7") {
  return makeInsertionVariables("42", "bob", title);
}

fs::path tempFile(const std::string& name, const std::string& content) {
  const fs::path dir = fs::temp_directory_path() / ("orn-insertion-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << content;
  return dir / name;
}

PPDFile model(const std::string& text) {
  std::istringstream in(text);
  return PPDFile(in);
}

// Each command as job 42 of bob with the title given sends it, and what it logs.
TEST(Insertion, Expand) {
  const std::string dir = tempFile("Label 7", "title file\n").parent_path().string() + "/";
  tempFile("%j", "literal\n");
  const auto text = InsertionType::Text, file = InsertionType::File;
  const std::string unsafe =
      "Warning: Insertion file not sent: the job value %j in its path is "
      "not a plain file name\n";
  const std::tuple<InsertionType, std::string, std::string, std::string, std::string> cases[] = {
      {text, "%i-%u", "Label 7", "42-bob", ""},
      {text, "%%d% i 100%", "Label 7", "%d% i 100%", ""},
      {text, "%j", "50%u off", "50%u off", ""},  // not rescanned
      {text, "a%qb %x", "Label 7", "a%qb %x", "Info: Unknown value: %q\nInfo: Unknown value: %x\n"},
      {InsertionType::None, "%i", "Label 7", "", ""},
      // Each line of a file is sent with a line feed.
      {file, dir + "%j", "Label 7", "title file\n", ""},
      {file, tempFile("lines", "user %u\npage %p").string(), "Label 7", "user bob\npage 0\n", ""},
      {file, "/nonexistent/orn/%i", "Label 7", "",
       "Info: Unable to read file: /nonexistent/orn/42\n"},
      {file, "/dev/zero", "Label 7", "",
       "Warning: Insertion file is too large and was not sent: /dev/zero\n"},
      // Job values cannot leave the folder; a literal "%%j" is not a job value.
      {file, dir + "sub/%j", "../secret", "", unsafe},
      {file, dir + "sub/%j", "..", "", unsafe},
      {file, dir + "sub/%j", ".", "", unsafe},
      {file, dir + "%%j", "../x", "literal\n", ""}};
  for (const auto& [type, command, title, expected, log] : cases) {
    OrnTest::CaptureStderr capture;
    EXPECT_EQ(expandInsertion({type, command}, jobVariables(title)), expected) << command;
    EXPECT_EQ(capture.text(), log) << command;
  }
  EXPECT_EQ(expandInsertion({text, "%i"}, InsertionVariables{}), "");
}

// A short file of codes with a long title expands to far more than the file: it
// reaches the sink in pieces no longer than a line or a value, never as one string.
TEST(Insertion, LongExpansionIsStreamed) {
  std::string codes;
  for (int i = 0; i < 4096; ++i) codes += "%j%j%%\n";
  const std::string title(4096, 'T');
  size_t total = 0, longest = 0;
  expandInsertion({InsertionType::File, tempFile("codes.txt", codes).string()}, jobVariables(title),
                  [&](std::string_view piece) {
                    total += piece.size();
                    longest = std::max(longest, piece.size());
                  });
  EXPECT_EQ(total, 4096 * (2 * title.size() + 2));
  EXPECT_EQ(longest, title.size());
}

TEST(Insertion, HooksSendCommandsAroundJobAndPages) {
  JobContext context;  // the date and time codes use the context's formats
  context.dateFormat = "date";
  context.timeFormat = "T%H";
  context.insertions["Pre"]["Job"] = {InsertionType::Text, "<job %p %d %t>"};
  context.insertions["Pre"]["Label"] = {InsertionType::Text, "<label %p>"};
  context.insertions["Post"]["Label"] = {InsertionType::Text, "</label %p>"};
  context.insertions["Post"]["Job"] = {InsertionType::Text, "</job %p>"};
  InsertionVariables variables = jobVariables();
  const OrnTest::TestPage page = OrnTest::bitmapPage(8, 1, [](uint32_t x, uint32_t) { return !x; });
  std::istringstream in(OrnTest::rasterStream({page, page, page}));
  std::ostringstream out;
  OrnTest::CaptureStderr log;
  ZPLFilter filter(in, out, JobSettings());
  installInsertionHooks(filter, variables, context);
  filter.run();
  const std::string data = out.str();
  EXPECT_EQ(data.find("<job 0 date T"), 0u);
  EXPECT_EQ(data.find("><label 1>~DGR"), 15u);  // two digits of the hour
  EXPECT_EQ(data.size() - data.rfind("</job 3>"), 8u);
  size_t pos = 0;
  for (const std::string n : {"1", "2", "3"}) {
    pos = data.find("</label " + n + ">", data.find("~DGR", data.find("<label " + n + ">", pos)));
    EXPECT_NE(pos, std::string::npos);
    EXPECT_NE(log.text().find("Info: Processing page: " + n + "\n"), std::string::npos);
    EXPECT_NE(log.text().find("PAGE: " + n + " 1\n"), std::string::npos);
  }
}

TEST(JobContextTest, ReadFromThePPD) {
  JobContext context = readJobContext(model(
      "*ORNPreJobInsertion Text: \"\\x1B@%j\"\n*ORNPostJobInsertion File: \"/tmp/%i.txt\"\n"
      "*ORNPreLabelInsertion: \"ignored without option keyword\"\n"
      "*ORNPostLabelInsertion Anything: \"first\"\n*ORNPostLabelInsertion Anything: \"last wins\"\n"
      "*ORNInsertionDateFormat: \"%d.%m.%Y\"\n*ORNInsertionTimeFormat: %H%M\n"));
  std::string commands;  // "type:text" of each hook's command, type 0 for none
  for (const char* when : {"Pre", "Post"})
    for (const char* what : {"Job", "Label"})
      commands += std::to_string(static_cast<int>(context.insertion(when, what).type)) + ":" +
                  context.insertion(when, what).text + "|";
  EXPECT_EQ(commands, std::string("1:\x1B@%j|0:|2:/tmp/%i.txt|1:last wins|"));
  EXPECT_EQ(context.dateFormat + " " + context.timeFormat, "%d.%m.%Y %H%M");
  for (auto [statement, language] :
       {std::pair{"*ORNBarcodePrinterLanguage: ZPL\n", PrinterLanguage::ZPL},
        {"*ORNBarcodePrinterLanguage: \"KTRN8Q\"\n", PrinterLanguage::KTRN8Q},
        {"*ORNBarcodePrinterLanguage: zpl\n", PrinterLanguage::Unknown},
        {"*ORNBarcodePrinterLanguage\n", PrinterLanguage::LXPR}})
    EXPECT_EQ(readJobContext(model(statement)).language, language) << statement;
}

// Every message is exactly one line, whatever its values hold: control bytes
// become \xHH, and only the final std::endl ends the line.
TEST(LogTest, MessageIsOneLine) {
  OrnTest::CaptureStderr capture;
  Log::info() << "value x\nPAGE: 99 1" << std::endl;
  Log::info() << "a\r\tb\x1B\x7F caf\xC3\xA9 ~" << std::endl;
  Log::warning() << "no endl " << 42;
  Log::setPrefixes("", "", "", "", "");
  Log::critical() << "bare";
  Log::setPrefixes("Debug", "Info", "Warning", "Error", "Critical");
  EXPECT_EQ(capture.text(),
            "Info: value x\\x0APAGE: 99 1\nInfo: a\\x0D\\x09b\\x1B\\x7F caf\xC3\xA9 ~\n"
            "Warning: no endl 42\nbare\n");
}

const char* const kSpeedModel =
    "*OpenUI *PrintSpeed/Print Speed: PickOne\n*DefaultPrintSpeed: 3\n*PrintSpeed 2/Slow: \"\"\n"
    "*PrintSpeed 3/Normal: \"\"\n*PrintSpeed 4/Fast: \"\"\n*CloseUI: *PrintSpeed\n"
    "*OpenUI *TransferMode/Transfer: PickOne\n*DefaultTransferMode: Fast\n"
    "*TransferMode Fast/Fast: \"\"\n*CloseUI: *TransferMode\n"
    "*OpenUI *FeedAdjustment/Feed: PickOne\n*FeedAdjustment 0/None: \"\"\n"
    "*CloseUI: *FeedAdjustment\n";

#define UNSUPPORTED(option) "Warning: Unsupported option " option " is ignored for this model\n"
#define INVALID(option, from, to) \
  "Warning: Invalid choice for " option ", replacing \"" from "\" with default value \"" to "\"\n"
#define AMENDED "Warning: Print settings were amended\n"

TEST(SettingsValidation, LogsAndAmends) {
  // The PPD, whether its defaults are loaded before the options, the options, the log and
  // "name=value" of the names below that remain.
  const std::tuple<const char*, bool, const char*, const char*, const char*> cases[] = {
      {kSpeedModel, false, "PrintSpeed=2 TransferMode=Fast FeedAdjustment=5", "",
       "PrintSpeed=2 TransferMode=Fast FeedAdjustment=5"},
      {"*DefaultBackFeedAdjustment: 2\n", true,
       "FeedAdjustment=5 ToneAdjustmentDirectThermal=Custom.3 PrintSpeed=4",
       UNSUPPORTED("BackFeedAdjustment") UNSUPPORTED("FeedAdjustment")
           UNSUPPORTED("ToneAdjustmentDirectThermal") AMENDED,
       "PrintSpeed=4"},  // the model does not offer PrintSpeed, so any value stays
      {kSpeedModel, false, "PrintSpeed=9 FeedAdjustment=1 CutStripAdjustment=2",
       UNSUPPORTED("CutStripAdjustment") INVALID("PrintSpeed", "9", "3")
           INVALID("TransferMode", "", "Fast") AMENDED,
       "PrintSpeed=3 TransferMode=Fast FeedAdjustment=1"}};
  for (const auto& [text, defaults, options, expectedLog, expected] : cases) {
    SCOPED_TRACE(options);
    PPDFile ppd = model(text);
    JobSettings settings;
    if (defaults) settings.loadDefaults(ppd);
    settings.parseOptions(options);
    OrnTest::CaptureStderr log;
    validateSettings(settings, ppd);
    EXPECT_EQ(log.text(), expectedLog);
    std::string remaining;
    for (const char* name : {"PrintSpeed", "TransferMode", "FeedAdjustment", "BackFeedAdjustment",
                             "ToneAdjustmentDirectThermal", "CutStripAdjustment"}) {
      if (!settings.contains(name)) continue;
      remaining +=
          (remaining.empty() ? "" : " ") + std::string(name) + "=" + settings.get(name, "");
    }
    EXPECT_EQ(remaining, expected);
  }
  // A model without the default of an offered option fails the job: JobFlowTest.
}

TEST(SettingsValidation, LoadFromPPDAndJobArguments) {
  const char* noRanges =
      "Warning: PPD file was specified but no minimum or maximum values for custom options were "
      "loaded\n";
  const std::pair<const char*, std::string> cases[] = {
      {"*DefaultPrintSpeed: 3\n", noRanges},
      {"", "Warning: PPD file was specified but no values were loaded\n" + std::string(noRanges)},
      {"*DefaultFeed: 1\n*ParamCustomFeed Feed/Feed: 1 real -5 5\n", ""}};
  JobSettings settings;
  for (const auto& [ppd, expected] : cases) {
    OrnTest::CaptureStderr log;
    loadSettingsFromPPD(settings, model(ppd));
    EXPECT_EQ(log.text(), expected);
  }
  applyJobArguments(settings, "42", "alice", "My job", "1", "Copies=3 Title=Other\\ title");
  EXPECT_EQ(settings.get("JobID", "") + "|" + settings.get("User", "") + "|" +
                settings.get("Title", "") + "|" + settings.get("Copies", ""),
            "42|alice|Other title|3");
}

}  // namespace
