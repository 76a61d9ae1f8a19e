// SKARN encoder. Layout:
//   2 bytes   L, the count of bytes that follow, big-endian
//   L bytes   one row record per row, top to bottom
// A row is coded against the row above it (all zero above the first row). Its bytes form at
// most 8 groups of 64 bytes, each of 8 blocks of 8 bytes. A row record is
//   group map (bit 7 - g: group g holds a changed byte), then for each marked group
//     block map (bit 7 - k: block k holds a changed byte), then for each marked block
//       byte map (bit 7 - p: byte p changed), then for each marked byte: new XOR old.
// An unchanged row is the single byte 0x00.
#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {

constexpr uint32_t kMaxRowBytes = kSkarnMaxWidth / 8;
// Longest row record: group map, 8 block maps, 64 byte maps and 512 data bytes.
constexpr size_t kMaxRecord = 1 + 8 + 64 + kMaxRowBytes;

constexpr uint8_t kZeroRow[kMaxRowBytes] = {};

// Up to 8 bytes as a word whose byte p (bits 8p..8p+7) is bytes[p].
uint64_t loadBlock(const uint8_t* bytes, uint32_t count) {
  uint64_t word = 0;
  std::memcpy(&word, bytes, count);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// Byte map of a block difference: bit 7 - p set when byte p of the word is not zero.
uint8_t byteMap(uint64_t difference) {
  uint64_t t = difference | (difference >> 4);
  t |= t >> 2;
  t |= t >> 1;
  t &= 0x0101010101010101ULL;
  // Spreads bit 8p to bit 63 - p without carries.
  return static_cast<uint8_t>((t * 0x8040201008040201ULL) >> 56);
}

}  // namespace

std::vector<uint8_t> encodeSkarn(const Bitmap& bitmap) {
  if (bitmap.width() > kSkarnMaxWidth) {
    throw BitmapException("Bitmap width exceeds supported width for SKARN compression");
  }
  if (bitmap.height() == 0) throw BitmapException("Bitmap has no height");
  const uint32_t rowBytes = bitmap.bytesPerRow();
  if (uint64_t{rowBytes} * bitmap.height() != bitmap.dataSize()) {
    throw BitmapException("Bitmap data does not match its size");
  }

  // Room for the longest possible records, at most up to the size limit plus one record, and
  // the 8-byte slack the data byte loop may write past its end.
  const uint64_t groups = (rowBytes + 63) / 64;
  const uint64_t blocks = (rowBytes + 7) / 8;
  const uint64_t longestRecord = 1 + groups + blocks + rowBytes;
  const uint64_t capacity =
      std::min<uint64_t>(longestRecord * bitmap.height(), kSkarnMaxLength + kMaxRecord);
  std::vector<uint8_t> out(2 + capacity + 8);
  uint8_t* const begin = out.data();
  uint8_t* n = begin + 2;
  const uint8_t* previous = kZeroRow;
  const uint8_t* row = bitmap.data().data();
  for (uint32_t y = 0; y < bitmap.height(); ++y, previous = row, row += rowBytes) {
    if (rowBytes == 0 || std::memcmp(row, previous, rowBytes) == 0) {
      *n++ = 0;
    } else {
      uint8_t* groupMap = n++;
      *groupMap = 0;
      for (uint32_t g = 0; g * 64 < rowBytes; ++g) {
        uint8_t* blockMap = n++;
        *blockMap = 0;
        for (uint32_t k = 0, u = g * 64; k < 8 && u < rowBytes; ++k, u += 8) {
          const uint32_t count = rowBytes - u < 8 ? rowBytes - u : 8;
          const uint64_t difference = loadBlock(row + u, count) ^ loadBlock(previous + u, count);
          if (difference == 0) continue;
          *blockMap |= static_cast<uint8_t>(0x80 >> k);
          *n++ = byteMap(difference);
          for (uint32_t p = 0; p < 8; ++p) {
            const uint8_t byte = static_cast<uint8_t>(difference >> (8 * p));
            *n = byte;
            n += byte != 0;
          }
        }
        if (*blockMap != 0) {
          *groupMap |= static_cast<uint8_t>(0x80 >> g);
        } else {
          --n;
        }
      }
    }
    if (static_cast<size_t>(n - begin - 2) >= kSkarnMaxLength) {
      throw BitmapException("Unable to compress bitmap to under maximum size of 65536 bytes");
    }
  }
  const size_t length = static_cast<size_t>(n - begin - 2);
  out[0] = static_cast<uint8_t>(length >> 8);
  out[1] = static_cast<uint8_t>(length);
  out.resize(length + 2);
  return out;
}

}  // namespace Tesselin
