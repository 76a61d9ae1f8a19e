#include "imaging/darkness.h"

#include <gtest/gtest.h>

namespace Tesselin {
namespace {

TEST(DarknessTest, NamesMapToLevels) {
  const std::pair<const char*, int> cases[] = {{"Lightest", 0}, {"Lighter", 1},  {"Light", 2},
                                               {"Normal", 3},   {"Dark", 4},     {"Darker", 5},
                                               {"Darkest", 6},  {"", 3},         {"dark", 3},
                                               {"Darkest ", 3}, {"Lightest2", 3}};
  for (const auto& [name, level] : cases) EXPECT_EQ(darknessFromName(name), level) << name;
}

}  // namespace
}  // namespace Tesselin
