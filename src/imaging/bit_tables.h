#pragma once

#include <array>
#include <cstdint>

namespace Tesselin {

// Byte with its bit order reversed: bit 7 becomes bit 0 and so on.
inline constexpr std::array<uint8_t, 256> kReversedBits = [] {
  std::array<uint8_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (value & (1 << bit)) reversed |= 0x80 >> bit;
    }
    table[value] = static_cast<uint8_t>(reversed);
  }
  return table;
}();

// Mask of the pixels a row's last byte holds when the row is `width` pixels wide.
constexpr uint8_t lastByteMask(uint32_t width) {
  const uint32_t used = width % 8;
  return used == 0 ? uint8_t{0xFF} : static_cast<uint8_t>(0xFF00 >> used);
}

}  // namespace Tesselin
