#pragma once

// Builds CUPS raster streams in memory for tests: sync word, headers in either
// byte order and uncompressed page data (versions 1 and 3).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace OrnTest {

struct TestPage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerColor = 1;
  uint32_t bitsPerPixel = 1;
  uint32_t bytesPerLine = 0;  // 0: derived from width and bits per pixel
  uint32_t colorSpace = 3;    // CUPS_CSPACE_K
  uint32_t resolution = 300;
  std::optional<uint32_t> resolutionY;  // vertical resolution where it differs
  uint32_t pageSize[2] = {288, 432};
  uint32_t numCopies = 1;
  uint32_t orientation = 0;
  std::string mediaClass;
  std::vector<uint8_t> data;  // height x bytesPerLine bytes

  uint32_t rowBytes() const {
    return bytesPerLine ? bytesPerLine
                        : static_cast<uint32_t>((uint64_t{width} * bitsPerPixel + 7) / 8);
  }
  uint32_t verticalResolution() const { return resolutionY.value_or(resolution); }

  // Pixels of a 1-bit page: most significant bit first, 1 = black.
  bool pixel(uint32_t x, uint32_t y) const {
    return (data[size_t{y} * rowBytes() + x / 8] >> (7 - x % 8)) & 1;
  }
  void setPixel(uint32_t x, uint32_t y) {
    data[size_t{y} * rowBytes() + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
};

// A header block of 420 (version 1) or 1796 bytes with the page's fields.
std::string rasterHeader(const TestPage& page, int version, bool bigEndian);

// Sync word, then every page's header and data (version 1 or 3).
std::string rasterStream(const std::vector<TestPage>& pages, int version = 3,
                         bool bigEndian = true);

// A 1-bit page, black where black(x, y) says so (asked row by row, left to
// right); without a function the page is white.
TestPage bitmapPage(uint32_t width, uint32_t height,
                    const std::function<bool(uint32_t x, uint32_t y)>& black = {});

// A 1-bit page of the given size with seeded random content (density in 0..1).
TestPage randomBitmapPage(uint32_t width, uint32_t height, uint32_t seed, double density = 0.3);

// An 8-bit grey page (raster values: 0 white, 255 black) with seeded content.
TestPage randomGreyPage(uint32_t width, uint32_t height, uint32_t seed);

}  // namespace OrnTest
