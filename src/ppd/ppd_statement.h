#pragma once

#include <cstdint>
#include <string>

#include "ppd/ppd_value.h"

namespace Quillfeather {

// One PPD statement: *mainKeyword optionKeyword/translation: value
struct PPDStatement {
  uint32_t line = 0;
  std::string mainKeyword;
  std::string optionKeyword;
  std::string translation;
  PPDValue value;

  bool hasOptionKeyword() const { return !optionKeyword.empty(); }
  bool hasTranslation() const { return !translation.empty(); }
  bool hasValue() const { return value.type != PPDValueType::None; }
};

}  // namespace Quillfeather
