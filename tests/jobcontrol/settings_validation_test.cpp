#include "jobcontrol/settings_validation.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

PPDFile model(const std::string& text) {
  std::istringstream in(text);
  return PPDFile(in);
}

const char* const kSpeedModel =
    "*OpenUI *PrintSpeed/Print Speed: PickOne\n"
    "*DefaultPrintSpeed: 3\n"
    "*PrintSpeed 2/Slow: \"\"\n"
    "*PrintSpeed 3/Normal: \"\"\n"
    "*PrintSpeed 4/Fast: \"\"\n"
    "*CloseUI: *PrintSpeed\n"
    "*OpenUI *TransferMode/Transfer: PickOne\n"
    "*DefaultTransferMode: Fast\n"
    "*TransferMode Fast/Fast: \"\"\n"
    "*CloseUI: *TransferMode\n"
    "*OpenUI *FeedAdjustment/Feed: PickOne\n"
    "*FeedAdjustment 0/None: \"\"\n"
    "*CloseUI: *FeedAdjustment\n";

// Logs with the CUPS prefixes, as the filter does, and puts the defaults back.
class SettingsValidation : public testing::Test {
 protected:
  void SetUp() override { Log::setPrefixes("DEBUG", "INFO", "WARNING", "ERROR", "CRIT"); }
  void TearDown() override { Log::setPrefixes("Debug", "Info", "Warning", "Error", "Critical"); }
};

// Runs validation and returns what it logged.
std::string validate(JobSettings& settings, const PPDFile& ppd) {
  testing::internal::CaptureStderr();
  try {
    validateSettings(settings, ppd);
  } catch (...) {
    testing::internal::GetCapturedStderr();
    throw;
  }
  return testing::internal::GetCapturedStderr();
}

TEST_F(SettingsValidation, ValidSettingsAreLeftAlone) {
  JobSettings settings;
  settings.parseOptions("PrintSpeed=2 TransferMode=Fast FeedAdjustment=5");
  EXPECT_EQ(validate(settings, model(kSpeedModel)), "");
  EXPECT_EQ(settings.get("PrintSpeed", ""), "2");
  EXPECT_EQ(settings.get("FeedAdjustment", ""), "5");
}

TEST_F(SettingsValidation, UnsupportedAdjustmentIsRemoved) {
  JobSettings settings;
  settings.parseOptions("FeedAdjustment=5 ToneAdjustmentDirectThermal=Custom.3 PrintSpeed=4");
  PPDFile ppd = model("*DefaultBackFeedAdjustment: 2\n");
  settings.loadDefaults(ppd);
  std::string log = validate(settings, ppd);
  EXPECT_EQ(log,
            "WARNING: Unsupported option BackFeedAdjustment is ignored for this model\n"
            "WARNING: Unsupported option FeedAdjustment is ignored for this model\n"
            "WARNING: Unsupported option ToneAdjustmentDirectThermal is ignored for this model\n"
            "WARNING: Print settings were amended\n");
  EXPECT_FALSE(settings.contains("BackFeedAdjustment"));
  EXPECT_FALSE(settings.contains("ToneAdjustmentDirectThermal"));
  EXPECT_FALSE(settings.isCustom("ToneAdjustmentDirectThermal"));
  // The model does not offer PrintSpeed, so any value stays.
  EXPECT_EQ(settings.get("PrintSpeed", ""), "4");
  // Offered by the model: kept.
  JobSettings offered;
  offered.parseOptions("FeedAdjustment=5 PrintSpeed=4 TransferMode=Fast");
  EXPECT_EQ(validate(offered, model(kSpeedModel)), "");
  EXPECT_EQ(offered.get("FeedAdjustment", ""), "5");
}

TEST_F(SettingsValidation, PPDDefaultOfUnofferedAdjustmentIsRemoved) {
  PPDFile ppd = model("*DefaultFeedAdjustment: 1\n");
  JobSettings settings;
  settings.loadDefaults(ppd);
  EXPECT_EQ(validate(settings, ppd),
            "WARNING: Unsupported option FeedAdjustment is ignored for this model\n"
            "WARNING: Print settings were amended\n");
  EXPECT_FALSE(settings.contains("FeedAdjustment"));
}

