#pragma once

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "compression/codec.h"

namespace Marrowbright::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes runDecoder(IDecompressor& codec, const Bytes& input) {
  std::istringstream in(std::string(input.begin(), input.end()));
  std::ostringstream out;
  codec.decompress(in, out);
  const std::string s = out.str();
  return Bytes(s.begin(), s.end());
}

inline Bytes runEncoder(ICompressor& codec, const Bytes& input) {
  std::istringstream in(std::string(input.begin(), input.end()));
  std::ostringstream out;
  codec.compress(in, out);
  const std::string s = out.str();
  return Bytes(s.begin(), s.end());
}

// zlib as the reference: raw Deflate streams (window bits -15).
inline Bytes zlibDeflate(const Bytes& input, int level, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy);
  Bytes out(deflateBound(&stream, input.size()) + 16);
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// The decoded bytes, or nothing when zlib rejects or does not reach the end of the stream.
inline std::optional<Bytes> zlibInflate(const Bytes& input) {
  z_stream stream{};
  inflateInit2(&stream, -15);
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  Bytes out;
  Bytes chunk(65536);
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = chunk.data();
    stream.avail_out = static_cast<uInt>(chunk.size());
    result = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), chunk.begin(), chunk.begin() + (chunk.size() - stream.avail_out));
    if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) break;
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) return std::nullopt;
  return out;
}

inline Bytes randomBytes(std::mt19937& random, std::size_t size, unsigned alphabet = 256) {
  Bytes bytes(size);
  std::uniform_int_distribution<unsigned> pick(0, alphabet - 1);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(pick(random));
  return bytes;
}

// Text-like data with long repeats, so that back-references of every distance occur.
inline Bytes repetitiveBytes(std::mt19937& random, std::size_t size) {
  static const char* words[] = {"label ", "ticket ", "printer ", "raster ", "dot ", "cut\n"};
  Bytes bytes;
  while (bytes.size() < size) {
    if (bytes.size() > 1000 && random() % 8 == 0) {
      const std::size_t from = random() % (bytes.size() - 300);
      const std::size_t count = 3 + random() % 280;
      for (std::size_t i = 0; i < count; ++i) bytes.push_back(bytes[from + i]);
    } else {
      const char* w = words[random() % 6];
      bytes.insert(bytes.end(), w, w + std::char_traits<char>::length(w));
    }
  }
  bytes.resize(size);
  return bytes;
}

inline Bytes readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::string corpusPath(const std::string& target, const std::string& name) {
  return std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name;
}

}  // namespace Marrowbright::testing
