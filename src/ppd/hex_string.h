#pragma once

#include <string>
#include <string_view>

namespace Quillfeather {

// Decodes the <hex> substrings of a quoted PPD value: each pair of hex digits
// between '<' and '>' becomes one byte; other text is copied. Throws
// std::invalid_argument with a readable message on malformed hex substrings.
std::string decodeHexSubstrings(std::string_view text);

}  // namespace Quillfeather
