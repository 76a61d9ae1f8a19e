#include "jobcontrol/job_setup.h"

#include <optional>

#include "jobcontrol/backend_factory.h"
#include "jobcontrol/log.h"
#include "jobcontrol/settings_validation.h"
#include "ppd/ppd_exceptions.h"
#include "ppd/ppd_file.h"

namespace Quillfeather {
namespace {

// Everything the job reads from the PPD. A PPD that cannot be parsed is
// reported and the job goes on without it.
std::optional<PPDFile> readPPD(const char* path, JobContext& context, JobSettings& settings) {
  if (!path) {
    Log::warning() << "Filter invoked without PPD environment variable set" << std::endl;
    return std::nullopt;
  }
  try {
    std::optional<PPDFile> ppd(std::in_place, path);
    context = readJobContext(*ppd);
    loadSettingsFromPPD(settings, *ppd);
    return ppd;
  } catch (const PPDException& e) {
    Log::error() << "Exception occurred while processing PPD file: " << e.what() << std::endl;
    return std::nullopt;
  }
}

}  // namespace

PreparedJob::PreparedJob(const char* ppdPath, const JobArguments& arguments, std::istream& input,
                         std::ostream& output)
    : variables_(makeInsertionVariables(arguments.jobId, arguments.user, arguments.title)) {
  std::optional<PPDFile> ppd = readPPD(ppdPath, context_, settings_);
  applyJobArguments(settings_, arguments.jobId, arguments.user, arguments.title, arguments.copies,
                    arguments.options);
  if (ppd) validateSettings(settings_, *ppd);
  const PrinterLanguage language = resolvePrinterLanguage(context_.language, settings_);
  backend_ = makeBackend(language, input, output, settings_);
  installInsertionHooks(*backend_, variables_, context_);
}

}  // namespace Quillfeather
