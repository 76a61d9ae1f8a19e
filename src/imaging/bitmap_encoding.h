#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace Tesselin {

enum BitmapFormat : int {
  kUncompressed = 0,  // the bitmap's rows as they are, no header
  kSkarn = 1,         // 2-byte big-endian length, then one SKARN row record per row
};

// Widest bitmap SKARN can describe: 8 groups of 64 bytes per row.
inline constexpr uint32_t kSkarnMaxWidth = 4096;
// SKARN's length field must stay below this.
inline constexpr uint32_t kSkarnMaxLength = 65536;

// Writes the bitmap in the given format. For SKARN the stream must be seekable: the length
// field is written last, at the position where the encoding began.
void encode(const Bitmap& bitmap, int format, std::ostream& out);

// The SKARN encoding, length field included, as encode() writes it.
std::vector<uint8_t> encodeSkarn(const Bitmap& bitmap);

// Rebuilds a bitmap. For SKARN the bytes are the row records without the length field, and the
// height follows from the number of records (the height argument is used for format 0 only).
Bitmap decode(std::span<const uint8_t> bytes, uint32_t width, uint32_t height, int format);

// The SKARN row records (without length field) of a bitmap `width` pixels wide.
Bitmap decodeSkarn(std::span<const uint8_t> records, uint32_t width);

}  // namespace Tesselin
