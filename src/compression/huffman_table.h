#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace Marrowbright {

// Canonical Huffman decoding table for Deflate. Codes of up to kFastBits bits are found with
// one look-up of the next kFastBits input bits (least significant bit first, as Deflate packs
// them); longer codes are walked bit by bit through the per-length counts.
class HuffmanTable {
 public:
  static constexpr unsigned kMaxBits = 15;
  static constexpr unsigned kFastBits = 10;
  static constexpr unsigned kMaxSymbols = 288;

  enum class Kind { CodeLengths, Literals, Distances };

  HuffmanTable() = default;
  // Builds the table; throws DecompressionException for over-subscribed code lengths and for
  // incomplete ones (a single code of length 1 is allowed for literals and distances).
  HuffmanTable(std::span<const std::uint8_t> lengths, Kind kind);

  // Fast entry for the next kFastBits bits: symbol << 4 | code length, or 0 when the code is
  // longer (or not assigned).
  std::uint16_t fastEntry(std::uint64_t bits) const { return fast_[bits & kFastMask]; }
  const std::uint16_t* fastEntries() const { return fast_.data(); }

  // Slow decode of `bits` (at least kMaxBits valid when `available` allows). Returns the symbol
  // and sets `length`; returns -1 when more than `available` bits would be needed and -2 when
  // no code matches.
  int decodeSlow(std::uint64_t bits, unsigned available, unsigned& length) const;

 public:
  static constexpr std::uint64_t kFastMask = (1u << kFastBits) - 1;

 private:
  std::array<std::uint16_t, 1u << kFastBits> fast_{};
  std::array<std::uint16_t, kMaxBits + 1> count_{};
  std::array<std::uint16_t, kMaxSymbols> symbols_{};
};

}  // namespace Marrowbright
