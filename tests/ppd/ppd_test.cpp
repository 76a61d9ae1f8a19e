// The PPD parser, the PPD file lookups, escapes, hex substrings and the fuzz
// corpus's regression inputs of these, each with its exact outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ppd/escapes.h"
#include "ppd/hex_string.h"
#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"

namespace Quillfeather {
namespace {

using namespace std::string_literals;

PPDFile parsePPD(const std::string& text) {
  std::istringstream in(text);
  return PPDFile(in);
}

// "main|option|translation|type|value@line" of every statement, sorted; or
// "line: message" of the syntax error.
std::string outcome(PPDFile (*parse)(const std::string&), const std::string& arg) {
  try {
    std::set<std::string> statements;
    for (const auto& [keyword, s] : parse(arg)) {
      statements.insert(s.mainKeyword + "|" + s.optionKeyword + "|" + s.translation + "|" +
                        std::to_string(static_cast<int>(s.value.type)) + "|" + s.value.text + "@" +
                        std::to_string(s.line));
    }
    std::string out;
    for (const std::string& s : statements) out += (out.empty() ? "" : " ") + s;
    return out;
  } catch (const PPDSyntaxException& e) {
    return std::to_string(e.lineNumber()) + ": " + e.what();
  }
}
std::string outcome(const std::string& text) { return outcome(parsePPD, text); }

TEST(PPDParser, Statements) {
  const std::string v248(248, 'v'), k40(40, 'K');
  const std::pair<std::string, std::string> cases[] = {
      {"*PrintSpeed Fast/Fast Speed: \"<</Speed 4>>setpagedevice\"\n",
       "PrintSpeed|Fast|Fast Speed|0|<</Speed 4>>setpagedevice@1"},
      {"*OpenUI *PrintSpeed/Print Speed: PickOne\n", "OpenUI|*PrintSpeed|Print Speed|3|PickOne@1"},
      {"*Key: \"Label <41>B\"\n", "Key|||1|Label AB@1"},
      {"*Key: \"<4a>\"\n", "Key|||1|J@1"},
      {"*Key: \"a\" trailing ignored\n", "Key|||1|a@1"},
      {"*?Key: \"query <41>\"\n", "?Key|||0|query <41>@1"},
      {"*Key Opt: \"<41>\"\n", "Key|Opt||0|<41>@1"},
      {"*Key: ^Sym bol \n", "Key|||2|^Sym bol @1"},
      {"*Key: ^Sym\x01rest\n", "Key|||2|^Sym@1"},
      {"*Key:  plain text \t \r\n", "Key|||3|plain text@1"},
      {"*Key:\tv\n", "Key|||3|v@1"},
      {"*Key:   \n", "Key|||3|@1"},
      {"*Key Opt:   \n", "Key|Opt||3|@1"},
      {"*Key\n", "Key|||4|@1"},
      {"*Key \t \r\n", "Key|||4|@1"},
      {"*Key: \"\"\n", "Key|||1|@1"},
      {"*Key  a b /x/y :v\n", "Key|a b |x/y |3|v@1"},
      {"*Key/Text: v\n", "Key||Text|3|v@1"},
      {"*Key: a\rb\n", "Key|||3|a\rb@1"},
      {"*" + k40 + ": v\n", k40 + "|||3|v@1"},
      {"*Key: " + v248 + "\n", "Key|||3|" + v248 + "@1"},
      {"*Key: " + v248 + "\r\n", "Key|||3|" + v248 + "@1"},
      {"*PPD-Adobe: \"4.3\"\n*?Query: \"first\nsecond\r\nthird\" ignored\n*Next: x\n",
       "?Query|||0|first\nsecond\r\nthird@2 Next|||3|x@5 PPD-Adobe|||1|4.3@1"},
      {"*Key Opt: \"a\n*% not a comment here\n\n  \n\"\n",
       "Key|Opt||0|a\n*% not a comment here\n\n  \n@1"},
      {"*% comment\n\n \t \r\n\r\n*Key: v\n*%\n*Other\n", "Key|||3|v@5 Other|||4|@7"},
      {"*A: 1\n*B: two  ", "A|||3|1@1 B|||3|two@2"},
      {"*End", "End|||4|@1"},
      {"*Key:", "Key|||3|@1"},
      {"*Key O: \"x\ny\"", "Key|O||0|x\ny@1"},
      {"*%comment", ""},
      {" \t", ""},
      // Syntax errors.
      {"*A\nx", "2: Line too short"},
      {"*A\n*", "2: Line too short"},
      {"Key: v\n", "1: Invalid statement, missing preceding '*'"},
      {" *Key: v\n", "1: Invalid statement, missing preceding '*'"},
      {"\0*Key\n"s, "1: Invalid statement, missing preceding '*'"},
      {"*\n", "1: No main keyword"},
      {"*A\n\n* Key: v\n", "3: No main keyword"},
      {"*:v\n", "1: No main keyword"},
      {"*Ok\n*" + k40 + "K: v\n", "2: Main keyword exceeds 40 characters"},
      {"*Key Opt value\n", "1: Syntax error parsing option keyword"},
      {"*Key Opt:", "1: Unexpected end of line looking for value"},
      {"*Key Opt: \t", "1: Unexpected end of line looking for value"},
      {"*Key: \"open\n\"\n", "1: Unexpected end of line encountered while parsing quoted value"},
      {"*A\n*Key Opt: \"open\nmore\n",
       "2: Unexpected end of file encountered while parsing invocation value"},
      {"*?Key: \"open", "1: Unexpected end of file encountered while parsing invocation value"},
      {"*Key: \"a<41\"\n", "1: Unterminated hex string"},
      {"*Key: \"<4>\"\n", "1: Hex string is not multiple of 2 characters"},
      {"*Key: \"<4G>\"\n", "1: Not hexadecimal character"},
      {"*Key: \"<41 2>\"\n", "1: Not hexadecimal character"},
      {"*A\n*Key: " + v248 + "w\n", "2: Line exceeds 255 characters"},
      {"*Key: " + v248 + "w\r\n", "1: Line exceeds 255 characters"},
      {"*Key: " + v248 + "\rx\n", "1: Line exceeds 255 characters"},  // a lone CR counts
      {std::string(300, 'x'), "1: Line exceeds 255 characters"},
      {"*Key Opt: \"a\nshort\n" + std::string(255, 'x') + "\"\n", "3: Line exceeds 255 characters"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(outcome(text), expected) << text;
}

TEST(PPDParser, LongMultiLineValues) {
  std::string text = "*Key Opt: \"", expected;
  for (int i = 0; i < 10000; ++i)
    expected += "line " + std::to_string(i) + std::string(200, 'x') + "\n";
  PPDFile ppd = parsePPD(text + expected + "\"\n*After\n");
  EXPECT_EQ(ppd.first("Key").value.text, expected);
  EXPECT_EQ(ppd.first("After").line, 10002u);
  while (text.size() < (5u << 20)) text += std::string(200, 'x') + "\n";
  EXPECT_EQ(outcome(text), "1: Invocation value exceeds 4194304 characters");
}

TEST(PPDFile, Lookups) {
  PPDFile ppd = parsePPD(
      "*PPD-Adobe: \"4.3\"\n*OpenUI *PrintSpeed/Print Speed: PickOne\n*DefaultPrintSpeed: 3\n"
      "*PrintSpeed 2/Slow: \"\"\n*PrintSpeed 3/Normal: \"\"\n*PrintSpeed 4/Fast: \"\"\n"
      "*CloseUI: *PrintSpeed\n*TransferMode On: \"\"\n*DefaultCuttingMode: A\n"
      "*DefaultCuttingMode: B\n");
  EXPECT_EQ(ppd.getDefault("CuttingMode").text, "B");
  EXPECT_EQ(ppd.first("DefaultCuttingMode").line, 10u);
  std::vector<PPDStatement> speeds = ppd.findAll("PrintSpeed");
  ASSERT_EQ(speeds.size(), 3u);
  EXPECT_EQ(speeds[0].optionKeyword + speeds[1].optionKeyword + speeds[2].optionKeyword, "432");
  EXPECT_TRUE(ppd.findAll("Missing").empty());
  PPDStatement s;
  EXPECT_TRUE(ppd.find("PrintSpeed", s));
  EXPECT_EQ(s.optionKeyword, "4");
  s.line = 99;
  EXPECT_FALSE(ppd.find("printspeed", s));
  EXPECT_EQ(s.line, 0u);
  EXPECT_TRUE(s.mainKeyword.empty() && !s.hasValue());
  EXPECT_TRUE(ppd.contains("PrintSpeed"));
  EXPECT_FALSE(ppd.contains("printSpeed"));
  EXPECT_TRUE(ppd.isOption("PrintSpeed"));
  for (const char* no : {"printSpeed", "*PrintSpeed", "TransferMode"})  // choices without OpenUI
    EXPECT_FALSE(ppd.isOption(no)) << no;
  EXPECT_TRUE(ppd.isValidChoice("PrintSpeed", "2") && ppd.isValidChoice("PrintSpeed", "4"));
  EXPECT_FALSE(ppd.isValidChoice("PrintSpeed", "9") || ppd.isValidChoice("PrintSpeed", ""));
  EXPECT_FALSE(ppd.isValidChoice("TransferMode", "On"));
  EXPECT_EQ(ppd.size(), 10u);
  std::string order;
  for (const auto& [keyword, statement] : ppd) {
    EXPECT_EQ(keyword, statement.mainKeyword);
    if (keyword == "PrintSpeed" || keyword == "DefaultCuttingMode")
      order += std::to_string(statement.line);
  }
  EXPECT_TRUE(order == "654109" || order == "109654") << order;
  try {
    ppd.first("Missing");
    ADD_FAILURE();
  } catch (const PPDKeywordNotFoundException& e) {
    EXPECT_STREQ(e.what(), "Unknown main keyword");
  }
  try {
    ppd.getDefault("TransferMode");
    ADD_FAILURE();
  } catch (const PPDKeywordNotFoundException& e) {
    EXPECT_STREQ(e.what(), "DefaultTransferMode");
  }
}

TEST(PPDFile, UnreadableInputsAreEmpty) {
  PPDFile missing(std::string("/nonexistent/dir/file.ppd"));
  EXPECT_TRUE(missing.empty() && missing.begin() == missing.end());
  EXPECT_FALSE(missing.isOption("PrintSpeed"));
  EXPECT_TRUE(PPDFile(std::string("/")).empty());  // a directory opens but cannot be read
  std::istringstream failed("*Key: v\n");
  failed.setstate(std::ios::failbit);
  EXPECT_TRUE(PPDFile(failed).empty());
  std::istringstream in("garbage line\n*Key: v\n");  // parsing starts at the stream position
  std::string skipped;
  std::getline(in, skipped);
  EXPECT_EQ(PPDFile(in).first("Key").line, 1u);
}

TEST(Escapes, UnescapeAndEscape) {
  const std::pair<std::string, std::string> unescaped[] = {
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
      {"", ""}};
  for (const auto& [in, out] : unescaped) EXPECT_EQ(unescape(in), out) << in;
  const std::pair<std::string, std::string> escaped[] = {
      {"\xe9", "\\xe9"},        {"\"", "\\\""},     {"\x01", "\x01"},
      {"\x7f\x1c", "\x7f\x1c"}, {"a\0b"s, "a\\0b"}, {"\\\x1b\n\x80\xff", "\\\\\\e\\n\\x80\\xff"}};
  for (const auto& [in, out] : escaped) EXPECT_EQ(escape(in), out) << in;
  for (const std::string& in : {"\\q"s, "x\\1"s, "\\X41"s, "\\\n"s, "\\\0"s, "ok\\n\\?"s}) {
    try {
      unescape(in);
      ADD_FAILURE() << in;
    } catch (const UnknownEscapeException& e) {  // the message is the escape itself
      std::string escapeText = in.substr(in.rfind('\\'), 2);
      EXPECT_EQ(std::string(e.what()), escapeText.substr(0, escapeText.find('\0')));
    }
  }
}

// Every byte value, and random strings, survive escape then unescape.
TEST(Escapes, RoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(unescape(escape(all)), all);
  std::mt19937 rng(11);
  for (int round = 0; round < 500; ++round) {
    std::string s(rng() % 64, '\0');
    for (char& c : s) c = rng() % 4 == 0 ? "\\x4a"[rng() % 4] : static_cast<char>(rng());
    EXPECT_EQ(unescape(escape(s)), s);
  }
}

TEST(HexString, DecodesOrNamesTheError) {
  const std::pair<std::string, std::string> cases[] = {
      {"Label <41>B", "Label AB"},
      {"<4a>", "J"},
      {"<4A4a>", "JJ"},
      {"<>x<00>", "x\0"s},
      {"a>b", "a>b"},
      {"", ""},
      {"<41", "!Unterminated hex string"},
      {"<41><", "!Unterminated hex string"},
      {"<4>", "!Hex string is not multiple of 2 characters"},
      {"<414>", "!Hex string is not multiple of 2 characters"},
      {"<4G>", "!Not hexadecimal character"},
      {"<4 >", "!Not hexadecimal character"},
      {"<<1>", "!Not hexadecimal character"}};
  for (const auto& [text, expected] : cases) {
    try {
      EXPECT_EQ(decodeHexSubstrings(text), expected) << text;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ("!"s + e.what(), expected) << text;
    }
  }
  std::mt19937 rng(7);  // random bytes written as hex in either case decode back
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 40, '\0'), encoded = "pre<";
    for (char& c : bytes) {
      c = static_cast<char>(rng());
      const char* d = rng() % 2 ? "0123456789abcdef" : "0123456789ABCDEF";
      encoded += {d[static_cast<unsigned char>(c) >> 4], d[c & 15]};
    }
    EXPECT_EQ(decodeHexSubstrings(encoded + ">post"), "pre" + bytes + "post");
  }
}

std::string corpus(const std::string& target, const std::string& name) {
  std::ifstream in(std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
PPDFile ppdCorpus(const std::string& name) {
  return PPDFile(std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/ppd_parser/" + name);
}

TEST(RegressionInputs, PPDSyntaxErrors) {
  const std::pair<const char*, const char*> cases[] = {
      {"line_255", "2: Line exceeds 255 characters"},
      {"unterminated_quote", "2: Unexpected end of line encountered while parsing quoted value"},
      {"hex_odd_nibble", "2: Hex string is not multiple of 2 characters"},
      {"hex_non_hex", "2: Not hexadecimal character"},
      {"keyword_41_chars", "2: Main keyword exceeds 40 characters"},
      {"nul_leading_line", "2: Invalid statement, missing preceding '*'"}};
  for (auto [name, expected] : cases) EXPECT_EQ(outcome(ppdCorpus, name), expected) << name;
}

TEST(RegressionInputs, ParseWithTheirValues) {
  PPDFile line254 = ppdCorpus("line_254");
  EXPECT_EQ(line254.first("Key").value.text.size(), 248u);
  EXPECT_EQ(line254.first("After").line, 3u);
  PPDStatement s = ppdCorpus("multiline_value_long").first("JobSetup");
  EXPECT_EQ(s.line, 2u);
  EXPECT_EQ(s.value.type, PPDValueType::Invocation);
  EXPECT_EQ(s.value.text.substr(0, 6) + s.value.text.substr(s.value.text.size() - 4),
            "begin\n\nend");
  EXPECT_EQ(std::count(s.value.text.begin(), s.value.text.end(), '\n'), 301);
  EXPECT_EQ(ppdCorpus("multiline_value_long").first("End").line, 304u);
  PPDFile backslash = ppdCorpus("value_trailing_backslash");
  for (auto [keyword, value] :
       {std::pair{"Quoted", "abc\\"}, {"Plain", "abc\\"}, {"Opt", "x\\"}, {"Last", "end\\"}})
    EXPECT_EQ(backslash.first(keyword).value.text, value) << keyword;
  EXPECT_EQ(unescape(backslash.first("Plain").value.text), "abc\\");
  PPDFile model = ppdCorpus("model");
  EXPECT_TRUE(model.isValidChoice("PrintSpeed", "4"));
  EXPECT_EQ(model.first("Manufacturer").value.text, "Example A");
  EXPECT_EQ(unescape(model.first("ORNPreJobInsertion").value.text), "\x1bstart\n");
  EXPECT_EQ(model.first("Key").value.type, PPDValueType::None);
  EXPECT_EQ(model.first("Other").value.text, "value");
  JobSettings settings;
  EXPECT_TRUE(settings.loadCustomRanges(model));
  EXPECT_EQ(settings.get("FeedAdjustment.Maximum", ""), "5.000000");
  settings.parseOptions(corpus("option_string", "trailing_backslash"));
  EXPECT_EQ(settings.get("PrintSpeed", ""), "4");
  EXPECT_FALSE(settings.contains("Title"));
  settings.parseOptions(corpus("option_string", "empty_tokens"));
  EXPECT_EQ(settings.get("A", "") + settings.get("B", "") + settings.get("", ""), "1FalseTrue");
  EXPECT_EQ(unescape(corpus("unescape", "trailing_backslash")), "abc\\");
  EXPECT_EQ(unescape(corpus("unescape", "hex")),
            "\x1b"
            "A\xff\\x4\\xG1\\x");
  EXPECT_THROW(unescape(corpus("unescape", "unknown")), UnknownEscapeException);
}

}  // namespace
}  // namespace Quillfeather
