#pragma once

#include <map>
#include <string>

#include "jobcontrol/insertion_command.h"
#include "jobcontrol/printer_language.h"
#include "ppd/ppd_file.h"

namespace Quillfeather {

// What the entry point takes from the PPD for the job itself: the insertion
// commands by prefix ("Pre", "Post") and kind ("Job", "Label"), the date and
// time formats of the %d and %t codes, and the printer language.
struct JobContext {
  std::map<std::string, std::map<std::string, InsertionCommand>> insertions;
  std::string dateFormat = "%Y-%m-%d";
  std::string timeFormat = "%H:%M:%S";
  PrinterLanguage language = PrinterLanguage::LXPR;

  // The command of one moment; an unconfigured moment is None.
  const InsertionCommand& insertion(const std::string& prefix, const std::string& kind);
};

// Reads the ORN insertion, date/time format and printer language statements.
// Insertion values are unescaped, so an unknown escape throws
// UnknownEscapeException.
JobContext readJobContext(const PPDFile& ppd);

}  // namespace Quillfeather
