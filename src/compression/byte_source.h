#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>

namespace Marrowbright {

// Buffered byte input from a stream's buffer, for the bit readers. Reads ahead in blocks;
// `releaseUnused` hands the bytes read ahead but not used back to a seekable stream so that
// the stream is left just after the data a codec consumed.
class ByteSource {
 public:
  explicit ByteSource(std::istream& in) : in_(in) {}
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  bool next(std::uint8_t& byte) {
    if (pos_ == end_ && !refill()) return false;
    byte = buffer_[pos_++];
    return true;
  }

  // Bytes buffered and not yet taken.
  std::size_t buffered() const { return end_ - pos_; }
  const std::uint8_t* data() const { return buffer_.data() + pos_; }
  void skip(std::size_t count) { pos_ += count; }

  // Fills the buffer when it is empty; false at the end of the stream.
  bool refill();

  // Reads up to `count` bytes into `out`, returning how many were read.
  std::size_t read(std::uint8_t* out, std::size_t count);

  // Total bytes taken by the codec so far, minus `unusedBits` / 8 whole bytes still pending.
  std::uint64_t consumed() const { return fetched_ - (end_ - pos_); }

  // Returns `extra` already-taken bytes plus everything buffered to the stream, when it can seek.
  void releaseUnused(std::size_t extra);

 private:
  std::istream& in_;
  std::array<std::uint8_t, 4096> buffer_{};
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t fetched_ = 0;
  bool ended_ = false;
};

}  // namespace Marrowbright
