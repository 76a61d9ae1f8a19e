#include "compression/huffman_table.h"

#include "compression/exceptions.h"

namespace Marrowbright {

namespace {

unsigned reverseBits(unsigned code, unsigned length) {
  unsigned reversed = 0;
  for (unsigned i = 0; i < length; ++i) {
    reversed = (reversed << 1) | (code & 1);
    code >>= 1;
  }
  return reversed;
}

}  // namespace

HuffmanTable::HuffmanTable(std::span<const std::uint8_t> lengths, Kind kind) {
  if (lengths.size() > kMaxSymbols) throw DecompressionException("Invalid Huffman code lengths");
  for (std::uint8_t length : lengths) {
    if (length > kMaxBits) throw DecompressionException("Invalid Huffman code lengths");
    ++count_[length];
  }
  count_[0] = 0;
  unsigned maxLength = 0;
  int left = 1;
  for (unsigned length = 1; length <= kMaxBits; ++length) {
    left = left * 2 - count_[length];
    if (left < 0) throw DecompressionException("Invalid Huffman code lengths");
    if (count_[length] != 0) maxLength = length;
  }
  // An empty code is accepted; every decode from it then fails. An incomplete code is only
  // accepted as the one-code case that encoders emit for a single distance.
  if (maxLength != 0 && left > 0 && (kind == Kind::CodeLengths || maxLength != 1)) {
    throw DecompressionException("Invalid Huffman code lengths");
  }

  std::array<std::uint16_t, kMaxBits + 2> offsets{};
  for (unsigned length = 1; length <= kMaxBits; ++length) {
    offsets[length + 1] = static_cast<std::uint16_t>(offsets[length] + count_[length]);
  }
  for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0)
      symbols_[offsets[lengths[symbol]]++] = static_cast<std::uint16_t>(symbol);
  }

  // Canonical codes in order of (length, symbol); fill the fast table for the short ones.
  unsigned code = 0;
  unsigned index = 0;
  for (unsigned length = 1; length <= kFastBits; ++length) {
    for (unsigned i = 0; i < count_[length]; ++i, ++index, ++code) {
      const unsigned reversed = reverseBits(code, length);
      const auto entry = static_cast<std::uint16_t>(symbols_[index] << 4 | length);
      for (unsigned fill = reversed; fill < (1u << kFastBits); fill += 1u << length) {
        fast_[fill] = entry;
      }
    }
    code <<= 1;
  }
}

int HuffmanTable::decodeSlow(std::uint64_t bits, unsigned available, unsigned& length) const {
  int code = 0;
  int first = 0;
  int index = 0;
  for (unsigned len = 1; len <= kMaxBits; ++len) {
    if (len > available) return -1;
    code |= static_cast<int>(bits & 1);
    bits >>= 1;
    const int count = count_[len];
    if (code - count < first) {
      length = len;
      return symbols_[index + (code - first)];
    }
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return -2;
}

}  // namespace Marrowbright
