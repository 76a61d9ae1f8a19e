#pragma once

// Builds CUPS raster version 3 streams in memory: "RaS3" (big-endian fields),
// then per page a 1796-byte header and cupsHeight x cupsBytesPerLine bytes of
// uncompressed rows.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Quillfeather::Testing {

struct TestPage {
  uint32_t width = 8;
  uint32_t height = 8;
  uint32_t resolutionX = 203;
  uint32_t resolutionY = 203;
  uint32_t pageWidthPoints = 288;
  uint32_t pageLengthPoints = 432;
  uint32_t copies = 1;
  // Rows of ceil(width / 8) bytes, most significant bit first, 1 = black.
  std::vector<uint8_t> rows;

  uint32_t bytesPerRow() const { return (width + 7) / 8; }
  bool pixel(uint32_t x, uint32_t y) const {
    return (rows[size_t{y} * bytesPerRow() + x / 8] >> (7 - x % 8)) & 1;
  }
  void set(uint32_t x, uint32_t y) {
    rows[size_t{y} * bytesPerRow() + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
};

inline TestPage blankPage(uint32_t width, uint32_t height) {
  TestPage page;
  page.width = width;
  page.height = height;
  page.rows.assign(size_t{page.bytesPerRow()} * height, 0);
  return page;
}

inline TestPage pageOf(uint32_t width, uint32_t height,
                       const std::function<bool(uint32_t, uint32_t)>& black) {
  TestPage page = blankPage(width, height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      if (black(x, y)) page.set(x, y);
    }
  }
  return page;
}

inline void putBigEndian(std::string& header, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) header[offset + i] = static_cast<char>(value >> (24 - 8 * i));
}

inline std::string rasterStream(const std::vector<TestPage>& pages) {
  std::string out = "RaS3";
  for (const TestPage& page : pages) {
    std::string header(1796, '\0');
    putBigEndian(header, 276, page.resolutionX);
    putBigEndian(header, 280, page.resolutionY);
    putBigEndian(header, 340, page.copies);
    putBigEndian(header, 352, page.pageWidthPoints);
    putBigEndian(header, 356, page.pageLengthPoints);
    putBigEndian(header, 372, page.width);
    putBigEndian(header, 376, page.height);
    putBigEndian(header, 384, 1);  // cupsBitsPerColor
    putBigEndian(header, 388, 1);  // cupsBitsPerPixel
    putBigEndian(header, 392, page.bytesPerRow());
    putBigEndian(header, 420, 1);  // cupsNumColors
    out += header;
    out.append(page.rows.begin(), page.rows.end());
  }
  return out;
}

}  // namespace Quillfeather::Testing
