#include "ppd/job_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace Quillfeather {
namespace {

using namespace std::string_literals;

JobSettings with(const std::string& name, const std::string& value) {
  JobSettings s;
  s.set(name, value);
  return s;
}

PPDFile parsePPD(const std::string& text) {
  std::istringstream in(text);
  return PPDFile(in);
}

TEST(JobSettings, StoreCopyAndMove) {
  JobSettings s;
  EXPECT_FALSE(s.contains(""));
  s.set("", "empty name");
  EXPECT_EQ(s.get("", "d"), "empty name");
  s.set("A", "1");
  s.set("A", "2");
  EXPECT_EQ(s.get("A", "d") + s.get("a", "d"), "2d");
  s.remove("A");
  s.remove("NotThere");
  EXPECT_FALSE(s.contains("A"));
  s.parseOptions("A=Custom.1");
  JobSettings copy = s;
  EXPECT_TRUE(copy.isCustom("A"));
  EXPECT_EQ(copy.get("A", ""), "1");
  JobSettings moved = std::move(s);
  EXPECT_TRUE(moved.isCustom("A"));
  EXPECT_FALSE(s.contains("A") || s.isCustom("A"));  // NOLINT(bugprone-use-after-move)
  moved.set("B", "2");
  copy = std::move(moved);
  EXPECT_FALSE(moved.contains("A"));  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(copy.get("B", ""), "2");
  EXPECT_TRUE(copy.isCustom("A"));
}

TEST(JobSettings, GetBool) {
  for (const char* t : {"True", "true", "Enabled", "enabled"})
    EXPECT_TRUE(with("B", t).getBool("B", false)) << t;
  for (const char* f : {"False", "false", "Disabled", "disabled"})
    EXPECT_FALSE(with("B", f).getBool("B", true)) << f;
  for (const char* other : {"TRUE", "yes", "1", "", " true"}) {
    EXPECT_TRUE(with("B", other).getBool("B", true)) << other;
    EXPECT_FALSE(with("B", other).getBool("B", false)) << other;
  }
  EXPECT_TRUE(JobSettings().getBool("B", true));
}

TEST(JobSettings, Numbers) {
  const std::pair<std::string, int32_t> longs[] = {// -7 is the default
                                                   {" 42", 42},
                                                   {"\t\n+42", 42},
                                                   {"-42", -42},
                                                   {"42 ", -7},
                                                   {"0x10", -7},
                                                   {"", -7},
                                                   {"abc", -7},
                                                   {"2147483647", INT32_MAX},
                                                   {"-2147483648", INT32_MIN},
                                                   {"2147483648", -7},
                                                   {"-2147483649", -7},
                                                   {"99999999999999999999", -7},
                                                   {"4\0"
                                                    "2"s,
                                                    -7},
                                                   {"010", 10}};
  for (const auto& [text, expected] : longs) {
    EXPECT_EQ(with("N", text).getLong("N", -7), expected) << text;
    int32_t out = 123;
    bool ok = with("N", text).tryGetLong("N", out);
    EXPECT_EQ(ok, expected != -7) << text;
    EXPECT_EQ(out, ok ? expected : 123) << text;
  }
  EXPECT_EQ(JobSettings().getLong("N", 5), 5);
  EXPECT_EQ(with("N", "9223372036854775807").getLongLong("N", 1), INT64_MAX);
  EXPECT_EQ(with("N", "9223372036854775808").getLongLong("N", 1), 1);
  EXPECT_EQ(with("N", " -5000000000").getLongLong("N", 1), -5000000000LL);
  EXPECT_EQ(with("N", "5x").getLongLong("N", 1), 1);
  const std::pair<std::string, double> doubles[] = {
      // -1: refused
      {"1e2", 100}, {" 2.5", 2.5}, {"0x1p4", 16}, {"-inf", -HUGE_VAL},
      {"2.5 ", -1}, {"", -1},      {"1e999", -1}, {"abc", -1}};
  for (const auto& [text, expected] : doubles) {
    double out = -1;
    EXPECT_EQ(with("D", text).tryGetDouble("D", out), expected != -1) << text;
    EXPECT_EQ(out, expected) << text;
  }
  double out = 0;
  EXPECT_TRUE(with("D", "nan").tryGetDouble("D", out) && std::isnan(out));
}

TEST(JobSettings, Ranges) {
  JobSettings s;
  s.parseOptions("X.Minimum=-5 X.Maximum=5 Y.Minimum=1.5 Y.Maximum=2.5 Z.Minimum=1");
  int32_t lo = 99, hi = 99;
  EXPECT_TRUE(s.getLongRange("X", lo, hi));
  EXPECT_EQ(std::pair(lo, hi), std::pair(-5, 5));
  lo = hi = 99;
  EXPECT_FALSE(s.getLongRange("Y", lo, hi));  // not integers
  EXPECT_FALSE(s.getLongRange("Z", lo, hi));  // no maximum
  EXPECT_EQ(std::pair(lo, hi), std::pair(99, 99));
  double dlo = 0, dhi = 0;
  EXPECT_TRUE(s.getDoubleRange("Y", dlo, dhi));
  EXPECT_EQ(std::pair(dlo, dhi), std::pair(1.5, 2.5));
  EXPECT_FALSE(s.getDoubleRange("Z", dlo, dhi));
  EXPECT_EQ(dlo, 1.5);
}

TEST(JobSettings, Tenths) {
  struct Case {
    std::string text;  // "-" for a missing name
    double min, max, def;
    int32_t expected;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {{"7.25", 0, 5, 1, 50},
                        {"-0.05", 0, 5, 1, 0},
                        {"2.25", 0, 5, 1, 23},
                        {"-2.25", -5, 5, 1, -23},
                        {"2.24", 0, 5, 1, 22},
                        {"x", 0, 5, 1.5, 15},
                        {"-", 0, 5, 9, 50},
                        {"-", 0, 5, -9, 0},
                        {"nan", 0, 5, 1.5, 15},
                        {"nan", -1e300, 1e300, 2, 20},
                        {"1e300", -1e300, 1e300, 0, INT32_MAX},
                        {"-1e300", -1e300, 1e300, 0, INT32_MIN},
                        {"inf", -inf, inf, 0, INT32_MAX},
                        {"214748364.7", -inf, inf, 0, INT32_MAX}};
  for (const Case& c : cases) {
    JobSettings s = c.text == "-" ? JobSettings() : with("T", c.text);
    EXPECT_EQ(s.getTenths("T", c.min, c.max, c.def), c.expected) << c.text;
  }
  EXPECT_EQ(JobSettings().getTenths("T", -inf, inf, std::nan("")), 0);
  JobSettings s = with("F", "7");
  int32_t out = 123;
  EXPECT_FALSE(s.getCustomTenths("F", out, 0));  // no range
  s.parseOptions("F.Minimum=-5.000000 F.Maximum=5.000000");
  EXPECT_TRUE(s.getCustomTenths("F", out, 0));
  EXPECT_EQ(out, 50);
  s.remove("F");
  out = 123;
  EXPECT_FALSE(s.getCustomTenths("F", out, 0));  // range without value
  EXPECT_EQ(out, 123);
}

TEST(JobSettings, LoadDefaultsAndRanges) {
  JobSettings s;
  EXPECT_TRUE(s.loadDefaults(
      parsePPD("*DefaultCuttingMode: First\n*DefaultUnreadOption: Value\n*DefaultQuoted: \"q\"\n"
               "*DefaultSymbol: ^S\n*Default\n*Default: bare\n*DefaultCuttingMode: Second\n")));
  EXPECT_EQ(s.get("CuttingMode", "") + s.get("UnreadOption", ""), "FirstValue");  // first wins
  EXPECT_FALSE(s.contains("Quoted") || s.contains("Symbol") || s.contains(""));
  EXPECT_FALSE(JobSettings().loadDefaults(parsePPD("*Default: x\n*Other: y\n")));
  const std::pair<const char*, const char*> ranges[] = {{"1 real -5 5", "-5.000000 5.000000"},
                                                        {"1 points 0.5 1e2", "0.500000 100.000000"},
                                                        {"1 curve 0 1", "0.000000 1.000000"},
                                                        {"1 invcurve 0 1", "0.000000 1.000000"},
                                                        {"1 int 0 100", "0 100"},
                                                        {"2 passcode 1 8", "1 8"},
                                                        {"2 password 1 8", "1 8"},
                                                        {"2 string 1 64", "1 64"},
                                                        {"1 Real 0 1", ""},
                                                        {"1 float 0 1", ""},
                                                        {"1 int 0", ""},
                                                        {"1 int 0.5 2", ""},
                                                        {"x int 0 1", ""},
                                                        {"1 int 0 99999999999", ""}};
  for (auto [value, expected] : ranges) {
    JobSettings r;
    bool loaded = r.loadCustomRanges(parsePPD("*ParamCustomFeed Adj/Adjust: "s + value + "\n"));
    EXPECT_EQ(loaded, *expected != '\0') << value;
    EXPECT_EQ(loaded ? r.get("Feed.Minimum", "") + " " + r.get("Feed.Maximum", "") : "", expected);
    EXPECT_EQ(r.contains("Feed.Minimum"), loaded) << value;
  }
  JobSettings r;
  EXPECT_TRUE(
      r.loadCustomRanges(parsePPD("*ParamCustomX A: 1 int 0 10\n*ParamCustomX B: 2 int 5 "
                                  "6\n*ParamCustomY A: \"1 int 0 1\"\n")));
  EXPECT_EQ(r.get("X.Minimum", "") + " " + r.get("X.Maximum", ""), "0 10");
  EXPECT_FALSE(r.contains("Y.Minimum"));  // needs a string value
}

// The settings an option string gives, as "name=value" ("name*=" where custom).
TEST(OptionString, Parses) {
  const std::pair<const char*, const char*> cases[] = {
      {"PrintSpeed=4 noCutModule TransferMode=Custom.12.5 Title=a\\ b",
       "CutModule=False PrintSpeed=4 Title=a b TransferMode*=12.5"},
      {"no noX Y nonsense", "X=False Y=True no=True nsense=False"},
      {"a=b=c d\\=e=f", "a=b=c d\\=e=f"},  // names keep their backslashes
      {"A=x\\\\y B=\\\"q\\\" C=t\\\tn\\\n D=\\'s\\' E=\\\\", "A=x\\y B=\"q\" C=t\tn\n D='s' E=\\"},
      {"A=\"x y\"", "A=\"x y\"=True"},
      {"A=Custom. B=custom.1 C=Custom.Custom.2 D=\\Custom.3", "A*= B=custom.1 C*=Custom.2 D*=3"},
      {"X=Custom.1 X=2", "X*=2"},
      {"", "=True"},
      {" ", "=True"},
      {"A=1  B=2", "=True A=1 B=2"},
      {" A=1", "=True A=1"},
      {"A=1 ", "=True A=1"},
      {"A=1", "A=1"},
      {"A=1 B=2\\", "A=1"},
      {"A=1\\\\", "A=1\\"},
      {"\\", ""},
      {"A=1 \\", "A=1"}};
  const char* names[] = {
      "",  "A", "B", "C",     "CutModule", "D",      "E",  "PrintSpeed", "Title", "TransferMode",
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
  JobSettings s = with("Copies", "1");
  s.parseOptions("Copies=3 X=Custom.1");
  EXPECT_EQ(s.get("Copies", ""), "3");
  s.remove("X");  // custom stays until removed
  EXPECT_FALSE(s.isCustom("X"));
}

}  // namespace
}  // namespace Quillfeather
