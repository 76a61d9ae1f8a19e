#include "png_grey_depth.h"

#include <array>
#include <cstring>
#include <fstream>

namespace OrnPrint {

uint8_t pngGreyMaximum(const std::string& path) {
  // Signature (8 bytes), IHDR length and type (8), width and height (8), bit depth, colour type.
  constexpr std::array<uint8_t, 16> kStart{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                           0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  std::array<uint8_t, 26> head{};
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(head.data()), head.size()) ||
      std::memcmp(head.data(), kStart.data(), kStart.size()) != 0)
    return 255;
  const uint8_t depth = head[24], colourType = head[25];
  if (colourType != 0 || (depth != 1 && depth != 2 && depth != 4)) return 255;
  return static_cast<uint8_t>((1u << depth) - 1);
}

}  // namespace OrnPrint
