// SKARN row records against a field-by-field reference, and the skarn_decode fuzz corpus.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;
auto err = [](auto&& f) { return testing::errorOf<BitmapException>(f); };

// Row records written field by field as the format describes them: a map of changed 64-byte
// groups, per group a map of changed 8-byte blocks, per block a map of bytes, then the XORs.
Bytes referenceSkarn(const Bitmap& b) {
  Bytes records, previous(b.bytesPerRow(), 0);
  for (uint32_t y = 0; y < b.height(); ++y) {
    const Bytes row = b.getRow(y);
    auto changed = [&](size_t from, size_t count) {
      for (size_t u = from; u < from + count; ++u)
        if (u < row.size() && row[u] != previous[u]) return true;
      return false;
    };
    auto map = [&](size_t from, size_t step) {
      uint8_t bits = 0;
      for (size_t i = 0; i < 8; ++i) bits |= changed(from + i * step, step) << (7 - i);
      records.push_back(bits);
      return bits;
    };
    const uint8_t groups = map(0, 64);
    for (size_t g = 0; g < 8; ++g) {
      const uint8_t blocks = groups & (0x80 >> g) ? map(g * 64, 8) : 0;
      for (size_t k = 0; k < 8; ++k) {
        const uint8_t bytes = blocks & (0x80 >> k) ? map(g * 64 + k * 8, 1) : 0;
        for (size_t p = 0, u = g * 64 + k * 8; p < 8; ++p, ++u)
          if (bytes & (0x80 >> p)) records.push_back(row[u] ^ previous[u]);
      }
    }
    previous = row;
  }
  return records;
}

Bytes withLength(Bytes records) {
  records.insert(records.begin(),
                 {static_cast<uint8_t>(records.size() >> 8), static_cast<uint8_t>(records.size())});
  return records;
}

Bytes records(const Bytes& encoded) { return Bytes(encoded.begin() + 2, encoded.end()); }

// What encode() writes into a stream after "HEAD"; a SKARN length must land where the encoding
// starts, and the stream must end after it, before the "TAIL" written next.
Bytes streamEncode(const Bitmap& b, int format) {
  std::stringstream out;
  out << "HEAD";
  encode(b, format, out);
  out << "TAIL";
  const std::string s = out.str();
  EXPECT_EQ(s.substr(0, 4) + s.substr(s.size() - 4), "HEADTAIL");
  return Bytes(s.begin() + 4, s.end() - 4);
}

// A bitmap whose rows repeat, change a little, change a lot or clear, like label content.
Bitmap labelLikeBitmap(uint32_t width, uint32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  Bitmap b(width, height);
  Bytes row(b.bytesPerRow(), 0);
  for (uint32_t y = 0; y < height; ++y) {
    const unsigned kind = random() % 4;
    if (kind == 1) row[random() % row.size()] ^= static_cast<uint8_t>(random());
    for (auto& byte : row) byte = kind == 2 ? random() : kind == 3 ? 0 : byte;
    row.back() &= width % 8 ? 0xFF00 >> (width % 8) : 0xFF;
    b.setRow(y, row);
  }
  return b;
}

TEST(SkarnTest, HandWrittenEncodingsAndLimits) {
  Bytes blank = {0x00, 0x64};
  blank.resize(102, 0x00);  // blank rows are one byte each
  const std::pair<Bitmap, Bytes> cases[] = {
      {Bitmap(1, 1), {0x00, 0x01, 0x00}},
      {Bitmap(Bytes{0x80, 0x00, 0x80, 0x01}, 16, 2),
       {0x00, 0x08, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x40, 0x01}},
      {Bitmap(200, 100), blank}};
  for (const auto& [b, expected] : cases) {
    EXPECT_EQ(encodeSkarn(b), expected) << b.width();
    EXPECT_EQ(decode(records(expected), b.width(), 0, 1).data(), b.data()) << b.width();
  }
  const char* tooBig = "Unable to compress bitmap to under maximum size of 65536 bytes";
  EXPECT_EQ(err([] { encodeSkarn(Bitmap(4097, 2)); }),
            "Bitmap width exceeds supported width for SKARN compression");
  EXPECT_EQ(err([] { encodeSkarn(Bitmap(100, 0)); }), "Bitmap has no height");
  // 200 random 4096-wide rows (about 585 bytes each) are too many; blank rows take a byte each.
  EXPECT_EQ(err([] { encodeSkarn(testing::randomBitmap(4096, 200, 3, 4)); }), tooBig);
  EXPECT_EQ(encodeSkarn(Bitmap(8, 65535)).size(), 65537u);
  EXPECT_EQ(err([] { encodeSkarn(Bitmap(8, 65536)); }), tooBig);
}

