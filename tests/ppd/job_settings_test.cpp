#include "ppd/job_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "ppd_test_support.h"

namespace Quillfeather {
namespace {

using Testing::parsePPD;

JobSettings with(const std::string& name, const std::string& value) {
  JobSettings s;
  s.set(name, value);
  return s;
}

TEST(JobSettings, StoreOperations) {
  JobSettings s;
  EXPECT_FALSE(s.contains(""));
  s.set("", "empty name");
  EXPECT_EQ(s.get("", "d"), "empty name");
  s.set("A", "1");
  s.set("A", "2");
  EXPECT_EQ(s.get("A", "d"), "2");
  EXPECT_EQ(s.get("a", "d"), "d");
  s.remove("A");
  s.remove("NotThere");
  EXPECT_FALSE(s.contains("A"));
}

TEST(JobSettings, CopyAndMove) {
  JobSettings s;
  s.parseOptions("A=Custom.1");
  JobSettings copy = s;
  EXPECT_TRUE(copy.isCustom("A"));
  EXPECT_EQ(copy.get("A", ""), "1");
  JobSettings moved = std::move(s);
  EXPECT_TRUE(moved.isCustom("A"));
  EXPECT_FALSE(s.contains("A"));  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_FALSE(s.isCustom("A"));
  copy = std::move(moved);
  EXPECT_FALSE(moved.contains("A"));
  EXPECT_TRUE(copy.contains("A"));
}

TEST(JobSettings, GetBool) {
  for (const char* t : {"True", "true", "Enabled", "enabled"}) {
    EXPECT_TRUE(with("B", t).getBool("B", false)) << t;
  }
  for (const char* f : {"False", "false", "Disabled", "disabled"}) {
    EXPECT_FALSE(with("B", f).getBool("B", true)) << f;
  }
  for (const char* other : {"TRUE", "yes", "1", "", " true"}) {
    EXPECT_TRUE(with("B", other).getBool("B", true)) << other;
    EXPECT_FALSE(with("B", other).getBool("B", false)) << other;
  }
  EXPECT_TRUE(JobSettings().getBool("B", true));
}

TEST(JobSettings, GetLong) {
  struct Case {
    std::string text;
    int32_t expected;  // -7 is the default
  };
  const Case cases[] = {
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
      {std::string("4\0"
                   "2",
                   3),
       -7},
      {"010", 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(with("N", c.text).getLong("N", -7), c.expected) << c.text;
    int32_t out = 123;
    bool ok = with("N", c.text).tryGetLong("N", out);
    EXPECT_EQ(ok, c.expected != -7) << c.text;
    EXPECT_EQ(out, ok ? c.expected : 123) << c.text;
  }
  EXPECT_EQ(JobSettings().getLong("N", 5), 5);
}

TEST(JobSettings, GetLongLong) {
  EXPECT_EQ(with("N", "9223372036854775807").getLongLong("N", 1), INT64_MAX);
  EXPECT_EQ(with("N", "9223372036854775808").getLongLong("N", 1), 1);
  EXPECT_EQ(with("N", " -5000000000").getLongLong("N", 1), -5000000000LL);
  EXPECT_EQ(with("N", "5x").getLongLong("N", 1), 1);
}

TEST(JobSettings, TryGetDouble) {
  struct Case {
    std::string text;
    bool ok;
    double value;
  };
  const Case cases[] = {
      {"1e2", true, 100}, {" 2.5", true, 2.5}, {"0x1p4", true, 16}, {"-inf", true, -HUGE_VAL},
      {"2.5 ", false, 0}, {"", false, 0},      {"1e999", false, 0}, {"abc", false, 0},
  };
  for (const Case& c : cases) {
    double out = -1;
    EXPECT_EQ(with("D", c.text).tryGetDouble("D", out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.value : -1) << c.text;
  }
  double out = 0;
  EXPECT_TRUE(with("D", "nan").tryGetDouble("D", out));
  EXPECT_TRUE(std::isnan(out));
}

TEST(JobSettings, Ranges) {
  JobSettings s;
  s.set("X.Minimum", "-5");
  s.set("X.Maximum", "5");
  s.set("Y.Minimum", "1.5");
  s.set("Y.Maximum", "2.5");
  s.set("Z.Minimum", "1");
  int32_t lo = 99, hi = 99;
  EXPECT_TRUE(s.getLongRange("X", lo, hi));
  EXPECT_EQ(lo, -5);
  EXPECT_EQ(hi, 5);
  lo = hi = 99;
  EXPECT_FALSE(s.getLongRange("Y", lo, hi));  // not integers
  EXPECT_FALSE(s.getLongRange("Z", lo, hi));  // no maximum
  EXPECT_EQ(lo, 99);
  EXPECT_EQ(hi, 99);
  double dlo = 0, dhi = 0;
  EXPECT_TRUE(s.getDoubleRange("Y", dlo, dhi));
  EXPECT_EQ(dlo, 1.5);
  EXPECT_EQ(dhi, 2.5);
  EXPECT_FALSE(s.getDoubleRange("Z", dlo, dhi));
  EXPECT_EQ(dlo, 1.5);
}

TEST(JobSettings, GetTenths) {
  struct Case {
    std::string text;  // "-" for a missing name
    double min, max, def;
    int32_t expected;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"7.25", 0, 5, 1, 50},
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
      {"214748364.7", -inf, inf, 0, INT32_MAX},
  };
  for (const Case& c : cases) {
    JobSettings s;
    if (c.text != "-") s.set("T", c.text);
    EXPECT_EQ(s.getTenths("T", c.min, c.max, c.def), c.expected) << c.text;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(JobSettings().getTenths("T", -inf, inf, nan), 0);
}

TEST(JobSettings, GetCustomTenths) {
  JobSettings s;
  s.set("F", "7");
  int32_t out = 123;
  EXPECT_FALSE(s.getCustomTenths("F", out, 0));  // no range
  s.set("F.Minimum", "-5.000000");
  s.set("F.Maximum", "5.000000");
  EXPECT_TRUE(s.getCustomTenths("F", out, 0));
  EXPECT_EQ(out, 50);
  s.remove("F");
  out = 123;
  EXPECT_FALSE(s.getCustomTenths("F", out, 0));  // range without value
  EXPECT_EQ(out, 123);
}

TEST(JobSettings, LoadDefaults) {
  PPDFile ppd = parsePPD(
      "*DefaultCuttingMode: First\n"
      "*DefaultUnreadOption: Value\n"
      "*DefaultQuoted: \"q\"\n"
      "*DefaultSymbol: ^S\n"
      "*Default\n"
      "*Default: bare\n"
      "*DefaultCuttingMode: Second\n");
  JobSettings s;
  EXPECT_TRUE(s.loadDefaults(ppd));
  EXPECT_EQ(s.get("CuttingMode", ""), "First");  // the first in the file wins
  EXPECT_EQ(s.get("UnreadOption", ""), "Value");
  EXPECT_FALSE(s.contains("Quoted"));
  EXPECT_FALSE(s.contains("Symbol"));
  EXPECT_FALSE(s.contains(""));
  JobSettings none;
  EXPECT_FALSE(none.loadDefaults(parsePPD("*Default: x\n*Other: y\n")));
}

TEST(JobSettings, LoadCustomRanges) {
  struct Case {
    std::string value;
    bool loaded;
    std::string min, max;
  };
  const Case cases[] = {
      {"1 real -5 5", true, "-5.000000", "5.000000"},
      {"1 points 0.5 1e2", true, "0.500000", "100.000000"},
      {"1 curve 0 1", true, "0.000000", "1.000000"},
      {"1 invcurve 0 1", true, "0.000000", "1.000000"},
      {"1 int 0 100", true, "0", "100"},
      {"2 passcode 1 8", true, "1", "8"},
      {"2 password 1 8", true, "1", "8"},
      {"2 string 1 64", true, "1", "64"},
      {"1 Real 0 1", false, "", ""},
      {"1 float 0 1", false, "", ""},
      {"1 int 0", false, "", ""},
      {"1 int 0.5 2", false, "", ""},
      {"x int 0 1", false, "", ""},
      {"1 int 0 99999999999", false, "", ""},
  };
  for (const Case& c : cases) {
    JobSettings s;
    EXPECT_EQ(
        s.loadCustomRanges(parsePPD("*ParamCustomFeedAdjustment Adj/Adjust: " + c.value + "\n")),
        c.loaded)
        << c.value;
    EXPECT_EQ(s.get("FeedAdjustment.Minimum", ""), c.min) << c.value;
    EXPECT_EQ(s.get("FeedAdjustment.Maximum", ""), c.max) << c.value;
  }
}

TEST(JobSettings, LoadCustomRangesFirstInFileWinsAndNeedsStringValue) {
  JobSettings s;
  EXPECT_TRUE(
      s.loadCustomRanges(parsePPD("*ParamCustomX A: 1 int 0 10\n*ParamCustomX B: 2 int 5 "
                                  "6\n*ParamCustomY A: \"1 int 0 1\"\n")));
  EXPECT_EQ(s.get("X.Minimum", ""), "0");
  EXPECT_EQ(s.get("X.Maximum", ""), "10");
  EXPECT_FALSE(s.contains("Y.Minimum"));
}

}  // namespace
}  // namespace Quillfeather
