// Deflate for page bitmaps. A label page is mostly white rows, black or grey areas where one
// byte repeats along the row, and bars or text whose rows repeat the row above. Looking only for
// those two repeats (distance 1 and distance one row) at each position, a word of bytes compared
// at a time, packs a 4 x 6 inch label at 300 dpi to about a sixteenth of its bytes. zlib's
// general matcher packs it to a twentieth (level 1) or a thirtieth (level 6), but takes four and
// twelve times as long; its run-only strategy (Z_RLE) is slower than level 1 and packs far worse.
//
// The stream is a zlib header, one final block with the fixed Huffman codes, and the Adler-32.
#include "backends/zpl/zpl_deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace Quillfeather {
namespace {

constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 258;
constexpr size_t kWindow = 32768;

// A Huffman code with its extra bits, ready to write: `count` bits of `bits`, first bit lowest.
struct Code {
  uint32_t bits = 0;
  uint32_t count = 0;
};

// Deflate sends Huffman codes from their highest bit on, everything else lowest bit first.
constexpr uint32_t reversed(uint32_t code, uint32_t length) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < length; ++i) out |= ((code >> i) & 1) << (length - 1 - i);
  return out;
}

// The fixed code of a literal/length symbol (0 ... 287).
constexpr Code fixedCode(uint32_t symbol) {
  if (symbol < 144) return {reversed(0x30 + symbol, 8), 8};
  if (symbol < 256) return {reversed(0x190 + symbol - 144, 9), 9};
  if (symbol < 280) return {reversed(symbol - 256, 7), 7};
  return {reversed(0xC0 + symbol - 280, 8), 8};
}

constexpr Code withExtra(Code code, uint32_t extra, uint32_t extraBits) {
  return {code.bits | extra << code.count, code.count + extraBits};
}

constexpr auto kLiterals = [] {
  std::array<Code, 256> table{};
  for (uint32_t b = 0; b < 256; ++b) table[b] = fixedCode(b);
  return table;
}();

// Length symbol and extra bits of every match length 3 ... 258.
constexpr auto kLengths = [] {
  std::array<Code, kMaxMatch + 1> table{};
  uint32_t symbol = 257, base = 3, extraBits = 0;
  for (uint32_t length = 3; length < kMaxMatch; ++length) {
    if (symbol < 284 && length >= base + (1u << extraBits)) {
      base += 1u << extraBits;
      ++symbol;
      if (symbol >= 265 && (symbol - 261) % 4 == 0) ++extraBits;
    }
    table[length] = withExtra(fixedCode(symbol), length - base, extraBits);
  }
  table[kMaxMatch] = fixedCode(285);
  return table;
}();

// Distance code (five bits) and extra bits of a distance 1 ... 32768.
Code distanceCode(uint32_t distance) {
  if (distance <= 4) return {reversed(distance - 1, 5), 5};
  const uint32_t extraBits = static_cast<uint32_t>(std::bit_width(distance - 1)) - 2;
  const uint32_t half = ((distance - 1) >> extraBits) & 1;
  const uint32_t symbol = 2 * extraBits + 2 + half;
  const uint32_t base = ((2 + half) << extraBits) + 1;
  return withExtra({reversed(symbol, 5), 5}, distance - base, extraBits);
}

// Bits lowest first into memory the caller has made room for, four bytes at a time.
class BitSink {
 public:
  explicit BitSink(uint8_t* out) : start_(out), next_(out) {}

  // At most 32 bits a call.
  void put(Code code) {
    pending_ |= uint64_t{code.bits} << count_;
    count_ += code.count;
    if (count_ >= 32) {
      const auto word = static_cast<uint32_t>(pending_);
      for (int i = 0; i < 4; ++i) next_[i] = static_cast<uint8_t>(word >> (8 * i));
      next_ += 4;
      pending_ >>= 32;
      count_ -= 32;
    }
  }

  // Pads the last byte with zero bits; returns the number of bytes written.
  size_t finish() {
    for (; count_ > 0; count_ = count_ > 8 ? count_ - 8 : 0) {
      *next_++ = static_cast<uint8_t>(pending_);
      pending_ >>= 8;
    }
    return static_cast<size_t>(next_ - start_);
  }

 private:
  uint8_t* start_;
  uint8_t* next_;
  uint64_t pending_ = 0;
  uint32_t count_ = 0;
};

uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// How many bytes from `at` on (up to `end`) equal the byte `distance` before them.
size_t matchLength(const uint8_t* data, size_t at, size_t distance, size_t end) {
  size_t length = 0;
  while (at + length + 8 <= end) {
    const uint64_t diff = load64(data + at + length) ^ load64(data + at + length - distance);
    if (diff != 0) return length + static_cast<size_t>(std::countr_zero(diff)) / 8;
    length += 8;
  }
  while (at + length < end && data[at + length] == data[at + length - distance]) ++length;
  return length;
}

// A match of `length` (at least 3) bytes in pieces of at most 258, none shorter than 3.
void putMatch(BitSink& sink, size_t length, Code distance) {
  while (length > 0) {
    size_t piece = length;
    if (piece > kMaxMatch) piece = length - kMaxMatch < kMinMatch ? length - kMinMatch : kMaxMatch;
    sink.put(kLengths[piece]);
    sink.put(distance);
    length -= piece;
  }
}

void putBlock(BitSink& sink, std::span<const uint8_t> bytes, size_t bytesPerRow) {
  sink.put({0b011, 3});  // the final block, fixed codes
  const uint8_t* data = bytes.data();
  const size_t end = bytes.size();
  const bool rowMatches = bytesPerRow > 1 && bytesPerRow <= kWindow;
  const Code oneBack = distanceCode(1);
  const Code rowBack = rowMatches ? distanceCode(static_cast<uint32_t>(bytesPerRow)) : oneBack;
  for (size_t at = 0; at < end;) {
    const size_t run = at >= 1 ? matchLength(data, at, 1, end) : 0;
    const size_t above =
        rowMatches && at >= bytesPerRow ? matchLength(data, at, bytesPerRow, end) : 0;
    if (run >= kMinMatch && run >= above) {
      putMatch(sink, run, oneBack);
      at += run;
    } else if (above >= kMinMatch) {
      putMatch(sink, above, rowBack);
      at += above;
    } else {
      sink.put(kLiterals[data[at]]);
      ++at;
    }
  }
  sink.put(fixedCode(256));  // end of block
}

// Adler-32 of `bytes`, the check zlib data ends with.
uint32_t adler32Of(std::span<const uint8_t> bytes) {
  constexpr uint32_t kBase = 65521;
  constexpr size_t kMaxSpan = 5552;  // the most bytes whose sums cannot overflow 32 bits
  constexpr uint64_t kLanes = 0x0001000100010001;
  constexpr uint64_t kEven = 0x00FF00FF00FF00FF;
  uint32_t a = 1, b = 0;
  const uint8_t* p = bytes.data();
  for (size_t left = bytes.size(); left > 0;) {
    const size_t span = std::min(left, kMaxSpan);
    size_t i = 0;
    // Eight bytes x0 ... x7 add their sum to a, and 8a + 8 x0 + 7 x1 + ... + x7 to b. The sums
    // come from the bytes spread over four 16-bit lanes and multiplied together in the top lane.
    for (; i + 8 <= span; i += 8) {
      const uint64_t word = load64(p + i);
      const uint64_t even = word & kEven, odd = (word >> 8) & kEven;
      const auto sum = static_cast<uint32_t>(((even + odd) * kLanes) >> 48);
      const auto weighted = static_cast<uint32_t>(((even * 0x0008000600040002) >> 48) +
                                                  ((odd * 0x0007000500030001) >> 48));
      b += 8 * a + weighted;
      a += sum;
    }
    for (; i < span; ++i) b += a += p[i];
    a %= kBase;
    b %= kBase;
    p += span;
    left -= span;
  }
  return b << 16 | a;
}

}  // namespace

size_t deflateBitmap(std::span<const uint8_t> bytes, size_t bytesPerRow,
                     std::vector<uint8_t>& out) {
  // Nine bits for each literal at worst, and a few bytes of header, block end and trailer. The
  // buffer only grows, so that pages after the first write into memory already there.
  const size_t bound = bytes.size() + bytes.size() / 8 + 16;
  if (out.size() < bound) out.resize(bound);
  out[0] = 0x78;  // Deflate, 32 KiB window
  out[1] = 0x01;  // no dictionary, and the header check
  BitSink sink(out.data() + 2);
  putBlock(sink, bytes, bytesPerRow);
  size_t size = 2 + sink.finish();
  const uint32_t check = adler32Of(bytes);
  for (int shift = 24; shift >= 0; shift -= 8) out[size++] = static_cast<uint8_t>(check >> shift);
  return size;
}

}  // namespace Quillfeather
