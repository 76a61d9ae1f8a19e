#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <span>

#include "compression/codec.h"

namespace Marrowbright {

// TIFF horizontal differencing (Predictor 2): within each row every sample is stored as the
// difference to the same sample of the previous pixel. 16-bit samples are big-endian.
class TIFFPrediction : public IDecompressor, public ICompressor {
 public:
  TIFFPrediction(unsigned colors, unsigned bitsPerComponent, std::uint32_t columns);

  // Undoes the differencing, row by row.
  void decompress(std::istream& in, std::ostream& out) override;
  ~TIFFPrediction() override = default;
  // Applies the differencing, row by row.
  void compress(std::istream& in, std::ostream& out) override;

  // In-place forms for one row of rowBytes() bytes.
  void undoRow(std::span<std::uint8_t> row) const;
  void applyRow(std::span<std::uint8_t> row) const;
  std::size_t rowBytes() const { return rowBytes_; }

 private:
  template <bool Undo>
  void run(std::istream& in, std::ostream& out) const;

  unsigned colors_;
  unsigned bytesPerSample_;
  std::size_t rowBytes_;
};

}  // namespace Marrowbright
