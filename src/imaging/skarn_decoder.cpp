// SKARN decoder: reads the row records that follow the 2-byte length field (layout in
// skarn_encoder.cpp). Each record's data bytes are XORed onto a copy of the row above.
// A record cut short, or one that addresses a byte beyond the row, is rejected.
#include <cstring>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

Bitmap decodeSkarn(std::span<const uint8_t> records, uint32_t width) {
  const uint32_t rowBytes = Image::rowBytes(1, 1, width);
  std::vector<uint8_t> data;
  uint32_t rows = 0;
  size_t pos = 0;
  const size_t size = records.size();
  auto next = [&]() -> uint8_t {
    if (pos >= size) throw BitmapException("SKARN data ends inside a row record");
    return records[pos++];
  };

  while (pos < size) {
    if (data.size() + rowBytes > Image::kMaxDataBytes || rows == UINT32_MAX) {
      throw ImageException("Image too large");
    }
    const size_t start = data.size();
    data.resize(start + rowBytes);
    uint8_t* row = data.data() + start;
    if (rows != 0 && rowBytes != 0) std::memcpy(row, row - rowBytes, rowBytes);

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
          if (index >= rowBytes) {
            throw BitmapException("SKARN row record addresses a byte beyond the row");
          }
          row[index] ^= next();
        }
      }
    }
    ++rows;
  }
  return Bitmap(std::move(data), width, rows);
}

}  // namespace Tesselin
