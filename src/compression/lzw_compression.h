#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "compression/codec.h"

namespace Marrowbright {

// LZW with codes of 9 to 12 bits, most significant bit first. The variant flag is 1 for
// TIFF, whose code width grows one code early, and 0 for the original scheme.
class LZWCompression : public IDecompressor, public ICompressor {
 public:
  // Decoding stops cleanly once `outputLimit` bytes have been produced, whatever follows.
  explicit LZWCompression(int variant, std::uint64_t outputLimit = kUnlimitedOutput)
      : variant_(variant != 0 ? 1 : 0), outputLimit_(outputLimit) {}

  void decompress(std::istream& in, std::ostream& out) override;
  ~LZWCompression() override = default;
  void compress(std::istream& in, std::ostream& out) override;

  static constexpr unsigned kClearCode = 256;
  static constexpr unsigned kEndCode = 257;
  static constexpr unsigned kFirstCode = 258;
  static constexpr unsigned kTableSize = 4096;
  static constexpr unsigned kMinWidth = 9;
  static constexpr unsigned kMaxWidth = 12;

 private:
  unsigned variant_;
  std::uint64_t outputLimit_;
};

}  // namespace Marrowbright
