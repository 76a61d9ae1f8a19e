#include "support/raster_builder.h"

#include <cstring>
#include <iterator>
#include <random>

namespace OrnTest {
std::string rasterHeader(const TestPage& page, int version, bool bigEndian) {
  std::string bytes(version == 1 ? 420 : 1796, '\0');
  std::memcpy(bytes.data(), page.mediaClass.data(), std::min<size_t>(page.mediaClass.size(), 64));
  const size_t offsets[] = {276, 280, 340, 344, 352, 356, 372, 376, 384, 388, 392, 400, 420};
  const uint32_t values[] = {page.resolution,
                             page.verticalResolution(),
                             page.numCopies,
                             page.orientation,
                             page.pageSize[0],
                             page.pageSize[1],
                             page.width,
                             page.height,
                             page.bitsPerColor,
                             page.bitsPerPixel,
                             page.rowBytes(),
                             page.colorSpace,
                             1};
  for (size_t f = 0; f < std::size(offsets); ++f) {
    for (size_t i = 0; i < 4 && offsets[f] + 4 <= bytes.size(); ++i) {
      bytes[offsets[f] + i] = static_cast<char>(values[f] >> (bigEndian ? 24 - 8 * i : 8 * i));
    }
  }
  return bytes;
}

std::string rasterStream(const std::vector<TestPage>& pages, int version, bool bigEndian) {
  static const char* kSync[2][3] = {{"tSaR", "2SaR", "3SaR"}, {"RaSt", "RaS2", "RaS3"}};
  std::string out = kSync[bigEndian ? 1 : 0][version - 1];
  for (const TestPage& page : pages) {
    out += rasterHeader(page, version, bigEndian);
    out.append(reinterpret_cast<const char*>(page.data.data()), page.data.size());
  }
  return out;
}

TestPage bitmapPage(uint32_t width, uint32_t height,
                    const std::function<bool(uint32_t x, uint32_t y)>& black) {
  TestPage page;
  page.width = width;
  page.height = height;
  page.data.assign(size_t{page.rowBytes()} * height, 0);
  if (!black) return page;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      if (black(x, y)) page.setPixel(x, y);
    }
  }
  return page;
}

TestPage randomBitmapPage(uint32_t width, uint32_t height, uint32_t seed, double density) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution black(density);
  return bitmapPage(width, height, [&](uint32_t, uint32_t) { return black(rng); });
}

TestPage randomGreyPage(uint32_t width, uint32_t height, uint32_t seed) {
  TestPage page;
  page.width = width;
  page.height = height;
  page.bitsPerColor = 8;
  page.bitsPerPixel = 8;
  std::mt19937 rng(seed);
  page.data.resize(size_t{width} * height);
  for (auto& b : page.data) b = static_cast<uint8_t>(rng());
  return page;
}

}  // namespace OrnTest
