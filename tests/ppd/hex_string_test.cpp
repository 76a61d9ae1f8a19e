#include "ppd/hex_string.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

namespace Quillfeather {
namespace {

TEST(HexString, Decodes) {
  EXPECT_EQ(decodeHexSubstrings("Label <41>B"), "Label AB");
  EXPECT_EQ(decodeHexSubstrings("<4a>"), "J");
  EXPECT_EQ(decodeHexSubstrings("<4A4a>"), "JJ");
  EXPECT_EQ(decodeHexSubstrings("<>x<00>"), std::string("x\0", 2));
  EXPECT_EQ(decodeHexSubstrings("a>b"), "a>b");
  EXPECT_EQ(decodeHexSubstrings(""), "");
}

TEST(HexString, Errors) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"<41", "Unterminated hex string"},
      {"<41><", "Unterminated hex string"},
      {"<4>", "Hex string is not multiple of 2 characters"},
      {"<414>", "Hex string is not multiple of 2 characters"},
      {"<4G>", "Not hexadecimal character"},
      {"<4 >", "Not hexadecimal character"},
      {"<<1>", "Not hexadecimal character"},
  };
  for (const Case& c : cases) {
    try {
      decodeHexSubstrings(c.text);
      ADD_FAILURE() << c.text;
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), c.message) << c.text;
    }
  }
}

// Encoding arbitrary bytes as hex substrings decodes back to the bytes.
TEST(HexString, RoundTripsRandomBytes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 40, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    std::string encoded = "pre<";
    static const char* digits[] = {"0123456789abcdef", "0123456789ABCDEF"};
    for (char c : bytes) {
      const char* d = digits[rng() % 2];
      encoded += d[static_cast<unsigned char>(c) >> 4];
      encoded += d[static_cast<unsigned char>(c) & 15];
    }
    encoded += ">post";
    EXPECT_EQ(decodeHexSubstrings(encoded), "pre" + bytes + "post");
  }
}

}  // namespace
}  // namespace Quillfeather
