#pragma once

// The data of a ZPL graphic download (~DG) in any of the forms the filter writes.
#include <cstdint>
#include <string_view>
#include <vector>

namespace OrnTool {

// Decodes `text`, everything between the last comma of the ~DG header and the next command, into
// the graphic's `total` bytes of rows `rowBytes` wide. The text is plain hexadecimal digits,
// hexadecimal digits with repeat counts and the row shorthands "," "!" ":", or ":Z64:" or
// ":B64:" data with its CRC; line feeds around and between digits are ignored. PreviewError
// with a one-line reason when the data is damaged, too short or too long.
std::vector<uint8_t> decodeZplGraphicData(std::string_view text, uint64_t total, uint64_t rowBytes);

}  // namespace OrnTool
