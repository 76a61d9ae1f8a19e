#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "compression/codec.h"

namespace Marrowbright {

// Raw Deflate (no zlib header or trailer). Decoding is our own; encoding uses zlib at level 9.
class DeflateCompression : public IDecompressor, public ICompressor {
 public:
  // Decoding stops once `outputLimit` bytes have been produced.
  explicit DeflateCompression(std::uint64_t outputLimit = kUnlimitedOutput)
      : outputLimit_(outputLimit) {}

  // Decodes one Deflate stream. Afterwards the input stream stands just after the last block
  // when it can seek, so that a trailer can be read from it.
  void decompress(std::istream& in, std::ostream& out) override;
  ~DeflateCompression() override = default;
  void compress(std::istream& in, std::ostream& out) override;

  // True when the last decompress call read the final block to its end.
  bool lastStreamComplete() const { return complete_; }

 private:
  std::uint64_t outputLimit_;
  bool complete_ = false;
};

}  // namespace Marrowbright
