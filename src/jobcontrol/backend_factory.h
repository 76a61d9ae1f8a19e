#pragma once

#include <istream>
#include <memory>
#include <ostream>

#include "jobcontrol/filter.h"
#include "jobcontrol/printer_language.h"
#include "ppd/job_settings.h"

namespace Quillfeather {

// Constructs the back end for the language; Unknown throws
// InternalInconsistencyException "Printer language is unknown".
std::unique_ptr<Filter> makeBackend(PrinterLanguage language, std::istream& input,
                                    std::ostream& output, const JobSettings& settings);

}  // namespace Quillfeather
