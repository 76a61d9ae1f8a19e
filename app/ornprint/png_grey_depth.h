#pragma once

#include <cstdint>
#include <string>

namespace OrnPrint {

// PAPPL 1.3.1 hands over the lines of a grey PNG with fewer than 8 bits per pixel unscaled
// (a 1-bit PNG gives 0 and 1, not 0 and 255). This reads the file's header and returns the
// largest grey value such a file's lines hold (1, 3 or 15), or 255 for every other file.
uint8_t pngGreyMaximum(const std::string& path);

}  // namespace OrnPrint
