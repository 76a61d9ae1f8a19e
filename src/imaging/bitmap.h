#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "imaging/image.h"
#include "imaging/rect.h"

namespace Tesselin {

// A 1-bit, one-channel image: a set bit is a black dot, bit 7 of byte k of a row is pixel 8k.
// The origin is where the bitmap's top-left pixel lies on the page it was cut from.
class Bitmap : public Image {
 public:
  Bitmap() : Image(1, 1, 0, 0) {}
  Bitmap(uint32_t width, uint32_t height) : Image(1, 1, width, height) {}
  explicit Bitmap(std::pair<uint32_t, uint32_t> size) : Bitmap(size.first, size.second) {}
  // Takes the bytes as they are; their count must be bytesPerRow x height.
  Bitmap(std::vector<uint8_t> data, uint32_t width, uint32_t height);
  // The pixels of source inside r, with origin (r.left, r.top).
  Bitmap(const Bitmap& source, const Rect& r);
  Bitmap(const Bitmap&) = default;
  Bitmap(Bitmap&&) noexcept = default;
  Bitmap& operator=(const Bitmap&) = default;
  Bitmap& operator=(Bitmap&&) noexcept = default;
  ~Bitmap() override = default;

  static Bitmap crop(const Bitmap& source, const Rect& r) { return Bitmap(source, r); }

  bool isBitmap() const override { return true; }
  // Complements every data byte, the bits beyond width included.
  void invert() override;

  std::pair<uint32_t, uint32_t> origin() const { return origin_; }
  void setOrigin(uint32_t x, uint32_t y) { origin_ = {x, y}; }

  bool getPixel(uint32_t x, uint32_t y) const;
  void setPixel(uint32_t x, uint32_t y, bool bit);
  std::vector<uint8_t> getRow(uint32_t y) const;
  // Row y's bytes without a copy; valid until the bitmap changes size.
  std::span<const uint8_t> row(uint32_t y) const;
  void setRow(uint32_t y, std::span<const uint8_t> bytes);
  void appendRow(std::span<const uint8_t> bytes);
  // Appends the previous last row XOR bytes (bytes alone when there are no rows).
  void appendRowXor(std::span<const uint8_t> bytes);
  // Row `to` becomes row `from` XOR bytes; missing bytes count as 0.
  void xorRow(uint32_t from, uint32_t to, std::span<const uint8_t> bytes = {});
  void copyRow(uint32_t from, uint32_t to) { xorRow(from, to); }
  bool isRowEmpty(uint32_t y) const;
  bool isColumnEmpty(uint32_t x) const;
  Rect boundingBox() const;
  // Clears every bit that is set in other.
  void mask(const Bitmap& other);
  // Copies other's bytes into this bitmap at other's origin, rounded to a whole byte.
  void paste(const Bitmap& other);
  void clear();
  // Turns the bitmap half a turn in place; bits beyond width stay where they are.
  void rotate180();

 private:
  // Throws unless data holds exactly bytesPerRow x height bytes (data() is writable).
  void checkRows() const;
  void growByOneRow();

  std::pair<uint32_t, uint32_t> origin_{0, 0};
};

}  // namespace Tesselin
