#include "jobcontrol/log.h"

#include <array>
#include <iostream>

namespace Quillfeather {
namespace {

enum Level { kDebug, kInfo, kWarning, kError, kCritical };

std::array<std::string, 5>& prefixes() {
  static std::array<std::string, 5> table{"Debug", "Info", "Warning", "Error", "Critical"};
  return table;
}

std::ostream& start(Level level) {
  const std::string& prefix = prefixes()[level];
  if (!prefix.empty()) std::cerr << prefix << ": ";
  return std::cerr;
}

}  // namespace

std::ostream& Log::debug() { return start(kDebug); }
std::ostream& Log::info() { return start(kInfo); }
std::ostream& Log::warning() { return start(kWarning); }
std::ostream& Log::error() { return start(kError); }
std::ostream& Log::critical() { return start(kCritical); }

void Log::setPrefixes(std::string debug, std::string info, std::string warning, std::string error,
                      std::string critical) {
  prefixes() = {std::move(debug), std::move(info), std::move(warning), std::move(error),
                std::move(critical)};
}

}  // namespace Quillfeather
