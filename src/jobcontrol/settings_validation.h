#pragma once

#include <string>
#include <string_view>

#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"

namespace Quillfeather {

// PPD defaults and custom option ranges, each with a warning when nothing was loaded.
void loadSettingsFromPPD(JobSettings& settings, const PPDFile& ppd);

// JobID, User, Title and Copies from the job arguments, then the option string,
// which may override any of them.
void applyJobArguments(JobSettings& settings, const std::string& jobId, const std::string& user,
                       const std::string& title, const std::string& copies,
                       std::string_view options);

// Drops adjustments the model does not offer and replaces invalid choices by the
// PPD default, warning about each and once more if anything was amended. An
// invalid choice of an option without Default statement throws
// PPDKeywordNotFoundException.
void validateSettings(JobSettings& settings, const PPDFile& ppd);

}  // namespace Quillfeather
