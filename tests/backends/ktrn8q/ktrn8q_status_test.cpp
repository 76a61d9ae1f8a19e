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

TEST(KTRN8QStatusTest, Configuration) {
  for (uint8_t paper = 0; paper <= 4; ++paper) {
    for (uint8_t power = 0; power <= 1; ++power) {
      const Configuration parsed = parseConfiguration(configuration(paper, power));
      EXPECT_EQ(parsed.paperType, paper);
      EXPECT_EQ(parsed.powerControl, power);
    }
  }
  const std::string paper =
      "Parameter #paper type of the status response is outside the expected "
      "range";
  const std::string power =
      "Parameter #power control of the status response is outside the "
      "expected range";
  for (const auto& [type, control, message] : {std::tuple{5, 0, paper},
                                               {0xFF, 0, paper},
                                               {5, 2, paper},
                                               {4, 2, power},
                                               {0, 0xFF, power}}) {
    EXPECT_EQ(failure([&] { parseConfiguration(configuration(type, control)); }), message);
  }
}

TEST(KTRN8QStatusTest, WrongLengths) {
  for (size_t size : {0u, 1u, 15u, 17u, 32u}) {
    EXPECT_EQ(failure([&] { parseConfiguration(std::vector<uint8_t>(size)); }),
              "The configuration response must be 16 bytes in length");
  }
  for (size_t size : {0u, 5u, 7u, 16u}) {
    EXPECT_EQ(failure([&] { parseStatus(std::vector<uint8_t>(size)); }),
              "The status response must be 6 bytes in length");
  }
  // Both belong to the printer-exception family queryStatus catches.
  EXPECT_THROW(parseStatus(std::vector<uint8_t>(5)), KTRN8QPrinterException);
  const std::vector<uint8_t> bytes{1, 2, 3, 4, 5, 6};
  const StatusRecord record = parseStatus(bytes);
  EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin()));
}

TEST(KTRN8QStatusTest, StatusCodes) {
  // Bytes 2 to 5 of the record, and the code.
  const std::pair<std::array<uint8_t, 4>, int> cases[] = {
      // No group flag: all is well, whatever else is set.
      {{0, 0, 0, 0}, 0},
      {{0xFC, 0xFF, 0xFF, 0xFF}, 0},
      // First group, in priority order.
      {{1, 0x80, 0, 0}, 1},
      {{1, 0x40, 0, 0}, 2},
      {{1, 0x20, 0, 0}, 3},
      {{1, 0x10, 0, 0}, 4},
      {{1, 0x08, 0, 0}, 5},
      {{1, 0x04, 0, 0}, 6},
      {{1, 0x02, 0, 0}, 7},
      {{1, 0x01, 0, 0}, 8},
      {{1, 0, 0x80, 0}, 9},
      {{1, 0, 0x40, 0}, 10},
      {{1, 0, 0x20, 0}, 11},
      {{1, 0, 0x10, 0}, 12},
      {{1, 0, 0x08, 0}, 13},
      {{1, 0, 0x04, 0}, 14},
      {{1, 0x81, 0xFF, 0}, 1},
      {{1, 0x03, 0x80, 0}, 7},
      {{1, 0, 0x0C, 0}, 13},
      // First group without a reason; byte 4 bits 1 and 0 and byte 5 do not count.
      {{1, 0, 0, 0}, 99},
      {{1, 0, 0x03, 0xFF}, 99},
      // The first group wins over the second.
      {{3, 0, 0, 0x40}, 99},
      {{3, 0x02, 0, 0x40}, 7},
      // Second group.
      {{2, 0, 0, 0x40}, 100},
      {{2, 0, 0, 0x10}, 101},
      {{2, 0, 0, 0x08}, 102},
      {{2, 0, 0, 0x02}, 103},
      {{2, 0, 0, 0x01}, 104},
      {{2, 0, 0, 0x5B}, 100},
      {{2, 0, 0, 0x0B}, 102},
      {{2, 0, 0, 0}, 199},
      {{2, 0xFF, 0xFF, 0xA4}, 199}};
  for (const auto& [bytes, code] : cases) {
    const StatusRecord record{0xFF, 0xFF, bytes[0], bytes[1], bytes[2], bytes[3]};
    EXPECT_EQ(statusCode(record), code)
        << int{bytes[0]} << " " << int{bytes[1]} << " " << int{bytes[2]} << " " << int{bytes[3]};
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
