// Parsers for the KT-RN8Q's configuration and status answers and the mapping of
// a status record to one status code; the byte layout is in ktrn8q_status.h.
#include "backends/ktrn8q/ktrn8q_status.h"

#include <algorithm>
#include <string>

#include "backends/ktrn8q/ktrn8q_exceptions.h"

namespace Quillfeather::ktrn8q {
namespace {

struct StatusBit {
  uint8_t byte;
  uint8_t mask;
};

// Checked in this order; the first set bit gives the code base + its index.
constexpr std::array<StatusBit, 14> kGroupOneBits{{{3, 0x80},
                                                   {3, 0x40},
                                                   {3, 0x20},
                                                   {3, 0x10},
                                                   {3, 0x08},
                                                   {3, 0x04},
                                                   {3, 0x02},
                                                   {3, 0x01},
                                                   {4, 0x80},
                                                   {4, 0x40},
                                                   {4, 0x20},
                                                   {4, 0x10},
                                                   {4, 0x08},
                                                   {4, 0x04}}};
constexpr std::array<StatusBit, 5> kGroupTwoBits{
    {{5, 0x40}, {5, 0x10}, {5, 0x08}, {5, 0x02}, {5, 0x01}}};

template <std::size_t N>
int firstSetBit(const StatusRecord& status, const std::array<StatusBit, N>& bits, int base,
                int none) {
  for (std::size_t i = 0; i < N; ++i) {
    if (status[bits[i].byte] & bits[i].mask) return base + static_cast<int>(i);
  }
  return none;
}

[[noreturn]] void outOfRange(const char* parameter) {
  throw InvalidKTRN8QPrinterResponse(std::string("Parameter #") + parameter +
                                     " of the status response is outside the expected range");
}

}  // namespace

Configuration parseConfiguration(std::span<const uint8_t> response) {
  if (response.size() != kConfigurationResponseBytes) {
    throw InvalidKTRN8QPrinterResponse("The configuration response must be 16 bytes in length");
  }
  Configuration configuration{response[0], response[7]};
  if (configuration.paperType > 4) outOfRange("paper type");
  if (configuration.powerControl >= 2) outOfRange("power control");
  return configuration;
}

StatusRecord parseStatus(std::span<const uint8_t> response) {
  if (response.size() != kStatusResponseBytes) {
    throw InvalidKTRN8QPrinterResponse("The status response must be 6 bytes in length");
  }
  StatusRecord status;
  std::copy(response.begin(), response.end(), status.begin());
  return status;
}

int statusCode(const StatusRecord& status) {
  if (status[2] & 0x01) return firstSetBit(status, kGroupOneBits, 1, 99);
  if (status[2] & 0x02) return firstSetBit(status, kGroupTwoBits, 100, 199);
  return 0;
}

}  // namespace Quillfeather::ktrn8q
