#include "compression/bit_writer.h"

#include <stdexcept>

#include "compression/exceptions.h"

namespace Marrowbright {

void StreamBitWriter::writeBits(std::uint32_t value, unsigned count) {
  if (count > 32) throw std::out_of_range("count too large");
  if (count == 0) return;
  bits_ = (bits_ << count) | (value & ((std::uint64_t{1} << count) - 1));
  bitCount_ += count;
  while (bitCount_ >= 8) {
    bitCount_ -= 8;
    buffer_[used_++] = static_cast<std::uint8_t>(bits_ >> bitCount_);
    if (used_ == buffer_.size()) drain();
  }
}

void StreamBitWriter::drain() {
  out_.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(used_));
  used_ = 0;
  if (!out_) throw IOException("Unable to write compressed data");
}

void StreamBitWriter::flush() {
  if (bitCount_ > 0) writeBits(0, 8 - bitCount_);
  drain();
  out_.flush();
}

}  // namespace Marrowbright
