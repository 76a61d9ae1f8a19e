#include <gtest/gtest.h>

#include <string>

#include "ppd/ppd_file.h"
#include "ppd_test_support.h"

namespace Quillfeather {
namespace {

using Testing::expectSyntaxError;
using Testing::parsePPD;

// The one statement of text; its main keyword must be keyword.
PPDStatement only(const std::string& text, const std::string& keyword) {
  PPDFile ppd = parsePPD(text);
  EXPECT_EQ(ppd.size(), 1u) << text;
  if (ppd.empty()) return {};
  PPDStatement statement = (*ppd.begin()).second;
  EXPECT_EQ(statement.mainKeyword, keyword) << text;
  return statement;
}

TEST(PPDParser, OptionStatementWithInvocationValue) {
  PPDStatement s =
      only("*PrintSpeed Fast/Fast Speed: \"<</Speed 4>>setpagedevice\"\n", "PrintSpeed");
  EXPECT_EQ(s.line, 1u);
  EXPECT_EQ(s.mainKeyword, "PrintSpeed");
  EXPECT_EQ(s.optionKeyword, "Fast");
  EXPECT_EQ(s.translation, "Fast Speed");
  EXPECT_EQ(s.value.type, PPDValueType::Invocation);
  // Invocation values are not hex-decoded.
  EXPECT_EQ(s.value.text, "<</Speed 4>>setpagedevice");
}

TEST(PPDParser, OpenUIKeepsAsteriskOfOptionKeyword) {
  PPDStatement s = only("*OpenUI *PrintSpeed/Print Speed: PickOne\n", "OpenUI");
  EXPECT_EQ(s.optionKeyword, "*PrintSpeed");
  EXPECT_EQ(s.translation, "Print Speed");
  EXPECT_EQ(s.value.type, PPDValueType::String);
  EXPECT_EQ(s.value.text, "PickOne");
}

TEST(PPDParser, ValueTypes) {
  struct Case {
    std::string line;
    PPDValueType type;
    std::string text;
  };
  const Case cases[] = {
      {"*Key: \"Label <41>B\"\n", PPDValueType::Quoted, "Label AB"},
      {"*Key: \"<4a>\"\n", PPDValueType::Quoted, "J"},
      {"*Key: \"a\" trailing ignored\n", PPDValueType::Quoted, "a"},
      {"*?Key: \"query <41>\"\n", PPDValueType::Invocation, "query <41>"},
      {"*Key Opt: \"<41>\"\n", PPDValueType::Invocation, "<41>"},
      {"*Key: ^Sym bol \n", PPDValueType::Symbol, "^Sym bol "},
      {"*Key: ^Sym\x01rest\n", PPDValueType::Symbol, "^Sym"},
      {"*Key:  plain text \t \r\n", PPDValueType::String, "plain text"},
      {"*Key:\tv\n", PPDValueType::String, "v"},
      {"*Key:   \n", PPDValueType::String, ""},
      {"*Key Opt:   \n", PPDValueType::String, ""},
      {"*Key\n", PPDValueType::None, ""},
      {"*Key \t \r\n", PPDValueType::None, ""},
      {"*Key: \"\"\n", PPDValueType::Quoted, ""},
  };
  for (const Case& c : cases) {
    std::string keyword = c.line.substr(1, c.line.find_first_of(" :\n", 1) - 1);
    PPDStatement s = only(c.line, keyword);
    EXPECT_EQ(s.value.type, c.type) << c.line;
    EXPECT_EQ(s.value.text, c.text) << c.line;
  }
}

TEST(PPDParser, OptionPartIsKeptVerbatim) {
  PPDStatement s = only("*Key  a b /x/y :v\n", "Key");
  EXPECT_EQ(s.optionKeyword, "a b ");
  EXPECT_EQ(s.translation, "x/y ");
  // A slash right after the main keyword gives a translation without option keyword.
  PPDStatement t = only("*Key/Text: v\n", "Key");
  EXPECT_FALSE(t.hasOptionKeyword());
  EXPECT_EQ(t.translation, "Text");
  EXPECT_EQ(t.value.text, "v");
}

TEST(PPDParser, KeywordOnlyStatement) {
  PPDStatement s = only("*End\n", "End");
  EXPECT_FALSE(s.hasValue());
  EXPECT_FALSE(s.hasOptionKeyword());
  EXPECT_FALSE(s.hasTranslation());
}

TEST(PPDParser, MultiLineInvocation) {
  PPDFile ppd = parsePPD(
      "*PPD-Adobe: \"4.3\"\n"
      "*?Query: \"first\n"
      "second\r\n"
      "third\" ignored\n"
      "*Next: x\n");
  PPDStatement q = ppd.first("?Query");
  EXPECT_EQ(q.line, 2u);
  EXPECT_EQ(q.value.type, PPDValueType::Invocation);
  EXPECT_EQ(q.value.text, "first\nsecond\r\nthird");
  EXPECT_EQ(ppd.first("Next").line, 5u);
}

TEST(PPDParser, MultiLineContinuationLinesAreTakenWhole) {
  PPDStatement s = only("*Key Opt: \"a\n*% not a comment here\n\n  \n\"\n", "Key");
  EXPECT_EQ(s.value.text, "a\n*% not a comment here\n\n  \n");
}

TEST(PPDParser, CommentsAndBlankLinesAdvanceLineNumbers) {
  PPDFile ppd = parsePPD("*% comment\n\n \t \r\n\r\n*Key: v\n*%\n*Other\n");
  EXPECT_EQ(ppd.size(), 2u);
  EXPECT_EQ(ppd.first("Key").line, 5u);
  EXPECT_EQ(ppd.first("Other").line, 7u);
}

TEST(PPDParser, CRWithoutLFIsOrdinary) {
  PPDStatement s = only("*Key: a\rb\n", "Key");
  EXPECT_EQ(s.value.text, "a\rb");
}

TEST(PPDParser, KeywordLength) {
  std::string k40(40, 'K');
  EXPECT_EQ(only("*" + k40 + ": v\n", k40).mainKeyword, k40);
  expectSyntaxError("*Ok\n*" + std::string(41, 'K') + ": v\n", "Main keyword exceeds 40 characters",
                    2);
}

TEST(PPDParser, LineLength) {
  std::string head = "*Key: ";
  std::string line254 = head + std::string(254 - head.size(), 'v');
  EXPECT_EQ(only(line254 + "\n", "Key").value.text.size(), 254 - head.size());
  EXPECT_EQ(only(line254 + "\r\n", "Key").value.text.size(), 254 - head.size());
  expectSyntaxError("*A\n" + line254 + "w\n", "Line exceeds 255 characters", 2);
  expectSyntaxError(line254 + "w\r\n", "Line exceeds 255 characters", 1);
  // A CR that is not part of a CR LF ending counts.
  expectSyntaxError(line254 + "\rx\n", "Line exceeds 255 characters", 1);
  // Without any line ending at all.
  expectSyntaxError(std::string(300, 'x'), "Line exceeds 255 characters", 1);
}

TEST(PPDParser, ContinuationLinesHaveTheSameLimit) {
  expectSyntaxError("*Key Opt: \"a\nshort\n" + std::string(255, 'x') + "\"\n",
                    "Line exceeds 255 characters", 3);
}

TEST(PPDParser, SyntaxErrors) {
  struct Case {
    std::string text;
    std::string message;
    uint32_t line;
  };
  const Case cases[] = {
      {"*A\nx", "Line too short", 2},
      {"*A\n*", "Line too short", 2},
      {"Key: v\n", "Invalid statement, missing preceding '*'", 1},
      {" *Key: v\n", "Invalid statement, missing preceding '*'", 1},
      {std::string("\0*Key\n", 6), "Invalid statement, missing preceding '*'", 1},
      {"*\n", "No main keyword", 1},
      {"*A\n\n* Key: v\n", "No main keyword", 3},
      {"*:v\n", "No main keyword", 1},
      {"*Key Opt value\n", "Syntax error parsing option keyword", 1},
      {"*Key Opt:", "Unexpected end of line looking for value", 1},
      {"*Key Opt: \t", "Unexpected end of line looking for value", 1},
      {"*Key: \"open\n\"\n", "Unexpected end of line encountered while parsing quoted value", 1},
      {"*A\n*Key Opt: \"open\nmore\n",
       "Unexpected end of file encountered while parsing invocation value", 2},
      {"*?Key: \"open", "Unexpected end of file encountered while parsing invocation value", 1},
      {"*Key: \"a<41\"\n", "Unterminated hex string", 1},
      {"*Key: \"<4>\"\n", "Hex string is not multiple of 2 characters", 1},
      {"*Key: \"<4G>\"\n", "Not hexadecimal character", 1},
      {"*Key: \"<41 2>\"\n", "Not hexadecimal character", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    expectSyntaxError(c.text, c.message, c.line);
  }
}

TEST(PPDParser, FinalLineWithoutLineFeedIsAStatement) {
  PPDFile ppd = parsePPD("*A: 1\n*B: two  ");
  EXPECT_EQ(ppd.first("B").value.text, "two");
  EXPECT_EQ(ppd.first("B").line, 2u);
  EXPECT_FALSE(parsePPD("*End").first("End").hasValue());
  EXPECT_EQ(parsePPD("*Key:").first("Key").value.text, "");
  EXPECT_EQ(parsePPD("*Key O: \"x\"").first("Key").value.text, "x");
  EXPECT_EQ(parsePPD("*Key O: \"x\ny\"").first("Key").value.text, "x\ny");
  EXPECT_EQ(parsePPD("*%comment").size(), 0u);
  EXPECT_EQ(parsePPD(" \t").size(), 0u);
}

TEST(PPDParser, LongMultiLineValueGrows) {
  std::string text = "*Key Opt: \"";
  std::string expected;
  for (int i = 0; i < 10000; ++i) {
    std::string row = "line " + std::to_string(i) + " " + std::string(200, 'x') + "\n";
    text += row;
    expected += row;
  }
  text += "\"\n*After\n";
  PPDFile ppd = parsePPD(text);
  EXPECT_EQ(ppd.first("Key").value.text, expected);
  EXPECT_EQ(ppd.first("After").line, 10002u);
}

TEST(PPDParser, UnterminatedHugeValueIsBounded) {
  std::string row(200, 'x');
  row += "\n";
  std::string text = "*Key Opt: \"";
  while (text.size() < (5u << 20)) text += row;
  expectSyntaxError(text, "Invocation value exceeds 4194304 characters", 1);
}

}  // namespace
}  // namespace Quillfeather
