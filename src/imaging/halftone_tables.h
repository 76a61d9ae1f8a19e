#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace Tesselin {

inline constexpr int kDarknessLevels = 7;
inline constexpr int kNormalDarkness = 3;

// Dot level 0..8 (count of black dots in a 4 x 4 cell, stepped) for a luminance at a darkness
// level 0..6.
uint8_t dotLevel(int darkness, uint8_t luminance);

// 4 x 4 dot pattern of each dot level, row 0 in the top nibble, left pixel in each nibble's
// high bit.
inline constexpr std::array<uint16_t, 9> kDotPatterns = {0x0000, 0x8000, 0x8020, 0x8282, 0x9669,
                                                         0x7D7D, 0x7FDF, 0x7FFF, 0xFFFF};

// Whether the dot pattern of `level` is black at row y, column x of its 4 x 4 cell.
constexpr bool dotPatternBit(int level, uint32_t x, uint32_t y) {
  const uint32_t nibble = (kDotPatterns[level] >> (12 - 4 * (y % 4))) & 0xF;
  return (nibble >> (3 - x % 4)) & 1;
}

// An N x N threshold matrix stored row by row: a pixel is black when its luminance is below
// the entry at (y mod N, x mod N).
struct ThresholdMatrix {
  uint32_t size;
  std::span<const uint8_t> entries;
  uint8_t at(uint32_t x, uint32_t y) const { return entries[(y % size) * size + x % size]; }
};

// The matrix of halftoning method 2, 3 (16 x 16) or 4 (32 x 32).
ThresholdMatrix thresholdMatrix(int method);

}  // namespace Tesselin
