#include "imaging/halftone_tables.h"

#include <algorithm>

#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {

// First luminance of dot levels 8, 7, ..., 0 for each darkness level; a level lasts up to the
// next start.
constexpr uint8_t kCurveStarts[kDarknessLevels][9] = {
    {0, 7, 21, 35, 51, 69, 89, 113, 146},        {0, 9, 26, 44, 64, 87, 113, 145, 192},
    {0, 11, 34, 58, 84, 113, 144, 181, 227},     {0, 16, 48, 80, 112, 144, 176, 208, 240},
    {0, 29, 75, 112, 143, 172, 198, 222, 245},   {0, 64, 111, 143, 169, 192, 212, 230, 247},
    {0, 110, 143, 167, 187, 205, 221, 235, 249},
};

constexpr auto kDotLevels = [] {
  std::array<std::array<uint8_t, 256>, kDarknessLevels> levels{};
  for (int d = 0; d < kDarknessLevels; ++d) {
    for (int v = 0; v < 256; ++v) {
      int level = 8;
      for (int i = 1; i <= 8; ++i) {
        if (v >= kCurveStarts[d][i]) level = 8 - i;
      }
      levels[d][v] = static_cast<uint8_t>(level);
    }
  }
  return levels;
}();

// The threshold matrices keep their fixed first rows. The other rows are a dispersed-dot
// (Bayer) ordered dither of the matrix size: the Bayer index 0 .. N*N-1 of each cell is spread
// evenly over the threshold range 13 .. 245, so every luminance step darkens cells scattered
// over the whole matrix. The 32 x 32 matrix repeats its 16 given first-row entries across the
// row, as they already repeat with a period of 8.
constexpr uint32_t bayerIndex(uint32_t size, uint32_t row, uint32_t column) {
  uint32_t index = 0;
  for (uint32_t bit = 1; bit < size; bit <<= 1) {
    const uint32_t r = (row & bit) ? 1 : 0;
    const uint32_t c = (column & bit) ? 1 : 0;
    index = index * 4 + 2 * (r ^ c) + r;
  }
  return index;
}

template <uint32_t N>
constexpr std::array<uint8_t, N * N> makeMatrix(const uint8_t (&firstRow)[16]) {
  std::array<uint8_t, N * N> matrix{};
  for (uint32_t column = 0; column < N; ++column) matrix[column] = firstRow[column % 16];
  for (uint32_t row = 1; row < N; ++row) {
    for (uint32_t column = 0; column < N; ++column) {
      matrix[row * N + column] =
          static_cast<uint8_t>(13 + bayerIndex(N, row, column) * 232 / (N * N - 1));
    }
  }
  return matrix;
}

constexpr uint8_t kM2FirstRow[16] = {13, 192, 33, 240, 13, 200, 41, 244,
                                     13, 194, 35, 242, 13, 202, 43, 244};
constexpr uint8_t kM3FirstRow[16] = {159, 192, 113, 49, 144, 200, 125, 61,
                                     156, 194, 115, 51, 146, 202, 128, 64};
constexpr uint8_t kM4FirstRow[16] = {80, 199, 231, 239, 180, 61, 29, 13,
                                     76, 196, 227, 241, 183, 64, 32, 16};

constexpr auto kMatrix2 = makeMatrix<16>(kM2FirstRow);
constexpr auto kMatrix3 = makeMatrix<16>(kM3FirstRow);
constexpr auto kMatrix4 = makeMatrix<32>(kM4FirstRow);

}  // namespace

uint8_t dotLevel(int darkness, uint8_t luminance) {
  return kDotLevels[std::clamp(darkness, 0, kDarknessLevels - 1)][luminance];
}

ThresholdMatrix thresholdMatrix(int method) {
  switch (method) {
    case 2:
      return {16, kMatrix2};
    case 3:
      return {16, kMatrix3};
    case 4:
      return {32, kMatrix4};
    default:
      throw HalftoningException("No threshold matrix for this halftoner");
  }
}

}  // namespace Tesselin
