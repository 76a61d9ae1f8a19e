#include "compression/bit_reader.h"

#include <stdexcept>

#include "compression/exceptions.h"

namespace Marrowbright {

void StreamBitReader::fill() {
  std::uint8_t byte = 0;
  while (bitCount_ <= 56 && source_.next(byte)) {
    bits_ = (bits_ << 8) | byte;
    bitCount_ += 8;
  }
}

bool StreamBitReader::tryReadBits(unsigned count, std::uint32_t& value) {
  if (count > 32) throw std::out_of_range("count too large");
  if (count == 0) {
    value = 0;
    return true;
  }
  if (bitCount_ < count) {
    fill();
    if (bitCount_ < count) return false;
  }
  bitCount_ -= count;
  value = static_cast<std::uint32_t>((bits_ >> bitCount_) & ((std::uint64_t{1} << count) - 1));
  return true;
}

std::uint32_t StreamBitReader::readBits(unsigned count) {
  std::uint32_t value = 0;
  if (!tryReadBits(count, value)) throw IOException("Unexpected end of stream");
  return value;
}

std::size_t StreamBitReader::readBytes(std::span<std::uint8_t> out) {
  if (!isAligned()) throw IOException("Not aligned at byte boundary");
  std::size_t done = 0;
  while (done < out.size() && bitCount_ >= 8) {
    bitCount_ -= 8;
    out[done++] = static_cast<std::uint8_t>(bits_ >> bitCount_);
  }
  return done + source_.read(out.data() + done, out.size() - done);
}

bool StreamBitReader::atEnd() {
  if (bitCount_ == 0) fill();
  return bitCount_ == 0;
}

void StreamBitReader::releaseUnusedInput() {
  const std::size_t whole = bitCount_ / 8;
  bitCount_ %= 8;
  source_.releaseUnused(whole);
}

}  // namespace Marrowbright
