// The regression inputs kept in the fuzz corpus, each with its exact outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "ppd/escapes.h"
#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"

namespace Quillfeather {
namespace {

std::string corpusPath(const std::string& target, const std::string& name) {
  return std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name;
}

std::string readCorpus(const std::string& target, const std::string& name) {
  std::ifstream in(corpusPath(target, name), std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct SyntaxErrorCase {
  const char* name;
  const char* message;
  uint32_t line;
};

TEST(PPDRegressionInputs, FailWithTheirMessage) {
  const SyntaxErrorCase cases[] = {
      {"line_255", "Line exceeds 255 characters", 2},
      {"unterminated_quote", "Unexpected end of line encountered while parsing quoted value", 2},
      {"hex_odd_nibble", "Hex string is not multiple of 2 characters", 2},
      {"hex_non_hex", "Not hexadecimal character", 2},
      {"keyword_41_chars", "Main keyword exceeds 40 characters", 2},
      {"nul_leading_line", "Invalid statement, missing preceding '*'", 2},
  };
  for (const SyntaxErrorCase& c : cases) {
    try {
      PPDFile ppd(corpusPath("ppd_parser", c.name));
      ADD_FAILURE() << c.name << " parsed";
    } catch (const PPDSyntaxException& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
      EXPECT_EQ(e.lineNumber(), c.line) << c.name;
    }
  }
}

TEST(PPDRegressionInputs, Line254Parses) {
  PPDFile ppd(corpusPath("ppd_parser", "line_254"));
  EXPECT_EQ(ppd.first("Key").value.text.size(), 248u);
  EXPECT_EQ(ppd.first("After").line, 3u);
}

TEST(PPDRegressionInputs, MultilineValueLong) {
  PPDFile ppd(corpusPath("ppd_parser", "multiline_value_long"));
  PPDStatement s = ppd.first("JobSetup");
  EXPECT_EQ(s.line, 2u);
  EXPECT_EQ(s.value.type, PPDValueType::Invocation);
  EXPECT_EQ(s.value.text.substr(0, 6), "begin\n");
  EXPECT_EQ(s.value.text.substr(s.value.text.size() - 4), "\nend");
  EXPECT_EQ(std::count(s.value.text.begin(), s.value.text.end(), '\n'), 301);
  EXPECT_EQ(ppd.first("End").line, 304u);
}

TEST(PPDRegressionInputs, ValueTrailingBackslashStaysLiteral) {
  PPDFile ppd(corpusPath("ppd_parser", "value_trailing_backslash"));
  EXPECT_EQ(ppd.first("Quoted").value.text, "abc\\");
  EXPECT_EQ(ppd.first("Plain").value.text, "abc\\");
  EXPECT_EQ(ppd.first("Opt").value.text, "x\\");
  EXPECT_EQ(ppd.first("Last").value.text, "end\\");
  EXPECT_EQ(unescape(ppd.first("Plain").value.text), "abc\\");
}

TEST(PPDRegressionInputs, ModelSeedParses) {
  PPDFile ppd(corpusPath("ppd_parser", "model"));
  EXPECT_TRUE(ppd.isValidChoice("PrintSpeed", "4"));
  EXPECT_EQ(ppd.first("Manufacturer").value.text, "Example A");
  EXPECT_EQ(unescape(ppd.first("ORNPreJobInsertion").value.text), "\x1bstart\n");
  EXPECT_EQ(ppd.first("Key").value.type, PPDValueType::None);
  EXPECT_EQ(ppd.first("Other").value.text, "value");
  JobSettings settings;
  EXPECT_TRUE(settings.loadCustomRanges(ppd));
  EXPECT_EQ(settings.get("FeedAdjustment.Maximum", ""), "5.000000");
}

TEST(OptionRegressionInputs, TrailingBackslash) {
  JobSettings s;
  s.parseOptions(readCorpus("option_string", "trailing_backslash"));
  EXPECT_EQ(s.get("PrintSpeed", ""), "4");
  EXPECT_FALSE(s.contains("Title"));
}

TEST(OptionRegressionInputs, EmptyTokens) {
  JobSettings s;
  s.parseOptions(readCorpus("option_string", "empty_tokens"));
  EXPECT_EQ(s.get("A", ""), "1");
  EXPECT_EQ(s.get("B", ""), "False");
  EXPECT_EQ(s.get("", ""), "True");
}

TEST(UnescapeRegressionInputs, Outcomes) {
  EXPECT_EQ(unescape(readCorpus("unescape", "trailing_backslash")), "abc\\");
  EXPECT_EQ(unescape(readCorpus("unescape", "hex")),
            "\x1b"
            "A\xff\\x4\\xG1\\x");
  EXPECT_THROW(unescape(readCorpus("unescape", "unknown")), UnknownEscapeException);
}

}  // namespace
}  // namespace Quillfeather
