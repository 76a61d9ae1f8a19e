// Page data of a CUPS raster stream. Versions 1 and 3 store cupsHeight rows of
// cupsBytesPerLine bytes as they are. Version 2 compresses each group of equal
// rows as:
//   one byte  r        the row is used r + 1 times
//   then, until the row is full, runs of whole pixels (bpp bytes each):
//     n in 0..127      one pixel repeated n + 1 times
//     n in 129..255    257 - n literal pixels follow
//     n == 128         the rest of the row is blank (PWG raster)
#include <algorithm>
#include <cstring>
#include <string>

#include "raster/exception.h"
#include "raster/raster_reader.h"

namespace Quillfeather {
namespace {

constexpr size_t kReadChunk = size_t{8} << 20;

// Colour spaces in which 0xFF is white; PWG's "blank to end of line" uses it.
bool blankIsFF(uint32_t colorSpace) {
  switch (colorSpace) {
    case 0:   // W
    case 1:   // RGB
    case 17:  // RGBW
    case 18:  // sW
    case 19:  // sRGB
    case 20:  // AdobeRGB
      return true;
    default:
      return false;
  }
}

[[noreturn]] void endOfInput() { throw IOException("Unable to read from input"); }

class CompressedLineDecoder {
 public:
  CompressedLineDecoder(std::streambuf& in, uint64_t bytesPerPixel, uint8_t blank)
      : in_(in), bpp_(bytesPerPixel), blank_(blank) {}

  uint8_t byte() {
    int c = in_.sbumpc();
    if (c == std::char_traits<char>::eof()) endOfInput();
    return static_cast<uint8_t>(c);
  }

  void bytes(uint8_t* out, size_t count) {
    if (static_cast<size_t>(in_.sgetn(reinterpret_cast<char*>(out),
                                      static_cast<std::streamsize>(count))) != count) {
      endOfInput();
    }
  }

  // Decodes one row of `length` bytes onto the end of data. The buffer grows
  // run by run, as the decoded bytes arrive: a header that promises a huge row
  // and a stream that ends early never cost the whole row.
  void line(std::vector<uint8_t>& data, size_t length, size_t limit) {
    const size_t start = data.size();
    size_t pos = 0;
    while (pos < length) {
      const uint8_t n = byte();
      const size_t left = length - pos;
      if (n == 128) {
        grow(data, start + length, limit);
        std::memset(data.data() + start + pos, blank_, left);
        return;
      }
      const uint64_t pixels = n > 128 ? 257u - n : n + 1u;
      const uint64_t count = pixels * bpp_;
      if (count > left) {
        throw CUPSFormatException("Compressed raster data runs past the end of a line");
      }
      grow(data, start + pos + count, limit);
      uint8_t* run = data.data() + start + pos;
      if (n > 128) {
        bytes(run, count);
      } else {
        bytes(run, bpp_);
        for (size_t i = bpp_; i < count; i += bpp_) std::memcpy(run + i, run, bpp_);
      }
      pos += count;
    }
  }

  // Resizes to size, doubling the capacity at most up to the page size.
  static void grow(std::vector<uint8_t>& data, size_t size, size_t limit) {
    if (size > data.capacity()) data.reserve(std::min(limit, std::max(size, 2 * data.capacity())));
    data.resize(size);
  }

 private:
  std::streambuf& in_;
  uint64_t bpp_;
  uint8_t blank_;
};

}  // namespace

RasterFormat RasterReader::readFormat() {
  format_ = readRasterFormat(input_);
  return format_;
}

bool RasterReader::atEnd() {
  return !input_.good() || input_.peek() == std::char_traits<char>::eof();
}

PageHeader RasterReader::readPageHeader() { return Quillfeather::readPageHeader(format_, input_); }

std::vector<uint8_t> RasterReader::readPageData(const PageHeader& header) {
  std::vector<uint8_t> data;
  readPageData(header, data);
  return data;
}

void RasterReader::readPageData(const PageHeader& header, std::vector<uint8_t>& data) {
  const uint64_t rowBytes = header.cupsBytesPerLine;
  const uint64_t total = rowBytes * header.cupsHeight;
  if (total > kMaxPageBytes) {
    throw CUPSFormatException("Page of " + std::to_string(total) + " bytes exceeds the limit of " +
                              std::to_string(kMaxPageBytes) + " bytes");
  }
  if (total == 0) {
    data.clear();
    return;
  }

  if (header.version != 2) {
    if (data.capacity() >= total) {
      data.resize(total);
      if (!input_.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(total))) {
        endOfInput();
      }
      return;
    }
    // Grow as the data arrives, so a header that promises more than the stream
    // holds never costs a full-size allocation.
    data.clear();
    size_t done = 0;
    while (done < total) {
      const size_t step = std::min<uint64_t>(kReadChunk, total - done);
      data.resize(done + step);
      if (!input_.read(reinterpret_cast<char*>(data.data() + done),
                       static_cast<std::streamsize>(step))) {
        endOfInput();
      }
      done += step;
    }
    return;
  }

  const uint64_t bits =
      header.cupsColorOrder == 0 ? header.cupsBitsPerPixel : header.cupsBitsPerColor;
  const uint64_t bpp = std::max<uint64_t>(1, (bits + 7) / 8);
  CompressedLineDecoder decoder(*input_.rdbuf(), bpp, blankIsFF(header.cupsColorSpace) ? 0xFF : 0);
  const uint32_t height = header.cupsHeight;
  data.clear();
  uint32_t row = 0;
  while (row < height) {
    const uint32_t repeat = decoder.byte() + 1u;
    decoder.line(data, rowBytes, total);
    // Rows arrive in order; a repeat beyond the last row is clamped.
    const uint32_t copies = std::min(repeat, height - row);
    const size_t first = size_t{row} * rowBytes;
    CompressedLineDecoder::grow(data, first + size_t{copies} * rowBytes, total);
    for (uint32_t i = 1; i < copies; ++i) {
      std::memcpy(data.data() + first + i * rowBytes, data.data() + first, rowBytes);
    }
    row += copies;
  }
}

}  // namespace Quillfeather
