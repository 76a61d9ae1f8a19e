#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Quillfeather::ktrn8q::test {

// One 1-bit page: rows of ceil(width / 8) bytes, most significant bit first,
// 1 = black; bits beyond width are 0.
struct TestPage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> data;

  uint32_t bytesPerRow() const { return (width + 7) / 8; }
  bool pixel(uint32_t x, uint32_t y) const {
    return (data[std::size_t{y} * bytesPerRow() + x / 8] >> (7 - x % 8)) & 1;
  }
};

TestPage makePage(uint32_t width, uint32_t height,
                  const std::function<bool(uint32_t x, uint32_t y)>& black);

// Random dots (about one in four black) with whole blank rows where
// blankRow(y) says so.
TestPage randomPage(uint32_t width, uint32_t height, uint32_t seed,
                    const std::function<bool(uint32_t y)>& blankRow);

// A version 3 big-endian CUPS raster stream ("RaS3") holding the pages.
std::string rasterStream(const std::vector<TestPage>& pages);

}  // namespace Quillfeather::ktrn8q::test
