#pragma once

#include <cstdint>

namespace Tesselin {

// A rectangle of pixels; right and bottom are exclusive.
struct Rect {
  uint32_t left = 0;
  uint32_t top = 0;
  uint32_t right = 0;
  uint32_t bottom = 0;

  uint32_t width() const { return right >= left ? right - left : 0; }
  uint32_t height() const { return bottom >= top ? bottom - top : 0; }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace Tesselin
