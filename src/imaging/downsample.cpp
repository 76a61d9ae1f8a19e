#include "imaging/downsample.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/bit_tables.h"
#include "imaging/halftone_tables.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {

// Luminance-to-bits tables for one halftoning method. For output row y and output byte b the
// table at (y mod rowPeriod, b mod bytePeriod) maps a luminance to the byte all eight pixels
// of that byte would get; a pixel keeps the bit of its own position.
struct HalftoneTables {
  uint32_t rowPeriod = 1;
  uint32_t bytePeriod = 1;
  std::vector<uint8_t> bytes;

  const uint8_t* at(uint32_t row, uint32_t byte) const {
    return bytes.data() + ((row % rowPeriod) * bytePeriod + byte % bytePeriod) * 256;
  }
};

HalftoneTables thresholdTables(int darkness) {
  const int threshold = darkness >= 0 && darkness < kDarknessLevels ? (darkness + 1) * 32 : 128;
  HalftoneTables tables;
  tables.bytes.resize(256);
  for (int v = 0; v < 256; ++v) tables.bytes[v] = v < threshold ? 0xFF : 0x00;
  return tables;
}

HalftoneTables ditherTables(int darkness) {
  // The 4-pixel pattern row repeats twice in a byte.
  HalftoneTables tables;
  tables.rowPeriod = 4;
  tables.bytes.resize(4 * 256);
  for (uint32_t row = 0; row < 4; ++row) {
    for (int v = 0; v < 256; ++v) {
      const int level = dotLevel(darkness, static_cast<uint8_t>(v));
      const uint32_t nibble = (kDotPatterns[level] >> (12 - 4 * row)) & 0xF;
      tables.bytes[row * 256 + v] = static_cast<uint8_t>(nibble * 0x11);
    }
  }
  return tables;
}

HalftoneTables matrixTables(int method) {
  const ThresholdMatrix matrix = thresholdMatrix(method);
  HalftoneTables tables;
  tables.rowPeriod = matrix.size;
  tables.bytePeriod = matrix.size / 8;
  tables.bytes.resize(size_t{matrix.size} * tables.bytePeriod * 256);
  for (uint32_t row = 0; row < matrix.size; ++row) {
    for (uint32_t byte = 0; byte < tables.bytePeriod; ++byte) {
      uint8_t* table = tables.bytes.data() + (row * tables.bytePeriod + byte) * 256;
      for (int v = 0; v < 256; ++v) {
        uint8_t bits = 0;
        for (uint32_t k = 0; k < 8; ++k) {
          if (v < matrix.at(byte * 8 + k, row)) bits |= static_cast<uint8_t>(0x80 >> k);
        }
        table[v] = bits;
      }
    }
  }
  return tables;
}

// Halftones one row of `width` luminance values into packed output bytes.
void halftoneRow(const HalftoneTables& tables, const uint8_t* luminance, uint32_t width, uint32_t y,
                 uint8_t* out) {
  const uint32_t fullBytes = width / 8;
  if (tables.bytePeriod == 1) {
    const uint8_t* t = tables.at(y, 0);
    for (uint32_t b = 0; b < fullBytes; ++b) {
      const uint8_t* v = luminance + 8 * b;
      out[b] = static_cast<uint8_t>((t[v[0]] & 0x80) | (t[v[1]] & 0x40) | (t[v[2]] & 0x20) |
                                    (t[v[3]] & 0x10) | (t[v[4]] & 0x08) | (t[v[5]] & 0x04) |
                                    (t[v[6]] & 0x02) | (t[v[7]] & 0x01));
    }
  } else {
    for (uint32_t b = 0; b < fullBytes; ++b) {
      const uint8_t* t = tables.at(y, b);
      const uint8_t* v = luminance + 8 * b;
      out[b] = static_cast<uint8_t>((t[v[0]] & 0x80) | (t[v[1]] & 0x40) | (t[v[2]] & 0x20) |
                                    (t[v[3]] & 0x10) | (t[v[4]] & 0x08) | (t[v[5]] & 0x04) |
                                    (t[v[6]] & 0x02) | (t[v[7]] & 0x01));
    }
  }
  if (const uint32_t rest = width % 8; rest != 0) {
    const uint8_t* t = tables.at(y, fullBytes);
    const uint8_t* v = luminance + 8 * fullBytes;
    uint8_t bits = 0;
    for (uint32_t k = 0; k < rest; ++k) bits |= t[v[k]] & (0x80 >> k);
    out[fullBytes] = bits;
  }
}