TEST(SkarnTest, EncoderMatchesReferenceAndDecodes) {
  uint32_t seed = 10;
  for (uint32_t width : testing::kAwkwardWidths) {
    for (uint32_t height : {1u, 2u, 9u, 40u}) {
      for (const Bitmap& b : {labelLikeBitmap(width, height, seed),
                              testing::randomBitmap(width, height, seed, 1, false)}) {
        const Bytes expected = referenceSkarn(b);
        if (width > 4096 || expected.size() >= 65536) continue;
        ASSERT_EQ(encodeSkarn(b), withLength(expected)) << width << "x" << height << " " << seed;
        ASSERT_EQ(streamEncode(b, 1), withLength(expected));
        const Bitmap decoded = decode(expected, width, 12345, 1);
        ASSERT_EQ(decoded.data(), b.data()) << width << "x" << height;
      }
      ++seed;
    }
  }
}

TEST(BitmapEncodingTest, UncompressedUnknownAndStreamPosition) {
  const Bitmap b(Bytes{1, 2, 3, 4, 5, 6}, 12, 3);
  EXPECT_EQ(streamEncode(b, 0), b.data());
  EXPECT_EQ(decode(b.data(), 12, 3, 0).data(), b.data());
  EXPECT_EQ(err([&] { decode(Bytes(5), 12, 3, 0); }), "Source data does not match size");
  EXPECT_EQ(err([&] { streamEncode(Bitmap(8, 1), 2); }), "Unknown bitmap format specified");
  EXPECT_EQ(err([&] { decode(Bytes{0}, 8, 1, -1); }), "Unknown compression format specified");
}

// Corpus seeds start with (width - 1) as two big-endian bytes, then the row records.
std::pair<uint32_t, Bytes> readSeed(const std::string& name) {
  std::ifstream in(std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/skarn_decode/" + name,
                   std::ios::binary);
  const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.size() < 2) return {0, {}};
  return {(uint32_t{bytes[0]} << 8 | bytes[1]) % kSkarnMaxWidth + 1,
          {bytes.begin() + 2, bytes.end()}};
}

TEST(SkarnCorpusTest, RegressionInputsAndSeeds) {
  for (auto [name, message] :
       {std::pair{"run_past_row", "SKARN row record addresses a byte beyond the row"},
        {"truncated_record", "SKARN data ends inside a row record"}}) {
    const auto [width, input] = readSeed(name);
    EXPECT_EQ(err([&] { decode(input, width, 0, kSkarn); }), message) << name;
  }
  const auto [width, blank] = readSeed("one_byte_rows");
  const Bitmap b = decode(blank, width, 0, kSkarn);
  EXPECT_EQ(b.width() * 100000 + b.height(), 4096 * 100000 + blank.size());
  EXPECT_EQ(b.data(), Bytes(b.dataSize(), 0));
  // These seeds were written by a separate script encoder from random and label-like rows.
  for (const char* name :
       {"blank_rows", "label_203", "narrow_9", "random_rows_4096", "two_rows_16"}) {
    const auto [seedWidth, input] = readSeed(name);
    EXPECT_EQ(encodeSkarn(decode(input, seedWidth, 0, kSkarn)), withLength(input)) << name;
  }
}

}  // namespace
}  // namespace Tesselin
