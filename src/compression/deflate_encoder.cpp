// Deflate encoding through zlib: a raw stream (window bits -15, no header or trailer) at
// level 9, memory level 9, default strategy. Input and output move in 4096-byte blocks.
#include <zlib.h>

#include <array>

#include "compression/byte_source.h"
#include "compression/deflate_compression.h"
#include "compression/exceptions.h"

namespace Marrowbright {

namespace {

// Ends the zlib stream however compress() leaves.
class DeflateStream {
 public:
  DeflateStream() {
    if (deflateInit2(&stream_, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw CompressionException("Unknown stream exception occurred");
    }
  }
  ~DeflateStream() { deflateEnd(&stream_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_{};
};

}  // namespace

void DeflateCompression::compress(std::istream& in, std::ostream& out) {
  DeflateStream deflater;
  z_stream* stream = deflater.get();
  ByteSource source(in);
  std::array<std::uint8_t, 4096> input{};
  std::array<std::uint8_t, 4096> output{};
  int flush = Z_NO_FLUSH;
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    if (stream->avail_in == 0 && flush == Z_NO_FLUSH) {
      const std::size_t got = source.read(input.data(), input.size());
      stream->next_in = input.data();
      stream->avail_in = static_cast<uInt>(got);
      if (got < input.size()) flush = Z_FINISH;
    }
    stream->next_out = output.data();
    stream->avail_out = static_cast<uInt>(output.size());
    result = deflate(stream, flush);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
      throw CompressionException("Unknown stream exception occurred");
    }
    const std::size_t produced = output.size() - stream->avail_out;
    out.write(reinterpret_cast<const char*>(output.data()), static_cast<std::streamsize>(produced));
    if (!out) throw IOException("Unable to write compressed data");
  }
}

}  // namespace Marrowbright
