#pragma once

#include <ostream>
#include <string>

namespace Quillfeather {

// The process-wide log on standard error. Each level writes its prefix and ": "
// and returns the stream; the caller writes the message and ends it with
// std::endl, so every message is one flushed line. There is no threshold: CUPS
// decides which levels it keeps.
class Log {
 public:
  static std::ostream& debug();
  static std::ostream& info();
  static std::ostream& warning();
  static std::ostream& error();
  static std::ostream& critical();

  // Replaces the five prefixes, in level order (the entry point sets the CUPS ones).
  static void setPrefixes(std::string debug, std::string info, std::string warning,
                          std::string error, std::string critical);
};

}  // namespace Quillfeather
