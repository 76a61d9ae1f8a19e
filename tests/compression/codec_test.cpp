// The codecs against zlib (random, real, cut and corrupted streams), against plain
// bit-by-bit and sample-by-sample references, and on the fuzz corpus regression inputs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <sstream>

#include "compression/deflate_compression.h"
#include "compression/exceptions.h"
#include "compression/lzw_compression.h"
#include "compression/tiff_prediction.h"
#include "imaging/pixel_reference.h"
#include "support/process.h"

namespace Marrowbright {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Tesselin::testing::errorOf;

template <bool Encode = false>
Bytes run(auto&& codec, const Bytes& input) {
  std::istringstream in(std::string(input.begin(), input.end()));
  std::ostringstream out;
  if constexpr (Encode)
    codec.compress(in, out);
  else
    codec.decompress(in, out);
  const std::string s = out.str();
  return Bytes(s.begin(), s.end());
}

Bytes inflate(const Bytes& input) { return run(DeflateCompression(), input); }
Bytes lzwDecode(const Bytes& input, std::uint64_t limit = kUnlimitedOutput, int variant = 1) {
  return run(LZWCompression(variant, limit), input);
}
Bytes lzwEncode(const Bytes& input, int variant = 1) {
  return run<true>(LZWCompression(variant), input);
}

// zlib as the reference: raw Deflate streams (window bits -15).
Bytes zlibDeflate(const Bytes& input, int level, int strategy = Z_DEFAULT_STRATEGY) {
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
std::optional<Bytes> zlibInflate(const Bytes& input) {
  z_stream stream{};
  inflateInit2(&stream, -15);
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  Bytes out;
  int result = Z_OK;
  // Until the end, an error, or zlib waits for input there is none of.
  while (result == Z_OK && (stream.avail_in != 0 || stream.avail_out == 0)) {
    out.resize(stream.total_out + 65536);
    stream.next_out = out.data() + stream.total_out;
    stream.avail_out = 65536;
    result = inflate(&stream, Z_NO_FLUSH);
  }
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return result == Z_STREAM_END ? std::optional(out) : std::nullopt;
}

Bytes randomBytes(std::mt19937& random, std::size_t size, unsigned alphabet = 256) {
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % alphabet);
  return bytes;
}

// Text-like data with long repeats, so that back-references of every distance occur.
Bytes repetitiveBytes(std::mt19937& random, std::size_t size) {
  static const std::string words[] = {"label ", "ticket ", "printer ", "raster ", "dot ", "cut\n"};
  Bytes bytes;
  while (bytes.size() < size) {
    if (bytes.size() > 1000 && random() % 8 == 0) {
      const std::size_t from = random() % (bytes.size() - 300);
      for (std::size_t i = 0, count = 3 + random() % 280; i < count; ++i)
        bytes.push_back(bytes[from + i]);
    } else {
      const std::string& w = words[random() % 6];
      bytes.insert(bytes.end(), w.begin(), w.end());
    }
  }
  bytes.resize(size);
  return bytes;
}

Bytes readFile(const std::string& path) {
  const std::string text = OrnTest::fileContents(path);
  return Bytes(text.begin(), text.end());
}

Bytes corpus(const std::string& target, const std::string& name) {
  return readFile(std::string(ORN_SOURCE_DIR) + "/fuzz/corpus/" + target + "/" + name);
}

TEST(DeflateTest, DecodesWhatZlibEncodesAndZlibInflatesWhatWeEncode) {
  const int cases[][4] = {{0, Z_DEFAULT_STRATEGY, 1, 200000}, {9, Z_FIXED, 1, 100000},
                          {9, Z_DEFAULT_STRATEGY, 1, 300000}, {6, Z_HUFFMAN_ONLY, 0, 100000},
                          {9, Z_DEFAULT_STRATEGY, 1, 0},      {9, Z_DEFAULT_STRATEGY, 0, 1}};
  for (const auto& [level, strategy, repetitive, size] : cases) {
    SCOPED_TRACE(::testing::Message() << level << " " << strategy << " " << size);
    std::mt19937 random(level * 31 + strategy + size);
    const Bytes input = repetitive ? repetitiveBytes(random, size) : randomBytes(random, size, 7);
    const Bytes compressed = zlibDeflate(input, level, strategy);
    EXPECT_EQ(inflate(compressed), input);
    const Bytes ours = run<true>(DeflateCompression(), input);
    EXPECT_EQ(zlibInflate(ours), input);
  }
  const Bytes program = readFile("/bin/sh");
  EXPECT_EQ(inflate(zlibDeflate(program, 9)), program);
}

// Flipped bits and cut streams: whenever zlib accepts, we give the same bytes; whenever zlib
// rejects, we throw.
TEST(DeflateTest, AgreesWithZlibOnCorruptedAndCutStreams) {
  std::mt19937 random(1234);
  const Bytes compressed = zlibDeflate(repetitiveBytes(random, 20000), 9);
  int rejected = 0;
  for (int trial = 0; trial < 600; ++trial) {
    Bytes broken = compressed;
    for (int i = 0, flips = 1 + random() % 3; i < flips; ++i)
      broken[random() % broken.size()] ^= 1u << (random() % 8);
    if (trial % 5 == 0) broken.resize(random() % broken.size());
    if (const auto reference = zlibInflate(broken)) {
      EXPECT_EQ(inflate(broken), *reference) << trial;
    } else {
      ++rejected;
      EXPECT_THROW(inflate(broken), Exception) << trial;
    }
  }
  EXPECT_GT(rejected, 100);
}

TEST(DeflateTest, OutputLimitAndTrailingData) {
  std::mt19937 random(5);
  const Bytes input = repetitiveBytes(random, 100000);
  DeflateCompression limited(12345);
  EXPECT_EQ(run(limited, zlibDeflate(input, 9)), Bytes(input.begin(), input.begin() + 12345));
  EXPECT_FALSE(limited.lastStreamComplete());
  const Bytes compressed = zlibDeflate(Bytes{'a', 'b', 'c', 'a', 'b', 'c'}, 9);
  std::istringstream in(std::string(compressed.begin(), compressed.end()) + "TRAILER");
  std::ostringstream out;
  DeflateCompression codec;
  codec.decompress(in, out);
  EXPECT_TRUE(codec.lastStreamComplete());
  EXPECT_EQ(out.str(), "abcabc");
  std::string rest;
  in >> rest;
  EXPECT_EQ(rest, "TRAILER");  // reading stops after the last block
}

// The message of each input's decompression error ("window: " where the window refuses a
// distance); empty: decodes as zlib does.
TEST(DeflateTest, CorpusAndHeaderErrors) {
  const auto in = [](const char* name) { return corpus("deflate_decode", name); };
  const auto error = [](const Bytes& input) {
    try {
      inflate(input);
    } catch (const DecompressionException& e) {
      return std::string(e.what());
    } catch (const RollingOutputBufferException& e) {
      return "window: " + std::string(e.what());
    }
    return std::string("none");
  };
  std::vector<std::pair<Bytes, std::string>> cases = {
      {in("block_type_3"), "Invalid block type"},
      {in("hlit_hdist_31"), "Too many literal or distance codes"},
      {in("rep16_first"), "Repeat of a code length with no previous one"},
      {in("rep18_overrun"), "Repetition goes past the end of the table!"},
      {in("incomplete_tree"), "Invalid Huffman code lengths"},
      {in("oversubscribed_tree"), "Invalid Huffman code lengths"},
      {in("distance_before_start"), "window: Backwards distance exceeds available bytes"},
      {in("distance_code_30"), "Unknown distance code"},
      {in("length_code_286"), "Unknown length code"},
      {in("stored_length_mismatch"), "Error reading length of uncompressed data"},
      {in("stored_truncated"), "Stream ended early, read 4 of 8 bytes"},
      {{}, "Encountered end of stream too early"},
      {{0x05}, "Unable to read number of distance codes"},  // dynamic, HLIT only
      {{0x01, 0x04}, "Unexpected end of stream reading uncompressed data lengths"}};
  cases.emplace_back(in("many_empty_blocks"), "");  // the seeds' paths: zlib's streams above
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& [input, message] = cases[i];
    const auto reference = zlibInflate(input);
    EXPECT_EQ(reference.has_value(), message.empty()) << i;
    if (message.empty())
      EXPECT_EQ(inflate(input), reference) << i;
    else
      EXPECT_EQ(error(input), message) << i;
  }
}

