#pragma once

// Shared helpers of the imaging tests: bit access written from the definition of the 1-bit
// layout (most significant bit first), random bitmaps, and the message of a thrown exception.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "support/error_of.h"

namespace Tesselin::testing {

inline constexpr uint32_t kAwkwardWidths[] = {1, 7, 8, 9, 13, 63, 64, 65, 863, 864, 4096, 4097};

inline bool bitAt(const std::vector<uint8_t>& data, uint32_t rowBytes, uint32_t x, uint32_t y) {
  return (data[size_t{y} * rowBytes + x / 8] >> (7 - x % 8)) & 1;
}

inline void putBit(std::vector<uint8_t>& data, uint32_t rowBytes, uint32_t x, uint32_t y, bool on) {
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
  uint8_t& byte = data[size_t{y} * rowBytes + x / 8];
  byte = on ? (byte | mask) : (byte & ~mask);
}

// Random bitmap; `density` of 0..8 sets roughly density/8 of the bits. With cleanPadding the
// bits beyond width are 0, as this library produces them; otherwise they are random too.
inline Bitmap randomBitmap(uint32_t width, uint32_t height, uint32_t seed, int density = 4,
                           bool cleanPadding = true) {
  std::mt19937 random(seed);
  const uint32_t rowBytes = (width + 7) / 8;
  std::vector<uint8_t> data(size_t{rowBytes} * height);
  for (uint8_t& byte : data) {
    for (int k = 0; k < 8; ++k)
      byte |= static_cast<uint8_t>((static_cast<int>(random() % 8) < density) << k);
  }
  for (uint32_t y = 0; cleanPadding && width % 8 != 0 && y < height; ++y)
    data[size_t{y} * rowBytes + rowBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (width % 8));
  return Bitmap(std::move(data), width, height);
}

using OrnTest::errorOf;

}  // namespace Tesselin::testing
