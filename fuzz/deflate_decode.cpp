// Raw Deflate decoding agrees with zlib: the same bytes when zlib reaches the end of the
// stream, an exception when zlib rejects the data.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "compression/deflate_compression.h"
#include "compression/exceptions.h"

namespace {

bool zlibInflate(const std::vector<std::uint8_t>& input, std::string& out) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) std::abort();
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  std::vector<std::uint8_t> chunk(65536);
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = chunk.data();
    stream.avail_out = static_cast<uInt>(chunk.size());
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() - stream.avail_out);
    if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) break;
  }
  inflateEnd(&stream);
  return result == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::vector<std::uint8_t> input(data, data + size);  // a fresh copy catches over-reads
  std::string reference;
  const bool zlibAccepts = zlibInflate(input, reference);

  std::istringstream in(std::string(input.begin(), input.end()));
  std::ostringstream out;
  bool oursAccepts = true;
  try {
    Marrowbright::DeflateCompression().decompress(in, out);
  } catch (const Marrowbright::Exception&) {
    oursAccepts = false;
  }
  if (zlibAccepts != oursAccepts) std::abort();
  if (zlibAccepts && out.str() != reference) std::abort();
  return 0;
}
