// SKARN decoder: reads the row records that follow the 2-byte length field (layout in
// skarn_encoder.cpp). Each record's data bytes are XORed onto a copy of the row above.
// A record cut short, or one that addresses a byte beyond the row, is rejected.
#include <cstring>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {

// Walks every record. The checking pass validates the records and counts the rows, so the
// bitmap is allocated once at its final size; the applying pass then fills it without checks.
template <bool kApply>
uint64_t walkRecords(std::span<const uint8_t> records, uint32_t rowBytes, uint8_t* out) {
  const uint8_t* in = records.data();
  const size_t size = records.size();
  size_t pos = 0;
  uint64_t rows = 0;
  auto next = [&]() -> uint8_t {
    if constexpr (!kApply) {
      if (pos >= size) throw BitmapException("SKARN data ends inside a row record");
    }
    return in[pos++];
  };

  uint8_t* row = out;
  while (pos < size) {
    if constexpr (kApply) {
      if (rows != 0 && rowBytes != 0) std::memcpy(row, row - rowBytes, rowBytes);
    }
    const uint8_t groupMap = next();
    for (uint32_t g = 0; g < 8; ++g) {
      if (!(groupMap & (0x80 >> g))) continue;
      const uint8_t blockMap = next();
      for (uint32_t k = 0; k < 8; ++k) {
        if (!(blockMap & (0x80 >> k))) continue;
        const uint8_t byteMap = next();
        for (uint32_t p = 0; p < 8; ++p) {
          if (!(byteMap & (0x80 >> p))) continue;
          const uint32_t index = g * 64 + k * 8 + p;
          if constexpr (kApply) {
            row[index] ^= next();
          } else {
            if (index >= rowBytes) {
              throw BitmapException("SKARN row record addresses a byte beyond the row");
            }
            next();
          }
        }
      }
    }
    ++rows;
    if constexpr (kApply) row += rowBytes;
  }
  return rows;
}

}  // namespace

Bitmap decodeSkarn(std::span<const uint8_t> records, uint32_t width) {
  const uint32_t rowBytes = Image::rowBytes(1, 1, width);
  const uint64_t rows = walkRecords<false>(records, rowBytes, nullptr);
  if (rows > UINT32_MAX) throw ImageException("Image too large");
  Bitmap bitmap(width, static_cast<uint32_t>(rows));
  walkRecords<true>(records, rowBytes, bitmap.data().data());
  return bitmap;
}

}  // namespace Tesselin