// Packs codes most significant bit first at the given widths.
Bytes packCodes(std::initializer_list<std::pair<unsigned, unsigned>> codes) {
  Bytes out;
  std::uint64_t bits = 0;
  unsigned count = 0;
  for (auto [code, width] : codes) {
    bits = bits << width | code;
    for (count += width; count >= 8;)
      out.push_back(static_cast<std::uint8_t>(bits >> (count -= 8)));
  }
  if (count > 0) out.push_back(static_cast<std::uint8_t>(bits << (8 - count)));
  return out;
}

// Each input with its output limit, as its decoded text or "!" and the error message.
TEST(LZWTest, HandPackedCorpusAndLibtiffCodes) {
  // "Hi", then code 258 ("Hi") and '!'; then "aaa": 'a' and 258 = "aa" before it is complete.
  const Bytes hi = packCodes({{256, 9}, {'H', 9}, {'i', 9}, {258, 9}, {'!', 9}, {257, 9}});
  EXPECT_EQ(lzwEncode(Bytes{'H', 'i', 'H', 'i', '!'}), hi);
  std::string counting, picture;
  for (unsigned i = 0; i < 254; ++i) counting.push_back(static_cast<char>(i));
  // Written by libtiff (tiffcp -c lzw): a 256 x 64 grey picture whose table fills and is cleared.
  for (unsigned x = 0, y = 0; y < 64; x = (x + 1) % 256, y += x == 0)
    picture.push_back(static_cast<char>(x * x * 7 + y * 13 + (x * y) / 3));
  const auto in = [](const char* name) { return corpus("lzw_decode", name); };
  const std::tuple<Bytes, std::uint64_t, std::string> cases[] = {
      {hi, kUnlimitedOutput, "HiHi!"},
      {packCodes({{256, 9}, {'a', 9}, {258, 9}, {257, 9}}), kUnlimitedOutput, "aaa"},
      {packCodes({{256, 9}, {300, 9}, {257, 9}}), kUnlimitedOutput, "!LZW code is invalid"},
      {in("code_beyond_table"), kUnlimitedOutput, "!LZW code is too large!"},
      {in("table_full_no_clear"), kUnlimitedOutput, "!LZW table is full!"},
      {in("trailing_junk"), kUnlimitedOutput, "HiHi!"},
      {in("no_end_code"), 5, "HiHi!"},
      {in("no_end_code"), kUnlimitedOutput, "!Unexpected end of LZW stream"},
      {in("end_code_wrong_width"), 254, counting},
      {in("libtiff_strip"), kUnlimitedOutput, picture},
      {in("libtiff_strip"), picture.size(), picture}};
  for (const auto& [input, limit, expected] : cases) {
    std::string got;
    try {
      const Bytes out = lzwDecode(input, limit);
      got.assign(out.begin(), out.end());
    } catch (const DecompressionException& e) {
      got = std::string("!") + e.what();
    }
    EXPECT_EQ(got, expected);
  }
}

