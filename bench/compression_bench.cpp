// Deflate decoding, ours against zlib's inflate, on the same 10 MB; LZW decoding speed.
// Throughput is reported per decoded byte. Our codecs read from and write to byte vectors
// through the vector stream buffers, as the TIFF reader uses them; zlib writes into a buffer of
// the right size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "compression/deflate_compression.h"
#include "compression/lzw_compression.h"
#include "imaging/vector_stream_buffer.h"

namespace {

constexpr std::size_t kSize = 10u << 20;

// Label-like data: runs of white and black bytes with text and some noise between.
const std::string& sampleData() {
  static const std::string data = [] {
    std::mt19937 random(2024);
    std::string bytes;
    bytes.reserve(kSize);
    const char* words[] = {"label ", "ticket ", "printer ", "raster ", "dot ", "cut\n"};
    while (bytes.size() < kSize) {
      switch (random() % 4) {
        case 0:
          bytes.append(10 + random() % 200, '\0');
          break;
        case 1:
          bytes.append(1 + random() % 40, '\xFF');
          break;
        case 2:
          bytes += words[random() % 6];
          break;
        default:
          for (int i = 0; i < 8; ++i) bytes += static_cast<char>(random());
      }
    }
    bytes.resize(kSize);
    return bytes;
  }();
  return data;
}

std::string rawDeflate(const std::string& input) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, input.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

using Bytes = std::vector<unsigned char>;

// Runs a decoder from `input` into a vector with room for the whole output.
template <typename Codec>
std::size_t decodeToVector(Codec&& codec, const Bytes& input, Bytes& output) {
  output.clear();
  Quillfeather::InputVectorStreamBuffer inBuffer(input);
  std::istream in(&inBuffer);
  Quillfeather::OutputVectorStreamBuffer outBuffer(output);
  std::ostream out(&outBuffer);
  codec.decompress(in, out);
  return output.size();
}

void BM_DeflateDecodeOurs(benchmark::State& state) {
  const std::string text = rawDeflate(sampleData());
  const Bytes compressed(text.begin(), text.end());
  Bytes output;
  output.reserve(kSize);
  for (auto _ : state) {
    if (decodeToVector(Marrowbright::DeflateCompression(), compressed, output) != kSize) {
      state.SkipWithError("wrong size");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}

void BM_DeflateDecodeZlib(benchmark::State& state) {
  const std::string compressed = rawDeflate(sampleData());
  std::string out(kSize, '\0');
  for (auto _ : state) {
    z_stream stream{};
    inflateInit2(&stream, -15);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (inflate(&stream, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib failed");
    inflateEnd(&stream);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}

void BM_LZWDecode(benchmark::State& state) {
  std::istringstream plain(sampleData());
  std::ostringstream encoded;
  Marrowbright::LZWCompression(1).compress(plain, encoded);
  const std::string text = encoded.str();
  const Bytes codes(text.begin(), text.end());
  Bytes output;
  output.reserve(kSize);
  for (auto _ : state) {
    if (decodeToVector(Marrowbright::LZWCompression(1), codes, output) != kSize) {
      state.SkipWithError("wrong size");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}

void BM_LZWEncode(benchmark::State& state) {
  for (auto _ : state) {
    std::istringstream in(sampleData());
    std::ostringstream out;
    Marrowbright::LZWCompression(1).compress(in, out);
    benchmark::DoNotOptimize(out.str().size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}

}  // namespace

BENCHMARK(BM_DeflateDecodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflateDecodeZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LZWDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LZWEncode)->Unit(benchmark::kMillisecond);
