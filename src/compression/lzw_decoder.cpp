// LZW decoding (TIFF 6.0 scheme). Codes are packed most significant bit first, starting at
// 9 bits. Codes 0-255 are single bytes, 256 clears the table (width back to 9, next code
// 258), 257 ends the data. Every code after the first following a clear adds one entry:
// the previous code's string plus the first byte of the current one. The width grows when
// next code plus the variant flag reaches a power of two, up to 12 bits.
#include <array>
#include <iostream>
#include <vector>

#include "compression/bit_reader.h"
#include "compression/exceptions.h"
#include "compression/lzw_compression.h"

namespace Marrowbright {

namespace {

// Collects decoded bytes and writes them in large blocks, never more than the limit.
class LimitedOutput {
 public:
  LimitedOutput(std::ostream& out, std::uint64_t limit) : out_(out), limit_(limit) {
    pending_.reserve(kBlock + LZWCompression::kTableSize);
  }
  bool full() const { return total_ >= limit_; }
  // Room for `count` bytes at the end; returns where they go.
  std::uint8_t* extend(std::size_t count) {
    const std::size_t at = pending_.size();
    pending_.resize(at + count);
    total_ += count;
    return pending_.data() + at;
  }
  void maybeDrain() {
    if (pending_.size() >= kBlock) drain();
  }
  void drain() {
    std::size_t count = pending_.size();
    if (total_ > limit_) count -= static_cast<std::size_t>(total_ - limit_), total_ = limit_;
    out_.write(reinterpret_cast<const char*>(pending_.data()), static_cast<std::streamsize>(count));
    pending_.clear();
    if (!out_) throw IOException("Unable to write decompressed data");
  }

 private:
  static constexpr std::size_t kBlock = 65536;
  std::ostream& out_;
  std::uint64_t limit_;
  std::uint64_t total_ = 0;
  std::vector<std::uint8_t> pending_;
};

}  // namespace

void LZWCompression::decompress(std::istream& in, std::ostream& out) {
  std::array<std::uint16_t, kTableSize> prefix{};
  std::array<std::uint8_t, kTableSize> suffix{};
  std::array<std::uint16_t, kTableSize> length{};
  std::array<std::uint8_t, kTableSize> first{};
  for (unsigned i = 0; i < 256; ++i) {
    suffix[i] = first[i] = static_cast<std::uint8_t>(i);
    length[i] = 1;
  }

  StreamBitReader bits(in);
  LimitedOutput output(out, outputLimit_);
  unsigned width = kMinWidth;
  unsigned next = kFirstCode;
  int previous = -1;
  bool ended = false;
  while (!output.full()) {
    std::uint32_t code = 0;
    if (!bits.tryReadBits(width, code))
      throw DecompressionException("Unexpected end of LZW stream");
    if (code == kClearCode) {
      width = kMinWidth;
      next = kFirstCode;
      previous = -1;
      continue;
    }
    if (code == kEndCode) {
      ended = true;
      break;
    }
    if (previous < 0) {
      // The first code after a clear (or at the start) must be a single byte.
      if (code > 255) throw DecompressionException("LZW code is invalid");
      *output.extend(1) = static_cast<std::uint8_t>(code);
      previous = static_cast<int>(code);
      continue;
    }
    if (code > next) throw DecompressionException("LZW code is too large!");
    if (next >= kTableSize) throw DecompressionException("LZW table is full!");

    // Add the new entry first: for code == next it is the string being decoded.
    const auto prev = static_cast<unsigned>(previous);
    prefix[next] = static_cast<std::uint16_t>(prev);
    first[next] = first[prev];
    suffix[next] = code == next ? first[prev] : first[code];
    length[next] = static_cast<std::uint16_t>(length[prev] + 1);
    ++next;
    if (next + variant_ >= (1u << width) && width < kMaxWidth) ++width;

    const unsigned count = length[code];
    if (count == 0 || count > kTableSize) {
      throw DecompressionException("Internal inconsistency in LZW decompression");
    }
    std::uint8_t* to = output.extend(count);
    unsigned walk = code;
    for (unsigned i = count; i-- > 0;) {
      to[i] = suffix[walk];
      walk = prefix[walk];
    }
    output.maybeDrain();
    previous = static_cast<int>(code);
  }
  output.drain();
  if (ended) {
    bits.alignToByte();
    if (!bits.atEnd()) std::cerr << "Warning, not all data read" << std::endl;
  }
  bits.releaseUnusedInput();
}

}  // namespace Marrowbright
