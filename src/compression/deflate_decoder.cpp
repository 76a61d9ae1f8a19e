// Deflate decoding (RFC 1951). A raw stream is a series of blocks, bits packed least
// significant first. Each block starts with BFINAL (1 bit) and BTYPE (2 bits):
//   0 stored:  skip to a byte boundary, LEN and NLEN (16 bits each, NLEN = ~LEN), LEN bytes;
//   1 fixed:   literal/length and distance codes from the fixed tables;
//   2 dynamic: HLIT (5 bits, + 257), HDIST (5, + 1), HCLEN (4, + 4), HCLEN 3-bit lengths of
//              the code length code, then HLIT + HDIST code lengths in that code, where
//              16 repeats the previous length 3-6 times, 17 writes 3-10 and 18 11-138 zeros.
// Literal/length symbols: 0-255 literal, 256 end of block, 257-285 lengths 3-258 with extra
// bits; distance symbols 0-29 give distances 1-32768 with extra bits.
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

#include "compression/byte_source.h"
#include "compression/deflate_bit_reader.h"
#include "compression/deflate_compression.h"
#include "compression/exceptions.h"
#include "compression/huffman_table.h"
#include "compression/rolling_output_buffer.h"

namespace Marrowbright {

namespace {

constexpr std::size_t kWindowSize = 32768;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

HuffmanTable makeFixedLiterals() {
  std::array<std::uint8_t, 288> lengths{};
  for (unsigned i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  return HuffmanTable(lengths, HuffmanTable::Kind::Literals);
}

HuffmanTable makeFixedDistances() {
  std::array<std::uint8_t, 32> lengths{};
  lengths.fill(5);
  return HuffmanTable(lengths, HuffmanTable::Kind::Distances);
}

// Built once at program start.
const HuffmanTable kFixedLiterals = makeFixedLiterals();
const HuffmanTable kFixedDistances = makeFixedDistances();

std::uint32_t readOrThrow(DeflateStreamBitReader& bits, unsigned count, const char* message) {
  std::uint32_t value = 0;
  if (!bits.tryReadBits(count, value)) throw DecompressionException(message);
  return value;
}

void copyStoredBlock(DeflateStreamBitReader& bits, RollingOutputBuffer& window) {
  bits.alignToByte();
  std::array<std::uint8_t, 4> header{};
  if (bits.readBytes(header) != header.size()) {
    throw DecompressionException("Unexpected end of stream reading uncompressed data lengths");
  }
  const unsigned length = header[0] | header[1] << 8;
  const unsigned complement = header[2] | header[3] << 8;
  if ((length ^ 0xFFFFu) != complement) {
    throw DecompressionException("Error reading length of uncompressed data");
  }
  std::array<std::uint8_t, 4096> chunk{};
  unsigned done = 0;
  while (done < length) {
    const std::size_t want = std::min<std::size_t>(chunk.size(), length - done);
    const std::size_t got = bits.readBytes(std::span(chunk.data(), want));
    window.put(chunk.data(), got);
    done += static_cast<unsigned>(got);
    if (got < want) {
      char message[80];
      std::snprintf(message, sizeof message, "Stream ended early, read %u of %u bytes", done,
                    length);
      throw DecompressionException(message);
    }
  }
}

void readDynamicTables(DeflateStreamBitReader& bits, HuffmanTable& literals,
                       HuffmanTable& distances) {
  const unsigned literalCount =
      readOrThrow(bits, 5, "Unable to read number of literal codes") + 257;
  const unsigned distanceCount =
      readOrThrow(bits, 5, "Unable to read number of distance codes") + 1;
  const unsigned codeLengthCount =
      readOrThrow(bits, 4, "Unable to read number of code length codes") + 4;
  if (literalCount > 286 || distanceCount > 30) {
    throw DecompressionException("Too many literal or distance codes");
  }

  std::array<std::uint8_t, 19> codeLengthLengths{};
  for (unsigned i = 0; i < codeLengthCount; ++i) {
    codeLengthLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(
        readOrThrow(bits, 3, "Unable to read number of code length codes"));
  }
  const HuffmanTable codeLengths(codeLengthLengths, HuffmanTable::Kind::CodeLengths);

  std::array<std::uint8_t, 286 + 30> lengths{};
  const unsigned total = literalCount + distanceCount;
  unsigned index = 0;
  while (index < total) {
    const unsigned symbol = bits.readHuffman(codeLengths);
    if (symbol < 16) {
      lengths[index++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t value = 0;
    unsigned repeat = 0;
    const char* repeatMessage = "Unable to read repeat count for code length table";
    if (symbol == 16) {
      if (index == 0) throw DecompressionException("Repeat of a code length with no previous one");
      value = lengths[index - 1];
      repeat = 3 + readOrThrow(bits, 2, repeatMessage);
    } else if (symbol == 17) {
      repeat = 3 + readOrThrow(bits, 3, repeatMessage);
    } else {
      repeat = 11 + readOrThrow(bits, 7, repeatMessage);
    }
    if (index + repeat > total) {
      throw DecompressionException("Repetition goes past the end of the table!");
    }
    for (unsigned i = 0; i < repeat; ++i) lengths[index++] = value;
  }
  if (lengths[256] == 0) throw DecompressionException("Missing end-of-block code");
  literals = HuffmanTable(std::span(lengths.data(), literalCount), HuffmanTable::Kind::Literals);
  distances = HuffmanTable(std::span(lengths.data() + literalCount, distanceCount),
                           HuffmanTable::Kind::Distances);
}

// Decodes one Huffman-coded block; false when the output limit stopped it early. The inner
// loop keeps the bit buffer and the write position in locals: stores of output bytes could
// otherwise alias them and force a reload for every byte.
bool decodeBlock(DeflateStreamBitReader& reader, RollingOutputBuffer& window,
                 const HuffmanTable& literals, const HuffmanTable& distances) {
  std::uint64_t bits = 0;
  unsigned count = 0;
  reader.exportBits(bits, count);
  ByteSource& source = reader.source();
  std::uint8_t* const out = window.data();
  std::size_t pos = window.position();
  std::size_t flushAt = window.flushPoint();
  std::size_t limitAt = window.limitPosition();

  auto refill = [&] {
    if (source.buffered() >= 8) {
      std::uint64_t word;
      std::memcpy(&word, source.data(), 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      bits |= word << count;
      const unsigned taken = (63 - count) / 8;
      source.skip(taken);
      count += taken * 8;
      return;
    }
    std::uint8_t byte = 0;
    while (count <= 56 && source.next(byte)) {
      bits |= std::uint64_t{byte} << count;
      count += 8;
    }
  };
  // A symbol, -1 at the end of the input, -2 for bits that are no code.
  auto decodeSymbol = [&](const HuffmanTable& table) -> int {
    if (count < HuffmanTable::kMaxBits) refill();
    const std::uint16_t entry = table.fastEntries()[bits & HuffmanTable::kFastMask];
    if (entry != 0) {
      const unsigned length = entry & 15u;
      if (length > count) return -1;
      bits >>= length;
      count -= length;
      return entry >> 4;
    }
    unsigned length = 0;
    const int symbol = table.decodeSlow(bits, count, length);
    if (symbol >= 0) {
      bits >>= length;
      count -= length;
    }
    return symbol;
  };
  auto take = [&](unsigned n, const char* message) -> unsigned {
    if (count < n) {
      refill();
      if (count < n) throw DecompressionException(message);
    }
    const auto value = static_cast<unsigned>(bits & ((std::uint64_t{1} << n) - 1));
    bits >>= n;
    count -= n;
    return value;
  };
  auto makeRoom = [&] {
    window.setPosition(pos);
    window.slide();
    pos = window.position();
    limitAt = window.limitPosition();
  };

  bool finished = false;
  for (;;) {
    const int symbol = decodeSymbol(literals);
    if (symbol < 256) {
      if (symbol < 0) {
        throw DecompressionException(symbol == -1
                                         ? "Unexpected end of stream reading next Huffman code"
                                         : "bit sequence has reached maximum length");
      }
      if (pos >= limitAt) break;
      out[pos++] = static_cast<std::uint8_t>(symbol);
      if (pos >= flushAt) makeRoom();
      continue;
    }
    if (symbol == 256) {
      finished = true;
      break;
    }
    if (pos >= limitAt) break;
    const unsigned lengthCode = static_cast<unsigned>(symbol) - 257;
    if (lengthCode >= kLengthBase.size()) throw DecompressionException("Unknown length code");
    unsigned length = kLengthBase[lengthCode];
    if (const unsigned extra = kLengthExtra[lengthCode]; extra != 0) {
      length += take(extra, "Unexpected end of stream while reading extra length bits");
    }
    const int distanceSymbol = decodeSymbol(distances);
    if (distanceSymbol == -1) throw DecompressionException("Unable to read distance code");
    if (distanceSymbol < 0) throw DecompressionException("bit sequence has reached maximum length");
    if (static_cast<unsigned>(distanceSymbol) >= kDistanceBase.size()) {
      throw DecompressionException("Unknown distance code");
    }
    unsigned distance = kDistanceBase[distanceSymbol];
    if (const unsigned extra = kDistanceExtra[distanceSymbol]; extra != 0) {
      distance += take(extra, "Unexpected end of stream while reading extra distance bits");
    }
    window.checkDistance(distance, pos);
    std::uint8_t* to = out + pos;
    const std::uint8_t* from = to - distance;
    if (distance >= 8) {
      // Whole words, up to 7 bytes past the copy into the buffer's slack.
      for (unsigned i = 0; i < length; i += 8) std::memcpy(to + i, from + i, 8);
    } else {
      // A short distance repeats the last bytes, byte by byte.
      for (unsigned i = 0; i < length; ++i) to[i] = from[i];
    }
    pos += length;
    if (pos >= flushAt) makeRoom();
  }
  reader.importBits(bits, count);
  window.setPosition(pos);
  return finished;
}

}  // namespace

void DeflateCompression::decompress(std::istream& in, std::ostream& out) {
  complete_ = false;
  DeflateStreamBitReader bits(in);
  RollingOutputBuffer window(out, kWindowSize, outputLimit_);
  HuffmanTable literals;
  HuffmanTable distances;
  bool last = false;
  while (!last) {
    // Output past the limit is of no use; stop reading once it has been passed.
    if (window.total() > outputLimit_) break;
    last = readOrThrow(bits, 1, "Encountered end of stream too early") != 0;
    const unsigned type = readOrThrow(bits, 2, "Encountered end of stream too early");
    bool finished = true;
    switch (type) {
      case 0:
        copyStoredBlock(bits, window);
        break;
      case 1:
        finished = decodeBlock(bits, window, kFixedLiterals, kFixedDistances);
        break;
      case 2:
        readDynamicTables(bits, literals, distances);
        finished = decodeBlock(bits, window, literals, distances);
        break;
      default:
        throw DecompressionException("Invalid block type");
    }
    if (!finished) break;
    if (last) complete_ = true;
  }
  window.flush();
  if (!out) throw IOException("Unable to write decompressed data");
  bits.alignToByte();
  bits.releaseUnusedInput();
}

}  // namespace Marrowbright
