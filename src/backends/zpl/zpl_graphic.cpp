// ~DG<name>,<total bytes>,<bytes per row>,\n followed by the graphic data in one of three forms:
//   None  two upper-case hexadecimal digits a byte, high nibble first, rows one after the
//         other; a line feed after every 40th byte unless it starts or ends its row.
//   Hex   the same digits without line feeds, shortened row by row: a digit repeated n times
//         is written as a count and the digit once, the count being one of g..z (20, 40 ... 400)
//         and/or one of G..Y (1 ... 19), so at most 419 a count; "," ends the row with zeros,
//         "!" ends it with F digits, and ":" alone stands for a copy of the row before.
//   Z64   see zpl_z64.cpp.
// A graphic without rows has no data in any form.
#include "backends/zpl/zpl_graphic.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "backends/zpl/zpl_z64.h"

namespace Quillfeather {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr size_t kMaxRepeat = 419;

constexpr std::array<std::array<char, 2>, 256> makeHexTable() {
  std::array<std::array<char, 2>, 256> table{};
  for (size_t i = 0; i < 256; ++i) table[i] = {kDigits[i >> 4], kDigits[i & 15]};
  return table;
}
constexpr auto kHex = makeHexTable();

void appendPlainHex(std::string& out, std::span<const uint8_t> rows, size_t width) {
  const size_t start = out.size();
  out.resize(start + rows.size() * 2 + rows.size() / 40 + 1);
  char* p = out.data() + start;
  size_t untilBreak = 1;  // the running index 0 is a multiple of 40
  for (size_t offset = 0; offset < rows.size(); offset += width) {
    const uint8_t* row = rows.data() + offset;
    for (size_t x = 0; x < width; ++x) {
      std::memcpy(p, kHex[row[x]].data(), 2);
      p += 2;
      if (--untilBreak == 0) {
        untilBreak = 40;
        if (x != 0 && x + 1 != width) *p++ = '\n';
      }
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

// `count` copies of the digit: plain up to two, with repeat counts beyond.
char* putRun(char* p, char digit, size_t count) {
  while (count > 2) {
    const size_t chunk = std::min(count, kMaxRepeat);
    if (chunk >= 20) *p++ = static_cast<char>('f' + chunk / 20);
    if (chunk % 20 != 0) *p++ = static_cast<char>('F' + chunk % 20);
    *p++ = digit;
    count -= chunk;
  }
  for (; count > 0; --count) *p++ = digit;
  return p;
}

uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The first byte index in [from, to) whose value is not `fill`; whole words at a time.
size_t skipBytes(const uint8_t* row, size_t from, size_t to, uint8_t fill) {
  const uint64_t pattern = fill * uint64_t{0x0101010101010101};
  while (from + 8 <= to && load64(row + from) == pattern) from += 8;
  while (from < to && row[from] == fill) ++from;
  return from;
}

// True when the two digits of `b` are equal (00, 11 ... FF). Three equal digits in a row always
// cover a whole byte, so every run worth a repeat count holds at least one such byte.
bool hasEqualDigits(uint8_t b) { return (b >> 4) == (b & 15); }

// Whether any of the eight bytes of `v` has equal digits: the XOR of its two digits is 0.
bool anyEqualDigits(uint64_t v) {
  constexpr uint64_t kLow = 0x0101010101010101;
  const uint64_t diff = (v ^ (v >> 4)) & (kLow * 0x0F);
  return ((diff - kLow) & (kLow * 0x80)) != 0;
}

// Writes the digits of the bytes from `from` on, up to `to` or the first byte with equal digits,
// whose index it returns. Runs in these digits are at most two long, so they go out as they are.
size_t putPlainBytes(char*& p, const uint8_t* row, size_t from, size_t to) {
  while (from + 8 <= to && !anyEqualDigits(load64(row + from))) {
    for (size_t k = 0; k < 8; ++k) std::memcpy(p + 2 * k, kHex[row[from + k]].data(), 2);
    p += 16;
    from += 8;
  }
  while (from < to && !hasEqualDigits(row[from])) {
    std::memcpy(p, kHex[row[from]].data(), 2);
    p += 2;
    ++from;
  }
  return from;
}

// One row of `width` bytes in the shortened form: at most 2 x width + 1 characters.
char* putCompressedRow(char* p, const uint8_t* row, size_t width) {
  const auto nibble = [row](size_t i) {
    return (i & 1) != 0 ? row[i >> 1] & 15 : row[i >> 1] >> 4;
  };
  // The digits up to `end`; the run of 0 or F digits behind it becomes "," or "!".
  size_t end = width * 2;
  const int last = row[width - 1] & 15;
  if (last == 0 || last == 15) {
    const uint8_t fill = last == 0 ? 0x00 : 0xFF;
    size_t k = width;
    while (k >= 8 && load64(row + k - 8) == fill * uint64_t{0x0101010101010101}) k -= 8;
    while (k > 0 && row[k - 1] == fill) --k;
    end = (k > 0 && (row[k - 1] & 15) == last) ? 2 * k - 1 : 2 * k;
  }
  const size_t fullBytes = end / 2;  // bytes whose two digits both lie before `end`
  size_t done = 0;                   // digits written
  while (done < end) {
    if ((done & 1) != 0 || done / 2 == fullBytes) {
      // A lone digit: the second one of a byte whose first ended a run, or the first one of the
      // byte that `end` cuts in two. It joins a run only through the byte after it, below.
      *p++ = kDigits[nibble(done)];
      ++done;
      continue;
    }
    const size_t k = putPlainBytes(p, row, done / 2, fullBytes);
    done = 2 * k;
    if (k == fullBytes) continue;
    // Byte k has equal digits: its run takes in the second digit of the byte before when that
    // is the same (then written alone just now), the bytes equal to it, and the first digit of
    // the byte after when that is the same too.
    const int digit = row[k] & 15;
    size_t start = done;
    if (k > 0 && (row[k - 1] & 15) == digit) {
      --p;
      --start;
    }
    size_t stop = 2 * skipBytes(row, k + 1, fullBytes, row[k]);
    if (stop < end && nibble(stop) == digit) ++stop;
    p = putRun(p, kDigits[digit], stop - start);
    done = stop;
  }
  if (end < width * 2) *p++ = last == 0 ? ',' : '!';
  return p;
}

void appendCompressedHex(std::string& out, std::span<const uint8_t> rows, size_t width) {
  const size_t start = out.size();
  out.resize(start + rows.size() * 2 + rows.size() / width);
  char* p = out.data() + start;
  const uint8_t* previous = nullptr;
  for (size_t offset = 0; offset < rows.size(); offset += width) {
    const uint8_t* row = rows.data() + offset;
    if (previous != nullptr && std::memcmp(row, previous, width) == 0) {
      *p++ = ':';
    } else {
      p = putCompressedRow(p, row, width);
    }
    previous = row;
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace

std::optional<ZplCompression> zplCompressionFromName(std::string_view name) {
  if (name == "None") return ZplCompression::None;
  if (name == "Hex") return ZplCompression::Hex;
  if (name == "Z64") return ZplCompression::Z64;
  return std::nullopt;
}

void appendZplGraphic(std::string& out, std::string_view name, std::span<const uint8_t> rows,
                      size_t bytesPerRow, ZplCompression compression) {
  out += "~DG";
  out += name;
  out += ',';
  out += std::to_string(rows.size());
  out += ',';
  out += std::to_string(bytesPerRow);
  out += ",\n";
  if (rows.empty()) return;
  switch (compression) {
    case ZplCompression::None:
      appendPlainHex(out, rows, bytesPerRow);
      break;
    case ZplCompression::Hex:
      appendCompressedHex(out, rows, bytesPerRow);
      break;
    case ZplCompression::Z64:
      appendZ64(out, rows, bytesPerRow);
      break;
  }
}

}  // namespace Quillfeather