// Where output pixel (x, y) samples the source: at rowPart[y] + columnPart[x], in bytes for
// 8-bit sources and in bits for 1-bit ones. For quarter turns the output row picks a source
// column and the output column a source row.
struct SamplingMap {
  std::vector<uint64_t> rowPart;
  std::vector<uint64_t> columnPart;
};

SamplingMap samplingMap(uint64_t w, uint64_t h, uint64_t outW, uint64_t outH, int rotation,
                        uint64_t rowStride, uint64_t pixelStride) {
  SamplingMap map;
  map.rowPart.resize(outH);
  map.columnPart.resize(outW);
  for (uint64_t x = 0; x < outW; ++x) {
    uint64_t s = 0;
    switch (rotation) {
      case 0:
        s = x * w / outW * pixelStride;
        break;
      case 1:
        s = (outW - x - 1) * h / outW * rowStride;
        break;
      case 2:
        s = (w - 1 - w * x / outW) * pixelStride;
        break;
      default:
        s = x * h / outW * rowStride;
        break;
    }
    map.columnPart[x] = s;
  }
  for (uint64_t y = 0; y < outH; ++y) {
    uint64_t s = 0;
    switch (rotation) {
      case 0:
        s = y * h / outH * rowStride;
        break;
      case 1:
        s = y * w / outH * pixelStride;
        break;
      case 2:
        s = (h - 1 - y * h / outH) * rowStride;
        break;
      default:
        s = (outH - y - 1) * w / outH * pixelStride;
        break;
    }
    map.rowPart[y] = s;
  }
  return map;
}

uint32_t outputSize(uint32_t regionSize, double scale) {
  const double size = static_cast<double>(regionSize) * scale / 10.0;
  if (!(size < 4294967296.0)) throw BitmapException("Invalid size");
  return static_cast<uint32_t>(size);
}

void downsampleGrey(const Image& source, const HalftoneTables& tables, int rotation, Bitmap& out) {
  const uint32_t w = source.width();
  const uint32_t outW = out.width();
  const uint32_t outRow = out.bytesPerRow();
  const uint32_t channels = source.channels();
  const uint8_t* in = source.data().data();
  uint8_t* result = out.data().data();
  const SamplingMap map =
      samplingMap(w, source.height(), outW, out.height(), rotation, source.bytesPerRow(), channels);

  // Unscaled grey rows at rotation 0 are read in place.
  const bool direct = rotation == 0 && channels == 1 && outW == w;
  std::vector<uint8_t> luminance(direct ? 0 : outW);
  for (uint32_t y = 0; y < out.height(); ++y) {
    const uint8_t* row = in + map.rowPart[y];
    if (!direct) {
      if (channels == 1) {
        for (uint32_t x = 0; x < outW; ++x) luminance[x] = row[map.columnPart[x]];
      } else {
        for (uint32_t x = 0; x < outW; ++x) {
          const uint8_t* p = row + map.columnPart[x];
          luminance[x] = static_cast<uint8_t>((299 * p[0] + 587 * p[1] + 114 * p[2]) / 1000);
        }
      }
      row = luminance.data();
    }
    halftoneRow(tables, row, outW, y, result + uint64_t{y} * outRow);
  }
}

