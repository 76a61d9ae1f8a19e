#include "jobcontrol/printer_language.h"

namespace Quillfeather {

PrinterLanguage languageFromName(std::string_view name) {
  if (name == "LXPR") return PrinterLanguage::LXPR;
  if (name == "ZPL") return PrinterLanguage::ZPL;
  if (name == "KTRN8Q") return PrinterLanguage::KTRN8Q;
  return PrinterLanguage::Unknown;
}

PrinterLanguage resolvePrinterLanguage(PrinterLanguage fromPPD, const JobSettings& settings) {
  if (fromPPD != PrinterLanguage::Unknown) return fromPPD;
  return languageFromName(settings.get("PrinterLanguage", "LXPR"));
}

}  // namespace Quillfeather
