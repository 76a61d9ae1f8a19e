#include <gtest/gtest.h>

#include <string>

#include "ppd/job_settings.h"

namespace Quillfeather {
namespace {

JobSettings parsed(std::string_view options) {
  JobSettings s;
  s.parseOptions(options);
  return s;
}

TEST(OptionString, TypicalString) {
  JobSettings s = parsed("PrintSpeed=4 noCutModule TransferMode=Custom.12.5 Title=a\\ b");
  EXPECT_EQ(s.get("PrintSpeed", ""), "4");
  EXPECT_EQ(s.get("CutModule", ""), "False");
  EXPECT_EQ(s.get("TransferMode", ""), "12.5");
  EXPECT_TRUE(s.isCustom("TransferMode"));
  EXPECT_FALSE(s.isCustom("PrintSpeed"));
  EXPECT_EQ(s.get("Title", ""), "a b");
}

TEST(OptionString, BooleanWords) {
  JobSettings s = parsed("no noX Y nonsense");
  EXPECT_EQ(s.get("no", ""), "True");
  EXPECT_EQ(s.get("X", ""), "False");
  EXPECT_EQ(s.get("Y", ""), "True");
  EXPECT_EQ(s.get("nsense", ""), "False");
}

TEST(OptionString, FirstEqualsSignSeparates) {
  JobSettings s = parsed("a=b=c d\\=e=f");
  EXPECT_EQ(s.get("a", ""), "b=c");
  EXPECT_EQ(s.get("d\\=e", ""), "f");  // names keep their backslashes
}

TEST(OptionString, ValueEscapes) {
  JobSettings s = parsed("A=x\\\\y B=\\\"q\\\" C=t\\\tn\\\n D=\\'s\\' E=\\\\");
  EXPECT_EQ(s.get("A", ""), "x\\y");
  EXPECT_EQ(s.get("B", ""), "\"q\"");
  EXPECT_EQ(s.get("C", ""), "t\tn\n");
  EXPECT_EQ(s.get("D", ""), "'s'");
  EXPECT_EQ(s.get("E", ""), "\\");
}

TEST(OptionString, QuotesAreOrdinary) {
  JobSettings s = parsed("A=\"x y\"");
  EXPECT_EQ(s.get("A", ""), "\"x");
  EXPECT_EQ(s.get("y\"", ""), "True");
}

TEST(OptionString, CustomPrefix) {
  JobSettings s = parsed("A=Custom. B=custom.1 C=Custom.Custom.2 D=\\Custom.3");
  EXPECT_EQ(s.get("A", "-"), "");
  EXPECT_TRUE(s.isCustom("A"));
  EXPECT_EQ(s.get("B", ""), "custom.1");
  EXPECT_FALSE(s.isCustom("B"));
  EXPECT_EQ(s.get("C", ""), "Custom.2");
  EXPECT_EQ(s.get("D", ""), "3");
  EXPECT_TRUE(s.isCustom("D"));
}

TEST(OptionString, CustomStaysUntilRemoved) {
  JobSettings s = parsed("X=Custom.1 X=2");
  EXPECT_EQ(s.get("X", ""), "2");
  EXPECT_TRUE(s.isCustom("X"));
  s.remove("X");
  EXPECT_FALSE(s.isCustom("X"));
  EXPECT_FALSE(s.contains("X"));
}

TEST(OptionString, EmptyTokens) {
  for (const char* options : {"", " ", "A=1  B=2", " A=1", "A=1 "}) {
    JobSettings s = parsed(options);
    EXPECT_EQ(s.get("", "-"), "True") << '"' << options << '"';
  }
  JobSettings s = parsed("A=1  B=2");
  EXPECT_EQ(s.get("A", ""), "1");
  EXPECT_EQ(s.get("B", ""), "2");
  EXPECT_FALSE(parsed("A=1").contains(""));
}

TEST(OptionString, TrailingBackslashDropsLastToken) {
  JobSettings s = parsed("A=1 B=2\\");
  EXPECT_EQ(s.get("A", ""), "1");
  EXPECT_FALSE(s.contains("B"));
  EXPECT_EQ(parsed("A=1\\\\").get("A", ""), "1\\");
  EXPECT_FALSE(parsed("\\").contains(""));
  JobSettings t = parsed("A=1 \\");
  EXPECT_EQ(t.get("A", ""), "1");
  EXPECT_FALSE(t.contains(""));
}

TEST(OptionString, OverridesEarlierValues) {
  JobSettings s;
  s.set("Copies", "1");
  s.parseOptions("Copies=3");
  EXPECT_EQ(s.get("Copies", ""), "3");
}

}  // namespace
}  // namespace Quillfeather