void downsampleMonochrome(const Image& source, int rotation, Bitmap& out) {
  const uint32_t outW = out.width();
  const uint32_t outRow = out.bytesPerRow();
  const uint8_t* in = source.data().data();
  uint8_t* result = out.data().data();
  // A 1-bit image that is not a bitmap holds 1 for white.
  const uint8_t flip = source.isBitmap() ? 0x00 : 0xFF;
  const uint8_t lastMask = lastByteMask(outW);
  const SamplingMap map = samplingMap(source.width(), source.height(), outW, out.height(), rotation,
                                      uint64_t{source.bytesPerRow()} * 8, 1);

  const bool direct = rotation == 0 && outW == source.width();
  for (uint32_t y = 0; y < out.height(); ++y) {
    uint8_t* bytes = result + uint64_t{y} * outRow;
    const uint64_t rowBit = map.rowPart[y];
    if (direct) {
      const uint8_t* row = in + rowBit / 8;
      for (uint32_t i = 0; i < outRow; ++i) bytes[i] = row[i] ^ flip;
    } else {
      for (uint32_t x = 0; x < outW; ++x) {
        const uint64_t bit = rowBit + map.columnPart[x];
        if ((in[bit / 8] >> (7 - bit % 8)) & 1) bytes[x / 8] |= static_cast<uint8_t>(0x80 >> x % 8);
      }
      for (uint32_t i = 0; i < outRow; ++i) bytes[i] ^= flip;
    }
    if (outRow != 0) bytes[outRow - 1] &= lastMask;
  }
}

}  // namespace

Bitmap downsample(const Image& source, const Rect& region, double scale, int rotation, int method,
                  int darkness) {
  const uint32_t channels = source.channels();
  const uint32_t depth = source.bitsPerSample();
  if (channels != 1 && channels != 3 && channels != 4) {
    throw BitmapException("Cannot downsample images that do not have 1, 3 or 4 channels");
  }
  if (depth != 8 && !(depth == 1 && channels == 1)) {
    throw BitmapException(
        "Cannot downsample images that do not have 8 bits per sample or 1-bit monochrome");
  }

  // A reversed region or a negative or non-finite scale has no sensible output box.
  if (region.right < region.left || region.bottom < region.top) {
    throw BitmapException("Invalid size");
  }
  if (!std::isfinite(scale) || scale < 0) throw BitmapException("Invalid scale");
  const uint32_t outW = outputSize(region.right - region.left, scale);
  const uint32_t outH = outputSize(region.bottom - region.top, scale);

  if (uint64_t{source.bytesPerRow()} * source.height() != source.dataSize()) {
    throw BitmapException("Source data does not match size");
  }
  if (rotation < 0 || rotation > 3) throw BitmapException("Unknown rotation");

  if (outW == 0 || outH == 0) {
    Bitmap empty(outW, outH);
    empty.setResolution(source.xResolution(), source.yResolution());
    empty.setOrigin(region.left, region.top);
    return empty;
  }
  if (source.width() == 0 || source.height() == 0) {
    throw BitmapException("Cannot downsample an empty image");
  }

  // The sampling map keeps 8 bytes per output column and row, the grey path one luminance
  // byte per column; bound them like any image buffer.
  if (uint64_t{outW} * 9 > Image::kMaxDataBytes || uint64_t{outH} * 8 > Image::kMaxDataBytes) {
    throw ImageException("Image too large");
  }

  HalftoneTables tables;
  if (depth == 8) {
    if (method == kMethodThreshold) {
      tables = thresholdTables(darkness);
    } else if (method >= 2 && method <= 4) {
      if (darkness != kNormalDarkness) {
        throw HalftoningException("Only normal halftoning curve supported by this halftoner");
      }
      tables = matrixTables(method);
    } else {
      tables = ditherTables(darkness);
    }
  }

  Bitmap out(outW, outH);
  out.setResolution(source.xResolution(), source.yResolution());
  out.setOrigin(region.left, region.top);
  if (depth == 1) {
    downsampleMonochrome(source, rotation, out);
    return out;
  }
  downsampleGrey(source, tables, rotation, out);
  return out;
}

}  // namespace Tesselin
