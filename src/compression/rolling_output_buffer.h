#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "compression/codec.h"

namespace Marrowbright {

// A window of the most recent output in front of an output stream, so that back-references
// (distance, length) can be copied from it. Bytes go to the stream in large blocks; the last
// `capacity` bytes always stay available. At most `limit` bytes reach the stream.
class RollingOutputBuffer {
 public:
  static constexpr std::size_t kMaxCopy = 258;
  // Room past the longest copy, so that copies may move whole 8-byte words.
  static constexpr std::size_t kSlack = 8;

  RollingOutputBuffer(std::ostream& out, std::size_t capacity,
                      std::uint64_t limit = kUnlimitedOutput);
  RollingOutputBuffer(const RollingOutputBuffer&) = delete;
  RollingOutputBuffer& operator=(const RollingOutputBuffer&) = delete;

  void put(std::uint8_t byte) {
    buffer_[pos_++] = byte;
    if (pos_ >= flushAt_) slide();
  }

  void put(const std::uint8_t* bytes, std::size_t count);

  // Appends `length` (at most kMaxCopy) bytes starting `distance` bytes back.
  void copy(std::size_t distance, std::size_t length) {
    if (distance == 0 || distance > available()) {
      throwDistanceError();
    }
    std::uint8_t* to = buffer_.data() + pos_;
    const std::uint8_t* from = to - distance;
    // Byte by byte on purpose: a distance shorter than the length repeats the last bytes.
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
    pos_ += length;
    if (pos_ >= flushAt_) slide();
  }

  // The byte `offset` positions after the oldest byte still held.
  std::uint8_t at(std::size_t offset) const;

  // Bytes that a back-reference may reach.
  std::size_t available() const {
    const std::uint64_t held = total();
    return held < capacity_ ? static_cast<std::size_t>(held) : capacity_;
  }

  // Bytes produced so far, written or not.
  std::uint64_t total() const { return base_ + pos_; }
  bool limitReached() const { return total() >= limit_; }

  // Writes everything still held to the stream (up to the limit).
  void flush();

  // Direct access for a decoder's inner loop, which keeps the write position in a local:
  // bytes go to data()[position], at most kMaxCopy past flushPoint(); once the position
  // reaches flushPoint() it is handed back with setPosition() and slide() makes room.
  std::uint8_t* data() { return buffer_.data(); }
  std::size_t position() const { return pos_; }
  void setPosition(std::size_t position) { pos_ = position; }
  std::size_t flushPoint() const { return flushAt_; }
  // Position at which the output limit is reached (past the buffer when it is far away).
  std::size_t limitPosition() const {
    return limit_ - base_ > buffer_.size() ? buffer_.size() + 1
                                           : static_cast<std::size_t>(limit_ - base_);
  }
  void slide();
  // Throws unless a back-reference of `distance` from write position `position` is in reach.
  void checkDistance(std::size_t distance, std::size_t position) const {
    const std::uint64_t held = base_ + position;
    if (distance == 0 || distance > held || distance > capacity_) throwDistanceError();
  }

 private:
  [[noreturn]] static void throwDistanceError();

  void write(std::size_t from, std::size_t to);

  std::ostream& out_;
  std::size_t capacity_;
  std::uint64_t limit_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;        // next free byte in buffer_
  std::size_t written_ = 0;    // buffer_[0, written_) is already in the stream
  std::uint64_t base_ = 0;     // bytes produced before buffer_[0]
  std::uint64_t emitted_ = 0;  // bytes that reached the stream
  std::size_t flushAt_;
};

}  // namespace Marrowbright
