#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>

#include "compression/byte_source.h"

namespace Marrowbright {

// Bit input from a byte stream.
class IBitReader {
 public:
  virtual ~IBitReader() = default;
  // Reads `count` (at most 32) bits; throws when the stream ends first.
  virtual std::uint32_t readBits(unsigned count) = 0;
  // Like readBits, but returns false instead of throwing at the end of the stream.
  virtual bool tryReadBits(unsigned count, std::uint32_t& value) = 0;
  // Drops the bits left in the current byte.
  virtual void alignToByte() = 0;
  virtual bool isAligned() const = 0;
  // Reads whole bytes; the reader must be at a byte boundary. Returns the count read.
  virtual std::size_t readBytes(std::span<std::uint8_t> out) = 0;
  // True when no further bit can be read.
  virtual bool atEnd() = 0;
  // Gives the whole bytes read ahead but not used back to a seekable stream.
  virtual void releaseUnusedInput() = 0;
};

// Bit input most significant bit first, as LZW codes are packed.
class StreamBitReader : public IBitReader {
 public:
  explicit StreamBitReader(std::istream& in) : source_(in) {}

  std::uint32_t readBits(unsigned count) override;
  bool tryReadBits(unsigned count, std::uint32_t& value) override;
  void alignToByte() override { bitCount_ -= bitCount_ % 8; }
  bool isAligned() const override { return bitCount_ % 8 == 0; }
  std::size_t readBytes(std::span<std::uint8_t> out) override;
  bool atEnd() override;
  void releaseUnusedInput() override;

 protected:
  ByteSource source_;

 private:
  void fill();

  std::uint64_t bits_ = 0;  // the low bitCount_ bits are pending, next bit highest
  unsigned bitCount_ = 0;
};

}  // namespace Marrowbright