TEST(LZWTest, RoundTripsLimitsAndPrefixes) {
  const unsigned cases[][3] = {{0, 256, 1},    {1, 256, 1},     {200000, 256, 1}, {300000, 2, 1},
                               {500000, 0, 1}, {1000000, 1, 1}, {300000, 0, 0},   {100000, 256, 0}};
  for (const auto& [size, alphabet, variant] : cases) {  // alphabet 0: repetitive text
    std::mt19937 random(size + alphabet);
    const Bytes input =
        alphabet == 0 ? repetitiveBytes(random, size) : randomBytes(random, size, alphabet);
    EXPECT_EQ(lzwDecode(lzwEncode(input, variant), kUnlimitedOutput, variant), input)
        << size << " " << alphabet << " " << variant;
  }
  std::mt19937 random(3);
  const Bytes input = repetitiveBytes(random, 50000);
  EXPECT_EQ(lzwDecode(lzwEncode(input), 1000), Bytes(input.begin(), input.begin() + 1000));
  const Bytes encoded = lzwEncode(Bytes(input.begin(), input.begin() + 2000));
  for (auto end = encoded.begin(); end + 1 != encoded.end(); ++end)
    EXPECT_THROW(lzwDecode(Bytes(encoded.begin(), end)), Exception) << end - encoded.begin();
}

// Undoing the prediction is checked against libtiff by the TIFF reader's tests (tiffcp -c lzw:2
// and zip:2); here the layouts it refuses.
TEST(TIFFPredictionTest, BadLayoutsFail) {
  EXPECT_EQ(errorOf<Exception>([] { TIFFPrediction(1, 4, 4); }),
            "Bits per component must be 8 or 16");
  EXPECT_EQ(errorOf<DecompressionException>([] { run(TIFFPrediction(3, 8, 4), Bytes(17)); }),
            "Unexpected end of input");
}

}  // namespace
}  // namespace Marrowbright
