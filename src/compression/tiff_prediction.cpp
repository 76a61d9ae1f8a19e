// TIFF horizontal predictor. A row is `columns` pixels of `colors` samples of 8 or 16 bits
// (16-bit samples most significant byte first). Differencing stores sample[i] - sample[i -
// colors] for every sample after the first pixel, modulo 2^bits; undoing adds them back.
#include "compression/tiff_prediction.h"

#include <vector>

#include "compression/byte_source.h"
#include "compression/exceptions.h"

namespace Marrowbright {

TIFFPrediction::TIFFPrediction(unsigned colors, unsigned bitsPerComponent, std::uint32_t columns)
    : colors_(colors), bytesPerSample_(bitsPerComponent / 8) {
  if (colors < 1 || colors > 4) {
    throw UnimplementedException("Unsupported number of colors for TIFF prediction");
  }
  if (bitsPerComponent != 8 && bitsPerComponent != 16) {
    throw UnimplementedException("Bits per component must be 8 or 16");
  }
  if (columns == 0)
    throw DecompressionException("Unable to perform TIFF prediction with no column data");
  rowBytes_ = std::size_t{columns} * colors_ * bytesPerSample_;
}

void TIFFPrediction::undoRow(std::span<std::uint8_t> row) const {
  if (bytesPerSample_ == 1) {
    for (std::size_t i = colors_; i < row.size(); ++i)
      row[i] = static_cast<std::uint8_t>(row[i] + row[i - colors_]);
    return;
  }
  const std::size_t stride = std::size_t{colors_} * 2;
  for (std::size_t i = stride; i + 1 < row.size(); i += 2) {
    const unsigned value =
        (row[i] << 8 | row[i + 1]) + (row[i - stride] << 8 | row[i - stride + 1]);
    row[i] = static_cast<std::uint8_t>(value >> 8);
    row[i + 1] = static_cast<std::uint8_t>(value);
  }
}

void TIFFPrediction::applyRow(std::span<std::uint8_t> row) const {
  if (bytesPerSample_ == 1) {
    for (std::size_t i = row.size(); i-- > colors_;)
      row[i] = static_cast<std::uint8_t>(row[i] - row[i - colors_]);
    return;
  }
  const std::size_t stride = std::size_t{colors_} * 2;
  for (std::size_t i = row.size() & ~std::size_t{1}; i >= stride + 2;) {
    i -= 2;
    const unsigned value =
        (row[i] << 8 | row[i + 1]) - (row[i - stride] << 8 | row[i - stride + 1]);
    row[i] = static_cast<std::uint8_t>(value >> 8);
    row[i + 1] = static_cast<std::uint8_t>(value);
  }
}

template <bool Undo>
void TIFFPrediction::run(std::istream& in, std::ostream& out) const {
  ByteSource source(in);
  std::vector<std::uint8_t> row(rowBytes_);
  for (;;) {
    const std::size_t got = source.read(row.data(), row.size());
    if (got == 0) break;
    if (got < row.size()) throw DecompressionException("Unexpected end of input");
    if constexpr (Undo) {
      undoRow(row);
    } else {
      applyRow(row);
    }
    out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    if (!out) throw IOException("Unable to write predicted data");
  }
}

void TIFFPrediction::decompress(std::istream& in, std::ostream& out) { run<true>(in, out); }

void TIFFPrediction::compress(std::istream& in, std::ostream& out) { run<false>(in, out); }

}  // namespace Marrowbright
