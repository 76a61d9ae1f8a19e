#pragma once

// Helpers of the preview decoder tests: byte strings, random bitmaps, a per-dot reference.
#include <cstdint>
#include <random>
#include <span>
#include <string>

#include "imaging/bitmap.h"

namespace PreviewTest {

inline std::span<const uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

inline Tesselin::Bitmap randomBitmap(uint32_t width, uint32_t height, uint32_t seed,
                                     int blackPercent = 30) {
  std::mt19937 random(seed);
  Tesselin::Bitmap bitmap(width, height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      bitmap.setPixel(x, y, static_cast<int>(random() % 100) < blackPercent);
    }
  }
  return bitmap;
}

// The graphic drawn dot by dot onto a picture (white unless given) of the given size.
inline Tesselin::Bitmap placed(const Tesselin::Bitmap& graphic, uint32_t width, uint32_t height,
                               uint64_t x, uint64_t y, Tesselin::Bitmap picture = {}) {
  if (picture.width() == 0) picture = Tesselin::Bitmap(width, height);
  for (uint32_t gy = 0; gy < graphic.height(); ++gy) {
    for (uint32_t gx = 0; gx < graphic.width(); ++gx) {
      if (x + gx < width && y + gy < height && graphic.getPixel(gx, gy)) {
        picture.setPixel(static_cast<uint32_t>(x + gx), static_cast<uint32_t>(y + gy), true);
      }
    }
  }
  return picture;
}

inline std::string rawBytes(const Tesselin::Bitmap& bitmap) {
  return std::string(bitmap.data().begin(), bitmap.data().end());
}

}  // namespace PreviewTest
