// LZW: the input as plain bytes survives encode then decode; the input as a code stream
// decodes within the output bound or throws.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "compression/exceptions.h"
#include "compression/lzw_compression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);  // a fresh copy

  for (int variant : {0, 1}) {
    std::istringstream plain(input);
    std::ostringstream encoded;
    Marrowbright::LZWCompression(variant).compress(plain, encoded);
    std::istringstream codes(encoded.str());
    std::ostringstream decoded;
    Marrowbright::LZWCompression(variant).decompress(codes, decoded);
    if (decoded.str() != input) std::abort();
  }

  constexpr std::uint64_t kLimit = 1u << 20;
  std::istringstream in(input);
  std::ostringstream out;
  try {
    Marrowbright::LZWCompression(1, kLimit).decompress(in, out);
  } catch (const Marrowbright::Exception&) {
    return 0;
  }
  if (out.str().size() > kLimit) std::abort();
  return 0;
}
