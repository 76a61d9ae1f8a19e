#include "imaging/darkness.h"

#include <array>
#include <utility>

namespace Tesselin {

int darknessFromName(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, int>, 7> kLevels{{
      {"Lightest", 0},
      {"Lighter", 1},
      {"Light", 2},
      {"Normal", 3},
      {"Dark", 4},
      {"Darker", 5},
      {"Darkest", 6},
  }};
  for (const auto& [text, level] : kLevels) {
    if (name == text) return level;
  }
  return 3;
}

}  // namespace Tesselin
