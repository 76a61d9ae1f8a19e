#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>

#include "imaging/image.h"
#include "imaging/tiff_file_info.h"

namespace Tesselin::ImageIO {

// TIFF compression codes.
inline constexpr std::uint16_t kCompressionNone = 1;
inline constexpr std::uint16_t kCompressionLZW = 5;
inline constexpr std::uint16_t kCompressionJPEG = 7;
inline constexpr std::uint16_t kCompressionDeflate = 8;

// Receives decoded rows: a pointer to the row's bytes and their count.
using RowCallback = std::function<void(const std::uint8_t* row, std::size_t length)>;

// Reads the first image of a TIFF file from the stream (its current position is the start of
// the file). The parsed description is copied to *info when info is not null. The image holds
// luminance: WhiteIsZero data are inverted, so a 1-bit image holds 1 for white and an 8-bit
// grey one 0 for black; 16-bit samples are stored most significant byte first.
Image ReadFromTIFFFormat(std::istream& in, TIFFFileInfo* info);

// Decodes strip `strip` of the image described by `info` and passes it to `callback` one row at
// a time. With `normalize` the rows are in the image's layout (luminance, 16-bit samples most
// significant byte first); without it they are as decoded from the file.
void ReadStripDataFromTIFFFormat(std::istream& in, const TIFFFileInfo& info, std::uint32_t strip,
                                 bool normalize, const RowCallback& callback);

// Writes the image as a single-image TIFF file with LZW or Deflate compressed strips.
void WriteToTIFFFormat(const Image& image, std::ostream& out, std::uint16_t compression);

}  // namespace Tesselin::ImageIO
