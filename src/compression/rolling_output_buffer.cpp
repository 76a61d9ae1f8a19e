#include "compression/rolling_output_buffer.h"

#include <algorithm>
#include <cstring>

#include "compression/exceptions.h"

namespace Marrowbright {

// The buffer holds two windows plus one longest copy: when the write position passes two
// windows, everything is written out and the last window moves to the front.
RollingOutputBuffer::RollingOutputBuffer(std::ostream& out, std::size_t capacity,
                                         std::uint64_t limit)
    : out_(out),
      capacity_(capacity),
      limit_(limit),
      buffer_(2 * capacity + kMaxCopy + kSlack),
      flushAt_(2 * capacity) {}

void RollingOutputBuffer::throwDistanceError() {
  throw RollingOutputBufferException("Backwards distance exceeds available bytes");
}

void RollingOutputBuffer::put(const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const std::size_t n = std::min(count, flushAt_ - pos_);
    std::memcpy(buffer_.data() + pos_, bytes, n);
    pos_ += n;
    bytes += n;
    count -= n;
    if (pos_ >= flushAt_) slide();
  }
}

std::uint8_t RollingOutputBuffer::at(std::size_t offset) const {
  const std::size_t held = available();
  if (offset >= held || held > pos_) {
    throw RollingOutputBufferException(
        "Internal inconsistency: first byte offset exceeds existing data count");
  }
  return buffer_[pos_ - held + offset];
}

void RollingOutputBuffer::write(std::size_t from, std::size_t to) {
  if (to <= from || emitted_ >= limit_) return;
  const std::uint64_t room = limit_ - emitted_;
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, room));
  out_.write(reinterpret_cast<const char*>(buffer_.data() + from),
             static_cast<std::streamsize>(count));
  emitted_ += count;
}

void RollingOutputBuffer::slide() {
  write(written_, pos_);
  const std::size_t keep = std::min(pos_, capacity_);
  std::memmove(buffer_.data(), buffer_.data() + pos_ - keep, keep);
  base_ += pos_ - keep;
  pos_ = keep;
  written_ = keep;
}

void RollingOutputBuffer::flush() {
  write(written_, pos_);
  written_ = pos_;
  out_.flush();
}

}  // namespace Marrowbright
