#pragma once

#include <cstdint>
#include <string>

namespace Quillfeather {

enum class InsertionType : int32_t { None = 0, Text = 1, File = 2 };

// Printer data an administrator configured for one moment of the job: literal
// text, or the path of a file whose lines are sent. The text may hold any byte.
struct InsertionCommand {
  InsertionType type = InsertionType::None;
  std::string text;
};

}  // namespace Quillfeather
