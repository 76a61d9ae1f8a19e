#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace Quillfeather {

// Appends ":Z64:", the base64 text of the zlib-compressed bytes (rows of `bytesPerRow` bytes),
// ":" and the CRC of that text as four upper-case hexadecimal digits.
void appendZ64(std::string& out, std::span<const uint8_t> bytes, size_t bytesPerRow);

// CRC-16 with polynomial 0x1021, initial value 0, no reflection and no final XOR, as ZPL
// checks Z64 data with.
uint16_t zplCrc16(std::string_view text);

}  // namespace Quillfeather
