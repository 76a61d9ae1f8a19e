#include "compression/deflate_bit_reader.h"

#include <stdexcept>

#include "compression/exceptions.h"

namespace Marrowbright {

bool DeflateStreamBitReader::tryReadBits(unsigned count, std::uint32_t& value) {
  if (count > 32) throw std::out_of_range("count too large");
  if (bitCount_ < count) {
    refill();
    if (bitCount_ < count) return false;
  }
  value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << count) - 1));
  consume(count);
  return true;
}

std::uint32_t DeflateStreamBitReader::readBits(unsigned count) {
  std::uint32_t value = 0;
  if (!tryReadBits(count, value)) {
    throw DecompressionException("Unexpected end of stream encountered while reading bit sequence");
  }
  return value;
}

std::size_t DeflateStreamBitReader::readBytes(std::span<std::uint8_t> out) {
  if (!isAligned()) throw IOException("Not aligned at byte boundary");
  std::size_t done = 0;
  while (done < out.size() && bitCount_ >= 8) {
    out[done++] = static_cast<std::uint8_t>(bits_);
    consume(8);
  }
  if (done == out.size()) return done;
  // Bits above bitCount_ mirror bytes the source still holds; they are taken directly now.
  bits_ = 0;
  return done + source_.read(out.data() + done, out.size() - done);
}

bool DeflateStreamBitReader::atEnd() {
  if (bitCount_ == 0) refill();
  return bitCount_ == 0;
}

void DeflateStreamBitReader::releaseUnusedInput() {
  const std::size_t whole = bitCount_ / 8;
  consume(whole * 8);
  source_.releaseUnused(whole);
}

unsigned DeflateStreamBitReader::readHuffman(const HuffmanTable& table) {
  const int symbol = decode(table);
  if (symbol == -1) {
    throw DecompressionException("Unexpected end of stream encountered while reading Huffman code");
  }
  if (symbol < 0) throw DecompressionException("bit sequence has reached maximum length");
  return static_cast<unsigned>(symbol);
}

}  // namespace Marrowbright
