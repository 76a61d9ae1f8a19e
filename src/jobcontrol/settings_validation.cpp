#include "jobcontrol/settings_validation.h"

#include <array>

#include "jobcontrol/log.h"

namespace Quillfeather {

namespace {

constexpr std::array<const char*, 5> kAdjustments = {
    "BackFeedAdjustment", "FeedAdjustment", "CutStripAdjustment", "ToneAdjustmentThermalTransfer",
    "ToneAdjustmentDirectThermal"};

constexpr std::array<const char*, 3> kChoiceOptions = {"PrintSpeed", "TransferMode",
                                                       "ZPLCompression"};

}  // namespace

void loadSettingsFromPPD(JobSettings& settings, const PPDFile& ppd) {
  if (!settings.loadDefaults(ppd))
    Log::warning() << "PPD file was specified but no values were loaded" << std::endl;
  if (!settings.loadCustomRanges(ppd))
    Log::warning()
        << "PPD file was specified but no minimum or maximum values for custom options were loaded"
        << std::endl;
}

void applyJobArguments(JobSettings& settings, const std::string& jobId, const std::string& user,
                       const std::string& title, const std::string& copies,
                       std::string_view options) {
  settings.set("JobID", jobId);
  settings.set("User", user);
  settings.set("Title", title);
  settings.set("Copies", copies);
  settings.parseOptions(options);
}

void validateSettings(JobSettings& settings, const PPDFile& ppd) {
  bool amended = false;
  for (const std::string name : kAdjustments) {
    if (settings.contains(name) && !ppd.isOption(name)) {
      Log::warning() << "Unsupported option " << name << " is ignored for this model" << std::endl;
      settings.remove(name);
      amended = true;
    }
  }
  for (const std::string name : kChoiceOptions) {
    std::string value = settings.get(name, "");
    if (ppd.isOption(name) && !ppd.isValidChoice(name, value)) {
      std::string defaultValue = ppd.getDefault(name).text;
      Log::warning() << "Invalid choice for " << name << ", replacing \"" << value
                     << "\" with default value \"" << defaultValue << "\"" << std::endl;
      settings.set(name, defaultValue);
      amended = true;
    }
  }
  if (amended) Log::warning() << "Print settings were amended" << std::endl;
}

}  // namespace Quillfeather
