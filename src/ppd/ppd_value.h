#pragma once

#include <cstdint>
#include <string>

namespace Quillfeather {

// The kind of a PPD statement's value.
enum class PPDValueType : int32_t {
  Invocation = 0,  // double-quoted, of a query or option statement; may span lines
  Quoted = 1,      // double-quoted, one line, hex substrings decoded
  Symbol = 2,      // begins with '^'
  String = 3,      // unquoted text, trailing blanks removed
  None = 4,        // statement without colon and value
};

struct PPDValue {
  PPDValueType type = PPDValueType::None;
  std::string text;
};

}  // namespace Quillfeather
