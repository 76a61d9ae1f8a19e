// The PPD parser, the PPD file lookups, escapes, hex substrings, job settings and option
// strings, and the fuzz corpus's regression inputs of these, each with its exact outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

#include "ppd/escapes.h"
#include "ppd/hex_string.h"
#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"
#include "support/error_of.h"

namespace Quillfeather {
namespace {

using namespace std::string_literals;

PPDFile parsePPD(const std::string& text) {
  std::istringstream in(text);
  return PPDFile(in);
}

JobSettings with(const std::string& name, const std::string& value) {
  JobSettings s;
  s.set(name, value);
  return s;
}

std::string corpus(const std::string& target, const std::string& name) {
  std::ifstream in(std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "main|option|translation|type|value@line" of every statement, sorted; or
// "line: message" of the syntax error.
std::string outcome(const std::string& text) {
  try {
    std::set<std::string> statements;
    for (const auto& [keyword, s] : parsePPD(text)) {
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

TEST(PPDParser, Statements) {
  const std::string v248(248, 'v'), k40(40, 'K');
  const std::pair<std::string, std::string> cases[] = {
      {"*PrintSpeed Fast/Fast Speed: \"<</Speed 4>>setpagedevice\"\n",
       "PrintSpeed|Fast|Fast Speed|0|<</Speed 4>>setpagedevice@1"},
      {"*Key: \"Label <41>B\"\n", "Key|||1|Label AB@1"},
      {"*?Key: \"query <41>\"\n", "?Key|||0|query <41>@1"},
      {"*Key: ^Sym bol\x01rest\n", "Key|||2|^Sym bol@1"},
      {"*Key:  plain text \t \r\n", "Key|||3|plain text@1"},
      {"*Key  a b /x/y :v\n", "Key|a b |x/y |3|v@1"},
      {"*" + k40 + ": v\n", k40 + "|||3|v@1"},
      {"*Key: " + v248 + "\r\n", "Key|||3|" + v248 + "@1"},
      {"*PPD-Adobe: \"4.3\"\n*?Query: \"first\nsecond\r\nthird\" ignored\n*Next: x\n",
       "?Query|||0|first\nsecond\r\nthird@2 Next|||3|x@5 PPD-Adobe|||1|4.3@1"},
      {"*% comment\n\n \t \r\n\r\n*Key: v\n*%\n*Other\n", "Key|||3|v@5 Other|||4|@7"},
      {"*A: 1\n*B: two  ", "A|||3|1@1 B|||3|two@2"},
      // Syntax errors.
      {"*A\nx", "2: Line too short"},
      {"*\n", "1: No main keyword"},
      {"*Key Opt value\n", "1: Syntax error parsing option keyword"},
      {"*Key Opt: \t", "1: Unexpected end of line looking for value"},
      {"*A\n*Key Opt: \"open\nmore\n",
       "2: Unexpected end of file encountered while parsing invocation value"},
      {"*Key: " + v248 + "\rx\n", "1: Line exceeds 255 characters"},  // a lone CR counts
      {"*Key Opt: \"a\nshort\n" + std::string(255, 'x') + "\"\n", "3: Line exceeds 255 characters"},
      // Regression inputs of the fuzz corpus.
      {corpus("ppd_parser", "line_255"), "2: Line exceeds 255 characters"},
      {corpus("ppd_parser", "unterminated_quote"),
       "2: Unexpected end of line encountered while parsing quoted value"},
      {corpus("ppd_parser", "hex_odd_nibble"), "2: Hex string is not multiple of 2 characters"},
      {corpus("ppd_parser", "hex_non_hex"), "2: Not hexadecimal character"},
      {corpus("ppd_parser", "keyword_41_chars"), "2: Main keyword exceeds 40 characters"},
      {corpus("ppd_parser", "nul_leading_line"), "2: Invalid statement, missing preceding '*'"},
      {corpus("ppd_parser", "line_254"),
       "After|||3|ok@3 Key|||3|" + v248 + "@2 PPD-Adobe|||1|4.3@1"},
      {corpus("ppd_parser", "value_trailing_backslash"),
       "Last|||3|end\\@5 Opt|A||0|x\\@4 PPD-Adobe|||1|4.3@1 Plain|||3|abc\\@3 Quoted|||1|abc\\@2"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(outcome(text), expected) << text;
}

TEST(PPDParser, InvocationValueLimit) {
  std::string text = "*Key Opt: \"";
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
  std::string speeds;
  for (const PPDStatement& s : ppd.findAll("PrintSpeed")) speeds += s.optionKeyword;
  EXPECT_EQ(speeds, "432");
  EXPECT_TRUE(ppd.findAll("Missing").empty() && !ppd.contains("Missing"));
  PPDStatement s;
  EXPECT_TRUE(ppd.find("PrintSpeed", s) && s.optionKeyword == "4");
  s.line = 99;
  EXPECT_FALSE(ppd.find("Missing", s));
  EXPECT_TRUE(s.line == 0 && s.mainKeyword.empty() && !s.hasValue());
  EXPECT_TRUE(ppd.isOption("PrintSpeed") && !ppd.isOption("TransferMode"));  // no OpenUI
  EXPECT_TRUE(ppd.isValidChoice("PrintSpeed", "2") && ppd.isValidChoice("PrintSpeed", "4"));
  EXPECT_FALSE(ppd.isValidChoice("PrintSpeed", "9") || ppd.isValidChoice("PrintSpeed", "") ||
               ppd.isValidChoice("TransferMode", "On"));
  EXPECT_EQ(ppd.size(), 10u);
  EXPECT_EQ(OrnTest::errorOf<PPDKeywordNotFoundException>([&] { ppd.first("Missing"); }),
            "Unknown main keyword");
  EXPECT_EQ(OrnTest::errorOf<PPDKeywordNotFoundException>([&] { ppd.getDefault("TransferMode"); }),
            "DefaultTransferMode");
}

TEST(PPDFile, UnreadableInputsAreEmpty) {
  PPDFile missing(std::string("/nonexistent/dir/file.ppd"));
  EXPECT_TRUE(missing.empty() && missing.begin() == missing.end());
  EXPECT_TRUE(PPDFile(std::string("/")).empty());  // a directory opens but cannot be read
}

TEST(Escapes, UnescapeAndEscape) {
  const std::pair<std::string, std::string> unescaped[] = {
      {"\\\\x41", "\\x41"},
      {"\\\"\\a\\b\\e\\f\\n\\r\\t\\v\\0.", "\"\a\b\x1b\f\n\r\t\v\0."s},
      {corpus("unescape", "trailing_backslash"), "abc\\"},
      {corpus("unescape", "hex"), "\033A\xff\\x4\\xG1\\x"}};
  for (const auto& [in, out] : unescaped) EXPECT_EQ(unescape(in), out) << in;
  const std::pair<std::string, std::string> escaped[] = {
      {"\xe9", "\\xe9"},        {"\"", "\\\""},     {"\x01", "\x01"},
      {"\x7f\x1c", "\x7f\x1c"}, {"a\0b"s, "a\\0b"}, {"\\\x1b\n\x80\xff", "\\\\\\e\\n\\x80\\xff"}};
  for (const auto& [in, out] : escaped) EXPECT_EQ(escape(in), out) << in;
  std::string all;  // every byte value survives escape then unescape
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(unescape(escape(all)), all);
  // The message is the escape itself.
  EXPECT_EQ(OrnTest::errorOf<UnknownEscapeException>([] { unescape("ok\\n\\X41"); }), "\\X");
  EXPECT_EQ(
      OrnTest::errorOf<UnknownEscapeException>([] { unescape(corpus("unescape", "unknown")); }),
      "\\q");
}

TEST(HexString, DecodesOrNamesTheError) {
  const std::pair<std::string, std::string> cases[] = {
      {"<4A4a>", "JJ"},
      {"<>x<00>", "x\0"s},
      {"<41", "!Unterminated hex string"},
      {"< 1>", "!Not hexadecimal character"}};  // the odd count and a bad low digit: corpus inputs
  for (const auto& [text, expected] : cases) {
    try {
      EXPECT_EQ(decodeHexSubstrings(text), expected) << text;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ("!"s + e.what(), expected) << text;
    }
  }
}

TEST(RegressionInputs, ParseWithTheirValues) {
  PPDFile multiline = parsePPD(corpus("ppd_parser", "multiline_value_long"));
  PPDStatement s = multiline.first("JobSetup");
  EXPECT_EQ(s.line, 2u);
  EXPECT_EQ(s.value.type, PPDValueType::Invocation);
  EXPECT_EQ(s.value.text.substr(0, 6) + s.value.text.substr(s.value.text.size() - 4),
            "begin\n\nend");
  EXPECT_EQ(std::count(s.value.text.begin(), s.value.text.end(), '\n'), 301);
  EXPECT_EQ(multiline.first("End").line, 304u);
  PPDFile model = parsePPD(corpus("ppd_parser", "model"));
  EXPECT_TRUE(model.isValidChoice("PrintSpeed", "4"));
  EXPECT_EQ(model.first("Manufacturer").value.text, "Example A");
  EXPECT_EQ(unescape(model.first("ORNPreJobInsertion").value.text), "\x1bstart\n");
  EXPECT_EQ(model.first("Key").value.type, PPDValueType::None);
  JobSettings settings;
  EXPECT_TRUE(settings.loadCustomRanges(model));
  EXPECT_EQ(settings.get("FeedAdjustment.Maximum", ""), "5.000000");
}

TEST(JobSettings, RemoveAndMove) {
  JobSettings s;
  s.parseOptions("A=Custom.1");
  s.remove("A");
  EXPECT_FALSE(s.contains("A") || s.isCustom("A"));
  s.parseOptions("A=Custom.1");
  JobSettings moved = std::move(s);
  EXPECT_FALSE(s.contains("A") || s.isCustom("A"));  // NOLINT(bugprone-use-after-move)
  JobSettings assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.contains("A") || moved.isCustom("A"));  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(assigned.get("A", "") == "1" && assigned.isCustom("A"));
}

// getBool; then each text as tryGetLong, getLongLong and tryGetDouble read it ("-": refused).
TEST(JobSettings, Readings) {
  for (const char* t : {"True", "true", "Enabled", "enabled"})
    EXPECT_TRUE(with("B", t).getBool("B", false)) << t;
  for (const char* f : {"False", "false", "Disabled", "disabled"})
    EXPECT_FALSE(with("B", f).getBool("B", true)) << f;
  for (const char* other : {"TRUE", "yes", "1", "", " true"})
    EXPECT_TRUE(with("B", other).getBool("B", true) && !with("B", other).getBool("B", false));
  const std::pair<std::string, const char*> cases[] = {
      {" \t\n+42", "42 42 42"},
      {"2147483647", "2147483647 2147483647 2147483647"},
      {"-2147483648", "-2147483648 -2147483648 -2147483648"},
      {"2147483648", "- 2147483648 2147483648"},
      {"-2147483649", "- -2147483649 -2147483649"},
      {"9223372036854775808", "- - 9.2233720368547758e+18"},
      {"nan", "- - nan"},
      {"", "- - -"},
      {"abc", "- - -"},
      {"1e999", "- - -"},
      {"4\0002"s, "- - -"}};  // "4", NUL, "2"
  for (const auto& [text, expected] : cases) {
    const JobSettings s = with("N", text);
    int32_t asLong = 123;
    double asDouble = -1;
    const bool isLong = s.tryGetLong("N", asLong), isDouble = s.tryGetDouble("N", asDouble);
    const int64_t asLongLong = s.getLongLong("N", 1);
    std::ostringstream got;
    got.precision(17);
    got << (isLong ? std::to_string(asLong) : "-") << ' '
        << (asLongLong != 1 ? std::to_string(asLongLong) : "-") << ' ';
    (isDouble ? got << asDouble : got << '-');
    EXPECT_EQ(got.str(), expected) << text;
    EXPECT_TRUE((isLong || asLong == 123) && (isDouble || asDouble == -1)) << text;  // untouched
  }
}

TEST(JobSettings, RangesAndTenths) {
  JobSettings s;
  s.parseOptions("X.Minimum=-5 X.Maximum=5 Y.Minimum=1.5 Y.Maximum=2.5 Z.Minimum=1");
  int32_t lo = 99, hi = 99;
  EXPECT_FALSE(s.getLongRange("Y", lo, hi) || s.getLongRange("Z", lo, hi));  // not integers; no max
  EXPECT_TRUE(lo == 99 && hi == 99);
  EXPECT_TRUE(s.getLongRange("X", lo, hi) && lo == -5 && hi == 5);
  double dlo = 0, dhi = 0;
  EXPECT_TRUE(s.getDoubleRange("Y", dlo, dhi) && dlo == 1.5 && dhi == 2.5);
  // The text ("-" for a missing name), min, max, default and the tenths.
  const std::tuple<std::string, double, double, double, int32_t> cases[] = {
      {"7.25", 0, 5, 1, 50},
      {"-0.05", 0, 5, 1, 0},
      {"-2.25", -5, 5, 1, -23},
      {"-", 0, 5, 9, 50},
      {"nan", -1e300, 1e300, 2, 20},
      {"1e300", -1e300, 1e300, 0, INT32_MAX},
      {"-1e300", -1e300, 1e300, 0, INT32_MIN},
      {"-", 0, 1e300, std::nan(""), 0}};
  for (const auto& [text, min, max, def, expected] : cases) {
    JobSettings t = text == "-" ? JobSettings() : with("T", text);
    EXPECT_EQ(t.getTenths("T", min, max, def), expected) << text;
  }
  JobSettings f = with("F", "7");
  int32_t out = 123;
  EXPECT_FALSE(f.getCustomTenths("F", out, 0));  // no range
  f.parseOptions("F.Minimum=-5.000000 F.Maximum=5.000000");
  EXPECT_TRUE(f.getCustomTenths("F", out, 0) && out == 50);
  f.remove("F");
  EXPECT_FALSE(f.getCustomTenths("F", out, 0));  // range without value
  EXPECT_EQ(out, 50);
}

TEST(JobSettings, LoadDefaultsAndRanges) {
  JobSettings s;
  EXPECT_TRUE(s.loadDefaults(
      parsePPD("*DefaultCuttingMode: First\n*DefaultUnreadOption: Value\n*DefaultQuoted: \"q\"\n"
               "*DefaultSymbol: ^S\n*Default\n*Default: bare\n*DefaultCuttingMode: Second\n")));
  EXPECT_EQ(s.get("CuttingMode", "") + s.get("UnreadOption", ""), "FirstValue");  // first wins
  EXPECT_FALSE(s.contains("Quoted") || s.contains("Symbol") || s.contains(""));
  const std::pair<const char*, const char*> ranges[] = {{"1 real -5 5", "-5.000000 5.000000"},
                                                        {"1 points 0.5 1e2", "0.500000 100.000000"},
                                                        {"2 string 1 64", "1 64"},
                                                        {"1 float 0 1", "- -"},
                                                        {"1 int 0", "- -"},
                                                        {"x int 0 1", "- -"}};
  for (auto [value, expected] : ranges) {
    JobSettings r;
    bool loaded = r.loadCustomRanges(parsePPD("*ParamCustomFeed Adj/Adjust: "s + value + "\n"));
    EXPECT_EQ(loaded, expected != "- -"s) << value;
    EXPECT_EQ(r.get("Feed.Minimum", "-") + " " + r.get("Feed.Maximum", "-"), expected);
  }
  JobSettings r;
  EXPECT_TRUE(
      r.loadCustomRanges(parsePPD("*ParamCustomX A: 1 int 0 10\n*ParamCustomX B: 2 int 5 "
                                  "6\n*ParamCustomY A: \"1 int 0 1\"\n")));
  EXPECT_EQ(r.get("X.Minimum", "") + " " + r.get("X.Maximum", ""), "0 10");
  EXPECT_FALSE(r.contains("Y.Minimum"));  // needs a string value
}

// The settings an option string gives, as "name=value" ("name*=" where custom). The
// escapes cupsd writes are compared with libcups in the oracle tests.
TEST(OptionString, Parses) {
  const std::pair<std::string, const char*> cases[] = {
      {"PrintSpeed=4 noCutModule TransferMode=Custom.12.5 Title=a\\ b",
       "CutModule=False PrintSpeed=4 Title=a b TransferMode*=12.5"},
      {"no noX Y nonsense", "X=False Y=True no=True nsense=False"},
      {"a=b=c d\\=e=f", "a=b=c d\\=e=f"},  // names keep their backslashes
      {"A=\"x y\"", "A=\"x y\"=True"},
      {"A=Custom. B=custom.1 C=Custom.Custom.2 D=\\Custom.3", "A*= B=custom.1 C*=Custom.2 D*=3"},
      {"X=Custom.1 X=2", "X*=2"},
      {"A=1\\\\", "A=1\\"},
      {corpus("option_string", "trailing_backslash"), "PrintSpeed=4"},
      {corpus("option_string", "empty_tokens"), "=True A=1 B=False"}};
  const char* names[] = {
      "",  "A", "B", "C",     "CutModule", "D",      "PrintSpeed", "Title", "TransferMode",
      "X", "Y", "a", "d\\=e", "no",        "nsense", "y\""};
  for (auto [options, expected] : cases) {
    JobSettings s;
    s.parseOptions(options);
    std::string got;
    for (const char* name : names) {
      if (!s.contains(name)) continue;
      got += (got.empty() ? ""s : " "s) + name + (s.isCustom(name) ? "*=" : "=") + s.get(name, "");
    }
    EXPECT_EQ(got, expected) << options;
  }
}

}  // namespace
}  // namespace Quillfeather
