#include "support/raster_builder.h"

#include <cstring>
#include <iterator>
#include <random>

namespace OrnTest {
namespace {

// Version 2 page data: every row on its own (repeat byte 0) unless equal to
// the next one, runs of equal pixels and literal stretches of up to 128 pixels.
std::string compressRows(const TestPage& page) {
  const size_t bpl = page.rowBytes();
  const size_t bpp = std::max<size_t>(1, (page.bitsPerPixel + 7) / 8);
  std::string out;
  uint32_t y = 0;
  while (y < page.height) {
    const uint8_t* row = page.data.data() + y * bpl;
    uint32_t repeat = 1;
    while (y + repeat < page.height && repeat < 256 &&
           std::memcmp(row, row + repeat * bpl, bpl) == 0) {
      ++repeat;
    }
    out.push_back(static_cast<char>(repeat - 1));
    const size_t pixels = bpl / bpp;
    size_t x = 0;
    while (x < pixels) {
      size_t run = 1;
      while (x + run < pixels && run < 128 &&
             std::memcmp(row + x * bpp, row + (x + run) * bpp, bpp) == 0) {
        ++run;
      }
      if (run > 1) {
        out.push_back(static_cast<char>(run - 1));
        out.append(reinterpret_cast<const char*>(row + x * bpp), bpp);
        x += run;
        continue;
      }
      size_t literal = 1;
      while (x + literal < pixels && literal < 128 &&
             (x + literal + 1 >= pixels ||
              std::memcmp(row + (x + literal) * bpp, row + (x + literal + 1) * bpp, bpp) != 0)) {
        ++literal;
      }
      out.push_back(static_cast<char>(257 - literal));
      out.append(reinterpret_cast<const char*>(row + x * bpp), literal * bpp);
      x += literal;
    }
    y += repeat;
  }
  return out;
}

}  // namespace

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
    if (version == 2) {
      out += compressRows(page);
    } else {
      out.append(reinterpret_cast<const char*>(page.data.data()), page.data.size());
    }
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
