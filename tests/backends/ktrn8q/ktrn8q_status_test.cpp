#include "backends/ktrn8q/ktrn8q_status.h"

#include <gtest/gtest.h>

#include <vector>

#include "backends/ktrn8q/ktrn8q_exceptions.h"

namespace Quillfeather::ktrn8q {
namespace {

template <typename Call>
std::string failure(Call call) {
  try {
    call();
  } catch (const InvalidKTRN8QPrinterResponse& e) {
    return e.what();
  }
  return "no exception";
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

uint8_t byteOf(uint32_t bytes, int shift) { return static_cast<uint8_t>(bytes >> shift); }

TEST(KTRN8QStatusTest, StatusCodes) {
  // Pairs of record bytes 2 to 5 and the code: no group flag means all is well, whatever else is
  // set; a first-group reason counts over the second group; byte 4 bits 1 and 0 and byte 5 are
  // no first-group reason.
  std::vector<uint32_t> cases = {0x00000000, 0,   0xFCFFFFFF, 0,   0x0181FF00, 1,   0x01038000, 7,
                                 0x01000C00, 13,  0x01000000, 99,  0x010003FF, 99,  0x03000040, 99,
                                 0x03020040, 7,   0x02000040, 100, 0x02000010, 101, 0x02000008, 102,
                                 0x02000002, 103, 0x02000001, 104, 0x0200005B, 100, 0x0200000B, 102,
                                 0x02000000, 199, 0x02FFFFA4, 199};
  // The first group's reasons, in priority order.
  for (uint32_t bit = 0; bit < 14; ++bit)
    cases.insert(cases.end(), {0x01000000u | 0x800000u >> bit, bit + 1});
  for (size_t i = 0; i < cases.size(); i += 2) {
    const uint32_t b = cases[i];
    const StatusRecord record{0xFF, 0xFF, byteOf(b, 24), byteOf(b, 16), byteOf(b, 8), byteOf(b, 0)};
    EXPECT_EQ(statusCode(record), static_cast<int>(cases[i + 1])) << std::hex << b;
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
