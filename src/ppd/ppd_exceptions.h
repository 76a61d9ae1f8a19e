#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "raster/exception.h"

namespace Quillfeather {

// Base of the PPD errors; never thrown itself.
class PPDException : public Exception {
 public:
  using Exception::Exception;
};

// A line of the PPD file that cannot be parsed.
class PPDSyntaxException : public PPDException {
 public:
  PPDSyntaxException(std::string message, uint32_t lineNumber)
      : PPDException(std::move(message)), lineNumber_(lineNumber) {}
  uint32_t lineNumber() const { return lineNumber_; }

 private:
  uint32_t lineNumber_;
};

// A keyword that a lookup requires is missing.
class PPDKeywordNotFoundException : public PPDException {
 public:
  using PPDException::PPDException;
};

}  // namespace Quillfeather
