#pragma once

#include "raster/exception.h"

namespace Quillfeather {

// A command template and its arguments do not fit together.
class CommandException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace Quillfeather
