// Writes CUPS raster version 3 streams in big-endian order: "RaS3", then per
// page a 1796-byte header (only resolution, size and depth fields are filled)
// followed by height x bytes-per-line bytes of uncompressed data.
#include "backends/ktrn8q/raster_builder.h"

#include <random>

namespace Quillfeather::ktrn8q::test {
namespace {

constexpr std::size_t kHeaderBytes = 1796;

void putWord(std::string& header, std::size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    header[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
  }
}

}  // namespace

TestPage makePage(uint32_t width, uint32_t height,
                  const std::function<bool(uint32_t x, uint32_t y)>& black) {
  TestPage page{width, height, {}};
  page.data.assign(std::size_t{page.bytesPerRow()} * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      if (black(x, y)) {
        page.data[std::size_t{y} * page.bytesPerRow() + x / 8] |=
            static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  return page;
}

TestPage randomPage(uint32_t width, uint32_t height, uint32_t seed,
                    const std::function<bool(uint32_t y)>& blankRow) {
  std::mt19937 random(seed);
  return makePage(width, height,
                  [&](uint32_t, uint32_t y) { return !blankRow(y) && random() % 4 == 0; });
}

std::string rasterStream(const std::vector<TestPage>& pages) {
  std::string stream = "RaS3";
  for (const TestPage& page : pages) {
    std::string header(kHeaderBytes, '\0');
    putWord(header, 276, 203);  // HWResolution
    putWord(header, 280, 203);
    putWord(header, 352, page.width * 72 / 203);  // PageSize in points
    putWord(header, 356, page.height * 72 / 203);
    putWord(header, 372, page.width);
    putWord(header, 376, page.height);
    putWord(header, 384, 1);  // cupsBitsPerColor
    putWord(header, 388, 1);  // cupsBitsPerPixel
    putWord(header, 392, page.bytesPerRow());
    putWord(header, 420, 1);  // cupsNumColors
    stream += header;
    stream.append(page.data.begin(), page.data.end());
  }
  return stream;
}

}  // namespace Quillfeather::ktrn8q::test
