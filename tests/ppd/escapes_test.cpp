#include "ppd/escapes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace Quillfeather {
namespace {

using namespace std::string_literals;

TEST(Escapes, UnescapeTable) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain \x01\x7f text", "plain \x01\x7f text"},
      {"\\x1b", "\x1b"},
      {"\\x41", "A"},
      {"\\xfF\\xFf", "\xff\xff"},
      {"\\x4", "\\x4"},
      {"\\xG1rest", "\\xG1rest"},
      {"\\x", "\\x"},
      {"\\\\n", "\\n"},
      {"\\\\x41", "\\x41"},
      {"a\\0b", "a\0b"s},
      {"\\\"\\a\\b\\e\\f\\n\\r\\t\\v", "\"\a\b\x1b\f\n\r\t\v"},
      {"end\\", "end\\"},
      {"\\", "\\"},
      {"\\x\\n", "\\x\n"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(unescape(c.in), c.out) << c.in;
}

TEST(Escapes, UnknownEscape) {
  const std::string bad[] = {"\\q", "x\\1", "\\X41", "\\\n", "\\\0"s, "ok\\n\\?"};
  for (const std::string& in : bad) {
    try {
      unescape(in);
      ADD_FAILURE() << in;
    } catch (const UnknownEscapeException& e) {
      std::string escapeText = in.substr(in.rfind('\\'), 2);
      EXPECT_EQ(std::string(e.what(), escapeText.size()), escapeText);
      EXPECT_EQ(std::string(e.what()).size(), escapeText.find('\0') == std::string::npos ? 2u : 1u);
    }
  }
}

TEST(Escapes, Escape) {
  EXPECT_EQ(escape("\xe9"), "\\xe9");
  EXPECT_EQ(escape("\""), "\\\"");
  EXPECT_EQ(escape("\x01"), "\x01");
  EXPECT_EQ(escape("\x7f\x1c"), "\x7f\x1c");
  EXPECT_EQ(escape("a\0b"s), "a\\0b");
  EXPECT_EQ(escape("\\\x1b\n\x80\xff"), "\\\\\\e\\n\\x80\\xff");
}

// Every byte value, and random strings, survive escape then unescape.
TEST(Escapes, RoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(unescape(escape(all)), all);
  std::mt19937 rng(11);
  for (int round = 0; round < 500; ++round) {
    std::string s(rng() % 64, '\0');
    // Favour backslashes and x so that escape-like sequences appear.
    for (char& c : s) c = rng() % 4 == 0 ? "\\x4a"[rng() % 4] : static_cast<char>(rng());
    EXPECT_EQ(unescape(escape(s)), s);
  }
}

}  // namespace
}  // namespace Quillfeather
