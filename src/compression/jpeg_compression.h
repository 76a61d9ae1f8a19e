#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <span>
#include <vector>

#include "compression/codec.h"

namespace Marrowbright {

// JPEG decoding through libjpeg. Decodes one image to rows of interleaved 8-bit samples.
class JPEGCompression : public IDecompressor {
 public:
  // Decoding fails when the image would produce more than `outputLimit` bytes.
  explicit JPEGCompression(std::uint64_t outputLimit = kUnlimitedOutput)
      : outputLimit_(outputLimit) {}

  void decompress(std::istream& in, std::ostream& out) override;
  ~JPEGCompression() override = default;

  // Quantisation and Huffman tables kept apart from the image data (an abbreviated JPEG
  // stream holding tables only), read before each image.
  void setTables(std::span<const std::uint8_t> tables) {
    tables_.assign(tables.begin(), tables.end());
  }
  // Keeps the components as stored (RGB or CMYK data), with no colour conversion; otherwise
  // three-component images are converted from YCbCr to RGB.
  void setKeepComponents(bool keep) { keepComponents_ = keep; }

  std::uint32_t lastWidth() const { return width_; }
  std::uint32_t lastHeight() const { return height_; }
  unsigned lastComponents() const { return components_; }

  static constexpr unsigned kMaxScans = 100;

 private:
  std::uint64_t outputLimit_;
  std::vector<std::uint8_t> tables_;
  bool keepComponents_ = false;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  unsigned components_ = 0;
};

}  // namespace Marrowbright
