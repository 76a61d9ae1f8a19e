#pragma once

#include <string>
#include <string_view>

#include "raster/exception.h"

namespace Quillfeather {

// A backslash escape that has no meaning; the message is the escape itself.
class UnknownEscapeException : public Exception {
 public:
  using Exception::Exception;
};

// Replaces backslash escapes (\0 \\ \" \a \b \e \f \n \r \t \v and \xHH) by
// their bytes. "\x" without two hex digits and a final lone backslash stay
// literal; any other escape throws UnknownEscapeException.
std::string unescape(std::string_view text);

// The inverse of unescape: named escapes for their bytes, \xhh for bytes of
// 0x80 and above, everything else unchanged.
std::string escape(std::string_view text);

}  // namespace Quillfeather
