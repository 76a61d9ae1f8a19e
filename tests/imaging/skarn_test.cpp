#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"
#include "pixel_reference.h"

namespace Tesselin {
namespace {

using Bytes = std::vector<uint8_t>;

// Row records written field by field as the format describes them, for comparison.
Bytes referenceSkarn(const Bitmap& b) {
  Bytes records;
  Bytes previous(b.bytesPerRow(), 0);
  for (uint32_t y = 0; y < b.height(); ++y) {
    const Bytes row = b.getRow(y);
    auto changed = [&](size_t u) { return u < row.size() && row[u] != previous[u]; };
    uint8_t groupMap = 0;
    for (size_t g = 0; g < 8; ++g) {
      for (size_t u = g * 64; u < g * 64 + 64; ++u) {
        if (changed(u)) groupMap |= static_cast<uint8_t>(0x80 >> g);
      }
    }
    records.push_back(groupMap);
    for (size_t g = 0; g < 8; ++g) {
      if (!(groupMap & (0x80 >> g))) continue;
      uint8_t blockMap = 0;
      for (size_t k = 0; k < 8; ++k) {
        for (size_t p = 0; p < 8; ++p) {
          if (changed(g * 64 + k * 8 + p)) blockMap |= static_cast<uint8_t>(0x80 >> k);
        }
      }
      records.push_back(blockMap);
      for (size_t k = 0; k < 8; ++k) {
        if (!(blockMap & (0x80 >> k))) continue;
        uint8_t byteMap = 0;
        for (size_t p = 0; p < 8; ++p) {
          if (changed(g * 64 + k * 8 + p)) byteMap |= static_cast<uint8_t>(0x80 >> p);
        }
        records.push_back(byteMap);
        for (size_t p = 0; p < 8; ++p) {
          const size_t u = g * 64 + k * 8 + p;
          if (changed(u)) records.push_back(row[u] ^ previous[u]);
        }
      }
    }
    previous = row;
  }
  return records;
}

Bytes withLength(const Bytes& records) {
  Bytes out = {static_cast<uint8_t>(records.size() >> 8), static_cast<uint8_t>(records.size())};
  out.insert(out.end(), records.begin(), records.end());
  return out;
}

Bytes streamEncode(const Bitmap& b, int format) {
  std::stringstream out;
  encode(b, format, out);
  const std::string s = out.str();
  return {s.begin(), s.end()};
}

std::span<const uint8_t> recordsOf(const Bytes& encoded) {
  return std::span<const uint8_t>(encoded).subspan(2);
}

template <typename F>
std::string bitmapError(F&& f) {
  try {
    f();
  } catch (const BitmapException& e) {
    return e.what();
  }
  return "no BitmapException";
}

// A bitmap whose rows repeat, change a little or change a lot, like label content.
Bitmap labelLikeBitmap(uint32_t width, uint32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  Bitmap b(width, height);
  Bytes row(b.bytesPerRow(), 0);
  const uint8_t last = width % 8 ? static_cast<uint8_t>(0xFF00 >> (width % 8)) : 0xFF;
  for (uint32_t y = 0; y < height; ++y) {
    switch (random() % 4) {
      case 0:
        break;
      case 1:
        row[random() % row.size()] ^= static_cast<uint8_t>(random());
        break;
      case 2:
        for (auto& byte : row) byte = static_cast<uint8_t>(random());
        break;
      default:
        std::fill(row.begin(), row.end(), 0);
    }
    row.back() &= last;
    b.setRow(y, row);
  }
  return b;
}

TEST(SkarnTest, OnePixelWhite) {
  EXPECT_EQ(encodeSkarn(Bitmap(1, 1)), (Bytes{0x00, 0x01, 0x00}));
  EXPECT_EQ(streamEncode(Bitmap(1, 1), 1), (Bytes{0x00, 0x01, 0x00}));
}

TEST(SkarnTest, TwoRowsSixteenWide) {
  const Bitmap b(Bytes{0x80, 0x00, 0x80, 0x01}, 16, 2);
  const Bytes expected = {0x00, 0x08, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x40, 0x01};
  EXPECT_EQ(encodeSkarn(b), expected);
  EXPECT_EQ(streamEncode(b, 1), expected);
  const Bitmap decoded = decode(recordsOf(expected), 16, 0, 1);
  EXPECT_EQ(decoded.data(), b.data());
  EXPECT_EQ(decoded.height(), 2u);
}

TEST(SkarnTest, BlankRowsAreOneByteEach) {
  Bytes expected = {0x00, 0x64};
  expected.resize(102, 0x00);
  EXPECT_EQ(encodeSkarn(Bitmap(200, 100)), expected);
}

TEST(SkarnTest, HandWrittenFarGroupsAndBlocks) {
  // 4096 wide: byte 511 (group 7, block 7, position 7) and byte 64 (group 1, block 0, pos 0).
  Bitmap b(4096, 1);
  b.data()[511] = 0x01;
  b.data()[64] = 0xF0;
  EXPECT_EQ(encodeSkarn(b), (Bytes{0x00, 0x07, 0x41, 0x80, 0x80, 0xF0, 0x01, 0x01, 0x01}));
}

TEST(SkarnTest, WidthLimits) {
  EXPECT_NO_THROW(encodeSkarn(Bitmap(4096, 2)));
  EXPECT_EQ(bitmapError([] { encodeSkarn(Bitmap(4097, 2)); }),
            "Bitmap width exceeds supported width for SKARN compression");
  EXPECT_EQ(bitmapError([] { streamEncode(Bitmap(4097, 2), 1); }),
            "Bitmap width exceeds supported width for SKARN compression");
  EXPECT_EQ(bitmapError([] { encodeSkarn(Bitmap(100, 0)); }), "Bitmap has no height");
}

TEST(SkarnTest, SizeLimit) {
  // Random 4096-wide rows need about 585 bytes each: 112 rows stay below 65536, 113 do not.
  const Bitmap fits = testing::randomBitmap(4096, 111, 3, 4);
  EXPECT_LT(encodeSkarn(fits).size(), 65538u);
  const Bitmap tooBig = testing::randomBitmap(4096, 200, 3, 4);
  EXPECT_EQ(bitmapError([&] { encodeSkarn(tooBig); }),
            "Unable to compress bitmap to under maximum size of 65536 bytes");
  EXPECT_EQ(bitmapError([&] { streamEncode(tooBig, 1); }),
            "Unable to compress bitmap to under maximum size of 65536 bytes");
}

TEST(SkarnTest, LengthExactlyAtTheLimitFails) {
  // 65535 bytes of records pass, 65536 fail: one-byte records of blank rows.
  EXPECT_EQ(encodeSkarn(Bitmap(8, 65535)).size(), 65537u);
  EXPECT_EQ(bitmapError([] { encodeSkarn(Bitmap(8, 65536)); }),
            "Unable to compress bitmap to under maximum size of 65536 bytes");
}

TEST(SkarnTest, EncoderMatchesReferenceOnAwkwardWidths) {
  uint32_t seed = 10;
  for (uint32_t width : testing::kAwkwardWidths) {
    if (width > 4096) continue;
    for (uint32_t height : {1u, 2u, 9u, 40u}) {
      for (const Bitmap& b : {labelLikeBitmap(width, height, seed),
                              testing::randomBitmap(width, height, seed, 1, false)}) {
        ++seed;
        const Bytes records = referenceSkarn(b);
        if (records.size() >= 65536) continue;
        const Bytes encoded = encodeSkarn(b);
        ASSERT_EQ(encoded, withLength(records)) << width << "x" << height;
        ASSERT_EQ(streamEncode(b, 1), encoded);
        const Bitmap decoded = decode(recordsOf(encoded), width, 12345, 1);
        ASSERT_EQ(decoded.data(), b.data()) << width << "x" << height;
        ASSERT_EQ(decoded.width(), width);
        ASSERT_EQ(decoded.height(), height);
      }
    }
  }
}

TEST(SkarnTest, RoundTripEveryWidth) {
  for (uint32_t width = 1; width <= 4096; width += width < 80 ? 1 : 37) {
    const Bitmap b = labelLikeBitmap(width, 6, width);
    const Bytes encoded = encodeSkarn(b);
    ASSERT_EQ(decode(recordsOf(encoded), width, 6, 1).data(), b.data()) << width;
  }
}

TEST(SkarnTest, EveryProperPrefixFailsOrDecodesFewerRows) {
  const Bitmap b = labelLikeBitmap(100, 12, 77);
  const Bytes encoded = encodeSkarn(b);
  const auto records = recordsOf(encoded);
  for (size_t n = 0; n < records.size(); ++n) {
    try {
      const Bitmap partial = decode(records.first(n), 100, 12, 1);
      // A prefix that ends between records gives the first rows.
      ASSERT_LT(partial.height(), 12u);
      ASSERT_TRUE(std::equal(partial.data().begin(), partial.data().end(), b.data().begin()));
    } catch (const BitmapException& e) {
      ASSERT_STREQ(e.what(), "SKARN data ends inside a row record") << n;
    }
  }
}

struct MalformedCase {
  const char* name;
  Bytes records;
  uint32_t width;
  const char* message;
};

TEST(SkarnTest, MalformedRecordsFailCleanly) {
  const MalformedCase cases[] = {
      {"group map only", {0x80}, 16, "SKARN data ends inside a row record"},
      {"block map missing byte map", {0x80, 0x80}, 16, "SKARN data ends inside a row record"},
      {"data byte missing", {0x80, 0x80, 0xC0, 0x01}, 16, "SKARN data ends inside a row record"},
      {"byte beyond row",
       {0x80, 0x80, 0x20, 0xFF},
       16,
       "SKARN row record addresses a byte beyond the row"},
      {"group beyond row",
       {0x01, 0x01, 0x01, 0x01},
       4088,
       "SKARN row record addresses a byte beyond the row"},
      {"zero width",
       {0x80, 0x80, 0x80, 0x01},
       0,
       "SKARN row record addresses a byte beyond the row"},
      {"second row truncated", {0x00, 0x40}, 800, "SKARN data ends inside a row record"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bitmapError([&] { decode(c.records, c.width, 1, 1); }), c.message) << c.name;
  }
}

TEST(SkarnTest, MapsWithoutDataAreHarmless) {
  // A group or block marked but empty below changes nothing.
  const Bitmap b = decode(Bytes{0x80, 0x00, 0xC0, 0x80, 0x00, 0x00}, 16, 1, 1);
  EXPECT_EQ(b.height(), 2u);
  EXPECT_EQ(b.data(), Bytes(4, 0));
}

TEST(SkarnTest, EmptyInputGivesNoRows) {
  const Bitmap b = decode(Bytes{}, 30, 5, 1);
  EXPECT_EQ(b.width(), 30u);
  EXPECT_EQ(b.height(), 0u);
}

TEST(BitmapEncodingTest, UncompressedIsTheDataBytes) {
  const Bitmap b(Bytes{1, 2, 3, 4, 5, 6}, 12, 3);
  EXPECT_EQ(streamEncode(b, 0), b.data());
  const Bitmap decoded = decode(b.data(), 12, 3, 0);
  EXPECT_EQ(decoded.data(), b.data());
  EXPECT_EQ(decoded.height(), 3u);
}

TEST(BitmapEncodingTest, UncompressedDecodeChecksByteCount) {
  EXPECT_EQ(bitmapError([] { decode(Bytes(5), 12, 3, 0); }), "Source data does not match size");
  EXPECT_EQ(bitmapError([] { decode(Bytes(7), 12, 3, 0); }), "Source data does not match size");
}

TEST(BitmapEncodingTest, UnknownFormats) {
  for (int format : {-1, 2, 3}) {
    EXPECT_EQ(bitmapError([&] { streamEncode(Bitmap(8, 1), format); }),
              "Unknown bitmap format specified");
    EXPECT_EQ(bitmapError([&] { decode(Bytes{0}, 8, 1, format); }),
              "Unknown compression format specified");
  }
}

TEST(BitmapEncodingTest, SkarnLengthGoesWhereTheEncodingStarts) {
  std::stringstream out;
  out << "HEAD";
  encode(Bitmap(Bytes{0x80, 0x00, 0x80, 0x01}, 16, 2), 1, out);
  out << "TAIL";
  const std::string s = out.str();
  EXPECT_EQ(s.substr(0, 6), std::string("HEAD\x00\x08", 6));
  EXPECT_EQ(s.size(), 4u + 10u + 4u);
  EXPECT_EQ(s.substr(14), "TAIL");
}

}  // namespace
}  // namespace Tesselin
