#pragma once

// The graphic download of ZPL (~DG) in the three data forms printers accept.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Quillfeather {

enum class ZplCompression {
  None,  // two hexadecimal digits a byte
  Hex,   // hexadecimal digits with repeat counts and whole-row shorthands
  Z64,   // ":Z64:", base64 of zlib data, ":", CRC-16 of the base64 text
};

// The setting's choices "None", "Hex" and "Z64"; nothing for any other text.
std::optional<ZplCompression> zplCompressionFromName(std::string_view name);

// Appends "~DG<name>,<total bytes>,<bytes per row>,\n" and the data of the graphic whose rows of
// `bytesPerRow` bytes lie one after the other in `rows` (1 = black dot, most significant bit
// first). `rows` holds a whole number of rows; bytesPerRow may be 0 only when it is empty.
void appendZplGraphic(std::string& out, std::string_view name, std::span<const uint8_t> rows,
                      size_t bytesPerRow, ZplCompression compression);

}  // namespace Quillfeather
