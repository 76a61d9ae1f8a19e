#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>

namespace Marrowbright {

// Bit output to a byte stream.
class IBitWriter {
 public:
  virtual ~IBitWriter() = default;
  // Writes the low `count` (at most 32) bits of `value`.
  virtual void writeBits(std::uint32_t value, unsigned count) = 0;
  // Pads the last byte with zero bits and hands everything to the stream.
  virtual void flush() = 0;
};

// Bit output most significant bit first, as LZW codes are packed.
class StreamBitWriter : public IBitWriter {
 public:
  explicit StreamBitWriter(std::ostream& out) : out_(out) {}
  ~StreamBitWriter() override = default;
  StreamBitWriter(const StreamBitWriter&) = delete;
  StreamBitWriter& operator=(const StreamBitWriter&) = delete;

  void writeBits(std::uint32_t value, unsigned count) override;
  void flush() override;

 private:
  void drain();

  std::ostream& out_;
  std::uint64_t bits_ = 0;  // the low bitCount_ bits are pending, first bit highest
  unsigned bitCount_ = 0;
  std::array<std::uint8_t, 4096> buffer_{};
  std::size_t used_ = 0;
};

}  // namespace Marrowbright
