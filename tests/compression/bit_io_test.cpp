#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "compression/bit_reader.h"
#include "compression/bit_writer.h"
#include "compression/codec_test_util.h"
#include "compression/deflate_bit_reader.h"
#include "compression/exceptions.h"

namespace Marrowbright {
namespace {

TEST(StreamBitReaderTest, ReadsMostSignificantBitFirst) {
  std::istringstream in(std::string("\xA5\x0F", 2));
  StreamBitReader bits(in);
  EXPECT_EQ(bits.readBits(1), 1u);
  EXPECT_EQ(bits.readBits(3), 2u);
  EXPECT_EQ(bits.readBits(8), 0x50u);
  EXPECT_EQ(bits.readBits(4), 0xFu);
  EXPECT_TRUE(bits.atEnd());
  try {
    bits.readBits(1);
    FAIL();
  } catch (const IOException& e) {
    EXPECT_STREQ(e.what(), "Unexpected end of stream");
  }
}

TEST(StreamBitReaderTest, RejectsMoreThan32Bits) {
  std::istringstream in(std::string(16, 'x'));
  StreamBitReader bits(in);
  EXPECT_EQ(bits.readBits(32), 0x78787878u);
  try {
    bits.readBits(33);
    FAIL();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "count too large");
  }
}

TEST(StreamBitReaderTest, ByteReadsNeedAlignment) {
  std::istringstream in("abcdef");
  StreamBitReader bits(in);
  bits.readBits(3);
  std::uint8_t out[2];
  EXPECT_THROW(bits.readBytes(out), IOException);
  bits.alignToByte();
  ASSERT_EQ(bits.readBytes(out), 2u);
  EXPECT_EQ(out[0], 'b');
  EXPECT_EQ(out[1], 'c');
}

TEST(DeflateStreamBitReaderTest, ReadsLeastSignificantBitFirst) {
  std::istringstream in(std::string("\xA5\x0F", 2));
  DeflateStreamBitReader bits(in);
  EXPECT_EQ(bits.readBits(1), 1u);
  EXPECT_EQ(bits.readBits(3), 2u);
  EXPECT_EQ(bits.readBits(8), 0xFAu);
  EXPECT_EQ(bits.readBits(4), 0x0u);
  EXPECT_THROW(bits.readBits(1), DecompressionException);
}

TEST(DeflateStreamBitReaderTest, MatchesPlainReferenceOnRandomWidths) {
  std::mt19937 random(21);
  const testing::Bytes data = testing::randomBytes(random, 10000);
  std::istringstream in(std::string(data.begin(), data.end()));
  DeflateStreamBitReader bits(in);
  std::size_t position = 0;  // in bits
  while (position + 32 <= data.size() * 8) {
    const unsigned count = random() % 33;
    std::uint32_t expected = 0;
    for (unsigned i = 0; i < count; ++i) {
      const std::size_t bit = position + i;
      expected |= static_cast<std::uint32_t>((data[bit / 8] >> (bit % 8)) & 1) << i;
    }
    ASSERT_EQ(bits.readBits(count), expected) << position;
    position += count;
  }
}

TEST(StreamBitWriterTest, RoundTripsThroughReader) {
  std::mt19937 random(4);
  std::vector<std::pair<std::uint32_t, unsigned>> values;
  std::ostringstream out;
  {
    StreamBitWriter writer(out);
    for (int i = 0; i < 5000; ++i) {
      const unsigned count = 1 + random() % 32;
      const std::uint32_t value =
          static_cast<std::uint32_t>(random()) & (count == 32 ? ~0u : (1u << count) - 1);
      values.emplace_back(value, count);
      writer.writeBits(value, count);
    }
    writer.flush();
  }
  std::istringstream in(out.str());
  StreamBitReader reader(in);
  for (auto [value, count] : values) ASSERT_EQ(reader.readBits(count), value);
}

}  // namespace
}  // namespace Marrowbright
