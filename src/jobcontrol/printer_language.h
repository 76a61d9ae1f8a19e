#pragma once

#include <cstdint>
#include <string_view>

#include "ppd/job_settings.h"

namespace Quillfeather {

enum class PrinterLanguage : int32_t { Unknown = 0, LXPR = 1, ZPL = 2, KTRN8Q = 3 };

// "LXPR", "ZPL" or "KTRN8Q", compared exactly; anything else is Unknown.
PrinterLanguage languageFromName(std::string_view name);

// The language named by the PPD, or, when the PPD named none of the three,
// the one of the PrinterLanguage setting (default "LXPR").
PrinterLanguage resolvePrinterLanguage(PrinterLanguage fromPPD, const JobSettings& settings);

}  // namespace Quillfeather
