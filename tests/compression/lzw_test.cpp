#include <gtest/gtest.h>

#include "compression/codec_test_util.h"
#include "compression/exceptions.h"
#include "compression/lzw_compression.h"

namespace Marrowbright {
namespace {

using testing::Bytes;

Bytes lzwDecode(const Bytes& input, std::uint64_t limit = kUnlimitedOutput, int variant = 1) {
  LZWCompression codec(variant, limit);
  return testing::runDecoder(codec, input);
}

Bytes lzwEncode(const Bytes& input, int variant = 1) {
  LZWCompression codec(variant);
  return testing::runEncoder(codec, input);
}

// Packs codes most significant bit first at the given widths.
Bytes packCodes(std::initializer_list<std::pair<unsigned, unsigned>> codes) {
  Bytes out;
  std::uint64_t bits = 0;
  unsigned count = 0;
  for (auto [code, width] : codes) {
    bits = bits << width | code;
    count += width;
    while (count >= 8) {
      count -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> count));
    }
  }
  if (count > 0) out.push_back(static_cast<std::uint8_t>(bits << (8 - count)));
  return out;
}

TEST(LZWTest, DecodesHandPackedCodes) {
  // "Hi", then code 258 ("Hi") and '!': HiHi!
  const Bytes input = packCodes({{256, 9}, {'H', 9}, {'i', 9}, {258, 9}, {'!', 9}, {257, 9}});
  const Bytes expected{'H', 'i', 'H', 'i', '!'};
  EXPECT_EQ(lzwDecode(input), expected);
  EXPECT_EQ(lzwEncode(expected), input);
}

TEST(LZWTest, DecodesCodeDefinedByItself) {
  // "aaa": 'a', then 258 = "aa" before it is complete (the KwKwK case).
  const Bytes input = packCodes({{256, 9}, {'a', 9}, {258, 9}, {257, 9}});
  EXPECT_EQ(lzwDecode(input), (Bytes{'a', 'a', 'a'}));
}

struct RoundTripCase {
  const char* name;
  std::size_t size;
  unsigned alphabet;  // 0: repetitive text
  int variant;
};

class LZWRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(LZWRoundTripTest, DecodeOfEncodeIsIdentity) {
  const RoundTripCase& c = GetParam();
  std::mt19937 random(static_cast<unsigned>(c.size) + c.alphabet);
  const Bytes input = c.alphabet == 0 ? testing::repetitiveBytes(random, c.size)
                                      : testing::randomBytes(random, c.size, c.alphabet);
  const Bytes encoded = lzwEncode(input, c.variant);
  EXPECT_EQ(lzwDecode(encoded, kUnlimitedOutput, c.variant), input);
}

INSTANTIATE_TEST_SUITE_P(Data, LZWRoundTripTest,
                         ::testing::Values(RoundTripCase{"empty", 0, 256, 1},
                                           RoundTripCase{"one", 1, 256, 1},
                                           RoundTripCase{"random", 200000, 256, 1},
                                           RoundTripCase{"twoSymbols", 300000, 2, 1},
                                           RoundTripCase{"text", 500000, 0, 1},
                                           RoundTripCase{"zeros", 1000000, 1, 1},
                                           RoundTripCase{"originalVariant", 300000, 0, 0},
                                           RoundTripCase{"originalVariantRandom", 100000, 256, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LZWTest, StopsAtOutputLimit) {
  std::mt19937 random(3);
  const Bytes input = testing::repetitiveBytes(random, 50000);
  EXPECT_EQ(lzwDecode(lzwEncode(input), 1000), Bytes(input.begin(), input.begin() + 1000));
}

TEST(LZWTest, EveryProperPrefixFails) {
  std::mt19937 random(8);
  const Bytes encoded = lzwEncode(testing::repetitiveBytes(random, 2000));
  for (std::size_t size = 0; size + 1 < encoded.size(); ++size) {
    EXPECT_THROW(lzwDecode(Bytes(encoded.begin(), encoded.begin() + static_cast<long>(size))),
                 Exception)
        << size;
  }
}

struct Regression {
  const char* file;
  std::uint64_t limit;
  const char* message;   // nullptr: decodes to `expected`
  std::size_t expected;  // decoded size
};

class LZWRegressionTest : public ::testing::TestWithParam<Regression> {};

TEST_P(LZWRegressionTest, EndsAsExpected) {
  const Regression& r = GetParam();
  const Bytes input = testing::readFile(testing::corpusPath("lzw_decode", r.file));
  ASSERT_FALSE(input.empty());
  if (r.message == nullptr) {
    EXPECT_EQ(lzwDecode(input, r.limit).size(), r.expected);
    return;
  }
  try {
    lzwDecode(input, r.limit);
    FAIL() << "no exception";
  } catch (const DecompressionException& e) {
    EXPECT_STREQ(e.what(), r.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, LZWRegressionTest,
    ::testing::Values(
        Regression{"code_beyond_table", kUnlimitedOutput, "LZW code is too large!", 0},
        Regression{"table_full_no_clear", kUnlimitedOutput, "LZW table is full!", 0},
        Regression{"end_code_wrong_width", 254, nullptr, 254},
        Regression{"trailing_junk", kUnlimitedOutput, nullptr, 5},
        Regression{"no_end_code", 5, nullptr, 5},
        Regression{"no_end_code", kUnlimitedOutput, "Unexpected end of LZW stream", 0},
        Regression{"seed_simple", kUnlimitedOutput, nullptr, 5}),
    [](const auto& info) {
      return std::string(info.param.file) +
             (info.param.limit == kUnlimitedOutput ? "" : "_limited");
    });

TEST(LZWTest, EndCodeAtWrongWidthDecodesToExpectedBytes) {
  const Bytes input = testing::readFile(testing::corpusPath("lzw_decode", "end_code_wrong_width"));
  Bytes expected(254);
  for (unsigned i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(lzwDecode(input, 254), expected);
}

// A strip written by libtiff (tiffcp -c lzw) of a 256 x 64 grey picture whose table fills up
// and is cleared several times.
TEST(LZWTest, DecodesLibtiffStrip) {
  const Bytes strip = testing::readFile(testing::corpusPath("lzw_decode", "libtiff_strip"));
  ASSERT_FALSE(strip.empty());
  Bytes expected;
  for (unsigned y = 0; y < 64; ++y) {
    for (unsigned x = 0; x < 256; ++x) {
      expected.push_back(static_cast<std::uint8_t>(x * x * 7 + y * 13 + (x * y) / 3));
    }
  }
  EXPECT_EQ(lzwDecode(strip), expected);
  EXPECT_EQ(lzwDecode(strip, expected.size()), expected);
}

TEST(LZWTest, RejectsNonLiteralFirstCode) {
  try {
    lzwDecode(packCodes({{256, 9}, {300, 9}, {257, 9}}));
    FAIL();
  } catch (const DecompressionException& e) {
    EXPECT_STREQ(e.what(), "LZW code is invalid");
  }
}

}  // namespace
}  // namespace Marrowbright
