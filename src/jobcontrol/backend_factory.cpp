#include "jobcontrol/backend_factory.h"

#include "backends/ktrn8q/ktrn8q_filter.h"
#include "backends/lxpr/lxpr_filter.h"
#include "backends/zpl/zpl_filter.h"
#include "jobcontrol/log.h"

namespace Quillfeather {

std::unique_ptr<Filter> makeBackend(PrinterLanguage language, std::istream& input,
                                    std::ostream& output, const JobSettings& settings) {
  switch (language) {
    case PrinterLanguage::ZPL:
      Log::debug() << "Printer language is ZPL" << std::endl;
      return std::make_unique<ZPLFilter>(input, output, settings);
    case PrinterLanguage::KTRN8Q:
      Log::debug() << "Printer language is KT-RN8Q" << std::endl;
      return std::make_unique<KTRN8QFilter>(input, output, settings);
    case PrinterLanguage::LXPR:
      Log::debug() << "Printer language is LXPR" << std::endl;
      return std::make_unique<LXPRFilter>(input, output, settings);
    case PrinterLanguage::Unknown:
      break;
  }
  throw InternalInconsistencyException("Printer language is unknown");
}

}  // namespace Quillfeather
