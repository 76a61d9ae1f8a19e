#pragma once

// The KT-RN8Q's answers on the back channel.
//
// Configuration request 1D 30 05, 16-byte answer:
//   byte 0  paper type, 0..4
//   byte 7  power control, 0 or 1
// Status request 14 01, 6-byte answer:
//   byte 2 bit 0   error group 1: byte 3 bits 7..0 and byte 4 bits 7..2 name it
//   byte 2 bit 1   error group 2: byte 5 bits 6, 4, 3, 1, 0 name it
// No other byte is used.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace Quillfeather::ktrn8q {

inline constexpr std::array<uint8_t, 3> kConfigurationRequest{0x1D, 0x30, 0x05};
inline constexpr std::size_t kConfigurationResponseBytes = 16;
inline constexpr std::array<uint8_t, 2> kStatusRequest{0x14, 0x01};
inline constexpr std::size_t kStatusResponseBytes = 6;

struct Configuration {
  uint8_t paperType = 0;
  uint8_t powerControl = 0;
};

using StatusRecord = std::array<uint8_t, kStatusResponseBytes>;

struct PrinterState {
  Configuration configuration;
  StatusRecord status{};
};

// Both throw InvalidKTRN8QPrinterResponse for a wrong length or a value out of range.
Configuration parseConfiguration(std::span<const uint8_t> response);
StatusRecord parseStatus(std::span<const uint8_t> response);

// 0 when all is well; 1..14 or 99 for the first error group, 100..104 or 199
// for the second.
int statusCode(const StatusRecord& status);

}  // namespace Quillfeather::ktrn8q
