#pragma once

#include <cstdint>
#include <string>

namespace Quillfeather::Testing {

struct ExpectedPPDOutcome {
  bool parses = true;
  std::string message;
  uint32_t line = 0;
};

// A plain reference for the PPD syntax rules: scans the whole file as lines
// and names the first error the parser must report, or none.
ExpectedPPDOutcome expectedPPDOutcome(const std::string& bytes);

}  // namespace Quillfeather::Testing
