#pragma once

#include <cstdint>
#include <istream>
#include <limits>
#include <ostream>

namespace Marrowbright {

// No bound on the decoded size.
inline constexpr std::uint64_t kUnlimitedOutput = std::numeric_limits<std::uint64_t>::max();

// Reads compressed bytes from one stream and writes the decoded bytes to another.
class IDecompressor {
 public:
  virtual void decompress(std::istream& in, std::ostream& out) = 0;
  virtual ~IDecompressor() = default;
};

// Reads plain bytes from one stream and writes the encoded bytes to another.
class ICompressor {
 public:
  virtual void compress(std::istream& in, std::ostream& out) = 0;
  virtual ~ICompressor() = default;
};

}  // namespace Marrowbright
