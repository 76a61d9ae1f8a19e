#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Quillfeather {

// Writes the zlib format (RFC 1950) of `bytes`, rows of `bytesPerRow` bytes one after the other,
// to the start of `out`, which it enlarges as needed, and returns its length. Made for page
// bitmaps in one pass: the only repeats looked for are runs of one byte and stretches equal to
// the row above, coded with Deflate's fixed Huffman codes.
size_t deflateBitmap(std::span<const uint8_t> bytes, size_t bytesPerRow, std::vector<uint8_t>& out);

}  // namespace Quillfeather
