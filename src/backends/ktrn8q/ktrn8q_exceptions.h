#pragma once

#include "raster/exception.h"

namespace Quillfeather {

// The KT-RN8Q printer could not be reached over the back channel or answered
// something unusable.
class KTRN8QPrinterException : public Exception {
 public:
  using Exception::Exception;
};

// A response of the right length whose contents are not valid.
class InvalidKTRN8QPrinterResponse : public KTRN8QPrinterException {
 public:
  using KTRN8QPrinterException::KTRN8QPrinterException;
};

}  // namespace Quillfeather
