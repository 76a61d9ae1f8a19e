#include "backends/ktrn8q/ktrn8q_status.h"

#include <gtest/gtest.h>

#include <vector>

#include "backends/ktrn8q/ktrn8q_exceptions.h"

namespace Quillfeather::ktrn8q {
namespace {

std::vector<uint8_t> configuration(uint8_t paperType, uint8_t powerControl) {
  std::vector<uint8_t> bytes(16, 0xEE);  // unused bytes may hold anything
  bytes[0] = paperType;
  bytes[7] = powerControl;
  return bytes;
}

template <typename Call>
std::string failure(Call call) {
  try {
    call();
  } catch (const InvalidKTRN8QPrinterResponse& e) {
    return e.what();
  }
  return "no exception";
}

TEST(KTRN8QStatusTest, ConfigurationInRange) {
  for (uint8_t paper = 0; paper <= 4; ++paper) {
    for (uint8_t power = 0; power <= 1; ++power) {
      const Configuration parsed = parseConfiguration(configuration(paper, power));
      EXPECT_EQ(parsed.paperType, paper);
      EXPECT_EQ(parsed.powerControl, power);
    }
  }
}

TEST(KTRN8QStatusTest, ConfigurationOutOfRange) {
  const std::string paper =
      "Parameter #paper type of the status response is outside the expected range";
  const std::string power =
      "Parameter #power control of the status response is outside the expected range";
  EXPECT_EQ(failure([] { parseConfiguration(configuration(5, 0)); }), paper);
  EXPECT_EQ(failure([] { parseConfiguration(configuration(0xFF, 0)); }), paper);
  EXPECT_EQ(failure([] { parseConfiguration(configuration(5, 2)); }), paper);
  EXPECT_EQ(failure([] { parseConfiguration(configuration(4, 2)); }), power);
  EXPECT_EQ(failure([] { parseConfiguration(configuration(0, 0xFF)); }), power);
}

TEST(KTRN8QStatusTest, WrongLengths) {
  for (std::size_t size : {0u, 1u, 15u, 17u, 32u}) {
    const std::vector<uint8_t> bytes(size, 0);
    EXPECT_EQ(failure([&] { parseConfiguration(bytes); }),
              "The configuration response must be 16 bytes in length");
  }
  for (std::size_t size : {0u, 5u, 7u, 16u}) {
    const std::vector<uint8_t> bytes(size, 0);
    EXPECT_EQ(failure([&] { parseStatus(bytes); }),
              "The status response must be 6 bytes in length");
  }
  // Both exceptions belong to the printer-exception family queryStatus catches.
  EXPECT_THROW(parseStatus(std::vector<uint8_t>(5)), KTRN8QPrinterException);
}

TEST(KTRN8QStatusTest, StatusRecordKeepsBytes) {
  const std::vector<uint8_t> bytes{1, 2, 3, 4, 5, 6};
  const StatusRecord record = parseStatus(bytes);
  EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin()));
}

struct CodeCase {
  StatusRecord record;
  int code;
};

class KTRN8QStatusCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(KTRN8QStatusCodeTest, Maps) { EXPECT_EQ(statusCode(GetParam().record), GetParam().code); }

INSTANTIATE_TEST_SUITE_P(
    Records, KTRN8QStatusCodeTest,
    ::testing::Values(
        // No group flag: all is well, whatever else is set.
        CodeCase{{0, 0, 0, 0, 0, 0}, 0}, CodeCase{{0xFF, 0xFF, 0xFC, 0xFF, 0xFF, 0xFF}, 0},
        // First group, in priority order.
        CodeCase{{0, 0, 0x01, 0x80, 0, 0}, 1}, CodeCase{{0, 0, 0x01, 0x40, 0, 0}, 2},
        CodeCase{{0, 0, 0x01, 0x20, 0, 0}, 3}, CodeCase{{0, 0, 0x01, 0x10, 0, 0}, 4},
        CodeCase{{0, 0, 0x01, 0x08, 0, 0}, 5}, CodeCase{{0, 0, 0x01, 0x04, 0, 0}, 6},
        CodeCase{{0, 0, 0x01, 0x02, 0, 0}, 7}, CodeCase{{0, 0, 0x01, 0x01, 0, 0}, 8},
        CodeCase{{0, 0, 0x01, 0, 0x80, 0}, 9}, CodeCase{{0, 0, 0x01, 0, 0x40, 0}, 10},
        CodeCase{{0, 0, 0x01, 0, 0x20, 0}, 11}, CodeCase{{0, 0, 0x01, 0, 0x10, 0}, 12},
        CodeCase{{0, 0, 0x01, 0, 0x08, 0}, 13}, CodeCase{{0, 0, 0x01, 0, 0x04, 0}, 14},
        CodeCase{{0, 0, 0x01, 0x81, 0xFF, 0}, 1}, CodeCase{{0, 0, 0x01, 0x03, 0x80, 0}, 7},
        CodeCase{{0, 0, 0x01, 0, 0x0C, 0}, 13},
        // First group without a reason; byte 4 bits 1 and 0 and byte 5 do not count.
        CodeCase{{0, 0, 0x01, 0, 0, 0}, 99}, CodeCase{{0, 0, 0x01, 0, 0x03, 0xFF}, 99},
        // The first group wins over the second.
        CodeCase{{0, 0, 0x03, 0, 0, 0x40}, 99}, CodeCase{{0, 0, 0x03, 0x02, 0, 0x40}, 7},
        // Second group.
        CodeCase{{0, 0, 0x02, 0, 0, 0x40}, 100}, CodeCase{{0, 0, 0x02, 0, 0, 0x10}, 101},
        CodeCase{{0, 0, 0x02, 0, 0, 0x08}, 102}, CodeCase{{0, 0, 0x02, 0, 0, 0x02}, 103},
        CodeCase{{0, 0, 0x02, 0, 0, 0x01}, 104}, CodeCase{{0, 0, 0x02, 0, 0, 0x5B}, 100},
        CodeCase{{0, 0, 0x02, 0, 0, 0x0B}, 102}, CodeCase{{0, 0, 0x02, 0, 0, 0x00}, 199},
        CodeCase{{0, 0, 0x02, 0xFF, 0xFF, 0xA4}, 199}));

}  // namespace
}  // namespace Quillfeather::ktrn8q