TEST_F(SettingsValidation, InvalidChoiceIsReplacedByDefault) {
  JobSettings settings;
  settings.parseOptions("PrintSpeed=9 FeedAdjustment=1 CutStripAdjustment=2");
  std::string log = validate(settings, model(kSpeedModel));
  EXPECT_EQ(log,
            "WARNING: Unsupported option CutStripAdjustment is ignored for this model\n"
            "WARNING: Invalid choice for PrintSpeed, replacing \"9\" with default value \"3\"\n"
            "WARNING: Invalid choice for TransferMode, replacing \"\" with default value \"Fast\"\n"
            "WARNING: Print settings were amended\n");
  EXPECT_EQ(settings.get("PrintSpeed", ""), "3");
  EXPECT_EQ(settings.get("TransferMode", ""), "Fast");
}

TEST_F(SettingsValidation, ChoiceComparisonIsExactAndCustomValuesAreChecked) {
  JobSettings settings;
  settings.parseOptions("TransferMode=fast PrintSpeed=Custom.3.5");
  std::string log = validate(settings, model(kSpeedModel));
  EXPECT_NE(log.find("replacing \"fast\" with default value \"Fast\""), std::string::npos);
  EXPECT_NE(log.find("replacing \"3.5\" with default value \"3\""), std::string::npos);
  EXPECT_EQ(settings.get("TransferMode", ""), "Fast");
  EXPECT_EQ(settings.get("PrintSpeed", ""), "3");
}

TEST_F(SettingsValidation, MissingDefaultPassesTheException) {
  JobSettings settings;
  settings.set("TransferMode", "Slow");
  PPDFile ppd = model(
      "*OpenUI *TransferMode/Transfer: PickOne\n*TransferMode Fast/Fast: \"\"\n*CloseUI: "
      "*TransferMode\n");
  try {
    validate(settings, ppd);
    ADD_FAILURE();
  } catch (const PPDKeywordNotFoundException& e) {
    EXPECT_STREQ(e.what(), "DefaultTransferMode");
  }
}

TEST_F(SettingsValidation, EmptyModelOffersNothing) {
  JobSettings settings;
  settings.parseOptions("PrintSpeed=9 FeedAdjustment=1");
  EXPECT_EQ(validate(settings, PPDFile()),
            "WARNING: Unsupported option FeedAdjustment is ignored for this model\n"
            "WARNING: Print settings were amended\n");
  EXPECT_EQ(settings.get("PrintSpeed", ""), "9");
}

TEST_F(SettingsValidation, LoadSettingsFromPPDWarnings) {
  JobSettings settings;
  testing::internal::CaptureStderr();
  loadSettingsFromPPD(settings, model("*DefaultPrintSpeed: 3\n"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: PPD file was specified but no minimum or maximum values for custom options "
            "were loaded\n");
  testing::internal::CaptureStderr();
  loadSettingsFromPPD(settings, PPDFile());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: PPD file was specified but no values were loaded\n"
            "WARNING: PPD file was specified but no minimum or maximum values for custom options "
            "were loaded\n");
  testing::internal::CaptureStderr();
  loadSettingsFromPPD(settings,
                      model("*DefaultFeed: 1\n*ParamCustomFeed Feed/Feed: 1 real -5 5\n"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(settings.get("Feed.Minimum", ""), "-5.000000");
}

TEST_F(SettingsValidation, JobArgumentsThenOptionString) {
  JobSettings settings;
  settings.set("Copies", "from PPD");
  applyJobArguments(settings, "42", "alice", "My job", "1", "Copies=3 Title=Other\\ title");
  EXPECT_EQ(settings.get("JobID", ""), "42");
  EXPECT_EQ(settings.get("User", ""), "alice");
  EXPECT_EQ(settings.get("Title", ""), "Other title");
  EXPECT_EQ(settings.get("Copies", ""), "3");
  applyJobArguments(settings, "1", "u", "t", "2", "A=1");
  EXPECT_EQ(settings.get("Copies", ""), "2");
}

}  // namespace
}  // namespace Quillfeather
