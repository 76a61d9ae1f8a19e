#include <gtest/gtest.h>

#include <sstream>

#include "compression/codec_test_util.h"
#include "compression/deflate_compression.h"
#include "compression/exceptions.h"

namespace Marrowbright {
namespace {

using testing::Bytes;

Bytes ourInflate(const Bytes& input, std::uint64_t limit = kUnlimitedOutput) {
  DeflateCompression codec(limit);
  return testing::runDecoder(codec, input);
}

struct ZlibCase {
  const char* name;
  int level;
  int strategy;
  bool repetitive;
  std::size_t size;
};

class DeflateDecoderZlibTest : public ::testing::TestWithParam<ZlibCase> {};

TEST_P(DeflateDecoderZlibTest, DecodesWhatZlibEncodes) {
  const ZlibCase& c = GetParam();
  std::mt19937 random(c.level * 31 + c.strategy + static_cast<unsigned>(c.size));
  const Bytes input = c.repetitive ? testing::repetitiveBytes(random, c.size)
                                   : testing::randomBytes(random, c.size, 7);
  const Bytes compressed = testing::zlibDeflate(input, c.level, c.strategy);
  const auto reference = testing::zlibInflate(compressed);
  ASSERT_TRUE(reference.has_value());
  EXPECT_EQ(ourInflate(compressed), *reference);
  EXPECT_EQ(*reference, input);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DeflateDecoderZlibTest,
    ::testing::Values(ZlibCase{"stored", 0, Z_DEFAULT_STRATEGY, true, 200000},
                      ZlibCase{"fixed", 9, Z_FIXED, true, 100000},
                      ZlibCase{"dynamic", 9, Z_DEFAULT_STRATEGY, true, 300000},
                      ZlibCase{"fast", 1, Z_DEFAULT_STRATEGY, true, 300000},
                      ZlibCase{"huffmanOnly", 6, Z_HUFFMAN_ONLY, false, 100000},
                      ZlibCase{"rle", 6, Z_RLE, false, 100000},
                      ZlibCase{"smallAlphabet", 9, Z_DEFAULT_STRATEGY, false, 70000},
                      ZlibCase{"empty", 9, Z_DEFAULT_STRATEGY, true, 0},
                      ZlibCase{"oneByte", 9, Z_DEFAULT_STRATEGY, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeflateDecoderTest, DecodesRealFiles) {
  for (const char* path : {"/usr/share/common-licenses/GPL-3", "/bin/sh"}) {
    const Bytes input = testing::readFile(path);
    if (input.empty()) continue;
    const Bytes compressed = testing::zlibDeflate(input, 9);
    EXPECT_EQ(ourInflate(compressed), input) << path;
  }
}

// Flipped bits and cut streams: whenever zlib accepts, we give the same bytes; whenever zlib
// rejects, we throw.
TEST(DeflateDecoderTest, AgreesWithZlibOnCorruptedStreams) {
  std::mt19937 random(1234);
  const Bytes input = testing::repetitiveBytes(random, 20000);
  const Bytes compressed = testing::zlibDeflate(input, 9);
  int rejected = 0;
  for (int trial = 0; trial < 600; ++trial) {
    Bytes broken = compressed;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < flips; ++i) broken[random() % broken.size()] ^= 1u << (random() % 8);
    if (trial % 5 == 0) broken.resize(random() % broken.size());
    const auto reference = testing::zlibInflate(broken);
    if (reference) {
      EXPECT_EQ(ourInflate(broken), *reference) << trial;
    } else {
      ++rejected;
      EXPECT_THROW(ourInflate(broken), Exception) << trial;
    }
  }
  EXPECT_GT(rejected, 100);
}

TEST(DeflateDecoderTest, EveryProperPrefixFails) {
  std::mt19937 random(99);
  const Bytes compressed = testing::zlibDeflate(testing::repetitiveBytes(random, 3000), 9);
  for (std::size_t size = 0; size < compressed.size(); ++size) {
    const Bytes prefix(compressed.begin(), compressed.begin() + static_cast<long>(size));
    EXPECT_THROW(ourInflate(prefix), Exception) << size;
  }
}

TEST(DeflateDecoderTest, StopsAtOutputLimit) {
  std::mt19937 random(5);
  const Bytes input = testing::repetitiveBytes(random, 100000);
  const Bytes compressed = testing::zlibDeflate(input, 9);
  DeflateCompression codec(12345);
  const Bytes out = testing::runDecoder(codec, compressed);
  EXPECT_EQ(out, Bytes(input.begin(), input.begin() + 12345));
  EXPECT_FALSE(codec.lastStreamComplete());
}

TEST(DeflateDecoderTest, LeavesStreamAfterLastBlock) {
  const Bytes compressed = testing::zlibDeflate(Bytes{'a', 'b', 'c', 'a', 'b', 'c'}, 9);
  std::string text(compressed.begin(), compressed.end());
  text += "TRAILER";
  std::istringstream in(text);
  std::ostringstream out;
  DeflateCompression codec;
  codec.decompress(in, out);
  EXPECT_TRUE(codec.lastStreamComplete());
  EXPECT_EQ(out.str(), "abcabc");
  std::string rest;
  in >> rest;
  EXPECT_EQ(rest, "TRAILER");
}

struct Regression {
  const char* file;
  const char* message;  // nullptr: must decode like zlib
};

class DeflateRegressionTest : public ::testing::TestWithParam<Regression> {};

TEST_P(DeflateRegressionTest, EndsAsExpected) {
  const Regression& r = GetParam();
  const Bytes input = testing::readFile(testing::corpusPath("deflate_decode", r.file));
  ASSERT_FALSE(input.empty());
  const auto reference = testing::zlibInflate(input);
  if (r.message == nullptr) {
    ASSERT_TRUE(reference.has_value());
    EXPECT_EQ(ourInflate(input), *reference);
    return;
  }
  EXPECT_FALSE(reference.has_value());
  try {
    ourInflate(input);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), r.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, DeflateRegressionTest,
    ::testing::Values(
        Regression{"block_type_3", "Invalid block type"},
        Regression{"hlit_hdist_31", "Too many literal or distance codes"},
        Regression{"rep16_first", "Repeat of a code length with no previous one"},
        Regression{"rep18_overrun", "Repetition goes past the end of the table!"},
        Regression{"incomplete_tree", "Invalid Huffman code lengths"},
        Regression{"oversubscribed_tree", "Invalid Huffman code lengths"},
        Regression{"distance_before_start", "Backwards distance exceeds available bytes"},
        Regression{"distance_code_30", "Unknown distance code"},
        Regression{"length_code_286", "Unknown length code"},
        Regression{"stored_length_mismatch", "Error reading length of uncompressed data"},
        Regression{"stored_truncated", "Stream ended early, read 4 of 8 bytes"},
        Regression{"many_empty_blocks", nullptr}, Regression{"seed_stored", nullptr},
        Regression{"seed_fixed", nullptr}, Regression{"seed_dynamic", nullptr},
        Regression{"seed_rle", nullptr}, Regression{"seed_empty", nullptr}),
    [](const auto& info) { return std::string(info.param.file); });

TEST(DeflateDecoderTest, ReportsEndInsideHeaders) {
  const struct {
    Bytes input;
    const char* message;
  } cases[] = {
      {{}, "Encountered end of stream too early"},
      {{0x05}, "Unable to read number of distance codes"},  // dynamic, HLIT only
      {{0x01, 0x04}, "Unexpected end of stream reading uncompressed data lengths"},
  };
  for (const auto& c : cases) {
    try {
      ourInflate(c.input);
      ADD_FAILURE() << c.message;
    } catch (const DecompressionException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(DeflateEncoderTest, ZlibInflatesWhatWeEncode) {
  std::mt19937 random(77);
  for (const Bytes& input :
       {Bytes{}, testing::randomBytes(random, 100000), testing::repetitiveBytes(random, 250000)}) {
    DeflateCompression codec;
    const Bytes compressed = testing::runEncoder(codec, input);
    const auto reference = testing::zlibInflate(compressed);
    ASSERT_TRUE(reference.has_value());
    EXPECT_EQ(*reference, input);
    EXPECT_EQ(ourInflate(compressed), input);
  }
}

}  // namespace
}  // namespace Marrowbright
