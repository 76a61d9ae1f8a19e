#pragma once

// Plain per-pixel versions of the bitmap operations, written straight from their definitions,
// that the byte-wise implementations must match exactly.

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/rect.h"

namespace Tesselin::testing {

inline constexpr uint32_t kAwkwardWidths[] = {1, 7, 8, 9, 13, 63, 64, 65, 863, 864, 4096, 4097};

inline uint32_t rowBytesOf(uint32_t width) { return (width + 7) / 8; }

inline bool bitAt(const std::vector<uint8_t>& data, uint32_t rowBytes, uint32_t x, uint32_t y) {
  return (data[size_t{y} * rowBytes + x / 8] >> (7 - x % 8)) & 1;
}

inline void putBit(std::vector<uint8_t>& data, uint32_t rowBytes, uint32_t x, uint32_t y,
                   bool bit) {
  uint8_t& byte = data[size_t{y} * rowBytes + x / 8];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
  byte = bit ? (byte | mask) : (byte & ~mask);
}

// Random bitmap; `density` of 0..8 sets roughly density/8 of the bits. With cleanPadding the
// bits beyond width are 0, as this library produces them; otherwise they are random too.
inline Bitmap randomBitmap(uint32_t width, uint32_t height, uint32_t seed, int density = 4,
                           bool cleanPadding = true) {
  std::mt19937 random(seed);
  const uint32_t rowBytes = rowBytesOf(width);
  std::vector<uint8_t> data(size_t{rowBytes} * height);
  for (uint8_t& byte : data) {
    uint8_t bits = 0;
    for (int k = 0; k < 8; ++k) {
      if (static_cast<int>(random() % 8) < density) bits |= static_cast<uint8_t>(1 << k);
    }
    byte = bits;
  }
  if (cleanPadding && width % 8 != 0) {
    const uint8_t keep = static_cast<uint8_t>(0xFF00 >> (width % 8));
    for (uint32_t y = 0; y < height; ++y) data[size_t{y} * rowBytes + rowBytes - 1] &= keep;
  }
  return Bitmap(std::move(data), width, height);
}

inline bool refColumnEmpty(const Bitmap& b, uint32_t x) {
  for (uint32_t y = 0; y < b.height(); ++y) {
    if (bitAt(b.data(), b.bytesPerRow(), x, y)) return false;
  }
  return true;
}

inline bool refRowEmpty(const Bitmap& b, uint32_t y) {
  for (uint32_t i = 0; i < b.bytesPerRow(); ++i) {
    if (b.data()[size_t{y} * b.bytesPerRow() + i] != 0) return false;
  }
  return true;
}

// Row scans use whole bytes, column scans pixels, as defined.
inline Rect refBoundingBox(const Bitmap& b) {
  uint32_t top = 0;
  while (top < b.height() && refRowEmpty(b, top)) ++top;
  if (top == b.height()) return {0, 0, 0, 0};
  uint32_t left = 0;
  bool found = false;
  for (uint32_t x = 0; x < b.width() && !found; ++x) {
    if (!refColumnEmpty(b, x)) {
      left = x;
      found = true;
    }
  }
  uint32_t x = b.width() - 1;
  while (x > 0 && refColumnEmpty(b, x)) --x;
  uint32_t bottom = b.height() - 1;
  while (bottom > 0 && refRowEmpty(b, bottom)) --bottom;
  return {found ? left : 0, top, x + 1, bottom + 1};
}

inline std::vector<uint8_t> refCrop(const Bitmap& b, const Rect& r) {
  const uint32_t width = r.right - r.left;
  const uint32_t rowBytes = rowBytesOf(width);
  std::vector<uint8_t> out(size_t{rowBytes} * (r.bottom - r.top));
  for (uint32_t y = 0; y < r.bottom - r.top; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      if (bitAt(b.data(), b.bytesPerRow(), r.left + x, r.top + y)) putBit(out, rowBytes, x, y, 1);
    }
  }
  return out;
}

inline std::vector<uint8_t> refRotate180(const Bitmap& b) {
  std::vector<uint8_t> data = b.data();
  const uint32_t w = b.width();
  const uint32_t h = b.height();
  const uint32_t rowBytes = b.bytesPerRow();
  for (uint32_t y = 0; y < h / 2; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const bool a = bitAt(data, rowBytes, x, y);
      const bool c = bitAt(data, rowBytes, w - 1 - x, h - 1 - y);
      if (a != c) {
        putBit(data, rowBytes, x, y, c);
        putBit(data, rowBytes, w - 1 - x, h - 1 - y, a);
      }
    }
  }
  if (h % 2 == 1) {
    const uint32_t m = h / 2;
    for (uint32_t x = 0; x < w / 2; ++x) {
      const bool a = bitAt(data, rowBytes, x, m);
      const bool c = bitAt(data, rowBytes, w - 1 - x, m);
      putBit(data, rowBytes, x, m, c);
      putBit(data, rowBytes, w - 1 - x, m, a);
    }
  }
  return data;
}

}  // namespace Tesselin::testing
