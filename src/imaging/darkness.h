#pragma once

#include <string_view>

namespace Tesselin {

// Darkness level of an ImageDarkness setting: "Lightest" 0 to "Darkest" 6, anything else 3.
int darknessFromName(std::string_view name);

}  // namespace Tesselin
