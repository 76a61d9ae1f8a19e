#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <istream>

#include "compression/bit_reader.h"
#include "compression/huffman_table.h"

namespace Marrowbright {

// Bit input least significant bit first, with Huffman code reading, as Deflate packs its data.
// The inline members are the decoder's hot path: `refill` tops up a 64-bit buffer (eight bytes
// at a time when the block buffer allows), `peek`/`consume` take bits from it.
class DeflateStreamBitReader final : public StreamBitReader {
 public:
  explicit DeflateStreamBitReader(std::istream& in) : StreamBitReader(in) {}

  std::uint32_t readBits(unsigned count) override;
  bool tryReadBits(unsigned count, std::uint32_t& value) override;
  void alignToByte() override {
    bits_ >>= bitCount_ % 8;
    bitCount_ -= bitCount_ % 8;
  }
  bool isAligned() const override { return bitCount_ % 8 == 0; }
  std::size_t readBytes(std::span<std::uint8_t> out) override;
  bool atEnd() override;
  void releaseUnusedInput() override;

  void refill() {
    if (bitCount_ > 56) return;
    if (source_.buffered() >= 8) {
      std::uint64_t word;
      std::memcpy(&word, source_.data(), 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      bits_ |= word << bitCount_;
      const unsigned taken = (63 - bitCount_) / 8;
      source_.skip(taken);
      bitCount_ += taken * 8;
      return;
    }
    std::uint8_t byte = 0;
    while (bitCount_ <= 56 && source_.next(byte)) {
      bits_ |= std::uint64_t{byte} << bitCount_;
      bitCount_ += 8;
    }
  }

  unsigned bitCount() const { return bitCount_; }
  std::uint64_t peek() const { return bits_; }
  void consume(unsigned count) {
    bits_ >>= count;
    bitCount_ -= count;
  }

  // Decodes one symbol. Returns -1 at the end of the stream and -2 for a bit sequence that is
  // no code of the table.
  int decode(const HuffmanTable& table) {
    if (bitCount_ < HuffmanTable::kMaxBits) refill();
    const std::uint16_t entry = table.fastEntry(bits_);
    if (entry != 0) {
      const unsigned length = entry & 15u;
      if (length > bitCount_) return -1;
      consume(length);
      return entry >> 4;
    }
    unsigned length = 0;
    const int symbol = table.decodeSlow(bits_, bitCount_, length);
    if (symbol >= 0) consume(length);
    return symbol;
  }

  // The bit buffer for a decoder's inner loop, which keeps it in locals and hands it back.
  void exportBits(std::uint64_t& bits, unsigned& count) const {
    bits = bits_;
    count = bitCount_;
  }
  void importBits(std::uint64_t bits, unsigned count) {
    bits_ = bits;
    bitCount_ = count;
  }
  ByteSource& source() { return source_; }

  // Decodes one symbol, throwing on the end of the stream or an unknown bit sequence.
  unsigned readHuffman(const HuffmanTable& table);

 private:
  std::uint64_t bits_ = 0;  // the low bitCount_ bits are pending, next bit lowest
  unsigned bitCount_ = 0;
};

}  // namespace Marrowbright
