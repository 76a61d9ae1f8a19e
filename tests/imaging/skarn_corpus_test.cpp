// The skarn_decode fuzz seeds and regression inputs, replayed in every test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {
namespace {

const std::filesystem::path kCorpus =
    std::filesystem::path(ORN_SOURCE_DIR) / "fuzz" / "corpus" / "skarn_decode";

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Seeds start with (width - 1) as two big-endian bytes, then the row records.
struct Seed {
  uint32_t width;
  std::vector<uint8_t> records;
};

Seed readSeed(const std::string& name) {
  const std::vector<uint8_t> bytes = readFile(kCorpus / name);
  EXPECT_GE(bytes.size(), 2u) << name;
  if (bytes.size() < 2) return {1, {}};
  return {(uint32_t{bytes[0]} << 8 | bytes[1]) % kSkarnMaxWidth + 1,
          {bytes.begin() + 2, bytes.end()}};
}

std::string decodeError(const Seed& seed) {
  try {
    decode(seed.records, seed.width, 0, kSkarn);
  } catch (const BitmapException& e) {
    return e.what();
  }
  return "decoded";
}

TEST(SkarnCorpusTest, RegressionInputsFailWithTheirMessages) {
  EXPECT_EQ(decodeError(readSeed("run_past_row")),
            "SKARN row record addresses a byte beyond the row");
  EXPECT_EQ(decodeError(readSeed("truncated_record")), "SKARN data ends inside a row record");
}

TEST(SkarnCorpusTest, OneByteRowsAreBlankRows) {
  const Seed seed = readSeed("one_byte_rows");
  const Bitmap b = decode(seed.records, seed.width, 0, kSkarn);
  EXPECT_EQ(b.width(), 4096u);
  EXPECT_EQ(b.height(), seed.records.size());
  EXPECT_EQ(b.data(), std::vector<uint8_t>(b.dataSize(), 0));
}

TEST(SkarnCorpusTest, SeedsFromAnotherEncoderReencodeByteForByte) {
  // These seeds were written by a separate script encoder from random and label-like rows.
  for (const char* name :
       {"blank_rows", "label_203", "narrow_9", "random_rows_4096", "two_rows_16"}) {
    const Seed seed = readSeed(name);
    const std::vector<uint8_t> encoded = encodeSkarn(decode(seed.records, seed.width, 0, kSkarn));
    EXPECT_EQ(std::vector<uint8_t>(encoded.begin() + 2, encoded.end()), seed.records) << name;
    EXPECT_EQ(encoded[0] << 8 | encoded[1], static_cast<int>(seed.records.size())) << name;
  }
}

TEST(SkarnCorpusTest, DecodableSeedsRoundTrip) {
  size_t decodable = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    // Inputs shorter than the width field are skipped by the fuzz target too.
    if (std::filesystem::file_size(entry.path()) < 2) continue;
    const Seed seed = readSeed(entry.path().filename().string());
    Bitmap b;
    try {
      b = decode(seed.records, seed.width, 0, kSkarn);
    } catch (const BitmapException&) {
      continue;
    }
    ++decodable;
    if (b.height() == 0) continue;
    const std::vector<uint8_t> encoded = encodeSkarn(b);
    EXPECT_LE(encoded.size() - 2, seed.records.size()) << entry.path();
    const std::vector<uint8_t> records(encoded.begin() + 2, encoded.end());
    EXPECT_EQ(decode(records, seed.width, 0, kSkarn).data(), b.data()) << entry.path();
  }
  EXPECT_GE(decodable, 5u);
}

}  // namespace
}  // namespace Tesselin
